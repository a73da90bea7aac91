// Answers that come late -- after their window closed, or twice because Enter was pressed again while a request
// ran -- open nothing more and crash nothing; a real box lets the core go on.
#include "message_box.h"
#include "signin_fixture.h"

using testkit::FindVisibleWindow;
namespace bodies = veltrina::backend;

namespace {

// Both answers are queued before the first is handled, so the second reaches a closing window; one window follows.
void AnswerTwiceExpectOneWindow(testkit::UiDriver& d, std::shared_ptr<bodies::ScriptedService> svc,
                                const wchar_t* window, const wchar_t* edit, std::string method,
                                std::function<void(uint64_t)> answer, const wchar_t* next) {
  d.WaitFor("an attempt", [svc, method] { return svc->CountRequests(method) == 1; });
  d.Do("Enter while busy", [window, edit] { testkit::NotifyControl(FindVisibleWindow(window), edit, L"return"); });
  d.WaitFor("two attempts", [svc, method] { return svc->CountRequests(method) == 2; });
  d.Do("answer both at once", [svc, method, answer] { answer(Next(*svc, method)), answer(Next(*svc, method)); });
  d.WaitFor("the next window", [next] { return FindVisibleWindow(next) != nullptr; });
  d.Do("let the second answer arrive", [] { ASSERT_TRUE(bodies::WaitForCoreIdle()); });
  d.Pause(200);
  d.Do("one window", [next] {
    EXPECT_EQ(testkit::CountVisibleWindows(next), 1);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 1);
    while (testkit::CountVisibleWindows(next) > 1) DestroyWindow(FindVisibleWindow(next));  // go on with one
  });
}

}  // namespace

TEST_F(SigninTest, LateLookupAndVersionAnswersAreDropped) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  d.WaitFor("lookup asked", [svc] { return svc->CountRequests("team.lookup") == 1; });
  d.Do("close first", [] { testkit::ClickControl(FindVisibleWindow(L"SubdomainWnd"), L"closebtn"); });
  Run(d);
  EXPECT_TRUE(svc->Succeed(Next(*svc, "team.lookup"), bodies::TeamBody("t-late", "Late", "late")));
  EXPECT_TRUE(svc->Succeed(Next(*svc, "client.version"), bodies::VersionBody(9, "late", "https://veltrina.demo/dl")));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  testkit::PumpFor(100);
  EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);  // no login window, no update window
}

TEST_F(SigninTest, LateLoginAnswerIsDropped) {
  auto svc = service_;
  testkit::UiDriver d;
  ReachSignIn(d, "t-l2", "l2");
  d.Do("close", [] { testkit::ClickControl(FindVisibleWindow(L"LoginWindow"), L"closebtn"); });
  Run(d);
  EXPECT_TRUE(svc->Answer(Next(*svc, "auth.login"), true, 200, "", LoginReply("u-1", "alice")));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  testkit::PumpFor(100);
  EXPECT_EQ(svc->CountRequests("users.list"), 0u);  // no session was started for a gone window
}

TEST_F(SigninTest, TwoTeamAnswersOpenOneLoginWindowAndTwoInitialPasswordAnswersOnePasswordWindow) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  AnswerTwiceExpectOneWindow(d, svc, L"SubdomainWnd", L"subdomain_edit", "team.lookup", [svc](uint64_t id) {
    svc->Succeed(id, bodies::TeamBody("t-201", "New", "new"));
  }, L"LoginWindow");
  d.OnWindow(L"LoginWindow", [](HWND h) { testkit::ClickControl(h, L"login_btn"); });
  AnswerTwiceExpectOneWindow(d, svc, L"LoginWindow", L"password_edit", "auth.login", [svc](uint64_t id) {
    svc->Answer(id, true, 201, "", LoginReply("u-9", "newbie"));
  }, L"RestPwdWnd");
  d.Do("close", [] { DestroyWindow(FindVisibleWindow(L"RestPwdWnd")); });
  Run(d);
}

TEST_F(SigninTest, TwoSignedInAnswersStartOneSession) {
  auto svc = service_;
  testkit::UiDriver d;
  ReachSignIn(d, "t-200", "two");
  d.Do("Enter while busy", [] { testkit::NotifyControl(FindVisibleWindow(L"LoginWindow"), L"password_edit", L"return"); });
  d.WaitFor("two attempts", [svc] { return svc->CountRequests("auth.login") == 2; });
  d.Do("answer both at once", [svc] {
    for (int i = 0; i < 2; ++i) svc->Answer(Next(*svc, "auth.login"), true, 200, "", LoginReply("u-1", "alice"));
  });
  // The core hands the answers over one after the other, each waiting for its handler: the second
  // follows the first's session start within milliseconds (its requests stay unanswered, so the core
  // is never idle here).
  d.WaitFor("the session's first request", [svc] { return svc->CountRequests("users.list") >= 1; });
  d.Pause(500).Do("one session, one set of its requests", [svc] {
    EXPECT_EQ(svc->CountRequests("users.list"), 1u);
    testkit::ClickControl(FindVisibleWindow(L"LoginWindow"), L"closebtn");
  });
  Run(d);
}

// The real message box runs its own modal loop until the user answers it.
TEST_F(SigninTest, ARealFailureBoxLetsTheCoreGoOnAndEndsWithOk) {
  veltrinawnd::InstallSystemSeam(nullptr);
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  Answer(d, "team.lookup", [svc](const Request& r) { svc->Fail(r.id, -404, "no such team"); });
  d.WaitFor("the box", [] { return testkit::FindMessageBox() != nullptr; });
  d.Do("the core is free while the box is up", [svc] {
    // The core thread answers this only when it is no longer inside the call that showed the box.
    svc->Succeed(Next(*svc, "client.version"), bodies::VersionBody(3, "", ""));
    EXPECT_TRUE(bodies::WaitForCoreIdle(std::chrono::milliseconds(3000)));
    HWND box = testkit::FindMessageBox();
    EXPECT_EQ(testkit::MessageBoxText(box), L"团队名错误 (code:-404)");
    EXPECT_FALSE(testkit::WindowTitle(box).empty());  // no title given: the system's own caption
    testkit::AnswerMessageBox(box, IDOK);
  });
  d.WaitFor("the box gone", [] { return testkit::FindMessageBox() == nullptr; });
  d.Do("usable again", [] {
    EXPECT_TRUE(testkit::FindControl(FindVisibleWindow(L"SubdomainWnd"), L"continue_btn")->IsEnabled());
    testkit::ClickControl(FindVisibleWindow(L"SubdomainWnd"), L"closebtn");
  });
  Run(d);
}
