// The road from start-up to the main window, with every failure on the way.
#include "app/storage.h"
#include "frame/window_manager.h"
#include "signin_fixture.h"
#include "veltrina/account_manager.h"
#include "veltrina/director.h"

using testkit::FindControl;
using testkit::FindVisibleWindow;
using veltrinawnd::WindowManager;
namespace bodies = veltrina::backend;

namespace {
std::wstring TextOf(const wchar_t* window, const wchar_t* control) {
  DuiLib::CControlUI* c = FindControl(FindVisibleWindow(window), control);
  return c ? c->GetText() : L"<missing>";
}
void Quit() {
  WindowManager::Instance()->CloseAll();
  PostQuitMessage(0);
}
veltrina::AccountManager Accounts() { return veltrina::AccountManager(veltrinawnd::WideToAnsi(veltrinawnd::GetDataFolder())); }
}  // namespace

TEST_F(SigninTest, StoredLoginFillsTheFieldsAndTheRoadEndsInTheMainWindow) {
  {
    auto accounts = Accounts();
    ASSERT_TRUE(accounts.InitOrDie());
    accounts.Register(veltrina::Team("t-road", "road", "公路团队"), "alice");
    veltrinawnd::SaveCredential("t-road", "alice", "secret-pass密码");
  }
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"subdomain_edit"), L"road");
    testkit::ClickControl(h, L"continue_btn");
  });
  Answer(d, "team.lookup", [svc](const auto& r) {
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"continue_btn"), L"检查团队名...");
    EXPECT_FALSE(FindControl(FindVisibleWindow(L"SubdomainWnd"), L"continue_btn")->IsEnabled());
    EXPECT_EQ(r.Param("subdomain"), "road");
    svc->Succeed(r.id, bodies::TeamBody("t-road", "公路团队", "road"));
  });
  d.WaitFor("login window alone", [] {
    return FindVisibleWindow(L"LoginWindow") && !FindVisibleWindow(L"SubdomainWnd") &&
           testkit::CountVisibleTopLevelWindows() == 1;
  });
  d.Do("check pre-filled login", [svc] {
    EXPECT_EQ(TextOf(L"LoginWindow", L"team_name_label"), L"登录到公路团队");
    EXPECT_EQ(TextOf(L"LoginWindow", L"username_edit"), L"alice");
    EXPECT_EQ(TextOf(L"LoginWindow", L"password_edit"), L"secret-pass密码");
  });
  d.Pause(100);
  d.Do("pre-filled fields never sign in", [svc] {
    EXPECT_EQ(svc->CountRequests("auth.login"), 0u);
    testkit::ClickControl(FindVisibleWindow(L"LoginWindow"), L"login_btn");
  });
  Answer(d, "auth.login", [this, svc](const auto& r) {
    EXPECT_EQ(r.Param("username"), "alice");
    EXPECT_EQ(r.Param("team_id"), "t-road");
    EXPECT_EQ(r.Param("team_subdomain"), "road");
    EXPECT_EQ(TextOf(L"LoginWindow", L"login_btn"), L"登录中...");
    svc->Answer(r.id, true, 200, "", LoginReply("u-1", "alice"));
  });
  AnswerPreparation(d, true, 6);
  d.OnWindow(L"MainWindow", [svc](HWND) {
    // The four steps of the preparation ran in order, after the login.
    std::vector<std::string> order;
    for (const auto& r : svc->Requests())
      if (r.method == "users.list" || r.method == "users.status" || r.method == "services.list" ||
          r.method == "web.permission")
        order.push_back(r.method);
    EXPECT_EQ(order, (std::vector<std::string>{"users.list", "users.status", "services.list", "web.permission"}));
    EXPECT_EQ(svc->CountRequests("session.connect"), 1u);
    ASSERT_NE(veltrina::Director::DefaultDirector(), nullptr);
    EXPECT_EQ(veltrina::Director::DefaultDirector()->permission(), 6);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 1);
    auto accounts = Accounts();
    ASSERT_TRUE(accounts.InitOrDie());
    EXPECT_EQ(accounts.LastTeamId(), "t-road");
    EXPECT_EQ(accounts.UsernameForTeamId("t-road"), "alice");
    EXPECT_EQ(veltrinawnd::LoadPassword("t-road", "alice"), L"secret-pass密码");
    Quit();
  });
  Run(d);
  EXPECT_TRUE(system_.boxes.empty());
}

