#pragma once
// A thread of the core with a small stack. Every thread's stack counts in full as the process's
// private memory under Wine (which also adds a fixed kernel stack), and the core's threads only
// run short tasks that never recurse deeply, so the 2 MB of the executable's default would be
// wasted several times over.
#include <functional>

namespace veltrina::internal {

class Thread {
 public:
  Thread() = default;
  // Starts `run` at once; throws std::system_error when no thread can be made, as std::thread does.
  explicit Thread(std::function<void()> run);
  ~Thread();  // detaches a thread still joinable (never terminates it)
  Thread(Thread&& other) noexcept;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool joinable() const { return handle_ != nullptr; }
  bool IsCurrent() const;  // whether the caller runs on this thread
  void join();             // waits for the end; nothing on an empty object or from the thread itself
  void detach();

 private:
  void* handle_ = nullptr;
  unsigned long id_ = 0;
};

}  // namespace veltrina::internal
