#include <gtest/gtest.h>

#include "app/application.h"
#include "frame/window_manager.h"
#include "frame_fixture.h"

using veltrinawnd::WindowManager;

class StartupTest : public FrameTest {};

TEST_F(StartupTest, ClosingTheTeamWindowEndsWithZeroAndNoWindowLeft) {
  testkit::UiDriver d;
  std::wstring title;
  d.OnWindow(L"SubdomainWnd", [&](HWND h) {
    wchar_t text[64] = {};
    GetWindowTextW(h, text, 63);
    title = text;
    testkit::ClickControl(h, L"closebtn");
  });
  d.Start();
  EXPECT_EQ(veltrinawnd::RunApplication(GetModuleHandleW(nullptr)), 0);
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_EQ(title, L"登录团队");
  EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);
}

TEST_F(StartupTest, QuitEndsEveryNestedLoopAtEveryDepth) {
  // Team window -> main window -> member list -> add members, each a nested modal loop; one
  // WM_QUIT ends them all and start-up still returns 0.
  testkit::UiDriver d;
  d.WaitFor("team window", [] { return testkit::FindVisibleWindow(L"SubdomainWnd") != nullptr; });
  d.Do("main", [] { WindowManager::Instance()->ShowMainWnd(); });
  d.WaitFor("main window", [] { return testkit::FindVisibleWindow(L"MainWindow") != nullptr; });
  d.Do("members", [] { WindowManager::Instance()->ShowViewMembersWnd("general"); });
  d.WaitFor("members window", [] { return testkit::FindVisibleWindow(L"ViewMembersWnd") != nullptr; });
  d.Do("add members", [] { WindowManager::Instance()->ShowAddMembersWnd("general"); });
  d.WaitFor("add members window", [] { return testkit::FindVisibleWindow(L"AddMembersWnd") != nullptr; });
  d.Do("quit", [] {
    WindowManager::Instance()->CloseAll();
    PostQuitMessage(0);
  });
  d.Start();
  EXPECT_EQ(veltrinawnd::RunApplication(GetModuleHandleW(nullptr)), 0);
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_TRUE(d.Done());
  EXPECT_EQ(WindowManager::Instance()->main_wnd(), nullptr);
  EXPECT_EQ(WindowManager::Instance()->view_members_wnd(), nullptr);
  // The quit request travels out through every loop and is still queued for the caller.
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(StartupTest, QuitWithoutClosingLeavesNoLoopRunning) {
  // Even when nobody closes the windows first, WM_QUIT unwinds every loop.
  testkit::UiDriver d;
  d.WaitFor("team window", [] { return testkit::FindVisibleWindow(L"SubdomainWnd") != nullptr; });
  d.Do("feedback", [] { WindowManager::Instance()->ShowFeedbackWnd(); });
  d.WaitFor("feedback window", [] { return testkit::FindVisibleWindow(L"FeedbackWnd") != nullptr; });
  d.Do("quit", [] { PostQuitMessage(0); });
  d.Start();
  EXPECT_EQ(veltrinawnd::RunApplication(GetModuleHandleW(nullptr)), 0);
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  // Each loop took its window with it, and the tracked slot was cleared on the way.
  EXPECT_EQ(testkit::FindVisibleWindow(L"FeedbackWnd"), nullptr);
  EXPECT_EQ(testkit::FindVisibleWindow(L"SubdomainWnd"), nullptr);
  EXPECT_EQ(WindowManager::Instance()->feedback_wnd(), nullptr);
}
