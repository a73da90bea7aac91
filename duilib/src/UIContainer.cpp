#include "duilib/UIContainer.h"

#include <algorithm>
#include <iterator>

#include "duilib/UIManager.h"
#include "duilib/UIRender.h"

namespace DuiLib {

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  // Children go first, while this container is still whole.
  m_items.clear();
  m_pVerticalScrollBar.reset();
}

void* CContainerUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"Container") == 0) return this;
  return CControlUI::GetInterface(pstrName);
}

CControlUI* CContainerUI::GetItemAt(int iIndex) const {
  if (iIndex < 0 || iIndex >= static_cast<int>(m_items.size())) return nullptr;
  return m_items[iIndex].get();
}

int CContainerUI::GetItemIndex(CControlUI* pControl) const {
  for (size_t i = 0; i < m_items.size(); ++i)
    if (m_items[i].get() == pControl) return static_cast<int>(i);
  return -1;
}

bool CContainerUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CContainerUI::AddAt(CControlUI* pControl, int iIndex) {
  if (!pControl) return false;
  if (iIndex < 0 || iIndex > GetCount()) {
    delete pControl;  // the container owns what it is given, even when it cannot place it
    return false;
  }
  m_items.insert(m_items.begin() + iIndex, std::unique_ptr<CControlUI>(pControl));
  if (m_pManager) pControl->SetManager(m_pManager, this);
  else pControl->SetManager(nullptr, this, false);
  if (!IsVisible()) pControl->SetInternVisible(false);
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* pControl) { return RemoveAt(GetItemIndex(pControl)); }

bool CContainerUI::RemoveAt(int iIndex) {
  if (iIndex < 0 || iIndex >= GetCount()) return false;
  CControlUI* control = m_items[iIndex].release();
  m_items.erase(m_items.begin() + iIndex);
  if (m_pManager) m_pManager->AddDelayedCleanup(control);
  else delete control;
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<std::unique_ptr<CControlUI>> items;
  items.swap(m_items);
  for (auto& item : items) {
    CControlUI* control = item.release();
    if (m_pManager) m_pManager->AddDelayedCleanup(control);
    else delete control;
  }
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetScrollPos(0);
  NeedUpdate();
}

void CContainerUI::SetInset(RECT rc) { m_rcInset = rc; NeedUpdate(); }
void CContainerUI::SetChildPadding(int iPadding) { m_iChildPadding = iPadding; NeedUpdate(); }

void CContainerUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  for (auto& item : m_items) item->SetManager(pManager, this, bInit);
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetManager(pManager, this, bInit);
  CControlUI::SetManager(pManager, pParent, bInit);
}

