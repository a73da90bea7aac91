// The account store: teams, user names and the last team, kept across objects and corrupt files.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "test_support.h"
#include "veltrina/account_manager.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace {

using veltrina::AccountManager;
using veltrina::Team;

TEST(Accounts, TwoTeamsAndTheLastOne) {
  core_test::TempFolder folder;
  {
    AccountManager store(folder.path());
    ASSERT_TRUE(store.InitOrDie());
    EXPECT_EQ(store.LastTeamId(), "");
    EXPECT_FALSE(store.TeamForTeamId("t-demo"));
    EXPECT_TRUE(store.Register(Team("t-demo", "demo", "演示团队"), "alice"));
    EXPECT_TRUE(store.Register(Team("t-acme", "acme", "Acme"), "carol"));
  }
  AccountManager store(folder.path());  // a new object reads what the first one wrote
  ASSERT_TRUE(store.InitOrDie());
  EXPECT_EQ(store.LastTeamId(), "t-acme");
  auto demo = store.TeamForTeamId("t-demo");
  ASSERT_TRUE(demo);
  EXPECT_EQ(demo->team_subdomain(), "demo");
  EXPECT_EQ(demo->team_name(), "演示团队");
  EXPECT_EQ(store.UsernameForTeamId("t-demo"), "alice");
  EXPECT_EQ(store.UsernameForTeamId("t-acme"), "carol");
  EXPECT_EQ(store.UsernameForTeamId("t-none"), "");
  // Signing in to the first team again makes it the last one, with the new user name.
  EXPECT_TRUE(store.Register(Team("t-demo", "demo", "演示团队"), "bob"));
  EXPECT_EQ(store.LastTeamId(), "t-demo");
  EXPECT_EQ(store.UsernameForTeamId("t-demo"), "bob");
  EXPECT_EQ(store.UsernameForTeamId("t-acme"), "carol");
  EXPECT_FALSE(store.Register(Team("", "x", "y"), "nobody"));
}

TEST(Accounts, ACorruptFileIsMovedAsideWithALogLine) {
  core_test::TempFolder folder;
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("accounts.json"),
                                                                         "{\"teams\": [ broken"));
  std::mutex mutex;
  std::vector<std::string> lines;
  veltrina::set_log_observer([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
  });
  AccountManager store(folder.path());
  ASSERT_TRUE(store.InitOrDie());
  EXPECT_EQ(store.LastTeamId(), "");
  veltrina::set_log_observer(nullptr);
  bool logged = false;
  for (const std::string& line : lines) logged = logged || line.find("corrupt") != std::string::npos;
  EXPECT_TRUE(logged);
  EXPECT_FALSE(veltrina::FileUtils::SharedFileUtils()->IsFileExist(folder.File("accounts.json")));
  // The store works again from empty, and the broken file is still there to look at.
  EXPECT_TRUE(store.Register(Team("t-1", "one", "One"), "me"));
  EXPECT_EQ(store.LastTeamId(), "t-1");
  WIN32_FIND_DATAW data;
  std::wstring pattern = std::wstring(folder.path().begin(), folder.path().end()) + L"\\accounts.json.corrupt-*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  EXPECT_NE(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST(Accounts, JsonOfTheWrongShapeIsMovedAsideNotOverwritten) {
  core_test::TempFolder folder;
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("accounts.json"),
                                                                         R"({"teams": 5, "last_team_id": []})"));
  AccountManager store(folder.path());
  ASSERT_TRUE(store.InitOrDie());
  EXPECT_EQ(store.LastTeamId(), "");
  EXPECT_TRUE(store.Register(Team("t-1", "one", "One"), "me"));
  EXPECT_EQ(store.UsernameForTeamId("t-1"), "me");
  WIN32_FIND_DATAW data;
  std::wstring pattern = std::wstring(folder.path().begin(), folder.path().end()) + L"\\accounts.json.corrupt-*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  EXPECT_NE(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST(Accounts, AStoreThatIsNotOpenAnswersEmpty) {
  AccountManager unopened("C:\\does-not-matter");
  EXPECT_EQ(unopened.LastTeamId(), "");
  EXPECT_FALSE(unopened.Register(Team("t", "s", "n"), "u"));
  AccountManager bad("C:\\bad<>|name\\x");
  EXPECT_FALSE(bad.InitOrDie());
  EXPECT_FALSE(bad.TeamForTeamId("t"));
}

TEST(Accounts, FolderIsCreatedWhenMissing) {
  core_test::TempFolder folder;
  std::string nested = folder.File("a\\b\\数据");
  AccountManager store(nested);
  ASSERT_TRUE(store.InitOrDie());
  EXPECT_TRUE(veltrina::FileUtils::SharedFileUtils()->IsDirectoryExist(nested));
  EXPECT_TRUE(store.Register(Team("t-1", "one", "One"), "用户"));
  AccountManager again(nested);
  ASSERT_TRUE(again.InitOrDie());
  EXPECT_EQ(again.UsernameForTeamId("t-1"), "用户");
}

}  // namespace

TEST(Files, NarrowPathsAreUtf8OrTheChineseCodePage) {
  core_test::TempFolder folder;
  veltrina::FileUtils* files = veltrina::FileUtils::SharedFileUtils();
  // "文档" in UTF-8 and in code page 936 (not valid UTF-8) name the same folder.
  const std::string utf8 = folder.path() + "\\\xE6\x96\x87\xE6\xA1\xA3";
  const std::string gbk = folder.path() + "\\\xCE\xC4\xB5\xB5";
  ASSERT_TRUE(files->MakeDirectory(gbk));
  EXPECT_TRUE(files->IsDirectoryExist(utf8));
  ASSERT_TRUE(files->WriteFileAtomically(utf8 + "\\a.txt", "x"));
  std::string data;
  EXPECT_TRUE(files->ReadFile(gbk + "\\a.txt", &data));
  EXPECT_EQ(data, "x");
  std::wstring wide(folder.path().begin(), folder.path().end());
  EXPECT_NE(GetFileAttributesW((wide + L"\\文档\\a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}
