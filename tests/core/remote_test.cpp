// The remote backend against the real veltrina-server (a Linux program started from the test):
// sign-in, lists, sending, live arrival, history, files, a silent server, a restart mid-session;
// and the choice of the server.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "demo_support.h"
#include "native_server.h"
#include "veltrina/backend/remote_service.h"
#include "veltrina/entity.h"
#include "veltrina/hosts.h"

namespace {

using namespace core_test;
using veltrina::backend::RemoteOptions;
using veltrina::backend::RemoteService;
using Json = nlohmann::json;

// What a service told its sink, in order.
class Recorder : public veltrina::backend::EventSink {
 public:
  void OnServiceEvent(const std::string& name, const std::string& body) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.emplace_back(name, body);
  }
  // The contents of the "message" events, in order.
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (auto& [name, body] : Events())
      if (name == "message") out.push_back(Json::parse(body)["message"].value("content", ""));
    return out;
  }
  std::vector<std::pair<std::string, std::string>> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> events_;
};

// Messages and connection states as the core hands them to the client.
class Watcher : public veltrina::MessageHandler,
                public veltrina::ConnectionStateHandler,
                public veltrina::NumUnreadHandler {
 public:
  void HandleNumUnreadChanged(const std::string& channel_id, veltrina::_NumUnread) override {
    std::lock_guard<std::mutex> lock(mutex_);
    unread_.push_back(channel_id);
  }
  std::vector<std::string> unread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return unread_;
  }
  void HandleMessage(const veltrina::Message& message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message.content());
  }
  void HandleConnectionStateChanged(int state) override {
    std::lock_guard<std::mutex> lock(mutex_);
    states_.push_back(state);
  }
  std::vector<std::string> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::vector<int> states() {
    std::lock_guard<std::mutex> lock(mutex_);
    return states_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> messages_;
  std::vector<std::string> unread_;
  std::vector<int> states_;
};

size_t CountOf(const std::vector<std::string>& list, const std::string& text) {
  return static_cast<size_t>(std::count(list.begin(), list.end(), text));
}

// A reply's code and body, waiting as long as it takes (up to `timeout`).
std::pair<int64_t, std::string> Exchange(veltrina::backend::Service& service, const std::string& method,
                                          const Json& params, milliseconds timeout = milliseconds(15000)) {
  Slot<std::pair<int64_t, std::string>> slot;
  service.Call({0, method, params.dump(), ""}, [&slot](veltrina::backend::Reply r) {
    slot.Set({r.ok ? 0 : r.code, r.ok ? r.body : r.error});
  });
  EXPECT_TRUE(slot.Wait(timeout)) << method;
  return slot.Get();
}

// A second session beside the client's: bob, straight on a service of his own.
struct Peer {
  explicit Peer(RemoteOptions options) : service(std::make_shared<RemoteService>(std::move(options))) {
    service->Attach(&sink);
  }
  ~Peer() { service->Detach(); }
  bool SignIn(const std::string& user) {
    return Exchange(*service, "auth.login", {{"username", user}, {"password", "veltrina"}, {"team_subdomain", "demo"}})
               .first == 0;
  }
  // Sends without waiting for the answer; `done` counts answers that stored the message.
  void Send(const std::string& text, std::atomic<int>* done, const std::string& conversation = "c-general") {
    Json params{{"message", {{"channel_id", conversation}, {"content", text}}}};
    service->Call({0, "messages.send", params.dump(), ""}, [done](veltrina::backend::Reply r) {
      if (r.ok) ++*done;
    });
  }
  Recorder sink;
  std::shared_ptr<RemoteService> service;
};