void CContainerUI::SetVisible(bool bVisible) {
  if (m_bVisible == bVisible) return;
  CControlUI::SetVisible(bVisible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool bVisible) {
  CControlUI::SetInternVisible(bVisible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetEnabled(bool bEnable) {
  CControlUI::SetEnabled(bEnable);
  for (auto& item : m_items) item->SetEnabled(bEnable);
}

RECT CContainerUI::ContentRect() const {
  RECT rc = m_rcItem;
  rc.left += m_rcInset.left;
  rc.top += m_rcInset.top;
  rc.right -= m_rcInset.right;
  rc.bottom -= m_rcInset.bottom;
  return rc;
}

RECT CContainerUI::ClientArea() const {
  RECT rc = ContentRect();
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible())
    rc.right -= m_pVerticalScrollBar->GetBarWidth();
  return rc;
}

void CContainerUI::SetPos(RECT rc, bool bNeedInvalidate) {
  CControlUI::SetPos(rc, bNeedInvalidate);
  RECT content = ContentRect();
  if (m_pVerticalScrollBar) {
    // Learn the content height first (measured, or else laid out); again without the bar's
    // width if it is needed. Children are placed once, at the final width and position, when
    // the height can be measured: placing thousands of rows twice was most of a list's layout.
    bool wasVisible = m_pVerticalScrollBar->IsVisible();
    RECT inner = content;
    if (wasVisible) inner.right -= m_pVerticalScrollBar->GetBarWidth();
    int required = MeasureChildren(inner);
    const bool measured = required >= 0;
    if (!measured) required = LayoutChildren(inner);
    bool need = required > content.bottom - content.top;
    if (need != wasVisible) {
      m_pVerticalScrollBar->SetVisible(need);
      inner = content;
      if (need) inner.right -= m_pVerticalScrollBar->GetBarWidth();
      required = measured ? MeasureChildren(inner) : LayoutChildren(inner);
    }
    // A shorter content clamps the position: what was laid out is laid out again there.
    int laidOutAt = m_pVerticalScrollBar->GetScrollPos();
    ProcessScrollBar(content, required);
    if (measured || m_pVerticalScrollBar->GetScrollPos() != laidOutAt) LayoutChildren(inner);
  } else {
    LayoutChildren(content);
  }
}

int CContainerUI::LayoutChildren(RECT rc) {
  // Plain containers stack every child on the whole area.
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    RECT p = item->GetPadding();
    RECT r{rc.left + p.left, rc.top + p.top, rc.right - p.right, rc.bottom - p.bottom};
    if (item->IsFloat()) {
      RECT f = item->GetFloatPos();
      r = {m_rcItem.left + f.left, m_rcItem.top + f.top, m_rcItem.left + f.right, m_rcItem.top + f.bottom};
    }
    item->SetPos(r, false);
  }
  return rc.bottom - rc.top;
}

void CContainerUI::ProcessScrollBar(RECT rc, int cyRequired) {
  if (!m_pVerticalScrollBar) return;
  int range = std::max(0, cyRequired - static_cast<int>(rc.bottom - rc.top));
  m_pVerticalScrollBar->SetScrollRange(range);
  if (m_pVerticalScrollBar->IsVisible()) {
    RECT bar{rc.right - m_pVerticalScrollBar->GetBarWidth(), rc.top, rc.right, rc.bottom};
    m_pVerticalScrollBar->SetPos(bar, false);
  }
}

void CContainerUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT rcTemp;
  if (!IntersectRect(&rcTemp, &rcPaint, &m_rcItem)) return;
  CControlUI::DoPaint(hDC, rcPaint);
  RECT client = ClientArea();
  RECT childPaint;
  if (IntersectRect(&childPaint, &rcTemp, &client)) {
    int saved = SaveDC(hDC);
    IntersectClipRect(hDC, childPaint.left, childPaint.top, childPaint.right, childPaint.bottom);
    for (auto& item : m_items) {
      if (!item->IsVisible()) continue;
      RECT ir = item->GetPos();
      RECT hit;
      if (!IntersectRect(&hit, &childPaint, &ir)) continue;
      item->DoPaint(hDC, childPaint);
    }
    RestoreDC(hDC, saved);
  }
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) m_pVerticalScrollBar->DoPaint(hDC, rcPaint);
}

void CContainerUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SCROLLWHEEL && m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) {
    int delta = static_cast<short>(HIWORD(event.wParam));
    if (delta > 0) LineUp(); else LineDown();
    if (delta > 0) LineUp(); else LineDown();
    return;
  }
  CControlUI::DoEvent(event);
}

void CContainerUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"inset") SetInset(ParseRect(v));
  else if (name == L"childpadding") SetChildPadding(_wtoi(v));
  else if (name == L"vscrollbar") EnableScrollBar(ParseBool(v), false);
  else if (name == L"hscrollbar") {}  // rows never scroll sideways here
  else if (name == L"vscrollbarstyle" && m_pVerticalScrollBar) m_pVerticalScrollBar->SetAttributeList(v);
  else CControlUI::SetAttribute(n, v);
}

CControlUI* CContainerUI::FindControlAt(POINT pt) {
  if (!IsVisible() || !PtInRect(&m_rcItem, pt)) return nullptr;
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) {
    if (CControlUI* bar = m_pVerticalScrollBar->FindControlAt(pt)) return bar;
  }
  RECT client = ClientArea();
  if (PtInRect(&client, pt)) {
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
      if (CControlUI* found = (*it)->FindControlAt(pt)) return found;
    }
  }
  return m_bMouseEnabled ? this : nullptr;
}

bool CContainerUI::ForEach(const std::function<bool(CControlUI*)>& fn) {
  if (fn(this)) return true;
  for (size_t i = 0; i < m_items.size(); ++i)
    if (m_items[i]->ForEach(fn)) return true;
  return false;
}

SIZE CContainerUI::GetScrollPos() const {
  return SIZE{0, m_pVerticalScrollBar ? m_pVerticalScrollBar->GetScrollPos() : 0};
}

