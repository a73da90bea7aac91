// The main window's commands: the three header menus, team-site pages, the file browser's
// place, choosing a file to upload and the screenshot, as a user clicks them.
#include <memory>
#include <string>
#include <thread>

#include "app/storage.h"
#include "dialogs/join_channel_wnd.h"
#include "dialogs/upload_file_wnd.h"
#include "frame/window_manager.h"
#include "main/popup_menus.h"
#include "main_fixture.h"
#include "message_box.h"
#include "veltrina/director.h"

using veltrinawnd::PopupMenuWnd;
using veltrinawnd::WindowManager;

namespace {

// Clicks the control as a user does: the pointer goes there first (menus open where it is),
// then the click. at, when given, receives the screen point.
void ClickWithPointer(testkit::UiDriver& d, const wchar_t* name, std::shared_ptr<POINT> at = nullptr) {
  if (!at) at = std::make_shared<POINT>();
  std::wstring control = name;
  d.Do("point at " + veltrinawnd::Utf16ToUtf8(control), [control, at] {
    HWND main = FindWindowW(L"MainWindow", L"Veltrina");
    DuiLib::CControlUI* c = testkit::FindControl(main, control.c_str());
    ASSERT_NE(c, nullptr);
    testkit::ManagerOf(main)->UpdateLayout();
    RECT rc = c->GetPos();
    *at = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(main, at.get());
    SetCursorPos(at->x, at->y);
  });
  d.WaitFor("the pointer there", [at] {
    POINT now{};
    GetCursorPos(&now);
    return now.x == at->x && now.y == at->y;
  });
  d.Do("click " + veltrinawnd::Utf16ToUtf8(control), [control] {
    EXPECT_TRUE(testkit::ClickControl(FindWindowW(L"MainWindow", L"Veltrina"), control.c_str()));
  });
}

// Signs the session in again as a user with this role and these permissions in a team.
void SignInAs(int role, int64_t permission, const std::string& subdomain = "main") {
  veltrina::User me;
  me.set_uid("u-me");
  me.set_user_name("me");
  me.set_role(role);
  veltrina::Token token;
  token.set_access_token("t");
  auto* director = new veltrina::Director();
  director->Init(me, veltrina::Team("t-main", subdomain, "主团队"), 0, token, "", "", "", "", "");
  director->set_permission(permission);
  veltrina::Director::ResetDefaultDirector(director);
}

HWND Menu(const wchar_t* window_class) { return testkit::FindVisibleWindow(window_class); }

DWORD LabelColour(HWND menu, const wchar_t* name) {
  auto* label = testkit::FindControlAs<DuiLib::CLabelUI>(menu, name);
  return label ? label->GetTextColor() : 0;
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  std::wstring path = std::wstring(folder) + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, "x", 1, &written, nullptr);
  CloseHandle(file);
  return path;
}

}  // namespace

class CommandsTest : public MainTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(PopupMenuWnd::LiveCount(), 0);
    MainTest::TearDown();
  }
};

