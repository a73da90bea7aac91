#include "main/screen_capture.h"

#include "veltrina/log.h"

namespace veltrinawnd {

bool CopyScreenToClipboard(HWND owner) {
  const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, width, height) : nullptr;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
    SelectObject(memory, old);  // a bitmap still selected into a DC cannot go to the clipboard
  }
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!bitmap) {
    veltrina::log("screenshot: no bitmap of %dx%d", width, height);
    return false;
  }

  // With no owner, EmptyClipboard leaves the clipboard without one and SetClipboardData may
  // then refuse the data: the window that asked owns it.
  if (!OpenClipboard(owner)) {
    veltrina::log("screenshot: the clipboard is held by another program");
    DeleteObject(bitmap);
    return false;
  }
  EmptyClipboard();
  const bool placed = SetClipboardData(CF_BITMAP, bitmap) != nullptr;  // the clipboard owns it now
  CloseClipboard();
  if (!placed) {
    veltrina::log("screenshot: the clipboard refused the bitmap");
    DeleteObject(bitmap);
  }
  return placed;
}

}  // namespace veltrinawnd
