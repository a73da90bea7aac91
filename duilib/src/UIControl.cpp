#include "duilib/UIControl.h"

#include "duilib/UIManager.h"
#include "duilib/UIRender.h"

namespace DuiLib {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (m_pManager) m_pManager->ControlRemoved(this);
}

void* CControlUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"Control") == 0) return this;
  return nullptr;
}

void CControlUI::SetName(const CDuiString& name) {
  if (name == m_sName) return;
  CDuiString old = m_sName;
  m_sName = name;
  if (m_pManager) m_pManager->NameChanged(this, old);
}

void CControlUI::SetText(const CDuiString& text) {
  if (m_sText == text) return;
  m_sText = text;
  Invalidate();
}

void CControlUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  if (pManager != m_pManager) {
    if (m_pManager) m_pManager->ControlRemoved(this);
    m_pManager = pManager;
    if (m_pManager) m_pManager->ControlAdded(this);
  }
  m_pParent = pParent;
  if (bInit && m_pManager) m_pManager->InitControls(this, pParent);
}

void CControlUI::SetVisible(bool bVisible) {
  if (m_bVisible == bVisible) return;
  bool wasVisible = IsVisible();
  m_bVisible = bVisible;
  if (m_bFocused && !bVisible) m_bFocused = false;
  if (IsVisible() != wasVisible) NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool bVisible) { m_bInternVisible = bVisible; }

void CControlUI::SetEnabled(bool bEnable) {
  if (m_bEnabled == bEnable) return;
  m_bEnabled = bEnable;
  Invalidate();
}

void CControlUI::SetFocus() {
  if (m_pManager) m_pManager->SetFocus(this);
}

void CControlUI::SetPos(RECT rc, bool bNeedInvalidate) {
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  if (bNeedInvalidate && !EqualRect(&rc, &m_rcItem)) Invalidate();
  m_rcItem = rc;
  m_bUpdateNeeded = false;
  if (bNeedInvalidate) Invalidate();
}

void CControlUI::SetPadding(RECT rc) {
  m_rcPadding = rc;
  NeedParentUpdate();
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0) return;
  m_cxyFixed.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0) return;
  m_cxyFixed.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetMinWidth(int cx) { if (cx >= 0) { m_cxyMin.cx = cx; NeedParentUpdate(); } }
void CControlUI::SetMaxWidth(int cx) { if (cx >= 0) { m_cxyMax.cx = cx; NeedParentUpdate(); } }
void CControlUI::SetMinHeight(int cy) { if (cy >= 0) { m_cxyMin.cy = cy; NeedParentUpdate(); } }
void CControlUI::SetMaxHeight(int cy) { if (cy >= 0) { m_cxyMax.cy = cy; NeedParentUpdate(); } }

SIZE CControlUI::EstimateSize(SIZE) { return m_cxyFixed; }

void CControlUI::SetBkColor(DWORD dwColor) { m_dwBackColor = dwColor; Invalidate(); }

void CControlUI::SetBkImage(const CDuiString& image) {
  ImageChanged(m_sBkImage, image);
  m_sBkImage = image;
  Invalidate();
}

void CControlUI::ImageChanged(const CDuiString& oldImage, const CDuiString& newImage) {
  if (oldImage == newImage) return;
  m_mHeldImages.erase(oldImage);
  if (m_pManager) m_pManager->ForgetFailedImage(ParseDrawInfo(newImage).sFile);
}

void CControlUI::SetBorderColor(DWORD dwColor) { m_dwBorderColor = dwColor; Invalidate(); }
void CControlUI::SetFocusBorderColor(DWORD dwColor) { m_dwFocusBorderColor = dwColor; Invalidate(); }
void CControlUI::SetBorderSize(int nSize) { m_rcBorderSize = {nSize, nSize, nSize, nSize}; Invalidate(); }
void CControlUI::SetBorderSize(RECT rc) { m_rcBorderSize = rc; Invalidate(); }
void CControlUI::SetBorderRound(SIZE cxyRound) { m_cxyBorderRound = cxyRound; Invalidate(); }

void CControlUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"name") SetName(v);
  else if (name == L"text") SetText(v);
  else if (name == L"tooltip") SetToolTip(v);
  else if (name == L"userdata") SetUserData(v);
  else if (name == L"pos") {
    RECT rc = ParseRect(v);
    m_rcFloat = rc;
    m_cxyFixed = {rc.right - rc.left, rc.bottom - rc.top};
    NeedParentUpdate();
  }
  else if (name == L"float") { m_bFloat = ParseBool(v); NeedParentUpdate(); }
  else if (name == L"padding") SetPadding(ParseRect(v));
  else if (name == L"width") SetFixedWidth(_wtoi(v));
  else if (name == L"height") SetFixedHeight(_wtoi(v));
  else if (name == L"minwidth") SetMinWidth(_wtoi(v));
  else if (name == L"maxwidth") SetMaxWidth(_wtoi(v));
  else if (name == L"minheight") SetMinHeight(_wtoi(v));
  else if (name == L"maxheight") SetMaxHeight(_wtoi(v));
  else if (name == L"bkcolor") SetBkColor(ParseColor(v));
  else if (name == L"bkimage") SetBkImage(v);
  else if (name == L"bordercolor") SetBorderColor(ParseColor(v));
  else if (name == L"focusbordercolor") SetFocusBorderColor(ParseColor(v));
  else if (name == L"bordersize") {
    if (wcschr(v, L',')) SetBorderSize(ParseRect(v));
    else SetBorderSize(_wtoi(v));
  }
  else if (name == L"borderround") SetBorderRound(ParseSize(v));
  else if (name == L"visible") SetVisible(ParseBool(v));
  else if (name == L"enabled") SetEnabled(ParseBool(v));
  else if (name == L"mouse") SetMouseEnabled(ParseBool(v));
  else if (name == L"keyboard") SetKeyboardEnabled(ParseBool(v));
  else Log(L"DuiLib: unknown attribute '%ls' on %ls ignored", n, GetClass().c_str());
}

