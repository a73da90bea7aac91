#pragma once
// The core's runtime: the installed backend service, the callback thread, the caches and the
// registered handlers. One per process, never destroyed.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "cache.h"
#include "dispatcher.h"
#include "disk_cache.h"
#include "immortal.h"
#include "json_util.h"
#include "veltrina/backend/service.h"
#include "veltrina/channel.h"
#include "veltrina/handlers.h"
#include "veltrina/im.h"
#include "veltrina/message.h"
#include "veltrina/num_unread.h"
#include "veltrina/service.h"
#include "veltrina/user.h"

namespace veltrina::internal {

template <typename T>
class HandlerList {
 public:
  void Add(T* h) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!h) return;
    for (T* x : list_)
      if (x == h) return;
    list_.push_back(h);
  }
  // Returns only when no call of any handler of this list is running on another thread, so the
  // caller may destroy the handler right after. A handler may remove itself from inside a call.
  void Remove(T* h) {
    std::lock_guard<std::recursive_mutex> calling(call_mutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(list_, h);
  }
  // Calls f on each handler still registered at the moment of its call.
  template <typename F>
  void ForEach(F f) {
    std::vector<T*> copy;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      copy = list_;
    }
    for (T* h : copy) {
      std::lock_guard<std::recursive_mutex> calling(call_mutex_);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::find(list_.begin(), list_.end(), h) == list_.end()) continue;
      }
      f(h);
    }
  }

 private:
  std::recursive_mutex call_mutex_;  // held while a handler runs
  std::mutex mutex_;
  std::vector<T*> list_;
};

class Core {
 public:
  static Core& Get();

  // Sends a request to the installed service; `on_reply` runs on the callback thread, unless the
  // service is replaced first (then it never runs).
  void Call(const std::string& method, const json& params, std::function<void(const backend::Reply&)> on_reply,
            std::string data = std::string());
  // Runs a task on the callback thread.
  void Post(std::function<void()> task) { dispatcher_.Post(std::move(task)); }
  void PostDelayed(std::chrono::milliseconds delay, std::function<void()> task) {
    dispatcher_.PostDelayed(delay, std::move(task));
  }
  bool WaitIdle(std::chrono::milliseconds timeout) { return dispatcher_.WaitIdle(timeout); }
  bool IsCoreThread() const { return dispatcher_.IsCurrent(); }

  void Install(std::shared_ptr<backend::Service> service);
  std::shared_ptr<backend::Service> Service();

  Cache& cache() { return cache_; }
  DiskCache& disk() { return disk_; }
  HandlerList<MessageHandler>& message_handlers() { return message_handlers_; }
  HandlerList<NumUnreadHandler>& unread_handlers() { return unread_handlers_; }
  HandlerList<UserStatusHandler>& status_handlers() { return status_handlers_; }
  HandlerList<ConnectionStateHandler>& connection_handlers() { return connection_handlers_; }

  // Applies a pushed event (on the callback thread).
  void HandleEvent(uint64_t generation, const std::string& name, const std::string& body);
  // Caches counts and tells the unread handlers.
  void ApplyUnread(const std::string& channel_id, _NumUnread counts, bool notify);

 private:
  friend class veltrina::Immortal<Core>;
  Core() = default;
  class Sink;

  std::mutex service_mutex_;
  std::shared_ptr<backend::Service> service_;
  uint64_t generation_ = 0;
  std::vector<std::unique_ptr<Sink>> sinks_;  // kept: a detached service may still hold its sink
  Cache cache_;
  DiskCache disk_;
  HandlerList<MessageHandler> message_handlers_;
  HandlerList<NumUnreadHandler> unread_handlers_;
  HandlerList<UserStatusHandler> status_handlers_;
  HandlerList<ConnectionStateHandler> connection_handlers_;
  Dispatcher dispatcher_;
};

// Common reply shapes.
std::string ReplyError(const backend::Reply& reply);  // error text, or "code N" when empty
json ReplyBody(const backend::Reply& reply);          // the body as an object (empty object if bad)
// Logs why an ok answer is taken as a failure.
void RefuseAnswer(const char* method, const std::string& why);

}  // namespace veltrina::internal
