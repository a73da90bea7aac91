#include <gtest/gtest.h>

#include "dialogs/view_members_wnd.h"
#include "frame/frame_wnd.h"
#include "frame/window_manager.h"
#include "frame_fixture.h"
#include "main/main_wnd.h"

using veltrinawnd::WindowManager;

namespace {
WindowManager* wm() { return WindowManager::Instance(); }
}  // namespace

class WindowManagerTest : public FrameTest {};

TEST_F(WindowManagerTest, SecondRequestForTheSameKindIsIgnoredUntilTheFirstIsGone) {
  testkit::UiDriver d;
  int opened_inside = -1;
  d.OnWindow(L"ViewMembersWnd", [&](HWND) {
    EXPECT_NE(wm()->view_members_wnd(), nullptr);
    wm()->ShowViewMembersWnd("other");  // returns at once: one window of a kind
    opened_inside = testkit::CountVisibleWindows(L"ViewMembersWnd");
    EXPECT_TRUE(testkit::ClickControl(testkit::FindVisibleWindow(L"ViewMembersWnd"), L"closeBtn"));
  });
  d.Start();
  wm()->ShowViewMembersWnd("general");
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_EQ(opened_inside, 1);
  EXPECT_EQ(wm()->view_members_wnd(), nullptr);  // cleared by OnFinalMessage

  // Closed by the user: asking again opens a new one.
  testkit::UiDriver again;
  bool seen = false;
  again.OnWindow(L"ViewMembersWnd", [&](HWND h) {
    seen = true;
    DestroyWindow(h);  // any close path clears the slot
  });
  again.Start();
  wm()->ShowViewMembersWnd("general");
  EXPECT_TRUE(seen);
  EXPECT_EQ(wm()->view_members_wnd(), nullptr);
}

TEST_F(WindowManagerTest, CloseClearsTheSlotAtOnceAndTheWindowGoesWithItsLoop) {
  testkit::UiDriver d;
  bool existed_after_close = false;
  d.OnWindow(L"FeedbackWnd", [&](HWND h) {
    wm()->CloseFeedbackWnd();
    EXPECT_EQ(wm()->feedback_wnd(), nullptr);
    existed_after_close = IsWindow(h) != FALSE;  // WM_CLOSE is only posted
  });
  d.Start();
  wm()->ShowFeedbackWnd();
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_TRUE(existed_after_close);
  EXPECT_EQ(testkit::FindVisibleWindow(L"FeedbackWnd"), nullptr);
}

TEST_F(WindowManagerTest, AClosedWindowGoingAwayLeavesTheNewerWindowOfItsKindInTheSlot) {
  // Close posts WM_CLOSE; a new window of the same kind opened before it is handled must keep
  // its slot when the old one's OnFinalMessage finally runs.
  testkit::UiDriver d;
  HWND first = nullptr;
  veltrinawnd::ViewMembersWnd* second = nullptr;
  int windows_after = -1;
  d.OnWindow(L"ViewMembersWnd", [&](HWND h) {
    first = h;
    wm()->CloseViewMembersWnd();
    wm()->ShowViewMembersWnd("second");  // runs modally; the next steps run inside it
  });
  d.WaitFor("the first window gone", [&] { return first && !IsWindow(first); });
  d.Do("check the slot", [&] {
    second = wm()->view_members_wnd();
    if (!second) {  // lost its slot: end it by hand so the test fails instead of hanging
      DestroyWindow(testkit::FindVisibleWindow(L"ViewMembersWnd"));
      return;
    }
    wm()->ShowViewMembersWnd("third");  // still one window of the kind: ignored
    windows_after = testkit::CountVisibleWindows(L"ViewMembersWnd");
    wm()->CloseViewMembersWnd();
  });
  d.Start();
  wm()->ShowViewMembersWnd("first");
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(windows_after, 1);
  EXPECT_EQ(wm()->view_members_wnd(), nullptr);
}

TEST_F(WindowManagerTest, CloseAllWithOnlyTheMainWindowClosesItAndLeavesTheRestNull) {
  testkit::UiDriver d;
  d.OnWindow(L"MainWindow", [](HWND) { wm()->CloseAll(); });
  d.Start();
  wm()->ShowMainWnd();
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_EQ(wm()->main_wnd(), nullptr);
  EXPECT_EQ(wm()->join_channel_wnd(), nullptr);
  EXPECT_EQ(wm()->view_members_wnd(), nullptr);
  EXPECT_EQ(wm()->add_members_wnd(), nullptr);
}

