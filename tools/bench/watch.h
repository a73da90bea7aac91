#pragma once
// Looking at another process's windows from outside, as the start-up and sign-in figures need.
#include <windows.h>

#include <chrono>
#include <functional>

namespace bench {

using Clock = std::chrono::steady_clock;
double MillisSince(Clock::time_point start);

// A visible top-level window of the process with this class, or null.
HWND FindShownWindow(DWORD process_id, const wchar_t* window_class);
// Shown and drawn: the window and its visible children have empty update regions, and the
// window's thread answered a message sent after that (so the WM_PAINT that emptied them has
// returned) with the regions still empty (a paint that laid out again is not the last one).
bool IsPainted(HWND hwnd);
// How many different colours the screen shows inside the rectangle (client coordinates of hwnd).
size_t ColoursIn(HWND hwnd, RECT client_rect);
// Polls every millisecond until `done` holds; false once `limit_ms` have passed.
bool PollUntil(const std::function<bool()>& done, DWORD limit_ms);

}  // namespace bench
