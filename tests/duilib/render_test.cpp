// Images, the image cache, font variants, and colours parsed from skins.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "dui_test_support.h"

// Broken, truncated and missing files are image_decode_test's: the same decoder.
TEST(Images, PngLoadsPremultiplied) {
  ScratchDir dir;
  // 3x1: opaque red, half-transparent green, fully transparent blue.
  const std::string rgb = EncodePng(3, 1, {255, 0, 0, 255, 0, 200, 0, 128, 0, 0, 255, 0});
  TImageInfo* img = CRenderEngine::LoadImageFile(dir.Write(L"img.png", rgb));
  ASSERT_NE(img, nullptr);
  EXPECT_TRUE(img->nWidth == 3 && img->nHeight == 1 && img->bAlpha);
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(img->hBitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
  const auto* px = static_cast<const BYTE*>(ds.dsBm.bmBits);
  const int expected[12] = {0, 0, 255, 255, 0, 200 * 128 / 255, 0, 128, 0, 0, 0, 0};  // BGRA
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(px[i], expected[i], 1) << i;
  CRenderEngine::FreeImage(img);
}

// The cache follows the file on disk, refuses a huge picture from its header, scales a wide one,
// stays within its bounds and never frees an image somebody holds.
TEST(Images, CacheReloadsChangedFilesRefusesHugeOnesAndIsBounded) {
  ScratchDir dir;
  CImageCache& shared = CImageCache::Shared();
  const std::string png = EncodePng(2, 2, std::vector<unsigned char>(16, 255));  // 16 bytes decoded
  std::wstring path = dir.Write(L"avatar.png", png);
  EXPECT_EQ(Decoded(shared, path)->nWidth, 2);
  dir.Write(L"avatar.png", EncodePng(3, 1, std::vector<unsigned char>(12, 255)));
  EXPECT_EQ(Decoded(shared, path)->nWidth, 3);
  EXPECT_EQ(Decoded(shared, dir.Write(L"wide.png", EncodePng(16385, 1, std::vector<unsigned char>(16385 * 4)))), nullptr);
  auto edge = Decoded(shared, dir.Write(L"edge.png", EncodePng(4096, 2, std::vector<unsigned char>(4096 * 8))));
  EXPECT_TRUE(edge && edge->nWidth == kMaxDecodedSide && edge->nHeight == 1);
  CImageCache cache({3, 1 << 20}), small({100, 40});
  auto held = Decoded(cache, path);
  for (int i = 0; i < 8; ++i) {
    std::wstring other = dir.Write(L"i" + std::to_wstring(i) + L".png", png);
    ASSERT_TRUE(Decoded(cache, other) && Decoded(small, other));
  }
  EXPECT_TRUE(cache.Count() == 3u && cache.Get(path) == held);  // still the same, still drawable
  EXPECT_EQ(GetObjectType(held->hBitmap), static_cast<DWORD>(OBJ_BITMAP));
  EXPECT_TRUE(small.Bytes() <= 40u && small.Count() == 2u);
}

// Bold variants belong to their font: a handle reused after a window closed must not bring back another's variant.
TEST(Fonts, BoldVariantsFollowTheirFont) {
  HDC dc = CreateCompatibleDC(nullptr);
  auto boldHeight = [&](int size) {
    CPaintManagerUI pm;
    pm.SetDefaultFont(L"Arial", size, false, false, false);
    RECT rc{0, 0, 1000, 1000};
    CRenderEngine::DrawHtmlText(dc, &pm, rc, L"{b}W{/b}", 0, -1, DT_CALCRECT);
    return rc.bottom;
  };
  const int sizes[3] = {10, 25, 40}, heights[3] = {boldHeight(10), boldHeight(25), boldHeight(40)};
  ASSERT_LT(heights[0], heights[2]);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(boldHeight(sizes[i % 3]), heights[i % 3]) << i;
  HFONT variant = nullptr;
  {
    CPaintManagerUI pm;
    variant = pm.GetStyledFont(-1, true, true);
    EXPECT_TRUE(variant != pm.GetFont(-1) && pm.GetStyledFont(-1, true, true) == variant);
  }
  EXPECT_EQ(GetObjectType(variant), 0u);  // freed with its font
  DeleteDC(dc);
}

// Buttons draw good images and skip missing or broken ones; a picture rewritten on disk shows on the next paint.
TEST(Images, ButtonsPaintGoodImagesSkipBadOnesAndFollowTheFile) {
  ScratchDir dir;
  dir.Write(L"pic.png", SolidPng(0, 255));
  dir.Write(L"bad.png", "not an image at all");
  SkinWindow w(L"<Window size=\"200,100\"><HorizontalLayout bkcolor=\"#FFFFFFFF\">"
               L"<Button name=\"good\" width=\"50\"/><Button name=\"missing\" width=\"50\"/>"
               L"<Button name=\"bad\" width=\"50\"/></HorizontalLayout></Window>");
  ASSERT_TRUE(w.Open(200, 100));
  CPaintManagerUI::SetResourcePath(dir.path);
  w.Find<CButtonUI>(L"good")->SetNormalImage(L"pic.png");
  w.Find<CButtonUI>(L"missing")->SetNormalImage(L"nothing-here.png");
  w.Find<CButtonUI>(L"bad")->SetNormalImage(L"file='bad.png' corner='2,2,2,2'");
  w.Find<CButtonUI>(L"bad")->SetHotImage(L"also-missing.png");
  w.SendWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(125, 50));
  std::vector<DWORD> px = Painted(w, 200, 100);  // the good image stretched; missing or corrupt: background
  EXPECT_TRUE(px[50 * 200 + 25] == 0x0000FFu && px[50 * 200 + 75] == 0xFFFFFFu && px[50 * 200 + 125] == 0xFFFFFFu);
  dir.Write(L"pic.png", SolidPng(255, 0) + std::string(16, '\0'));  // another size: trailing bytes
  EXPECT_EQ(Painted(w, 200, 100)[50 * 200 + 25], 0xFF0000u);
}
