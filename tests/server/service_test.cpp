// The protocol as a client meets it: envelopes and tokens, sign-in limits, long-polls woken by a
// teammate's message, idempotent sends, a failed commit, files, malformed requests and shutdown.
#include <fstream>
#include <thread>

#include "service_fixture.h"

namespace server_test {
namespace {

TEST(Service, TokensGateEverythingButLookupVersionAndSignIn) {
  Server server;
  EXPECT_EQ(server.Call("channels.list", json::object()).status, 401);
  EXPECT_EQ(server.Call("channels.list", json::object(), std::string(64, 'a')).status, 401);
  json team = server.Api("team.lookup", json{{"subdomain", "demo"}});
  EXPECT_EQ(team["body"]["team_id"], "t-demo");
  EXPECT_TRUE(server.Api("client.version", json::object())["ok"].get<bool>());

  json login = server.Api("auth.login", json{{"username", "alice"}, {"password", "veltrina"}, {"team_id", "t-demo"}});
  const std::string token = login["body"]["token"]["access_token"];
  EXPECT_EQ(token.size(), 64u);
  EXPECT_GT(login["body"].value("seq", int64_t{-1}), -1);
  json channels = server.Api("channels.list", json::object(), token);
  EXPECT_TRUE(channels["ok"].get<bool>());
  EXPECT_FALSE(channels["body"]["channels"].empty());

  // The token is the server's own and lives as a hash only; a restart keeps the sign-in.
  for (const auto& [hash, record] : server.store.tokens) EXPECT_EQ(hash.find(token), std::string::npos);
  server.Restart();
  EXPECT_TRUE(server.Api("channels.list", json::object(), token)["ok"].get<bool>());
  // Past its lifetime it is refused.
  server.clock.now += server.options.token_lifetime + 10;
  EXPECT_EQ(server.Call("channels.list", json::object(), token).status, 401);
}

TEST(Service, WrongPasswordsAreLimitedPerAccountAndPerAddress) {
  server::ServiceOptions options;
  options.failures_per_account = 3;
  options.attempts_per_address = 8;
  Server server(options);
  auto login = [&](const std::string& user, const std::string& password, const std::string& address) {
    return server.Call("auth.login", json{{"username", user}, {"password", password}, {"team_id", "t-demo"}}, "",
                       address);
  };
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Parse(login("bob", "wrong", "10.0.0.1").body)["code"], 8000);
  // bob's account is closed for a while, even with the right password and from elsewhere.
  EXPECT_EQ(login("bob", "veltrina", "10.0.0.2").status, 429);
  EXPECT_EQ(Parse(login("alice", "veltrina", "10.0.0.1").body)["ok"], true);
  // One address trying many names is stopped too.
  for (int i = 0; i < 3; ++i) login("nobody" + std::to_string(i), "x", "10.0.0.9");
  int refused = 0;
  for (int i = 0; i < 8; ++i) refused += login("lilei", "veltrina", "10.0.0.9").status == 429;
  EXPECT_GT(refused, 0);
  EXPECT_EQ(Parse(login("lilei", "veltrina", "10.0.0.3").body)["ok"], true);
}

TEST(Service, AParkedPollIsWokenByATeammatesMessageAndAnsweredOnce) {
  Server server;
  const std::string alice = server.SignIn("alice"), bob = server.SignIn("bob");
  json login = server.Api("auth.login", json{{"username", "bob"}, {"password", "veltrina"}, {"team_id", "t-demo"}});
  const int64_t since = login["body"]["seq"];
  auto poll = server.Poll(bob, since, 20);
  EXPECT_FALSE(poll->Wait(std::chrono::milliseconds(300)));  // parked: nothing to tell yet
  const auto sent_at = std::chrono::steady_clock::now();
  ASSERT_TRUE(server.Api("messages.send", Text("c-general", "hi bob"), alice)["ok"].get<bool>());
  ASSERT_TRUE(poll->Wait());
  EXPECT_LT(std::chrono::steady_clock::now() - sent_at, std::chrono::milliseconds(500));
  json page = poll->Body();
  ASSERT_FALSE(page["events"].empty());
  EXPECT_EQ(page["events"][0]["name"], "message");
  EXPECT_EQ(page["events"][0]["body"]["message"]["content"], "hi bob");
  EXPECT_GT(page["next"].get<int64_t>(), since);

  // A poll with nothing to tell within its wait is answered empty, at the same position.
  auto quiet = server.Poll(bob, page["next"], 1);
  ASSERT_TRUE(quiet->Wait(std::chrono::milliseconds(3000)));
  EXPECT_TRUE(quiet->Body()["events"].empty());
  EXPECT_EQ(quiet->Body()["next"], page["next"]);
}

TEST(Service, ASendRetriedWithItsIdIsStoredOnceAndAFailedCommitAnswersNothingAsDone) {
  Server server;
  const std::string alice = server.SignIn("alice");
  json first = server.Api("messages.send", Text("c-general", "once", "id-1"), alice);
  json again = server.Api("messages.send", Text("c-general", "once", "id-1"), alice);
  EXPECT_EQ(first["body"]["message"]["key"], again["body"]["message"]["key"]);

  server.store.fail_next_batch = true;
  server::HttpResponse failed = server.Call("messages.send", Text("c-general", "lost"), alice);
  EXPECT_EQ(failed.status, 503);
  // What the failed batch did is gone from the engine too, and the same id may be sent again.
  json history = server.Api("messages.history", json{{"channel_id", "c-general"}, {"count", 50}}, alice);
  int lost = 0, once = 0;
  for (const json& m : history["body"]["messages"]) {
    lost += m["content"] == "lost";
    once += m["content"] == "once";
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(once, 1);
  EXPECT_TRUE(server.Api("messages.send", Text("c-general", "lost", "id-2"), alice)["ok"].get<bool>());
}

TEST(Service, FilesGoOnlyToThoseWhoMaySeeThem) {
  Server server;
  const std::string alice = server.SignIn("alice"), bob = server.SignIn("bob"), newbie = server.SignIn("newbie", "init1234");
  // g-leads: alice, bob and lilei.
  const std::string upload = ::testing::TempDir() + "/upload.bin";
  std::ofstream(upload, std::ios::binary) << "quarterly numbers";
  server::HttpRequest request;
  request.method = "POST";
  request.path = "/api/v1/files.upload";
  request.query = {{"file_name", "q3.txt"}, {"channel_id", "g-leads"}, {"client_upload_id", "up-1"}};
  request.body_file = upload;
  request.authorization = "Bearer " + alice;
  Caught caught;
  server.service->Handle(request, caught.Catcher());
  ASSERT_TRUE(caught.Wait());
  json entity = caught.Body()["body"]["message"]["entity"];
  const std::string path = "/files/" + entity.value("path", "") + ".txt";
  server::HttpResponse got = server.Get(path, bob);
  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.body, "quarterly numbers");
  EXPECT_EQ(server.Get(path, newbie).status, 404);
  EXPECT_EQ(server.Get(path, "").status, 401);
  EXPECT_EQ(server.Get("/storage/vtavatar/bob_32x32.png", bob).status, 200);  // generated avatars for members
}

TEST(Service, MalformedRequestsAreRefusedClearlyAndChangeNothing) {
  Server server;
  const std::string alice = server.SignIn("alice");
  auto status = [&](const std::string& method, const std::string& body) {
    server::HttpRequest request;
    request.method = "POST";
    request.path = "/api/v1/" + method;
    request.body = body;
    request.authorization = "Bearer " + alice;
    Caught caught;
    server.service->Handle(request, caught.Catcher());
    EXPECT_TRUE(caught.Wait());
    return std::make_pair(caught.response.status, Parse(caught.response.body));
  };
  auto history = [&] { return server.Api("messages.history", json{{"channel_id", "c-general"}}, alice); };
  const json before = history();
  ASSERT_TRUE(before["ok"].get<bool>());
  EXPECT_EQ(status("messages.send", "{\"message\":").first, 400);
  EXPECT_EQ(status("messages.send", "[1,2]").first, 400);
  EXPECT_EQ(status("messages.send", std::string(10000, '[') + std::string(10000, ']')).first, 400);
  EXPECT_EQ(status("messages.send", "{\"message\":{\"content\":\"\xff\"}}").first, 400);
  auto [code, body] = status("http.get", "{\"url\":\"https://files.veltrina.demo/x\"}");
  EXPECT_EQ(code, 404);
  EXPECT_EQ(body["ok"], false);
  EXPECT_EQ(status("no.such", "{}").second["code"], 400);
  EXPECT_EQ(status("../../etc", "{}").first, 404);
  EXPECT_EQ(history(), before);
}

TEST(Service, StoppingAnswersParkedPollsAndRefusesNewRequests) {
  Server server;
  const std::string bob = server.SignIn("bob");
  auto poll = server.Poll(bob, 0, 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.service->Stop();
  ASSERT_TRUE(poll->Wait(std::chrono::milliseconds(2000)));
  EXPECT_EQ(poll->response.status, 200);
  EXPECT_EQ(server.Call("channels.list", json::object(), bob).status, 503);
}

}  // namespace
}  // namespace server_test