TEST_F(SigninTest, FailuresShowTheirBoxesAndLeaveTheWindowsUsable) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    testkit::SetControlText(h, L"subdomain_edit", L"nope");
    testkit::ClickControl(h, L"continue_btn");
  });
  Answer(d, "team.lookup", [svc](const auto& r) { svc->Fail(r.id, -1, "unreachable"); });
  d.WaitFor("error box", [this] { return !system_.boxes.empty(); });
  d.Do("idle again", [this] {
    EXPECT_EQ(system_.boxes.back(), L"团队名错误 (code:-1)");
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"continue_btn"), L"下一步");
    EXPECT_TRUE(FindControl(FindVisibleWindow(L"SubdomainWnd"), L"continue_btn")->IsEnabled());
    // An empty field still asks; the answer decides.
    HWND h = FindVisibleWindow(L"SubdomainWnd");
    testkit::SetControlText(h, L"subdomain_edit", L"");
    testkit::NotifyControl(h, L"subdomain_edit", L"return");
  });
  Answer(d, "team.lookup", [svc](const auto& r) {
    EXPECT_EQ(r.Param("subdomain"), "");
    svc->Succeed(r.id, bodies::TeamBody("t-fail", "Fail", "fail"));
  });
  d.OnWindow(L"LoginWindow", [](HWND h) {
    EXPECT_EQ(TextOf(L"LoginWindow", L"username_edit"), L"");  // nothing stored for this team
    testkit::SetControlText(h, L"username_edit", L"bob");
    testkit::SetControlText(h, L"password_edit", L"secret-pass");
    testkit::ClickControl(h, L"login_btn");
  });
  const std::vector<std::pair<int64_t, std::wstring>> failures = {
      {8000, L"用户名或密码错误"}, {-1, L"链接到服务器失败"}, {42, L"登录失败 (code:42)"}};
  for (size_t i = 0; i < failures.size(); ++i) {
    auto [code, text] = failures[i];
    Answer(d, "auth.login", [svc, code](const auto& r) { svc->Fail(r.id, code, "no"); });
    d.WaitFor("box", [this, i] { return system_.boxes.size() == i + 2; });
    d.Do("check", [this, text, i, failures] {
      EXPECT_EQ(system_.boxes.back(), text);
      EXPECT_EQ(TextOf(L"LoginWindow", L"login_btn"), L"登录");
      EXPECT_TRUE(FindControl(FindVisibleWindow(L"LoginWindow"), L"login_btn")->IsEnabled());
      if (i + 1 < failures.size()) testkit::ClickControl(FindVisibleWindow(L"LoginWindow"), L"login_btn");
      else testkit::ClickControl(FindVisibleWindow(L"LoginWindow"), L"closebtn");
    });
  }
  Run(d);
  EXPECT_EQ(veltrinawnd::LoadPassword("t-fail", "bob"), L"");  // failed logins store nothing
}

TEST_F(SigninTest, BusyTextCyclesAndEnterStartsAnotherAttemptWhileBusy) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  Answer(d, "team.lookup", [svc](const auto& r) { svc->Succeed(r.id, bodies::TeamBody("t-busy", "Busy", "busy")); });
  d.OnWindow(L"LoginWindow", [](HWND h) { testkit::ClickControl(h, L"login_btn"); });
  d.WaitFor("first attempt", [svc] { return svc->CountRequests("auth.login") == 1; });
  d.Do("animate", [] {
    HWND h = FindVisibleWindow(L"LoginWindow");
    const wchar_t* expected[] = {L"登录中.", L"登录中..", L"登录中...", L"登录中."};
    for (const wchar_t* text : expected) {
      SendMessageW(h, WM_TIMER, WM_USER + 34, 0);
      EXPECT_EQ(TextOf(L"LoginWindow", L"login_btn"), text);
    }
    testkit::NotifyControl(h, L"password_edit", L"return");
  });
  d.WaitFor("second attempt", [svc] { return svc->CountRequests("auth.login") == 2; });
  Answer(d, "auth.login", [svc](const auto& r) { svc->Fail(r.id, 8000, "no"); });
  Answer(d, "auth.login", [svc](const auto& r) { svc->Fail(r.id, 8000, "no"); });
  d.WaitFor("both answered", [this] { return system_.boxes.size() == 2; });
  d.Do("idle, timer stopped", [] {
    HWND h = FindVisibleWindow(L"LoginWindow");
    EXPECT_EQ(TextOf(L"LoginWindow", L"login_btn"), L"登录");
    SendMessageW(h, WM_TIMER, WM_USER + 34, 0);
    EXPECT_EQ(TextOf(L"LoginWindow", L"login_btn"), L"登录");
    testkit::ClickControl(h, L"closebtn");
  });
  Run(d);
}

