#pragma once
// An HTTP server on the loopback interface for tests of real network code. Every connection is
// answered on a thread of its own with the same response; paths starting "/slow" are held until
// Release().
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace veltrina::test_support {

class LocalHttpServer {
 public:
  explicit LocalHttpServer(std::string response);  // the whole answer, status line included
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  std::string Url(const std::string& path) const { return url_ + path; }
  void Release();
  std::string heads();  // every request head so far, in arrival order

  // A 200 answer carrying `body`.
  static std::string Ok(const std::string& body);

 private:
  void Serve(uintptr_t client);  // a SOCKET: winsock2.h stays out of this header

  std::string response_, url_, heads_;
  uintptr_t listener_ = ~uintptr_t{0};
  std::mutex mutex_;
  std::condition_variable release_;
  bool released_ = false;
  std::thread acceptor_;
  std::vector<std::thread> clients_;
};

}  // namespace veltrina::test_support
