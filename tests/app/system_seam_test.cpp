// Every method of the real system seam against the real Windows API under Wine (the window tests use a recorder).
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/storage.h"
#include "app/system_seam.h"
#include "message_box.h"
#include "ui_driver.h"

using veltrinawnd::System;

namespace {

struct OwnerWindow {  // owns menus and tray icons
  HWND hwnd = CreateWindowExW(0, L"STATIC", L"seam owner", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  ~OwnerWindow() { DestroyWindow(hwnd); }
};

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

template <typename Call>
auto WhileModal(testkit::UiDriver& d, Call call) {  // the steps run inside call's modal loop
  d.Start();
  auto result = call();
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  return result;
}

}  // namespace

TEST(SystemSeam, MessageBoxAndPopupMenuReturnWhatTheUserChose) {
  testkit::UiDriver box;
  std::wstring text, caption;
  box.WaitFor("the box", [] { return testkit::FindMessageBox() != nullptr; });
  box.Do("read and answer", [&] {
    HWND h = testkit::FindMessageBox();
    text = testkit::MessageBoxText(h);
    caption = testkit::WindowTitle(h);
    testkit::AnswerMessageBox(h, IDNO);
  });
  EXPECT_EQ(WhileModal(box, [] { return System().ShowMessageBox(nullptr, L"用户名或密码错误", L"Veltrina 测试", MB_YESNO); }),
            IDNO);
  EXPECT_EQ(text + L"|" + caption, L"用户名或密码错误|Veltrina 测试");
  OwnerWindow owner;
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 1056, L"关闭私聊");
  AppendMenuW(menu, MF_STRING, 1057, L"退出");
  auto shown = [] { return FindWindowW(L"#32768", nullptr) && IsWindowVisible(FindWindowW(L"#32768", nullptr)); };
  auto track = [&] {
    SetForegroundWindow(owner.hwnd);
    return System().TrackMenu(menu, TPM_RETURNCMD, 150, 150, owner.hwnd);
  };
  testkit::UiDriver choose;
  choose.WaitFor("the menu", shown).Do("down, down, enter", [&owner] {
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) PostMessageW(owner.hwnd, WM_KEYDOWN, key, 0);
  });
  EXPECT_EQ(WhileModal(choose, track), 1057);
  DestroyMenu(menu);
}

TEST(SystemSeam, TrayIconIsAddedChangedAndRemovedAndTheNetworkStateIsRead) {
  OwnerWindow owner;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data), data.hWnd = owner.hwnd, data.uID = 7, data.uFlags = NIF_ICON | NIF_MESSAGE;
  data.uCallbackMessage = WM_APP + 7, data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  EXPECT_TRUE(System().NotifyIcon(NIM_ADD, &data));
  data.hIcon = LoadIconW(nullptr, IDI_WARNING);
  EXPECT_TRUE(System().NotifyIcon(NIM_MODIFY, &data));
  EXPECT_TRUE(System().NotifyIcon(NIM_DELETE, &data));
  EXPECT_FALSE(System().NotifyIcon(NIM_MODIFY, &data));  // gone: nothing left to change
  DWORD flags = 0xFFFFFFFF, direct_flags = 0;
  EXPECT_EQ(System().InternetConnected(&flags), InternetGetConnectedState(&direct_flags, 0));
  EXPECT_EQ(flags, direct_flags);
}

TEST(SystemSeam, ShellOpensALocalProgramAndTheWebGateLetsOnlyWebAddressesThrough) {
  const std::wstring marker = TempPath(L"veltrina-probe-marker.txt");
  const std::wstring probe = veltrinawnd::GetExecutableFolder() + L"\\shell_probe.exe";
  SetEnvironmentVariableW(L"VELTRINA_PROBE_MARKER", marker.c_str());
  auto ran_with = [&marker] {  // what the probe wrote, once it has run; empty after the time-out
    std::string bytes;
    testkit::PumpUntil([&] {
      std::ifstream in(marker.c_str(), std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      return !bytes.empty();
    }, 15000);
    DeleteFileW(marker.c_str());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  };
  DeleteFileW(marker.c_str());
  EXPECT_GT(System().ShellOpen(nullptr, probe, SW_HIDE), 32);
  EXPECT_NE(ran_with().find(L"shell_probe"), std::wstring::npos);

  // Web pages go to whatever opens http addresses: here the probe, for the test's duration.
  static constexpr wchar_t kKey[] = L"http\\shell\\open\\command";
  auto set_handler = [](const std::wstring& command) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, kKey, nullptr, REG_SZ, command.c_str(),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  };
  wchar_t old[2048] = {};
  DWORD size = sizeof(old) - sizeof(wchar_t);
  const DWORD as_is = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  const bool had_old = RegGetValueW(HKEY_CLASSES_ROOT, kKey, nullptr, as_is, nullptr, old, &size) == ERROR_SUCCESS;
  set_handler(L"\"" + probe + L"\" \"%1\"");
  for (const wchar_t* refused : {L"file:///C:/windows/notepad.exe", L"C:\\windows\\notepad.exe",
                                 L"javascript:alert(1)", L"http://", L"http://a\"b"})
    EXPECT_FALSE(veltrinawnd::OpenWebAddress(refused)) << refused;
  EXPECT_TRUE(veltrinawnd::OpenWebAddress(L"HTTP://127.0.0.1:9/veltrina-page"));
  EXPECT_NE(ran_with().find(L"127.0.0.1:9/veltrina-page"), std::wstring::npos);
  if (had_old) set_handler(old);
  SetEnvironmentVariableW(L"VELTRINA_PROBE_MARKER", nullptr);
}

TEST(SystemSeam, FileDialogReturnsTheTypedFile) {
  const std::wstring chosen = TempPath(L"上传 测试.txt");
  std::ofstream(chosen.c_str()) << "upload me";
  wchar_t opened[520] = L"";
  OPENFILENAMEW record{};
  record.lStructSize = sizeof record;
  record.lpstrFile = opened;
  record.nMaxFile = 520;
  record.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  testkit::UiDriver pick;  // the dialog is a #32770 of this thread, like a box; 1148 is its file name box
  auto dialog = [] { return testkit::FindMessageBox() && GetDlgItem(testkit::FindMessageBox(), IDOK); };
  pick.WaitFor("the dialog", dialog, 15000).Do("type, open", [&] {
    EXPECT_TRUE(SetDlgItemTextW(testkit::FindMessageBox(), 1148, chosen.c_str()));
    PostMessageW(testkit::FindMessageBox(), WM_COMMAND, IDOK, 0);
  });
  EXPECT_TRUE(WhileModal(pick, [&] { return System().ChooseOpenFile(&record); }));
  EXPECT_EQ(CompareStringOrdinal(opened, -1, chosen.c_str(), -1, TRUE), CSTR_EQUAL) << opened;
  DeleteFileW(chosen.c_str());
}
