#include "duilib/UILabel.h"

#include "duilib/UIManager.h"
#include "duilib/UIMarkupText.h"

namespace DuiLib {

// ---- CLabelUI ----

void* CLabelUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"Label") == 0) return this;
  return CControlUI::GetInterface(pstrName);
}

void CLabelUI::SetTextStyle(UINT uStyle) { m_uTextStyle = uStyle; Invalidate(); }
void CLabelUI::SetTextColor(DWORD dwTextColor) { m_dwTextColor = dwTextColor; Invalidate(); }
void CLabelUI::SetDisabledTextColor(DWORD dwTextColor) { m_dwDisabledTextColor = dwTextColor; Invalidate(); }
void CLabelUI::SetFont(int index) { m_iFont = index; NeedParentUpdate(); }
void CLabelUI::SetTextPadding(RECT rc) { m_rcTextPadding = rc; NeedParentUpdate(); }
void CLabelUI::SetShowHtml(bool bShowHtml) { m_bShowHtml = bShowHtml; Invalidate(); }

void CLabelUI::SetText(const CDuiString& text) {
  if (text == m_sText) return;
  CControlUI::SetText(text);
  if (m_bAutoCalcWidth) NeedParentUpdate();
}

DWORD CLabelUI::EffectiveTextColor() const {
  if (!IsEnabled()) {
    if (m_dwDisabledTextColor) return m_dwDisabledTextColor;
    if (m_pManager) return m_pManager->GetDefaultDisabledColor();
  }
  if (m_dwTextColor) return m_dwTextColor;
  return m_pManager ? m_pManager->GetDefaultFontColor() : 0xFF000000;
}

SIZE CLabelUI::EstimateSize(SIZE szAvailable) {
  if (!m_bAutoCalcWidth || !m_pManager) return m_cxyFixed;
  RECT rc{0, 0, szAvailable.cx > 0 ? szAvailable.cx : 9999, 9999};
  HDC dc = m_pManager->GetPaintDC() ? m_pManager->GetPaintDC() : GetDC(nullptr);
  if (m_bShowHtml) CRenderEngine::DrawHtmlText(dc, m_pManager, rc, m_sText, 0, m_iFont, DT_CALCRECT | DT_SINGLELINE);
  else CRenderEngine::DrawSingleText(dc, m_pManager, rc, m_sText, 0, m_iFont, DT_CALCRECT | DT_SINGLELINE);
  if (!m_pManager->GetPaintDC()) ReleaseDC(nullptr, dc);
  return SIZE{rc.right - rc.left + m_rcTextPadding.left + m_rcTextPadding.right, m_cxyFixed.cy};
}

void CLabelUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"align") {
    m_uTextStyle &= ~(DT_LEFT | DT_CENTER | DT_RIGHT);
    if (wcsstr(v, L"center")) m_uTextStyle |= DT_CENTER;
    else if (wcsstr(v, L"right")) m_uTextStyle |= DT_RIGHT;
    else m_uTextStyle |= DT_LEFT;
  } else if (name == L"valign") {
    m_uTextStyle &= ~(DT_TOP | DT_VCENTER | DT_BOTTOM);
    if (wcsstr(v, L"top")) m_uTextStyle |= DT_TOP;
    else if (wcsstr(v, L"bottom")) m_uTextStyle |= DT_BOTTOM;
    else m_uTextStyle |= DT_VCENTER;
  } else if (name == L"endellipsis") {
    if (ParseBool(v)) m_uTextStyle |= DT_END_ELLIPSIS; else m_uTextStyle &= ~DT_END_ELLIPSIS;
  } else if (name == L"wordbreak" || name == L"multiline") {
    if (ParseBool(v)) { m_uTextStyle &= ~DT_SINGLELINE; m_uTextStyle |= DT_WORDBREAK; }
    else { m_uTextStyle |= DT_SINGLELINE; m_uTextStyle &= ~DT_WORDBREAK; }
  } else if (name == L"font") SetFont(_wtoi(v));
  else if (name == L"textcolor") SetTextColor(ParseColor(v));
  else if (name == L"disabledtextcolor") SetDisabledTextColor(ParseColor(v));
  else if (name == L"textpadding") SetTextPadding(ParseRect(v));
  else if (name == L"showhtml") SetShowHtml(ParseBool(v));
  else if (name == L"autocalcwidth") SetAutoCalcWidth(ParseBool(v));
  else CControlUI::SetAttribute(n, v);
}

