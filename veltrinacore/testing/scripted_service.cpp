#include "veltrina/backend/scripted_service.h"

#include "veltrina/engine/images.h"
#include "json_util.h"
#include "veltrina/hosts.h"

namespace veltrina::backend {

std::string RecordedRequest::Param(const std::string& name) const {
  internal::json j = internal::Parse(params);
  const internal::json* v = internal::Member(j, name.c_str());
  return !v ? "" : v->is_string() ? v->get<std::string>() : internal::Dump(*v);
}

std::vector<RecordedRequest> ScriptedService::Requests(const std::string& method) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RecordedRequest> out;
  for (const Pending& p : requests_)
    if (method.empty() || p.request.method == method) out.push_back(p.request);
  return out;
}

std::optional<RecordedRequest> ScriptedService::WaitForRequest(const std::string& method,
                                                                std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::optional<RecordedRequest> found;
  arrived_.wait_for(lock, timeout, [&] {
    for (Pending& p : requests_)
      if (!p.request.answered && !p.handed_out && (method.empty() || p.request.method == method)) {
        p.handed_out = true;
        found = p.request;
        return true;
      }
    return false;
  });
  return found;
}

bool ScriptedService::Answer(uint64_t id, bool ok, int64_t code, const std::string& error, const std::string& body,
                             const std::string& data) {
  return Answer(id, Reply{ok, code, error, body, data});
}

bool ScriptedService::Answer(uint64_t id, Reply reply) {
  std::function<void(Reply)> answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = requests_.begin();
    while (it != requests_.end() && it->request.id != id) ++it;
    if (it == requests_.end() || it->request.answered) return false;
    it->request.answered = true;
    answer = std::move(it->answer);
    it->answer = nullptr;  // the core's captures die outside the lock
  }
  if (answer) answer(std::move(reply));
  return true;
}

void ScriptedService::AutoAnswer(const std::string& method, Responder responder) {
  std::vector<RecordedRequest> waiting;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!responder) return void(responders_.erase(method));
    responders_[method] = responder;
    for (const Pending& p : requests_)
      if (p.request.method == method && !p.request.answered) waiting.push_back(p.request);
  }
  for (const RecordedRequest& r : waiting) Answer(r.id, responder(r));
}

void ScriptedService::ServeGeneratedImages() {
  AutoAnswer("http.get", [](const RecordedRequest& request) {
    Reply reply{false, 404, "not found", "", ""};
    if (engine::GeneratedImageFor(request.Param("url"), &reply.data))
      reply = Reply{true, 200, "", R"({"content_type":"image/png"})", std::move(reply.data)};
    return reply;
  });
}

bool ScriptedService::Push(const std::string& event, const std::string& body) {
  EventSink* sink;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sink = sink_;
  }
  if (sink) sink->OnServiceEvent(event, body);
  return sink != nullptr;
}

void ScriptedService::Attach(EventSink* sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  sink_ = sink;
}

void ScriptedService::Call(const Request& request, std::function<void(Reply)> answer) {
  Responder responder;
  RecordedRequest recorded{request.id, request.method, request.params, request.data, false};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(Pending{recorded, std::move(answer), false});
    if (auto it = responders_.find(request.method); it != responders_.end()) responder = it->second;
  }
  arrived_.notify_all();
  if (responder) Answer(recorded.id, responder(recorded));
}

bool ScriptedService::ServesUrl(const std::string& url) const {
  for (const char* host : {kStorageHost, kFileBoxHost})
    for (const char* scheme : {"https://", "http://"})
      if (url.rfind(std::string(scheme) + host + "/", 0) == 0) return true;
  return false;
}

}  // namespace veltrina::backend
