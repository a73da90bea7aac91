// Answers that come twice (Enter pressed again while a request runs) and boxes that stay up: one
// follow-up window, and the core keeps delivering while the user reads a box.
#include "frame/window_manager.h"
#include "message_box.h"
#include "signin_fixture.h"

using testkit::FindVisibleWindow;
namespace bodies = veltrina::backend;

TEST_F(SigninTest, TwoTeamAnswersOpenOneLoginWindow) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  d.WaitFor("a lookup", [svc] { return svc->CountRequests("team.lookup") == 1; });
  d.Do("Enter while checking", [] {  // starts another lookup
    testkit::NotifyControl(FindVisibleWindow(L"SubdomainWnd"), L"subdomain_edit", L"return");
  });
  d.WaitFor("two lookups", [svc] { return svc->CountRequests("team.lookup") == 2; });
  d.Do("answer both at once", [svc] {
    // Both answers are queued before the first is handled, so the second reaches the team
    // window while it is closing.
    for (int i = 0; i < 2; ++i) {
      auto r = svc->WaitForRequest("team.lookup", std::chrono::milliseconds(0));
      ASSERT_TRUE(r);
      svc->Succeed(r->id, bodies::TeamBody("t-twice", "Twice", "twice"));
    }
  });
  d.WaitFor("login window", [] { return FindVisibleWindow(L"LoginWindow") != nullptr; });
  d.Do("let the second answer arrive", [] { ASSERT_TRUE(bodies::WaitForCoreIdle()); });
  d.Pause(200);
  d.Do("one login window", [] {
    EXPECT_EQ(testkit::CountVisibleWindows(L"LoginWindow"), 1);
    // With a second window stacked, closing only this one would leave the other up.
    for (HWND h; (h = FindVisibleWindow(L"LoginWindow")) != nullptr;) DestroyWindow(h);
  });
  Run(d);
}

TEST_F(SigninTest, TwoInitialPasswordAnswersOpenOnePasswordWindow) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  Answer(d, "team.lookup", [svc](const auto& r) { svc->Succeed(r.id, bodies::TeamBody("t-201", "New", "new")); });
  d.OnWindow(L"LoginWindow", [](HWND h) { testkit::ClickControl(h, L"login_btn"); });
  d.WaitFor("an attempt", [svc] { return svc->CountRequests("auth.login") == 1; });
  d.Do("Enter while signing in", [] {
    testkit::NotifyControl(FindVisibleWindow(L"LoginWindow"), L"password_edit", L"return");
  });
  d.WaitFor("two attempts", [svc] { return svc->CountRequests("auth.login") == 2; });
  d.Do("answer both with 201", [this, svc] {
    for (int i = 0; i < 2; ++i) {
      auto r = svc->WaitForRequest("auth.login", std::chrono::milliseconds(0));
      ASSERT_TRUE(r);
      svc->Answer(r->id, true, 201, "", LoginReply("u-9", "newbie"));
    }
  });
  d.WaitFor("password window", [] { return FindVisibleWindow(L"RestPwdWnd") != nullptr; });
  d.Do("let the second answer arrive", [] { ASSERT_TRUE(bodies::WaitForCoreIdle()); });
  d.Pause(200);
  d.Do("one password window", [] {
    EXPECT_EQ(testkit::CountVisibleWindows(L"RestPwdWnd"), 1);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 1);
    for (HWND h; (h = FindVisibleWindow(L"RestPwdWnd")) != nullptr;) DestroyWindow(h);
  });
  Run(d);
}

// The real message box this time: it runs its own modal loop until the user answers it.
TEST_F(SigninTest, ARealFailureBoxLetsTheCoreGoOnAndEndsWithOk) {
  veltrinawnd::InstallSystemSeam(nullptr);
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    testkit::SetControlText(h, L"subdomain_edit", L"nosuchteam");
    testkit::ClickControl(h, L"continue_btn");
  });
  Answer(d, "team.lookup", [svc](const auto& r) { svc->Fail(r.id, -404, "no such team"); });
  d.WaitFor("the box", [] { return testkit::FindMessageBox() != nullptr; });
  d.Do("the core is free while the box is up", [svc] {
    auto version = svc->WaitForRequest("client.version", std::chrono::milliseconds(0));
    ASSERT_TRUE(version);
    svc->Succeed(version->id, bodies::VersionBody(3, "", ""));
    // The core thread would still be inside the send that showed the box if it had not been
    // released; it answers this one only when it is free.
    EXPECT_TRUE(bodies::WaitForCoreIdle(std::chrono::milliseconds(3000)));
  });
  d.Do("read and answer the box", [] {
    HWND box = testkit::FindMessageBox();
    EXPECT_EQ(testkit::MessageBoxText(box), L"团队名错误 (code:-404)");
    // Shown without a title: the system's own caption, never empty.
    EXPECT_FALSE(testkit::WindowTitle(box).empty());
    testkit::AnswerMessageBox(box, IDOK);
  });
  d.WaitFor("the box gone", [] { return testkit::FindMessageBox() == nullptr; });
  d.Do("usable again", [] {
    HWND h = FindVisibleWindow(L"SubdomainWnd");
    DuiLib::CControlUI* button = testkit::FindControl(h, L"continue_btn");
    ASSERT_TRUE(button);
    EXPECT_TRUE(button->IsEnabled());
    EXPECT_EQ(button->GetText(), L"下一步");
    testkit::ClickControl(h, L"closebtn");
  });
  Run(d);
}
