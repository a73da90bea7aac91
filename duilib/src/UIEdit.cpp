#include "duilib/UIEdit.h"

#include <commctrl.h>
#include <richedit.h>

#include "duilib/UIManager.h"

namespace DuiLib {
namespace {
COLORREF ToColorRef(DWORD argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }
constexpr UINT_PTR kSubclassId = 0x44554945;  // "DUIE"

// Inserts the clipboard's text at the caret, replacing the selection. The rich edit's own
// paste of a plain-text control replaces the whole text under Wine instead.
void PastePlainText(HWND hwnd) {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return;
  // Another program may hold the clipboard for a moment.
  bool open = false;
  for (int attempt = 0; attempt < 10 && !(open = OpenClipboard(hwnd) != FALSE); ++attempt) Sleep(10);
  if (!open) return;
  std::wstring text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  if (!text.empty()) ::SendMessageW(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}
}  // namespace

// ---- shared host of a native edit window ----

CNativeEditHost::~CNativeEditHost() {
  DestroyNativeWindow();
  if (m_hBkBrush) DeleteObject(m_hBkBrush);
}

void CNativeEditHost::DestroyNativeWindow() {
  if (m_hWnd) {
    RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
    if (IsWindow(m_hWnd)) {
      // Keep the text if the control lives on (a rebuilt manager), and let the window go.
      m_sText = CNativeEditHost::GetText();
      DestroyWindow(m_hWnd);
    }
    m_hWnd = nullptr;
  }
}

CDuiString CNativeEditHost::GetText() const {
  if (!m_hWnd || !IsWindow(m_hWnd)) return m_sText;
  int n = GetWindowTextLengthW(m_hWnd);
  CDuiString text(n + 1, L'\0');
  n = GetWindowTextW(m_hWnd, text.data(), n + 1);
  text.resize(n > 0 ? n : 0);
  return text;
}

void CNativeEditHost::SetText(const CDuiString& text) {
  m_sText = text;
  if (m_hWnd) {
    m_bSettingText = true;
    SetWindowTextW(m_hWnd, text.c_str());
    m_bSettingText = false;
  }
  Invalidate();
}

void CNativeEditHost::SetReadOnly(bool bReadOnly) {
  m_bReadOnly = bReadOnly;
  if (m_hWnd) ::SendMessageW(m_hWnd, EM_SETREADONLY, bReadOnly, 0);
}

void CNativeEditHost::SetMaxChar(int n) {
  m_nMaxChar = n;
  if (m_hWnd) ::SendMessageW(m_hWnd, EM_LIMITTEXT, n, 0);
}

void CNativeEditHost::SetSel(long nStartChar, long nEndChar) {
  if (m_hWnd) ::SendMessageW(m_hWnd, EM_SETSEL, nStartChar, nEndChar);
}

void CNativeEditHost::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  if (pManager != m_pManager) DestroyNativeWindow();
  CLabelUI::SetManager(pManager, pParent, bInit);
  if (m_pManager && m_pManager->GetPaintWindow() && !m_hWnd) {
    m_hWnd = CreateNativeWindow(m_pManager->GetPaintWindow());
    if (m_hWnd) {
      SetWindowSubclass(m_hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
      ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_pManager->GetFont(m_iFont)), FALSE);
      if (m_nMaxChar > 0) ::SendMessageW(m_hWnd, EM_LIMITTEXT, m_nMaxChar, 0);
      m_bSettingText = true;
      SetWindowTextW(m_hWnd, m_sText.c_str());
      m_bSettingText = false;
      UpdateNativeWindow();
    }
  }
}

RECT CNativeEditHost::NativeRect() const {
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left + m_rcBorderSize.left;
  rc.right -= m_rcTextPadding.right + m_rcBorderSize.right;
  rc.top += m_rcTextPadding.top + m_rcBorderSize.top;
  rc.bottom -= m_rcTextPadding.bottom + m_rcBorderSize.bottom;
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  return rc;
}

