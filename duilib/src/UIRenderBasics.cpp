// Colour and geometry parsing, images and plain drawing.
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "duilib/UIManager.h"
#include "duilib/UIRender.h"

namespace DuiLib {

namespace {
std::vector<int> ParseInts(const wchar_t* text, size_t count) {
  std::vector<int> values(count, 0);
  if (!text) return values;
  const wchar_t* p = text;
  for (size_t i = 0; i < count && *p; ++i) {
    wchar_t* end = nullptr;
    long v = std::wcstol(p, &end, 10);
    if (end == p) break;
    values[i] = static_cast<int>(v);
    p = end;
    while (*p == L',' || *p == L' ') ++p;
  }
  return values;
}
}  // namespace

RECT ParseRect(const wchar_t* text) {
  auto v = ParseInts(text, 4);
  return RECT{v[0], v[1], v[2], v[3]};
}

SIZE ParseSize(const wchar_t* text) {
  auto v = ParseInts(text, 2);
  return SIZE{v[0], v[1]};
}

bool ParseBool(const wchar_t* text) {
  return text && (_wcsicmp(text, L"true") == 0 || wcscmp(text, L"1") == 0);
}

TDrawInfo ParseDrawInfo(const CDuiString& image) {
  TDrawInfo info;
  if (image.find(L'=') == CDuiString::npos || image.find(L'\'') == CDuiString::npos) {
    info.sFile = image;
    return info;
  }
  // key='value' pairs separated by spaces.
  size_t i = 0;
  while (i < image.size()) {
    while (i < image.size() && image[i] == L' ') ++i;
    size_t eq = image.find(L'=', i);
    if (eq == CDuiString::npos) break;
    CDuiString key = image.substr(i, eq - i);
    size_t q1 = image.find(L'\'', eq);
    if (q1 == CDuiString::npos) break;
    size_t q2 = image.find(L'\'', q1 + 1);
    if (q2 == CDuiString::npos) break;
    CDuiString value = image.substr(q1 + 1, q2 - q1 - 1);
    if (key == L"file" || key == L"res") {
      info.sFile = value;
    } else if (key == L"source") {
      info.rcSource = ParseRect(value.c_str());
      info.bHasSource = true;
    } else if (key == L"dest") {
      info.rcDest = ParseRect(value.c_str());
      info.bHasDest = true;
    } else if (key == L"corner") {
      info.rcCorner = ParseRect(value.c_str());
    } else if (key == L"fade") {
      info.uFade = static_cast<BYTE>(_wtoi(value.c_str()));
    }
    i = q2 + 1;
  }
  return info;
}

namespace {
COLORREF ToColorRef(DWORD argb) {
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

// Blends a translucent colour over rc through a one-pixel premultiplied bitmap.
void BlendColor(HDC hDC, const RECT& rc, DWORD color) {
  BYTE a = static_cast<BYTE>(color >> 24);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = 1;
  bmi.bmiHeader.biHeight = 1;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(hDC, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) return;
  auto* px = static_cast<BYTE*>(bits);
  px[0] = static_cast<BYTE>((color & 0xFF) * a / 255);
  px[1] = static_cast<BYTE>(((color >> 8) & 0xFF) * a / 255);
  px[2] = static_cast<BYTE>(((color >> 16) & 0xFF) * a / 255);
  px[3] = a;
  HDC mem = CreateCompatibleDC(hDC);
  HGDIOBJ old = SelectObject(mem, bmp);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(hDC, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, 0, 0, 1, 1, bf);
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bmp);
}
}  // namespace

void CRenderEngine::DrawColor(HDC hDC, const RECT& rc, DWORD color) {
  if ((color >> 24) == 0 || rc.right <= rc.left || rc.bottom <= rc.top) return;
  if ((color >> 24) < 255) {
    BlendColor(hDC, rc, color);
    return;
  }
  SetBkColor(hDC, ToColorRef(color));
  ExtTextOutW(hDC, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
}

void CRenderEngine::DrawRoundColor(HDC hDC, const RECT& rc, SIZE round, DWORD color) {
  if (round.cx <= 0 || round.cy <= 0) {
    DrawColor(hDC, rc, color);
    return;
  }
  if ((color >> 24) == 0) return;
  HRGN rgn = CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1, round.cx, round.cy);
  HBRUSH brush = CreateSolidBrush(ToColorRef(color));
  FillRgn(hDC, rgn, brush);
  DeleteObject(brush);
  DeleteObject(rgn);
}

void CRenderEngine::DrawBorder(HDC hDC, const RECT& rc, const RECT& sizes, SIZE round, DWORD color) {
  if ((color >> 24) == 0) return;
  if (round.cx > 0 && round.cy > 0 && sizes.left > 0) {
    HRGN rgn = CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1, round.cx, round.cy);
    HBRUSH brush = CreateSolidBrush(ToColorRef(color));
    FrameRgn(hDC, rgn, brush, sizes.left, sizes.left);
    DeleteObject(brush);
    DeleteObject(rgn);
    return;
  }
  if (sizes.left > 0) DrawColor(hDC, {rc.left, rc.top, rc.left + sizes.left, rc.bottom}, color);
  if (sizes.top > 0) DrawColor(hDC, {rc.left, rc.top, rc.right, rc.top + sizes.top}, color);
  if (sizes.right > 0) DrawColor(hDC, {rc.right - sizes.right, rc.top, rc.right, rc.bottom}, color);
  if (sizes.bottom > 0) DrawColor(hDC, {rc.left, rc.bottom - sizes.bottom, rc.right, rc.bottom}, color);
}

