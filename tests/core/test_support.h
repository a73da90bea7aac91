#pragma once
// Helpers of the core tests: a throw-away folder and waiting, with a time-out, for callbacks on other threads.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace core_test {

using std::chrono::milliseconds;

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    folder_ = std::filesystem::temp_directory_path() / ("veltrina-core-test-" + std::to_string(GetCurrentProcessId()) +
                                                        "-" + std::to_string(++counter) + "-" +
                                                        std::to_string(GetTickCount64()));
    std::filesystem::create_directories(folder_);
    std::u8string utf8 = folder_.u8string();
    path_.assign(utf8.begin(), utf8.end());
  }
  ~TempFolder() { std::filesystem::remove_all(folder_, ignored_); }
  TempFolder(const TempFolder&) = delete;
  const std::string& path() const { return path_; }  // UTF-8
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::filesystem::path folder_;
  std::string path_;
  std::error_code ignored_;
};

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
  for (auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(milliseconds(5)))
    if (condition()) return true;
  return condition();
}

}  // namespace core_test