void CNativeEditHost::UpdateNativeWindow() {
  if (!m_hWnd) return;
  RECT rc = NativeRect();
  bool show = IsVisible() && rc.right > rc.left && rc.bottom > rc.top;
  SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  EnableWindow(m_hWnd, IsEnabled());
}

void CNativeEditHost::SetPos(RECT rc, bool bNeedInvalidate) {
  CLabelUI::SetPos(rc, bNeedInvalidate);
  UpdateNativeWindow();
}

void CNativeEditHost::SetVisible(bool bVisible) {
  CLabelUI::SetVisible(bVisible);
  UpdateNativeWindow();
}

void CNativeEditHost::SetInternVisible(bool bVisible) {
  CLabelUI::SetInternVisible(bVisible);
  UpdateNativeWindow();
}

void CNativeEditHost::SetEnabled(bool bEnable) {
  CLabelUI::SetEnabled(bEnable);
  if (m_hWnd) EnableWindow(m_hWnd, bEnable);
}

void CNativeEditHost::SetFocus() {
  if (m_pManager) m_pManager->SetFocus(this);
}

void CNativeEditHost::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"readonly") SetReadOnly(ParseBool(v));
  else if (name == L"maxchar") SetMaxChar(_wtoi(v));
  else if (name == L"nativebkcolor") SetBkColor(ParseColor(v));
  else CLabelUI::SetAttribute(n, v);
}

void CNativeEditHost::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      Invalidate();
      if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_SETFOCUS);
      return;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      Invalidate();
      if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_KILLFOCUS);
      return;
    case UIEVENT_BUTTONDOWN:
      // A click on the padding around the native box still focuses it.
      SetFocus();
      return;
    default:
      CLabelUI::DoEvent(event);
  }
}

void CNativeEditHost::OnNativeCommand(WORD code) {
  if (code == EN_CHANGE && !m_bSettingText && m_pManager)
    m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
}

HBRUSH CNativeEditHost::OnCtlColor(HDC hdc) {
  DWORD bk = m_dwBackColor ? m_dwBackColor : 0xFFFFFFFF;
  ::SetTextColor(hdc, ToColorRef(EffectiveTextColor()));
  ::SetBkColor(hdc, ToColorRef(bk));
  if (!m_hBkBrush || m_dwBrushColor != bk) {
    if (m_hBkBrush) DeleteObject(m_hBkBrush);
    m_hBkBrush = CreateSolidBrush(ToColorRef(bk));
    m_dwBrushColor = bk;
  }
  return m_hBkBrush;
}

bool CNativeEditHost::OnNativeMessage(UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lRes) {
  switch (uMsg) {
    case WM_SETFOCUS:
      if (m_pManager) m_pManager->NativeFocusChanged(this);
      return false;
    case WM_KILLFOCUS:
      if (m_pManager && m_pManager->GetFocus() == this) m_pManager->NativeFocusChanged(nullptr);
      return false;
    case WM_KEYDOWN:
      if (wParam == VK_TAB && m_pManager) {
        m_pManager->SetNextTabControl(GetKeyState(VK_SHIFT) >= 0);
        lRes = 0;
        return true;
      }
      return false;
    case WM_CHAR:
      if (wParam == L'\t') { lRes = 0; return true; }
      return false;
    default:
      return false;
  }
}

LRESULT CALLBACK CNativeEditHost::SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR, DWORD_PTR refData) {
  auto* self = reinterpret_cast<CNativeEditHost*>(refData);
  if (uMsg == WM_DESTROY && self && self->m_hWnd == hWnd) {
    // The window goes with its parent (a closed dialog): keep what the user typed for GetText.
    self->m_sText = self->CNativeEditHost::GetText();
  }
  if (uMsg == WM_NCDESTROY) {
    RemoveWindowSubclass(hWnd, SubclassProc, kSubclassId);
    if (self && self->m_hWnd == hWnd) self->m_hWnd = nullptr;
    return DefSubclassProc(hWnd, uMsg, wParam, lParam);
  }
  LRESULT lRes = 0;
  if (self && self->OnNativeMessage(uMsg, wParam, lParam, lRes)) return lRes;
  return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

// ---- CEditUI ----

CEditUI::CEditUI() {
  m_rcTextPadding = {4, 3, 4, 3};
  m_cxyFixed.cy = 0;
}

void* CEditUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"Edit") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

