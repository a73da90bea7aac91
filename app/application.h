#pragma once
#include <windows.h>

namespace veltrinawnd {

// The whole life of the process: start-up, then the team window's modal loop, inside which
// every later window runs. Returns the process exit code (always 0).
int RunApplication(HINSTANCE hInstance);

// On the UI thread, when a second start asks for this client: the main window as a click on the
// tray icon brings it back, or, before there is one, the client's window in front (team selection,
// login, first password, or a box over one of them). False when no window is up (the client is
// still starting or already ending).
bool BringClientToFront();

}  // namespace veltrinawnd
