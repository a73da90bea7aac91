#pragma once
// Waiting for callbacks that run on other threads, with a time-out.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace veltrina::test_support {

using std::chrono::milliseconds;

// Something a callback sets and a test waits for.
template <typename T>
class Slot {
 public:
  void Set(T value) {
    std::lock_guard<std::mutex> lock(mutex_);
    value_ = std::move(value);
    ++count_;
    cv_.notify_all();
  }
  bool Wait(milliseconds timeout = milliseconds(5000)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return count_ > 0; });
  }
  T Get() {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }
  int count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  T value_{};
  int count_ = 0;
};

// Polls `condition` until it holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& condition, milliseconds timeout = milliseconds(5000)) {
  for (auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;) {
    if (condition()) return true;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return condition();
}

}  // namespace veltrina::test_support
