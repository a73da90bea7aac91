// The stored login in the Windows credential manager, and the string helpers it relies on.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <clocale>
#include <thread>

#include "app/storage.h"

using namespace veltrinawnd;

TEST(Credentials, EachTeamKeepsOnePasswordForExactlyItsLastUserAndOverlongValuesAreRefusedNotCut) {
  ASSERT_TRUE(SaveCredential("t-cred-a", "alice", "pässwörd密码") && SaveCredential("t-cred-b", "alice", "other"));
  ASSERT_TRUE(SaveCredential("t-cred-a", "bob", "b-pass"));
  EXPECT_FALSE(SaveCredential("t-cred-b", "alice", std::string(255, 'p')));
  EXPECT_FALSE(SaveCredential("t-cred-b", std::string(255, 'u'), "p"));
  EXPECT_FALSE(SaveCredential(std::string(1020, 't'), "alice", "p"));
  EXPECT_TRUE(SaveCredential("t-cred-e", std::string(254, 'u'), std::string(254, 'p')));
  // Each team's last user only, names compared exactly; the refused writes changed nothing.
  EXPECT_EQ(LoadPassword("t-cred-a", "bob") + L"|" + LoadPassword("t-cred-a", "alice") + L"|" +
                LoadPassword("t-cred-a", "Bob") + L"|" + LoadPassword("t-cred-none", "bob") + L"|" +
                LoadPassword("t-cred-b", "alice"),
            L"b-pass||||other");
  EXPECT_EQ(LoadPassword("t-cred-e", std::string(254, 'u')), std::wstring(254, L'p'));
}

TEST(Storage, EncodingsTakeBadInputAndAnsiPathsUseTheChineseCodePageAndLeaveTheLocaleAlone) {
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("登录 ok")), "登录 ok");
  EXPECT_EQ(Utf8ToUtf16(std::string("ab\0cd", 5)), L"ab");  // up to the first zero
  EXPECT_FALSE(Utf8ToUtf16("\xff\xfe bad").empty());         // invalid input never throws
  EXPECT_EQ(WideToAnsi(L"C:\\文档\\a.png"), "C:\\\xCE\xC4\xB5\xB5\\a.png");  // code page 936
  EXPECT_EQ(AnsiToWide("C:\\\xCE\xC4\xB5\xB5\\a.png"), L"C:\\文档\\a.png");
  EXPECT_EQ(WideToAnsi(std::wstring(L"ab\0cd", 5)), "ab");
  // The C locale is process-wide: a conversion on one thread must not change it under another.
  ASSERT_NE(std::setlocale(LC_ALL, "English"), nullptr);
  const std::string before = std::setlocale(LC_ALL, nullptr);
  std::atomic<int> conversions{0};
  std::thread converter([&conversions] {
    for (int i = 0; i < 300; ++i, ++conversions) AnsiToWide(WideToAnsi(L"C:\\图片\\头像.png"));
  });
  int changed = 0;
  for (DWORD start = GetTickCount(); conversions < 300 && GetTickCount() - start < 10000;)
    changed += before != std::setlocale(LC_ALL, nullptr);
  converter.join();
  EXPECT_EQ(changed, 0);
  std::setlocale(LC_ALL, "C");
}