void CEditUI::SetPasswordMode(bool bPassword) {
  m_bPassword = bPassword;
  if (m_hWnd) {
    ::SendMessageW(m_hWnd, EM_SETPASSWORDCHAR, bPassword ? L'\x25CF' : 0, 0);
    InvalidateRect(m_hWnd, nullptr, TRUE);
  }
}

void CEditUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  if (wcscmp(n, L"password") == 0) SetPasswordMode(ParseBool(v));
  else CNativeEditHost::SetAttribute(n, v);
}

SIZE CEditUI::EstimateSize(SIZE) {
  if (m_cxyFixed.cy != 0 || !m_pManager) return m_cxyFixed;
  const TFontInfo* fi = m_pManager->GetFontInfo(m_iFont);
  int h = (fi ? fi->tm.tmHeight : 16) + 8 + m_rcTextPadding.top + m_rcTextPadding.bottom;
  return SIZE{m_cxyFixed.cx, h};
}

HWND CEditUI::CreateNativeWindow(HWND parent) {
  DWORD style = WS_CHILD | ES_AUTOHSCROLL | WS_CLIPSIBLINGS;
  if (m_bReadOnly) style |= ES_READONLY;
  HWND hwnd = CreateWindowExW(0, L"EDIT", L"", style, 0, 0, 0, 0, parent, nullptr,
                              CPaintManagerUI::GetInstance(), nullptr);
  if (hwnd && m_bPassword) ::SendMessageW(hwnd, EM_SETPASSWORDCHAR, L'\x25CF', 0);
  return hwnd;
}

bool CEditUI::OnNativeMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_RETURN);
    lRes = 0;
    return true;
  }
  if (uMsg == WM_CHAR && (wParam == L'\r' || wParam == L'\n')) {
    lRes = 0;
    return true;
  }
  return CNativeEditHost::OnNativeMessage(uMsg, wParam, lParam, lRes);
}

// ---- CRichEditUI ----

CRichEditUI::CRichEditUI() { m_rcTextPadding = {4, 4, 4, 4}; }