TEST_F(WindowManagerTest, CloseAllClosesTrackedDialogsBeforeTheMainWindow) {
  std::vector<std::wstring> order;
  testkit::UiDriver d;
  d.OnWindow(L"MainWindow", [](HWND) { wm()->ShowAddMembersWnd("general"); });
  d.OnWindow(L"AddMembersWnd", [&](HWND) {
    EXPECT_NE(wm()->add_members_wnd(), nullptr);
    EXPECT_NE(wm()->main_wnd(), nullptr);
    wm()->CloseAll();
    EXPECT_EQ(wm()->add_members_wnd(), nullptr);
    EXPECT_EQ(wm()->main_wnd(), nullptr);
  });
  d.Start();
  wm()->ShowMainWnd();
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);
}

TEST_F(WindowManagerTest, PositionedPopupsSitAtTheirPointWithTheirSizeAndHoldTheCapture) {
  struct Case {
    const wchar_t* cls;
    std::function<void()> open;
    std::function<void()> close;
    int width, height;
  };
  std::vector<Case> cases = {
      {L"SelectEmojiWnd", [] { wm()->ShowSelectEmojiWnd("general", 120, 140); },
       [] { wm()->CloseSelectEmojiWnd(); }, 432, 236},
      {L"ViewFilesWnd", [] { wm()->ShowViewFilesWnd("general", 120, 140, 500, 1); },
       [] { wm()->CloseViewFilesWnd(); }, 320, 500},
      {L"FileDetailsWnd", [] { wm()->ShowFileDetailsWnd("entity1", 120, 140, 450); },
       [] { wm()->CloseFileDetailsWnd(); }, 320, 450},
  };
  for (const Case& c : cases) {
    RECT rc{};
    HWND capture = nullptr, self = nullptr;
    testkit::UiDriver d;
    d.OnWindow(c.cls, [&](HWND h) {
      self = h;
      GetWindowRect(h, &rc);
      capture = GetCapture();
      c.close();
    });
    d.Start();
    c.open();
    EXPECT_TRUE(d.Failure().empty()) << d.Failure();
    EXPECT_EQ(rc.left, 120);
    EXPECT_EQ(rc.top, 140);
    EXPECT_EQ(rc.right - rc.left, c.width);
    EXPECT_EQ(rc.bottom - rc.top, c.height);
    EXPECT_EQ(capture, self);
  }
}

TEST_F(WindowManagerTest, StandardWindowsLoseTheirCaptionAndAreCentred) {
  LONG style = 0;
  RECT rc{};
  testkit::UiDriver d;
  d.OnWindow(L"JoinChannelWnd", [&](HWND h) {
    style = GetWindowLongW(h, GWL_STYLE);
    GetWindowRect(h, &rc);
    wm()->CloseJoinChannelWnd();
  });
  d.Start();
  wm()->ShowJoinChannelWnd(1);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_NE(style & WS_CLIPCHILDREN, 0);
  EXPECT_NE(style & WS_VISIBLE, 0);
  MONITORINFO mi{sizeof mi, {}, {}, 0};
  GetMonitorInfoW(MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &mi);
  int cx = (mi.rcWork.left + mi.rcWork.right) / 2, mid = (rc.left + rc.right) / 2;
  EXPECT_LE(std::abs(cx - mid), 1);
}

TEST_F(WindowManagerTest, CreateChannelTitleFollowsTheKind) {
  for (auto [kind, title] : std::vector<std::pair<int, std::wstring>>{{1, L"新建频道"}, {2, L"新建群组"}, {7, L""}}) {
    std::wstring seen = L"?";
    testkit::UiDriver d;
    d.OnWindow(L"CreateChannelWnd", [&](HWND h) {
      wchar_t text[64] = {};
      GetWindowTextW(h, text, 63);
      seen = text;
      wm()->CloseCreateChannelWnd();
    });
    d.Start();
    wm()->ShowCreateChannelWnd(kind);
    EXPECT_EQ(seen, title);
  }
}
