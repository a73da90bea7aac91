#include "core.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "immortal.h"
#include "service_answers.h"
#include "veltrina/backend/demo_service.h"
#include "veltrina/log.h"

namespace veltrina::internal {

// ---- Core ----

class Core::Sink : public backend::EventSink {
 public:
  Sink(Core* core, uint64_t generation) : core_(core), generation_(generation) {}
  void OnServiceEvent(const std::string& name, const std::string& body) override {
    Core* core = core_;
    uint64_t generation = generation_;
    core->Post([core, generation, name, body] { core->HandleEvent(generation, name, body); });
  }

 private:
  Core* core_;
  uint64_t generation_;
};

Core& Core::Get() {
  static Immortal<Core> core;  // its thread may outlive static destruction
  return core.get();
}

// The switch is one step under the lock: from then on every call goes to the new service, which
// is attached and starts from empty caches; the old one is detached afterwards and whatever it still
// answers is dropped by its generation. The service is never missing in between, so no default
// service is built for calls made during an install.
void Core::Install(std::shared_ptr<backend::Service> service) {
  static std::mutex installing;  // one install at a time: the new generation is known up front
  std::lock_guard<std::mutex> one(installing);
  if (!service) service = std::make_shared<backend::DemoService>();
  uint64_t generation = 0;
  backend::EventSink* sink = nullptr;
  {
    std::lock_guard<std::mutex> lock(service_mutex_);
    generation = generation_ + 1;
    sinks_.push_back(std::make_unique<Sink>(this, generation));
    sink = sinks_.back().get();
  }
  // Attached before it is reachable, so that nothing it answers or emits finds no sink.
  service->Attach(sink);
  std::shared_ptr<backend::Service> old;
  {
    std::lock_guard<std::mutex> lock(service_mutex_);
    old = std::exchange(service_, service);
    generation_ = generation;
    disk_.Close();  // before the caches empty, so that no save writes them empty
    cache_.Clear();
  }
  if (old) old->Detach();
}

// The default demo service is built under the lock (it does no disk work until its own thread
// runs), so threads racing to the first call share one.
std::shared_ptr<backend::Service> Core::Service() {
  std::lock_guard<std::mutex> lock(service_mutex_);
  if (!service_) {
    sinks_.push_back(std::make_unique<Sink>(this, generation_));
    service_ = std::make_shared<backend::DemoService>();
    service_->Attach(sinks_.back().get());
  }
  return service_;
}

void Core::Call(const std::string& method, const json& params, std::function<void(const backend::Reply&)> on_reply,
                std::string data) {
  static std::atomic<uint64_t> next_id{0};
  std::shared_ptr<backend::Service> service;
  uint64_t generation = 0;
  {
    std::shared_ptr<backend::Service> made = Service();  // let go after the lock, should it be the last
    std::lock_guard<std::mutex> lock(service_mutex_);
    service = service_;  // the service and its generation, taken together
    generation = generation_;
  }
  backend::Request request;
  request.id = ++next_id;
  request.method = method;
  request.params = Dump(params.is_object() ? params : json::object());
  request.data = std::move(data);
  auto answered = std::make_shared<std::atomic<bool>>(false);
  auto shared_reply = std::make_shared<std::function<void(const backend::Reply&)>>(std::move(on_reply));
  Core* core = this;
  service->Call(request, [core, generation, answered, shared_reply](backend::Reply reply) {
    if (answered->exchange(true)) return;  // a service answers once; later answers are ignored
    core->Post([core, generation, shared_reply, reply = std::move(reply)] {
      {
        std::lock_guard<std::mutex> lock(core->service_mutex_);
        if (generation != core->generation_) return;  // from a replaced service
      }
      if (!*shared_reply) return;
      if (reply.ok && !reply.body.empty() && !IsObjectText(reply.body)) {
        // An answer we cannot read is a failure, not an empty success.
        backend::Reply broken = reply;
        broken.ok = false;
        broken.code = 502;
        broken.error = "the service's answer is not a JSON object";
        log("Malformed answer to a core request");
        (*shared_reply)(broken);
        return;
      }
      (*shared_reply)(reply);
      core->disk_.Changed();
    });
  });
}

void Core::ApplyUnread(const std::string& channel_id, _NumUnread counts, bool notify) {
  {
    std::lock_guard<std::mutex> lock(cache_.mutex);
    cache_.SetUnread(channel_id, counts);
  }
  disk_.Changed();
  if (notify) unread_handlers_.ForEach([&](NumUnreadHandler* h) { h->HandleNumUnreadChanged(channel_id, counts); });
}

void Core::HandleEvent(uint64_t generation, const std::string& name, const std::string& body) {
  {
    std::lock_guard<std::mutex> lock(service_mutex_);
    if (generation != generation_) return;
  }
  ServiceEvent event;
  std::string why;
  if (!ReadServiceEvent(name, body, &event, &why)) {
    log("Ignoring a %s event: %s", name.c_str(), why.c_str());
    return;
  }
  disk_.Changed();
  switch (event.kind) {
    case ServiceEvent::kMessage: {
      const Message& message = event.message;
      {
        std::lock_guard<std::mutex> lock(cache_.mutex);
        cache_.PutMessage(message);
      }
      message_handlers_.ForEach([&](MessageHandler* h) {
        h->HandleMessage(message);
        if (message.channel_type() == Message::kDirectMessage)
          h->HandleDirectMessage(message);
        else
          h->HandleChannelMessage(message);
      });
      break;
    }
    case ServiceEvent::kUnread: ApplyUnread(event.id, event.counts, true); break;
    case ServiceEvent::kPresence: {
      {
        std::lock_guard<std::mutex> lock(cache_.mutex);
        if (User* u = cache_.FindUser(event.id)) u->set_status(event.value);
      }
      status_handlers_.ForEach([&](UserStatusHandler* h) { h->HandleUserStatusChanged(event.id, event.value); });
      break;
    }
    case ServiceEvent::kConnection:
      connection_handlers_.ForEach([&](ConnectionStateHandler* h) { h->HandleConnectionStateChanged(event.value); });
      break;
    case ServiceEvent::kChannel: {
      std::lock_guard<std::mutex> lock(cache_.mutex);
      cache_.PutChannel(event.channel);
      break;
    }
    case ServiceEvent::kIm: {
      std::lock_guard<std::mutex> lock(cache_.mutex);
      cache_.PutIm(event.im);
      break;
    }
    case ServiceEvent::kUser: {
      std::lock_guard<std::mutex> lock(cache_.mutex);
      cache_.PutUser(event.user);
      break;
    }
  }
}

void RefuseAnswer(const char* method, const std::string& why) {
  log("Refusing the answer to %s: %s", method, why.c_str());
}

std::string ReplyError(const backend::Reply& reply) {
  if (!reply.error.empty()) return reply.error;
  return "code " + std::to_string(reply.code);
}

json ReplyBody(const backend::Reply& reply) {
  if (reply.body.empty()) return json::object();
  json j = Parse(reply.body);
  return j.is_object() ? j : json::object();
}

}  // namespace veltrina::internal

namespace veltrina::backend {

void InstallService(std::shared_ptr<Service> service) { internal::Core::Get().Install(std::move(service)); }
std::shared_ptr<Service> CurrentService() { return internal::Core::Get().Service(); }
bool WaitForCoreIdle(std::chrono::milliseconds timeout) { return internal::Core::Get().WaitIdle(timeout); }
bool IsCoreThread() { return internal::Core::Get().IsCoreThread(); }

}  // namespace veltrina::backend
