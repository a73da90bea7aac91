#include "duilib/WinImplBase.h"

#include <windowsx.h>

#include "duilib/UIContainer.h"
#include "duilib/UIDlgBuilder.h"
#include "duilib/UIEdit.h"
#include "duilib/UILabel.h"

namespace DuiLib {

void WindowImplBase::OnFinalMessage(HWND) {
  m_PaintManager.RemovePreMessageFilter(this);
  m_PaintManager.RemoveNotifier(this);
}

CControlUI* WindowImplBase::CreateControl(const wchar_t*) { return nullptr; }

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (msg.sType == DUI_MSGTYPE_CLICK) OnClick(msg);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const CDuiString& name = msg.pSender->GetName();
  if (name == L"closebtn") Close(IDCANCEL);
  else if (name == L"minbtn") SendWindowMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else if (name == L"maxbtn") SendWindowMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  else if (name == L"restorebtn") SendWindowMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam) {
  if (wParam == VK_ESCAPE) {
    Close(IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    bHandled = ResponseDefaultKeyEvent(wParam) != FALSE;
    return 0;
  }
  return 0;
}

LONG WindowImplBase::GetStyle() {
  LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
  style &= ~WS_CAPTION;
  return style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (IsIconic(m_hWnd)) bHandled = FALSE;
  return wParam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM, BOOL&) {
  // The whole window is client area: the skin draws its own frame.
  return 0;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, BOOL&) { return 0; }

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, BOOL&) {
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ScreenToClient(m_hWnd, &pt);
  RECT rcClient;
  GetClientRect(m_hWnd, &rcClient);
  if (!IsZoomed(m_hWnd) && (GetWindowLongW(m_hWnd, GWL_STYLE) & WS_THICKFRAME)) {
    RECT box = m_PaintManager.GetSizeBox();
    bool top = pt.y < rcClient.top + box.top, bottom = pt.y >= rcClient.bottom - box.bottom;
    bool left = pt.x < rcClient.left + box.left, right = pt.x >= rcClient.right - box.right;
    if (top && left) return HTTOPLEFT;
    if (top && right) return HTTOPRIGHT;
    if (bottom && left) return HTBOTTOMLEFT;
    if (bottom && right) return HTBOTTOMRIGHT;
    if (top) return HTTOP;
    if (bottom) return HTBOTTOM;
    if (left) return HTLEFT;
    if (right) return HTRIGHT;
  }
  RECT caption = m_PaintManager.GetCaptionRect();
  if (pt.x >= rcClient.left + caption.left && pt.x < rcClient.right - caption.right &&
      pt.y >= caption.top && pt.y < caption.bottom) {
    CControlUI* control = m_PaintManager.FindControl(pt);
    // Dragging works on the caption's background and plain labels, not on what reacts to clicks.
    if (!control || (!control->GetInterface(L"Button") && !control->GetInterface(L"Edit") &&
                     !control->GetInterface(L"RichEdit") && !control->GetInterface(L"List") &&
                     !control->GetInterface(L"ListItem") &&
                     !(control->GetInterface(L"Text") && static_cast<CTextUI*>(control)->GetLinkCount() > 0)))
      return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  auto* info = reinterpret_cast<LPMINMAXINFO>(lParam);
  MONITORINFO mi{sizeof mi, {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
  // Maximised, a borderless window covers the work area, not the taskbar.
  info->ptMaxPosition = {mi.rcWork.left - mi.rcMonitor.left, mi.rcWork.top - mi.rcMonitor.top};
  info->ptMaxSize = {mi.rcWork.right - mi.rcWork.left, mi.rcWork.bottom - mi.rcWork.top};
  SIZE minInfo = m_PaintManager.GetMinInfo();
  if (minInfo.cx > 0) info->ptMinTrackSize.x = minInfo.cx;
  if (minInfo.cy > 0) info->ptMinTrackSize.y = minInfo.cy;
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (wParam == SC_CLOSE) {
    bHandled = TRUE;
    SendWindowMessage(WM_CLOSE);
    return 0;
  }
  bool wasZoomed = IsZoomed(m_hWnd);
  LRESULT lRes = CWindowWnd::HandleMessage(uMsg, wParam, lParam);
  if (wasZoomed != static_cast<bool>(IsZoomed(m_hWnd))) {
    if (CControlUI* maxBtn = m_PaintManager.FindControl(L"maxbtn")) maxBtn->SetVisible(!IsZoomed(m_hWnd));
    if (CControlUI* restoreBtn = m_PaintManager.FindControl(L"restorebtn")) restoreBtn->SetVisible(IsZoomed(m_hWnd) != 0);
  }
  return lRes;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
  LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
  style &= ~WS_CAPTION;
  SetWindowLongW(m_hWnd, GWL_STYLE, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
               SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOACTIVATE);

  m_PaintManager.Init(m_hWnd);
  m_PaintManager.AddPreMessageFilter(this);
  CDuiString folder = GetSkinFolder();
  if (!folder.empty() && folder.back() != L'/' && folder.back() != L'\\') folder += L'\\';
  CDuiString resource = CPaintManagerUI::GetInstancePath() + folder;
  for (auto& ch : resource)
    if (ch == L'/') ch = L'\\';
  CPaintManagerUI::SetResourcePath(resource);

  CDialogBuilder builder;
  CDuiString skin = GetSkinFile();
  CControlUI* root = builder.Create(skin.c_str(), nullptr, this, &m_PaintManager);
  if (!root) {
    Log(L"DuiLib: window %ls not created: %ls", GetWindowClassName(), builder.GetLastError().c_str());
    return -1;  // CreateWindowEx fails, so ShowModal returns at once
  }
  m_PaintManager.AttachDialog(root);
  m_PaintManager.AddNotifier(this);
  InitWindow();
  return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // A key offered to the window before its focused native control reached the base: nobody
  // above wanted it, so the control gets it.
  if (m_PaintManager.IsInKeyPreview() && uMsg >= WM_KEYFIRST && uMsg <= WM_KEYLAST) {
    m_PaintManager.MarkKeyPreviewUnhandled();
    return 0;
  }
  LRESULT lRes = 0;
  BOOL bHandled = TRUE;
  switch (uMsg) {
    case WM_CREATE: lRes = OnCreate(uMsg, wParam, lParam, bHandled); break;
    case WM_CLOSE: lRes = OnClose(uMsg, wParam, lParam, bHandled); break;
    case WM_DESTROY: lRes = OnDestroy(uMsg, wParam, lParam, bHandled); break;
    case WM_NCACTIVATE: lRes = OnNcActivate(uMsg, wParam, lParam, bHandled); break;
    case WM_NCCALCSIZE: lRes = OnNcCalcSize(uMsg, wParam, lParam, bHandled); break;
    case WM_NCPAINT: lRes = OnNcPaint(uMsg, wParam, lParam, bHandled); break;
    case WM_NCHITTEST: lRes = OnNcHitTest(uMsg, wParam, lParam, bHandled); break;
    case WM_GETMINMAXINFO: lRes = OnGetMinMaxInfo(uMsg, wParam, lParam, bHandled); break;
    case WM_SIZE: lRes = OnSize(uMsg, wParam, lParam, bHandled); break;
    case WM_SYSCOMMAND: lRes = OnSysCommand(uMsg, wParam, lParam, bHandled); break;
    case WM_KEYDOWN: lRes = OnKeyDown(uMsg, wParam, lParam, bHandled); break;
    case WM_KILLFOCUS: lRes = OnKillFocus(uMsg, wParam, lParam, bHandled); break;
    case WM_SETFOCUS: lRes = OnSetFocus(uMsg, wParam, lParam, bHandled); break;
    case WM_LBUTTONUP: lRes = OnLButtonUp(uMsg, wParam, lParam, bHandled); break;
    case WM_LBUTTONDOWN: lRes = OnLButtonDown(uMsg, wParam, lParam, bHandled); break;
    case WM_MOUSEMOVE: lRes = OnMouseMove(uMsg, wParam, lParam, bHandled); break;
    default: bHandled = FALSE; break;
  }
  if (bHandled) return lRes;
  lRes = HandleCustomMessage(uMsg, wParam, lParam, bHandled);
  if (bHandled) return lRes;
  if (m_PaintManager.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace DuiLib
