// What the demo service keeps: its state file across restarts (never lost, never overwritten), uploads
// (refused before reading, shared under safe names, stored in its own folder) and feedback.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <set>

#include "demo_support.h"
#include "veltrina/log.h"

namespace {

using namespace core_test;
namespace fs = std::filesystem;
auto* const files = veltrina::FileUtils::SharedFileUtils();

std::string Read(const std::string& path) {
  std::string text;
  files->ReadFile(path, &text);
  return text;
}

// The shared entity's title, type and picture size, or the error.
std::string Upload(const std::string& path, const std::string& name) {
  return Ask<std::string>([&](auto done) {
    veltrina::HttpClient::SharedClient()->Upload(path, name, "", "c-random", true, [done](bool ok, auto r) {
      veltrina::Message m;
      veltrina::Entity e;
      if (!ok || !veltrina::backend::FromJson(r->raw_data(), &m) || !e.InitWithJsonOrDie(m.entity_json())) return done(r->error());
      done(e.title() + "|" + std::to_string(e.entity_type()) + "|" + std::to_string(e.thumb_width()) + "x" +
           std::to_string(e.thumb_height()) + "|" + e.path());
    });
  });
}

// How many files of the folder (the state file, copies moved aside, ...) contain `text`.
int FilesWith(const TempFolder& folder, const std::string& text) {
  int n = 0;
  for (const auto& f : fs::directory_iterator(fs::path(folder.path())))
    n += f.is_regular_file() && Read(f.path().string()).find(text) != std::string::npos;
  return n;
}

// What was sent, uploaded and read is there again after a restart.
TEST(DemoPersistence, ARestartKeepsEverythingSentAndHandsOutNoIdTwice) {
  TempFolder folder;
  const std::string bytes("\x89PNG\r\n\x1a\n and some bytes \0 with a zero", 40);
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  auto* chat = veltrina::ChatManager::DefaultManager();
  const std::string key = Send("c-random", "记住我 :smile:")->key();
  ASSERT_TRUE(files->WriteFileAtomically(folder.File("up.png"), bytes));
  const std::string up = Upload(folder.File("up.png"), "up.png");
  chat->MarkReadCursorForChannelInCache("g-leads", std::time(nullptr), false);
  EXPECT_TRUE(Succeeds([&](auto d) { chat->MarkAsRead("c-general", 1, 2147483000, d); }));
  StopDemo();
  // A stored next id below the ids in use (an edited file) must not hand them out again.
  const std::string state = std::regex_replace(Read(folder.File("demo-service.json")), std::regex(R"("next_id":\d+)"), R"("next_id":1000)");
  ASSERT_TRUE(files->WriteFileAtomically(folder.File("demo-service.json"), state));
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  const std::string fresh = Send("c-random", "two")->key();
  EXPECT_EQ(state.find(fresh.substr(fresh.find('-')) + "\""), std::string::npos) << fresh;
  int kept = 0;
  for (const auto& m : Cached("c-random")) kept += m->key() == key && m->content() == "记住我 :smile:";
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(Get(std::string(veltrina::kFileBoxUrl) + "/" + up.substr(up.rfind('|') + 1) + ".png"), bytes);
  EXPECT_EQ(chat->NumUnreadInChannelFromMemCache("c-general").num_unread + chat->NumUnreadInChannelFromMemCache("g-leads").num_unread, 0u);
}

// Each corrupt file is kept aside (two within a second too), the demo data used instead.
TEST(DemoPersistence, CorruptFilesAreEachMovedAside) {
  TempFolder folder;
  const std::string state = folder.File("demo-service.json");
  for (std::string text : {"{\"format\":1, \"teams\": [ \xff truncated", "[1,2,3]", ""}) {
    StopDemo();
    if (text.empty()) {
      // Valid JSON nested too deep where a feedback item stands: kept, it would overflow the
      // stack each time the state is copied or written.
      text = Read(state);
      const size_t at = text.find("\"feedback\":[") + 12;
      text.insert(at, std::string(200000, '[') + std::string(200000, ']') + (text[at] == ']' ? "" : ","));
    }
    ASSERT_TRUE(files->WriteFileAtomically(state, text));
    InstallDemo(folder.path());
    EXPECT_EQ(Login("alice", "veltrina"), 200);
  }
  for (const char* kept : {"truncated", "[1,2,3]", "[[[[[[[[[["}) EXPECT_EQ(FilesWith(folder, kept), 1) << kept;
}

// A file another program holds is not corrupt: the service runs from memory and, once the file is
// free again, nothing it held is lost.
TEST(DemoPersistence, AStateFileHeldByAnotherProgramIsNeverOverwritten) {
  TempFolder folder;
  const std::string state = folder.File("demo-service.json");
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  ASSERT_TRUE(Send("c-random", "kept-7d1f"));
  StopDemo();
  const std::string saved = Read(state), corrupt = "{\"kept-7d1f\": corrupt";
  const std::pair<std::string, DWORD> cases[] = {{saved, 0}, {corrupt, FILE_SHARE_READ | FILE_SHARE_WRITE}, {corrupt, 0}};
  for (const auto& [text, share] : cases) {
    StopDemo();
    for (const auto& f : fs::directory_iterator(fs::path(folder.path()))) fs::remove(f.path());
    ASSERT_TRUE(files->WriteFileAtomically(state, text));
    HANDLE held = CreateFileW(fs::path(state).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    InstallDemo(folder.path());
    EXPECT_EQ(Login("alice", "veltrina"), 200);
    CloseHandle(held);
    EXPECT_EQ(Login("bob", "veltrina"), 200);
    EXPECT_EQ(FilesWith(folder, "kept-7d1f"), 1) << text.substr(0, 20) << " " << share;
  }
}

// A change is on disk shortly after it; a service that goes away first saves what it has not yet.
TEST(DemoPersistence, ChangesAreSavedSoonAndAtShutdown) {
  TempFolder folder;
  const std::string state = folder.File("demo-service.json");
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(Send("c-random", "soon-3c9a"));
  EXPECT_TRUE(WaitUntil([&] { return Read(state).find("soon-3c9a") != std::string::npos; }));
  EXPECT_LT(std::chrono::steady_clock::now() - sent, milliseconds(1000));
  StopDemo();
  {
    veltrina::backend::DemoService service(DemoIn(folder.path()));  // not attached: nothing saves it on a timer
    Request(service, "auth.login", R"({"username": "bob", "password": "veltrina", "team_id": "t-demo"})");
    EXPECT_NE(Request(service, "messages.send", R"({"message": {"channel_id": "c-random", "content": "late-51be"}})").find("late-51be"), std::string::npos);
  }
  EXPECT_NE(Read(state).find("late-51be"), std::string::npos);
}

// Passwords are kept as salted slow hashes only: the demo's own, one chosen for an initial password,
// and those of a state file written when they were kept as they are (hashed as soon as it is read).
TEST(DemoPersistence, PasswordsAreStoredOnlyAsSaltedHashesAndAnOlderPlainStateIsHashedOnLoad) {
  TempFolder folder;
  const std::string state = folder.File("demo-service.json");
  InstallDemo(folder.path());
  EXPECT_EQ(Login("newbie", "init1234"), 201);
  EXPECT_TRUE(Succeeds([](auto d) { veltrina::WebApi::Api()->PutInitPassword("新密码-chosen", d); }));
  StopDemo();
  std::string text = Read(state);
  const std::regex stored(R"re("password_hash":"pbkdf2-sha256\$[1-9]\d*\$[0-9a-f]{32}\$[0-9a-f]{64}")re");
  std::set<std::string> forms;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), stored); it != std::sregex_iterator(); ++it)
    forms.insert(it->str());
  EXPECT_EQ(forms.size(), 5u);  // each account's own, each with its own salt
  for (const char* plain : {"\"password\"", "init1234", "新密码-chosen", "\"veltrina\""})
    EXPECT_EQ(text.find(plain), std::string::npos) << plain;
  InstallDemo(folder.path());
  EXPECT_EQ(Login("newbie", "新密码-chosen"), 200);
  EXPECT_EQ(Login("newbie", "init1234"), 8000);
  EXPECT_EQ(Login("bob", "veltrina"), 200);
  EXPECT_EQ(Login("bob", "Veltrina"), 8000);
  StopDemo();
  // As the client wrote it before: every password as it is.
  text = std::regex_replace(Read(state), std::regex(R"("password_hash":"[^"]*")"), R"("password":"old-plain-7f3e")");
  ASSERT_TRUE(files->WriteFileAtomically(state, text));
  InstallDemo(folder.path());
  EXPECT_EQ(Login("carol", "old-plain-7f3e", "t-acme"), 200);
  EXPECT_EQ(FilesWith(folder, "old-plain-7f3e"), 0);  // written over on reading, not at the next change
  EXPECT_EQ(Login("carol", "veltrina", "t-acme"), 8000);
  StopDemo();
  text = Read(state);
  EXPECT_EQ(text.find("\"password\""), std::string::npos);
  EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), stored), std::sregex_iterator()), 5);
  InstallDemo(folder.path());
  EXPECT_EQ(Login("lilei", "old-plain-7f3e"), 200);
}