void CLabelUI::PaintText(HDC hDC) {
  if (m_sText.empty() || !m_pManager) return;
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.right -= m_rcTextPadding.right;
  rc.top += m_rcTextPadding.top;
  rc.bottom -= m_rcTextPadding.bottom;
  if (m_bShowHtml) CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, m_sText, EffectiveTextColor(), m_iFont, m_uTextStyle);
  else CRenderEngine::DrawSingleText(hDC, m_pManager, rc, m_sText, EffectiveTextColor(), m_iFont, m_uTextStyle);
}

// ---- CTextUI ----

CTextUI::CTextUI() { m_uTextStyle = DT_WORDBREAK; }

void* CTextUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"Text") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

const CDuiString* CTextUI::GetLinkContent(int iIndex) const {
  if (iIndex < 0 || iIndex >= static_cast<int>(m_links.size())) return nullptr;
  return &m_links[iIndex].content;
}

int CTextUI::LinkAt(POINT pt) const {
  for (size_t i = 0; i < m_links.size(); ++i)
    for (const RECT& rc : m_links[i].rects)
      if (PtInRect(&rc, pt)) return static_cast<int>(i);
  return -1;
}

void CTextUI::SetText(const CDuiString& text) {
  if (text == m_sText) return;
  m_links.clear();
  m_nHoverLink = -1;
  CLabelUI::SetText(text);
  if (m_pManager) NeedUpdate();
}

void CTextUI::SetPos(RECT rc, bool bNeedInvalidate) {
  CLabelUI::SetPos(rc, bNeedInvalidate);
  // Lay the links out now so that clicks find them even before the first paint.
  if (m_bShowHtml && m_pManager && m_pManager->GetPaintDC()) {
    RECT text = m_rcItem;
    text.left += m_rcTextPadding.left;
    text.right -= m_rcTextPadding.right;
    text.top += m_rcTextPadding.top;
    text.bottom -= m_rcTextPadding.bottom;
    CRenderEngine::DrawHtmlText(m_pManager->GetPaintDC(), m_pManager, text, m_sText, 0, m_iFont,
                                m_uTextStyle | DT_CALCRECT, &m_links, m_nHoverLink);
  }
}

SIZE CTextUI::EstimateSize(SIZE szAvailable) {
  if (m_cxyFixed.cy != 0 || !m_pManager) return m_cxyFixed;
  int width = (m_cxyFixed.cx > 0 ? m_cxyFixed.cx : szAvailable.cx) - m_rcTextPadding.left - m_rcTextPadding.right;
  RECT rc{0, 0, width > 0 ? width : 1, 9999};
  HDC dc = m_pManager->GetPaintDC();
  bool own = dc == nullptr;
  if (own) dc = GetDC(nullptr);
  UINT style = (m_uTextStyle & ~(DT_VCENTER | DT_BOTTOM | DT_END_ELLIPSIS)) | DT_CALCRECT;
  if (m_bShowHtml) {
    CRenderEngine::DrawHtmlText(dc, m_pManager, rc, m_sText, 0, m_iFont, style);
  } else {
    // Plain text lays out as marked-up text without tags, so estimates and painting agree.
    CRenderEngine::DrawHtmlText(dc, m_pManager, rc, EscapeMarkup(m_sText), 0, m_iFont, style);
  }
  if (own) ReleaseDC(nullptr, dc);
  int cy = rc.bottom - rc.top + m_rcTextPadding.top + m_rcTextPadding.bottom;
  if (szAvailable.cy > 0 && cy > szAvailable.cy) cy = szAvailable.cy;
  return SIZE{m_cxyFixed.cx, cy};
}

void CTextUI::PaintText(HDC hDC) {
  if (m_sText.empty() || !m_pManager) return;
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.right -= m_rcTextPadding.right;
  rc.top += m_rcTextPadding.top;
  rc.bottom -= m_rcTextPadding.bottom;
  UINT style = m_uTextStyle & ~DT_END_ELLIPSIS;
  if (m_bShowHtml) {
    CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, m_sText, EffectiveTextColor(), m_iFont, style, &m_links, m_nHoverLink);
  } else {
    CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, EscapeMarkup(m_sText), EffectiveTextColor(), m_iFont, style);
  }
}

void CTextUI::DoEvent(TEventUI& event) {
  if (m_bShowHtml && !m_links.empty()) {
    if (event.Type == UIEVENT_MOUSEMOVE || event.Type == UIEVENT_MOUSELEAVE) {
      int hover = event.Type == UIEVENT_MOUSEMOVE ? LinkAt(event.ptMouse) : -1;
      if (hover != m_nHoverLink) {
        m_nHoverLink = hover;
        Invalidate();
      }
    }
    if (event.Type == UIEVENT_SETCURSOR && LinkAt(event.ptMouse) >= 0) {
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return;
    }
    if (event.Type == UIEVENT_BUTTONUP && IsEnabled()) {
      int link = LinkAt(event.ptMouse);
      if (link >= 0 && m_pManager) {
        m_pManager->SendNotify(this, DUI_MSGTYPE_LINK, static_cast<WPARAM>(link));
        return;
      }
    }
  }
  CLabelUI::DoEvent(event);
}

