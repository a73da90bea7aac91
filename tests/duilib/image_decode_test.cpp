// Pictures from outside the skin folder are hostile: decoded by WIC on the cache's decoder thread,
// refused when huge, scaled down, kept within one memory budget, and painted as a placeholder until
// decoded. Crafted, truncated and mutated files end as a picture or a remembered failure.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "dui_test_support.h"

namespace {

using Status = CImageCache::Status;

// Small valid seeds of every format the toolkit reads: a colour gradient, partly transparent.
std::vector<std::pair<std::wstring, std::string>> Seeds() {
  std::vector<unsigned char> rgba;
  for (int i = 0; i < 8 * 8; ++i) rgba.insert(rgba.end(), {static_cast<unsigned char>(i * 4), 90, 200, static_cast<unsigned char>(i < 8 ? 128 : 255)});
  std::string png = EncodePng(8, 8, rgba), jpg, bmp;
  stbi_write_jpg_to_func(AppendBytes, &jpg, 8, 8, 4, rgba.data(), 90);
  stbi_write_bmp_to_func(AppendBytes, &bmp, 8, 8, 4, rgba.data());
  // 2 by 2, two colours, LZW codes kept at three bits by a clear code before every pixel.
  const std::string gif("GIF89a\x02\x00\x02\x00\x80\x00\x00\xff\x00\x00\x00\x00\xff,\x00\x00\x00\x00\x02\x00\x02\x00\x00"
                        "\x02\x04\x04\xc3\x10\x05\x00;", 37);
  return {{L"png", png}, {L"jpg", jpg}, {L"bmp", bmp}, {L"gif", gif}};
}

std::string SolidGreyPng(int side, unsigned char grey) {
  std::string out;
  std::vector<unsigned char> pixels(size_t(side) * side, grey);
  stbi_write_png_to_func(AppendBytes, &out, side, side, 1, pixels.data(), side);
  return out;
}

std::string HostileJpeg() {
  std::ifstream in(std::filesystem::path(CPaintManagerUI::GetInstancePath() + L"hostile\\dht_overflow.jpg"), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

DWORD PixelAt(const TImageInfo& image, int x, int y) {
  DIBSECTION ds{};
  GetObjectW(image.hBitmap, sizeof ds, &ds);
  return static_cast<const DWORD*>(ds.dsBm.bmBits)[y * image.nWidth + x];
}

}  // namespace

TEST(ImageDecode, CraftedBrokenAndMutatedPicturesEndDecodedOrAsARememberedFailure) {
  ScratchDir dir;
  CImageCache cache({4096, size_t{64} << 20});
  const auto seeds = Seeds();
  for (const auto& [ext, bytes] : seeds) {
    auto image = Decoded(cache, dir.Write(L"seed." + ext, bytes));
    const int side = ext == L"gif" ? 2 : 8;
    ASSERT_TRUE(image && image->nWidth == side && image->nHeight == side) << Narrow(ext);
    if (ext == L"png" || ext == L"jpg") {
      EXPECT_EQ(image->bAlpha, ext == L"png");
    }
  }
  // Queued, not decoded by the caller: the answer is at once and empty.
  const std::wstring crafted = dir.Write(L"dht_overflow.jpg", HostileJpeg());
  ASSERT_GT(HostileJpeg().size(), 2000u);
  EXPECT_TRUE(cache.Get(crafted) == nullptr && cache.StatusOf(crafted) == Status::Pending);
  EXPECT_EQ(Decoded(cache, crafted), nullptr);
  std::vector<std::wstring> bad = {crafted, dir.Write(L"text.png", "just some words, no picture"), dir.Write(L"empty.jpg", ""),
                                   dir.Write(L"header-only.png", seeds[0].second.substr(0, 33)), dir.path + L"absent.png"};
  // Cut at several lengths and mutated by a fixed sequence of byte flips and cuts: whatever WIC
  // makes of them, each ends decoded or failed, and nothing crashes.
  std::vector<std::wstring> variants;
  unsigned state = 12345;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 8; };
  for (const auto& [ext, bytes] : seeds) {
    for (size_t cut : {size_t{1}, size_t{8}, size_t{20}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 1})
      variants.push_back(dir.Write(L"cut" + std::to_wstring(cut) + L"." + ext, bytes.substr(0, cut)));
    for (int i = 0; i < 75; ++i) {
      std::string mutated = bytes;
      for (unsigned flips = 1 + next() % 4; flips > 0; --flips) mutated[next() % mutated.size()] ^= static_cast<char>(1 + next() % 255);
      if (i % 5 == 4) mutated.resize(next() % mutated.size());
      variants.push_back(dir.Write(L"m" + std::to_wstring(i) + L"." + ext, mutated));
    }
  }
  for (const auto& path : variants) cache.Get(path);
  ASSERT_TRUE(cache.WaitForDecodes(60000));
  size_t decoded = 0;
  for (const auto& path : variants) {
    decoded += Decoded(cache, path) != nullptr;
    EXPECT_TRUE(cache.StatusOf(path) == Status::Ready || cache.StatusOf(path) == Status::Failed);
  }
  EXPECT_TRUE(decoded > 0 && decoded < variants.size()) << decoded;
  // A failure is remembered: asking again queues nothing, until the file changes or is forgotten.
  for (const auto& path : bad) {
    EXPECT_EQ(Decoded(cache, path), nullptr);
    EXPECT_TRUE(cache.Get(path) == nullptr && cache.StatusOf(path) == Status::Failed) << Narrow(path);
  }
  cache.ForgetFailed(bad[1]);
  EXPECT_EQ(cache.StatusOf(bad[1]), Status::Absent);
  dir.Write(L"text.png", seeds[0].second);
  EXPECT_NE(Decoded(cache, bad[1]), nullptr);
}

TEST(ImageDecode, LargePicturesAreRefusedOrScaledAndTwentyHeldStayWithinTheBudget) {
  EXPECT_TRUE(IsImageSizeAcceptable(16384, 3000) && !IsImageSizeAcceptable(16385, 1) && !IsImageSizeAcceptable(7100, 7100));
  ScratchDir dir;
  CImageCache cache({512, size_t{64} << 20});
  const std::string big = SolidGreyPng(4096, 0x80);
  auto image = Decoded(cache, dir.Write(L"big.png", big));
  ASSERT_TRUE(image && image->nWidth == 1024 && image->nHeight == 1024 && !image->bAlpha);
  EXPECT_EQ(PixelAt(*image, 512, 512), 0xFF808080u);
  EXPECT_EQ(cache.Bytes(), size_t{1024} * 1024 * 4);
  image.reset();

  // Twenty held by their controls: no more than the budget is ever decoded; the rest wait as
  // placeholders, and are decoded once memory is given back.
  std::vector<std::wstring> paths;
  for (int i = 0; i < 20; ++i) paths.push_back(dir.Write(L"photo" + std::to_wstring(i) + L".png", big));
  std::vector<std::shared_ptr<const TImageInfo>> held(paths.size());
  auto settle = [&] {
    for (int round = 0; round < 200; ++round) {
      for (size_t i = 0; i < paths.size(); ++i)
        if (!held[i]) held[i] = cache.Get(paths[i]);
      EXPECT_LE(cache.Bytes(), cache.GetLimits().bytes);
      if (std::none_of(paths.begin(), paths.end(), [&](auto& p) { return cache.StatusOf(p) == Status::Pending; })) break;
      cache.WaitForDecodes(30000);
    }
    return std::count_if(held.begin(), held.end(), [](auto& h) { return h != nullptr; });
  };
  EXPECT_EQ(settle(), 16);
  EXPECT_EQ(cache.Bytes(), cache.GetLimits().bytes);
  EXPECT_EQ(std::count_if(paths.begin(), paths.end(), [&](auto& p) { return cache.StatusOf(p) == Status::Deferred; }), 4);
  // Four controls holding pictures go away; the four that waited are decoded in their place.
  std::vector<std::wstring> waited;
  for (const auto& p : paths)
    if (cache.StatusOf(p) == Status::Deferred) waited.push_back(p);
  std::vector<std::wstring> shown;
  std::vector<std::shared_ptr<const TImageInfo>> still;
  for (size_t i = 0, gone = 0; i < paths.size(); ++i)
    if (held[i] && gone++ >= 4) shown.push_back(paths[i]), still.push_back(held[i]);
  shown.insert(shown.end(), waited.begin(), waited.end());
  still.resize(shown.size());
  paths = std::move(shown), held = std::move(still);  // the first four are let go here
  EXPECT_EQ(settle(), 16);
  EXPECT_TRUE(std::all_of(waited.begin(), waited.end(), [&](auto& p) { return cache.StatusOf(p) == Status::Ready; }));
}

TEST(ImageDecode, AWindowPaintsAPlaceholderAtOnceAndThePictureAfterTheDecodeMessage) {
  ScratchDir skins, downloads;
  CPaintManagerUI::SetResourcePath(skins.path);
  const std::wstring avatar = downloads.Write(L"avatar.png", SolidPng(0, 255)), crafted = downloads.Write(L"crafted.jpg", HostileJpeg());
  SkinWindow w(L"<Window size=\"100,100\"><HorizontalLayout bkcolor=\"#FFFFFFFF\"><Button name=\"a\" normalimage=\"" + avatar +
               L"\"/><Button name=\"b\" normalimage=\"" + crafted + L"\"/></HorizontalLayout></Window>");
  EXPECT_TRUE(w.PM().IsOutsideImage(avatar) && !w.PM().IsOutsideImage(L"emoji/1f600.png") &&
              !w.PM().IsOutsideImage(skins.path + L"x.png") && w.PM().IsOutsideImage(L"..\\x.png"));
  // The decoder thread is kept busy until the window has painted: what it paints meanwhile cannot
  // come from a decode on the UI thread.
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CImageCache::Shared().DecodeDetached(avatar, 10, [gate](TDecodedImage) { WaitForSingleObject(gate, 10000); });
  ASSERT_TRUE(w.Open(100, 100));  // painted at once: both queued, both placeholders
  const DWORD placeholder = kImagePlaceholderFill & 0xFFFFFF;
  EXPECT_TRUE(Painted(w, 100, 100)[50 * 100 + 25] == placeholder && Painted(w, 100, 100)[50 * 100 + 75] == placeholder);
  EXPECT_EQ(CImageCache::Shared().StatusOf(avatar), Status::Pending);
  SetEvent(gate);
  ASSERT_TRUE(CImageCache::Shared().WaitForDecodes());
  CloseHandle(gate);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, w.GetHWND(), CImageCache::DecodedMessage(), CImageCache::DecodedMessage(), PM_NOREMOVE));
  Pump();
  RECT dirty;
  EXPECT_FALSE(GetUpdateRect(w.GetHWND(), &dirty, FALSE));  // the message made it paint again
  EXPECT_EQ(Painted(w, 100, 100)[50 * 100 + 25], 0x0000FFu);
  EXPECT_EQ(Painted(w, 100, 100)[50 * 100 + 75], placeholder);  // the crafted one failed, and is not tried again
  EXPECT_EQ(CImageCache::Shared().StatusOf(crafted), Status::Failed);
  CPaintManagerUI::SetResourcePath(L"");
}
