// Two real veltrina-server processes on one PostgreSQL database, as behind a load balancer: a
// client on each, messages exchanged exactly once and in order, a poll parked at one woken at
// once by a send at the other, and a process killed in the middle of a send losing nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "json_util.h"
#include "pg_cluster.h"
#include "program_support.h"

namespace server_test {
namespace {

using veltrina::internal::json;
using veltrina::internal::Parse;

std::vector<std::string> ServeArgs(const TempFolder& data, const std::string& database) {
  return {"--listen", "127.0.0.1:0", "--data", data.path(), "--database", database, "--seed", "demo"};
}

// The message texts of the events after `since`, following `next` until none are left.
std::vector<std::string> Events(uint16_t port, const std::string& token, int64_t since) {
  std::vector<std::string> texts;
  for (int page = 0; page < 20; ++page) {
    const json p = Parse(Http(port, "GET", "/api/v1/events?since=" + std::to_string(since) + "&wait=0", "", token).body);
    for (const json& e : p["events"])
      if (e.value("name", "") == "message") texts.push_back(e["body"]["message"].value("content", ""));
    since = p.value("next", since);
    if (!p.value("more", false)) break;
  }
  return texts;
}

class TwoProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    VELTRINA_REQUIRE_PG();
    database_ = PgNewDatabase();
    ASSERT_FALSE(database_.empty());
  }
  std::string database_;
  TempFolder data_;
};

TEST_F(TwoProcesses, ShareTeamsTokensAndMessagesInOneOrder) {
  // Started together on an empty database: one seeds it, the other finds it seeded.
  Program a(VELTRINA_SERVER_EXE, ServeArgs(data_, database_), kCheap);
  Program b(VELTRINA_SERVER_EXE, ServeArgs(data_, database_), kCheap);
  const uint16_t pa = a.WaitForPort(), pb = b.WaitForPort();
  ASSERT_NE(pa, 0) << a.Log();
  ASSERT_NE(pb, 0) << b.Log();
  const Signed alice = SignIn(pa, "alice");
  const Signed bob = SignIn(pb, "bob");
  ASSERT_EQ(alice.token.size(), 64u);
  ASSERT_EQ(bob.token.size(), 64u);
  // A token made at one works at the other.
  EXPECT_EQ(Http(pb, "POST", "/api/v1/channels.list", "{}", alice.token).status, 200);

  // bob's poll parks at b; alice's send at a wakes it within a fraction of a second.
  const json head = Parse(Http(pb, "GET", "/api/v1/events?wait=0", "", bob.token).body);
  const int64_t since = head.value("next", int64_t{0});
  HttpResult polled;
  std::chrono::steady_clock::time_point answered;
  std::thread poller([&] {
    polled = Http(pb, "GET", "/api/v1/events?since=" + std::to_string(since) + "&wait=20", "", bob.token);
    answered = std::chrono::steady_clock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // parked, past a safety-net turn or so
  const auto sent_at = std::chrono::steady_clock::now();
  EXPECT_EQ(Http(pa, "POST", "/api/v1/messages.send", Send("wake up", "w-1"), alice.token).status, 200);
  poller.join();
  const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(answered - sent_at);
  EXPECT_LT(delay.count(), 500) << "woken after " << delay.count() << " ms";
  ASSERT_EQ(polled.status, 200);
  const json page = Parse(polled.body);
  ASSERT_FALSE(page["events"].empty()) << polled.body;
  EXPECT_EQ(page["events"][0]["body"]["message"]["content"], "wake up");

  // Both talk at once, each to its own process: every message is kept once, and both processes
  // tell them in the same order, which is the order they were stored in.
  std::vector<std::string> expected_a, expected_b;
  std::thread talk_a([&] {
    for (int i = 0; i < 15; ++i) {
      const std::string text = "a" + std::to_string(i);
      HttpResult r = Http(pa, "POST", "/api/v1/messages.send", Send(text, "ka" + std::to_string(i)), alice.token);
      if (r.status == 200) expected_a.push_back(text);
    }
  });
  std::thread talk_b([&] {
    for (int i = 0; i < 15; ++i) {
      const std::string text = "b" + std::to_string(i);
      HttpResult r = Http(pb, "POST", "/api/v1/messages.send", Send(text, "kb" + std::to_string(i)), bob.token);
      if (r.status == 200) expected_b.push_back(text);
    }
  });
  talk_a.join();
  talk_b.join();
  EXPECT_EQ(expected_a.size(), 15u);
  EXPECT_EQ(expected_b.size(), 15u);
  // A repeat of a send at the other process is answered, not stored again.
  EXPECT_EQ(Http(pb, "POST", "/api/v1/messages.send", Send("a3", "ka3"), alice.token).status, 200);

  // Each hears the other's messages (its own are in its answers), in the order they were sent.
  std::vector<std::string> to_bob = expected_a, to_alice = expected_b;
  to_bob.insert(to_bob.begin(), "wake up");
  EXPECT_EQ(Events(pb, bob.token, since), to_bob);
  EXPECT_EQ(Events(pa, alice.token, since), to_alice);
  // Both processes keep one history; in it, each client's messages once and in its order.
  const std::vector<std::string> history = History(pa, alice.token);
  EXPECT_EQ(History(pb, bob.token), history);
  for (const auto& [mine, prefix] : {std::pair{&expected_a, 'a'}, std::pair{&expected_b, 'b'}}) {
    std::vector<std::string> seen;
    for (const std::string& t : history)
      if (t.size() > 1 && t[0] == prefix && std::isdigit(static_cast<unsigned char>(t[1]))) seen.push_back(t);
    EXPECT_EQ(seen, *mine);
  }

  // The operator's commands work beside the running processes, which see what they changed.
  Program admin(VELTRINA_SERVER_EXE, {"admin", "--data", data_.path(), "--database", database_, "add-team", "north"});
  EXPECT_EQ(admin.Wait(std::chrono::seconds(30)), 0) << admin.Log();
  for (uint16_t port : {pa, pb}) {
    const json team = Parse(Http(port, "POST", "/api/v1/team.lookup", R"({"subdomain":"north"})").body);
    EXPECT_EQ(team.value("ok", false), true) << team.dump();
  }
}

// The sign-in limits are the database's: failures at one process close the account at the other.
TEST_F(TwoProcesses, WrongPasswordsAtOneProcessAreCountedAtTheOther) {
  Program a(VELTRINA_SERVER_EXE, ServeArgs(data_, database_), kCheap);
  Program b(VELTRINA_SERVER_EXE, ServeArgs(data_, database_), kCheap);
  const uint16_t pa = a.WaitForPort(), pb = b.WaitForPort();
  ASSERT_NE(pa, 0) << a.Log();
  ASSERT_NE(pb, 0) << b.Log();
  auto login = [](uint16_t port, const std::string& password) {
    return Http(port, "POST", "/api/v1/auth.login",
                json{{"username", "bob"}, {"password", password}, {"team_id", "t-demo"}}.dump());
  };
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Parse(login(pa, "wrong").body)["code"], 8000);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Parse(login(pb, "wrong").body)["code"], 8000);
  // Five failures in all: closed at both, even with the right password.
  EXPECT_EQ(login(pb, "veltrina").status, 429);
  EXPECT_EQ(login(pa, "veltrina").status, 429);
}

