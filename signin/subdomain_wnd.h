#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "SubdomainWnd", skin "skin_domain_wnd.xml".
class SubdomainWnd : public FrameWnd {
 public:
  SubdomainWnd();
  ~SubdomainWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SubdomainWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_domain_wnd.xml"; }
};

}  // namespace veltrinawnd
