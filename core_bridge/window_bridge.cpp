#include "core_bridge/window_bridge.h"

#include <algorithm>

namespace veltrinawnd::bridge {
namespace detail {

bool State::Take(void* payload) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = std::find_if(pending.begin(), pending.end(), [payload](const Pending& p) { return p.payload == payload; });
  if (it == pending.end()) return false;
  pending.erase(it);
  return true;
}

bool State::Track(void* payload, void (*destroy)(void*), HWND* hwnd_out) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!alive || !hwnd) return false;
  pending.push_back({payload, destroy});
  if (hwnd_out) *hwnd_out = hwnd;
  return true;
}

bool DeliverTracked(const std::shared_ptr<State>& state, UINT message, void* payload, bool send) {
  HWND hwnd;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    hwnd = state->alive ? state->hwnd : nullptr;
  }
  bool delivered = false;
  if (hwnd) {
    if (send) {
      DWORD_PTR result = 0;
      // No time-out in practice: the UI thread always pumps; a failure means the window is gone.
      delivered = SendMessageTimeoutW(hwnd, message, 0, reinterpret_cast<LPARAM>(payload), SMTO_NORMAL,
                                      0x7FFFFFFF, &result) != 0;
    } else {
      delivered = PostMessageW(hwnd, message, 0, reinterpret_cast<LPARAM>(payload)) != 0;
    }
  }
  // Whoever takes a payload off the pending list frees it: after a send the handler has had
  // its chance; after a failed post nobody will see it.
  if (send || !delivered) {
    Pending found{nullptr, nullptr};
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      auto it = std::find_if(state->pending.begin(), state->pending.end(),
                             [payload](const Pending& p) { return p.payload == payload; });
      if (it != state->pending.end()) {
        found = *it;
        state->pending.erase(it);
      }
    }
    if (found.payload) found.destroy(found.payload);
  }
  return delivered;
}

}  // namespace detail

bool WindowRef::alive() const {
  std::shared_ptr<detail::State> state = state_.lock();
  if (!state) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->alive;
}

WindowLifetime::WindowLifetime() : state_(std::make_shared<detail::State>()) {}

WindowLifetime::~WindowLifetime() { Expire(); }

void WindowLifetime::Attach(HWND hwnd) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->hwnd = hwnd;
  state_->alive = hwnd != nullptr;
}

void WindowLifetime::Expire() {
  std::vector<detail::Pending> leftovers;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->alive = false;
    state_->hwnd = nullptr;
    leftovers.swap(state_->pending);
  }
  for (const detail::Pending& p : leftovers) p.destroy(p.payload);
}

bool SendValue(const WindowRef& ref, UINT message, LPARAM value) {
  std::shared_ptr<detail::State> state = ref.state_.lock();
  if (!state) return false;
  HWND hwnd;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    hwnd = state->alive ? state->hwnd : nullptr;
  }
  DWORD_PTR result = 0;
  return hwnd && SendMessageTimeoutW(hwnd, message, 0, value, SMTO_NORMAL, 0x7FFFFFFF, &result) != 0;
}

bool PostValue(const WindowRef& ref, UINT message, LPARAM value) {
  std::shared_ptr<detail::State> state = ref.state_.lock();
  if (!state) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->alive && state->hwnd && PostMessageW(state->hwnd, message, 0, value) != 0;
}

}  // namespace veltrinawnd::bridge
