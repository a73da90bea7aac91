// Start-up and the window manager: one window of a kind, slots that follow their own window, and
// quit requests that unwind every nested modal loop.
#include "app/application.h"
#include "dialogs/view_members_wnd.h"
#include "frame/window_manager.h"
#include "frame_fixture.h"

using testkit::FindVisibleWindow;

static veltrinawnd::WindowManager* wm() { return veltrinawnd::WindowManager::Instance(); }
using WindowManagerTest = FrameTest;

TEST_F(WindowManagerTest, QuitWithoutClosingEndsEveryNestedLoopAndEachTakesItsWindow) {
  // Team window -> main window -> member list -> feedback, each a nested modal loop.
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND) { wm()->ShowMainWnd(); });
  d.OnWindow(L"MainWindow", [](HWND) { wm()->ShowViewMembersWnd("general"); });
  d.OnWindow(L"ViewMembersWnd", [](HWND) { wm()->ShowFeedbackWnd(); });
  d.OnWindow(L"FeedbackWnd", [](HWND) { PostQuitMessage(0); });
  d.Start();
  EXPECT_EQ(veltrinawnd::RunApplication(GetModuleHandleW(nullptr)), 0);
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_TRUE(d.Done());
  EXPECT_TRUE(!wm()->main_wnd() && !wm()->view_members_wnd() && !wm()->feedback_wnd());
  // The quit request travels out through every loop and is still queued for the caller.
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(WindowManagerTest, OneWindowOfAKindAndAClosedOneGoingAwayLeavesTheNewerOneInTheSlot) {
  // Close posts WM_CLOSE; a window of the same kind opened before it is handled keeps its slot
  // when the old one's OnFinalMessage finally runs.
  testkit::UiDriver d;
  HWND first = nullptr;
  veltrinawnd::ViewMembersWnd* second = nullptr;
  int windows = -1;
  d.OnWindow(L"ViewMembersWnd", [&](HWND h) {
    first = h;
    wm()->CloseViewMembersWnd();
    EXPECT_EQ(wm()->view_members_wnd(), nullptr);  // at once, while the window still exists
    EXPECT_TRUE(IsWindow(h));
    wm()->ShowViewMembersWnd("second");  // runs modally; the next steps run inside it
  });
  d.WaitFor("the first window gone", [&] { return first && !IsWindow(first); });
  d.Do("check the slot", [&] {
    if (!(second = wm()->view_members_wnd())) {  // lost its slot: end it so the test fails, not hangs
      DestroyWindow(FindVisibleWindow(L"ViewMembersWnd"));
      return;
    }
    wm()->ShowViewMembersWnd("third");  // returns at once: one window of a kind
    windows = testkit::CountVisibleWindows(L"ViewMembersWnd");
    EXPECT_TRUE(testkit::ClickControl(FindVisibleWindow(L"ViewMembersWnd"), L"closeBtn"));
  });
  d.Start();
  wm()->ShowViewMembersWnd("first");
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(windows, 1);
  EXPECT_EQ(wm()->view_members_wnd(), nullptr);  // cleared by OnFinalMessage
}

// A second join window asked for from inside the first returns at once; CloseAll then ends the
// nested loops of the tracked dialogs and the main window and clears every slot.
TEST_F(WindowManagerTest, ShowingAKindThatIsUpOpensNoSecondAndCloseAllClosesEveryTrackedWindow) {
  testkit::UiDriver d;
  int windows = -1;
  d.OnWindow(L"MainWindow", [](HWND) { wm()->ShowJoinChannelWnd(1); });
  d.OnWindow(L"JoinChannelWnd", [](HWND) {
    wm()->ShowJoinChannelWnd(1);  // returns at once
    wm()->ShowAddMembersWnd("general");
  });
  d.OnWindow(L"AddMembersWnd", [&](HWND) {
    windows = testkit::CountVisibleWindows(L"JoinChannelWnd");
    wm()->CloseAll();
    EXPECT_TRUE(!wm()->add_members_wnd() && !wm()->main_wnd() && !wm()->join_channel_wnd());
  });
  d.Start();
  wm()->ShowMainWnd();
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_EQ(windows, 1);
}
