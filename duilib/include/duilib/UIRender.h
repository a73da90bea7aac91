#pragma once
// Drawing helpers: colours, images with per-pixel alpha, plain and marked-up text.
#include <vector>

#include "UIColor.h"
#include "UIDefine.h"
#include "UIImageHeader.h"

namespace DuiLib {

// "l,t,r,b" (missing values stay 0).
RECT ParseRect(const wchar_t* text);
SIZE ParseSize(const wchar_t* text);
bool ParseBool(const wchar_t* text);

// What stands for an outside picture that is pending, refused or broken (ARGB).
inline constexpr DWORD kImagePlaceholderFill = 0xFFECECEC;
inline constexpr DWORD kImagePlaceholderFrame = 0xFFD4D4D4;

// A decoded image, premultiplied BGRA, drawn with AlphaBlend.
struct TImageInfo {
  HBITMAP hBitmap = nullptr;
  int nWidth = 0;
  int nHeight = 0;
  bool bAlpha = false;
};

// An image attribute: "file.png" or "file='file.png' source='l,t,r,b' corner='l,t,r,b' fade='255'".
struct TDrawInfo {
  CDuiString sFile;
  RECT rcSource{};
  RECT rcCorner{};
  RECT rcDest{};
  bool bHasSource = false;
  bool bHasDest = false;
  BYTE uFade = 255;
};
TDrawInfo ParseDrawInfo(const CDuiString& image);

// One laid-out link of marked-up text: its content and the rectangles its text covers.
struct TMarkupLink {
  CDuiString content;
  std::vector<RECT> rects;
};

class CRenderEngine {
 public:
  // Decodes a PNG/JPEG/BMP/GIF file on the calling thread through the platform's imaging
  // component (WIC), scaled down to fit fitSide x fitSide (0: full size). Null when missing,
  // broken, or beyond IsImageSizeAcceptable (read from the header, before decoding). source, when
  // given, receives the picture's own size, or 0 by 0 when nothing was decoded. Windows call this
  // only for pictures that ship with the client; outside pictures go through CImageCache.
  static TImageInfo* LoadImageFile(const CDuiString& path, int fitSide = 0, SIZE* source = nullptr);
  static void FreeImage(TImageInfo* image);

  static void DrawColor(HDC hDC, const RECT& rc, DWORD color);
  static void DrawRoundColor(HDC hDC, const RECT& rc, SIZE round, DWORD color);
  static void DrawBorder(HDC hDC, const RECT& rc, const RECT& sizes, SIZE round, DWORD color);
  // Draws info's image into rcItem (or its dest), clipped to rcPaint. False when nothing drawn.
  static bool DrawImage(HDC hDC, CPaintManagerUI* pManager, const RECT& rcItem, const RECT& rcPaint,
                        const TDrawInfo& info);
  static bool DrawImage(HDC hDC, const TImageInfo* img, const RECT& rcItem, const RECT& rcPaint,
                        const TDrawInfo& info);
  // Where info's image is drawn inside rcItem: its dest, clipped to rcItem, or rcItem itself.
  static RECT ImageDestination(const RECT& rcItem, const TDrawInfo& info);
  // Stands for an outside picture that is not decoded (yet): a neutral fill with a frame.
  static void DrawImagePlaceholder(HDC hDC, const RECT& rc, const RECT& rcPaint);

  // Single text with DrawTextW semantics (DT_SINGLELINE, DT_END_ELLIPSIS, alignment, DT_CALCRECT).
  static void DrawSingleText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const CDuiString& text,
                       DWORD dwTextColor, int iFont, UINT uStyle);

  // Lays out marked-up text in rc, wrapping at its width unless DT_SINGLELINE. With DT_CALCRECT
  // nothing is painted and rc.bottom (and rc.right when it would shrink) becomes the extent.
  // The same code path measures and paints, so an estimate always matches what is drawn.
  // hoverLink is the index of the link under the mouse (-1 for none).
  static void DrawHtmlText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const CDuiString& text,
                           DWORD dwTextColor, int iFont, UINT uStyle,
                           std::vector<TMarkupLink>* links = nullptr, int hoverLink = -1);
};

}  // namespace DuiLib