TEST_F(SigninTest, InitialPasswordRoadRefusesLocallyThenConnectsAndOpensTheMainWindow) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  Answer(d, "team.lookup", [svc](const auto& r) { svc->Succeed(r.id, bodies::TeamBody("t-new", "New", "new")); });
  d.OnWindow(L"LoginWindow", [](HWND h) {
    testkit::SetControlText(h, L"username_edit", L"newbie");
    testkit::SetControlText(h, L"password_edit", L"secret-pass");
    testkit::ClickControl(h, L"login_btn");
  });
  Answer(d, "auth.login", [this, svc](const auto& r) { svc->Answer(r.id, true, 201, "", LoginReply("u-9", "newbie")); });
  d.WaitFor("password window alone", [] {
    return FindVisibleWindow(L"RestPwdWnd") && testkit::CountVisibleTopLevelWindows() == 1;
  });
  d.Do("local refusals", [this, svc] {
    EXPECT_EQ(svc->CountRequests("users.list"), 0u);  // no preparation on this road yet
    EXPECT_EQ(svc->CountRequests("session.connect"), 0u);
    HWND h = FindVisibleWindow(L"RestPwdWnd");
    auto set = [h](const wchar_t* a, const wchar_t* b) {
      testkit::SetControlText(h, L"new_pwd_edit", a);
      testkit::SetControlText(h, L"confirm_pwd_edit", b);
      testkit::NotifyControl(h, L"sure_btn", L"click");
    };
    set(L"abcdef", L"abcdeg");
    set(L"", L"");           // equal and empty: too short, not a mismatch
    set(L"abcde", L"abcde");  // five bytes
    EXPECT_EQ(system_.boxes, (std::vector<std::wstring>{L"两次输入的密码不一致", L"密码长度至少为6位", L"密码长度至少为6位"}));
    EXPECT_EQ(svc->CountRequests("auth.init_password"), 0u);
    set(L"密码", L"密码");  // two Chinese characters are six UTF-8 bytes
    EXPECT_EQ(TextOf(L"RestPwdWnd", L"sure_btn"), L"登录中...");
  });
  Answer(d, "auth.init_password", [svc](const auto& r) {
    EXPECT_EQ(r.Param("password"), "密码");
    svc->Fail(r.id, 7, "refused");
  });
  d.WaitFor("refused box", [this] { return system_.boxes.size() == 4; });
  d.Do("usable again", [this] {
    EXPECT_EQ(system_.boxes.back(), L"初始化密码失败 (code:7)");
    EXPECT_EQ(TextOf(L"RestPwdWnd", L"sure_btn"), L"登录");
    HWND h = FindVisibleWindow(L"RestPwdWnd");
    testkit::SetControlText(h, L"new_pwd_edit", L"longenough");
    testkit::SetControlText(h, L"confirm_pwd_edit", L"longenough");
    testkit::NotifyControl(h, L"confirm_pwd_edit", L"return");
  });
  Answer(d, "auth.init_password", [svc](const auto& r) { svc->Succeed(r.id); });
  AnswerPreparation(d, true, 2);
  d.OnWindow(L"MainWindow", [svc](HWND) {
    EXPECT_EQ(svc->CountRequests("session.connect"), 1u);
    EXPECT_EQ(veltrina::Director::DefaultDirector()->permission(), 2);
    Quit();
  });
  Run(d);
}

TEST_F(SigninTest, UpdateWindowOpensForVersionFourAndUpOnly) {
  for (int64_t code : {int64_t{4}, int64_t{3}, int64_t{-5}}) {
    SCOPED_TRACE(code);
    system_.opened.clear();
    auto svc = service_;
    bool shown = false;
    testkit::UiDriver d;
    Answer(d, "client.version", [svc, code](const auto& r) {
      svc->Succeed(r.id, bodies::VersionBody(code, "新版本说明", "https://veltrina.demo/dl"));
    });
    d.Pause(150);
    d.Do("look", [&shown] {
      HWND h = FindVisibleWindow(L"UpdateWnd");
      shown = h != nullptr;
      if (!h) return;
      EXPECT_NE(FindVisibleWindow(L"SubdomainWnd"), nullptr);  // over the team window
      EXPECT_EQ(TextOf(L"UpdateWnd", L"description_edit"), L"新版本说明");
      testkit::NotifyControl(h, L"update_btn", L"click");
      testkit::NotifyControl(h, L"update_btn", L"click");  // each press opens it again
      testkit::NotifyControl(h, L"cancel_btn", L"click");
    });
    d.WaitFor("no update window", [] { return FindVisibleWindow(L"UpdateWnd") == nullptr; });
    d.Do("close", [] { testkit::ClickControl(FindVisibleWindow(L"SubdomainWnd"), L"closebtn"); });
    Run(d);
    EXPECT_EQ(shown, code >= 4);
    EXPECT_EQ(system_.opened.size(), code >= 4 ? 2u : 0u);
  }
}

TEST_F(SigninTest, WebPagesOpenOnlyAsWebAddresses) {
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    testkit::NotifyControl(h, L"create_team_btn", L"click");
    testkit::NotifyControl(h, L"forgot_team_btn", L"click");
    testkit::ClickControl(h, L"closebtn");
  });
  Run(d);
  EXPECT_EQ(system_.opened, (std::vector<std::wstring>{L"https://veltrina.demo/signup", L"https://veltrina.demo/find"}));
  EXPECT_FALSE(veltrinawnd::OpenWebAddress(L"file:///C:/Windows/notepad.exe"));
  EXPECT_FALSE(veltrinawnd::OpenWebAddress(L"C:\\Windows\\notepad.exe"));
  EXPECT_FALSE(veltrinawnd::OpenWebAddress(L"javascript:alert(1)"));
  EXPECT_FALSE(veltrinawnd::OpenWebAddress(L"https://"));
  EXPECT_TRUE(veltrinawnd::OpenWebAddress(L"HTTPS://veltrina.demo/x"));
  EXPECT_EQ(system_.opened.size(), 3u);
}
