// The main window's commands as a user clicks them: header menus, team pages, upload, screenshot.
#include "app/storage.h"
#include "dialogs/join_channel_wnd.h"
#include "dialogs/upload_file_wnd.h"
#include "frame/window_manager.h"
#include "main/popup_menus.h"
#include "main_fixture.h"
#include "veltrina/director.h"

using veltrinawnd::PopupMenuWnd;
using veltrinawnd::WindowManager;

class CommandsTest : public MainTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(PopupMenuWnd::LiveCount(), 0);
    MainTest::TearDown();
  }
  // The pointer goes to the control first (menus open where it is), then the click.
  static void ClickWithPointer(testkit::UiDriver& d, const wchar_t* name) {
    auto at = std::make_shared<POINT>();
    d.Do("point", [name, at] {
      testkit::ManagerOf(Main())->UpdateLayout();
      RECT rc = Control(name)->GetPos();
      *at = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
      ClientToScreen(Main(), at.get());
      SetCursorPos(at->x, at->y);
    });
    d.WaitFor("the pointer there", [at] {
      POINT now{};
      return GetCursorPos(&now) && now.x == at->x && now.y == at->y;
    });
    d.Do("click", [name] { EXPECT_TRUE(testkit::ClickControl(Main(), name)); });
  }
  // Picks an item of the menu that the control opens, and waits for the menu to be freed.
  static void Pick(testkit::UiDriver& d, const wchar_t* button, const wchar_t* menu, const wchar_t* item) {
    ClickWithPointer(d, button);
    d.OnWindow(menu, [item](HWND m) { testkit::ClickControl(m, item); });
    d.WaitFor("menu freed", [] { return PopupMenuWnd::LiveCount() == 0; });
  }
};

