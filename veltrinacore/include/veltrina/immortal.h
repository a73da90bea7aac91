#pragma once
// A process-wide object that is never destroyed: threads of the core, and the client code its
// callbacks run, may still use it while the process exits, after static destructors have run.
// Whatever such a thread can reach lives in one of these or is trivially destructible: the threads
// are never stopped (one may wait on the network or on a window) and the process ends them.
//
// Its own destructor is trivial, so a function-local one registers nothing with atexit: a thread
// that first reaches it while exit() runs the registered destructors would otherwise wait for the
// C runtime's exit lock, held by a destructor that may itself wait for that thread.
#include <new>
#include <type_traits>
#include <utility>

namespace veltrina {

template <typename T>
class Immortal {
 public:
  template <typename... Args>
  explicit Immortal(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);  // constructed in place, once
  }
  Immortal(const Immortal&) = delete;
  Immortal& operator=(const Immortal&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

namespace immortal_check {
struct Owning {
  ~Owning();
};
static_assert(std::is_trivially_destructible_v<Immortal<Owning>>);
}  // namespace immortal_check

}  // namespace veltrina
