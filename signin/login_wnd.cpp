#include "signin/login_wnd.h"

#include "app/constants.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "app/team_site.h"
#include "frame/window_manager.h"
#include "signin/busy_button.h"
#include "signin/rest_password_wnd.h"
#include "signin/session_preparation.h"
#include "signin/signin_messages.h"
#include "veltrina/account_manager.h"
#include "veltrina/auth.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/secret.h"
#include "veltrina/server_key.h"
#include "veltrina/web_api.h"

namespace veltrinawnd {

namespace {
// The stored login's team: the team id, behind the server's key for a team on a server, so that
// the same id on two servers keeps two passwords.
std::string LoginTeamKey(const veltrina::Team& team) {
  const std::string key = veltrina::ServerKey(team.server());
  return key.empty() ? team.team_id() : key + "/" + team.team_id();
}
}  // namespace

LoginWnd::LoginWnd(std::unique_ptr<veltrina::Team> team, bool after_refusal)
    : team_(std::move(team)), after_refusal_(after_refusal) {
  if (!team_) team_ = std::make_unique<veltrina::Team>();
}

void LoginWnd::InitWindow() {
  username_edit_ = dynamic_cast<DuiLib::CEditUI*>(m_PaintManager.FindControl(L"username_edit"));
  password_edit_ = dynamic_cast<DuiLib::CEditUI*>(m_PaintManager.FindControl(L"password_edit"));
  login_btn_ = dynamic_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl(L"login_btn"));
  if (DuiLib::CControlUI* label = m_PaintManager.FindControl(L"team_name_label"))
    label->SetText(L"登录到" + Utf8ToUtf16(team_->team_name()));
  if (after_refusal_) PostMessageW(m_hWnd, kMsgSessionRefused, 0, 0);

  veltrina::AccountManager accounts(Utf16ToUtf8(GetDataFolder()));
  if (!accounts.InitOrDie()) return;
  std::string username = accounts.UsernameForTeam(*team_);
  if (username.empty()) return;
  std::wstring password = LoadPassword(LoginTeamKey(*team_), username);
  veltrina::SecretWiper wipe(&password);
  if (password.empty()) return;
  if (username_edit_) username_edit_->SetText(Utf8ToUtf16(username));
  if (password_edit_) password_edit_->SetText(password);
}

void LoginWnd::Notify(DuiLib::TNotifyUI& msg) {
  const DuiLib::CDuiString name = msg.pSender ? msg.pSender->GetName() : DuiLib::CDuiString();
  if ((msg.sType == L"click" && name == L"login_btn") ||
      (msg.sType == L"return" && (name == L"username_edit" || name == L"password_edit"))) {
    SignIn();
  } else if (msg.sType == L"click" && name == L"forgot_pwd_btn") {
    // A subdomain that is no host label opens nothing: the page would be on another host.
    const std::string address = TeamSiteAddress(team_->team_subdomain(), "/forgot");
    if (address.empty()) veltrina::log("no team site for the forgot-password page");
    else OpenWebAddress(Utf8ToUtf16(address));
  }
  FrameWnd::Notify(msg);
}

void LoginWnd::SignIn() {
  ShowBusy(login_btn_, L"登录中...");
  SetTimer(m_hWnd, kTimerLoginAnimation, 1000, nullptr);
  std::string username = username_edit_ ? Utf16ToUtf8(username_edit_->GetText()) : std::string();
  std::string password = PasswordText();
  veltrina::SecretWiper wipe(&password);
  veltrina::log("Try to login with username : %s, team id : %s", username.c_str(), team_->team_id().c_str());
  veltrina::WebApiSetting::ResetInstance(new veltrina::WebApiSetting(kClientKey, kClientSecret, kWebApiPlatform,
                                                                     kWebApiVersion, kDeviceId, kDistributionChannel));
  bridge::WindowRef self = Ref();
  const unsigned try_id = try_;
  veltrina::Auth::SharedAuth()->PostLoginRequest(
      username, password, team_->team_id(), team_->team_subdomain(),
      [self, try_id](bool ok, int64_t code, std::unique_ptr<veltrina::Token> token, std::unique_ptr<veltrina::User> user) {
        if (!ok) {
          auto record = std::make_unique<ErrorCodeRecord>();
          record->code = code;
          record->try_id = try_id;
          bridge::Send(self, kMsgLoginFailed, std::move(record));
          return;
        }
        if (code != kLoginSignedIn && code != kLoginInitialPassword) return;  // nothing to show
        if (!token || !user) return;
        auto response = std::make_unique<LoginSuccessResponse>(std::move(token), std::move(user), try_id);
        bridge::Send(self, code == kLoginSignedIn ? kMsgLoginSucceeded : kMsgInitialPasswordNeeded,
                     std::move(response));
      });
}

std::string LoginWnd::PasswordText() const {
  std::wstring typed = password_edit_ ? std::wstring(password_edit_->GetText()) : std::wstring();
  veltrina::SecretWiper wipe(&typed);
  return Utf16ToUtf8(typed);
}

void LoginWnd::StoreLogin() {
  std::string username = username_edit_ ? Utf16ToUtf8(username_edit_->GetText()) : std::string();
  std::string password = PasswordText();
  veltrina::SecretWiper wipe(&password);
  SaveCredential(LoginTeamKey(*team_), username, password);
  veltrina::AccountManager accounts(Utf16ToUtf8(GetDataFolder()));
  if (accounts.InitOrDie()) accounts.Register(*team_, username);
}

