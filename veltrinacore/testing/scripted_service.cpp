#include "veltrina/backend/scripted_service.h"

#include <algorithm>

#include "demo/demo_images.h"
#include "json_util.h"
#include "veltrina/hosts.h"

namespace veltrina::backend {

using internal::json;

std::string RecordedRequest::Param(const std::string& name) const {
  json j = internal::Parse(params);
  const json* v = internal::Member(j, name.c_str());
  if (!v) return {};
  if (v->is_string()) return v->get<std::string>();
  return internal::Dump(*v);
}

std::vector<RecordedRequest> ScriptedService::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RecordedRequest> out;
  for (const Pending& p : requests_) out.push_back(p.request);
  return out;
}

std::vector<RecordedRequest> ScriptedService::Requests(const std::string& method) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RecordedRequest> out;
  for (const Pending& p : requests_)
    if (p.request.method == method) out.push_back(p.request);
  return out;
}

size_t ScriptedService::CountRequests(const std::string& method) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count_if(requests_.begin(), requests_.end(),
                                           [&](const Pending& p) { return p.request.method == method; }));
}

std::optional<RecordedRequest> ScriptedService::WaitForRequest(const std::string& method,
                                                                std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::optional<RecordedRequest> found;
  arrived_.wait_for(lock, timeout, [&] {
    for (Pending& p : requests_) {
      if (p.request.answered || p.handed_out) continue;
      if (!method.empty() && p.request.method != method) continue;
      p.handed_out = true;
      found = p.request;
      return true;
    }
    return false;
  });
  return found;
}

void ScriptedService::ClearRequests() {
  std::vector<Pending> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(requests_);
  }
  // `dropped` dies here, outside the lock: its answer functions may hold the core's captures.
}

bool ScriptedService::Answer(uint64_t id, bool ok, int64_t code, const std::string& error, const std::string& body,
                             const std::string& data) {
  std::function<void(Reply)> answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(requests_.begin(), requests_.end(), [&](const Pending& p) { return p.request.id == id; });
    if (it == requests_.end() || it->request.answered) return false;
    it->request.answered = true;
    answer = std::move(it->answer);
    it->answer = nullptr;
  }
  Reply reply;
  reply.ok = ok;
  reply.code = code;
  reply.error = error;
  reply.body = body;
  reply.data = data;
  if (answer) answer(std::move(reply));
  return true;
}

void ScriptedService::AutoAnswer(const std::string& method, std::function<Reply(const RecordedRequest&)> responder) {
  std::vector<RecordedRequest> waiting;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!responder) {
      responders_.erase(method);
      return;
    }
    responders_[method] = responder;
    for (const Pending& p : requests_)
      if (p.request.method == method && !p.request.answered) waiting.push_back(p.request);
  }
  for (const RecordedRequest& r : waiting) {
    Reply reply = responder(r);
    Answer(r.id, reply.ok, reply.code, reply.error, reply.body, reply.data);
  }
}

void ScriptedService::ServeGeneratedImages() {
  AutoAnswer("http.get", [](const RecordedRequest& request) {
    Reply reply;
    if (internal::demo::GeneratedImageFor(request.Param("url"), &reply.data)) {
      reply.ok = true;
      reply.code = 200;
      reply.body = R"({"content_type":"image/png"})";
    } else {
      reply.code = 404;
      reply.error = "not found";
    }
    return reply;
  });
}

bool ScriptedService::Push(const std::string& event, const std::string& body) {
  EventSink* sink;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sink = sink_;
  }
  if (!sink) return false;
  sink->OnServiceEvent(event, body);
  return true;
}

void ScriptedService::set_serves_demo_hosts(bool v) {
  std::lock_guard<std::mutex> lock(mutex_);
  serves_demo_hosts_ = v;
}

void ScriptedService::Attach(EventSink* sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  sink_ = sink;
}

void ScriptedService::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  sink_ = nullptr;
}

void ScriptedService::Call(const Request& request, std::function<void(Reply)> answer) {
  std::function<Reply(const RecordedRequest&)> responder;
  RecordedRequest recorded;
  recorded.id = request.id;
  recorded.method = request.method;
  recorded.params = request.params;
  recorded.data = request.data;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(Pending{recorded, std::move(answer), false});
    auto it = responders_.find(request.method);
    if (it != responders_.end()) responder = it->second;
  }
  arrived_.notify_all();
  if (responder) {
    Reply reply = responder(recorded);
    Answer(recorded.id, reply.ok, reply.code, reply.error, reply.body, reply.data);
  }
}

bool ScriptedService::ServesUrl(const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!serves_demo_hosts_) return false;
  for (const char* host : {kStorageHost, kFileBoxHost}) {
    for (const char* scheme : {"https://", "http://"}) {
      std::string prefix = std::string(scheme) + host + "/";
      if (url.compare(0, prefix.size(), prefix) == 0) return true;
    }
  }
  return false;
}

}  // namespace veltrina::backend
