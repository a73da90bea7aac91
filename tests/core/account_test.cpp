// The account store: teams, user names and the last team, kept across objects and corrupt files;
// narrow paths in either encoding.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "veltrina/account_manager.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace {

using veltrina::AccountManager;
using veltrina::Team;

TEST(Accounts, TeamsAndTheLastOneAreKeptInAFolderMadeWhenMissing) {
  core_test::TempFolder folder;
  std::string nested = folder.File("a\\b\\数据");
  {
    AccountManager store(nested);
    ASSERT_TRUE(store.InitOrDie());
    EXPECT_EQ(store.LastTeamId(), "");
    EXPECT_TRUE(store.Register(Team("t-demo", "demo", "演示团队"), "alice"));
    EXPECT_TRUE(store.Register(Team("t-acme", "acme", "Acme"), "用户"));
    EXPECT_FALSE(store.Register(Team("", "x", "y"), "nobody"));
  }
  AccountManager store(nested);  // a new object reads what the first one wrote
  ASSERT_TRUE(store.InitOrDie());
  EXPECT_EQ(store.LastTeamId(), "t-acme");
  ASSERT_TRUE(store.TeamForTeamId("t-demo"));
  EXPECT_EQ(store.TeamForTeamId("t-demo")->team_subdomain() + store.TeamForTeamId("t-demo")->team_name(), "demo演示团队");
  EXPECT_EQ(store.UsernameForTeamId("t-acme") + store.UsernameForTeamId("t-none"), "用户");
  // Signing in to the first team again makes it the last one, with the new user name.
  EXPECT_TRUE(store.Register(Team("t-demo", "demo", "演示团队"), "bob"));
  EXPECT_EQ(store.LastTeamId() + store.UsernameForTeamId("t-demo") + store.UsernameForTeamId("t-acme"), "t-demobob用户");

  AccountManager unopened("C:\\does-not-matter");
  EXPECT_FALSE(unopened.Register(Team("t", "s", "n"), "u"));
  EXPECT_FALSE(AccountManager("C:\\bad<>|name\\x").InitOrDie());
}

int CorruptCopies(const std::string& folder) {
  WIN32_FIND_DATAW data;
  std::wstring pattern = std::wstring(folder.begin(), folder.end()) + L"\\accounts.json.corrupt-*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  int count = 0;
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) ++count;
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return count;
}

TEST(Accounts, CorruptOrMisshapenFilesAreMovedAsideWithALogLineNotOverwritten) {
  auto* files = veltrina::FileUtils::SharedFileUtils();
  for (const char* content : {"{\"teams\": [ broken", R"({"teams": 5, "last_team_id": []})"}) {
    core_test::TempFolder folder;
    ASSERT_TRUE(files->WriteFileAtomically(folder.File("accounts.json"), content));
    std::mutex mutex;
    bool logged = false;
    veltrina::set_log_observer([&](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex);
      logged = logged || line.find("corrupt") != std::string::npos;
    });
    AccountManager store(folder.path());
    ASSERT_TRUE(store.InitOrDie());
    EXPECT_EQ(store.LastTeamId(), "");  // the file is read here
    veltrina::set_log_observer(nullptr);
    EXPECT_TRUE(logged) << content;
    // The store works again from empty, and the broken file is still there to look at.
    EXPECT_TRUE(store.Register(Team("t-1", "one", "One"), "me"));
    EXPECT_EQ(store.UsernameForTeamId("t-1"), "me");
    // A second corruption within the same second keeps its own copy beside the first.
    ASSERT_TRUE(files->WriteFileAtomically(folder.File("accounts.json"), content));
    EXPECT_EQ(store.LastTeamId(), "");
    EXPECT_EQ(CorruptCopies(folder.path()), 2) << content;
  }
}

// A store another program holds cannot be read: it is not corrupt, and nothing writes over it.
TEST(Accounts, AStoreThatCannotBeReadIsNeitherMovedNorOverwritten) {
  core_test::TempFolder folder;
  AccountManager store(folder.path());
  ASSERT_TRUE(store.InitOrDie());
  ASSERT_TRUE(store.Register(Team("t-1", "one", "One"), "me"));
  std::string path = folder.File("accounts.json");
  HANDLE held = CreateFileW(std::wstring(path.begin(), path.end()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(store.LastTeamId(), "");
  EXPECT_FALSE(store.Register(Team("t-2", "two", "Two"), "other"));
  CloseHandle(held);
  EXPECT_EQ(store.LastTeamId() + store.UsernameForTeamId("t-1"), "t-1me");
  EXPECT_EQ(CorruptCopies(folder.path()), 0);
}

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

}  // namespace
