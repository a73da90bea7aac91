#pragma once
// Test scaffolding for the HTTP front: a handler whose behaviour each test sets, a place where
// long-polls wait for the test to answer them, and a server running on its own thread.
#include <stdlib.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "http.h"

namespace veltrina::server::testing {

class TestHandler : public Handler {
 public:
  std::function<void(HttpRequest, Respond)> on_request;
  std::set<std::string> streamed_paths;

  void Handle(HttpRequest request, Respond respond) override {
    ++calls;
    on_request(std::move(request), std::move(respond));
  }
  bool StreamsBody(const std::string&, const std::string& path) const override {
    return streamed_paths.count(path) > 0;
  }
  std::atomic<int> calls{0};
};

struct Parked {
  HttpRequest request;
  Respond respond;
};

// Requests the handler keeps unanswered, as a long-poll does.
class Parking {
 public:
  void Park(HttpRequest request, Respond respond) {
    std::lock_guard lock(mutex_);
    parked_.push_back({std::move(request), std::move(respond)});
    changed_.notify_all();
  }
  bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return parked_.size() >= count; });
  }
  std::vector<Parked> TakeAll() {
    std::lock_guard lock(mutex_);
    return std::exchange(parked_, {});
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Parked> parked_;
};

inline HttpResponse TextResponse(int status, std::string body) {
  HttpResponse response;
  response.status = status;
  response.content_type = "text/plain";
  response.body = std::move(body);
  return response;
}

class RunningServer {
 public:
  explicit RunningServer(Handler& handler, HttpLimits limits = {}, int threads = 2) {
    char pattern[] = "/tmp/veltrina-http-test-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    server_ = std::make_unique<HttpServer>("127.0.0.1", 0, handler, limits, dir_, [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      logs_.push_back(line);
      changed_.notify_all();
    });
    thread_ = std::thread([this, threads] {
      server_->Run(threads);
      run_returned_ = true;
    });
  }
  ~RunningServer() {
    server_->Stop(std::chrono::milliseconds(0));
    if (thread_.joinable()) thread_.join();
    server_.reset();
    std::filesystem::remove_all(dir_);
  }

  HttpServer& server() { return *server_; }
  uint16_t port() const { return server_->port(); }
  const std::string& dir() const { return dir_; }
  bool run_returned() const { return run_returned_; }
  void Join() { thread_.join(); }

  std::vector<std::string> Logs() {
    std::lock_guard lock(mutex_);
    return logs_;
  }
  bool WaitLogs(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return logs_.size() >= count; });
  }
  size_t FilesInDir() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_)) ++n;
    return n;
  }
  // Files are removed just after the answer is written: give that moment.
  bool WaitDirEmpty(std::chrono::milliseconds timeout = std::chrono::seconds(3)) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (FilesInDir() != 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

 private:
  std::string dir_;
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
  std::atomic<bool> run_returned_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> logs_;
};

}  // namespace veltrina::server::testing
