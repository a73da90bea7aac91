#pragma once
// A process-wide object that is never destroyed: threads of the core may still use it while the
// process exits, after static destructors have run.
#include <new>
#include <utility>

namespace veltrina::internal {

template <typename T>
class Immortal {
 public:
  template <typename... Args>
  explicit Immortal(Args&&... args) {
    ::new (static_cast<void*>(&value_)) T(std::forward<Args>(args)...);  // constructed in place, once
  }
  ~Immortal() {}  // value_ is left alive on purpose
  Immortal(const Immortal&) = delete;
  Immortal& operator=(const Immortal&) = delete;

  T& get() { return value_; }

 private:
  union {
    T value_;
  };
};

}  // namespace veltrina::internal