void CControlUI::SetAttributeList(const wchar_t* pstrList) {
  // name="value" pairs; values may use either quote.
  const wchar_t* p = pstrList;
  while (p && *p) {
    while (*p == L' ' || *p == L'\t' || *p == L'\r' || *p == L'\n') ++p;
    if (!*p) break;
    const wchar_t* nameStart = p;
    while (*p && *p != L'=' && *p != L' ') ++p;
    CDuiString name(nameStart, p - nameStart);
    while (*p == L' ') ++p;
    if (*p != L'=') {
      Log(L"DuiLib: malformed attribute list '%ls'", pstrList);
      return;
    }
    ++p;
    while (*p == L' ') ++p;
    wchar_t quote = *p;
    if (quote != L'"' && quote != L'\'') {
      Log(L"DuiLib: malformed attribute list '%ls'", pstrList);
      return;
    }
    ++p;
    const wchar_t* valueStart = p;
    while (*p && *p != quote) ++p;
    if (!*p) {
      Log(L"DuiLib: malformed attribute list '%ls'", pstrList);
      return;
    }
    CDuiString value(valueStart, p - valueStart);
    ++p;
    SetAttribute(name.c_str(), value.c_str());
  }
}

void CControlUI::Invalidate() {
  if (!m_pManager || !IsVisible()) return;
  RECT rc = m_rcItem;
  // Only the part inside every ancestor is visible.
  for (CControlUI* p = m_pParent; p; p = p->m_pParent) {
    RECT parent = p->GetPos();
    if (!IntersectRect(&rc, &rc, &parent)) return;
  }
  m_pManager->Invalidate(rc);
}

void CControlUI::NeedUpdate() {
  if (!IsVisible()) return;
  m_bUpdateNeeded = true;
  Invalidate();
  if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::NeedParentUpdate() {
  if (m_pParent) {
    m_pParent->NeedUpdate();
    m_pParent->Invalidate();
  } else {
    NeedUpdate();
  }
  if (m_pManager) m_pManager->NeedUpdate();
}

class CControlUI::RoundClip {
 public:
  RoundClip(HDC hDC, const RECT& rc, SIZE round) : m_hDC(hDC) {
    if (round.cx <= 0 || round.cy <= 0) return;
    m_saved = SaveDC(hDC);
    HRGN rgn = CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1, round.cx, round.cy);
    ExtSelectClipRgn(hDC, rgn, RGN_AND);
    DeleteObject(rgn);
  }
  ~RoundClip() {
    if (m_saved) RestoreDC(m_hDC, m_saved);
  }

 private:
  HDC m_hDC;
  int m_saved = 0;
};

void CControlUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  if (!IntersectRect(&m_rcPaint, &rcPaint, &m_rcItem)) return;
  {
    RoundClip clip(hDC, m_rcItem, m_cxyBorderRound);
    PaintBkColor(hDC);
    PaintBkImage(hDC);
    PaintStatusImage(hDC);
    PaintText(hDC);
  }
  PaintBorder(hDC);
}

void CControlUI::PaintBkColor(HDC hDC) {
  if (m_dwBackColor != 0) CRenderEngine::DrawRoundColor(hDC, m_rcItem, m_cxyBorderRound, m_dwBackColor);
}

void CControlUI::PaintBkImage(HDC hDC) {
  if (!m_sBkImage.empty()) DrawImage(hDC, m_sBkImage);
}

void CControlUI::PaintStatusImage(HDC) {}
void CControlUI::PaintText(HDC) {}

void CControlUI::PaintBorder(HDC hDC) {
  DWORD color = (m_bFocused && m_dwFocusBorderColor) ? m_dwFocusBorderColor : m_dwBorderColor;
  if (color == 0) return;
  if (m_rcBorderSize.left <= 0 && m_rcBorderSize.top <= 0 && m_rcBorderSize.right <= 0 &&
      m_rcBorderSize.bottom <= 0)
    return;
  CRenderEngine::DrawBorder(hDC, m_rcItem, m_rcBorderSize, m_cxyBorderRound, color);
}

bool CControlUI::DrawImage(HDC hDC, const CDuiString& image, const RECT* dest) {
  if (!m_pManager || image.empty()) return false;
  TDrawInfo info = ParseDrawInfo(image);
  if (info.sFile.empty()) return false;
  auto& held = m_mHeldImages[image];
  held = m_pManager->AcquireImage(info.sFile);
  const RECT& rcItem = dest ? *dest : m_rcItem;
  if (!held && m_pManager->IsOutsideImage(info.sFile)) {
    CRenderEngine::DrawImagePlaceholder(hDC, CRenderEngine::ImageDestination(rcItem, info), m_rcPaint);
    return true;
  }
  return CRenderEngine::DrawImage(hDC, held.get(), rcItem, m_rcPaint, info);
}

void CControlUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      Invalidate();
      return;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      Invalidate();
      return;
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE:
      return;
    default:
      break;
  }
  if (m_pParent) m_pParent->DoEvent(event);
}

CControlUI* CControlUI::FindControlAt(POINT pt) {
  if (!IsVisible() || !m_bMouseEnabled) return nullptr;
  return PtInRect(&m_rcItem, pt) ? this : nullptr;
}

bool CControlUI::ForEach(const std::function<bool(CControlUI*)>& fn) { return fn(this); }

}  // namespace DuiLib
