// Answers that arrive after their window closed open nothing and crash nothing.
#include "signin_fixture.h"

using testkit::FindVisibleWindow;
namespace bodies = veltrina::backend;

TEST_F(SigninTest, LateLookupAndVersionAnswersAreDropped) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    testkit::ClickControl(h, L"continue_btn");
  });
  d.WaitFor("lookup asked", [svc] { return svc->CountRequests("team.lookup") == 1; });
  d.Do("close first", [] { testkit::ClickControl(FindVisibleWindow(L"SubdomainWnd"), L"closebtn"); });
  Run(d);
  // The window is gone; now the answers come.
  auto lookup = svc->WaitForRequest("team.lookup", std::chrono::milliseconds(0));
  auto version = svc->WaitForRequest("client.version", std::chrono::milliseconds(0));
  ASSERT_TRUE(lookup && version);
  svc->Succeed(lookup->id, bodies::TeamBody("t-late", "Late", "late"));
  svc->Succeed(version->id, bodies::VersionBody(9, "late", "https://veltrina.demo/dl"));
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  testkit::PumpFor(100);
  EXPECT_EQ(FindVisibleWindow(L"LoginWindow"), nullptr);
  EXPECT_EQ(FindVisibleWindow(L"UpdateWnd"), nullptr);
}

TEST_F(SigninTest, LateLoginAnswerIsDropped) {
  auto svc = service_;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  Answer(d, "team.lookup", [svc](const auto& r) { svc->Succeed(r.id, bodies::TeamBody("t-l2", "L2", "l2")); });
  d.OnWindow(L"LoginWindow", [](HWND h) { testkit::ClickControl(h, L"login_btn"); });
  d.WaitFor("login asked", [svc] { return svc->CountRequests("auth.login") == 1; });
  d.Do("close", [] { testkit::ClickControl(FindVisibleWindow(L"LoginWindow"), L"closebtn"); });
  Run(d);
  auto login = svc->WaitForRequest("auth.login", std::chrono::milliseconds(0));
  ASSERT_TRUE(login);
  svc->Answer(login->id, true, 200, "", LoginReply("u-1", "alice"));
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  testkit::PumpFor(100);
  EXPECT_EQ(svc->CountRequests("users.list"), 0u);  // no session was started for a gone window
  EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);
}
