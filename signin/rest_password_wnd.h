#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// A new account sets its first password here, then goes on to the main window. The stored login
// of the team (the initial password) is replaced by the new password once the service took it.
class RestPasswordWnd : public FrameWnd {
 public:
  RestPasswordWnd(std::string team_id, std::string user_name)
      : team_id_(std::move(team_id)), user_name_(std::move(user_name)) {}
  ~RestPasswordWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"RestPwdWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_reset_pwd_wnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Confirm();
  void OnPasswordSet(LPARAM lParam);
  void OnPasswordNotSet(LPARAM lParam);
  void Prepare();
  void OnPreparationFailed(LPARAM lParam);
  void OnDataPrepared(LPARAM try_id);

  // Whose stored login the new password replaces.
  const std::string team_id_;
  const std::string user_name_;
  DuiLib::CEditUI* new_pwd_edit_ = nullptr;
  DuiLib::CEditUI* confirm_pwd_edit_ = nullptr;
  DuiLib::CButtonUI* sure_btn_ = nullptr;
  // Set by the first success: later answers of confirmations made meanwhile are ignored, and a
  // new try only prepares the session again (the password is no longer the initial one).
  bool password_set_ = false;
  // While the session data preparation runs; a failure ends the try.
  bool preparing_ = false;
  unsigned try_ = 0;
};

}  // namespace veltrinawnd
