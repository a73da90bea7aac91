#include "tray_steps.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "desktop_input.h"
#include "smoke_failure.h"
#include "window_probe.h"

namespace smoke {

POINT FindTrayIcon(SmokeUser& user) {
  HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  if (!taskbar || !::IsWindowVisible(taskbar))
    Fail("the desktop shows no taskbar (Shell_TrayWnd) to find the tray icon in");
  const RECT bar = ScreenRectOf(taskbar);
  // The notification area is the bar's right end; the task buttons stay far from it.
  const RECT area{bar.right - 120, bar.top, bar.right, bar.bottom};
  const int width = area.right - area.left, height = area.bottom - area.top;
  int left = 0, right = -1;  // the columns the icon lights up
  user.WaitUntil("find the tray icon (waiting for its pixels at the right of the taskbar)", [&] {
    std::vector<uint32_t> pixels = CaptureScreen(area);
    const uint32_t background = pixels[static_cast<size_t>(height / 2) * width + width - 1];  // the last column
    left = width;
    right = -1;
    for (int y = 2; y < height - 2; ++y) {  // inside the bar's own edges
      for (int x = 0; x < width; ++x) {
        if (pixels[static_cast<size_t>(y) * width + x] == background) continue;
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
    return right >= left;
  });
  return POINT{area.left + (left + right) / 2, (bar.top + bar.bottom) / 2};
}

void ShowFromTray(SmokeUser& user, HWND main_window) {
  POINT icon = FindTrayIcon(user);
  user.CheckAlive("click the tray icon", main_window);
  input::Click(icon);
  user.WaitUntil("click the tray icon (waiting for the main window)",
                 [&] { return ::IsWindowVisible(main_window) != FALSE; }, main_window);
}

DWORD ExitFromTray(SmokeUser& user) {
  POINT icon = FindTrayIcon(user);
  user.CheckAlive("right click on the tray icon");
  input::RightClick(icon);
  HWND menu = nullptr;
  user.WaitUntil("right click on the tray icon (waiting for its menu)",
                 [&] { return (menu = FindShownWindow(user.client().id(), L"#32768")) != nullptr; });
  user.CheckAlive("the tray menu", menu);
  // Two items of equal height: the middle of the lower half is the exit item.
  RECT rc = ScreenRectOf(menu);
  input::Click(POINT{(rc.left + rc.right) / 2, rc.top + (rc.bottom - rc.top) * 3 / 4});
  return user.WaitForExit("exit from the tray menu");
}

}  // namespace smoke
