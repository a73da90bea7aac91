// The system layer as shipped: every method of the real seam against the real Windows API under
// Wine. The window tests replace it with a recorder; here nothing is replaced.
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

// A plain visible window to own menus, tray icons and flashing.
class OwnerWindow {
 public:
  OwnerWindow() {
    hwnd_ = CreateWindowExW(0, L"STATIC", L"seam owner", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~OwnerWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  OwnerWindow(const OwnerWindow&) = delete;
  OwnerWindow& operator=(const OwnerWindow&) = delete;
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

HWND FindMenuWindow() { return FindWindowW(L"#32768", nullptr); }

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

// What the probe program wrote, waiting for it to have run (empty after the time-out).
std::wstring WaitForMarker(const std::wstring& path, int timeout_ms = 15000) {
  std::wstring text;
  testkit::PumpUntil([&] {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return false;
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return true;
  }, timeout_ms);
  return text;
}

// Points the web protocol's open command at the probe for the test's duration, and back.
class HttpHandlerOverride {
 public:
  explicit HttpHandlerOverride(const std::wstring& command) {
    had_old_ = Read(&old_);
    Write(command);
  }
  ~HttpHandlerOverride() {
    if (had_old_) Write(old_);
  }
  HttpHandlerOverride(const HttpHandlerOverride&) = delete;
  HttpHandlerOverride& operator=(const HttpHandlerOverride&) = delete;

 private:
  static constexpr wchar_t kKey[] = L"http\\shell\\open\\command";
  static bool Read(std::wstring* value) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, kKey, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     buffer, &size) != ERROR_SUCCESS)
      return false;
    *value = buffer;
    return true;
  }
  static void Write(const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return;
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  bool had_old_ = false;
  std::wstring old_;
};

std::wstring ProbePath() { return veltrinawnd::GetExecutableFolder() + L"\\shell_probe.exe"; }

}  // namespace

TEST(SystemSeam, MessageBoxAppearsWithItsTextAndCaptionAndReturnsTheButtonPressed) {
  testkit::UiDriver d;
  std::wstring text, caption;
  d.WaitFor("the box", [] { return testkit::FindMessageBox() != nullptr; });
  d.Do("read and answer", [&] {
    HWND box = testkit::FindMessageBox();
    text = testkit::MessageBoxText(box);
    caption = testkit::WindowTitle(box);
    testkit::AnswerMessageBox(box, IDNO);
  });
  d.Start();
  int answer = System().ShowMessageBox(nullptr, L"用户名或密码错误", L"Veltrina 测试", MB_YESNO);
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_EQ(answer, IDNO);
  EXPECT_EQ(text, L"用户名或密码错误");
  EXPECT_EQ(caption, L"Veltrina 测试");
  EXPECT_EQ(testkit::FindMessageBox(), nullptr);
}

TEST(SystemSeam, PopupMenuIsTrackedThenDismissedOrChosenFrom) {
  OwnerWindow owner;
  ASSERT_TRUE(owner.get());
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 1056, L"关闭私聊");
  AppendMenuW(menu, MF_STRING, 1057, L"退出");

  // Dismissed: nothing chosen.
  testkit::UiDriver dismiss;
  dismiss.WaitFor("the menu", [] { return FindMenuWindow() && IsWindowVisible(FindMenuWindow()); });
  dismiss.Do("dismiss", [] { EndMenu(); });
  dismiss.Start();
  SetForegroundWindow(owner.get());
  EXPECT_EQ(System().TrackMenu(menu, TPM_RETURNCMD, 150, 150, owner.get()), 0);
  EXPECT_TRUE(dismiss.Failure().empty()) << dismiss.Failure();

  // Chosen with the keyboard: the second item.
  testkit::UiDriver choose;
  choose.WaitFor("the menu again", [] { return FindMenuWindow() && IsWindowVisible(FindMenuWindow()); });
  choose.Do("down, down, enter", [&owner] {
    for (WPARAM key : {WPARAM{VK_DOWN}, WPARAM{VK_DOWN}, WPARAM{VK_RETURN}}) {
      PostMessageW(owner.get(), WM_KEYDOWN, key, 0);
      PostMessageW(owner.get(), WM_KEYUP, key, 0xC0000000);
    }
  });
  choose.Start();
  SetForegroundWindow(owner.get());
  EXPECT_EQ(System().TrackMenu(menu, TPM_RETURNCMD, 150, 150, owner.get()), 1057);
  EXPECT_TRUE(choose.Failure().empty()) << choose.Failure();
  DestroyMenu(menu);
}

TEST(SystemSeam, TrayIconIsAddedChangedAndRemoved) {
  OwnerWindow owner;
  ASSERT_TRUE(owner.get());
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = owner.get();
  data.uID = 7;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = WM_APP + 7;
  data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wcscpy_s(data.szTip, L"Veltrina");
  EXPECT_TRUE(System().NotifyIcon(NIM_ADD, &data));
  wcscpy_s(data.szTip, L"Veltrina - 已断开");
  data.hIcon = LoadIconW(nullptr, IDI_WARNING);
  EXPECT_TRUE(System().NotifyIcon(NIM_MODIFY, &data));
  EXPECT_TRUE(System().NotifyIcon(NIM_DELETE, &data));
  EXPECT_FALSE(System().NotifyIcon(NIM_MODIFY, &data));  // gone: nothing left to change
}

