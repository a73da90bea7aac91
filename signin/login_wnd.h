#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "LoginWindow", skin "skin_login_wnd.xml".
class LoginWnd : public FrameWnd {
 public:
  LoginWnd();
  ~LoginWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"LoginWindow"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_login_wnd.xml"; }
};

}  // namespace veltrinawnd
