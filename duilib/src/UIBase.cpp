#include "duilib/UIBase.h"

#include "duilib/UIManager.h"

namespace DuiLib {

CWindowWnd* CWindowWnd::FromHandle(HWND hWnd) {
  if (!hWnd || !IsWindow(hWnd)) return nullptr;
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) != __WndProc) {
    // A subclassed window (a drop shadow, say) still carries our object in its user data.
    if (!GetPropW(hWnd, L"DuiLib.Window")) return nullptr;
  }
  return reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

bool CWindowWnd::RegisterWindowClass() {
  WNDCLASSW wc{};
  wc.style = GetClassStyle();
  wc.lpfnWndProc = __WndProc;
  wc.hInstance = CPaintManagerUI::GetInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(CPaintManagerUI::GetInstance(), MAKEINTRESOURCEW(1));
  wc.lpszClassName = GetWindowClassName();
  ATOM atom = RegisterClassW(&wc);
  return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowWnd::Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle,
                        const RECT rc, HMENU hMenu) {
  return Create(hwndParent, pstrName, dwStyle, dwExStyle, rc.left, rc.top, rc.right - rc.left,
                rc.bottom - rc.top, hMenu);
}

HWND CWindowWnd::Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle, int x,
                        int y, int cx, int cy, HMENU hMenu) {
  if (m_hWnd) return nullptr;  // one window per object
  if (!RegisterWindowClass()) return nullptr;
  // Popup windows ignore CW_USEDEFAULT for their size: give them something sane to centre.
  if ((dwStyle & WS_POPUP) && (x == CW_USEDEFAULT || cx == CW_USEDEFAULT)) {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (cx == CW_USEDEFAULT) cx = cy = 0;
  }
  HWND hwnd = CreateWindowExW(dwExStyle, GetWindowClassName(), pstrName, dwStyle, x, y, cx, cy, hwndParent,
                              hMenu, CPaintManagerUI::GetInstance(), this);
  if (!hwnd) m_hWnd = nullptr;
  return hwnd;
}

UINT CWindowWnd::ShowModal() {
  if (!m_hWnd || !IsWindow(m_hWnd)) return IDCANCEL;
  m_nModalResult = IDCANCEL;
  HWND hWndOwner = GetWindow(m_hWnd, GW_OWNER);
  ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
  if (hWndOwner) EnableWindow(hWndOwner, FALSE);
  HWND self = m_hWnd;
  MSG msg{};
  bool quit = false;
  while (IsWindow(self)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      quit = got == 0;
      break;
    }
    const bool closing = msg.message == WM_CLOSE && msg.hwnd == self;
    if (closing) {
      m_nModalResult = static_cast<UINT>(msg.wParam);
      if (hWndOwner) {
        EnableWindow(hWndOwner, TRUE);
        ::SetFocus(hWndOwner);
      }
    }
    if (!CPaintManagerUI::TranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (closing && IsWindow(self)) {
      // The window refused to close: it is still modal.
      m_nModalResult = IDCANCEL;
      if (hWndOwner) EnableWindow(hWndOwner, FALSE);
    }
  }
  if (hWndOwner && IsWindow(hWndOwner)) {
    EnableWindow(hWndOwner, TRUE);
    ::SetFocus(hWndOwner);
  }
  // A loop ended by WM_QUIT leaves its window up; the object that owns it is about to go, so
  // the window goes now, while OnFinalMessage can still run on a whole object.
  if (quit && IsWindow(self)) DestroyWindow(self);
  // Let every enclosing loop see the quit request too.
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  // A loop run from a sent message's handler returns into the GetMessageW that dispatched that
  // message, which goes on waiting for a posted one even when its own window is gone by now
  // (closed meanwhile). Wake it so it sees that at once.
  else PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  return m_nModalResult;
}

void CWindowWnd::Close(UINT nRet) {
  if (m_hWnd && IsWindow(m_hWnd)) ::PostMessageW(m_hWnd, WM_CLOSE, nRet, 0);
}

void CWindowWnd::ShowWindow(bool bShow, bool bTakeFocus) {
  if (!m_hWnd) return;
  ::ShowWindow(m_hWnd, bShow ? (bTakeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void CWindowWnd::CenterWindow() {
  if (!m_hWnd) return;
  RECT rcDlg;
  GetWindowRect(m_hWnd, &rcDlg);
  RECT rcArea;
  HWND owner = GetWindow(m_hWnd, GW_OWNER);
  MONITORINFO mi{sizeof mi, {}, {}, 0};
  HMONITOR mon = MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST);
  GetMonitorInfoW(mon, &mi);
  rcArea = mi.rcWork;
  RECT rcCenter = rcArea;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &rcCenter);
  int w = rcDlg.right - rcDlg.left;
  int h = rcDlg.bottom - rcDlg.top;
  int x = (rcCenter.left + rcCenter.right) / 2 - w / 2;
  int y = (rcCenter.top + rcCenter.bottom) / 2 - h / 2;
  if (x < rcArea.left) x = rcArea.left;
  else if (x + w > rcArea.right) x = rcArea.right - w;
  if (y < rcArea.top) y = rcArea.top;
  else if (y + h > rcArea.bottom) y = rcArea.bottom - h;
  SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT nRes) {
  HICON icon = LoadIconW(CPaintManagerUI::GetInstance(), MAKEINTRESOURCEW(nRes));
  if (!icon || !m_hWnd) return;
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

LRESULT CWindowWnd::SendWindowMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageW(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::PostWindowMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageW(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CALLBACK CWindowWnd::__WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* self = nullptr;
  if (uMsg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<LPCREATESTRUCTW>(lParam);
    self = static_cast<CWindowWnd*>(cs->lpCreateParams);
    self->m_hWnd = hWnd;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    SetPropW(hWnd, L"DuiLib.Window", reinterpret_cast<HANDLE>(1));
  } else {
    self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (uMsg == WM_NCDESTROY && self) {
      LRESULT lRes = CallWindowProcW(DefWindowProcW, hWnd, uMsg, wParam, lParam);
      SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
      RemovePropW(hWnd, L"DuiLib.Window");
      self->m_hWnd = nullptr;
      self->OnFinalMessage(hWnd);
      return lRes;
    }
  }
  if (self && self->m_hWnd == hWnd) return self->HandleMessage(uMsg, wParam, lParam);
  return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

}  // namespace DuiLib
