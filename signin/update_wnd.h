#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "UpdateWnd", skin "skin_new_version.xml".
class UpdateWnd : public FrameWnd {
 public:
  UpdateWnd();
  ~UpdateWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"UpdateWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_new_version.xml"; }
};

}  // namespace veltrinawnd
