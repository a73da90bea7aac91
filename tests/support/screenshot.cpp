#include "screenshot.h"

#include <cstdio>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace testkit {
namespace {

// Copies w x h pixels at (x, y) of the DC into a PNG file, letting adjust change them first.
bool SaveDcPng(HDC src, int x, int y, int w, int h, const std::wstring& path, const PixelHook& adjust = nullptr) {
  if (!src || w <= 0 || h <= 0) return false;
  HDC mem = CreateCompatibleDC(src);
  BITMAPINFO bmi{};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // top-down rows
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(src, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  FILE* f = bmp && bits ? _wfopen(path.c_str(), L"wb") : nullptr;
  if (f) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
    GdiFlush();
    SelectObject(mem, old);
    auto* px = static_cast<uint32_t*>(bits);
    if (adjust) adjust(px, RECT{x, y, x + w, y + h});
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i)  // BGRA to opaque RGBA
      px[i] = 0xFF000000u | (px[i] & 0xFF) << 16 | (px[i] & 0xFF00) | (px[i] >> 16 & 0xFF);
    auto write = [](void* file, void* data, int size) { std::fwrite(data, 1, size, static_cast<FILE*>(file)); };
    ok = stbi_write_png_to_func(write, f, w, h, 4, px, w * 4) != 0;
    ok = std::fclose(f) == 0 && ok;
  }
  if (bmp) DeleteObject(bmp);
  DeleteDC(mem);
  return ok;
}

}  // namespace

bool SaveWindowPng(HWND hwnd, const std::wstring& path) {
  if (!IsWindow(hwnd)) return false;
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  RECT rc;
  GetWindowRect(hwnd, &rc);
  HDC src = GetWindowDC(hwnd);
  const bool ok = SaveDcPng(src, 0, 0, rc.right - rc.left, rc.bottom - rc.top, path);
  ReleaseDC(hwnd, src);
  return ok;
}

bool SaveScreenPng(const RECT& area, const std::wstring& path, const PixelHook& adjust) {
  const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const RECT screen{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  RECT c;
  if (!IntersectRect(&c, &area, &screen)) return false;
  HDC src = GetDC(nullptr);
  const bool ok = SaveDcPng(src, c.left, c.top, c.right - c.left, c.bottom - c.top, path, adjust);
  ReleaseDC(nullptr, src);
  return ok;
}

}  // namespace testkit
