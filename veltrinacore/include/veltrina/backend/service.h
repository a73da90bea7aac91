#pragma once
// The backend behind the managers: a service that answers the core's requests and pushes events.
// The wire between them is JSON text (the protocol is listed in backend/protocol.h).
//
// The default backend is the embedded demo service (backend/demo_service.h), created on the first
// request with the data folder <Documents>\Veltrina. Tests install their own before the client
// makes calls:
//
//   auto service = std::make_shared<veltrina::backend::ScriptedService>();
//   veltrina::backend::InstallService(service);
//
// Installing a service detaches the previous one (answers and events it still produces are
// dropped) and clears every cache of the core; the default Director stays as it is.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace veltrina::backend {

struct Request {
  uint64_t id = 0;           // numbered by the core, unique per process
  std::string method;        // e.g. "auth.login"
  std::string params;        // JSON object text
  std::string data;          // raw bytes (uploads)
};

struct Reply {
  bool ok = false;
  int64_t code = 0;          // result or error code (HTTP status for "http.get")
  std::string error;         // error text on failure
  std::string body;          // JSON object text (may be empty)
  std::string data;          // raw bytes ("http.get")
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  // name: "message", "unread", "presence", "connection", "channel", "im", "user"; body: JSON text.
  virtual void OnServiceEvent(const std::string& name, const std::string& body) = 0;
};

class Service {
 public:
  virtual ~Service() = default;
  // Called once when installed; the sink stays valid until Detach returns.
  virtual void Attach(EventSink* sink) = 0;
  // Called when replaced; after it returns the service emits nothing.
  virtual void Detach() = 0;
  // Answers a request by calling `answer` once, on any thread, now or later -- or never.
  virtual void Call(const Request& request, std::function<void(Reply)> answer) = 0;
  // Whether HttpClient requests for this address go to Call("http.get") instead of the network.
  virtual bool ServesUrl(const std::string& url) const = 0;
};

// Installs `service` as the backend (see above). Null reinstalls a fresh default demo service.
void InstallService(std::shared_ptr<Service> service);
// The installed backend (creates the default demo service when none is installed).
std::shared_ptr<Service> CurrentService();
// Waits until the core has no queued work: every answer and event received so far has been
// processed and its callbacks have returned. False on time-out, or when called on a core thread.
// Do not call it from a thread that core callbacks SendMessageW to.
bool WaitForCoreIdle(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
// True on the core's callback thread.
bool IsCoreThread();

}  // namespace veltrina::backend
