// The HTTP front over real sockets on 127.0.0.1: framing, limits, long-polls, shutdown, logging.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "http.h"
#include "http_target.h"
#include "http_test_client.h"
#include "http_test_server.h"

namespace veltrina::server {
namespace {

using namespace std::chrono_literals;
using testing::BuildRequest;
using testing::Chunked;
using testing::Parking;
using testing::RunningServer;
using testing::TestClient;
using testing::TestHandler;
using testing::TextResponse;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string Pattern(size_t size) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>('a' + i % 26);
  return out;
}

// One request on a connection of its own, refused with `status` and the connection closed.
void ExpectRefused(uint16_t port, const std::string& request, int status) {
  SCOPED_TRACE(request.substr(0, 60));
  TestClient client(port);
  ASSERT_TRUE(client.Send(request));
  auto response = client.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, status);
  EXPECT_TRUE(client.WaitClosed());
}

// Answers with what it was given, so the test sees what the front filled in.
struct EchoHandler : TestHandler {
  EchoHandler() {
    on_request = [](HttpRequest r, Respond respond) {
      HttpResponse response =
          TextResponse(200, r.method + "|" + r.path + "|" + r.authorization + "|" + r.content_type + "|" +
                                r.remote_address + "|" + std::to_string(r.body_size) + "|" + r.body);
      response.headers.emplace_back("X-Echo", "yes");
      respond(std::move(response));
    };
  }
};

TEST(HttpTarget, DecodesPathAndQueryAndRefusesBrokenEscapes) {
  auto t = ParseHttpTarget("/a%20b/c+d?x=1%2B2&y=hello+world&flag&x=3&empty=");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->raw_path, "/a%20b/c+d");
  EXPECT_EQ(t->path, "/a b/c+d");  // '+' is a space only in the query
  EXPECT_EQ(t->query.at("x"), "3");  // the last repeat wins
  EXPECT_EQ(t->query.at("y"), "hello world");
  EXPECT_EQ(t->query.at("flag"), "");
  EXPECT_EQ(t->query.at("empty"), "");
  EXPECT_EQ(t->query.size(), 4u);

  EXPECT_FALSE(ParseHttpTarget("/a%zz"));
  EXPECT_FALSE(ParseHttpTarget("/a%2"));
  EXPECT_FALSE(ParseHttpTarget("/a%"));
  EXPECT_FALSE(ParseHttpTarget("/a%00b"));
  EXPECT_FALSE(ParseHttpTarget("/a?x=%00"));
  EXPECT_FALSE(ParseHttpTarget("/a?x%4=1"));
  EXPECT_FALSE(ParseHttpTarget("http://host/a"));
  EXPECT_FALSE(ParseHttpTarget(""));
}

TEST(HttpServer, EchoesTwoRequestsOnOneKeptAliveConnectionThenHonoursClose) {
  EchoHandler handler;
  RunningServer server(handler);
  TestClient client(server.port());
  ASSERT_TRUE(client.connected());

  ASSERT_TRUE(client.Send(BuildRequest("POST", "/api/v1/messages.send", "{\"a\":1}",
                                       {"Authorization: Bearer tok", "Content-Type: application/json"})));
  auto first = client.Read();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(first->body, "POST|/api/v1/messages.send|Bearer tok|application/json|127.0.0.1|7|{\"a\":1}");
  EXPECT_EQ(first->Header("server"), "veltrina");
  EXPECT_EQ(first->Header("x-echo"), "yes");
  EXPECT_EQ(first->Header("content-type"), "text/plain");
  EXPECT_EQ(first->Header("content-length"), std::to_string(first->body.size()));

  ASSERT_TRUE(client.Send(BuildRequest("GET", "/second")));
  auto second = client.Read();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body, "GET|/second|||127.0.0.1|0|");
  EXPECT_NE(second->Header("connection"), "close");

  ASSERT_TRUE(client.Send(BuildRequest("GET", "/last", "", {"Connection: close"})));
  auto last = client.Read();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->Header("connection"), "close");
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_EQ(handler.calls, 3);
}