SIZE CContainerUI::GetScrollRange() const {
  return SIZE{0, m_pVerticalScrollBar ? m_pVerticalScrollBar->GetScrollRange() : 0};
}

void CContainerUI::SetScrollPos(SIZE szPos) {
  if (!m_pVerticalScrollBar) return;
  // The range must be current before the position is clamped to it.
  if (m_pManager) m_pManager->UpdateLayout();
  int old = m_pVerticalScrollBar->GetScrollPos();
  m_pVerticalScrollBar->SetScrollPos(szPos.cy);
  if (m_pVerticalScrollBar->GetScrollPos() == old) return;
  SetPos(m_rcItem, false);
  Invalidate();
  if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_SCROLL);
}

void CContainerUI::LineUp() {
  int line = m_pVerticalScrollBar ? m_pVerticalScrollBar->GetLineSize() : 30;
  SIZE sz = GetScrollPos();
  sz.cy -= line;
  SetScrollPos(sz);
}

void CContainerUI::LineDown() {
  int line = m_pVerticalScrollBar ? m_pVerticalScrollBar->GetLineSize() : 30;
  SIZE sz = GetScrollPos();
  sz.cy += line;
  SetScrollPos(sz);
}

void CContainerUI::PageUp() {
  SIZE sz = GetScrollPos();
  sz.cy -= std::max<int>(1, (m_rcItem.bottom - m_rcItem.top) - 30);
  SetScrollPos(sz);
}

void CContainerUI::PageDown() {
  SIZE sz = GetScrollPos();
  sz.cy += std::max<int>(1, (m_rcItem.bottom - m_rcItem.top) - 30);
  SetScrollPos(sz);
}

void CContainerUI::HomeUp() { SetScrollPos(SIZE{0, 0}); }

void CContainerUI::EndDown() {
  if (m_pManager) m_pManager->UpdateLayout();
  SetScrollPos(SIZE{0, GetScrollRange().cy});
}

void CContainerUI::EnableScrollBar(bool bEnableVertical, bool) {
  if (bEnableVertical && !m_pVerticalScrollBar) {
    m_pVerticalScrollBar = std::make_unique<CScrollBarUI>();
    m_pVerticalScrollBar->SetOwner(this);
    m_pVerticalScrollBar->SetVisible(false);
    m_pVerticalScrollBar->SetManager(m_pManager, this, false);
  } else if (!bEnableVertical && m_pVerticalScrollBar) {
    m_pVerticalScrollBar.reset();
  }
  NeedUpdate();
}

// ---- vertical and horizontal layouts ----

void* CVerticalLayoutUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"VerticalLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

void CVerticalLayoutUI::Measure(RECT rc, Heights& out) {
  const int width = rc.right - rc.left;
  const int avail = rc.bottom - rc.top;
  out.width = width;
  out.avail = avail;
  // Heights: fixed or estimated children take theirs, the rest share what is left.
  int fixedTotal = 0;
  int stretchCount = 0;
  int visible = 0;
  out.cy.assign(m_items.size(), 0);
  for (size_t i = 0; i < m_items.size(); ++i) {
    CControlUI* c = m_items[i].get();
    if (!c->IsVisible() || c->IsFloat()) continue;
    ++visible;
    RECT p = c->GetPadding();
    // A scrolling layout has no height limit to offer: its content may be taller than the view.
    SIZE sz = c->EstimateSize(SIZE{width - p.left - p.right, m_pVerticalScrollBar ? 0x3FFFFFFF : avail});
    if (sz.cy == 0) {
      ++stretchCount;
    } else {
      sz.cy = std::clamp<int>(sz.cy, c->GetMinHeight(), c->GetMaxHeight());
      out.cy[i] = sz.cy;
      fixedTotal += sz.cy;
    }
    fixedTotal += p.top + p.bottom;
  }
  if (visible > 1) fixedTotal += (visible - 1) * m_iChildPadding;
  out.fixedTotal = fixedTotal;
  out.stretchCount = stretchCount;
  // The content height: the fixed part plus what the stretching children get.
  int stretch = stretchCount > 0 ? std::max(0, avail - fixedTotal) / stretchCount : 0;
  int stretchRemainder = stretchCount > 0 ? std::max(0, avail - fixedTotal) - stretch * stretchCount : 0;
  int total = 0;
  bool first = true;
  for (size_t i = 0; i < m_items.size(); ++i) {
    CControlUI* c = m_items[i].get();
    if (!c->IsVisible() || c->IsFloat()) continue;
    if (!first) total += m_iChildPadding;
    first = false;
    RECT p = c->GetPadding();
    int h = out.cy[i];
    if (h == 0) h = std::clamp<int>(stretch + (stretchRemainder-- > 0 ? 1 : 0), c->GetMinHeight(), c->GetMaxHeight());
    total += p.top + h + p.bottom;
  }
  out.total = total;
}

