#include "core.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "records_json.h"
#include "immortal.h"
#include "veltrina/backend/demo_service.h"
#include "veltrina/log.h"

namespace veltrina::internal {

// ---- Cache ----

void Cache::Clear() {
  std::lock_guard<std::mutex> lock(mutex);
  users.clear();
  user_index.clear();
  services.clear();
  channels.clear();
  ims.clear();
  messages.clear();
  message_count = 0;
  clock = 0;
  unread.clear();
  unread_from_disk.clear();
  read_cursors.clear();
}

void Cache::SetUsers(std::vector<User> list) {
  users = std::move(list);
  user_index.clear();
  for (size_t i = 0; i < users.size(); ++i) user_index.emplace(users[i].uid(), i);
}

void Cache::PutUser(const User& user) {
  if (User* known = FindUser(user.uid())) {
    *known = user;
    return;
  }
  user_index.emplace(user.uid(), users.size());
  users.push_back(user);
}

User* Cache::FindUser(const std::string& uid) {
  auto it = user_index.find(uid);
  return it == user_index.end() ? nullptr : &users[it->second];
}

void Cache::PutChannel(const Channel& channel) {
  auto it = std::find_if(channels.begin(), channels.end(),
                         [&](const Channel& c) { return c.channel_id() == channel.channel_id(); });
  if (it != channels.end())
    *it = channel;
  else
    channels.push_back(channel);
}

void Cache::RemoveChannel(const std::string& channel_id) {
  std::erase_if(channels, [&](const Channel& c) { return c.channel_id() == channel_id; });
}

void Cache::PutIm(const IM& im) {
  auto it = std::find_if(ims.begin(), ims.end(), [&](const IM& i) { return i.im_id() == im.im_id(); });
  if (it != ims.end())
    *it = im;
  else
    ims.push_back(im);
}

void Cache::PutMessage(Message message) {
  const std::string id = message.ChannelID();  // a copy: the message is moved below
  Conversation& c = messages[id];
  c.touched = ++clock;
  auto by_time = [](const Message& m, int64_t t) { return m.timestamp() < t; };
  if (!message.key().empty()) {
    if (auto known = c.times.find(message.key()); known != c.times.end()) {
      auto first = std::lower_bound(c.list.begin(), c.list.end(), known->second, by_time);
      auto same = std::find_if(first, c.list.end(), [&](const Message& m) { return m.key() == message.key(); });
      if (same != c.list.end() && same->timestamp() == message.timestamp()) {
        *same = std::move(message);
        return;
      }
      if (same != c.list.end()) {  // moved in time: taken out and put back in order
        c.list.erase(same);
        --message_count;
      }
    }
    c.times[message.key()] = message.timestamp();
  }
  // Keep the list sorted by time; equal times keep their arrival order.
  auto pos = std::upper_bound(c.list.begin(), c.list.end(), message.timestamp(),
                              [](int64_t t, const Message& m) { return t < m.timestamp(); });
  // Grown by a quarter rather than doubled: hundreds of conversations hold a page of twenty, and
  // doubling would leave a third of each list's room empty.
  if (c.list.size() == c.list.capacity()) {
    const std::ptrdiff_t at = pos - c.list.begin();
    c.list.reserve(c.list.size() + c.list.size() / 4 + 4);
    pos = c.list.begin() + at;
  }
  c.list.insert(pos, std::move(message));
  ++message_count;
  if (c.list.size() > kKeepPerConversation) {
    auto end = c.list.end() - static_cast<std::ptrdiff_t>(kKeepPerConversation);
    for (auto m = c.list.begin(); m != end; ++m) c.times.erase(m->key());
    message_count -= static_cast<size_t>(end - c.list.begin());
    c.list.erase(c.list.begin(), end);
  }
  if (message_count > kMessageBudget) DropStaleConversations(id);
}

// Drops whole conversations, least recently touched first, down to three quarters of the budget,
// so that the sort runs seldom.
void Cache::DropStaleConversations(const std::string& keep) {
  std::vector<std::pair<uint64_t, std::string>> order;
  for (const auto& [id, c] : messages)
    if (id != keep) order.emplace_back(c.touched, id);
  std::sort(order.begin(), order.end());
  for (const auto& [touched, id] : order) {
    if (message_count <= kMessageBudget / 4 * 3) break;
    auto it = messages.find(id);
    message_count -= it->second.list.size();
    messages.erase(it);
  }
}

void Cache::SetUnread(const std::string& channel_id, _NumUnread counts) {
  unread[channel_id] = counts;
  unread_from_disk.erase(channel_id);
}

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
  json j = Parse(body);
  if (!j.is_object()) {
    log("Ignoring malformed %s event", name.c_str());
    return;
  }
  disk_.Changed();
  if (name == "message") {
    const json* m = Member(j, "message");
    if (!m || !m->is_object()) return;
    Message message = MessageFrom(*m);
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
  } else if (name == "unread") {
    _NumUnread counts;
    counts.num_unread = static_cast<uint32_t>(std::clamp<int64_t>(Int(j, "num_unread"), 0, UINT32_MAX));
    counts.num_new = static_cast<uint32_t>(std::clamp<int64_t>(Int(j, "num_new"), 0, UINT32_MAX));
    ApplyUnread(Str(j, "channel_id"), counts, true);
  } else if (name == "presence") {
    std::string uid = Str(j, "uid");
    int status = static_cast<int>(Int(j, "status"));
    {
      std::lock_guard<std::mutex> lock(cache_.mutex);
      if (User* u = cache_.FindUser(uid)) u->set_status(status);
    }
    status_handlers_.ForEach([&](UserStatusHandler* h) { h->HandleUserStatusChanged(uid, status); });
  } else if (name == "connection") {
    int state = static_cast<int>(Int(j, "state"));
    connection_handlers_.ForEach([&](ConnectionStateHandler* h) { h->HandleConnectionStateChanged(state); });
  } else if (name == "channel") {
    const json* c = Member(j, "channel");
    if (!c || !c->is_object()) return;
    std::lock_guard<std::mutex> lock(cache_.mutex);
    cache_.PutChannel(ChannelFrom(*c));
  } else if (name == "im") {
    const json* i = Member(j, "im");
    if (!i || !i->is_object()) return;
    std::lock_guard<std::mutex> lock(cache_.mutex);
    cache_.PutIm(ImFrom(*i));
  } else if (name == "user") {
    const json* u = Member(j, "user");
    if (!u || !u->is_object()) return;
    std::lock_guard<std::mutex> lock(cache_.mutex);
    cache_.PutUser(UserFrom(*u));
  } else {
    log("Ignoring unknown event %s", name.c_str());
  }
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
