#pragma once
// The HTTP front of the server: what it hands to the service and what it takes back. The front
// (http_server.cpp, Boost.Beast) owns sockets, limits and timing; the service owns meaning.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace veltrina::server {

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // percent-decoded, without the query ("/api/v1/messages.send")
  std::map<std::string, std::string> query;  // percent-decoded; a repeated name keeps the last value
  std::string authorization;  // the Authorization header as sent
  std::string content_type;
  std::string body;       // the body, for a request that does not stream it
  std::string body_file;  // for a streamed body (uploads): a file holding it, removed after the reply
  uint64_t body_size = 0;
  std::string remote_address;  // the peer's IP address
};

struct HttpResponse {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  // When set, the file's bytes are the body (served in pieces, not read whole).
  std::string file;
  std::vector<std::pair<std::string, std::string>> headers;
};

// Answers a request exactly once, from any thread, now or later; a connection closed meanwhile
// drops the answer.
using Respond = std::function<void(HttpResponse)>;

class Handler {
 public:
  virtual ~Handler() = default;
  // Called on an I/O thread; must not block (a long-poll keeps `respond` and returns).
  virtual void Handle(HttpRequest request, Respond respond) = 0;
  // Decided on the request line and headers: whether the body goes to a file instead of memory.
  virtual bool StreamsBody(const std::string& method, const std::string& path) const = 0;
};

struct HttpLimits {
  size_t max_body = 1 << 20;            // a body kept in memory; past it: 413
  uint64_t max_upload = 100ull << 20;   // a streamed body; past it: 413, the partial file removed
  size_t max_header = 16 << 10;         // request line and headers; past it: 431
  size_t max_connections = 4096;        // past it, new connections are closed at once
  std::chrono::seconds idle_timeout{75};  // a connection silent this long is closed (longer than a long-poll)
};

class HttpServer {
 public:
  // Binds at once (port 0: any free one); throws std::runtime_error when it cannot. Streamed bodies
  // go to temp_dir. `log` gets one line per request: method, path, status, milliseconds.
  HttpServer(const std::string& address, uint16_t port, Handler& handler, HttpLimits limits, std::string temp_dir,
             std::function<void(const std::string&)> log);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  uint16_t port() const;
  // Serves on `threads` threads until Stop; returns when every connection is closed.
  void Run(int threads);
  // Stops accepting; requests in flight get `grace` to be answered, then connections close. Any thread.
  void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrina::server