TEST(HttpServer, ServesAFileAsTheBodyOrJustItsLengthToHeadAndAnswersAMissingOneWith500) {
  TestHandler handler;
  const std::string content = Pattern(300000);
  char pattern[] = "/tmp/veltrina-http-file-XXXXXX";
  const int fd = mkstemp(pattern);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(fd);
  const std::string path = pattern;
  handler.on_request = [&](HttpRequest r, Respond respond) {
    HttpResponse response;
    response.content_type = "application/octet-stream";
    response.file = r.path == "/present" ? path : path + ".missing";
    respond(std::move(response));
  };
  RunningServer server(handler);
  TestClient client(server.port());
  ASSERT_TRUE(client.Send(BuildRequest("GET", "/present")));
  auto served = client.Read();
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
  EXPECT_EQ(served->Header("content-type"), "application/octet-stream");
  EXPECT_TRUE(served->body == content);
  ASSERT_TRUE(client.Send(BuildRequest("HEAD", "/present")));
  auto head = client.Read(5s, true);
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->Header("content-length"), std::to_string(content.size()));
  ASSERT_TRUE(client.Send(BuildRequest("GET", "/absent")));
  auto missing = client.Read();
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 500);
  unlink(path.c_str());
}

TEST(HttpServer, DecodesTheQueryAndRefusesBadEncodingsAndMalformedRequestsWith400) {
  TestHandler handler;
  std::map<std::string, std::string> seen_query;
  std::string seen_path;
  handler.on_request = [&](HttpRequest r, Respond respond) {
    seen_query = r.query;
    seen_path = r.path;
    respond(TextResponse(200, "ok"));
  };
  RunningServer server(handler);
  {
    TestClient client(server.port());
    ASSERT_TRUE(client.Send(BuildRequest("GET", "/api/v1/events%2Ex?since=812&wait=25&name=a%20b+c")));
    auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(seen_path, "/api/v1/events.x");
    EXPECT_EQ(seen_query, (std::map<std::string, std::string>{{"since", "812"}, {"wait", "25"}, {"name", "a b c"}}));
  }
  for (const std::string target : {"/a%00b", "/a?token=%zz", "/a%4"})
    ExpectRefused(server.port(), BuildRequest("GET", target), 400);
  ExpectRefused(server.port(), "THIS IS NOT HTTP\r\n\r\n", 400);
  EXPECT_EQ(handler.calls, 1);
}

TEST(HttpServer, RefusesAnOversizedBodyWith413ByLengthAndWhenChunksGrowPastItAndAHugeHeaderWith431) {
  EchoHandler handler;
  HttpLimits limits;
  limits.max_body = 1000;
  limits.max_header = 4096;
  RunningServer server(handler, limits);
  ExpectRefused(server.port(), BuildRequest("POST", "/api/v1/x", Pattern(1001)), 413);
  ExpectRefused(server.port(),
                BuildRequest("POST", "/api/v1/x", "", {"Transfer-Encoding: chunked"}) + Chunked(Pattern(3000), 400), 413);
  ExpectRefused(server.port(), BuildRequest("GET", "/x", "", {"X-Big: " + std::string(8000, 'b')}), 431);
  {  // a peer that sends the refused body anyway: drained, so its send completes and it reads the answer
    TestClient client(server.port());
    ASSERT_TRUE(client.Send(BuildRequest("POST", "/api/v1/x", std::string(32 << 20, 'z'))));
    auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 413);
  }
  {  // exactly at the cap, chunked: accepted whole
    TestClient client(server.port());
    ASSERT_TRUE(client.Send(BuildRequest("POST", "/api/v1/x", "", {"Transfer-Encoding: chunked"}) +
                            Chunked(Pattern(1000), 300)));
    auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->body, "POST|/api/v1/x|||127.0.0.1|1000|" + Pattern(1000));
  }
  EXPECT_EQ(handler.calls, 1);
}

