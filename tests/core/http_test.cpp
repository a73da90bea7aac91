// Real HTTP through WinHTTP, against a server on the loopback interface: idle threads take the
// requests, and saved bodies are written off the callback thread.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "demo_support.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/hosts.h"
#include "veltrina/file_utils.h"
#include "veltrina/http.h"

namespace {

using core_test::Slot;

// Answers every connection with the same response on a thread of its own; "/slow..." waits for
// Release(), "/silent..." accepts and never answers while the server lives.
class LocalHttpServer {
 public:
  explicit LocalHttpServer(std::string response) : response_(std::move(response)) {
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
    url_ = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    acceptor_ = std::thread([this] {
      for (SOCKET client; (client = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
        std::lock_guard<std::mutex> lock(mutex_);
        clients_.emplace_back([this, client] { Serve(client); });
      }
    });
  }
  ~LocalHttpServer() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    Release();
    closesocket(listener_);  // ends the acceptor's accept()
    acceptor_.join();
    for (std::thread& t : clients_) t.join();
    WSACleanup();
  }
  std::string Url(const std::string& path) const { return url_ + path; }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    release_.notify_all();
  }
  std::string heads() {  // every request head so far
    std::lock_guard<std::mutex> lock(mutex_);
    return heads_;
  }
  static std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }

 private:
  void Serve(SOCKET client) {
    std::string head;
    char buffer[4096];
    for (int n = 0; head.find("\r\n\r\n") == std::string::npos && (n = recv(client, buffer, sizeof buffer, 0)) > 0;)
      head.append(buffer, static_cast<size_t>(n));
    std::unique_lock<std::mutex> lock(mutex_);
    heads_ += head;
    if (head.find(" /slow") != std::string::npos) release_.wait(lock, [this] { return released_; });
    if (head.find(" /silent") != std::string::npos) {
      release_.wait(lock, [this] { return closing_; });
      closesocket(client);
      return;
    }
    lock.unlock();
    send(client, response_.data(), static_cast<int>(response_.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
  }
  std::string response_, url_, heads_;
  SOCKET listener_ = INVALID_SOCKET;
  std::mutex mutex_;
  std::condition_variable release_;
  bool released_ = false;
  bool closing_ = false;
  std::thread acceptor_;
  std::vector<std::thread> clients_;
};

// Starts a request; `slot` receives "<ok><status>[!: an error][@off core]|<body>|<saved file>".
void Start(const std::string& url, Slot<std::string>* slot, const std::string& save_path = "", uint64_t max_bytes = 0,
           int timeout_ms = 15000) {
  veltrina::HttpRequest request(url);
  request.set_timeout_ms(timeout_ms);
  request.set_save_path(save_path);
  request.set_max_body_bytes(max_bytes);
  veltrina::HttpClient::SharedClient()->Send(request, [=](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
    std::string saved;
    veltrina::FileUtils::SharedFileUtils()->ReadFile(save_path, &saved);
    slot->Set(std::to_string(ok) + std::to_string(r->status_code()) + (r->error().empty() ? "" : "!") +
              (veltrina::backend::IsCoreThread() ? "" : "@off core") + "|" + r->raw_data() + "|" + saved);
  });
}

std::string Fetch(const std::string& url, const std::string& save_path = "", uint64_t max_bytes = 0) {
  Slot<std::string> slot;
  Start(url, &slot, save_path, max_bytes);
  EXPECT_TRUE(slot.Wait(std::chrono::milliseconds(20000)));
  return slot.Get();
}

struct RealHttp : ::testing::Test {
  void SetUp() override { veltrina::backend::InstallService(std::make_shared<veltrina::backend::ScriptedService>()); }
};

TEST_F(RealHttp, AddressesOutsideTheServiceGoThroughWinHttpAndFailuresHaveNoBody) {
  std::string body("binary\0body\xff", 12);
  LocalHttpServer server(LocalHttpServer::Ok(body));
  EXPECT_EQ(Fetch(server.Url("/images/a.png?x=1")), "1200|" + body + "|");
  EXPECT_EQ(server.heads().rfind("GET /images/a.png?x=1 HTTP/1.1\r\n", 0), 0u);
  LocalHttpServer missing("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
  EXPECT_EQ(Fetch(missing.Url("/missing")), "0404!||");
  EXPECT_EQ(Fetch("ftp://example.org/file"), "00!||");
  EXPECT_EQ(Fetch("not a url at all"), "00!||");
}

// Requests go to whichever of the three threads is idle: a held one and one that never gets an
// answer (failed within its time-out) hold up only themselves, and their threads serve again after.
TEST_F(RealHttp, ASlowOrSilentServerHoldsUpOnlyItsOwnRequest) {
  LocalHttpServer server(LocalHttpServer::Ok("quick"));
  auto begin = std::chrono::steady_clock::now();
  Slot<std::string> slow, silent;
  Start(server.Url("/slow"), &slow);
  Start(server.Url("/silent"), &silent, "", 0, 2000);
  auto quick = [&](int count) {
    std::vector<Slot<std::string>> slots(count);
    for (auto& slot : slots) Start(server.Url("/quick"), &slot);
    for (auto& slot : slots) EXPECT_TRUE(slot.Wait(std::chrono::milliseconds(10000)) && slot.Get() == "1200|quick|");
  };
  quick(6);
  ASSERT_TRUE(silent.Wait(std::chrono::milliseconds(12000)));
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(8));
  EXPECT_EQ(silent.Get(), "00!||");
  EXPECT_EQ(slow.count(), 0);  // still held
  server.Release();
  EXPECT_TRUE(slow.Wait(std::chrono::milliseconds(10000)) && slow.Get() == "1200|quick|");
  quick(3);
}

TEST_F(RealHttp, ASavedBodyIsWrittenWhileTheCallbackThreadIsBusyAndCompleteWhenItIsTold) {
  std::string body(300000, 'p');
  LocalHttpServer server(LocalHttpServer::Ok(body));
  core_test::TempFolder folder;
  std::string path = folder.File("new\\sub\\a.png");
  // A callback that holds the callback thread until the file appeared.
  Slot<bool> holding, appeared;
  veltrina::HttpClient::SharedClient()->Send(veltrina::HttpRequest(server.Url("/first")), [&](bool, auto) {
    holding.Set(true);
    appeared.Wait(std::chrono::milliseconds(10000));
  });
  ASSERT_TRUE(holding.Wait());
  Slot<std::string> saved;
  Start(server.Url("/a.png"), &saved, path);
  appeared.Set(core_test::WaitUntil([&] {
    std::string now;
    return veltrina::FileUtils::SharedFileUtils()->ReadFile(path, &now) && now == body;
  }, std::chrono::milliseconds(10000)));
  EXPECT_TRUE(appeared.Get() && saved.Wait(std::chrono::milliseconds(15000)));
  EXPECT_TRUE(saved.Get() == "1200|" + body + "|" + body);
  // A path that cannot be written (below a file) fails the request.
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("plain"), "x"));
  EXPECT_EQ(Fetch(server.Url("/b.png"), folder.File("plain\\b.png")).substr(0, 6), "0200!|");
}

