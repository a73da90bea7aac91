// The road from start-up to the main window, with every failure on the way.
#include "app/storage.h"
#include "signin_fixture.h"
#include "veltrina/account_manager.h"
#include "veltrina/director.h"

using testkit::FindVisibleWindow;
namespace bodies = veltrina::backend;

namespace {
veltrina::AccountManager Accounts() {
  return veltrina::AccountManager(veltrinawnd::Utf16ToUtf8(veltrinawnd::GetDataFolder()));
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
  FindTeam(d, "t-new", "new");
  d.OnWindow(L"LoginWindow", [this](HWND h) {
    testkit::NotifyControl(h, L"forgot_pwd_btn", L"click");
    EXPECT_EQ(system_.opened, std::vector<std::wstring>{L"https://new.veltrina.demo/forgot"});
    testkit::SetControlText(h, L"username_edit", L"newbie");
    testkit::SetControlText(h, L"password_edit", L"initial-secret-pass");
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
    EXPECT_EQ(veltrinawnd::LoadPassword("t-new", "newbie"), L"initial-secret-pass");  // still the live one
    EXPECT_EQ(TextOf(L"RestPwdWnd", L"sure_btn"), L"登录");
    set(L"longenough", L"longenough", true);
  });
  Answer(d, "auth.init_password", [svc](const Request& r) { svc->Succeed(r.id); });
  AnswerPreparation(d, 2);
  d.OnWindow(L"MainWindow", [svc](HWND) {
    EXPECT_EQ(svc->CountRequests("session.connect"), 1u);
    EXPECT_EQ(veltrina::Director::DefaultDirector()->permission(), 2);
    // The next start fills in the password that works now, not the initial one.
    EXPECT_EQ(veltrinawnd::LoadPassword("t-new", "newbie"), L"longenough");
    Quit();
  });
  Run(d);
}

// A new password too long for the credential record: the dead initial one is not left behind.
TEST_F(SigninTest, ANewPasswordThatCannotBeStoredRemovesTheStoredInitialOne) {
  veltrinawnd::SaveCredential("t-long", "newbie", "initial-secret-pass");
  auto svc = service_;
  testkit::UiDriver d;
  FindTeam(d, "t-long", "long");
  d.OnWindow(L"LoginWindow", [](HWND h) {
    testkit::SetControlText(h, L"username_edit", L"newbie");
    testkit::SetControlText(h, L"password_edit", L"initial-secret-pass");
    testkit::ClickControl(h, L"login_btn");
  });
  Answer(d, "auth.login", [svc](const Request& r) { svc->Answer(r.id, true, 201, "", LoginReply("u-9", "newbie")); });
  const std::wstring overlong(300, L'p');
  d.OnWindow(L"RestPwdWnd", [overlong](HWND h) {
    EXPECT_EQ(veltrinawnd::LoadPassword("t-long", "newbie"), L"initial-secret-pass");
    testkit::SetControlText(h, L"new_pwd_edit", overlong);
    testkit::SetControlText(h, L"confirm_pwd_edit", overlong);
    testkit::ClickControl(h, L"sure_btn");
  });
  Answer(d, "auth.init_password", [svc](const Request& r) { svc->Succeed(r.id); });
  d.WaitFor("the stored login is gone", [] { return veltrinawnd::LoadPassword("t-long", "newbie").empty(); });
  d.Do("close", [] { DestroyWindow(FindVisibleWindow(L"RestPwdWnd")); });
  Run(d);
}

// A step of the session data preparation that fails, on the login window or (the same preparation) on the
// initial-password window.
struct PreparationFailure {
  const char* name;
  const char* method;
  const char* error;  // the service's text; empty: the core reports the bare code
  const wchar_t* box;
  bool initial_password;
};

void PrintTo(const PreparationFailure& c, std::ostream* os) { *os << c.name; }

class PreparationFailureTest : public SigninTest, public ::testing::WithParamInterface<PreparationFailure> {};

// Two attempts of one try (Enter while busy): the first prepares and fails, the second answers only after the box.
TEST_P(PreparationFailureTest, TheBoxSaysWhatFailedTheFirstTrysLateAnswerStartsNothingAndASecondTryOpensTheMainWindow) {
  const PreparationFailure c = GetParam();
  auto svc = service_;
  const wchar_t* window = c.initial_password ? L"RestPwdWnd" : L"LoginWindow";
  const wchar_t* button = c.initial_password ? L"sure_btn" : L"login_btn";
  const std::string attempt = c.initial_password ? "auth.init_password" : "auth.login";
  auto succeed = [svc, c](uint64_t id) {
    if (c.initial_password) svc->Succeed(id);
    else svc->Answer(id, true, 200, "", LoginReply("u-1", "alice"));
  };
  testkit::UiDriver d;
  FindTeam(d, "t-prep", "prep");
  d.OnWindow(L"LoginWindow", [](HWND h) { testkit::ClickControl(h, L"login_btn"); });
  if (c.initial_password) {
    Answer(d, "auth.login", [svc](const Request& r) { svc->Answer(r.id, true, 201, "", LoginReply("u-9", "newbie")); });
    d.OnWindow(L"RestPwdWnd", [](HWND h) {
      testkit::SetControlText(h, L"new_pwd_edit", L"longenough");
      testkit::SetControlText(h, L"confirm_pwd_edit", L"longenough");
      testkit::ClickControl(h, L"sure_btn");
    });
  }
  d.WaitFor("an attempt", [svc, attempt] { return svc->CountRequests(attempt) == 1; });
  d.Do("Enter while busy", [window, c] {
    testkit::NotifyControl(FindVisibleWindow(window), c.initial_password ? L"confirm_pwd_edit" : L"password_edit",
                           L"return");
  });
  d.WaitFor("two attempts", [svc, attempt] { return svc->CountRequests(attempt) == 2; });
  d.Do("the first succeeds", [svc, attempt, succeed] { succeed(Next(*svc, attempt)); });
  AnswerPreparation(d, 6, c.method, 503, c.error);
  d.WaitFor("the box", [this] { return !system_.boxes.empty(); });
  d.Do("usable again; the second attempt answers late", [this, svc, c, window, button, attempt, succeed] {
    EXPECT_EQ(system_.boxes, std::vector<std::wstring>{c.box});
    SendMessageW(FindVisibleWindow(window), WM_TIMER, WM_USER + 34, 0);  // no animation left running
    EXPECT_EQ(TextOf(window, button), L"登录");
    EXPECT_TRUE(Enabled(window, button));
    succeed(Next(*svc, attempt));
  });
  d.WaitFor("the late answer handled", [] { return bodies::WaitForCoreIdle(std::chrono::milliseconds(0)); });
  d.Pause(100);
  d.Do("which started nothing; try again", [this, svc, window, button] {
    EXPECT_EQ(svc->CountRequests("users.list"), 1u);
    EXPECT_EQ(system_.boxes.size(), 1u);
    EXPECT_EQ(TextOf(window, button), L"登录");
    testkit::ClickControl(FindVisibleWindow(window), button);
  });
  if (!c.initial_password)  // a new sign-in; the password window only prepares again, its password is set
    Answer(d, "auth.login", [succeed](const Request& r) { succeed(r.id); });
  AnswerPreparation(d, 2);
  // The first try may have left caches on disk: then the main window opens before the answers land.
  d.WaitFor("prepared, in the main window", [] {
    return FindVisibleWindow(L"MainWindow") && veltrina::Director::DefaultDirector()->permission() == 2;
  });
  d.Do("one try each", [svc, attempt, c] {
    EXPECT_EQ(svc->CountRequests(attempt), c.initial_password ? 2u : 3u);
    EXPECT_EQ(svc->CountRequests("users.list"), 2u);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 1);
    Quit();
  });
  Run(d);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, PreparationFailureTest,
    ::testing::Values(PreparationFailure{"LoginMembers", "users.list", "", L"获取团队成员失败 (code:503)", false},
                      PreparationFailure{"LoginStatuses", "users.status", "", L"获取成员状态失败 (code:503)", false},
                      PreparationFailure{"LoginServices", "services.list", "", L"获取服务列表失败 (code:503)", false},
                      PreparationFailure{"LoginPermission", "web.permission", "", L"获取权限失败 (code:503)", false},
                      PreparationFailure{"PasswordMembers", "users.list", "", L"获取团队成员失败 (code:503)", true},
                      PreparationFailure{"PasswordServices", "services.list", "服务暂停", L"获取服务列表失败 (服务暂停)", true}),
    [](const ::testing::TestParamInfo<PreparationFailure>& info) { return std::string(info.param.name); });