TEST_F(CommandsTest, AMembersTeamMenuIgnoresWhatTheyMayNotDoAndHostileTeamNamesOpenNoPage) {
  SignIn(1, 0, "evil.example/#");
  testkit::UiDriver d;
  WaitMain(d);
  ClickWithPointer(d, L"team_menu_btn");
  d.OnWindow(L"TeamMenuWnd", [](HWND menu) {
    for (const wchar_t* item : {L"menu_config_service", L"menu_config_team", L"menu_invite_members"})
      EXPECT_FALSE(testkit::FindControl(menu, item)->IsEnabled()) << item;
    testkit::ClickControl(menu, L"menu_config_team");
  });
  d.Pause(200).Do("a disabled item does nothing, nor does the focus moving in the main window", [] {
    ASSERT_NE(testkit::FindVisibleWindow(L"TeamMenuWnd"), nullptr);
    SetForegroundWindow(Main());
    SetFocus(Main());
  });
  d.Pause(200).Do("a click outside closes the menu (the capture brings it there)", [] {
    HWND menu = testkit::FindVisibleWindow(L"TeamMenuWnd");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetCapture(), menu);
    EXPECT_EQ(GetActiveWindow(), Main()) << "a menu takes no activation";
    PostMessageW(menu, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-20, -20));
  });
  d.WaitFor("closed", [] { return PopupMenuWnd::LiveCount() == 0; });
  Pick(d, L"personal_menu_btn", L"PersonalMenuWnd", L"menu_homepage");
  d.Do("no page for the hostile name; a good team with a browser that fails", [this] {
    EXPECT_TRUE(shell_.opened.empty());
    shell_.shell_answer = 2;
    SignIn(4, 0);
  });
  Pick(d, L"personal_menu_btn", L"PersonalMenuWnd", L"menu_homepage");
  d.Do("tried once, no message, window unchanged", [this] {
    EXPECT_EQ(shell_.opened, std::vector<std::wstring>{L"https://main.veltrina.demo/dashboard"});
    EXPECT_TRUE(shell_.boxes.empty() && IsWindowVisible(Main()));
  });
  ClickWithPointer(d, L"team_menu_btn");  // a menu whose owner goes while it is open
  d.OnWindow(L"TeamMenuWnd", [](HWND) { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

TEST_F(CommandsTest, MenuItemsOpenTeamPagesAMenuOutlivesTheModalWindowItsItemOpensAndTheScreenshotIsCopied) {
  SignIn(4, veltrina::Director::kPermissionConfigureServices);
  testkit::UiDriver d;
  WaitMain(d);
  ClickWithPointer(d, L"screenshot_btn");
  d.WaitFor("a bitmap", [] { return IsClipboardFormatAvailable(CF_BITMAP) != FALSE; });
  d.Do("the virtual screen's size", [] {
    ASSERT_TRUE(OpenClipboard(nullptr));
    BITMAP info{};
    GetObjectW(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP)), sizeof info, &info);
    EXPECT_EQ(std::vector<LONG>({info.bmWidth, info.bmHeight}),
              std::vector<LONG>({GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)}));
    EmptyClipboard();
    CloseClipboard();
  });
  Pick(d, L"team_menu_btn", L"TeamMenuWnd", L"menu_invite_members");
  Pick(d, L"personal_menu_btn", L"PersonalMenuWnd", L"menu_account_config");
  d.Do("the pages", [this] {
    EXPECT_EQ(shell_.opened, (std::vector<std::wstring>{L"https://main.veltrina.demo/admin/invites",
                                                         L"https://main.veltrina.demo/account/setting"}));
  });
  // The item opens a modal window from inside the menu's click: the menu closes under it.
  ClickWithPointer(d, L"im_or_channel_btn");
  d.OnWindow(L"ImOrChannelMenuWnd", [](HWND menu) { testkit::ClickControl(menu, L"menu_create_group"); });
  d.WaitFor("the group list", [] { return WindowManager::Instance()->join_channel_wnd() != nullptr; });
  d.Do("kind 2", [] {
    EXPECT_EQ(WindowManager::Instance()->join_channel_wnd()->channel_kind(), 2);
    WindowManager::Instance()->CloseJoinChannelWnd();
  });
  d.WaitFor("closed, menu freed", [] { return !WindowManager::Instance()->join_channel_wnd() && PopupMenuWnd::LiveCount() == 0; });
  Finish(d);
}

TEST_F(CommandsTest, UploadHandsTheChosenFileOnInUtf8AndCancelDoesNothing) {
  Prime({Channel("c-1", "general", 1, true)}, {});
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring plain = std::wstring(temp) + L"报告 Zoë 2026.txt", wide = std::wstring(temp) + L"照片谢卢\U0001F600.png";
  for (const std::wstring& path : {plain, wide}) CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  testkit::UiDriver d;
  WaitMain(d);
  ClickWithPointer(d, L"upload_btn");  // the dialog is cancelled
  d.WaitFor("asked", [this] { return shell_.file_record.lStructSize != 0; });
  d.Do("nothing opened", [] { EXPECT_EQ(WindowManager::Instance()->upload_file_wnd(), nullptr); });
  for (const std::wstring& path : {plain, wide}) {
    d.Do("choose", [this, path] { shell_.chosen_file = path; });
    ClickWithPointer(d, L"upload_btn");
    d.WaitFor("upload window", [] { return WindowManager::Instance()->upload_file_wnd() != nullptr; });
    d.Do("the same file, for the open conversation", [path] {
      auto* upload = WindowManager::Instance()->upload_file_wnd();
      EXPECT_EQ(upload->file(), veltrinawnd::Utf16ToUtf8(path));  // the very name, no short form
      EXPECT_TRUE(upload->conversation_id() == "c-1" && upload->kind() == 1);
      WindowManager::Instance()->CloseUploadFileWnd();
    });
    d.WaitFor("closed", [] { return !WindowManager::Instance()->upload_file_wnd(); });
  }
  Finish(d);
  for (const std::wstring& path : {plain, wide}) DeleteFileW(path.c_str());
}
