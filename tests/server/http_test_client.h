#pragma once
// A blocking HTTP/1.1 client on plain sockets for the server's tests: every read has a deadline,
// so a server that never answers fails the test instead of hanging it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrina::server::testing {

struct ClientResponse {
  int status = 0;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
  std::string Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  }
};

// "METHOD target HTTP/1.1" with Host, the extras, and Content-Length unless the extras frame the body.
inline std::string BuildRequest(const std::string& method, const std::string& target, const std::string& body = {},
                                const std::vector<std::string>& extra_headers = {}) {
  std::string out = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  bool framed = false;
  for (const auto& header : extra_headers) {
    out += header + "\r\n";
    if (header.find("chunked") != std::string::npos || header.rfind("Content-Length:", 0) == 0) framed = true;
  }
  if (!framed && (!body.empty() || method == "POST")) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return out + "\r\n" + body;
}

// A chunked encoding of `body` in pieces of `piece` bytes.
inline std::string Chunked(const std::string& body, size_t piece) {
  std::string out;
  char size[32];
  for (size_t at = 0; at < body.size(); at += piece) {
    const size_t n = std::min(piece, body.size() - at);
    snprintf(size, sizeof size, "%zx\r\n", n);
    out += size;
    out += body.substr(at, n) + "\r\n";
  }
  return out + "0\r\n\r\n";
}

class TestClient {
 public:
  explicit TestClient(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~TestClient() { Close(); }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return connected_; }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // False when the peer refused part of it (closed or reset).
  bool Send(std::string_view data) {
    while (!data.empty()) {
      const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  // The next response (Content-Length framed, as the server always sends); nullopt when the
  // connection ends or the deadline passes first.
  std::optional<ClientResponse> Read(std::chrono::milliseconds timeout = std::chrono::seconds(5), bool head = false) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t end;
    while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
      if (!Fill(deadline)) return std::nullopt;
    ClientResponse response;
    const std::string head_text = pending_.substr(0, end);
    pending_.erase(0, end + 4);
    size_t line_end = head_text.find("\r\n");
    const std::string status_line = head_text.substr(0, line_end);
    if (status_line.size() < 12) return std::nullopt;
    response.status = std::stoi(status_line.substr(9, 3));
    while (line_end != std::string::npos) {
      const size_t start = line_end + 2;
      line_end = head_text.find("\r\n", start);
      const std::string line = head_text.substr(start, line_end == std::string::npos ? std::string::npos : line_end - start);
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string name = line.substr(0, colon);
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      size_t value_start = colon + 1;
      while (value_start < line.size() && line[value_start] == ' ') ++value_start;
      response.headers[name] = line.substr(value_start);
    }
    const size_t length = head ? 0 : std::stoul(response.Header("content-length").empty() ? "0" : response.Header("content-length"));
    while (pending_.size() < length)
      if (!Fill(deadline)) return std::nullopt;
    response.body = pending_.substr(0, length);
    pending_.erase(0, length);
    return response;
  }

  // True when the server closes (or resets) the connection within `timeout`.
  bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!Fill(deadline)) return !timed_out_;
    }
    return false;
  }

 private:
  bool Fill(std::chrono::steady_clock::time_point deadline) {
    timed_out_ = false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out_ = true;
      return false;
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      timed_out_ = true;
      return false;
    }
    char chunk[16384];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    pending_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
  bool timed_out_ = false;
  std::string pending_;
};

}  // namespace veltrina::server::testing
