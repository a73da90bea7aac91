#include "screenshot.h"

#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace testkit {
namespace {
void WriteToFile(void* context, void* data, int size) {
  std::fwrite(data, 1, static_cast<size_t>(size), static_cast<FILE*>(context));
}


// Copies w x h pixels at (x, y) of the DC into a PNG file, letting adjust change them first.
bool SaveDcPng(HDC src, int x, int y, int w, int h, const std::wstring& path, const PixelHook& adjust = nullptr) {
  if (!src || w <= 0 || h <= 0) return false;
  HDC mem = CreateCompatibleDC(src);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = w;
  bmi.bmiHeader.biHeight = -h;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(src, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bmp && bits) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
    GdiFlush();
    if (adjust) adjust(static_cast<uint32_t*>(bits), RECT{x, y, x + w, y + h});
    std::vector<unsigned char> rgba(static_cast<size_t>(w) * h * 4);
    auto* px = static_cast<unsigned char*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
      rgba[i * 4] = px[i * 4 + 2];
      rgba[i * 4 + 1] = px[i * 4 + 1];
      rgba[i * 4 + 2] = px[i * 4];
      rgba[i * 4 + 3] = 255;
    }
    SelectObject(mem, old);
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f) {
      ok = stbi_write_png_to_func(WriteToFile, f, w, h, 4, rgba.data(), w * 4) != 0;
      ok = (std::fclose(f) == 0) && ok;
    }
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
  bool ok = SaveDcPng(src, 0, 0, rc.right - rc.left, rc.bottom - rc.top, path);
  ReleaseDC(hwnd, src);
  return ok;
}

bool SaveScreenPng(const RECT& area, const std::wstring& path, const PixelHook& adjust) {
  RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  RECT clipped;
  if (!IntersectRect(&clipped, &area, &screen)) return false;
  HDC src = GetDC(nullptr);
  bool ok = SaveDcPng(src, clipped.left, clipped.top, clipped.right - clipped.left, clipped.bottom - clipped.top, path, adjust);
  ReleaseDC(nullptr, src);
  return ok;
}

}  // namespace testkit