void LoginWnd::OnSignedIn(LPARAM lParam) {
  std::unique_ptr<LoginSuccessResponse> response = lifetime_.Receive<LoginSuccessResponse>(lParam);
  // A second answer of an attempt made meanwhile, or an answer of an earlier try.
  if (!response || session_started_ || response->try_id() != try_) return;
  session_started_ = true;
  veltrina::log("Login success, my name is : %s", response->user().display_name().c_str());
  StoreLogin();
  std::string database = Utf16ToUtf8(GetDataFolder());
  veltrina::log("Database path is %s", database.c_str());
  auto* director = new veltrina::Director();
  director->Init(response->user(), *team_, 0, response->token(), database, "", kDirectorDeviceId,
                 kDirectorClientVersion, kDirectorSource);
  veltrina::Director::ResetDefaultDirector(director);  // the library owns it now
  director->Connect(kConnectTimeout, [](bool) {});
  PrepareSessionData(Ref(), kMsgDataPrepared, kMsgPreparationFailed, try_);
}

void LoginWnd::OnInitialPasswordNeeded(LPARAM lParam) {
  std::unique_ptr<LoginSuccessResponse> response = lifetime_.Receive<LoginSuccessResponse>(lParam);
  if (!response || session_started_ || response->try_id() != try_) return;
  session_started_ = true;
  veltrina::log("Need to init password");
  StoreLogin();
  const std::string username = username_edit_ ? Utf16ToUtf8(username_edit_->GetText()) : std::string();
  std::string database = Utf16ToUtf8(GetDataFolder());
  veltrina::log("Database path is %s", database.c_str());
  auto* director = new veltrina::Director();
  director->Init(response->user(), *team_, 0, response->token(), database, "", "", "", "");
  veltrina::Director::ResetDefaultDirector(director);
  response.reset();
  SetIdle();
  CloseForGood();
  bridge::ReleaseSender();  // the password window runs modally from here
  RestPasswordWnd reset(LoginTeamKey(*team_), username);
  reset.Create(nullptr, L"重置初始密码", kFrameStyle, kWindowExStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
               CW_USEDEFAULT);
  reset.CenterWindow();
  reset.ShowModal();
}

void LoginWnd::SetIdle() {
  ShowIdle(login_btn_, L"登录");
  KillTimer(m_hWnd, kTimerLoginAnimation);
}

void LoginWnd::OnFailed(LPARAM lParam) {
  std::unique_ptr<ErrorCodeRecord> record = lifetime_.Receive<ErrorCodeRecord>(lParam);
  // A late failure must not reopen a started session, nor speak for an earlier try.
  if (!record || session_started_ || record->try_id != try_) return;
  veltrina::log("Login failed, code is : %d", static_cast<int>(record->code));
  SetIdle();
  std::wstring text;
  if (record->code == kUnreachable) text = L"链接到服务器失败";
  else if (record->code == kLoginWrongCredentials) text = L"用户名或密码错误";
  else text = L"登录失败 (code:" + std::to_wstring(record->code) + L")";
  bridge::ReleaseSender();  // the box runs a modal loop; the core must not wait for the user
  System().ShowMessageBox(nullptr, text, nullptr, MB_OK);
}

void LoginWnd::OnPreparationFailed(LPARAM lParam) {
  std::unique_ptr<PreparationFailure> failure = lifetime_.Receive<PreparationFailure>(lParam);
  if (!failure || closing() || !session_started_ || failure->try_id != try_) return;
  // Signed in, but the session cannot start: the user signs in again from the beginning.
  ++try_;
  session_started_ = false;
  SetIdle();
  System().ShowMessageBox(nullptr, PreparationFailureText(*failure), nullptr, MB_OK);
}

void LoginWnd::OnDataPrepared(LPARAM try_id) {
  if (closing() || !session_started_ || static_cast<unsigned>(try_id) != try_) return;
  veltrina::log("MainWnd data prepared");
  CloseForGood();
  WindowManager::Instance()->ShowMainWnd();
}

void LoginWnd::AnimateBusyText() {
  if (!login_btn_) return;
  std::wstring text = login_btn_->GetText();
  if (text == L"登录中...") login_btn_->SetText(L"登录中.");
  else if (text == L"登录中.") login_btn_->SetText(L"登录中..");
  else if (text == L"登录中..") login_btn_->SetText(L"登录中...");
}

LRESULT LoginWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_TIMER:
      if (wParam == kTimerLoginAnimation) AnimateBusyText();
      break;  // then passed on
    case kMsgLoginSucceeded:
      OnSignedIn(lParam);
      return 0;
    case kMsgInitialPasswordNeeded:
      OnInitialPasswordNeeded(lParam);
      return 0;
    case kMsgLoginFailed:
      OnFailed(lParam);
      return 0;
    case kMsgPreparationFailed:
      OnPreparationFailed(lParam);
      return 0;
    case kMsgDataPrepared:
      OnDataPrepared(lParam);
      return 0;
    case kMsgSessionRefused:
      if (!closing()) System().ShowMessageBox(nullptr, L"登录已失效，请重新登录", nullptr, MB_OK);
      return 0;
    default:
      break;
  }
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace veltrinawnd
