// What many users at once need of the service: a slow sign-in or new password holds up no one else, concurrent
// guesses still meet the per-account limit, and a message wakes its readers among many parked
// polls at once.
#include <thread>

#include "service_fixture.h"

namespace server_test {
namespace {

using Clock = std::chrono::steady_clock;

json Login(const std::string& user, const std::string& password) {
  return json{{"username", user}, {"password", password}, {"team_id", "t-demo"}};
}

std::unique_ptr<Caught> Start(Server& server, const std::string& method, const json& params,
                              const std::string& address = "10.0.0.1", const std::string& token = "") {
  server::HttpRequest request;
  request.method = "POST";
  request.path = "/api/v1/" + method;
  request.body = params.dump();
  request.remote_address = address;
  if (!token.empty()) request.authorization = "Bearer " + token;
  auto caught = std::make_unique<Caught>();
  server.service->Handle(request, caught->Catcher());
  return caught;
}

TEST(Load, ASignInBeingCheckedOrANewPasswordBeingHashedHoldsUpNoOtherRequest) {
  Server server;
  const std::string alice = server.SignIn("alice");
  auto send_is_quick = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the slow part is under way
    const auto before = Clock::now();
    json sent = server.Api("messages.send", Text("c-general", "hi"), alice);
    EXPECT_TRUE(sent.value("ok", false)) << sent.dump();
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(300));
  };
  server.passwords.verify_ms = 800;
  auto signing_in = Start(server, "auth.login", Login("bob", "veltrina"));
  send_is_quick();
  ASSERT_TRUE(signing_in->Wait());
  EXPECT_TRUE(signing_in->Body().value("ok", false)) << signing_in->response.body;
  const std::string bob = signing_in->Body()["body"]["token"]["access_token"];
  EXPECT_EQ(bob.size(), 64u);

  server.passwords.verify_ms = 0;
  server.passwords.hash_ms = 800;
  auto renewing = Start(server, "auth.init_password", json{{"password", "a new secret"}}, "10.0.0.1", bob);
  send_is_quick();
  ASSERT_TRUE(renewing->Wait());
  EXPECT_TRUE(renewing->Body().value("ok", false)) << renewing->response.body;
  server.passwords.hash_ms = 0;
  EXPECT_EQ(server.Api("auth.login", Login("bob", "veltrina"))["code"], 8000);
  EXPECT_EQ(server.Api("auth.login", Login("bob", "a new secret"))["ok"], true);
  // Still refused by the engine's rules, and only for a session.
  EXPECT_EQ(Parse(server.Call("auth.init_password", json{{"password", "short"}}, bob).body)["code"], 400);
  EXPECT_EQ(server.Call("auth.init_password", json{{"password", "a new secret"}}).status, 401);
}

TEST(Load, GuessesCheckedAtOnceStillMeetTheLimitPerAccount) {
  server::ServiceOptions options;
  options.failures_per_account = 3;
  Server server(options);
  server.passwords.verify_ms = 150;
  std::vector<std::unique_ptr<Caught>> guesses;
  for (int i = 0; i < 10; ++i)
    guesses.push_back(Start(server, "auth.login", Login("bob", "guess" + std::to_string(i)),
                            "10.0.1." + std::to_string(i)));
  int checked = 0, refused = 0;
  for (auto& g : guesses) {
    ASSERT_TRUE(g->Wait());
    checked += g->Body().value("code", 0) == 8000;
    refused += g->response.status == 429;
  }
  EXPECT_EQ(checked, 3);
  EXPECT_EQ(refused, 7);
  // An unknown name costs a check too, and fails the same way.
  server.passwords.verify_ms = 0;
  EXPECT_EQ(Parse(server.Call("auth.login", Login("nobody", "x"), "", "10.0.2.1").body)["code"], 8000);
}

TEST(Load, AMessageWakesItsReadersPollsWithoutVisitingEveryParkedOne) {
  Server server;
  const std::string alice = server.SignIn("alice"), lilei = server.SignIn("lilei"), bob = server.SignIn("bob");
  json group = server.Api("channels.create", json{{"name", "pair"}, {"type", 2}, {"member_uids", {"u-lilei"}}}, alice);
  ASSERT_TRUE(group.value("ok", false)) << group.dump();
  const std::string pair = group["body"]["channel"]["channel_id"];
  const int64_t head = server.Api("auth.login", Login("bob", "veltrina"))["body"]["seq"];
  // Many sessions' worth of parked polls, none of them concerned by the pair's talk.
  std::vector<std::unique_ptr<Caught>> idle;
  for (int i = 0; i < 20000; ++i) idle.push_back(server.Poll(bob, head, 20));
  auto reader = server.Poll(lilei, head, 20);
  EXPECT_FALSE(reader->Wait(std::chrono::milliseconds(100)));

  const auto before = Clock::now();
  for (int i = 0; i < 20; ++i) {
    json sent = server.Api("messages.send", Text(pair, "m" + std::to_string(i)), alice);
    ASSERT_TRUE(sent.value("ok", false)) << sent.dump();
  }
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(1000));
  ASSERT_TRUE(reader->Wait());
  EXPECT_EQ(reader->Body()["events"][0]["body"]["message"]["content"], "m0");
  for (int i = 0; i < 20000; i += 997) EXPECT_FALSE(idle[i]->Wait(std::chrono::milliseconds(0)));

  // A message to a channel bob reads wakes every one of his polls.
  ASSERT_TRUE(server.Api("messages.send", Text("c-general", "all"), alice).value("ok", false));
  for (auto& poll : idle) {
    ASSERT_TRUE(poll->Wait());
    ASSERT_EQ(poll->Body()["events"][0]["body"]["message"]["content"], "all");
  }
}

}  // namespace
}  // namespace server_test
