#include "watch.h"

#include <set>
#include <vector>

namespace bench {
namespace {

struct Search {
  DWORD process_id;
  const wchar_t* window_class;
  HWND found;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  wchar_t name[256] = {};
  DWORD pid = 0;
  if (GetWindowThreadProcessId(hwnd, &pid) && pid == search->process_id && IsWindowVisible(hwnd) &&
      GetClassNameW(hwnd, name, 256) && lstrcmpW(name, search->window_class) == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK AddChild(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

bool RegionsEmpty(HWND hwnd) {
  std::vector<HWND> windows{hwnd};
  EnumChildWindows(hwnd, AddChild, reinterpret_cast<LPARAM>(&windows));
  for (HWND h : windows) {
    RECT dirty{};
    if (IsWindowVisible(h) && GetUpdateRect(h, &dirty, FALSE)) return false;
  }
  return true;
}

}  // namespace

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

HWND FindShownWindow(DWORD process_id, const wchar_t* window_class) {
  Search search{process_id, window_class, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsPainted(HWND hwnd) {
  DWORD_PTR result = 0;
  return IsWindowVisible(hwnd) && RegionsEmpty(hwnd) &&
         SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &result) &&
         RegionsEmpty(hwnd);
}

size_t ColoursIn(HWND hwnd, RECT rc) {
  MapWindowPoints(hwnd, HWND_DESKTOP, reinterpret_cast<POINT*>(&rc), 2);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return 0;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::set<uint32_t> colours;
  if (dib) {
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < w * h; ++i) colours.insert(px[i] & 0x00FFFFFF);
    SelectObject(mem, old);
    DeleteObject(dib);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return colours.size();
}

bool PollUntil(const std::function<bool()>& done, DWORD limit_ms) {
  for (const Clock::time_point start = Clock::now(); !done(); Sleep(1))
    if (MillisSince(start) > limit_ms) return false;
  return true;
}

}  // namespace bench