struct Remote : ::testing::Test {
  void SetUp() override {
    if (std::string why = server_.Missing(); !why.empty()) {
      if (std::getenv("CI")) FAIL() << why;  // a full run builds the server first: missing, it is a fault
      GTEST_SKIP() << why;
    }
    ASSERT_TRUE(server_.Start());
    service_ = std::make_shared<RemoteService>(Options());
    veltrina::backend::InstallService(service_);
  }
  void TearDown() override {
    if (auto* chat = veltrina::ChatManager::DefaultManager()) {
      chat->RemoveMessageHandler(&watcher_);
      chat->RemoveNumUnreadHandler(&watcher_);
    }
    if (auto* director = veltrina::Director::DefaultDirector()) director->RemoveConnectionStateHandler(&watcher_);
    StopDemo();  // detaches the remote service
  }
  RemoteOptions Options() const {
    RemoteOptions options;
    options.url = server_.url();
    options.request_timeout = milliseconds(10000);
    options.poll_wait = std::chrono::seconds(5);
    options.backoff_first = milliseconds(200);
    options.backoff_max = milliseconds(1000);
    return options;
  }
  void Watch() {
    veltrina::ChatManager::DefaultManager()->AddMessageHandler(&watcher_);
    veltrina::ChatManager::DefaultManager()->AddNumUnreadHandler(&watcher_);
    veltrina::Director::DefaultDirector()->AddConnectionStateHandler(&watcher_);
  }
  // Alice signed in and watched, bob signed in, his "before" arrived at her.
  void AliceHearsBob(Peer& bob, std::atomic<int>& stored) {
    SignInAndLoad("alice", "veltrina");
    Watch();
    ASSERT_TRUE(bob.SignIn("bob"));
    bob.Send("before", &stored);
    ASSERT_TRUE(WaitUntil([&] { return watcher_.messages().size() == 1; }, milliseconds(10000)));
  }
  NativeServer server_;
  std::shared_ptr<RemoteService> service_;
  Watcher watcher_;
};

TEST_F(Remote, SignInListsSendHistoryAndLiveArrival) {
  auto lookup = [](const std::string& subdomain) {
    return Ask<std::string>([&](auto done) {
      veltrina::WebApi::Api()->GetTeamLiteBySubdomain(subdomain, [done](bool ok, int64_t code, auto& id, auto&, auto&) {
        done(ok ? id : std::to_string(code));
      });
    });
  };
  EXPECT_EQ(lookup("demo"), "t-demo");
  EXPECT_EQ(lookup("nope"), "404");
  EXPECT_EQ(Login("alice", "wrong"), 8000);
  SignInAndLoad("alice", "veltrina");
  EXPECT_GE(veltrina::UserManager::DefaultManager()->FetchUsersFromCache().size(), 3u);
  EXPECT_FALSE(Cached("c-general").empty());
  Watch();

  Peer bob(Options());
  ASSERT_TRUE(bob.SignIn("bob"));
  // Alice's message is stored and reaches bob's session, not her own handlers.
  auto sent = Send("c-general", "hello from alice");
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->content(), "hello from alice");
  EXPECT_FALSE(sent->key().empty());
  EXPECT_TRUE(WaitUntil([&] { return CountOf(bob.sink.Messages(), "hello from alice") == 1; }, milliseconds(10000)));
  // Bob's three, sent at once, arrive live at alice in order, each once.
  std::atomic<int> stored{0};
  for (const char* text : {"one", "two", "three"}) bob.Send(text, &stored);
  EXPECT_TRUE(WaitUntil([&] { return watcher_.messages().size() >= 3; }, milliseconds(10000)));
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_EQ(watcher_.messages(), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(stored, 3);
  EXPECT_EQ(CountOf(bob.sink.Messages(), "one"), 0u);  // his own are not echoed to him
  // The history holds them after alice's, oldest first.
  auto [code, body] = Exchange(*service_, "messages.history", {{"channel_id", "c-general"}, {"count", 4}});
  ASSERT_EQ(code, 0) << body;
  std::vector<std::string> history;
  const Json page = Json::parse(body);
  for (const Json& m : page["messages"]) history.push_back(m.value("content", ""));
  EXPECT_EQ(history, (std::vector<std::string>{"hello from alice", "one", "two", "three"}));
  // The counts that came with bob's messages reached the core's handlers.
  EXPECT_GE(CountOf(watcher_.unread(), "c-general"), 3u);
}

TEST_F(Remote, UploadsAndDownloadsFilesAndPictures) {
  SignInAndLoad("alice", "veltrina");
  TempFolder folder;
  std::string bytes = "remote file\0with a zero and \xff\xfe bytes";
  bytes.append(70000, 'x');
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("notes.bin"), bytes));
  std::string stored = Ask<std::string>([&](auto done) {
    veltrina::HttpClient::SharedClient()->Upload(folder.File("notes.bin"), "notes.bin", "see this", "c-general", true,
                                                 [done](bool ok, auto r) { done(ok ? r->raw_data() : "failed " + r->error()); });
  });
  const Json message = Json::parse(stored, nullptr, false);
  ASSERT_TRUE(message.is_object() && message.contains("entity")) << stored;
  EXPECT_EQ(message.value("content", ""), "上传了文件: notes.bin");
  veltrina::Entity entity;
  ASSERT_TRUE(entity.InitWithJsonOrDie(message["entity"].dump())) << stored;
  EXPECT_EQ(Get(std::string(veltrina::kFileBoxUrl) + "/" + entity.path() + "." + entity.file_extension()), bytes);
  EXPECT_TRUE(Get(std::string(veltrina::kFileBoxUrl) + "/f/e-none.bin").empty());
  // Avatars come from the storage host.
  const auto users = veltrina::UserManager::DefaultManager()->FetchUsersFromCache();
  ASSERT_FALSE(users.empty());
  const std::string name = users.front()->header_url();
  EXPECT_EQ(Get(std::string(veltrina::kStorageBaseUrl) + "/vtavatar/" + name.substr(0, name.find('.')) + "_40x40" +
                name.substr(name.find('.'))).substr(1, 3), "PNG");
}

