#pragma once
// The main window against the scripted service, with a signed-in session and every system
// effect (tray, flashing, network state, menus, pages) recorded.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/system_seam.h"
#include "ui_driver.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"

class RecordingShell : public veltrinawnd::SystemSeam {
 public:
  struct Icon {
    DWORD message;
    HICON icon;
    UINT flags;
    std::wstring info;
  };
  int ShowMessageBox(HWND, const std::wstring& text, const wchar_t*, UINT) override {
    boxes.push_back(text);
    return IDOK;
  }
  INT_PTR ShellOpen(HWND, const std::wstring& target, int) override {
    opened.push_back(target);
    return shell_answer;
  }
  BOOL NotifyIcon(DWORD message, NOTIFYICONDATAW* data) override {
    icons.push_back({message, data->hIcon, data->uFlags, data->szInfo});
    return TRUE;
  }
  BOOL FlashTaskbar(FLASHWINFO* info) override {
    flashes.push_back(info->dwFlags);
    return TRUE;
  }
  BOOL InternetConnected(DWORD* flags) override {
    if (flags) *flags = 0;
    return online;
  }
  int TrackMenu(HMENU, UINT, int, int, HWND) override {
    ++menus;
    return menu_answer;
  }
  BOOL ChooseOpenFile(OPENFILENAMEW* record) override {
    ++file_dialogs;
    file_record = *record;
    if (chosen_file.empty() || !record->lpstrFile || record->nMaxFile == 0) return FALSE;  // cancelled
    lstrcpynW(record->lpstrFile, chosen_file.c_str(), static_cast<int>(record->nMaxFile));
    return TRUE;
  }
  std::vector<std::wstring> boxes, opened;
  INT_PTR shell_answer = 33;
  int file_dialogs = 0;
  OPENFILENAMEW file_record{};
  std::wstring chosen_file;  // empty: the dialog is cancelled
  std::vector<Icon> icons;
  std::vector<DWORD> flashes;
  BOOL online = TRUE;
  int menus = 0;
  int menu_answer = 0;
};

class MainTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

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
                     const std::vector<veltrina::IM>& ims, const std::vector<veltrina::backend::UnreadCount>& unread = {});
  void Answer(testkit::UiDriver& d, const std::string& method,
              std::function<void(const veltrina::backend::RecordedRequest&)> fn);
  // Opens the main window and runs the driver inside it; the last step should leave it.
  void RunMain(testkit::UiDriver& d);

  static HWND Main();
  static DuiLib::CControlUI* Control(const std::wstring& name);
  static DuiLib::CListUI* SessionList();
  static std::wstring Text(const std::wstring& name);

  std::shared_ptr<veltrina::backend::ScriptedService> service_;
  RecordingShell shell_;
};
