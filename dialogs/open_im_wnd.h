#pragma once
#include "dialogs/user_rows.h"
#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "OpenImWnd", skin "skin_open_im.xml": the team's active members except the
// signed-in user; a row's chat button opens the direct message with that member.
class OpenImWnd : public FrameWnd {
 public:
  OpenImWnd();
  ~OpenImWnd() override = default;

  const UserListView& users() const { return users_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"OpenImWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_open_im.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  UserListView users_;
  DirectMessageRequest direct_message_;
};

}  // namespace veltrinawnd