TEST_F(Remote, ARestartMidSessionLosesAndDoublesNothing) {
  Peer bob(Options());
  std::atomic<int> stored{0};
  ASSERT_NO_FATAL_FAILURE(AliceHearsBob(bob, stored));

  ASSERT_TRUE(server_.Stop("KILL"));
  EXPECT_TRUE(WaitUntil([&] { return !watcher_.states().empty(); }, milliseconds(10000)));
  EXPECT_EQ(watcher_.states(), std::vector<int>{1});  // reconnecting
  // Sent while the server is down: the lane keeps it and tries again.
  bob.Send("while down", &stored);
  std::this_thread::sleep_for(milliseconds(1500));
  EXPECT_EQ(stored, 1);
  ASSERT_TRUE(server_.Start("127.0.0.1:" + server_.port()));
  bob.Send("after", &stored);
  EXPECT_TRUE(WaitUntil([&] { return stored == 3 && watcher_.messages().size() >= 3; }, milliseconds(20000)));
  std::this_thread::sleep_for(milliseconds(1000));
  EXPECT_EQ(watcher_.messages(), (std::vector<std::string>{"before", "while down", "after"}));
  EXPECT_EQ(watcher_.states(), (std::vector<int>{1, 0}));
}

// Messages stored while alice's poller waits out its back-off, by a server that is then killed too
// and keeps too few changes for her to catch up from, reach her through the resync, once each, also
// the older one of a conversation the server lists after the other's; what she had before does not
// come again.
TEST_F(Remote, MessagesMissedAcrossARestartComeWithTheResync) {
  // Alice's next poll comes at least 6 s after the failure: two restarts are over by then.
  RemoteOptions slow = Options();
  slow.backoff_first = milliseconds(8000);
  slow.backoff_max = milliseconds(8000);
  service_ = std::make_shared<RemoteService>(slow);
  veltrina::backend::InstallService(service_);
  Peer bob(Options());
  std::atomic<int> stored{0};
  ASSERT_NO_FATAL_FAILURE(AliceHearsBob(bob, stored));
  ASSERT_TRUE(Send("c-general", "her own"));  // she has it from the answer: the resync leaves it out

  ASSERT_TRUE(server_.Stop("KILL"));
  ASSERT_TRUE(server_.Start("127.0.0.1:" + server_.port(), "--kept-changes 1"));
  bob.Send("missed directly", &stored, "im-alice-bob");
  ASSERT_TRUE(WaitUntil([&] { return stored == 2; }, milliseconds(3000)));
  std::this_thread::sleep_for(milliseconds(1100));  // a later second: message times count in seconds
  bob.Send("missed", &stored);
  ASSERT_TRUE(WaitUntil([&] { return stored == 3; }, milliseconds(3000)));
  ASSERT_TRUE(server_.Stop("KILL"));
  ASSERT_TRUE(server_.Start("127.0.0.1:" + server_.port(), "--kept-changes 1"));
  EXPECT_EQ(watcher_.messages().size(), 1u) << "alice polled before the second restart";
  EXPECT_TRUE(WaitUntil([&] { return watcher_.messages().size() >= 3; }, milliseconds(15000)));
  bob.Send("after", &stored);
  EXPECT_TRUE(WaitUntil([&] { return CountOf(watcher_.messages(), "after") > 0; }, milliseconds(10000)));
  std::this_thread::sleep_for(milliseconds(500));
  // #general comes before the direct chat in the resync's answer.
  EXPECT_EQ(watcher_.messages(), (std::vector<std::string>{"before", "missed", "missed directly", "after"}));
}

