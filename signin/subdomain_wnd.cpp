#include "signin/subdomain_wnd.h"

#include <memory>

#include "app/constants.h"
#include "app/server_option.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "frame/window_manager.h"
#include "signin/busy_button.h"
#include "signin/login_wnd.h"
#include "signin/signin_messages.h"
#include "signin/team_address.h"
#include "signin/update_wnd.h"
#include "veltrina/account_manager.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"
#include "veltrina/team.h"
#include "veltrina/web_api.h"

namespace veltrinawnd {

void SubdomainWnd::InitWindow() {
  std::string data_folder = Utf16ToUtf8(GetDataFolder());
  veltrina::FileUtils* files = veltrina::FileUtils::SharedFileUtils();
  if (!files->IsDirectoryExist(data_folder)) files->MakeDirectory(data_folder);

  subdomain_edit_ = dynamic_cast<DuiLib::CEditUI*>(m_PaintManager.FindControl(L"subdomain_edit"));
  continue_btn_ = dynamic_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl(L"continue_btn"));

  veltrina::AccountManager accounts(data_folder);
  if (accounts.InitOrDie()) {
    if (std::unique_ptr<veltrina::Team> team = accounts.LastTeam(); team && subdomain_edit_)
      subdomain_edit_->SetText(Utf8ToUtf16(TeamFieldText(*team)));
  }
  StartVersionCheck();
}

void SubdomainWnd::StartVersionCheck() {
  bridge::WindowRef self = Ref();
  veltrina::WebApi::Api()->GetClientVersion(
      [self](bool ok, int64_t, int64_t version_code, const std::string&, const std::string& description, bool,
             int64_t, const std::string& download_url, const std::string&) {
        if (!ok || version_code < kNewerClientVersion) return;
        auto record = std::make_unique<VersionRecord>();
        record->version_code = version_code;
        record->download_url = download_url;
        record->description = description;
        bridge::Post(self, kMsgNewVersion, std::move(record));
      });
}

void SubdomainWnd::Notify(DuiLib::TNotifyUI& msg) {
  const DuiLib::CDuiString name = msg.pSender ? msg.pSender->GetName() : DuiLib::CDuiString();
  if ((msg.sType == L"click" && name == L"continue_btn") || (msg.sType == L"return" && name == L"subdomain_edit")) {
    Continue();
  } else if (msg.sType == L"click" && name == L"create_team_btn") {
    OpenWebAddress(Utf8ToUtf16("https://" + kServiceDomain + "/signup"));
  } else if (msg.sType == L"click" && name == L"forgot_team_btn") {
    OpenWebAddress(Utf8ToUtf16("https://" + kServiceDomain + "/find"));
  }
  FrameWnd::Notify(msg);
}

void SubdomainWnd::Continue() {
  ShowBusy(continue_btn_, L"检查团队名...");
  const std::string typed = subdomain_edit_ ? Utf16ToUtf8(subdomain_edit_->GetText()) : std::string();
  bridge::WindowRef self = Ref();
  TeamAddress address;
  if (!ParseTeamAddress(typed, &address)) {
    veltrina::log("The team field is neither a team nor team@host:port nor http://host:port/team");
    bridge::PostValue(self, kMsgTeamLookupFailed, static_cast<LPARAM>(kBadTeamAddress));
    return;
  }
  const std::string server = UseServerForTeam(address.server);
  veltrina::WebApi::Api()->GetTeamLiteBySubdomain(
      address.team, [self, server](bool ok, int64_t code, const std::string& team_id, const std::string& team_name,
                                   const std::string& team_subdomain) {
        if (ok) {
          veltrina::log("team id is %s", team_id.c_str());
          veltrina::log("team name is %s", team_name.c_str());
          veltrina::log("team domain is %s", team_subdomain.c_str());
          auto team = std::make_unique<veltrina::Team>(team_id, team_subdomain, team_name);
          team->set_server(server);
          bridge::Send(self, kMsgTeamFound, std::move(team));
        } else {
          bridge::SendValue(self, kMsgTeamLookupFailed, static_cast<LPARAM>(static_cast<int32_t>(code)));
        }
      });
}

void SubdomainWnd::OnTeamFound(LPARAM lParam) {
  std::unique_ptr<veltrina::Team> team = lifetime_.Receive<veltrina::Team>(lParam);
  if (!team || closing()) return;  // the login window already runs for an earlier answer
  veltrina::log("Team auth success with ID : %s", team->team_id().c_str());
  CloseForGood();
  bridge::ReleaseSender();  // the login runs modally from here
  // Again whenever the service refused the session that the login started: the main window is
  // gone by then, and the user signs in to the same team.
  for (bool after_refusal = false;; after_refusal = true) {
    LoginWnd login(team->Clone(), after_refusal);
    login.Create(nullptr, L"登录", kDialogStyle, kWindowExStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                 CW_USEDEFAULT);
    login.CenterWindow();
    login.ShowModal();
    if (!WindowManager::Instance()->TakeSignInAgain()) break;
  }
}

void SubdomainWnd::OnLookupFailed(LPARAM lParam) {
  if (closing()) return;
  ShowIdle(continue_btn_, L"下一步");
  int32_t code = static_cast<int32_t>(lParam);
  bridge::ReleaseSender();  // the box runs a modal loop; the core must not wait for the user
  System().ShowMessageBox(nullptr, L"团队名错误 (code:" + std::to_wstring(code) + L")", nullptr, MB_OK);
}

void SubdomainWnd::OnNewVersion(LPARAM lParam) {
  std::unique_ptr<VersionRecord> record = lifetime_.Receive<VersionRecord>(lParam);
  if (!record || closing()) return;
  UpdateWnd update(record->description, record->download_url);
  update.Create(nullptr, L"更新", kFrameStyle, kWindowExStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                CW_USEDEFAULT);
  update.CenterWindow();
  update.ShowModal();
}

LRESULT SubdomainWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case kMsgTeamFound:
      OnTeamFound(lParam);
      return 0;
    case kMsgTeamLookupFailed:
      OnLookupFailed(lParam);
      break;  // then passed on
    case kMsgNewVersion:
      OnNewVersion(lParam);
      break;  // then passed on
    default:
      break;
  }
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace veltrinawnd
