// The emoji images in the runnable skin folder: exactly the files the image table names, and their licence.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "emoji/emoji_tables.h"

TEST(EmojiImages, TheFolderHoldsExactlyTheNamedFilesAndTheLicence) {
  wchar_t exe[MAX_PATH];
  std::wstring skin(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
  skin = skin.substr(0, skin.find_last_of(L"\\/") + 1) + L"..\\Veltrina\\skin\\emoji\\";
  std::set<std::string> named, found;
  for (const auto& [code_point, stem] : veltrinawnd::EmojiImages()) named.insert(veltrinawnd::EmojiImageFile(stem));
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((skin + L"*.png").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "no skin folder: build veltrina_runtime_files";
  do found.insert("emoji/" + std::string(data.cFileName, data.cFileName + wcslen(data.cFileName)));
  while (FindNextFileW(h, &data));
  FindClose(h);
  EXPECT_EQ(found, named);
  EXPECT_NE(GetFileAttributesW((skin + L"LICENSE.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}
