#include "duilib/UIList.h"

#include "duilib/UIManager.h"
#include "duilib/UIRender.h"

namespace DuiLib {

// ---- rows ----

void* CListContainerElementUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"ListItem") == 0 || wcscmp(pstrName, L"ListContainerElement") == 0) return this;
  return CHorizontalLayoutUI::GetInterface(pstrName);
}

bool CListContainerElementUI::Select(bool bSelect, bool bTriggerEvent) {
  if (!IsEnabled()) return false;
  if (bSelect && m_pOwner) return m_pOwner->SelectItem(m_iIndex, false, bTriggerEvent);
  if (m_bSelected == bSelect) return true;
  m_bSelected = bSelect;
  Invalidate();
  return true;
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
  if (!IsMouseEnabled() && event.Type >= UIEVENT_MOUSEMOVE && event.Type <= UIEVENT_SCROLLWHEEL) {
    if (m_pParent) m_pParent->DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
      if (IsEnabled() && m_pManager) {
        m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMCLICK);
        Select();
        Invalidate();
      }
      return;
    case UIEVENT_RBUTTONDOWN:
      if (IsEnabled() && m_pManager) {
        TNotifyUI msg;
        msg.sType = DUI_MSGTYPE_ITEMRCLICK;
        msg.pSender = this;
        msg.ptMouse = event.ptMouse;
        msg.dwTimestamp = event.dwTimestamp;
        m_pManager->SendNotify(msg);
      }
      return;
    case UIEVENT_DBLCLICK:
      if (IsEnabled() && m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMACTIVATE);
      return;
    case UIEVENT_MOUSEENTER:
      if (IsEnabled()) { m_bHot = true; Invalidate(); }
      return;
    case UIEVENT_MOUSELEAVE:
      m_bHot = false;
      Invalidate();
      return;
    case UIEVENT_BUTTONUP:
    case UIEVENT_RBUTTONUP:
    case UIEVENT_MOUSEMOVE:
      return;
    case UIEVENT_KEYDOWN:
    case UIEVENT_SCROLLWHEEL:
      if (m_pOwner) m_pOwner->DoEvent(event);
      return;
    default:
      CHorizontalLayoutUI::DoEvent(event);
  }
}

void CListContainerElementUI::PaintBkColor(HDC hDC) {
  DWORD color = m_dwBackColor;
  if (m_pOwner) {
    if (m_bSelected && m_pOwner->GetItemSelectedBkColor()) color = m_pOwner->GetItemSelectedBkColor();
    else if (m_bHot && IsMouseEnabled() && m_pOwner->GetItemHotBkColor()) color = m_pOwner->GetItemHotBkColor();
    else if (!color) color = m_pOwner->GetItemBkColor();
  }
  if (color) CRenderEngine::DrawRoundColor(hDC, m_rcItem, m_cxyBorderRound, color);
}

// ---- list ----

CListUI::CListUI() { EnableScrollBar(true, false); }

void* CListUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"List") == 0) return this;
  return CVerticalLayoutUI::GetInterface(pstrName);
}

void CListUI::Reindex(int from) {
  for (int i = from; i < GetCount(); ++i) {
    auto* row = static_cast<CListContainerElementUI*>(GetItemAt(i)->GetInterface(L"ListItem"));
    if (row) row->SetIndex(i);
  }
}

bool CListUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CListUI::AddAt(CControlUI* pControl, int iIndex) {
  if (!pControl) return false;
  if (!CVerticalLayoutUI::AddAt(pControl, iIndex)) return false;
  if (auto* row = static_cast<CListContainerElementUI*>(pControl->GetInterface(L"ListItem"))) {
    row->SetOwner(this);
  }
  Reindex(iIndex);
  if (m_iCurSel >= iIndex) ++m_iCurSel;
  return true;
}

bool CListUI::Remove(CControlUI* pControl) { return RemoveAt(GetItemIndex(pControl)); }

