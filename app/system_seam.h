#pragma once
// The few Windows calls whose effects tests must observe or answer: message boxes, pages opened
// in the browser, the tray, taskbar flashing, the network state, popup menus, the file dialog. Production code
// calls them through System(); tests install a recorder that also gives the answers.
#include <windows.h>

#include <commdlg.h>

#include <string>

namespace veltrinawnd {

class SystemSeam {
 public:
  virtual ~SystemSeam() = default;
  virtual int ShowMessageBox(HWND owner, const std::wstring& text, const wchar_t* caption, UINT type);
  // ShellExecuteW with the verb "Open"; returns its result as an integer (> 32 is success).
  virtual INT_PTR ShellOpen(HWND owner, const std::wstring& target, int show_command);
  virtual BOOL NotifyIcon(DWORD message, NOTIFYICONDATAW* data);
  virtual BOOL FlashTaskbar(FLASHWINFO* info);
  virtual BOOL InternetConnected(DWORD* flags);
  virtual int TrackMenu(HMENU menu, UINT flags, int x, int y, HWND owner);
  // GetOpenFileNameW: TRUE when a file was chosen into the record's buffer.
  virtual BOOL ChooseOpenFile(OPENFILENAMEW* record);
};

SystemSeam& System();
// Installs a replacement (tests); null restores the Windows calls. The caller keeps ownership.
void InstallSystemSeam(SystemSeam* seam);

// Opens a web page or download address in the default browser, only when it is an absolute
// http or https address; anything else is refused with a log line. True when opened.
bool OpenWebAddress(const std::wstring& address);

}  // namespace veltrinawnd
