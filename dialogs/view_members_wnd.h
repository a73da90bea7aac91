#pragma once
#include <string>

#include "dialogs/user_rows.h"
#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "ViewMembersWnd", skin "skin_view_members.xml": the members of one channel or
// group as the cache holds them when it opens, how many are present, and a chat button each.
class ViewMembersWnd : public FrameWnd {
 public:
  explicit ViewMembersWnd(const std::string& channel_id);
  ~ViewMembersWnd() override = default;

  const std::string& channel_id() const { return channel_id_; }
  const UserListView& users() const { return users_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"ViewMembersWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_view_members.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string channel_id_;
  UserListView users_;
  DirectMessageRequest direct_message_;
};

}  // namespace veltrinawnd
