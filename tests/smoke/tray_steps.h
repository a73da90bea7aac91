#pragma once
// The client's icon in the taskbar's notification area (Shell_TrayWnd of the Wine desktop). It has
// no window of its own: it is found by its pixels at the right end of the bar, where it is the only
// icon, and the menu that opens on it must belong to the client.
#include <windows.h>

#include "smoke_user.h"

namespace smoke {

// Waits for the icon's pixels (it blinks while there are unread messages) and returns its middle.
POINT FindTrayIcon(SmokeUser& user);
// Left click on the icon: the hidden main window comes back.
void ShowFromTray(SmokeUser& user, HWND main_window);
// Right click on the icon, then "退出Veltrina", the second of its menu's two items; waits until the
// process has ended and returns its exit code.
DWORD ExitFromTray(SmokeUser& user);

}  // namespace smoke
