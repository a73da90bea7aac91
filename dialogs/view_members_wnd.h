#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "ViewMembersWnd", skin "skin_view_members.xml".
class ViewMembersWnd : public FrameWnd {
 public:
  explicit ViewMembersWnd(const std::string& channel_id);
  ~ViewMembersWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"ViewMembersWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_view_members.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string channel_id_;
};

}  // namespace veltrinawnd
