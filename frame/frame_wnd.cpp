#include "frame/frame_wnd.h"

namespace veltrinawnd {

LRESULT FrameWnd::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // Reachable from core callbacks from the start: InitWindow already starts requests and
  // downloads whose answers may come back at once.
  lifetime_.Attach(m_hWnd);
  LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
  if (result != 0) return result;  // the skin failed: the window is not created
  if (positioned_) {
    SetWindowPos(m_hWnd, HWND_TOP, x_, y_, width_, height_, SWP_FRAMECHANGED);
    SetCapture(m_hWnd);
  } else {
    LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
    style &= ~WS_CAPTION;
    SetWindowLongW(m_hWnd, GWL_STYLE, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  }
  if (!HasShadow()) return result;
  shadow_.Create(m_hWnd);
  shadow_.SetSize(4);
  shadow_.SetPosition(0, 0);
  return result;
}

void FrameWnd::OnFinalMessage(HWND hWnd) {
  lifetime_.Expire();
  WindowImplBase::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
