#pragma once
// Writes what a window or the screen shows to a PNG file; false when there is nothing or the file cannot be written.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace testkit {

bool SaveWindowPng(HWND hwnd, const std::wstring& path);  // repaints the window and its children first
// Changes captured pixels (top-down BGRA rows of the captured rectangle) before they are written.
using PixelHook = std::function<void(uint32_t* bgra, const RECT& captured)>;
// This area of the screen (clipped to it): several windows together, layered ones included.
bool SaveScreenPng(const RECT& area, const std::wstring& path, const PixelHook& adjust = nullptr);

}  // namespace testkit
