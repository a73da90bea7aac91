#pragma once
// Writes what a window shows on screen to a PNG file.
#include <windows.h>

#include <string>

namespace testkit {

// Repaints the window (and its children) first. False when the window is gone or the file
// cannot be written.
bool SaveWindowPng(HWND hwnd, const std::wstring& path);
// Writes what the screen shows in this area (clipped to the screen): several windows together,
// layered ones included.
bool SaveScreenPng(const RECT& area, const std::wstring& path);

}  // namespace testkit
