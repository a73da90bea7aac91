// The road from start-up to the main window, with every failure on the way.
#include "app/storage.h"
#include "signin_fixture.h"
#include "veltrina/account_manager.h"
#include "veltrina/director.h"

using testkit::FindVisibleWindow;
namespace bodies = veltrina::backend;

namespace {
veltrina::AccountManager Accounts() {
  return veltrina::AccountManager(veltrinawnd::WideToAnsi(veltrinawnd::GetDataFolder()));
}
bool Enabled(const wchar_t* window, const wchar_t* control) {
  return testkit::FindControl(FindVisibleWindow(window), control)->IsEnabled();
}
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
  Answer(d, "client.version", [svc](const Request& r) { svc->Succeed(r.id, bodies::VersionBody(3, "", "")); });
  d.Pause(150);  // below version 4 no update window: "login window alone" below
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"subdomain_edit"), L"road");
    testkit::ClickControl(h, L"continue_btn");
  });
  Answer(d, "team.lookup", [svc](const Request& r) {
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"continue_btn"), L"检查团队名...");
    EXPECT_FALSE(Enabled(L"SubdomainWnd", L"continue_btn"));
    EXPECT_EQ(r.Param("subdomain"), "road");
    svc->Succeed(r.id, bodies::TeamBody("t-road", "公路团队", "road"));
  });
  d.WaitFor("login window alone", [] {
    return FindVisibleWindow(L"LoginWindow") && testkit::CountVisibleTopLevelWindows() == 1;
  });
  d.Do("pre-filled login", [] {
    EXPECT_EQ(TextOf(L"LoginWindow", L"team_name_label") + L"|" + TextOf(L"LoginWindow", L"username_edit") + L"|" +
                  TextOf(L"LoginWindow", L"password_edit"),
              L"登录到公路团队|alice|secret-pass密码");
  });
  d.Pause(100);
  d.Do("pre-filled fields never sign in by themselves", [svc] {
    EXPECT_EQ(svc->CountRequests("auth.login"), 0u);
    testkit::ClickControl(FindVisibleWindow(L"LoginWindow"), L"login_btn");
  });
  Answer(d, "auth.login", [svc](const Request& r) {
    EXPECT_EQ(r.Param("username") + r.Param("team_id") + r.Param("team_subdomain"), "alicet-roadroad");
    svc->Answer(r.id, true, 200, "", LoginReply("u-1", "alice"));
  });
  AnswerPreparation(d, 6);
  d.OnWindow(L"MainWindow", [svc](HWND) {
    std::vector<std::string> order;  // the preparation ran in order, after the login
    for (const auto& r : svc->Requests())
      if (r.method.starts_with("users.") || r.method == "services.list" || r.method == "web.permission")
        order.push_back(r.method);
    EXPECT_EQ(order, (std::vector<std::string>{"users.list", "users.status", "services.list", "web.permission"}));
    EXPECT_EQ(svc->CountRequests("session.connect"), 1u);
    EXPECT_EQ(veltrina::Director::DefaultDirector()->permission(), 6);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 1);
    auto accounts = Accounts();
    ASSERT_TRUE(accounts.InitOrDie());
    EXPECT_EQ(accounts.LastTeamId() + "|" + accounts.UsernameForTeamId("t-road"), "t-road|alice");
    EXPECT_EQ(veltrinawnd::LoadPassword("t-road", "alice"), L"secret-pass密码");
    Quit();
  });
  Run(d);
  EXPECT_TRUE(system_.boxes.empty() && system_.opened.empty());
}

