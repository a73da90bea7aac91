#pragma once
// A backend for tests: every request is recorded with its arguments and waits until the test
// answers it -- on a core thread, in any order, or never. The test also pushes events.
//
//   auto service = std::make_shared<ScriptedService>();
//   InstallService(service);
//   veltrina::UserManager::DefaultManager()->GetTeamMembers(callback);
//   auto request = service->WaitForRequest("users.list");          // what the core asked
//   service->Answer(request->id, true, 0, "", R"({"users":[...]})");  // callback runs on a core thread
//   service->Push("presence", R"({"uid":"u1","status":1})");
//
// Bodies are JSON text (backend/protocol.h); backend/bodies.h builds them from records. Answer and Push
// return at once; WaitForCoreIdle() waits until the core has handled them.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "veltrina/backend/service.h"

namespace veltrina::backend {

struct RecordedRequest {
  uint64_t id = 0;
  std::string method;
  std::string params;  // JSON object text
  std::string data;
  bool answered = false;
  // A member of params as text: strings as they are, numbers and booleans printed ("true"),
  // arrays and objects as JSON; empty when absent or when params is not valid JSON.
  std::string Param(const std::string& name) const;
};

class ScriptedService : public Service {
 public:
  ScriptedService() = default;

  // Every request so far, in arrival order.
  std::vector<RecordedRequest> Requests() const;
  // Requests with this method so far.
  std::vector<RecordedRequest> Requests(const std::string& method) const;
  size_t CountRequests(const std::string& method) const;
  // The first unanswered request with this method (any method when empty) not returned by an
  // earlier WaitForRequest; waits up to `timeout` for it to come.
  std::optional<RecordedRequest> WaitForRequest(const std::string& method,
                                                std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

  // Forgets the requests recorded so far; unanswered ones can no longer be answered.
  void ClearRequests();

  // Answers a request; false if unknown or already answered. data: raw bytes ("http.get").
  bool Answer(uint64_t id, bool ok, int64_t code, const std::string& error, const std::string& body,
              const std::string& data = std::string());
  // Shorthands: success with code 0, and failure with an empty body.
  bool Succeed(uint64_t id, const std::string& body = "{}") { return Answer(id, true, 0, "", body); }
  bool Fail(uint64_t id, int64_t code, const std::string& error) { return Answer(id, false, code, error, "{}"); }

  // Answers, now and later, every request of `method` with the given reply (until cleared with
  // an empty std::function). Handy for requests a test does not care about.
  void AutoAnswer(const std::string& method, std::function<Reply(const RecordedRequest&)> responder);

  // Answers every "http.get" for an avatar, service avatar or thumbnail address with the demo's
  // generated PNG (other addresses of those hosts get 404). Saves UI tests from answering images.
  void ServeGeneratedImages();

  // Pushes an event to the core (see backend/protocol.h). False when not installed.
  bool Push(const std::string& event, const std::string& body);

  // When set (the default), addresses on the storage and file box hosts are served by this
  // service as "http.get" requests; otherwise they go to the network.
  void set_serves_demo_hosts(bool v);

  // Service
  void Attach(EventSink* sink) override;
  void Detach() override;
  void Call(const Request& request, std::function<void(Reply)> answer) override;
  bool ServesUrl(const std::string& url) const override;

 private:
  struct Pending {
    RecordedRequest request;
    std::function<void(Reply)> answer;
    bool handed_out = false;
  };
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Pending> requests_;
  std::map<std::string, std::function<Reply(const RecordedRequest&)>> responders_;
  EventSink* sink_ = nullptr;
  bool serves_demo_hosts_ = true;
};

}  // namespace veltrina::backend
