#pragma once
// The core's callback thread: tasks run one after another, in the order they were posted.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "thread.h"

namespace veltrina::internal {

class Dispatcher {
 public:
  // `name` says whose thread it is in log lines.
  explicit Dispatcher(const char* name = "core");
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  void Post(std::function<void()> task);
  // Queues the task once `delay` has passed. Until then it does not count as pending for WaitIdle.
  void PostDelayed(std::chrono::milliseconds delay, std::function<void()> task);
  // Until nothing is queued or running; false on time-out or on the dispatcher's own thread.
  bool WaitIdle(std::chrono::milliseconds timeout);
  bool IsCurrent() const;

 private:
  void Run();

  const char* name_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> tasks_;
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> timers_;
  bool running_task_ = false;
  bool stopping_ = false;
  Thread thread_;
};

}  // namespace veltrina::internal
