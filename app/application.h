#pragma once
#include <windows.h>

namespace veltrinawnd {

// The whole life of the process: start-up, then the team window's modal loop, inside which
// every later window runs. Returns the process exit code (always 0).
int RunApplication(HINSTANCE hInstance);

}  // namespace veltrinawnd
