#pragma once
// Blocking HTTP exchanges with one server through one long-lived WinHTTP session. Unlike
// WinHttpFetch (winhttp_fetch.h) it keeps the body of every status: the server's error
// envelopes travel with 4xx and 5xx answers.
#include <cstdint>
#include <string>

namespace veltrina::internal::remote {

// A server's base address, taken apart.
struct ServerAddress {
  bool secure = false;
  std::wstring host;
  unsigned short port = 0;
  std::string prefix;  // path before "/api/v1/...", without a trailing '/' (usually empty)
};

// http(s)://host[:port][/path] with no query, fragment or user; false for anything else.
bool ParseServerUrl(const std::string& url, ServerAddress* address);

struct Exchange {
  int status = 0;          // 0: no answer (error says why)
  std::string body;
  std::string content_type;
  std::string error;
};

class HttpLink {
 public:
  explicit HttpLink(ServerAddress address);
  ~HttpLink();
  HttpLink(const HttpLink&) = delete;
  HttpLink& operator=(const HttpLink&) = delete;

  // `path` starts with '/' and may carry a query; `headers` are "Name: value\r\n" lines. Safe
  // from several threads at once. A body longer than max_body fails with status 0.
  Exchange Send(const wchar_t* verb, const std::string& path, const std::string& headers, const std::string& body,
                int timeout_ms, uint64_t max_body) const;

 private:
  ServerAddress address_;
  void* session_ = nullptr;
  void* connection_ = nullptr;
};

}  // namespace veltrina::internal::remote
