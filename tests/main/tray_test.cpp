// The tray icon: network checks, flashing, connection balloons, clicks and its menu.
#include "frame/window_manager.h"
#include "main_fixture.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

class TrayTest : public MainTest {
 protected:
  static void Timer(UINT_PTR id) { SendMessageW(Main(), WM_TIMER, id, 0); }
  static void Tray(LPARAM mouse) { SendMessageW(FindWindowW(L"MainWindow", L"Veltrina"), WM_USER + 7, 0, mouse); }
  HICON Colour() const { return shell_.icons.front().icon; }
};

TEST_F(TrayTest, NetworkChecksActOnlyOnAChangeReconnectOnceAndExitWithADialogOpenRemovesTheIcon) {
  testkit::UiDriver d;
  WaitMain(d);
  d.Do("ten reachable checks change nothing", [this] {
    ASSERT_FALSE(shell_.icons.empty());
    EXPECT_EQ(shell_.icons.front().message, static_cast<DWORD>(NIM_ADD));
    size_t before = shell_.icons.size();
    for (int i = 0; i < 10; ++i) Timer(1038);
    EXPECT_EQ(shell_.icons.size(), before);
    EXPECT_EQ(service_->CountRequests("session.connect"), 0u);
    service_->Push("connection", bodies::ConnectionEvent(1));
  });
  d.WaitFor("balloon", [this] { return shell_.icons.back().flags == NIF_INFO; });
  d.Do("grey icon and the balloon; reachable again: colour, no balloon", [this] {
    EXPECT_EQ(shell_.icons.back().info, L"与服务器连接中断，Veltrina正在尝试重新连接");
    EXPECT_NE(shell_.icons[shell_.icons.size() - 2].icon, Colour());
    Timer(1038);
    EXPECT_EQ(shell_.icons.back().icon, Colour());
    EXPECT_TRUE(shell_.icons.back().info.empty());
    Timer(1038);
    Timer(1040);
    EXPECT_TRUE(shell_.icons.back().info.empty());
  });
  d.WaitFor("one reconnect", [this] { return service_->CountRequests("session.connect") == 1; });
  d.Do("a failed connection", [this] { service_->Push("connection", bodies::ConnectionEvent(2)); });
  d.WaitFor("failed balloon", [this] { return shell_.icons.back().info == L"连接失败"; });
  d.Do("a dialog open", [] { WindowManager::Instance()->ShowViewMembersWnd(""); });
  d.WaitFor("members window", [] { return testkit::FindVisibleWindow(L"ViewMembersWnd") != nullptr; });
  d.Do("exit from the tray menu", [this] {
    shell_.menu_answer = 1033;
    Tray(WM_RBUTTONUP);
  });
  RunMain(d);
  EXPECT_EQ(service_->CountRequests("session.connect"), 1u);
  EXPECT_EQ(shell_.icons.back().message, static_cast<DWORD>(NIM_DELETE));  // every loop ended, the icon removed
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(TrayTest, FlashingFollowsTheUnreadTotalAndAClickOpensTheFirstUnreadConversation) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  testkit::UiDriver d;
  WaitMain(d);
  d.Do("unread elsewhere", [this] { service_->Push("unread", bodies::UnreadEvent("c-2", 2, 2)); });
  d.WaitFor("flash", [this] { return !shell_.flashes.empty(); });
  d.Do("blinks between blank and colour", [this] {
    EXPECT_EQ(shell_.flashes.back(), static_cast<DWORD>(FLASHW_TRAY));
    for (HICON expected : {HICON(nullptr), Colour(), HICON(nullptr)}) {
      Timer(1040);
      EXPECT_EQ(shell_.icons.back().icon, expected);
    }
    service_->Push("unread", bodies::UnreadEvent("c-2", 0, 0));
  });
  d.WaitFor("stopped", [this] { return shell_.flashes.back() == static_cast<DWORD>(FLASHW_STOP); });
  d.Do("colour at once; hide", [this] {
    EXPECT_EQ(shell_.icons.back().icon, Colour());
    testkit::ClickControl(Main(), L"customCloseBtn");
  });
  d.WaitFor("hidden", [] { return Main() == nullptr; });
  d.Do("a click with nothing unread", [] { Tray(WM_LBUTTONDOWN); });
  d.WaitFor("shown", [] { return Main() != nullptr; });
  d.Do("still the first channel", [this] {
    EXPECT_EQ(Text(L"title_label"), L"#one");
    service_->Push("unread", bodies::UnreadEvent("c-2", 5, 5));
  });
  d.WaitFor("badge", [] { return Text(L"channelItem_c-2_num_unread_id") == L"5"; });
  d.Do("click again", [] { Tray(WM_LBUTTONDOWN); });
  d.WaitFor("second channel open", [] { return Text(L"title_label") == L"#two"; });
  Finish(d);
}