int CVerticalLayoutUI::MeasureChildren(RECT rc) {
  Measure(rc, m_measured);
  return m_measured.total;
}

int CVerticalLayoutUI::LayoutChildren(RECT rc) {
  const int width = rc.right - rc.left;
  const int avail = rc.bottom - rc.top;
  Heights heights;
  if (m_measured.width == width && m_measured.avail == avail && m_measured.cy.size() == m_items.size()) {
    heights = std::move(m_measured);
  } else {
    Measure(rc, heights);
  }
  m_measured = Heights{};  // good for this one layout only: the children may change afterwards
  int stretch = heights.stretchCount > 0 ? std::max(0, avail - heights.fixedTotal) / heights.stretchCount : 0;
  int stretchRemainder =
      heights.stretchCount > 0 ? std::max(0, avail - heights.fixedTotal) - stretch * heights.stretchCount : 0;

  int y = rc.top - GetScrollPos().cy;
  bool first = true;
  for (size_t i = 0; i < m_items.size(); ++i) {
    CControlUI* c = m_items[i].get();
    if (!c->IsVisible()) continue;
    if (c->IsFloat()) {
      RECT f = c->GetFloatPos();
      c->SetPos({m_rcItem.left + f.left, m_rcItem.top + f.top, m_rcItem.left + f.right, m_rcItem.top + f.bottom}, false);
      continue;
    }
    if (!first) y += m_iChildPadding;
    first = false;
    RECT p = c->GetPadding();
    int h = heights.cy[i];
    if (h == 0) {
      h = stretch + (stretchRemainder-- > 0 ? 1 : 0);
      h = std::clamp<int>(h, c->GetMinHeight(), c->GetMaxHeight());
    }
    int w = c->GetFixedWidth();
    if (w == 0) w = width - p.left - p.right;
    w = std::clamp<int>(w, c->GetMinWidth(), c->GetMaxWidth());
    y += p.top;
    c->SetPos({rc.left + p.left, y, rc.left + p.left + w, y + h}, false);
    y += h + p.bottom;
  }
  return heights.total;
}

void* CHorizontalLayoutUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"HorizontalLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

int CHorizontalLayoutUI::LayoutChildren(RECT rc) {
  const int width = rc.right - rc.left;
  const int height = rc.bottom - rc.top;
  int fixedTotal = 0;
  int stretchCount = 0;
  int visible = 0;
  // A row of a few controls, laid out for each of thousands of rows, allocates nothing.
  int few[8] = {};
  std::vector<int> many;
  if (m_items.size() > std::size(few)) many.assign(m_items.size(), 0);
  int* widths = many.empty() ? few : many.data();
  for (size_t i = 0; i < m_items.size(); ++i) {
    CControlUI* c = m_items[i].get();
    if (!c->IsVisible() || c->IsFloat()) continue;
    ++visible;
    RECT p = c->GetPadding();
    SIZE sz = c->EstimateSize(SIZE{width, height - p.top - p.bottom});
    if (sz.cx == 0) {
      ++stretchCount;
    } else {
      sz.cx = std::clamp<int>(sz.cx, c->GetMinWidth(), c->GetMaxWidth());
      widths[i] = sz.cx;
      fixedTotal += sz.cx;
    }
    fixedTotal += p.left + p.right;
  }
  if (visible > 1) fixedTotal += (visible - 1) * m_iChildPadding;
  int stretch = stretchCount > 0 ? std::max(0, width - fixedTotal) / stretchCount : 0;
  int stretchRemainder = stretchCount > 0 ? std::max(0, width - fixedTotal) - stretch * stretchCount : 0;

  int x = rc.left;
  int maxHeight = 0;
  bool first = true;
  for (size_t i = 0; i < m_items.size(); ++i) {
    CControlUI* c = m_items[i].get();
    if (!c->IsVisible()) continue;
    if (c->IsFloat()) {
      RECT f = c->GetFloatPos();
      c->SetPos({m_rcItem.left + f.left, m_rcItem.top + f.top, m_rcItem.left + f.right, m_rcItem.top + f.bottom}, false);
      continue;
    }
    if (!first) x += m_iChildPadding;
    first = false;
    RECT p = c->GetPadding();
    int w = widths[i];
    if (w == 0) {
      w = stretch + (stretchRemainder-- > 0 ? 1 : 0);
      w = std::clamp<int>(w, c->GetMinWidth(), c->GetMaxWidth());
    }
    int h = c->GetFixedHeight();
    if (h == 0) h = height - p.top - p.bottom;
    h = std::clamp<int>(h, c->GetMinHeight(), c->GetMaxHeight());
    x += p.left;
    int top = rc.top + p.top - GetScrollPos().cy;
    c->SetPos({x, top, x + w, top + h}, false);
    x += w + p.right;
    maxHeight = std::max<int>(maxHeight, p.top + h + p.bottom);
  }
  return maxHeight;
}

