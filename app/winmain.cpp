#include <windows.h>
#include "veltrina/log.h"
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { veltrina::log("App init"); return 0; }
