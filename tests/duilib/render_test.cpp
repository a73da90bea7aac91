// Attribute parsing, colours and images.
#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

TEST(Parsing, Colours) {
  EXPECT_EQ(ParseColor(L"#FFAABBCC"), 0xFFAABBCCu);
  EXPECT_EQ(ParseColor(L"#AABBCC"), 0xFFAABBCCu);
  EXPECT_EQ(ParseColor(L"#80AABBCC"), 0x80AABBCCu);
  EXPECT_EQ(ParseColor(L"#00AABBCC"), 0x00AABBCCu);
  EXPECT_EQ(ParseColor(L"0xFF102030"), 0xFF102030u);
  EXPECT_EQ(ParseColor(L"0x7F102030"), 0x7F102030u);
  EXPECT_EQ(ParseColor(L"#000000"), 0xFF000000u);  // black stays visible
  EXPECT_EQ(ParseColor(L""), 0u);
  EXPECT_EQ(ParseColor(L"#"), 0u);
  EXPECT_EQ(ParseColor(L"garbage"), 0u);
  EXPECT_EQ(ParseColor(nullptr), 0u);
}

TEST(Parsing, RectsSizesBools) {
  RECT rc = ParseRect(L"1,2,3,4");
  EXPECT_RECT(rc, 1, 2, 3, 4);
  rc = ParseRect(L"5, 6");
  EXPECT_RECT(rc, 5, 6, 0, 0);
  rc = ParseRect(L"-1,0,2,x");
  EXPECT_RECT(rc, -1, 0, 2, 0);
  SIZE sz = ParseSize(L"300,200");
  EXPECT_EQ(sz.cx, 300);
  EXPECT_EQ(sz.cy, 200);
  EXPECT_TRUE(ParseBool(L"true"));
  EXPECT_TRUE(ParseBool(L"TRUE"));
  EXPECT_TRUE(ParseBool(L"1"));
  EXPECT_FALSE(ParseBool(L"false"));
  EXPECT_FALSE(ParseBool(L"0"));
  EXPECT_FALSE(ParseBool(nullptr));
}

TEST(Parsing, DrawInfo) {
  TDrawInfo plain = ParseDrawInfo(L"btn.png");
  EXPECT_EQ(plain.sFile, L"btn.png");
  EXPECT_FALSE(plain.bHasSource);
  TDrawInfo full = ParseDrawInfo(L"file='a b.png' source='0,0,10,20' corner='2,2,2,2' dest='1,1,5,5' fade='128'");
  EXPECT_EQ(full.sFile, L"a b.png");
  EXPECT_TRUE(full.bHasSource);
  EXPECT_RECT(full.rcSource, 0, 0, 10, 20);
  EXPECT_RECT(full.rcCorner, 2, 2, 2, 2);
  EXPECT_TRUE(full.bHasDest);
  EXPECT_RECT(full.rcDest, 1, 1, 5, 5);
  EXPECT_EQ(full.uFade, 128);
}

TEST(Attributes, ListSetsGeometryAndLooks) {
  CControlUI c;
  c.SetAttributeList(L"height=\"36\"");
  EXPECT_EQ(c.GetFixedHeight(), 36);
  c.SetAttributeList(L"width='120' bkcolor=\"#FFAABBCC\"  bordercolor=\"#AABBCC\" bordersize=\"2\" "
                     L"borderround=\"6,8\" padding=\"1,2,3,4\" name=\"n\" text=\"a b=c\"");
  EXPECT_EQ(c.GetFixedWidth(), 120);
  EXPECT_EQ(c.GetFixedHeight(), 36);
  EXPECT_EQ(c.GetBkColor(), 0xFFAABBCCu);
  EXPECT_EQ(c.GetBorderColor(), 0xFFAABBCCu);
  EXPECT_EQ(c.GetBorderSize(), 2);
  EXPECT_EQ(c.GetBorderRound().cx, 6);
  EXPECT_EQ(c.GetBorderRound().cy, 8);
  EXPECT_RECT(c.GetPadding(), 1, 2, 3, 4);
  EXPECT_EQ(c.GetName(), L"n");
  EXPECT_EQ(c.GetText(), L"a b=c");
  c.SetAttributeList(L"bordersize=\"1,2,3,4\" visible=\"false\" mouse=\"false\"");
  EXPECT_EQ(c.GetBorderSize(), 1);
  EXPECT_FALSE(c.IsVisible());
  EXPECT_FALSE(c.IsMouseEnabled());
}

TEST(Attributes, MalformedListsAndUnknownNamesAreLogged) {
  LogCapture log;
  CControlUI c;
  c.SetAttributeList(L"height=36");
  EXPECT_EQ(c.GetFixedHeight(), 0);
  c.SetAttributeList(L"width=\"12");
  EXPECT_EQ(c.GetFixedWidth(), 0);
  EXPECT_TRUE(log.Contains(L"malformed")) << Narrow(log.All());
  c.SetAttributeList(L"frobnicate=\"1\" height=\"5\"");
  EXPECT_TRUE(log.Contains(L"frobnicate")) << Narrow(log.All());
  EXPECT_EQ(c.GetFixedHeight(), 5);  // the rest of the list still applies
}

// ---- images ----

