// The account store: teams, user names and the last team, kept across objects, corrupt and held
// files; narrow paths in UTF-8 only.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <cwchar>
#include <memory>
#include <set>
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

Team On(const std::string& server, const std::string& id, const std::string& subdomain) {
  Team team(id, subdomain, subdomain + " team");
  team.set_server(server);
  return team;
}

// The server is kept beside each team: the same team id on two servers and on the demo are three
// teams, and the last one comes back with its server.
TEST(Accounts, TeamsAreKeptWithTheirServerAndTheLastOneComesBackWithIt) {
  core_test::TempFolder folder;
  const std::string a = "http://127.0.0.1:8080", b = "https://chat.example.org";
  {
    AccountManager store(folder.path());
    ASSERT_TRUE(store.InitOrDie());
    EXPECT_EQ(store.LastTeam(), nullptr);
    EXPECT_TRUE(store.Register(On("", "t-1", "demo"), "dora"));
    EXPECT_TRUE(store.Register(On(b, "t-1", "acme"), "bob"));
    EXPECT_TRUE(store.Register(On(a, "t-1", "acme"), "alice"));
  }
  AccountManager store(folder.path());
  ASSERT_TRUE(store.InitOrDie());
  std::unique_ptr<Team> last = store.LastTeam();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->team_id() + " " + last->team_subdomain() + " " + last->server(), "t-1 acme " + a);
  EXPECT_EQ(store.LastTeamId(), "t-1");
  EXPECT_EQ(store.TeamForTeamId("t-1")->server(), a);  // the id-only calls mean the last team
  EXPECT_EQ(store.UsernameForTeamId("t-1"), "alice");
  EXPECT_EQ(store.UsernameForTeam(On(a, "t-1", "")) + store.UsernameForTeam(On(b, "t-1", "")) +
                store.UsernameForTeam(On("", "t-1", "")) + store.UsernameForTeam(On("http://other:1", "t-1", "")),
            "alicebobdora");
  // Signing in to the demo's team of that id again makes it the last one; the servers' stay.
  EXPECT_TRUE(store.Register(On("", "t-1", "demo"), "dan"));
  EXPECT_EQ(store.LastTeam()->server() + store.LastTeam()->team_subdomain() + store.UsernameForTeamId("t-1"),
            "demodan");
  EXPECT_EQ(store.UsernameForTeam(On(a, "t-1", "")) + store.UsernameForTeam(On(b, "t-1", "")), "alicebob");
}

// A file written before servers were kept: every team is on the embedded demo, and it is written
// over without losing them.
TEST(Accounts, AFileWithoutServersMeansTheEmbeddedDemo) {
  core_test::TempFolder folder;
  ASSERT_TRUE(files->WriteFileAtomically(
      folder.File("accounts.json"),
      R"({"last_team_id":"t-1","teams":[)"
      R"({"team_id":"t-1","team_subdomain":"demo","team_name":"Demo","username":"alice"},)"
      R"({"team_id":"t-2","team_subdomain":"two","team_name":"Two","username":"bob"}]})"));
  AccountManager store(folder.path());
  ASSERT_TRUE(store.InitOrDie());
  std::unique_ptr<Team> last = store.LastTeam();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->team_subdomain() + "|" + last->server() + "|" + store.UsernameForTeam(*last), "demo||alice");
  EXPECT_EQ(store.UsernameForTeamId("t-2"), "bob");
  EXPECT_TRUE(store.Register(On("http://127.0.0.1:9", "t-2", "two"), "carol"));
  EXPECT_EQ(store.UsernameForTeam(On("", "t-2", "")) + store.UsernameForTeam(On("", "t-1", "")), "bobalice");
  EXPECT_EQ(store.LastTeam()->server(), "http://127.0.0.1:9");
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

// The names in the folder, as Windows spells them.
std::set<std::wstring> NamesIn(const std::string& utf8_folder) {
  const std::u8string folder(utf8_folder.begin(), utf8_folder.end());
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((std::filesystem::path(folder).wstring() + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::wcscmp(found.cFileName, L".") && std::wcscmp(found.cFileName, L"..")) names.insert(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

// Every narrow path is UTF-8, whatever the system's code page. Zoë is outside code page 936; the 936 bytes of 谢卢
// (D0 BB C2 AC) are valid UTF-8 as well, of "л¬": a core that took both encodings would use another folder.
TEST(Files, NarrowPathsAreUtf8AndNothingElse) {
  core_test::TempFolder folder;
  for (const std::string name : {"Zoë", "谢卢"}) {
    const std::string sub = folder.File(name + "\\数据");
    ASSERT_TRUE(files->MakeDirectory(sub) && files->IsDirectoryExist(sub)) << name;
    ASSERT_TRUE(files->WriteFileAtomically(sub + "\\a.txt", name));
    std::string data;
    EXPECT_TRUE(files->IsFileExist(sub + "\\a.txt") && files->ReadFile(sub + "\\a.txt", &data) && data == name);
    AccountManager store(sub);
    ASSERT_TRUE(store.InitOrDie() && store.Register(Team("t-1", "one", "One"), name));
    AccountManager again(sub);
    EXPECT_TRUE(again.InitOrDie() && again.UsernameForTeamId("t-1") == name);
    EXPECT_EQ(NamesIn(sub), (std::set<std::wstring>{L"a.txt", L"accounts.json"})) << name;
  }
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::wstring>{L"Zoë", L"谢卢"}));
  // Bytes of another code page ("文档" in 936, not valid UTF-8) and a zero inside a path are refused with a log
  // line, never read another way: the first would name another folder, the second a shorter path.
  auto refused = std::make_shared<std::atomic<int>>(0);
  veltrina::set_log_observer([refused](const std::string& line) { *refused += line.find("Path refused") == 0; });
  const std::string gbk = folder.File("\xCE\xC4\xB5\xB5"), zero = folder.File(std::string("a\0b", 3));
  std::string data;
  EXPECT_FALSE(files->MakeDirectory(gbk) || files->IsDirectoryExist(gbk) || AccountManager(gbk).InitOrDie());
  EXPECT_FALSE(files->WriteFileAtomically(gbk + "\\a.txt", "x") || files->WriteFileAtomically(zero, "x"));
  EXPECT_FALSE(files->ReadFile(folder.File("Zoë\\数据\\a.txt" + std::string(1, '\0') + ".evil"), &data) || !data.empty());
  veltrina::set_log_observer(nullptr);
  EXPECT_GE(*refused, 5);
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::wstring>{L"Zoë", L"谢卢"}));
}

}  // namespace