TEST_F(Remote, ADeadTokenFailsAndDetachEndsTheEvents) {
  Recorder sink;
  auto service = std::make_shared<RemoteService>(Options());
  service->Attach(&sink);
  EXPECT_EQ(Exchange(*service, "users.list", Json::object()).first, 401);
  EXPECT_EQ(sink.Events(), (std::vector<std::pair<std::string, std::string>>{{"connection", R"({"state":3})"}}));
  EXPECT_EQ(Exchange(*service, "auth.login", {{"username", "alice"}, {"password", "veltrina"}, {"team_subdomain", "demo"}})
                .first, 0);
  EXPECT_EQ(Exchange(*service, "users.list", Json::object()).first, 0);
  // A poll is parked on the server now; Detach does not wait for it, and nothing comes after.
  std::this_thread::sleep_for(milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  service->Detach();
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1000));
  Peer bob(Options());
  ASSERT_TRUE(bob.SignIn("bob"));
  std::atomic<int> stored{0};
  bob.Send("unheard", &stored);
  EXPECT_TRUE(WaitUntil([&] { return stored == 1; }));
  std::this_thread::sleep_for(milliseconds(1000));
  EXPECT_EQ(sink.Events().size(), 1u);
}

// A loopback socket that accepts connections and never answers.
class SilentServer {
 public:
  SilentServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 16);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
      for (SOCKET client; (client = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) clients_.push_back(client);
    });
  }
  ~SilentServer() {
    closesocket(listener_);
    acceptor_.join();
    for (SOCKET c : clients_) closesocket(c);
    WSACleanup();
  }
  int port() const { return port_; }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<SOCKET> clients_;
};

TEST(RemoteTransport, ASilentOrAbsentServerIsUnreachableWithinTheTimeOut) {
  RemoteOptions options;
  options.request_timeout = milliseconds(1500);
  {
    SilentServer silent;
    options.url = "http://127.0.0.1:" + std::to_string(silent.port());
    RemoteService service(options);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Exchange(service, "team.lookup", {{"subdomain", "demo"}}).first, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(6000));
    service.Detach();
    // A message's try ends with its window, however long a request may wait otherwise: the
    // window's answer comes before the composer gives the text back.
    options.request_timeout = milliseconds(20000);
    options.send_retry_window = milliseconds(1500);
    RemoteService sending(options);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(Exchange(sending, "messages.send", {{"message", {{"channel_id", "c-1"}, {"content", "hi"}}}}).first, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(6000));
    sending.Detach();
    options.request_timeout = milliseconds(1500);
  }
  // The same port with nobody listening any more: refused at once.
  RemoteService service(options);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(service, "team.lookup", {{"subdomain", "demo"}}).first, -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(3000));
  service.Detach();
}

TEST(ServerChoice, CommandLineThenEnvironmentThenServerJsonAndBadAddressesArePassedOver) {
  using veltrina::backend::ChooseServerFrom;
  const std::string file = R"({"url": "http://files.example:7000/"})";
  EXPECT_EQ(ChooseServerFrom("http://cli:1", "http://env:2", file), "http://cli:1");
  EXPECT_EQ(ChooseServerFrom("", "http://env:2", file), "http://env:2");
  EXPECT_EQ(ChooseServerFrom("", "", file), "http://files.example:7000");
  EXPECT_EQ(ChooseServerFrom("", "", ""), "");
  EXPECT_EQ(ChooseServerFrom("ftp://cli:1", "http://env:2/", ""), "http://env:2");
  EXPECT_EQ(ChooseServerFrom("cli:1", "env", file), "http://files.example:7000");
  EXPECT_EQ(ChooseServerFrom("http://h:1?x=1", "http://", "{broken"), "");
  EXPECT_EQ(ChooseServerFrom("", "", R"({"url": 5})"), "");
  EXPECT_EQ(ChooseServerFrom("https://chat.example.org/veltrina", "", ""), "https://chat.example.org/veltrina");
  // From the environment and the data folder.
  TempFolder folder;
  _putenv_s("VELTRINA_SERVER", "");
  EXPECT_EQ(veltrina::backend::ChooseServer("", folder.path()), "");
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("server.json"), file));
  EXPECT_EQ(veltrina::backend::ChooseServer("", folder.path()), "http://files.example:7000");
  _putenv_s("VELTRINA_SERVER", "http://env:2");
  EXPECT_EQ(veltrina::backend::ChooseServer("", folder.path()), "http://env:2");
  EXPECT_EQ(veltrina::backend::ChooseServer("http://cli:1", folder.path()), "http://cli:1");
  _putenv_s("VELTRINA_SERVER", "");
}

}  // namespace