namespace {
void BlendPart(HDC hDC, HDC mem, const TImageInfo* img, RECT dst, RECT src, BYTE fade) {
  if (dst.right <= dst.left || dst.bottom <= dst.top || src.right <= src.left || src.bottom <= src.top)
    return;
  BLENDFUNCTION bf{AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
  AlphaBlend(hDC, dst.left, dst.top, dst.right - dst.left, dst.bottom - dst.top, mem, src.left,
             src.top, src.right - src.left, src.bottom - src.top, bf);
  (void)img;
}
}  // namespace

bool CRenderEngine::DrawImage(HDC hDC, CPaintManagerUI* pManager, const RECT& rcItem,
                              const RECT& rcPaint, const TDrawInfo& info) {
  if (!pManager || info.sFile.empty()) return false;
  // Held while drawing: the cache may let go of its own reference meanwhile.
  std::shared_ptr<const TImageInfo> img = pManager->AcquireImage(info.sFile);
  if (!img && pManager->IsOutsideImage(info.sFile)) {
    DrawImagePlaceholder(hDC, ImageDestination(rcItem, info), rcPaint);
    return true;
  }
  return DrawImage(hDC, img.get(), rcItem, rcPaint, info);
}

RECT CRenderEngine::ImageDestination(const RECT& rcItem, const TDrawInfo& info) {
  if (!info.bHasDest) return rcItem;
  RECT dst{rcItem.left + info.rcDest.left, rcItem.top + info.rcDest.top, rcItem.left + info.rcDest.right,
           rcItem.top + info.rcDest.bottom};
  if (dst.right > rcItem.right) dst.right = rcItem.right;
  if (dst.bottom > rcItem.bottom) dst.bottom = rcItem.bottom;
  return dst;
}

void CRenderEngine::DrawImagePlaceholder(HDC hDC, const RECT& rc, const RECT& rcPaint) {
  RECT visible;
  if (!IntersectRect(&visible, &rc, &rcPaint)) return;
  int saved = SaveDC(hDC);
  IntersectClipRect(hDC, rcPaint.left, rcPaint.top, rcPaint.right, rcPaint.bottom);
  DrawColor(hDC, rc, kImagePlaceholderFill);
  DrawBorder(hDC, rc, RECT{1, 1, 1, 1}, SIZE{}, kImagePlaceholderFrame);
  RestoreDC(hDC, saved);
}

bool CRenderEngine::DrawImage(HDC hDC, const TImageInfo* img, const RECT& rcItem, const RECT& rcPaint,
                              const TDrawInfo& info) {
  if (!img) return false;
  const RECT dst = ImageDestination(rcItem, info);
  RECT check;
  if (!IntersectRect(&check, &dst, &rcPaint)) return true;
  RECT src{0, 0, img->nWidth, img->nHeight};
  if (info.bHasSource) {
    src = info.rcSource;
    if (src.right > img->nWidth) src.right = img->nWidth;
    if (src.bottom > img->nHeight) src.bottom = img->nHeight;
  }
  HDC mem = CreateCompatibleDC(hDC);
  HGDIOBJ old = SelectObject(mem, img->hBitmap);
  int saved = SaveDC(hDC);
  IntersectClipRect(hDC, rcPaint.left, rcPaint.top, rcPaint.right, rcPaint.bottom);
  int oldMode = SetStretchBltMode(hDC, HALFTONE);
  const RECT& c = info.rcCorner;
  if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
    BlendPart(hDC, mem, img, dst, src, info.uFade);
  } else {
    // Nine-slice: corners keep their size, edges and centre stretch.
    int dx[4] = {dst.left, dst.left + c.left, dst.right - c.right, dst.right};
    int dy[4] = {dst.top, dst.top + c.top, dst.bottom - c.bottom, dst.bottom};
    int sx[4] = {src.left, src.left + c.left, src.right - c.right, src.right};
    int sy[4] = {src.top, src.top + c.top, src.bottom - c.bottom, src.bottom};
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 3; ++col)
        BlendPart(hDC, mem, img, {dx[col], dy[row], dx[col + 1], dy[row + 1]},
                  {sx[col], sy[row], sx[col + 1], sy[row + 1]}, info.uFade);
  }
  SetStretchBltMode(hDC, oldMode);
  RestoreDC(hDC, saved);
  SelectObject(mem, old);
  DeleteDC(mem);
  return true;
}

void CRenderEngine::DrawSingleText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const CDuiString& text,
                             DWORD dwTextColor, int iFont, UINT uStyle) {
  if (!pManager) return;
  HGDIOBJ oldFont = SelectObject(hDC, pManager->GetFont(iFont));
  SetBkMode(hDC, TRANSPARENT);
  SetTextColor(hDC, ToColorRef(dwTextColor));
  ::DrawTextW(hDC, text.c_str(), static_cast<int>(text.size()), &rc, uStyle | DT_NOPREFIX);
  SelectObject(hDC, oldFont);
}

}  // namespace DuiLib
