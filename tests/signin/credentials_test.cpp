// The stored login in the Windows credential manager, and the string helpers it relies on.
#include <gtest/gtest.h>

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
