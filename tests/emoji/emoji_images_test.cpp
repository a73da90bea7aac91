// The emoji images in the runnable skin folder: exactly the files the image table names, each a
// 20 by 20 PNG with alpha, and their licence beside them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

// Kept private to this file: duilib links its own copy of stb_image.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "emoji/emoji_tables.h"

namespace {
// "<folder of this executable>\..\Veltrina\skin\<relative>"
std::wstring SkinPath(const std::string& relative) {
  wchar_t exe[MAX_PATH];
  std::wstring path(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"..\\Veltrina\\skin\\";
  for (char c : relative) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}
}  // namespace

TEST(EmojiImages, TheFolderHoldsExactlyTheNamedFilesEachA20By20PngWithAlpha) {
  std::set<std::string> named;
  for (const auto& [code_point, stem] : veltrinawnd::EmojiImages()) named.insert(veltrinawnd::EmojiImageFile(stem));
  ASSERT_EQ(named.size(), 823u);
  std::set<std::string> found;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(SkinPath("emoji/*.png").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "no skin folder: build veltrina_runtime_files";
  do found.insert("emoji/" + std::string(data.cFileName, data.cFileName + wcslen(data.cFileName)));
  while (FindNextFileW(h, &data));
  FindClose(h);
  EXPECT_EQ(found, named);
  for (const std::string& file : named) {
    std::ifstream in(SkinPath(file).c_str(), std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int w = 0, h = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels, 4);
    ASSERT_NE(pixels, nullptr) << file;
    int min_alpha = 255, max_alpha = 0;
    for (int i = 0; i < w * h; ++i) {
      min_alpha = std::min<int>(min_alpha, pixels[i * 4 + 3]);
      max_alpha = std::max<int>(max_alpha, pixels[i * 4 + 3]);
    }
    stbi_image_free(pixels);
    EXPECT_TRUE(w == 20 && h == 20 && (channels == 4 || channels == 2)) << file << " " << w << "x" << h;
    EXPECT_TRUE(max_alpha >= 250 && min_alpha < 255) << file << ": no visible picture, or an opaque square";
  }
  EXPECT_NE(GetFileAttributesW(SkinPath("emoji/LICENSE.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}
