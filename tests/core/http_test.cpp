// Real HTTP through WinHTTP, against a one-shot server on the loopback interface.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "test_support.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/http.h"

namespace {

using core_test::Slot;

// Accepts one connection, reads the request head and answers with `response`.
class OneShotServer {
 public:
  explicit OneShotServer(std::string response) : response_(std::move(response)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 1);
    int size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
    WSACleanup();
  }
  int port() const { return port_; }
  std::string request_head() {
    if (thread_.joinable()) thread_.join();
    return head_;
  }

 private:
  void Serve() {
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    char buffer[4096];
    while (head_.find("\r\n\r\n") == std::string::npos) {
      int n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      head_.append(buffer, static_cast<size_t>(n));
    }
    send(client, response_.data(), static_cast<int>(response_.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
  }
  std::string response_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
  std::string head_;
};

struct Result {
  bool ok = false;
  int status = 0;
  std::string body;
  std::string error;
  bool on_core = false;
};

Result Fetch(const std::string& url) {
  Slot<Result> slot;
  veltrina::HttpRequest request(url);
  request.set_timeout_ms(5000);
  veltrina::HttpClient::SharedClient()->Send(request, [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
    slot.Set(Result{ok, r->status_code(), r->raw_data(), r->error(), veltrina::backend::IsCoreThread()});
  });
  EXPECT_TRUE(slot.Wait(std::chrono::milliseconds(20000)));
  return slot.Get();
}

class RealHttp : public ::testing::Test {
 protected:
  void SetUp() override { veltrina::backend::InstallService(std::make_shared<veltrina::backend::ScriptedService>()); }
};

TEST_F(RealHttp, AddressesOutsideTheServiceGoThroughWinHttp) {
  std::string body("binary\0body\xff", 12);
  OneShotServer server("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 12\r\n"
                       "Connection: close\r\n\r\n" + body);
  Result r = Fetch("http://127.0.0.1:" + std::to_string(server.port()) + "/images/a.png?x=1");
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, body);
  EXPECT_TRUE(r.on_core);
  EXPECT_EQ(server.request_head().rfind("GET /images/a.png?x=1 HTTP/1.1\r\n", 0), 0u);
}

TEST_F(RealHttp, ErrorStatusesAndBadAddressesFailWithAnEmptyBody) {
  OneShotServer server("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
  Result missing = Fetch("http://127.0.0.1:" + std::to_string(server.port()) + "/missing");
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.status, 404);
  EXPECT_TRUE(missing.body.empty());
  Result scheme = Fetch("ftp://example.org/file");
  EXPECT_FALSE(scheme.ok);
  EXPECT_FALSE(scheme.error.empty());
  EXPECT_TRUE(scheme.on_core);
  EXPECT_FALSE(Fetch("not a url at all").ok);
}

}  // namespace
