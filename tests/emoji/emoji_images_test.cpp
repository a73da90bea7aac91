// The emoji images in the runnable skin folder ("../Veltrina/skin" beside the executable's
// folder): every file the image table names is there and is a 20 by 20 PNG with alpha.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

// Kept private to this file: duilib links its own copy of stb_image.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "emoji/emoji_tables.h"

namespace {

using veltrinawnd::EmojiImageFile;
using veltrinawnd::EmojiImages;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// "<folder of this executable>\..\Veltrina\skin\"
std::wstring SkinFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring exe(path, n);
  return exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"..\\Veltrina\\skin\\";
}

// The image's path relative to the skin folder ("emoji/emoji_1f604.png") as a Windows path.
std::wstring SkinPath(const std::string& relative) {
  std::wstring path = SkinFolder() + Widen(relative);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

bool ReadFile(const std::wstring& path, std::vector<unsigned char>* bytes) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return false;
  unsigned char buf[4096];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + got);
  fclose(f);
  return true;
}

std::set<std::string> NamedFiles() {
  std::set<std::string> files;
  for (const auto& [code_point, stem] : EmojiImages()) files.insert(EmojiImageFile(stem));
  return files;
}

TEST(EmojiImages, SkinFolderIsThere) {
  DWORD attributes = GetFileAttributesW(SkinPath("emoji").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "no skin folder: build veltrina_runtime_files";
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(EmojiImages, EveryNamedFileIsA20By20PngWithAlpha) {
  const std::set<std::string> files = NamedFiles();
  ASSERT_EQ(files.size(), 823u);
  int checked = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::vector<unsigned char> bytes;
    if (!ReadFile(SkinPath(file), &bytes)) {
      ADD_FAILURE() << "missing";
      continue;
    }
    ASSERT_GT(bytes.size(), 33u);
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(bytes.data(), kSignature, 8), 0) << "not a PNG";
    // IHDR colour type: 6 is RGBA, 4 grey with alpha.
    const int colour_type = bytes[25];
    EXPECT_TRUE(colour_type == 6 || colour_type == 4) << "colour type " << colour_type;

    int w = 0, h = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h,
                                            &channels, 4);
    ASSERT_NE(pixels, nullptr) << stbi_failure_reason();
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 20);
    EXPECT_TRUE(channels == 4 || channels == 2) << channels << " channels";
    // Per-pixel alpha in use: something visible, and not an opaque square.
    int min_alpha = 255, max_alpha = 0;
    for (int i = 0; i < w * h; ++i) {
      min_alpha = std::min<int>(min_alpha, pixels[i * 4 + 3]);
      max_alpha = std::max<int>(max_alpha, pixels[i * 4 + 3]);
    }
    EXPECT_GE(max_alpha, 250);
    EXPECT_LT(min_alpha, 255);
    stbi_image_free(pixels);
    ++checked;
  }
  EXPECT_EQ(checked, 823);
}

TEST(EmojiImages, SmileAndTheSharedNightImage) {
  for (const char* file : {"emoji/emoji_1f604.png", "emoji/emoji_1f303.png", "emoji/emoji_00a9.png",
                           "emoji/emoji_00ae.png"}) {
    EXPECT_NE(GetFileAttributesW(SkinPath(file).c_str()), INVALID_FILE_ATTRIBUTES) << file;
  }
  // U+1F320 borrows U+1F303's image and has no file of its own.
  EXPECT_EQ(GetFileAttributesW(SkinPath("emoji/emoji_1f320.png").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(EmojiImages, FolderHoldsNoImageTheTableDoesNotName) {
  const std::set<std::string> named = NamedFiles();
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(SkinPath("emoji/*.png").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int count = 0;
  do {
    std::wstring name = found.cFileName;
    std::string ascii(name.begin(), name.end());
    EXPECT_TRUE(named.count("emoji/" + ascii)) << ascii;
    ++count;
  } while (FindNextFileW(h, &found));
  FindClose(h);
  EXPECT_EQ(count, 823);
}

TEST(EmojiImages, LicenceTravelsWithTheImages) {
  EXPECT_NE(GetFileAttributesW(SkinPath("emoji/LICENSE.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
