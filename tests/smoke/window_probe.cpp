#include "window_probe.h"

#include <filesystem>
#include <fstream>
#include <set>

#include "smoke_failure.h"

namespace smoke {

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  int n = ::GetClassNameW(hwnd, name, 256);
  return std::wstring(name, n > 0 ? n : 0);
}

std::vector<TopWindow> TopLevelWindowsOf(DWORD process_id) {
  struct Search {
    DWORD pid;
    std::vector<TopWindow> found;
  } search{process_id, {}};
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid != s->pid) return TRUE;
        wchar_t title[256] = {};
        ::GetWindowTextW(hwnd, title, 256);  // own title from the window manager: never blocks
        s->found.push_back(TopWindow{hwnd, ClassOf(hwnd), title, ::IsWindowVisible(hwnd) != FALSE});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindShownWindow(DWORD process_id, const wchar_t* class_name, const wchar_t* title) {
  for (const TopWindow& w : TopLevelWindowsOf(process_id)) {
    if (w.visible && w.class_name == class_name && (!title || w.title == title)) return w.hwnd;
  }
  return nullptr;
}

std::string DescribeWindows(DWORD process_id) {
  std::string text;
  for (const TopWindow& w : TopLevelWindowsOf(process_id)) {
    if (!w.visible && w.title.empty()) continue;  // helper windows say nothing
    if (!text.empty()) text += ", ";
    text += Utf8(w.class_name) + " '" + Utf8(w.title) + "'" + (w.visible ? " shown" : " hidden");
    if (w.class_name == L"#32770") text += " saying '" + Utf8(MessageBoxText(w.hwnd)) + "'";
  }
  return text.empty() ? "no window" : text;
}

bool Answers(HWND hwnd, UINT timeout_ms) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeout_ms, &result) != 0;
}

int TextLengthOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &length))
    Fail("window of class " + Utf8(ClassOf(hwnd)) + " does not answer WM_GETTEXTLENGTH");
  return static_cast<int>(length);
}

std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<size_t>(TextLengthOf(hwnd)) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &copied))
    Fail("window of class " + Utf8(ClassOf(hwnd)) + " does not answer WM_GETTEXT");
  text.resize(copied <= text.size() ? copied : 0);
  return text;
}

std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* class_name) {
  struct Search {
    const wchar_t* class_name;
    std::vector<HWND> found;
  } search{class_name, {}};
  ::EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (_wcsicmp(ClassOf(hwnd).c_str(), s->class_name) == 0) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  for (HWND label : ChildrenOfClass(box, L"Static")) {
    std::wstring part = TextOf(label);
    if (part.empty()) continue;
    if (!text.empty()) text += L"\n";
    text += part;
  }
  return text;
}

RECT ScreenRectOf(HWND hwnd) {
  RECT rc{};
  ::GetWindowRect(hwnd, &rc);
  return rc;
}

POINT CenterOf(HWND hwnd) {
  RECT rc = ScreenRectOf(hwnd);
  return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

POINT ScreenPoint(HWND hwnd, int client_x, int client_y) {
  POINT pt{client_x, client_y};
  ::ClientToScreen(hwnd, &pt);
  return pt;
}

SIZE ClientSize(HWND hwnd) {
  RECT rc{};
  ::GetClientRect(hwnd, &rc);
  return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

RECT RectInClientOf(HWND child, HWND top) {
  RECT rc = ScreenRectOf(child);
  ::MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

std::vector<uint32_t> CaptureScreen(RECT screen) {
  const int width = screen.right - screen.left, height = screen.bottom - screen.top;
  std::vector<uint32_t> pixels;
  if (width <= 0 || height <= 0) return pixels;
  HDC screen_dc = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen_dc);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen_dc, screen.left, screen.top, SRCCOPY);
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    pixels.reserve(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) pixels.push_back(p[i] & 0x00FFFFFF);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen_dc);
  return pixels;
}

bool SaveScreenBmp(const std::wstring& path) {
  const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
  std::vector<uint32_t> pixels = CaptureScreen(RECT{0, 0, width, height});
  if (pixels.empty()) return false;
  const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + row * static_cast<uint32_t>(height);
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;  // top-down rows
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  std::vector<char> line(row, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      line[x * 3] = static_cast<char>(p & 0xFF);
      line[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
      line[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
    }
    out.write(line.data(), row);
  }
  return static_cast<bool>(out);
}

size_t DistinctColours(const std::vector<uint32_t>& pixels) {
  return std::set<uint32_t>(pixels.begin(), pixels.end()).size();
}

}  // namespace smoke