bool CListUI::RemoveAt(int iIndex) {
  if (iIndex < 0 || iIndex >= GetCount()) return false;
  if (auto* row = static_cast<CListContainerElementUI*>(GetItemAt(iIndex)->GetInterface(L"ListItem")))
    row->SetOwner(nullptr);
  if (!CVerticalLayoutUI::RemoveAt(iIndex)) return false;
  Reindex(iIndex);
  if (m_iCurSel == iIndex) m_iCurSel = -1;
  else if (m_iCurSel > iIndex) --m_iCurSel;
  return true;
}

void CListUI::RemoveAll() {
  for (int i = 0; i < GetCount(); ++i)
    if (auto* row = static_cast<CListContainerElementUI*>(GetItemAt(i)->GetInterface(L"ListItem")))
      row->SetOwner(nullptr);
  m_iCurSel = -1;
  CVerticalLayoutUI::RemoveAll();
}

bool CListUI::SelectItem(int iIndex, bool bTakeFocus, bool bTriggerEvent) {
  if (iIndex == m_iCurSel) {
    if (bTakeFocus) SetFocus();
    return true;
  }
  // A row that cannot be selected leaves the selection as it is.
  CListContainerElementUI* row = nullptr;
  if (iIndex >= 0) {
    CControlUI* item = GetItemAt(iIndex);
    row = item ? static_cast<CListContainerElementUI*>(item->GetInterface(L"ListItem")) : nullptr;
    if (!row || !row->IsVisible() || !row->IsEnabled()) return false;
  }
  int old = m_iCurSel;
  if (old >= 0) {
    if (auto* oldRow = static_cast<CListContainerElementUI*>(
            GetItemAt(old) ? GetItemAt(old)->GetInterface(L"ListItem") : nullptr)) {
      oldRow->m_bSelected = false;
      oldRow->Invalidate();
    }
  }
  m_iCurSel = iIndex;
  if (row) {
    row->m_bSelected = true;
    row->Invalidate();
  }
  if (bTakeFocus) SetFocus();
  // Clearing the selection (-1) is a change too.
  if (bTriggerEvent && m_pManager)
    m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, static_cast<WPARAM>(iIndex), static_cast<LPARAM>(old));
  return iIndex >= 0;
}

void CListUI::EnsureVisible(int iIndex) {
  CControlUI* item = GetItemAt(iIndex);
  if (!item || !m_pManager) return;
  m_pManager->UpdateLayout();
  RECT client = ClientArea();
  RECT rc = item->GetPos();
  SIZE pos = GetScrollPos();
  if (rc.top < client.top) pos.cy -= client.top - rc.top;
  else if (rc.bottom > client.bottom) pos.cy += rc.bottom - client.bottom;
  else return;
  SetScrollPos(pos);
}

void CListUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_KEYDOWN) {
    int sel = m_iCurSel;
    switch (event.chKey) {
      case VK_UP: sel = sel > 0 ? sel - 1 : 0; break;
      case VK_DOWN: sel = sel + 1 < GetCount() ? sel + 1 : sel; break;
      case VK_HOME: sel = 0; break;
      case VK_END: sel = GetCount() - 1; break;
      default: CVerticalLayoutUI::DoEvent(event); return;
    }
    // Skip rows that cannot be selected (headers, spacers) in the direction of travel.
    int step = (event.chKey == VK_UP || event.chKey == VK_END) ? -1 : 1;
    for (int i = sel; i >= 0 && i < GetCount(); i += step) {
      CControlUI* c = GetItemAt(i);
      if (c && c->IsVisible() && c->IsEnabled() && c->IsMouseEnabled() && c->GetInterface(L"ListItem")) {
        SelectItem(i, true);
        EnsureVisible(i);
        break;
      }
    }
    return;
  }
  CVerticalLayoutUI::DoEvent(event);
}

void CListUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"itemselectedbkcolor") m_dwItemSelectedBkColor = ParseColor(v);
  else if (name == L"itemhotbkcolor") m_dwItemHotBkColor = ParseColor(v);
  else if (name == L"itembkcolor") m_dwItemBkColor = ParseColor(v);
  else if (name == L"header" || name == L"itemfont" || name == L"itemtextcolor" ||
           name == L"itemalign" || name == L"itemshowhtml") {}
  else CVerticalLayoutUI::SetAttribute(n, v);
}

}  // namespace DuiLib
