// The account store: teams, user names and the last team, kept across objects, corrupt and held
// files; narrow paths in either encoding.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "test_support.h"
#include "veltrina/account_manager.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace {

using veltrina::AccountManager;
using veltrina::Team;
auto* const files = veltrina::FileUtils::SharedFileUtils();

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
  ASSERT_TRUE(store.InitOrDie() && store.TeamForTeamId("t-demo"));
  EXPECT_EQ(store.LastTeamId() + store.TeamForTeamId("t-demo")->team_subdomain() +
                store.TeamForTeamId("t-demo")->team_name(), "t-acmedemo演示团队");
  EXPECT_EQ(store.UsernameForTeamId("t-acme") + store.UsernameForTeamId("t-none"), "用户");
  // Signing in to the first team again makes it the last one, with the new user name.
  EXPECT_TRUE(store.Register(Team("t-demo", "demo", "演示团队"), "bob"));
  EXPECT_EQ(store.LastTeamId() + store.UsernameForTeamId("t-demo") + store.UsernameForTeamId("t-acme"), "t-demobob用户");
  EXPECT_FALSE(AccountManager("C:\\does-not-matter").Register(Team("t", "s", "n"), "u"));
  EXPECT_FALSE(AccountManager("C:\\bad<>|name\\x").InitOrDie());
}

int CorruptCopies(const std::string& folder) {
  int count = 0;
  for (const auto& f : std::filesystem::directory_iterator(std::filesystem::path(folder)))
    count += f.path().filename().string().rfind("accounts.json.corrupt-", 0) == 0;
  return count;
}

// A corrupt file is moved aside with a log line, each time; a held one is neither moved nor overwritten.
TEST(Accounts, CorruptFilesAreMovedAsideAndHeldOnesLeftAlone) {
  for (const char* content : {"{\"teams\": [ broken", R"({"teams": 5, "last_team_id": []})"}) {
    core_test::TempFolder folder;
    ASSERT_TRUE(files->WriteFileAtomically(folder.File("accounts.json"), content));
    auto logged = std::make_shared<std::atomic<bool>>(false);
    veltrina::set_log_observer([logged](const std::string& line) {
      if (line.find("corrupt") != std::string::npos) *logged = true;
    });
    AccountManager store(folder.path());
    ASSERT_TRUE(store.InitOrDie());
    EXPECT_EQ(store.LastTeamId(), "");  // the file is read here
    veltrina::set_log_observer(nullptr);
    EXPECT_TRUE(*logged) << content;
    EXPECT_TRUE(store.Register(Team("t-1", "one", "One"), "me"));
    EXPECT_EQ(store.UsernameForTeamId("t-1"), "me");
    // A second corruption within the same second keeps its own copy beside the first.
    ASSERT_TRUE(files->WriteFileAtomically(folder.File("accounts.json"), content));
    EXPECT_EQ(store.LastTeamId(), "");
    EXPECT_EQ(CorruptCopies(folder.path()), 2) << content;
  }
  core_test::TempFolder folder;
  AccountManager store(folder.path());
  ASSERT_TRUE(store.InitOrDie() && store.Register(Team("t-1", "one", "One"), "me"));
  HANDLE held = CreateFileW(std::filesystem::path(folder.File("accounts.json")).c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(store.LastTeamId(), "");
  EXPECT_FALSE(store.Register(Team("t-2", "two", "Two"), "other"));
  CloseHandle(held);
  EXPECT_EQ(store.LastTeamId() + store.UsernameForTeamId("t-1"), "t-1me");
  EXPECT_EQ(CorruptCopies(folder.path()), 0);
}

TEST(Files, NarrowPathsAreUtf8OrTheChineseCodePage) {
  core_test::TempFolder folder;
  // "文档" in UTF-8 and in code page 936 (not valid UTF-8) name the same folder.
  const std::string utf8 = folder.path() + "\\\xE6\x96\x87\xE6\xA1\xA3", gbk = folder.path() + "\\\xCE\xC4\xB5\xB5";
  ASSERT_TRUE(files->MakeDirectory(gbk) && files->IsDirectoryExist(utf8));
  ASSERT_TRUE(files->WriteFileAtomically(utf8 + "\\a.txt", "x"));
  std::string data;
  EXPECT_TRUE(files->ReadFile(gbk + "\\a.txt", &data) && data == "x");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder.path()) / L"文档\\a.txt"));
}

}  // namespace
