#pragma once
// A backend for tests: every request is recorded and waits until the test answers it (on a core
// thread, in any order, or never); the test also pushes events. Bodies are JSON text
// (backend/protocol.h), built by backend/bodies.h. Answer and Push return at once; WaitForCoreIdle()
// waits until the core has handled them.
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
  std::string method, params, data;  // params: JSON object text
  bool answered = false;
  // A member of params as text: strings as they are, anything else as JSON; empty when absent.
  std::string Param(const std::string& name) const;
};

class ScriptedService : public Service {
 public:
  using Responder = std::function<Reply(const RecordedRequest&)>;
  // The requests so far with this method (all when empty), in arrival order.
  std::vector<RecordedRequest> Requests(const std::string& method = "") const;
  size_t CountRequests(const std::string& method) const { return Requests(method).size(); }
  // The first unanswered request with this method (any when empty) not handed out before; waits for it.
  std::optional<RecordedRequest> WaitForRequest(const std::string& method,
                                                std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // False if unknown or already answered. data: raw bytes ("http.get").
  bool Answer(uint64_t id, bool ok, int64_t code, const std::string& error, const std::string& body,
              const std::string& data = std::string());
  bool Succeed(uint64_t id, const std::string& body = "{}") { return Answer(id, true, 0, "", body); }
  bool Fail(uint64_t id, int64_t code, const std::string& error) { return Answer(id, false, code, error, "{}"); }
  // Answers every request of `method`, waiting and future, with the responder's reply (none: stop).
  void AutoAnswer(const std::string& method, Responder responder);
  // Answers image "http.get"s with the demo's generated PNGs (404 for other addresses).
  void ServeGeneratedImages();
  bool Push(const std::string& event, const std::string& body);  // false when not installed

  void Attach(EventSink* sink) override;
  void Detach() override { Attach(nullptr); }
  void Call(const Request& request, std::function<void(Reply)> answer) override;
  bool ServesUrl(const std::string& url) const override;  // the storage and file box hosts

 private:
  bool Answer(uint64_t id, Reply reply);
  struct Pending {
    RecordedRequest request;
    std::function<void(Reply)> answer;
    bool handed_out = false;
  };
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Pending> requests_;
  std::map<std::string, Responder> responders_;
  EventSink* sink_ = nullptr;
};

}  // namespace veltrina::backend
