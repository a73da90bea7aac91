#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "RestPwdWnd", skin "skin_reset_pwd_wnd.xml".
class RestPasswordWnd : public FrameWnd {
 public:
  RestPasswordWnd();
  ~RestPasswordWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"RestPwdWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_reset_pwd_wnd.xml"; }
};

}  // namespace veltrinawnd
