#include "signin/rest_password_wnd.h"

#include "app/constants.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "frame/window_manager.h"
#include "signin/busy_button.h"
#include "signin/session_preparation.h"
#include "signin/signin_messages.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/secret.h"
#include "veltrina/web_api.h"

namespace veltrinawnd {

// Fewer UTF-8 bytes than this are refused.
constexpr size_t kMinPasswordBytes = 6;

void RestPasswordWnd::InitWindow() {
  new_pwd_edit_ = dynamic_cast<DuiLib::CEditUI*>(m_PaintManager.FindControl(L"new_pwd_edit"));
  confirm_pwd_edit_ = dynamic_cast<DuiLib::CEditUI*>(m_PaintManager.FindControl(L"confirm_pwd_edit"));
  sure_btn_ = dynamic_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl(L"sure_btn"));
}

void RestPasswordWnd::Notify(DuiLib::TNotifyUI& msg) {
  if ((msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"sure_btn") ||
      (msg.sType == L"return" && msg.pSender &&
       (msg.pSender == new_pwd_edit_ || msg.pSender == confirm_pwd_edit_))) {
    Confirm();
  }
  FrameWnd::Notify(msg);
}

void RestPasswordWnd::Confirm() {
  if (password_set_) {  // a new try after a failed preparation: only the preparation again
    if (!preparing_) Prepare();
    return;
  }
  std::wstring first = new_pwd_edit_ ? new_pwd_edit_->GetText() : std::wstring();
  std::wstring second = confirm_pwd_edit_ ? confirm_pwd_edit_->GetText() : std::wstring();
  veltrina::SecretWiper wipe_first(&first), wipe_second(&second);
  if (first != second) {
    System().ShowMessageBox(nullptr, L"两次输入的密码不一致", nullptr, MB_OK);
    return;
  }
  std::string password = Utf16ToUtf8(first);
  veltrina::SecretWiper wipe_password(&password);
  if (password.size() < kMinPasswordBytes) {
    System().ShowMessageBox(nullptr, L"密码长度至少为6位", nullptr, MB_OK);
    return;
  }
  ShowBusy(sure_btn_, L"登录中...");
  bridge::WindowRef self = Ref();
  // The answer carries the password it set: with two attempts under way, each success stores its own.
  auto set = std::make_shared<PasswordSetRecord>(password);
  veltrina::WebApi::Api()->PutInitPassword(password, [self, set](bool ok, int64_t code) {
    if (ok) {
      bridge::Post(self, kMsgPasswordSet, std::make_unique<PasswordSetRecord>(set->password));
      return;
    }
    auto record = std::make_unique<ErrorCodeRecord>();
    record->code = code;
    bridge::Post(self, kMsgPasswordNotSet, std::move(record));
  });
}

void RestPasswordWnd::OnPasswordSet(LPARAM lParam) {
  std::unique_ptr<PasswordSetRecord> record = lifetime_.Receive<PasswordSetRecord>(lParam);
  if (!record) return;
  // The initial password is dead now: a stored login that kept it would fail the next start.
  if (!SaveCredential(team_id_, user_name_, record->password)) {
    veltrina::log("The new password is not stored; the stored login of the team is removed");
    DeleteCredential(team_id_);
  }
  if (password_set_) return;  // a second confirmation's answer: the password is set once
  password_set_ = true;
  veltrina::log("OnInitPasswordSuccess");
  // As on the login road, the session connects and learns its permission value before the
  // main window opens; otherwise no live message would arrive.
  if (veltrina::Director* director = veltrina::Director::DefaultDirector())
    director->Connect(kConnectTimeout, [](bool) {});
  Prepare();
}

void RestPasswordWnd::Prepare() {
  preparing_ = true;
  ShowBusy(sure_btn_, L"登录中...");
  PrepareSessionData(Ref(), kMsgDataPrepared, kMsgPreparationFailed, try_);
}

void RestPasswordWnd::OnPreparationFailed(LPARAM lParam) {
  std::unique_ptr<PreparationFailure> failure = lifetime_.Receive<PreparationFailure>(lParam);
  if (!failure || closing() || !preparing_ || failure->try_id != try_) return;
  ++try_;
  preparing_ = false;
  ShowIdle(sure_btn_, L"登录");
  System().ShowMessageBox(nullptr, PreparationFailureText(*failure), nullptr, MB_OK);
}

void RestPasswordWnd::OnPasswordNotSet(LPARAM lParam) {
  std::unique_ptr<ErrorCodeRecord> record = lifetime_.Receive<ErrorCodeRecord>(lParam);
  if (!record || password_set_) return;
  veltrina::log("Login failed, code is : %d", static_cast<int>(record->code));
  ShowIdle(sure_btn_, L"登录");
  std::wstring text = record->code == kUnreachable
                          ? std::wstring(L"链接到服务器失败")
                          : L"初始化密码失败 (code:" + std::to_wstring(record->code) + L")";
  System().ShowMessageBox(nullptr, text, nullptr, MB_OK);
}

void RestPasswordWnd::OnDataPrepared(LPARAM try_id) {
  if (closing() || !preparing_ || static_cast<unsigned>(try_id) != try_) return;
  veltrina::log("MainWnd data prepared");
  ShowIdle(sure_btn_, L"登录");
  CloseForGood();
  WindowManager::Instance()->ShowMainWnd();
}

LRESULT RestPasswordWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case kMsgPasswordSet:
      OnPasswordSet(lParam);
      return 0;
    case kMsgPasswordNotSet:
      OnPasswordNotSet(lParam);
      return 0;
    case kMsgPreparationFailed:
      OnPreparationFailed(lParam);
      return 0;
    case kMsgDataPrepared:
      OnDataPrepared(lParam);
      return 0;
    default:
      return FrameWnd::HandleMessage(uMsg, wParam, lParam);
  }
}

}  // namespace veltrinawnd