// ---- scroll bar ----

void CScrollBarUI::SetScrollRange(int nRange) {
  m_nRange = std::max(0, nRange);
  if (m_nScrollPos > m_nRange) m_nScrollPos = m_nRange;
}

void CScrollBarUI::SetScrollPos(int nPos) {
  m_nScrollPos = std::clamp(nPos, 0, m_nRange);
}

RECT CScrollBarUI::ThumbRect() const {
  RECT rc = m_rcItem;
  int track = rc.bottom - rc.top;
  if (track <= 0) return rc;
  int thumb = std::max(24, static_cast<int>(static_cast<long long>(track) * track / (track + m_nRange)));
  thumb = std::min(thumb, track);
  int top = m_nRange > 0 ? static_cast<int>(static_cast<long long>(track - thumb) * m_nScrollPos / m_nRange) : 0;
  return RECT{rc.left + 1, rc.top + top, rc.right - 1, rc.top + top + thumb};
}

void CScrollBarUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, &rcPaint, &m_rcItem) || m_nRange <= 0) return;
  CRenderEngine::DrawRoundColor(hDC, ThumbRect(), SIZE{6, 6},
                                (m_bHot || m_bDragging) ? m_dwThumbHotColor : m_dwThumbColor);
}

void CScrollBarUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_MOUSEENTER: m_bHot = true; Invalidate(); return;
    case UIEVENT_MOUSELEAVE: m_bHot = false; Invalidate(); return;
    case UIEVENT_BUTTONDOWN: {
      RECT thumb = ThumbRect();
      if (PtInRect(&thumb, event.ptMouse)) {
        m_bDragging = true;
        m_ptDragStart = event.ptMouse;
        m_nDragStartPos = m_nScrollPos;
      } else if (m_pOwner) {
        if (event.ptMouse.y < thumb.top) m_pOwner->PageUp(); else m_pOwner->PageDown();
      }
      return;
    }
    case UIEVENT_BUTTONUP: m_bDragging = false; Invalidate(); return;
    case UIEVENT_MOUSEMOVE:
      if (m_bDragging && m_pOwner) {
        RECT thumb = ThumbRect();
        int track = (m_rcItem.bottom - m_rcItem.top) - (thumb.bottom - thumb.top);
        if (track > 0) {
          int pos = m_nDragStartPos +
                    static_cast<int>(static_cast<long long>(event.ptMouse.y - m_ptDragStart.y) * m_nRange / track);
          m_pOwner->SetScrollPos(SIZE{0, pos});
        }
      }
      return;
    case UIEVENT_SCROLLWHEEL:
      if (m_pOwner) m_pOwner->DoEvent(event);
      return;
    default:
      return;
  }
}

void CScrollBarUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"width") m_nBarWidth = std::max(2, _wtoi(v));
  else if (name == L"thumbcolor") m_dwThumbColor = ParseColor(v);
  else if (name == L"thumbhotcolor") m_dwThumbHotColor = ParseColor(v);
  else if (name == L"linesize") m_nLineSize = std::max(1, _wtoi(v));
  else CControlUI::SetAttribute(n, v);
}

}  // namespace DuiLib