// Killed after its commit (or before it) in the middle of a send, one process loses nothing:
// the client's retry with the same id at the other stores the message exactly once.
TEST_F(TwoProcesses, AProcessKilledMidSendLosesNothingAndTheRetryAtTheOtherStoresItOnce) {
  Program b(VELTRINA_SERVER_EXE, ServeArgs(data_, database_), kCheap);
  const uint16_t pb = b.WaitForPort();
  ASSERT_NE(pb, 0) << b.Log();
  const Signed alice = SignIn(pb, "alice");
  for (const std::string point : {"before-commit", "after-commit"}) {
    SCOPED_TRACE(point);
    auto env = kCheap;
    env["VELTRINA_CRASH_POINT"] = point;
    Program a(VELTRINA_CRASHABLE_EXE, ServeArgs(data_, database_), env);
    const uint16_t pa = a.WaitForPort();
    ASSERT_NE(pa, 0) << a.Log();
    const std::string text = "once " + point;
    EXPECT_EQ(Http(pa, "POST", "/api/v1/messages.send", Send(text, "cut-" + point), alice.token).status, 0);
    EXPECT_EQ(a.Wait(), point == "before-commit" ? 86 : 87);
    std::vector<std::string> history = History(pb, alice.token);
    EXPECT_EQ(std::count(history.begin(), history.end(), text), point == "before-commit" ? 0 : 1);
    EXPECT_EQ(Http(pb, "POST", "/api/v1/messages.send", Send(text, "cut-" + point), alice.token).status, 200);
    history = History(pb, alice.token);
    EXPECT_EQ(std::count(history.begin(), history.end(), text), 1);
  }
  // And SIGKILL at any moment: b goes on, and serves what a stored.
  Program a(VELTRINA_SERVER_EXE, ServeArgs(data_, database_), kCheap);
  const uint16_t pa = a.WaitForPort();
  ASSERT_NE(pa, 0) << a.Log();
  std::thread burst([&] {
    for (int i = 0; i < 50; ++i)
      if (Http(pa, "POST", "/api/v1/messages.send", Send("burst", "burst-" + std::to_string(i)), alice.token,
               std::chrono::seconds(5)).status == 0)
        break;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  a.Signal(SIGKILL);
  burst.join();
  EXPECT_EQ(Http(pb, "POST", "/api/v1/messages.send", Send("after the kill", "k-after"), alice.token).status, 200);
  const std::vector<std::string> history = History(pb, alice.token);
  ASSERT_FALSE(history.empty());
  EXPECT_EQ(history.back(), "after the kill");
}

}  // namespace
}  // namespace server_test