TEST(SystemSeam, TaskbarFlashesAndStopsAndTheNetworkStateIsRead) {
  OwnerWindow owner;
  ASSERT_TRUE(owner.get());
  FLASHWINFO flash{sizeof(flash), owner.get(), FLASHW_ALL | FLASHW_TIMERNOFG, 0, 400};
  System().FlashTaskbar(&flash);
  testkit::PumpFor(50);
  flash.dwFlags = FLASHW_STOP;
  System().FlashTaskbar(&flash);
  EXPECT_TRUE(IsWindow(owner.get()));

  DWORD flags = 0xFFFFFFFF;
  BOOL connected = System().InternetConnected(&flags);
  DWORD direct_flags = 0;
  EXPECT_EQ(connected, InternetGetConnectedState(&direct_flags, 0));
  EXPECT_EQ(flags, direct_flags);
}

TEST(SystemSeam, ShellOpensALocalProgramAndTheWebGateLetsOnlyWebAddressesThrough) {
  const std::wstring marker = TempPath(L"veltrina-probe-marker.txt");
  DeleteFileW(marker.c_str());
  SetEnvironmentVariableW(L"VELTRINA_PROBE_MARKER", marker.c_str());
  ASSERT_NE(GetFileAttributesW(ProbePath().c_str()), INVALID_FILE_ATTRIBUTES) << "shell_probe.exe is missing";

  EXPECT_GT(System().ShellOpen(nullptr, ProbePath(), SW_HIDE), 32);
  EXPECT_NE(WaitForMarker(marker).find(L"shell_probe"), std::wstring::npos);

  // Web pages go to whatever opens http addresses: here the probe, for the test's duration.
  HttpHandlerOverride handler(L"\"" + ProbePath() + L"\" \"%1\"");
  for (const wchar_t* refused : {L"file:///C:/windows/notepad.exe", L"C:\\windows\\notepad.exe",
                                 L"javascript:alert(1)", L"http://", L"http://a\"b"}) {
    DeleteFileW(marker.c_str());
    EXPECT_FALSE(veltrinawnd::OpenWebAddress(refused)) << refused;
  }
  DeleteFileW(marker.c_str());
  EXPECT_TRUE(veltrinawnd::OpenWebAddress(L"http://127.0.0.1:9/veltrina-page"));
  EXPECT_NE(WaitForMarker(marker).find(L"http://127.0.0.1:9/veltrina-page"), std::wstring::npos);
  DeleteFileW(marker.c_str());
  SetEnvironmentVariableW(L"VELTRINA_PROBE_MARKER", nullptr);
}

namespace {
// The open-file dialog of this thread (the message box finder looks for the same class).
HWND FindFileDialog() {
  HWND dialog = testkit::FindMessageBox();
  return dialog && GetDlgItem(dialog, IDOK) ? dialog : nullptr;
}

// The record the upload command fills in.
struct OpenFileRecord {
  wchar_t file[520] = L"";
  OPENFILENAMEW record{};
  OpenFileRecord() {
    record.lStructSize = sizeof record;
    record.lpstrFilter = L"所有文件\0*.*\0";
    record.nFilterIndex = 1;
    record.lpstrFile = file;
    record.nMaxFile = 520;
    record.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  }
};
}  // namespace

TEST(SystemSeam, FileDialogReturnsTheTypedFileOrNothingWhenCancelled) {
  const std::wstring chosen = TempPath(L"上传 测试.txt");
  {
    std::ofstream out(chosen.c_str());
    out << "upload me";
  }
  // The file name box of the dialog (a combo box's edit in the explorer-style dialog).
  constexpr int kFileNameBox = 1148;

  testkit::UiDriver pick;
  pick.WaitFor("the dialog", [] { return FindFileDialog() != nullptr; }, 15000);
  pick.Do("type the path and open", [&] {
    HWND dialog = FindFileDialog();
    EXPECT_TRUE(SetDlgItemTextW(dialog, kFileNameBox, chosen.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  pick.Start();
  OpenFileRecord opened;
  EXPECT_TRUE(System().ChooseOpenFile(&opened.record));
  EXPECT_TRUE(pick.Failure().empty()) << pick.Failure();
  EXPECT_EQ(CompareStringOrdinal(opened.file, -1, chosen.c_str(), -1, TRUE), CSTR_EQUAL) << opened.file;

  testkit::UiDriver cancel;
  cancel.WaitFor("the dialog again", [] { return FindFileDialog() != nullptr; }, 15000);
  cancel.Do("cancel", [] { PostMessageW(FindFileDialog(), WM_COMMAND, IDCANCEL, 0); });
  cancel.Start();
  OpenFileRecord cancelled;
  EXPECT_FALSE(System().ChooseOpenFile(&cancelled.record));
  EXPECT_TRUE(cancel.Failure().empty()) << cancel.Failure();
  EXPECT_STREQ(cancelled.file, L"");
  DeleteFileW(chosen.c_str());
}