TEST_F(CommandsTest, TeamMenuGreysWhatAMemberMayNotDoAndSendsNothingForIt) {
  SignInAs(1, 0);
  testkit::UiDriver d;
  auto at = std::make_shared<POINT>();
  d.WaitFor("main", [] { return Main() != nullptr; });
  ClickWithPointer(d, L"team_menu_btn", at);
  d.OnWindow(L"TeamMenuWnd", [at](HWND menu) {
    EXPECT_EQ(testkit::WindowTitle(menu), L"TeamMenuWnd");
    EXPECT_EQ(GetWindowLongW(menu, GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_EQ(GetWindow(menu, GW_OWNER), Main());
    RECT rc;
    GetWindowRect(menu, &rc);
    EXPECT_EQ(rc.left, at->x);
    EXPECT_EQ(rc.top, at->y);
    for (const wchar_t* item : {L"menu_config_service", L"menu_config_team", L"menu_invite_members"})
      EXPECT_FALSE(testkit::FindControl(menu, item)->IsEnabled()) << item;
    for (const wchar_t* label : {L"menu_config_label", L"menu_config_team_label", L"menu_invite_members_label"})
      EXPECT_EQ(LabelColour(menu, label), 0xFFBABABAu) << label;
    testkit::ClickControl(menu, L"menu_config_team");
  });
  d.Pause(200);
  d.Do("a disabled item does nothing", [this] {
    EXPECT_TRUE(shell_.opened.empty());
    ASSERT_NE(Menu(L"TeamMenuWnd"), nullptr);
    SetForegroundWindow(Main());
    SetFocus(Main());
  });
  d.WaitFor("losing the focus closes it", [] { return PopupMenuWnd::LiveCount() == 0; });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

TEST_F(CommandsTest, MenuItemsOpenTeamPagesAndWindowsAndTheMenuFreesItself) {
  SignInAs(4, veltrina::Director::kPermissionConfigureServices);
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  ClickWithPointer(d, L"team_menu_btn");
  d.OnWindow(L"TeamMenuWnd", [](HWND menu) {
    EXPECT_TRUE(testkit::FindControl(menu, L"menu_config_service")->IsEnabled());
    EXPECT_NE(LabelColour(menu, L"menu_invite_members_label"), 0xFFBABABAu);
    testkit::ClickControl(menu, L"menu_invite_members");
  });
  d.WaitFor("the page and the menu gone", [this] { return !shell_.opened.empty() && PopupMenuWnd::LiveCount() == 0; });
  d.Do("the page", [this] { EXPECT_EQ(shell_.opened.back(), L"https://main.veltrina.demo/admin/invites"); });
  ClickWithPointer(d, L"personal_menu_btn");
  d.OnWindow(L"PersonalMenuWnd", [](HWND menu) {
    EXPECT_EQ(testkit::WindowTitle(menu), L"个人设置");
    testkit::ClickControl(menu, L"menu_account_config");
  });
  d.WaitFor("second page", [this] { return shell_.opened.size() == 2 && PopupMenuWnd::LiveCount() == 0; });
  d.Do("second page", [this] { EXPECT_EQ(shell_.opened.back(), L"https://main.veltrina.demo/account/setting"); });
  ClickWithPointer(d, L"im_or_channel_btn");
  // The item opens a modal window from inside the menu's click; the menu loses the focus and
  // closes under it, and must outlive that click.
  d.OnWindow(L"ImOrChannelMenuWnd", [](HWND menu) {
    EXPECT_EQ(testkit::WindowTitle(menu), L"TeamMenuWnd");
    testkit::ClickControl(menu, L"menu_create_group");
  });
  d.WaitFor("the group list", [] { return WindowManager::Instance()->join_channel_wnd() != nullptr; });
  d.Do("kind 2", [] {
    EXPECT_EQ(WindowManager::Instance()->join_channel_wnd()->channel_kind(), 2);
    WindowManager::Instance()->CloseJoinChannelWnd();
  });
  d.WaitFor("closed, menu freed", [] {
    return !WindowManager::Instance()->join_channel_wnd() && PopupMenuWnd::LiveCount() == 0;
  });
  ClickWithPointer(d, L"add_group_btn");
  d.WaitFor("the group list again", [] { return WindowManager::Instance()->join_channel_wnd() != nullptr; });
  d.Do("kind 2 again", [] {
    EXPECT_EQ(WindowManager::Instance()->join_channel_wnd()->channel_kind(), 2);
    WindowManager::Instance()->CloseJoinChannelWnd();
  });
  d.WaitFor("closed", [] { return !WindowManager::Instance()->join_channel_wnd(); });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

TEST_F(CommandsTest, PagesAreNotOpenedForAHostileTeamNameAndABrowserThatFailsChangesNothing) {
  SignInAs(4, veltrina::Director::kPermissionConfigureServices, "evil.example/#");
  shell_.shell_answer = 2;  // the browser does not start
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  ClickWithPointer(d, L"personal_menu_btn");
  d.OnWindow(L"PersonalMenuWnd", [](HWND menu) { testkit::ClickControl(menu, L"menu_homepage"); });
  d.WaitFor("menu gone", [] { return PopupMenuWnd::LiveCount() == 0; });
  d.Do("nothing opened; a good team and a failing browser", [this] {
    EXPECT_TRUE(shell_.opened.empty());
    SignInAs(4, 0);
  });
  ClickWithPointer(d, L"personal_menu_btn");
  d.OnWindow(L"PersonalMenuWnd", [](HWND menu) { testkit::ClickControl(menu, L"menu_homepage"); });
  d.WaitFor("menu gone again", [] { return PopupMenuWnd::LiveCount() == 0; });
  d.Do("tried once, window unchanged", [this] {
    ASSERT_EQ(shell_.opened.size(), 1u);
    EXPECT_EQ(shell_.opened.back(), L"https://main.veltrina.demo/dashboard");
    EXPECT_TRUE(IsWindowVisible(Main()));
    EXPECT_TRUE(shell_.boxes.empty());
  });
  ClickWithPointer(d, L"team_menu_btn");  // a menu whose owner goes while it is open
  d.OnWindow(L"TeamMenuWnd", [](HWND) { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
  EXPECT_EQ(Menu(L"TeamMenuWnd"), nullptr);
}

TEST_F(CommandsTest, FileBrowserOpensAlongTheMainWindowsRightEdge) {
  Prime({Channel("c-1", "general", 1, true)}, {});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("place the main window", [] { MoveWindow(Main(), 100, 50, 800, 600, TRUE); });
  ClickWithPointer(d, L"file_btn");
  d.OnWindow(L"ViewFilesWnd", [](HWND files) {
    RECT rc;
    GetWindowRect(files, &rc);
    EXPECT_EQ(rc.left, 580);
    EXPECT_EQ(rc.top, 50);
    EXPECT_EQ(rc.right - rc.left, 320);
    EXPECT_EQ(rc.bottom - rc.top, 600);
    EXPECT_EQ(GetWindow(files, GW_OWNER), Main());
    WindowManager::Instance()->CloseViewFilesWnd();
  });
  d.WaitFor("closed", [] { return !WindowManager::Instance()->view_files_wnd(); });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

TEST_F(CommandsTest, UploadHandsTheChosenFileOnAndCancelDoesNothing) {
  Prime({Channel("c-1", "general", 1, true)}, {});
  // A name the ANSI code page can spell, and one it cannot (handed on by its short form).
  const std::wstring plain = TempFile(L"报告 2026.txt");
  const std::wstring wide = TempFile(L"照片\U0001F600.png");
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  ClickWithPointer(d, L"upload_btn");  // the dialog is cancelled
  d.WaitFor("asked", [this] { return shell_.file_dialogs == 1; });
  d.Do("the record; nothing opened", [this, plain] {
    const OPENFILENAMEW& r = shell_.file_record;
    EXPECT_EQ(r.lStructSize, sizeof(OPENFILENAMEW));
    EXPECT_EQ(r.hwndOwner, nullptr);
    EXPECT_EQ(std::wstring(r.lpstrFilter, 10), std::wstring(L"所有文件\0*.*\0", 10));
    EXPECT_EQ(r.nFilterIndex, 1u);
    EXPECT_EQ(r.nMaxFile, 520u);
    EXPECT_EQ(r.Flags, static_cast<DWORD>(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
    EXPECT_EQ(WindowManager::Instance()->upload_file_wnd(), nullptr);
    shell_.chosen_file = plain;
  });
  ClickWithPointer(d, L"upload_btn");
  d.WaitFor("upload window", [] { return WindowManager::Instance()->upload_file_wnd() != nullptr; });
  d.Do("path, conversation and kind", [plain] {
    auto* upload = WindowManager::Instance()->upload_file_wnd();
    EXPECT_EQ(veltrinawnd::AnsiToWide(upload->file()), plain);
    EXPECT_EQ(upload->conversation_id(), "c-1");
    EXPECT_EQ(upload->kind(), 1);
    WindowManager::Instance()->CloseUploadFileWnd();
  });
  d.WaitFor("closed", [] { return !WindowManager::Instance()->upload_file_wnd(); });
  d.Do("a name outside the code page", [this, wide] { shell_.chosen_file = wide; });
  ClickWithPointer(d, L"upload_btn");
  d.WaitFor("upload window again", [] { return WindowManager::Instance()->upload_file_wnd() != nullptr; });
  d.Do("the same file by another name", [wide] {
    auto* upload = WindowManager::Instance()->upload_file_wnd();
    std::wstring handed = veltrinawnd::AnsiToWide(upload->file());
    wchar_t a[MAX_PATH] = {}, b[MAX_PATH] = {};
    GetLongPathNameW(handed.c_str(), a, MAX_PATH);
    GetLongPathNameW(wide.c_str(), b, MAX_PATH);
    EXPECT_STREQ(a, b) << upload->file();
    WindowManager::Instance()->CloseUploadFileWnd();
  });
  d.WaitFor("closed again", [] { return !WindowManager::Instance()->upload_file_wnd(); });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
  DeleteFileW(plain.c_str());
  DeleteFileW(wide.c_str());
}

TEST_F(CommandsTest, ScreenshotPutsTheVirtualScreenOnTheClipboardUnlessAnotherProgramHoldsIt) {
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  ClickWithPointer(d, L"screenshot_btn");
  d.WaitFor("a bitmap", [] { return IsClipboardFormatAvailable(CF_BITMAP) != FALSE; });
  d.Do("its size is the virtual screen's", [] {
    ASSERT_TRUE(OpenClipboard(nullptr));
    BITMAP info{};
    auto* bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    ASSERT_NE(bitmap, nullptr);
    ASSERT_NE(GetObjectW(bitmap, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(info.bmHeight, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EmptyClipboard();
    CloseClipboard();
  });
  // Another thread stands in for the other program: it opens the clipboard and keeps it.
  HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder;
  d.Do("another program takes the clipboard", [&] {
    holder = std::thread([&] {
      HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
      bool held = OpenClipboard(window);
      SetEvent(opened);
      WaitForSingleObject(release, 10000);
      if (held) CloseClipboard();
      DestroyWindow(window);
    });
  });
  d.WaitFor("held", [&] { return WaitForSingleObject(opened, 0) == WAIT_OBJECT_0; });
  ClickWithPointer(d, L"screenshot_btn");
  d.Pause(300);
  d.Do("nothing placed, window unchanged", [&] {
    SetEvent(release);
    holder.join();
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_TRUE(IsWindowVisible(Main()));
  });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
  if (holder.joinable()) {
    SetEvent(release);
    holder.join();
  }
  CloseHandle(opened);
  CloseHandle(release);
}
