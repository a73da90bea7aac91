#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "OpenImWnd", skin "skin_open_im.xml".
class OpenImWnd : public FrameWnd {
 public:
  OpenImWnd();
  ~OpenImWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"OpenImWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_open_im.xml"; }
  void OnFinalMessage(HWND hWnd) override;
};

}  // namespace veltrinawnd