TEST_F(SigninTest, UpdateWindowAndTeamPagesOpenThenFailuresShowTheirBoxesAndLeaveTheWindowsUsable) {
  auto svc = service_;
  testkit::UiDriver d;
  Answer(d, "client.version", [svc](const Request& r) {
    svc->Succeed(r.id, bodies::VersionBody(4, "新版本说明", "https://veltrina.demo/dl"));
  });
  d.OnWindow(L"UpdateWnd", [](HWND update) {
    EXPECT_NE(FindVisibleWindow(L"SubdomainWnd"), nullptr);  // over the team window
    EXPECT_EQ(TextOf(L"UpdateWnd", L"description_edit"), L"新版本说明");
    testkit::NotifyControl(update, L"update_btn", L"click");
    testkit::NotifyControl(update, L"cancel_btn", L"click");
  });
  d.WaitFor("no update window", [] { return FindVisibleWindow(L"UpdateWnd") == nullptr; });
  d.OnWindow(L"SubdomainWnd", [this](HWND h) {
    testkit::NotifyControl(h, L"create_team_btn", L"click");
    testkit::NotifyControl(h, L"forgot_team_btn", L"click");
    EXPECT_EQ(system_.opened, (std::vector<std::wstring>{L"https://veltrina.demo/dl", L"https://veltrina.demo/signup",
                                                         L"https://veltrina.demo/find"}));
    testkit::SetControlText(h, L"subdomain_edit", L"nope");
    testkit::ClickControl(h, L"continue_btn");
  });
  Answer(d, "team.lookup", [svc](const Request& r) { svc->Fail(r.id, -1, "unreachable"); });
  d.WaitFor("error box", [this] { return !system_.boxes.empty(); });
  d.Do("idle again; an empty field still asks", [this] {
    EXPECT_EQ(system_.boxes.back(), L"团队名错误 (code:-1)");
    EXPECT_EQ(TextOf(L"SubdomainWnd", L"continue_btn"), L"下一步");
    EXPECT_TRUE(Enabled(L"SubdomainWnd", L"continue_btn"));
    HWND h = FindVisibleWindow(L"SubdomainWnd");
    testkit::SetControlText(h, L"subdomain_edit", L"");
    testkit::NotifyControl(h, L"subdomain_edit", L"return");
  });
  Answer(d, "team.lookup", [svc](const Request& r) {
    EXPECT_EQ(r.Param("subdomain"), "");
    svc->Succeed(r.id, bodies::TeamBody("t-fail", "Fail", "fail.evil.example/#"));
  });
  d.OnWindow(L"LoginWindow", [this](HWND h) {
    testkit::NotifyControl(h, L"forgot_pwd_btn", L"click");
    EXPECT_EQ(system_.opened.size(), 3u);  // a subdomain that is no host label opens no page
    EXPECT_EQ(TextOf(L"LoginWindow", L"username_edit"), L"");  // nothing stored for this team
    testkit::SetControlText(h, L"username_edit", L"bob");
    testkit::SetControlText(h, L"password_edit", L"secret-pass");
    testkit::ClickControl(h, L"login_btn");
  });
  d.WaitFor("first attempt", [svc] { return svc->CountRequests("auth.login") == 1; });
  d.Do("the busy text cycles; Enter while busy starts another attempt", [] {
    HWND h = FindVisibleWindow(L"LoginWindow");
    for (const wchar_t* text : {L"登录中.", L"登录中..", L"登录中...", L"登录中."}) {
      SendMessageW(h, WM_TIMER, WM_USER + 34, 0);
      EXPECT_EQ(TextOf(L"LoginWindow", L"login_btn"), text);
    }
    testkit::NotifyControl(h, L"password_edit", L"return");
  });
  const std::vector<std::pair<int64_t, std::wstring>> failures = {
      {8000, L"用户名或密码错误"}, {8000, L"用户名或密码错误"}, {-1, L"链接到服务器失败"}, {42, L"登录失败 (code:42)"}};
  for (size_t i = 0; i < failures.size(); ++i) {
    auto [code, text] = failures[i];
    Answer(d, "auth.login", [svc, code](const Request& r) { svc->Fail(r.id, code, "no"); });
    d.WaitFor("box", [this, i] { return system_.boxes.size() == i + 2; });
    d.Do("idle, the timer stopped", [this, text, i, last = i + 1 == failures.size()] {
      HWND h = FindVisibleWindow(L"LoginWindow");
      EXPECT_EQ(system_.boxes.back(), text);
      if (i == 0) return;  // the second attempt still runs
      SendMessageW(h, WM_TIMER, WM_USER + 34, 0);
      EXPECT_EQ(TextOf(L"LoginWindow", L"login_btn"), L"登录");
      EXPECT_TRUE(Enabled(L"LoginWindow", L"login_btn"));
      testkit::ClickControl(h, last ? L"closebtn" : L"login_btn");
    });
  }
  Run(d);
  EXPECT_EQ(veltrinawnd::LoadPassword("t-fail", "bob"), L"");  // failed logins store nothing
}

