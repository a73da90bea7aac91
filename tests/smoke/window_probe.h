#pragma once
// What an outsider can see of another process's windows: top-level windows by class and title,
// their native child controls, texts read with WM_GETTEXT, whether a window still answers, and the
// screen's pixels.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace smoke {

struct TopWindow {
  HWND hwnd = nullptr;
  std::wstring class_name;
  std::wstring title;
  bool visible = false;
};

std::wstring ClassOf(HWND hwnd);
std::vector<TopWindow> TopLevelWindowsOf(DWORD process_id);
// A visible top-level window of the process with this class (and title, when given), or null.
HWND FindShownWindow(DWORD process_id, const wchar_t* class_name, const wchar_t* title = nullptr);
// "SubdomainWnd '登录团队' shown, #32770 'Error' hidden, ..." for failure messages.
std::string DescribeWindows(DWORD process_id);

// True when the window's thread handles a message within the time (SMTO_ABORTIFHUNG).
bool Answers(HWND hwnd, UINT timeout_ms = 5000);
// The window's text by WM_GETTEXT; throws SmokeFailure when the window does not answer.
std::wstring TextOf(HWND hwnd);
int TextLengthOf(HWND hwnd);

// Child windows (at any depth) whose class is this one, in z-order.
std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* class_name);
// A message box's text: its "Static" children's texts (the icon's static has none), joined.
std::wstring MessageBoxText(HWND box);

RECT ScreenRectOf(HWND hwnd);
POINT CenterOf(HWND hwnd);
// A point of the window's client area, in screen coordinates.
POINT ScreenPoint(HWND hwnd, int client_x, int client_y);
SIZE ClientSize(HWND hwnd);
// The window's client rectangle position relative to another window's client area.
RECT RectInClientOf(HWND child, HWND top);

// The screen's pixels in a rectangle, as 0x00RRGGBB values row by row.
std::vector<uint32_t> CaptureScreen(RECT screen);
// Writes the whole screen to a 24-bit BMP file, for looking at a failure afterwards.
bool SaveScreenBmp(const std::wstring& path);
// How many distinct colours the pixels hold: a blank area has one or two.
size_t DistinctColours(const std::vector<uint32_t>& pixels);

}  // namespace smoke
