#pragma once
// The main window against the scripted service, with a signed-in session and every system
// effect (tray, flashing, network state, menus, pages, file choice) recorded.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/storage.h"
#include "app/system_seam.h"
#include "ui_driver.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"

class RecordingShell : public veltrinawnd::SystemSeam {
 public:
  struct Icon { DWORD message; HICON icon; UINT flags; std::wstring info, title; };
  int ShowMessageBox(HWND, const std::wstring& text, const wchar_t*, UINT) override { boxes.push_back(text); return IDOK; }
  INT_PTR ShellOpen(HWND, const std::wstring& target, int) override { opened.push_back(target); return shell_answer; }
  BOOL NotifyIcon(DWORD message, NOTIFYICONDATAW* d) override {
    icons.push_back({message, d->hIcon, d->uFlags, d->szInfo, d->szInfoTitle});
    return TRUE;
  }
  BOOL FlashTaskbar(FLASHWINFO* info) override { flashes.push_back(info->dwFlags); return TRUE; }
  BOOL InternetConnected(DWORD* flags) override { if (flags) *flags = 0; return TRUE; }
  int TrackMenu(HMENU, UINT, int, int, HWND) override { ++menus; return menu_answer; }
  BOOL ChooseOpenFile(OPENFILENAMEW* record) override {
    file_record = *record;
    if (chosen_file.empty() || !record->lpstrFile || record->nMaxFile == 0) return FALSE;  // cancelled
    lstrcpynW(record->lpstrFile, chosen_file.c_str(), static_cast<int>(record->nMaxFile));
    return TRUE;
  }
  std::vector<std::wstring> boxes, opened;
  std::vector<Icon> icons;
  std::vector<DWORD> flashes;
  INT_PTR shell_answer = 33;
  OPENFILENAMEW file_record{};
  std::wstring chosen_file;  // empty: the dialog is cancelled
  int menus = 0, menu_answer = 0;
};

// A control inside a row by its path of child indexes.
template <typename T = DuiLib::CControlUI>
T* At(DuiLib::CControlUI* c, std::initializer_list<int> path) {
  for (int i : path) {
    auto* container = dynamic_cast<DuiLib::CContainerUI*>(c);
    c = container && i < container->GetCount() ? container->GetItemAt(i) : nullptr;
  }
  return dynamic_cast<T*>(c);
}

class MainTest : public ::testing::Test {
 protected:
  using Request = std::shared_ptr<std::optional<veltrina::backend::RecordedRequest>>;
  void SetUp() override;
  void TearDown() override;
  // A fresh director for u-me in this team, as a sign-in makes it.
  static void SignIn(int role = veltrina::User::kRoleMember, int64_t permission = 0, const std::string& subdomain = "main",
                     const std::string& team_id = "t-main");

  static veltrina::User User(const std::string& uid, const std::string& name, int status);
  static veltrina::Channel Channel(const std::string& id, const std::string& name, int type, bool general = false);
  static veltrina::IM Im(const std::string& id, const std::string& peer);
  static veltrina::Message Message(const std::string& conversation, int channel_type, const std::string& uid,
                                   const std::string& text, int64_t time);

  // Fills the caches the way the refresh chain does, before the window opens.
  void Prime(const std::vector<veltrina::Channel>& channels, const std::vector<veltrina::IM>& ims,
             const std::vector<veltrina::backend::UnreadCount>& unread = {});
  // Answers the main window's refresh chain with the same data (steps of the driver).
  void AnswerRefresh(testkit::UiDriver& d, const std::vector<veltrina::Channel>& channels,
                     const std::vector<veltrina::IM>& ims, const std::vector<veltrina::backend::UnreadCount>& unread = {},
                     const std::vector<veltrina::Message>& sync = {});
  // The next request of this method, left unanswered (a step of the driver).
  Request Take(testkit::UiDriver& d, const std::string& method);
  void Answer(testkit::UiDriver& d, const std::string& method,
              std::function<void(const veltrina::backend::RecordedRequest&)> fn);
  // Opens the main window and runs the driver inside it; the last step should leave it.
  void RunMain(testkit::UiDriver& d);
  // Adds the step that closes every window, then runs.
  void Finish(testkit::UiDriver& d);
  static void WaitMain(testkit::UiDriver& d);

  static HWND Wnd(const wchar_t* window_class) { return testkit::FindVisibleWindow(window_class); }
  static HWND Main() { return Wnd(L"MainWindow"); }
  static DuiLib::CControlUI* In(HWND wnd, const wchar_t* name) { return wnd ? testkit::FindControl(wnd, name) : nullptr; }
  // In the main window, shown or hidden.
  static DuiLib::CControlUI* Control(const std::wstring& name) { return In(FindWindowW(L"MainWindow", L"Veltrina"), name.c_str()); }
  static DuiLib::CListUI* SessionList() { return dynamic_cast<DuiLib::CListUI*>(Control(L"sessionList")); }
  static std::wstring Text(const std::wstring& name) { return Control(name) ? Control(name)->GetText() : L"<missing>"; }
  static std::wstring TextIn(HWND wnd, const wchar_t* name) { return In(wnd, name) ? In(wnd, name)->GetText() : L"<missing>"; }
  // As a user types: the box's own text changes, and the box reports it.
  static void Type(HWND wnd, const wchar_t* box, const std::wstring& text) {
    ASSERT_TRUE(In(wnd, box) && In(wnd, box)->GetNativeWindow());
    SetWindowTextW(In(wnd, box)->GetNativeWindow(), text.c_str());
  }
  // Clicks a control of the window of this class once it is up.
  static void Click(testkit::UiDriver& d, const wchar_t* window_class, const wchar_t* name) {
    d.OnWindow(window_class, [name](HWND w) { EXPECT_TRUE(testkit::ClickControl(w, name)) << veltrinawnd::Utf16ToUtf8(name); });
  }

  std::shared_ptr<veltrina::backend::ScriptedService> service_;
  RecordingShell shell_;
};
