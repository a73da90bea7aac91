#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "AddMembersWnd", skin "skin_add_members.xml".
class AddMembersWnd : public FrameWnd {
 public:
  explicit AddMembersWnd(const std::string& channel_id);
  ~AddMembersWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"AddMembersWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_add_members.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string channel_id_;
};

}  // namespace veltrinawnd
