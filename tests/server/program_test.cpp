// The real program: started, signed in to with a real HTTP client, stopped dead at its commit
// points and restarted, stopped cleanly, and administered from the command line.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "json_util.h"
#include "program_support.h"

namespace server_test {
namespace {

using veltrina::internal::json;
using veltrina::internal::Parse;

std::vector<std::string> ServeArgs(const TempFolder& data, std::vector<std::string> more = {}) {
  std::vector<std::string> args{"--listen", "127.0.0.1:0", "--data", data.path(), "--seed", "demo"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

int Count(uint16_t port, const std::string& token, const std::string& text) {
  return static_cast<int>(std::ranges::count(History(port, token), text));
}

TEST(Program, ServesSignInSendAndPollAndStopsCleanlyOnSigterm) {
  TempFolder data;
  Program server(VELTRINA_SERVER_EXE, ServeArgs(data), kCheap);
  const uint16_t port = server.WaitForPort();
  ASSERT_NE(port, 0) << server.Log();
  EXPECT_EQ(Http(port, "GET", "/healthz").status, 200);
  EXPECT_EQ(Http(port, "POST", "/api/v1/channels.list", "{}").status, 401);
  const std::string alice = SignIn(port, "alice").token, bob = SignIn(port, "bob").token;
  ASSERT_EQ(alice.size(), 64u);

  // bob's poll parks; alice's message wakes it.
  std::thread poller;
  HttpResult polled;
  HttpResult head = Http(port, "GET", "/api/v1/events?wait=0", "", bob);
  const int64_t since = Parse(head.body).value("next", int64_t{0});
  poller = std::thread([&] { polled = Http(port, "GET", "/api/v1/events?since=" + std::to_string(since) + "&wait=20", "", bob); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  HttpResult sent = Http(port, "POST", "/api/v1/messages.send", Send("secret words", "c-1"), alice);
  EXPECT_EQ(sent.status, 200);
  poller.join();
  ASSERT_EQ(polled.status, 200);
  json page = Parse(polled.body);
  ASSERT_FALSE(page["events"].empty()) << polled.body;
  EXPECT_EQ(page["events"][0]["body"]["message"]["content"], "secret words");

  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
  const std::string log = server.Log();
  EXPECT_NE(log.find("stopped"), std::string::npos) << log;
  EXPECT_NE(log.find("/api/v1/messages.send 200"), std::string::npos) << log;
  // Never message texts, passwords or tokens.
  EXPECT_EQ(log.find("secret words"), std::string::npos);
  EXPECT_EQ(log.find("veltrina\""), std::string::npos);
  EXPECT_EQ(log.find(alice), std::string::npos);

  // What was said is there after a restart, and so is the sign-in.
  Program again(VELTRINA_SERVER_EXE, ServeArgs(data), kCheap);
  const uint16_t port2 = again.WaitForPort();
  ASSERT_NE(port2, 0) << again.Log();
  EXPECT_EQ(Count(port2, alice, "secret words"), 1);
  // bob, behind since before the restart, catches up from the kept log instead of starting over.
  HttpResult caught_up = Http(port2, "GET", "/api/v1/events?since=" + std::to_string(since) + "&wait=0", "", bob);
  ASSERT_EQ(caught_up.status, 200);
  json later = Parse(caught_up.body);
  EXPECT_FALSE(later.value("resync", false)) << caught_up.body;
  ASSERT_FALSE(later["events"].empty()) << caught_up.body;
  EXPECT_EQ(later["events"][0]["body"]["message"]["content"], "secret words");
}

// Stopped dead before its commit, a send is not stored, and the client's retry with the same id
// stores it once; stopped dead after its commit but before the answer, the retry stores nothing
// more. Either way: exactly once.
TEST(Program, ASendCutOffAtEitherCommitPointIsStoredExactlyOnceAfterTheRetry) {
  for (const std::string point : {"before-commit", "after-commit"}) {
    SCOPED_TRACE(point);
    TempFolder data;
    std::string token;
    {
      Program server(VELTRINA_SERVER_EXE, ServeArgs(data), kCheap);
      const uint16_t port = server.WaitForPort();
      ASSERT_NE(port, 0);
      token = SignIn(port, "alice").token;
      server.Signal(SIGTERM);
      ASSERT_EQ(server.Wait(), 0);
    }
    {
      auto env = kCheap;
      env["VELTRINA_CRASH_POINT"] = point;
      Program crashing(VELTRINA_CRASHABLE_EXE, ServeArgs(data), env);
      const uint16_t port = crashing.WaitForPort();
      ASSERT_NE(port, 0) << crashing.Log();
      HttpResult cut = Http(port, "POST", "/api/v1/messages.send", Send("exactly once", "retry-1"), token);
      EXPECT_EQ(cut.status, 0);  // no answer: the process is gone
      EXPECT_EQ(crashing.Wait(), point == "before-commit" ? 86 : 87);
    }
    Program server(VELTRINA_SERVER_EXE, ServeArgs(data), kCheap);
    const uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(Count(port, token, "exactly once"), point == "before-commit" ? 0 : 1);
    EXPECT_EQ(Http(port, "POST", "/api/v1/messages.send", Send("exactly once", "retry-1"), token).status, 200);
    EXPECT_EQ(Count(port, token, "exactly once"), 1);
  }
}

TEST(Program, UploadsPastTheCapAreRefusedAndLeaveNothing) {
  TempFolder data;
  Program server(VELTRINA_SERVER_EXE, ServeArgs(data, {"--max-upload", "1000"}), kCheap);
  const uint16_t port = server.WaitForPort();
  ASSERT_NE(port, 0);
  const std::string alice = SignIn(port, "alice").token;
  const std::string target = "/api/v1/files.upload?file_name=a.txt&channel_id=c-general";
  EXPECT_EQ(Http(port, "POST", target, std::string(1001, 'x'), alice).status, 413);
  HttpResult ok = Http(port, "POST", target, std::string(1000, 'x'), alice);
  EXPECT_EQ(ok.status, 200) << ok.body;
  size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(data.path() + "/files")) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
  // The received body goes once its answer is written, a moment after the client has it.
  for (int i = 0; i < 100 && !std::filesystem::is_empty(data.path() + "/tmp"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(std::filesystem::is_empty(data.path() + "/tmp"));
}

TEST(Program, TheOperatorAddsTeamsAndMembersFromTheCommandLine) {
  TempFolder data;
  auto admin = [&](std::vector<std::string> words, const std::string& input = "") {
    words.insert(words.begin(), {"admin", "--data", data.path()});
    Program p(VELTRINA_SERVER_EXE, words, {}, input);
    const int code = p.Wait(std::chrono::seconds(30));
    return std::make_pair(code, p.Log());
  };
  EXPECT_EQ(admin({"add-team", "north", "North 团队"}).first, 0);
  EXPECT_EQ(admin({"add-team", "north"}).first, 1);  // taken
  EXPECT_EQ(admin({"add-team", "Bad Name"}).first, 1);
  EXPECT_EQ(admin({"add-user", "north", "erin", "--admin"}, "correct horse\n").first, 0);
  EXPECT_EQ(admin({"add-user", "north", "frank"}, "short\n").first, 1);  // too short a password
  auto [listed, log] = admin({"list"});
  EXPECT_EQ(listed, 0) << log;

  Program server(VELTRINA_SERVER_EXE, {"--listen", "127.0.0.1:0", "--data", data.path()});
  const uint16_t port = server.WaitForPort();
  ASSERT_NE(port, 0) << server.Log();
  json team = Parse(Http(port, "POST", "/api/v1/team.lookup", R"({"subdomain":"north"})").body);
  ASSERT_EQ(team["ok"], true);
  const std::string erin = SignIn(port, "erin", "correct horse", team["body"]["team_id"]).token;
  EXPECT_EQ(erin.size(), 64u);
  // While it runs, the data folder is its alone.
  EXPECT_EQ(admin({"set-password", "north", "erin"}, "another horse\n").first, 1);
}

}  // namespace
}  // namespace server_test
