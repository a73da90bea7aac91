#pragma once
#include <memory>

#include "frame/frame_wnd.h"
#include "veltrina/team.h"
#include "veltrina/token.h"
#include "veltrina/user.h"

namespace veltrinawnd {

// Signs a user in to the chosen team, stores the login, starts the core session and prepares
// its data, then runs the main window (or the initial-password window for a new account).
class LoginWnd : public FrameWnd {
 public:
  // What a successful sign-in hands to the window: the session token and the signed-in user.
  class LoginSuccessResponse {
   public:
    LoginSuccessResponse(std::unique_ptr<veltrina::Token> token, std::unique_ptr<veltrina::User> user,
                         unsigned try_id = 0)
        : token_(std::move(token)), user_(std::move(user)), try_id_(try_id) {}
    virtual ~LoginSuccessResponse() = default;  // frees both
    const veltrina::Token& token() const { return *token_; }
    const veltrina::User& user() const { return *user_; }
    unsigned try_id() const { return try_id_; }  // the window's try when the login was asked

   private:
    std::unique_ptr<veltrina::Token> token_;
    std::unique_ptr<veltrina::User> user_;
    unsigned try_id_ = 0;
  };

  // after_refusal: the service refused the last session of this team (its token expired or was
  // revoked); the window says so once it is up.
  explicit LoginWnd(std::unique_ptr<veltrina::Team> team, bool after_refusal = false);
  ~LoginWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"LoginWindow"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_login_wnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  void SignIn();
  void StoreLogin();
  // The password edit's text in UTF-8, for a caller that wipes it after use.
  std::string PasswordText() const;
  void OnSignedIn(LPARAM lParam);
  void OnInitialPasswordNeeded(LPARAM lParam);
  void OnFailed(LPARAM lParam);
  void OnPreparationFailed(LPARAM lParam);
  void OnDataPrepared(LPARAM try_id);
  void AnimateBusyText();
  void SetIdle();

  DuiLib::CEditUI* username_edit_ = nullptr;
  DuiLib::CEditUI* password_edit_ = nullptr;
  DuiLib::CButtonUI* login_btn_ = nullptr;
  std::unique_ptr<veltrina::Team> team_;
  const bool after_refusal_ = false;
  // Set by the first successful answer: later answers of attempts made meanwhile are ignored.
  bool session_started_ = false;
  // A try ends when the session data preparation fails; the user then signs in again, and every
  // answer of an earlier try (a second attempt's login, a preparation) is ignored.
  unsigned try_ = 0;
};

}  // namespace veltrinawnd
