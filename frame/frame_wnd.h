#pragma once
// The common frame of every window: skin folder, the two creation variants (standard:
// captionless with a shadow; positioned popup: placed at a point with a fixed size, holding the
// mouse capture) and notifications passed on to the base.
#include <windows.h>

#include "core_bridge/window_bridge.h"
#include "duilib/UIlib.h"
#include "frame/wnd_shadow.h"

namespace veltrinawnd {

inline constexpr wchar_t kSkinFolder[] = L"../Veltrina/skin";
// DuiLib's dialog style (WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU).
inline constexpr DWORD kDialogStyle = 0x96C80000;
// WS_VISIBLE | WS_OVERLAPPEDWINDOW.
inline constexpr DWORD kFrameStyle = 0x10CF0000;
inline constexpr DWORD kWindowExStyle = WS_EX_WINDOWEDGE;  // 0x100

class FrameWnd : public DuiLib::WindowImplBase {
 public:
  // A standard window.
  FrameWnd() = default;
  // A positioned popup at (x, y) with the given size.
  FrameWnd(int x, int y, int width, int height) : positioned_(true), x_(x), y_(y), width_(width), height_(height) {}

  HWND hwnd() const { return GetHWND(); }
  // What core callbacks capture to reach this window (see core_bridge/window_bridge.h).
  bridge::WindowRef Ref() const { return lifetime_.Ref(); }
  // True once the window has begun to close for good (see CloseForGood).
  bool closing() const { return closing_; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return kSkinFolder; }
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  // A shadow is a window owned by this one: a popup that must stay out of the window manager's
  // hands (Wine hands it any window that owns another) has none.
  virtual bool HasShadow() const { return true; }
  void Notify(DuiLib::TNotifyUI& msg) override { WindowImplBase::Notify(msg); }
  void OnFinalMessage(HWND hWnd) override;
  // Closes the window on its way to the next one. Answers that are already on their way (a
  // second lookup, a second login) are ignored from now on: they must not open a second
  // follow-up window from inside the first one's modal loop.
  void CloseForGood() {
    closing_ = true;
    Close(IDOK);
  }

  CWndShadow shadow_;
  bridge::WindowLifetime lifetime_;

 private:
  bool closing_ = false;
  bool positioned_ = false;
  int x_ = 0;
  int y_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace veltrinawnd