TEST_F(SigninTest, InitialPasswordRoadRefusesLocallyThenConnectsAndOpensTheMainWindow) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  Answer(d, "team.lookup", [svc](const Request& r) { svc->Succeed(r.id, bodies::TeamBody("t-new", "New", "new")); });
  d.OnWindow(L"LoginWindow", [this](HWND h) {
    testkit::NotifyControl(h, L"forgot_pwd_btn", L"click");
    EXPECT_EQ(system_.opened, std::vector<std::wstring>{L"https://new.veltrina.demo/forgot"});
    testkit::ClickControl(h, L"login_btn");
  });
  Answer(d, "auth.login", [svc](const Request& r) { svc->Answer(r.id, true, 201, "", LoginReply("u-9", "newbie")); });
  d.WaitFor("password window alone", [] {
    return FindVisibleWindow(L"RestPwdWnd") && testkit::CountVisibleTopLevelWindows() == 1;
  });
  auto set = [](const wchar_t* password, const wchar_t* again, bool by_enter = false) {
    HWND h = FindVisibleWindow(L"RestPwdWnd");
    testkit::SetControlText(h, L"new_pwd_edit", password);
    testkit::SetControlText(h, L"confirm_pwd_edit", again);
    testkit::NotifyControl(h, by_enter ? L"confirm_pwd_edit" : L"sure_btn", by_enter ? L"return" : L"click");
  };
  d.Do("local refusals", [this, svc, set] {
    EXPECT_EQ(svc->CountRequests("users.list") + svc->CountRequests("session.connect"), 0u);  // not yet
    set(L"abcdef", L"abcdeg");
    set(L"", L"");            // equal and empty: too short, not a mismatch
    set(L"abcde", L"abcde");  // five bytes
    EXPECT_EQ(system_.boxes,
              (std::vector<std::wstring>{L"两次输入的密码不一致", L"密码长度至少为6位", L"密码长度至少为6位"}));
    EXPECT_EQ(svc->CountRequests("auth.init_password"), 0u);
    set(L"密码", L"密码");  // two Chinese characters are six UTF-8 bytes
    EXPECT_EQ(TextOf(L"RestPwdWnd", L"sure_btn"), L"登录中...");
  });
  Answer(d, "auth.init_password", [svc](const Request& r) {
    EXPECT_EQ(r.Param("password"), "密码");
    svc->Fail(r.id, 7, "refused");
  });
  d.WaitFor("refused box", [this] { return system_.boxes.size() == 4; });
  d.Do("usable again", [this, set] {
    EXPECT_EQ(system_.boxes.back(), L"初始化密码失败 (code:7)");
    EXPECT_EQ(TextOf(L"RestPwdWnd", L"sure_btn"), L"登录");
    set(L"longenough", L"longenough", true);
  });
  Answer(d, "auth.init_password", [svc](const Request& r) { svc->Succeed(r.id); });
  AnswerPreparation(d, 2);
  d.OnWindow(L"MainWindow", [svc](HWND) {
    EXPECT_EQ(svc->CountRequests("session.connect"), 1u);
    EXPECT_EQ(veltrina::Director::DefaultDirector()->permission(), 2);
    Quit();
  });
  Run(d);
}