TEST(HttpServer, StreamsAnUploadToAFileRemovedAfterTheAnswerAndRefusesOneOverTheCap) {
  TestHandler handler;
  handler.streamed_paths = {"/api/v1/files.upload"};
  std::string seen_file, seen_content;
  uint64_t seen_size = 0;
  handler.on_request = [&](HttpRequest r, Respond respond) {
    seen_file = r.body_file;
    seen_size = r.body_size;
    seen_content = ReadFile(r.body_file);
    EXPECT_TRUE(r.body.empty());
    respond(TextResponse(200, "stored"));
  };
  HttpLimits limits;
  limits.max_body = 1000;  // far below the upload: the streamed path has its own cap
  limits.max_upload = 200000;
  RunningServer server(handler, limits);

  const std::string upload = Pattern(150000);
  TestClient client(server.port());
  ASSERT_TRUE(client.Send(BuildRequest("POST", "/api/v1/files.upload?client_upload_id=7", upload,
                                       {"Content-Type: application/octet-stream"})));
  auto response = client.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(seen_size, upload.size());
  EXPECT_TRUE(seen_content == upload);
  EXPECT_EQ(std::filesystem::path(seen_file).parent_path(), std::filesystem::path(server.dir()));
  EXPECT_TRUE(server.WaitDirEmpty());

  // Chunked past the cap: the partial file goes.
  ASSERT_TRUE(client.Send(BuildRequest("POST", "/api/v1/files.upload", "", {"Transfer-Encoding: chunked"}) +
                          Chunked(Pattern(300000), 16384)));
  auto over = client.Read();
  ASSERT_TRUE(over);
  EXPECT_EQ(over->status, 413);
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_TRUE(server.WaitDirEmpty());

  // Declared past the cap: refused before any byte is stored.
  TestClient declared(server.port());
  ASSERT_TRUE(declared.Send(BuildRequest("POST", "/api/v1/files.upload", "", {"Content-Length: 200001"})));
  auto refused = declared.Read();
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 413);
  EXPECT_TRUE(server.WaitDirEmpty());
  EXPECT_EQ(handler.calls, 1);
}

TEST(HttpServer, AParkedRequestOutlivesTheIdleTimeoutAndGetsItsLateAnswerFromAnotherThread) {
  TestHandler handler;
  Parking parking;
  handler.on_request = [&](HttpRequest r, Respond respond) { parking.Park(std::move(r), std::move(respond)); };
  HttpLimits limits;
  limits.idle_timeout = 1s;
  RunningServer server(handler, limits);

  TestClient client(server.port());
  ASSERT_TRUE(client.Send(BuildRequest("GET", "/api/v1/events?since=1&wait=25")));
  ASSERT_TRUE(parking.WaitFor(1));
  std::this_thread::sleep_for(1500ms);  // past the idle timeout
  std::thread answerer([&] {
    for (auto& parked : parking.TakeAll()) parked.respond(TextResponse(200, "event"));
  });
  auto response = client.Read();
  answerer.join();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->body, "event");

  // The idle timer is back once the connection waits for its next request.
  EXPECT_TRUE(client.WaitClosed(3s));
}

TEST(HttpServer, AnAnswerAfterThePeerLeftIsDroppedAndItsUploadRemoved) {
  TestHandler handler;
  handler.streamed_paths = {"/upload"};
  Parking parking;
  handler.on_request = [&](HttpRequest r, Respond respond) { parking.Park(std::move(r), std::move(respond)); };
  RunningServer server(handler);
  {
    TestClient client(server.port());
    ASSERT_TRUE(client.Send(BuildRequest("GET", "/api/v1/events?wait=25")));
    TestClient uploader(server.port());
    ASSERT_TRUE(uploader.Send(BuildRequest("POST", "/upload", Pattern(5000))));
    ASSERT_TRUE(parking.WaitFor(2));
    EXPECT_EQ(server.FilesInDir(), 1u);
  }
  // Both peers left: noticed while parked, logged, the upload's file gone before any answer.
  ASSERT_TRUE(server.WaitLogs(2));
  for (const auto& line : server.Logs()) EXPECT_NE(line.find(" 499 "), std::string::npos) << line;
  EXPECT_TRUE(server.WaitDirEmpty());

  auto parked = parking.TakeAll();
  std::thread late([&] {
    for (auto& p : parked) p.respond(TextResponse(200, "too late"));
    for (auto& p : parked) p.respond(TextResponse(200, "twice"));  // ignored
  });
  late.join();
  parked.clear();

  TestClient next(server.port());
  handler.on_request = [](HttpRequest, Respond respond) { respond(TextResponse(200, "alive")); };
  ASSERT_TRUE(next.Send(BuildRequest("GET", "/x")));
  auto response = next.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->body, "alive");
}

TEST(HttpServer, TwoThreadsHold200ParkedPollsAtOnce) {
  TestHandler handler;
  Parking parking;
  handler.on_request = [&](HttpRequest r, Respond respond) { parking.Park(std::move(r), std::move(respond)); };
  RunningServer server(handler, {}, 2);
  constexpr int kClients = 200;
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<TestClient>(server.port()));
    ASSERT_TRUE(clients.back()->Send(BuildRequest("GET", "/api/v1/events?since=" + std::to_string(i))));
  }
  ASSERT_TRUE(parking.WaitFor(kClients));
  for (auto& parked : parking.TakeAll()) parked.respond(TextResponse(200, parked.request.query.at("since")));
  for (int i = 0; i < kClients; ++i) {
    auto response = clients[i]->Read();
    ASSERT_TRUE(response) << i;
    EXPECT_EQ(response->body, std::to_string(i));
  }
}

