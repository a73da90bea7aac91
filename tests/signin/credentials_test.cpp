// The stored login in the Windows credential manager, and the string helpers it relies on.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <clocale>
#include <thread>

#include "app/storage.h"

using namespace veltrinawnd;

TEST(Credentials, TeamsKeepSeparateEntriesAndNonAsciiPasswordsRoundTrip) {
  ASSERT_TRUE(SaveCredential("t-cred-a", "alice", "pässwörd密码"));
  ASSERT_TRUE(SaveCredential("t-cred-b", "alice", "other"));
  EXPECT_EQ(LoadPassword("t-cred-a", "alice"), L"pässwörd密码");
  EXPECT_EQ(LoadPassword("t-cred-b", "alice"), L"other");
  EXPECT_EQ(LoadPassword("t-cred-none", "alice"), L"");
}

TEST(Credentials, AnotherUserGetsNothingUntilItSignsIn) {
  ASSERT_TRUE(SaveCredential("t-cred-c", "alice", "a-pass"));
  EXPECT_EQ(LoadPassword("t-cred-c", "bob"), L"");
  EXPECT_EQ(LoadPassword("t-cred-c", "Alice"), L"");  // user names compare exactly
  ASSERT_TRUE(SaveCredential("t-cred-c", "bob", "b-pass"));
  EXPECT_EQ(LoadPassword("t-cred-c", "bob"), L"b-pass");
  EXPECT_EQ(LoadPassword("t-cred-c", "alice"), L"");
}

TEST(Credentials, OverlongValuesAreRefusedNotCut) {
  ASSERT_TRUE(SaveCredential("t-cred-d", "alice", "kept"));
  EXPECT_FALSE(SaveCredential("t-cred-d", "alice", std::string(255, 'p')));
  EXPECT_FALSE(SaveCredential("t-cred-d", std::string(255, 'u'), "p"));
  EXPECT_FALSE(SaveCredential(std::string(1020, 't'), "alice", "p"));
  EXPECT_TRUE(SaveCredential("t-cred-e", std::string(254, 'u'), std::string(254, 'p')));
  EXPECT_EQ(LoadPassword("t-cred-e", std::string(254, 'u')), std::wstring(254, L'p'));
  EXPECT_EQ(LoadPassword("t-cred-d", "alice"), L"kept");  // the refused write changed nothing
}

TEST(Storage, SplitKeepsNonEmptyPiecesBetweenWholeSeparators) {
  EXPECT_EQ(Split("x=|link|http://a|", "|"), (std::vector<std::string>{"x=", "link", "http://a"}));
  EXPECT_EQ(Split("a||b", "|"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Split("a::b:c", "::"), (std::vector<std::string>{"a", "b:c"}));
  EXPECT_TRUE(Split("", "|").empty());
  EXPECT_TRUE(Split("|||", "|").empty());
}

TEST(Storage, EncodingsRoundTripAndFoldersHangTogether) {
  EXPECT_EQ(Utf8ToUtf16("登录 ok"), L"登录 ok");
  EXPECT_EQ(Utf16ToUtf8(L"登录 ok"), "登录 ok");
  EXPECT_EQ(Utf8ToUtf16(std::string("ab\0cd", 5)), L"ab");  // up to the first zero
  EXPECT_FALSE(Utf8ToUtf16("\xff\xfe bad").empty());         // invalid input never throws
  EXPECT_EQ(AnsiToWide(WideToAnsi(L"C:\\Documents\\file.png")), L"C:\\Documents\\file.png");
  std::wstring docs = GetDocumentsFolder();
  ASSERT_FALSE(docs.empty());
  EXPECT_EQ(GetDataFolder(), docs + L"\\Veltrina");
  EXPECT_EQ(GetImageCacheFolder(), WideToAnsi(docs) + "/tmp/");
  std::wstring exe = GetExecutableFolder();
  EXPECT_FALSE(exe.empty());
  EXPECT_NE(exe.back(), L'\\');
}

TEST(Storage, AnsiPathsUseTheChineseCodePageAndLeaveTheLocaleAlone) {
  // "文档" in code page 936 is CE C4 B5 B5.
  EXPECT_EQ(WideToAnsi(L"C:\\文档\\a.png"), "C:\\\xCE\xC4\xB5\xB5\\a.png");
  EXPECT_EQ(AnsiToWide("C:\\\xCE\xC4\xB5\xB5\\a.png"), L"C:\\文档\\a.png");
  EXPECT_EQ(WideToAnsi(std::wstring(L"ab\0cd", 5)), "ab");  // up to the first zero
  EXPECT_EQ(AnsiToWide(""), L"");

  // The C locale is process-wide: a conversion on one thread must not change it under another.
  ASSERT_NE(std::setlocale(LC_ALL, "English"), nullptr);
  const std::string before = std::setlocale(LC_ALL, nullptr);
  std::atomic<int> conversions{0};
  std::thread converter([&conversions] {
    for (int i = 0; i < 300; ++i, ++conversions) AnsiToWide(WideToAnsi(L"C:\\图片\\头像.png"));
  });
  int changed = 0;
  for (DWORD start = GetTickCount(); conversions < 300 && GetTickCount() - start < 10000;) {
    if (before != std::setlocale(LC_ALL, nullptr)) ++changed;
  }
  converter.join();
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr));
  std::setlocale(LC_ALL, "C");
}
