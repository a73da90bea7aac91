// The stored login in the Windows credential manager, and the string helpers it relies on.
#include <gtest/gtest.h>
#include <windows.h>

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

TEST(Storage, EncodingsTakeBadInputAndPathsTravelInUtf8) {
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("登录 ok")), "登录 ok");
  EXPECT_EQ(Utf8ToUtf16(std::string("ab\0cd", 5)), L"ab");  // up to the first zero
  EXPECT_FALSE(Utf8ToUtf16("\xff\xfe bad").empty());         // invalid input never throws
  // A name no ANSI code page spells, and one whose code page 936 bytes are valid UTF-8 as well.
  EXPECT_EQ(Utf16ToUtf8(L"C:\\Users\\Zoë\\谢卢"), "C:\\Users\\Zo\xC3\xAB\\\xE8\xB0\xA2\xE5\x8D\xA2");
  EXPECT_EQ(Utf8ToUtf16(GetImageCacheFolder()), GetDocumentsFolder() + L"/tmp/");
}