TEST(HttpServer, ClosesConnectionsPastTheMaximumAtOnce) {
  EchoHandler handler;
  HttpLimits limits;
  limits.max_connections = 2;
  RunningServer server(handler, limits);
  auto a = std::make_unique<TestClient>(server.port());
  TestClient b(server.port());
  for (TestClient* c : {a.get(), &b}) {
    ASSERT_TRUE(c->Send(BuildRequest("GET", "/held")));
    ASSERT_TRUE(c->Read());
  }
  {
    TestClient extra(server.port());
    extra.Send(BuildRequest("GET", "/extra"));
    EXPECT_FALSE(extra.Read());
    EXPECT_TRUE(extra.WaitClosed(1s));
  }
  a.reset();
  // Once one closes, a new one is served (the server notices the close asynchronously).
  bool served = false;
  for (int attempt = 0; attempt < 50 && !served; ++attempt) {
    TestClient again(server.port());
    served = again.Send(BuildRequest("GET", "/again")) && again.Read(1s).has_value();
    if (!served) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(served);
}

TEST(HttpServer, StopAnswersWhatIsAnsweredWithinGraceThenClosesTheRestAndRunReturns) {
  TestHandler handler;
  Parking parking;
  handler.on_request = [&](HttpRequest r, Respond respond) { parking.Park(std::move(r), std::move(respond)); };
  RunningServer server(handler);
  TestClient answered(server.port());
  TestClient abandoned(server.port());
  TestClient idle(server.port());
  ASSERT_TRUE(answered.Send(BuildRequest("GET", "/answered")));
  ASSERT_TRUE(abandoned.Send(BuildRequest("GET", "/abandoned")));
  ASSERT_TRUE(parking.WaitFor(2));

  const auto stop_at = std::chrono::steady_clock::now();
  std::thread stopper([&] { server.server().Stop(500ms); });  // as a signal-waiting thread would
  stopper.join();
  EXPECT_TRUE(idle.WaitClosed(1s));  // no request in flight: closed at once
  for (auto& parked : parking.TakeAll())
    if (parked.request.path == "/answered") parked.respond(TextResponse(200, "last words"));
  auto last = answered.Read();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->body, "last words");
  EXPECT_EQ(last->Header("connection"), "close");

  EXPECT_TRUE(abandoned.WaitClosed(3s));
  while (!server.run_returned() && std::chrono::steady_clock::now() - stop_at < 3s) std::this_thread::sleep_for(5ms);
  const auto took = std::chrono::steady_clock::now() - stop_at;
  ASSERT_TRUE(server.run_returned());
  server.Join();
  EXPECT_GE(took, 450ms);
  EXPECT_LT(took, 2s);
  TestClient refused(server.port());
  EXPECT_FALSE(refused.connected());
}

TEST(HttpServer, LogsOneLinePerRequestWithoutQueryOrAuthorization) {
  EchoHandler handler;
  HttpLimits limits;
  limits.max_body = 10;
  RunningServer server(handler, limits);
  TestClient client(server.port());
  ASSERT_TRUE(client.Send(BuildRequest("GET", "/api/v1/events?token=querysecret&wait=1", "",
                                       {"Authorization: Bearer headersecret"})));
  ASSERT_TRUE(client.Read());
  ASSERT_TRUE(client.Send(BuildRequest("POST", "/api/v1/x?token=querysecret", "bodysecret!!")));
  ASSERT_TRUE(client.Read());
  ASSERT_TRUE(server.WaitLogs(2));
  std::this_thread::sleep_for(50ms);
  const auto logs = server.Logs();
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_TRUE(std::regex_match(logs[0], std::regex(R"(GET /api/v1/events 200 \d+ms)"))) << logs[0];
  EXPECT_TRUE(std::regex_match(logs[1], std::regex(R"(POST /api/v1/x 413 \d+ms)"))) << logs[1];
  for (const auto& line : logs) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

}  // namespace
}  // namespace veltrina::server
