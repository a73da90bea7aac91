#include "dispatcher.h"

#include <exception>

#include "veltrina/log.h"

namespace veltrina::internal {

Dispatcher::Dispatcher(const char* name) : name_(name) {
  std::unique_lock<std::mutex> lock(mutex_);
  thread_ = Thread([this] { Run(); });
}

Dispatcher::~Dispatcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (IsCurrent())
    thread_.detach();
  else
    thread_.join();
}

void Dispatcher::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void Dispatcher::PostDelayed(std::chrono::milliseconds delay, std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.emplace(std::chrono::steady_clock::now() + delay, std::move(task));
  }
  wake_.notify_one();
}

bool Dispatcher::IsCurrent() const { return thread_.IsCurrent(); }

bool Dispatcher::WaitIdle(std::chrono::milliseconds timeout) {
  if (IsCurrent()) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return tasks_.empty() && !running_task_; });
}

void Dispatcher::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Due timers join the queue behind what is already there; a new timer wakes the wait too.
    for (;;) {
      for (auto now = std::chrono::steady_clock::now(); !timers_.empty() && timers_.begin()->first <= now;) {
        tasks_.push_back(std::move(timers_.begin()->second));
        timers_.erase(timers_.begin());
      }
      if (!tasks_.empty()) break;
      if (stopping_) return;
      if (timers_.empty())
        wake_.wait(lock);
      else
        wake_.wait_until(lock, timers_.begin()->first);
    }
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    running_task_ = true;
    lock.unlock();
    try {
      task();
    } catch (const std::exception& e) {
      log("A task on the %s thread threw: %s", name_, e.what());
    } catch (...) {
      log("A task on the %s thread threw", name_);
    }
    task = nullptr;  // captures die on this thread, outside the lock
    lock.lock();
    running_task_ = false;
    if (tasks_.empty()) idle_.notify_all();
  }
}

}  // namespace veltrina::internal
