// A team on a veltrina-server: the team window offers the last one with its server and refuses a
// malformed server; against the real server (a Linux program started from the test), a refused
// token brings the login window back and the composer's text survives the new sign-in.
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/storage.h"
#include "core/native_server.h"
#include "main/cache_name.h"
#include "signin_fixture.h"
#include "veltrina/account_manager.h"
#include "veltrina/server_key.h"

using testkit::FindVisibleWindow;

namespace {

std::filesystem::path AccountsFile() { return std::filesystem::path(veltrinawnd::GetDataFolder()) / L"accounts.json"; }

// The account store as it was before a test that registers teams: other tests click through the
// team the window offers.
class KeptAccounts {
 public:
  KeptAccounts() {
    std::ifstream in(AccountsFile(), std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    saved_ = text.str();
  }
  ~KeptAccounts() {
    std::error_code ignored;
    if (saved_) std::ofstream(AccountsFile(), std::ios::binary | std::ios::trunc) << *saved_;
    else std::filesystem::remove(AccountsFile(), ignored);
  }

 private:
  std::optional<std::string> saved_;
};

veltrina::AccountManager Accounts() {
  return veltrina::AccountManager(veltrinawnd::Utf16ToUtf8(veltrinawnd::GetDataFolder()));
}

}  // namespace

TEST_F(SigninTest, TheTeamWindowOffersTheLastTeamWithItsServerAndRefusesAMalformedServer) {
  KeptAccounts kept;
  {
    auto accounts = Accounts();
    ASSERT_TRUE(accounts.InitOrDie());
    veltrina::Team team("t-srv", "acme", "Acme");
    team.set_server("http://127.0.0.1:8080");
    ASSERT_TRUE(accounts.Register(team, "alice"));
  }
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"subdomain_edit"), L"acme@127.0.0.1:8080");
    testkit::SetControlText(h, L"subdomain_edit", L"acme@127.0.0.1:99999");
    testkit::ClickControl(h, L"continue_btn");
  });
  d.WaitFor("the error box", [this] { return !system_.boxes.empty(); });
  d.Do("no lookup, the window idle again", [this] {
    EXPECT_EQ(system_.boxes, std::vector<std::wstring>{L"团队名错误 (code:400)"});
    EXPECT_EQ(service_->CountRequests("team.lookup"), 0u);
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"continue_btn"), L"下一步");
    Quit();
  });
  Run(d);
}

TEST_F(SigninTest, ARefusedTokenBringsTheLoginBackAndKeepsTheComposersText) {
  core_test::NativeServer first;
  if (std::string why = first.Missing(); !why.empty()) {
    if (std::getenv("CI")) FAIL() << why;
    GTEST_SKIP() << why;
  }
  ASSERT_TRUE(first.Start());
  KeptAccounts kept;
  core_test::NativeServer second;  // the same port and a fresh store: no token of the first is known
  const std::wstring field = L"demo@127.0.0.1:" + veltrinawnd::Utf8ToUtf16(first.port());
  auto sign_in = [](HWND h) {
    testkit::SetControlText(h, L"username_edit", L"alice");
    testkit::SetControlText(h, L"password_edit", L"veltrina");
    testkit::ClickControl(h, L"login_btn");
  };
  auto composer = [] {
    auto* input = testkit::FindControlAs<DuiLib::CRichEditUI>(FindVisibleWindow(L"MainWindow"), L"chat_input");
    return input ? std::wstring(input->GetText()) : std::wstring(L"<none>");
  };
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [field](HWND h) {
    testkit::SetControlText(h, L"subdomain_edit", field);
    testkit::ClickControl(h, L"continue_btn");
  });
  d.OnWindow(L"LoginWindow", sign_in, 15000);
  d.WaitFor("the main window with its channels", [] {
    auto* input = testkit::FindControl(FindVisibleWindow(L"MainWindow"), L"chat_input");
    return input != nullptr && testkit::FindControl(FindVisibleWindow(L"MainWindow"), L"channelItem_c-general");
  }, 20000);
  d.Do("type, and the server forgets every token", [&] {
    EXPECT_EQ(service_->CountRequests("auth.login"), 0u);  // the typed server answered, not the scripted one
    testkit::SetControlText(FindVisibleWindow(L"MainWindow"), L"chat_input", L"words not yet sent");
    ASSERT_TRUE(first.Stop());
    ASSERT_TRUE(second.Start("127.0.0.1:" + first.port()));
  });
  d.WaitFor("the login window alone, saying why", [this] {
    return FindVisibleWindow(L"LoginWindow") && testkit::CountVisibleTopLevelWindows() == 1 &&
           system_.boxes == std::vector<std::wstring>{L"登录已失效，请重新登录"};
  }, 60000);
  d.Do("sign in again", [sign_in] {
    EXPECT_EQ(TextOf(L"LoginWindow", L"team_name_label").find(L"登录到"), 0u);
    sign_in(FindVisibleWindow(L"LoginWindow"));
  });
  d.WaitFor("the main window again, the text back in the composer", [composer] {
    return FindVisibleWindow(L"MainWindow") && composer() == L"words not yet sent";
  }, 20000);
  d.Pause(1500);
  d.Do("still there, once; quit", [composer] {
    EXPECT_EQ(composer(), L"words not yet sent");
    EXPECT_EQ(testkit::CountVisibleWindows(L"LoginWindow"), 0);
    Quit();
  });
  Run(d);
  auto accounts = Accounts();  // the team is remembered with its server
  ASSERT_TRUE(accounts.InitOrDie());
  std::unique_ptr<veltrina::Team> last = accounts.LastTeam();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->team_subdomain() + " " + last->server(), "demo " + first.url());
  // What this server's session left in the documents folder: its port is never used again.
  const std::string key = veltrina::ServerKey(last->server());
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(veltrinawnd::GetDataFolder(), ignored))
    if (entry.path().filename().wstring().starts_with(L"cache@" + veltrinawnd::Utf8ToUtf16(key)))
      std::filesystem::remove(entry.path(), ignored);
  std::filesystem::remove_all(std::filesystem::path(veltrinawnd::Utf8ToUtf16(
                                  veltrinawnd::GetImageCacheFolder() +
                                  veltrinawnd::image_cache::TeamFolderName(last->team_id(), last->server()))),
                              ignored);
  veltrinawnd::DeleteCredential(key + "/" + last->team_id());
}
