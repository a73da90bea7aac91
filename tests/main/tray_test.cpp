// The tray icon: network checks, flashing, connection balloons, clicks and the exit command.
#include "frame/window_manager.h"
#include "main_fixture.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

namespace {
void Timer(UINT_PTR id) { SendMessageW(FindWindowW(L"MainWindow", L"Veltrina"), WM_TIMER, id, 0); }
void Tray(LPARAM mouse) { SendMessageW(FindWindowW(L"MainWindow", L"Veltrina"), WM_USER + 7, 0, mouse); }
}  // namespace

class TrayTest : public MainTest {
 protected:
  size_t Modifies(size_t from = 0) const {
    size_t n = 0;
    for (size_t i = from; i < shell_.icons.size(); ++i)
      if (shell_.icons[i].message == NIM_MODIFY) ++n;
    return n;
  }
};

TEST_F(TrayTest, NetworkChecksActOnlyOnAChangeAndReconnectOnce) {
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("ten reachable checks", [this] {
    ASSERT_FALSE(shell_.icons.empty());
    EXPECT_EQ(shell_.icons.front().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_NE(shell_.icons.front().icon, nullptr);
    size_t before = shell_.icons.size();
    for (int i = 0; i < 10; ++i) Timer(1038);
    EXPECT_EQ(shell_.icons.size(), before);
    EXPECT_EQ(service_->CountRequests("session.connect"), 0u);
  });
  d.Do("connection lost", [this] { service_->Push("connection", bodies::ConnectionEvent(1)); });
  d.WaitFor("balloon", [this] {
    for (const auto& i : shell_.icons)
      if (i.flags == NIF_INFO) return true;
    return false;
  });
  d.Do("grey icon and the balloon", [this] {
    const auto& balloon = shell_.icons.back();
    EXPECT_EQ(balloon.info, L"与服务器连接中断，Veltrina正在尝试重新连接");
    const auto& grey = shell_.icons[shell_.icons.size() - 2];
    EXPECT_EQ(grey.message, static_cast<DWORD>(NIM_MODIFY));
    HICON colour = shell_.icons.front().icon;
    EXPECT_NE(grey.icon, colour);
    size_t before = shell_.icons.size();
    Timer(1038);  // reachable again
    ASSERT_EQ(shell_.icons.size(), before + 1);
    EXPECT_EQ(shell_.icons.back().icon, colour);
    EXPECT_EQ(shell_.icons.back().flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_TRUE(shell_.icons.back().info.empty());  // the balloon does not come back
    Timer(1038);
    Timer(1040);
    EXPECT_TRUE(shell_.icons.back().info.empty());
  });
  d.WaitFor("one reconnect", [this] { return service_->CountRequests("session.connect") == 1; });
  d.Do("failed connection and unreachable network", [this] {
    service_->Push("connection", bodies::ConnectionEvent(2));
  });
  d.WaitFor("failed balloon", [this] { return !shell_.icons.empty() && shell_.icons.back().info == L"连接失败"; });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
  EXPECT_EQ(service_->CountRequests("session.connect"), 1u);
}

TEST_F(TrayTest, FlashingFollowsTheUnreadTotal) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("unread elsewhere", [this] { service_->Push("unread", bodies::UnreadEvent("c-2", 2, 2)); });
  d.WaitFor("flash", [this] { return !shell_.flashes.empty(); });
  d.Do("blink to blank, then the total falls to 0", [this] {
    EXPECT_EQ(shell_.flashes.back(), static_cast<DWORD>(FLASHW_TRAY));
    HICON colour = shell_.icons.front().icon;
    Timer(1040);
    EXPECT_EQ(shell_.icons.back().icon, nullptr);  // blank
    Timer(1040);
    EXPECT_EQ(shell_.icons.back().icon, colour);
    Timer(1040);
    EXPECT_EQ(shell_.icons.back().icon, nullptr);
    service_->Push("unread", bodies::UnreadEvent("c-2", 0, 0));
  });
  d.WaitFor("stopped", [this] { return shell_.flashes.back() == static_cast<DWORD>(FLASHW_STOP); });
  d.Do("colour at once", [this] {
    EXPECT_EQ(shell_.icons.back().icon, shell_.icons.front().icon);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(TrayTest, LeftClickShowsTheWindowAndOpensTheFirstUnreadConversation) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("hide with the close button", [] { testkit::ClickControl(Main(), L"customCloseBtn"); });
  d.WaitFor("hidden", [] { return Main() == nullptr; });
  d.Do("click with nothing unread", [this] {
    EXPECT_FALSE(shell_.icons.empty());  // the icon stays while hidden
    Tray(WM_LBUTTONDOWN);
  });
  d.WaitFor("shown", [] { return Main() != nullptr; });
  d.Do("still the first channel", [this] {
    EXPECT_EQ(Text(L"title_label"), L"#one");
    service_->Push("unread", bodies::UnreadEvent("c-2", 5, 5));
  });
  d.WaitFor("badge", [] { return Text(L"channelItem_c-2_num_unread_id") == L"5"; });
  d.Do("click again", [] { Tray(WM_LBUTTONDOWN); });
  d.WaitFor("second channel open", [] { return Text(L"title_label") == L"#two"; });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

TEST_F(TrayTest, ExitWhileADialogIsOpenEndsEveryLoopAndRemovesTheIcon) {
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("members", [] { testkit::ClickControl(Main(), L"members_btn"); WindowManager::Instance()->ShowViewMembersWnd(""); });
  d.WaitFor("members window", [] { return testkit::FindVisibleWindow(L"ViewMembersWnd") != nullptr; });
  d.Do("exit from the tray menu", [this] {
    shell_.menu_answer = 1033;
    Tray(WM_RBUTTONUP);
  });
  RunMain(d);
  EXPECT_EQ(shell_.menus, 1);
  ASSERT_FALSE(shell_.icons.empty());
  EXPECT_EQ(shell_.icons.back().message, static_cast<DWORD>(NIM_DELETE));
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(TrayTest, FeedbackFromTheTrayMenuOpensTheFeedbackWindow) {
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("feedback", [this] {
    shell_.menu_answer = 1032;
    Tray(WM_RBUTTONUP);
  });
  d.OnWindow(L"FeedbackWnd", [](HWND) { WindowManager::Instance()->CloseFeedbackWnd(); });
  d.WaitFor("feedback closed", [] { return testkit::FindVisibleWindow(L"FeedbackWnd") == nullptr; });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}