std::string EncodePng(int w, int h, const std::vector<unsigned char>& rgba) {
  std::string out;
  stbi_write_png_to_func(
      [](void* ctx, void* data, int size) { static_cast<std::string*>(ctx)->append(static_cast<char*>(data), size); },
      &out, w, h, 4, rgba.data(), w * 4);
  return out;
}

TEST(Images, PngLoadsPremultiplied) {
  ScratchDir dir;
  // 3x2: opaque red, half-transparent green, fully transparent blue; second row opaque white.
  std::vector<unsigned char> rgba = {255, 0, 0, 255, 0, 200, 0, 128, 0, 0, 255, 0,
                                     255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  std::wstring path = dir.Write(L"img.png", EncodePng(3, 2, rgba));
  TImageInfo* img = CRenderEngine::LoadImageFile(path);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->nWidth, 3);
  EXPECT_EQ(img->nHeight, 2);
  EXPECT_TRUE(img->bAlpha);
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(img->hBitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
  ASSERT_EQ(ds.dsBm.bmBitsPixel, 32);
  const auto* px = static_cast<const BYTE*>(ds.dsBm.bmBits);
  ASSERT_NE(px, nullptr);
  // BGRA, top row first.
  EXPECT_EQ(px[0], 0);
  EXPECT_EQ(px[1], 0);
  EXPECT_EQ(px[2], 255);
  EXPECT_EQ(px[3], 255);
  EXPECT_EQ(px[4], 0);
  EXPECT_NEAR(px[5], 200 * 128 / 255, 1);
  EXPECT_EQ(px[6], 0);
  EXPECT_EQ(px[7], 128);
  EXPECT_EQ(px[8], 0);  // fully transparent: no colour left
  EXPECT_EQ(px[11], 0);
  EXPECT_EQ(px[12], 255);
  EXPECT_EQ(px[15], 255);
  CRenderEngine::FreeImage(img);

  std::vector<unsigned char> opaque(4 * 4 * 4, 255);
  TImageInfo* solid = CRenderEngine::LoadImageFile(dir.Write(L"solid.png", EncodePng(4, 4, opaque)));
  ASSERT_NE(solid, nullptr);
  EXPECT_FALSE(solid->bAlpha);
  CRenderEngine::FreeImage(solid);
}

TEST(Images, MissingOrCorruptFilesGiveNull) {
  ScratchDir dir;
  EXPECT_EQ(CRenderEngine::LoadImageFile(dir.path + L"absent.png"), nullptr);
  EXPECT_EQ(CRenderEngine::LoadImageFile(dir.Write(L"empty.png", "")), nullptr);
  EXPECT_EQ(CRenderEngine::LoadImageFile(dir.Write(L"junk.png", "\x89PNG\r\n\x1a\nthis is not a png")), nullptr);
  std::vector<unsigned char> rgba(8 * 8 * 4, 90);
  std::string png = EncodePng(8, 8, rgba);
  EXPECT_EQ(CRenderEngine::LoadImageFile(dir.Write(L"cut.png", png.substr(0, png.size() / 2))), nullptr);
}

TEST(Images, ButtonsPaintWithGoodAndBadImages) {
  ScratchDir dir;
  std::vector<unsigned char> rgba(10 * 10 * 4);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    rgba[i] = 0;
    rgba[i + 1] = 0;
    rgba[i + 2] = 255;
    rgba[i + 3] = 255;
  }
  dir.Write(L"blue.png", EncodePng(10, 10, rgba));
  dir.Write(L"bad.png", "not an image at all");
  SkinWindow w(L"<Window size=\"200,100\"><HorizontalLayout bkcolor=\"#FFFFFFFF\">"
               L"<Button name=\"good\" width=\"50\"/><Button name=\"missing\" width=\"50\"/>"
               L"<Button name=\"bad\" width=\"50\"/></HorizontalLayout></Window>");
  ASSERT_TRUE(w.Open(200, 100));
  CPaintManagerUI::SetResourcePath(dir.path);
  w.Find<CButtonUI>(L"good")->SetNormalImage(L"blue.png");
  w.Find<CButtonUI>(L"missing")->SetNormalImage(L"nothing-here.png");
  w.Find<CButtonUI>(L"bad")->SetNormalImage(L"file='bad.png' corner='2,2,2,2'");
  w.Find<CButtonUI>(L"bad")->SetHotImage(L"also-missing.png");

  // Render off screen into a DIB and look at the pixels.
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = 200;
  bmi.bmiHeader.biHeight = -100;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT all{0, 0, 200, 100};
  w.PM().Render(dc, all);
  GdiFlush();
  auto pixel = [&](int x, int y) { return static_cast<const DWORD*>(bits)[y * 200 + x] & 0xFFFFFF; };
  EXPECT_EQ(pixel(25, 50), 0x0000FFu);   // the good image, stretched over its button
  EXPECT_EQ(pixel(75, 50), 0xFFFFFFu);   // missing: only the background
  EXPECT_EQ(pixel(125, 50), 0xFFFFFFu);  // corrupt: only the background
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);

  // The window's own painting takes the same paths.
  InvalidateRect(w.GetHWND(), nullptr, FALSE);
  UpdateWindow(w.GetHWND());
  w.SendWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(125, 50));
  UpdateWindow(w.GetHWND());
  Pump();
  EXPECT_TRUE(IsWindow(w.GetHWND()));
}

}  // namespace