TEST(DemoPersistence, TimerSettingsAreHeldToAPaceTheDemoCanKeep) {
  TempFolder folder;
  ASSERT_TRUE(files->WriteFileAtomically(folder.File("demo-config.json"), R"({"life_interval_ms": 1, "connection_drop_interval_ms": 9000000000000000000})"));
  auto lines = std::make_shared<Slot<std::string>>();
  veltrina::set_log_observer([lines](const std::string& line) { lines->Set(lines->Get() + line + "\n"); });
  InstallDemo(folder.path());
  EXPECT_EQ(Login("bob", "veltrina"), 200);
  veltrina::set_log_observer(nullptr);
  for (const char* line : {"life_interval_ms of 1 ms is held to 100 ms",
                           "connection_drop_interval_ms of 9000000000000000000 ms is held to 86400000 ms"})
    EXPECT_NE(lines->Get().find(line), std::string::npos) << line;
}

TEST(DemoFiles, UploadsAreRefusedBeforeReadingSharedSafelyUnderUtf8PathsAndStoredInTheFolder) {
  TempFolder folder;
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  // Both held open without sharing: the large one can only have been judged by its size.
  HANDLE large = CreateFileW(fs::path(folder.File("large.bin")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  HANDLE locked = CreateFileW(fs::path(folder.File("locked.txt")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  LARGE_INTEGER size{.QuadPart = static_cast<LONGLONG>(veltrina::HttpClient::kMaxUploadBytes) + 1};
  ASSERT_TRUE(SetFilePointerEx(large, size, nullptr, FILE_BEGIN) && SetEndOfFile(large));
  EXPECT_NE(Upload(folder.File("large.bin"), "large.bin").find("100 MB"), std::string::npos);
  EXPECT_EQ(Upload(folder.File("locked.txt"), "locked.txt"), "the file cannot be read");
  CloseHandle(large), CloseHandle(locked);
  EXPECT_EQ(Upload(folder.File("gone.txt"), "gone.txt"), "the file no longer exists");
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x03\x20\0\0\0\xc8 and the rest", 33);
  ASSERT_TRUE(files->WriteFileAtomically(folder.File("p.png"), png));
  const std::pair<std::string, std::string> names[] = {
      {"..\\..\\evil.png", ".._.._evil.png"}, {"a/b:c*?.png", "a_b_c__.png"}, {"CON", "_CON"}, {"nul.txt", "_nul.txt"},
      {"Com1.tar.png", "_Com1.tar.png"}, {"lpt9 .png", "_lpt9 .png"}, {"a\x01\x1f" "b.png", "a__b.png"},
      {"trail. . ", "trail"}, {"...", "file"}, {"", "p.png"}, {std::string(10000, 'a') + ".png", std::string(196, 'a') + ".png"}};
  std::string last;
  for (const auto& [given, shared] : names) {
    last = Upload(folder.File("p.png"), given);
    EXPECT_EQ(last.substr(0, last.find('|')), shared) << given;
  }
  // A picture: its size from its header; its thumbnail is its own bytes.
  EXPECT_EQ(last.substr(last.find('|') + 1, 10), std::to_string(veltrina::Entity::kImage) + "|800x200|");
  EXPECT_EQ(Get("https://files.veltrina.demo/thumb/" + last.substr(last.rfind('|') + 1) + "_160x40.png"), png);
  // A comment past the limit refuses the upload whole: nothing stored, nothing cut.
  EXPECT_EQ(Ask<std::string>([&](auto done) {
              veltrina::HttpClient::SharedClient()->Upload(folder.File("p.png"), "p.png", std::string(32 * 1024 + 1, 'c'),
                                                           "c-random", true, [done](bool ok, auto r) {
                                                             done(std::to_string(ok) + " " + r->error());
                                                           });
            }),
            "0 the comment is longer than 32768 bytes");
  // Every stored file is "<entity id>.<letters and digits>" inside the service's own folder.
  int stored = 0;
  for (const auto& f : fs::recursive_directory_iterator(fs::path(folder.path())))
    if (f.is_regular_file() && f.path().parent_path() != fs::path(folder.path())) {
      EXPECT_EQ(f.path().parent_path().filename(), "demo-files") << f.path();
      stored += f.path().filename().string().rfind("e-", 0) == 0;
    }
  EXPECT_EQ(stored, 11);
  // Feedback is stored; too long a text is refused.
  for (const std::string& text : {std::string("好用"), std::string(100 * 1024, 'x')}) {
    veltrina::Feedback feedback;
    feedback.set_description(text);
    EXPECT_EQ(Succeeds([&](auto d) { veltrina::WebApi::Api()->PostFeedback(feedback, d); }), text.size() < 100);
  }
  // A path is UTF-8, its file shared under its own name; bytes of code page 936 ("文档") are refused as such.
  const std::string own = "Zoë 谢卢.txt";
  ASSERT_TRUE(files->WriteFileAtomically(folder.File(own), "text"));
  last = Upload(folder.File(own), "");
  EXPECT_EQ(last.substr(0, last.find('|')), own);
  EXPECT_EQ(Upload(folder.File("\xCE\xC4\xB5\xB5.txt"), ""), "the path is not UTF-8");
  StopDemo();
  EXPECT_NE(Read(folder.File("demo-service.json")).find("好用"), std::string::npos);
  EXPECT_EQ(Read(folder.File("demo-service.json")).find("xxxxxxxx"), std::string::npos);
}

}  // namespace
