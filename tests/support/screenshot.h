#pragma once
// Writes what a window shows on screen to a PNG file.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace testkit {

// Repaints the window (and its children) first. False when the window is gone or the file
// cannot be written.
bool SaveWindowPng(HWND hwnd, const std::wstring& path);
// Changes captured pixels (top-down BGRA rows of the captured rectangle) before they are written.
using PixelHook = std::function<void(uint32_t* bgra, const RECT& captured)>;

// Writes what the screen shows in this area (clipped to the screen): several windows together,
// layered ones included.
bool SaveScreenPng(const RECT& area, const std::wstring& path, const PixelHook& adjust = nullptr);

}  // namespace testkit
