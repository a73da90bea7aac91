#include <windows.h>

#include "app/application.h"
#include "app/single_instance.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  // Before anything reads or writes the user's data: a second client hands over to the first.
  if (!veltrinawnd::ClaimSingleClient(hInstance, veltrinawnd::BringClientToFront)) return 0;
  return veltrinawnd::RunApplication(hInstance);
}