// ---- CButtonUI ----

CButtonUI::CButtonUI() { m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER; }

void* CButtonUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"Button") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

void CButtonUI::SetNormalImage(const CDuiString& image) { SetStateImage(m_sNormalImage, image); }
void CButtonUI::SetHotImage(const CDuiString& image) { SetStateImage(m_sHotImage, image); }
void CButtonUI::SetPushedImage(const CDuiString& image) { SetStateImage(m_sPushedImage, image); }
void CButtonUI::SetDisabledImage(const CDuiString& image) { SetStateImage(m_sDisabledImage, image); }

void CButtonUI::SetStateImage(CDuiString& slot, const CDuiString& image) {
  ImageChanged(slot, image);
  slot = image;
  Invalidate();
}

bool CButtonUI::Activate() {
  if (!IsVisible() || !IsEnabled() || !m_pManager) return false;
  m_pManager->SendNotify(this, DUI_MSGTYPE_CLICK);
  return true;
}

void CButtonUI::DoEvent(TEventUI& event) {
  if (!IsMouseEnabled() && event.Type >= UIEVENT_MOUSEMOVE && event.Type <= UIEVENT_SCROLLWHEEL) {
    if (m_pParent) m_pParent->DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEVENT_MOUSEENTER:
      if (IsEnabled()) { m_bHot = true; Invalidate(); }
      return;
    case UIEVENT_MOUSELEAVE:
      m_bHot = false;
      Invalidate();
      return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (IsEnabled()) { m_bPushed = true; Invalidate(); }
      return;
    case UIEVENT_MOUSEMOVE:
      return;
    case UIEVENT_BUTTONUP:
      if (m_bPushed) {
        m_bPushed = false;
        Invalidate();
        if (PtInRect(&m_rcItem, event.ptMouse)) Activate();
      }
      return;
    case UIEVENT_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, IsEnabled() ? IDC_HAND : IDC_ARROW));
      return;
    case UIEVENT_KEYDOWN:
      if (event.chKey == VK_SPACE || event.chKey == VK_RETURN) { Activate(); return; }
      break;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CButtonUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"normalimage") SetNormalImage(v);
  else if (name == L"hotimage") SetHotImage(v);
  else if (name == L"pushedimage") SetPushedImage(v);
  else if (name == L"disabledimage") SetDisabledImage(v);
  else if (name == L"focusedimage") {}
  else if (name == L"hotbkcolor") SetHotBkColor(ParseColor(v));
  else if (name == L"pushedbkcolor") SetPushedBkColor(ParseColor(v));
  else if (name == L"hottextcolor") SetHotTextColor(ParseColor(v));
  else if (name == L"pushedtextcolor") {}
  else CLabelUI::SetAttribute(n, v);
}

void CButtonUI::PaintBkColor(HDC hDC) {
  DWORD color = m_dwBackColor;
  if (IsEnabled() && m_bPushed && m_dwPushedBkColor) color = m_dwPushedBkColor;
  else if (IsEnabled() && m_bHot && m_dwHotBkColor) color = m_dwHotBkColor;
  if (color) CRenderEngine::DrawRoundColor(hDC, m_rcItem, m_cxyBorderRound, color);
}

void CButtonUI::PaintStatusImage(HDC hDC) {
  if (!IsEnabled() && !m_sDisabledImage.empty() && DrawImage(hDC, m_sDisabledImage)) return;
  if (IsEnabled() && m_bPushed && !m_sPushedImage.empty() && DrawImage(hDC, m_sPushedImage)) return;
  if (IsEnabled() && m_bHot && !m_sHotImage.empty() && DrawImage(hDC, m_sHotImage)) return;
  if (!m_sNormalImage.empty()) DrawImage(hDC, m_sNormalImage);
}

void CButtonUI::PaintText(HDC hDC) {
  if (m_bHot && m_dwHotTextColor && IsEnabled()) {
    DWORD saved = m_dwTextColor;
    m_dwTextColor = m_dwHotTextColor;
    CLabelUI::PaintText(hDC);
    m_dwTextColor = saved;
    return;
  }
  CLabelUI::PaintText(hDC);
}

}  // namespace DuiLib
