#include <windows.h>

#include "app/application.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  return veltrinawnd::RunApplication(hInstance);
}
