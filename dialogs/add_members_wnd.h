#pragma once
#include <string>

#include "dialogs/user_rows.h"
#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "AddMembersWnd", skin "skin_add_members.xml": the team's active members who are
// not in the channel or group; a row's invite button invites that member, and a member whose
// invitation succeeded leaves the list while the window stays open.
class AddMembersWnd : public FrameWnd {
 public:
  explicit AddMembersWnd(const std::string& channel_id);
  ~AddMembersWnd() override = default;

  const std::string& channel_id() const { return channel_id_; }
  const UserListView& users() const { return users_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"AddMembersWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_add_members.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void Invite(const std::string& uid);
  void OnInvited(LPARAM lParam);

  std::string channel_id_;
  UserListView users_;
};

}  // namespace veltrinawnd