void* CRichEditUI::GetInterface(const wchar_t* pstrName) {
  if (wcscmp(pstrName, L"RichEdit") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

HWND CRichEditUI::CreateNativeWindow(HWND parent) {
  static HMODULE module = LoadLibraryW(L"msftedit.dll");
  if (!module) {
    Log(L"DuiLib: msftedit.dll is missing; rich edit '%ls' falls back to a plain edit", m_sName.c_str());
  }
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (m_bMultiLine) style |= ES_MULTILINE | ES_AUTOVSCROLL | (m_bWantReturn ? ES_WANTRETURN : 0);
  else style |= ES_AUTOHSCROLL;
  if (m_bVScroll && m_bMultiLine) style |= WS_VSCROLL;
  if (m_bReadOnly) style |= ES_READONLY;
  HWND hwnd = CreateWindowExW(0, module ? MSFTEDIT_CLASS : L"EDIT", L"", style, 0, 0, 0, 0, parent,
                              nullptr, CPaintManagerUI::GetInstance(), nullptr);
  if (hwnd && module) {
    ::SendMessageW(hwnd, EM_SETEVENTMASK, 0, ENM_CHANGE);
    ::SendMessageW(hwnd, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    DWORD bk = m_dwBackColor ? m_dwBackColor : 0xFFFFFFFF;
    ::SendMessageW(hwnd, EM_SETBKGNDCOLOR, 0, ToColorRef(bk));
    // The skin's text colour applies from the first typed character, not only after SetText.
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR;
    cf.crTextColor = ToColorRef(EffectiveTextColor());
    ::SendMessageW(hwnd, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
  }
  return hwnd;
}

void CRichEditUI::ApplyTextColor() {
  if (!m_hWnd) return;
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof cf;
  cf.dwMask = CFM_COLOR;
  cf.crTextColor = ToColorRef(EffectiveTextColor());
  ::SendMessageW(m_hWnd, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
}

void CRichEditUI::SetTextColor(DWORD dwTextColor) {
  CLabelUI::SetTextColor(dwTextColor);
  ApplyTextColor();
}

CDuiString CRichEditUI::GetText() const {
  CDuiString raw = CNativeEditHost::GetText();
  // The native control keeps paragraph breaks as "\r" (or "\r\n"); callers see "\n".
  CDuiString text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == L'\r') {
      text.push_back(L'\n');
      if (i + 1 < raw.size() && raw[i + 1] == L'\n') ++i;
    } else {
      text.push_back(raw[i]);
    }
  }
  return text;
}

void CRichEditUI::SetText(const CDuiString& text) {
  CNativeEditHost::SetText(text);
  ApplyTextColor();
}

void CRichEditUI::AppendText(const CDuiString& text, bool bCanUndo) {
  if (!m_hWnd) {
    m_sText += text;
    return;
  }
  m_bSettingText = true;
  int len = GetWindowTextLengthW(m_hWnd);
  ::SendMessageW(m_hWnd, EM_SETSEL, len, len);
  ::SendMessageW(m_hWnd, EM_SETSEL, -1, -1);
  ::SendMessageW(m_hWnd, EM_REPLACESEL, bCanUndo ? TRUE : FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  m_bSettingText = false;
}

void CRichEditUI::ReplaceSel(const CDuiString& text) {
  if (!m_hWnd) {
    m_sText += text;
    return;
  }
  m_bSettingText = true;
  ::SendMessageW(m_hWnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  m_bSettingText = false;
}

void CRichEditUI::Copy() { if (m_hWnd) ::SendMessageW(m_hWnd, WM_COPY, 0, 0); }
void CRichEditUI::Cut() { if (m_hWnd && !m_bReadOnly) ::SendMessageW(m_hWnd, WM_CUT, 0, 0); }
void CRichEditUI::Paste() {
  if (m_hWnd && !m_bReadOnly) PastePlainText(m_hWnd);
}

void CRichEditUI::SetAttribute(const wchar_t* n, const wchar_t* v) {
  CDuiString name(n);
  if (name == L"multiline") m_bMultiLine = ParseBool(v);
  else if (name == L"vscrollbar") m_bVScroll = ParseBool(v);
  else if (name == L"wantreturn") m_bWantReturn = ParseBool(v);
  else if (name == L"rich" || name == L"autovscroll" || name == L"wanttab") {}
  else if (name == L"textcolor") SetTextColor(ParseColor(v));  // reaches the native control too
  else CNativeEditHost::SetAttribute(n, v);
}

bool CRichEditUI::OnNativeMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  const bool pasteKey = uMsg == WM_KEYDOWN && ((wParam == 'V' && GetKeyState(VK_CONTROL) < 0) ||
                                               (wParam == VK_INSERT && GetKeyState(VK_SHIFT) < 0));
  if (uMsg == WM_PASTE || pasteKey) {
    if (!m_bReadOnly) PastePlainText(m_hWnd);
    lRes = 0;
    return true;
  }
  if (uMsg == WM_RBUTTONUP && m_pManager) {
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    MapWindowPoints(m_hWnd, m_pManager->GetPaintWindow(), &pt, 1);
    TNotifyUI msg;
    msg.sType = DUI_MSGTYPE_RICHEDIT_CLICK;
    msg.pSender = this;
    msg.ptMouse = pt;
    msg.dwTimestamp = GetTickCount();
    m_pManager->SendNotify(msg);
    lRes = 0;
    return true;
  }
  if (!m_bWantReturn && uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_RETURN);
    lRes = 0;
    return true;
  }
  if (!m_bWantReturn && uMsg == WM_CHAR && (wParam == L'\r' || wParam == L'\n')) {
    lRes = 0;
    return true;
  }
  return CNativeEditHost::OnNativeMessage(uMsg, wParam, lParam, lRes);
}

}  // namespace DuiLib