TEST_F(RealHttp, ABodyPastTheRequestsLimitFailsAndSavesNothingWhoeverServesIt) {
  core_test::TempFolder folder;
  const std::string body(5000, 'b');
  LocalHttpServer server(LocalHttpServer::Ok(body));
  EXPECT_EQ(Fetch(server.Url("/a.png"), folder.File("a.png"), 4999), "0200!||");
  EXPECT_EQ(Fetch(server.Url("/a.png"), folder.File("a.png"), 5000), "1200|" + body + "|" + body);
  // Whatever a service answers is held to the limit too.
  auto scripted = std::make_shared<veltrina::backend::ScriptedService>();
  veltrina::backend::InstallService(scripted);
  scripted->AutoAnswer("http.get", [&](const auto&) { return veltrina::backend::Reply{true, 200, "", "{}", body}; });
  EXPECT_EQ(Fetch("https://" + std::string(veltrina::kStorageHost) + "/b.png", folder.File("b.png"), 4999), "0200!||");
  // The demo service refuses a stored file larger than asked for without reading it.
  core_test::InstallDemo(folder.File("demo"));
  core_test::SignInAndLoad("alice", "veltrina");
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("big.png"), body));
  const std::string shared = core_test::Ask<std::string>([&](auto done) {
    veltrina::HttpClient::SharedClient()->Upload(folder.File("big.png"), "big.png", "", "c-random", true, [done](bool, auto r) {
      veltrina::Message m;
      veltrina::Entity e;
      done(veltrina::backend::FromJson(r->raw_data(), &m) && e.InitWithJsonOrDie(m.entity_json()) ? e.path() : "");
    });
  });
  ASSERT_FALSE(shared.empty());
  const std::string url = "https://" + std::string(veltrina::kFileBoxHost) + "/" + shared + ".png";
  EXPECT_EQ(Fetch(url, folder.File("c.png"), 4999), "0413!||");
  EXPECT_EQ(Fetch(url, folder.File("c.png"), 5000), "1200|" + body + "|" + body);
  core_test::StopDemo();
}

}  // namespace
