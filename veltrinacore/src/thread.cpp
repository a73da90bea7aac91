#include "thread.h"

#include <windows.h>

#include <process.h>

#include <exception>
#include <memory>
#include <system_error>
#include <utility>

#include "veltrina/log.h"

namespace veltrina::internal {

namespace {

// Ample for the core's tasks (JSON nesting is bounded well below this), a quarter of the default.
constexpr unsigned kStackReserve = 512 * 1024;

unsigned __stdcall Entry(void* argument) {
  std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(argument));
  try {
    (*run)();
  } catch (const std::exception& e) {
    log("A core thread ended by an exception: %s", e.what());
  } catch (...) {
    log("A core thread ended by an exception");
  }
  return 0;
}

}  // namespace

Thread::Thread(std::function<void()> run) {
  auto argument = std::make_unique<std::function<void()>>(std::move(run));
  unsigned id = 0;
  uintptr_t handle =
      _beginthreadex(nullptr, kStackReserve, Entry, argument.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
  if (!handle) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "cannot start a thread");
  argument.release();  // the thread's now
  handle_ = reinterpret_cast<void*>(handle);
  id_ = id;
}

Thread::~Thread() { detach(); }

Thread::Thread(Thread&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    detach();
    handle_ = std::exchange(other.handle_, nullptr);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

bool Thread::IsCurrent() const { return handle_ && GetCurrentThreadId() == id_; }

void Thread::join() {
  if (!handle_ || IsCurrent()) return;
  WaitForSingleObject(handle_, INFINITE);
  detach();
}

void Thread::detach() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
  id_ = 0;
}

}  // namespace veltrina::internal
