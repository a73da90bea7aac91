#include "app/system_seam.h"

#include <shellapi.h>
#include <wininet.h>

#include <cwctype>

#include "app/storage.h"
#include "veltrina/log.h"

namespace veltrinawnd {
namespace {
SystemSeam g_windows;
SystemSeam* g_seam = &g_windows;

bool StartsWithNoCase(const std::wstring& s, const wchar_t* prefix) {
  size_t n = wcslen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::towlower(s[i]) != prefix[i]) return false;
  return true;
}
}  // namespace

int SystemSeam::ShowMessageBox(HWND owner, const std::wstring& text, const wchar_t* caption, UINT type) {
  return ::MessageBoxW(owner, text.c_str(), caption, type);
}

INT_PTR SystemSeam::ShellOpen(HWND owner, const std::wstring& target, int show_command) {
  return reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"Open", target.c_str(), nullptr, nullptr, show_command));
}

BOOL SystemSeam::NotifyIcon(DWORD message, NOTIFYICONDATAW* data) { return ::Shell_NotifyIconW(message, data); }

BOOL SystemSeam::FlashTaskbar(FLASHWINFO* info) { return ::FlashWindowEx(info); }

BOOL SystemSeam::InternetConnected(DWORD* flags) { return ::InternetGetConnectedState(flags, 0); }

int SystemSeam::TrackMenu(HMENU menu, UINT flags, int x, int y, HWND owner) {
  return ::TrackPopupMenu(menu, flags, x, y, 0, owner, nullptr);
}

BOOL SystemSeam::ChooseOpenFile(OPENFILENAMEW* record) { return ::GetOpenFileNameW(record); }

SystemSeam& System() { return *g_seam; }

void InstallSystemSeam(SystemSeam* seam) { g_seam = seam ? seam : &g_windows; }

bool OpenWebAddress(const std::wstring& address) {
  bool web = (StartsWithNoCase(address, L"http://") && address.size() > 7) ||
             (StartsWithNoCase(address, L"https://") && address.size() > 8);
  bool clean = address.find_first_of(L"\r\n\t\"") == std::wstring::npos;
  if (!web || !clean) {
    // The address may come from a message: its length says enough, its text stays out of the log.
    veltrina::log("Refused to open a non-web address of %u characters", static_cast<unsigned>(address.size()));
    return false;
  }
  return System().ShellOpen(nullptr, address, SW_SHOWNORMAL) > 32;
}

}  // namespace veltrinawnd
