#pragma once
// How a core callback, running on a core thread, hands its result to the window that asked.
//
// Each window owns a WindowLifetime. A callback captures a WindowRef (never the window object)
// and delivers an owned payload with Send (the core thread waits for the handler) or Post (it
// goes on at once). The window's HandleMessage takes the payload back with Receive<T>(lParam)
// and frees it when done. Every payload is freed exactly once, whatever happens:
//  - the window is gone before delivery: the payload is dropped and freed, the window object is
//    never touched;
//  - a posted message is still queued when the window is destroyed: the lifetime frees it;
//  - the handler did not take a sent payload: the sender frees it when the send returns.
#include <windows.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace veltrinawnd::bridge {

class WindowLifetime;

namespace detail {

struct Pending {
  void* payload;
  void (*destroy)(void*);
};

struct State {
  std::mutex mutex;
  HWND hwnd = nullptr;
  bool alive = false;
  std::vector<Pending> pending;

  // Removes the payload from the pending list; true when it was there (the caller now owns it).
  bool Take(void* payload);
  // Records a payload about to be delivered; false when the window is gone.
  bool Track(void* payload, void (*destroy)(void*), HWND* hwnd_out);
};

}  // namespace detail

// What a callback captures: a weak view of the window's liveness.
class WindowRef {
 public:
  WindowRef() = default;
  // True while the window exists; only a hint for the caller, delivery checks again.
  bool alive() const;

 private:
  friend class WindowLifetime;
  template <typename T>
  friend bool Send(const WindowRef&, UINT, std::unique_ptr<T>);
  template <typename T>
  friend bool Post(const WindowRef&, UINT, std::unique_ptr<T>);
  friend bool SendValue(const WindowRef&, UINT, LPARAM);
  friend bool PostValue(const WindowRef&, UINT, LPARAM);
  explicit WindowRef(std::weak_ptr<detail::State> state) : state_(std::move(state)) {}
  std::weak_ptr<detail::State> state_;
};

// Owned by a window (UI thread). Attach when the window exists, Expire when it is destroyed.
class WindowLifetime {
 public:
  WindowLifetime();
  ~WindowLifetime();
  WindowLifetime(const WindowLifetime&) = delete;
  WindowLifetime& operator=(const WindowLifetime&) = delete;

  void Attach(HWND hwnd);
  // The window is gone: no delivery reaches it any more, and queued payloads are freed.
  void Expire();
  WindowRef Ref() const { return WindowRef(state_); }

  // Takes back the payload of a delivered message (null when lParam is not a pending payload
  // of this window, e.g. a message sent by something else).
  template <typename T>
  std::unique_ptr<T> Receive(LPARAM lParam) {
    void* p = reinterpret_cast<void*>(lParam);
    if (!p || !state_->Take(p)) return nullptr;
    return std::unique_ptr<T>(static_cast<T*>(p));
  }

 private:
  std::shared_ptr<detail::State> state_;
};

namespace detail {
template <typename T>
void Destroy(void* p) {
  delete static_cast<T*>(p);
}
bool DeliverTracked(const std::shared_ptr<State>& state, UINT message, void* payload, bool send);
}  // namespace detail

// Delivers with SendMessageW: returns after the window handled it. False (payload freed) when
// the window is gone.
template <typename T>
bool Send(const WindowRef& ref, UINT message, std::unique_ptr<T> payload) {
  std::shared_ptr<detail::State> state = ref.state_.lock();
  if (!state || !payload) return false;
  T* raw = payload.get();
  if (!state->Track(raw, &detail::Destroy<T>, nullptr)) return false;  // unique_ptr frees it
  payload.release();
  return detail::DeliverTracked(state, message, raw, true);
}

// Delivers with PostMessageW: returns at once. False (payload freed) when the window is gone.
template <typename T>
bool Post(const WindowRef& ref, UINT message, std::unique_ptr<T> payload) {
  std::shared_ptr<detail::State> state = ref.state_.lock();
  if (!state || !payload) return false;
  T* raw = payload.get();
  if (!state->Track(raw, &detail::Destroy<T>, nullptr)) return false;
  payload.release();
  return detail::DeliverTracked(state, message, raw, false);
}

// A handler of a sent message that is about to run a nested modal loop calls this first: the
// core thread that sent it is released now instead of when the loop ends, so the core keeps
// delivering results (to the new window too) meanwhile.
inline void ReleaseSender() {
  if (InSendMessage()) ReplyMessage(0);
}

// Small values travel in lParam itself; nothing to free.
bool SendValue(const WindowRef& ref, UINT message, LPARAM value);
bool PostValue(const WindowRef& ref, UINT message, LPARAM value);

}  // namespace veltrinawnd::bridge
