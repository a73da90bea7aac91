#pragma once
// The backend over the network: a veltrina-server reached with WinHTTP (the protocol is described
// in the README, section "The server").
//
//   POST <url>/api/v1/<method>                  params as the body, "Authorization: Bearer <token>"
//   POST <url>/api/v1/files.upload?<params>     the file's bytes as the body
//   GET  <url>/api/v1/events?since=S&wait=W     the session's events, long-polled
//   GET  <url>/files/<path>, <url>/storage/<path>  what https://files.veltrina.demo/<path> and
//                                               https://storage.veltrina.demo/<path> name
//
// Replies map one to one from the server's envelope {"ok","code","body"|"error"}. A request that
// gets no answer (refused, reset, timed out) fails with code -1, which the team window reads as
// "unreachable"; HTTP 401 fails with code 401 and reports "connection" state 3 (signed out: the
// client signs in again).
//
// Threads: three request workers, so that a long upload or a send being retried never holds up
// the rest, and one poller. The token of the last successful "auth.login" signs every request;
// the poller then long-polls events from the sign-in's seq and hands them to the sink in order.
// When a poll fails it reports "connection" state 1, retries after 1, 2, 4 ... 30 s (with
// jitter) and reports state 0 once a poll succeeds again. A page marked "resync" (the server no
// longer holds what was missed) makes the poller fetch the lists again and hand them over as
// "channel", "im", "user" and "unread" events, between states 1 and 0.
//
// "messages.send" goes through one ordered lane: each message gets a random client_msg_id once,
// and a send that fails in transport is sent again with the same id (the server stores it once)
// until send_retry_window has passed since it was asked for; then it fails with code -1, and the
// next message goes. No try outlasts the window, so every send is answered within it. Uploads
// carry a client_upload_id and are retried the same way, beside the lane, for upload_retry_window.
//
// Detach stops the poller and the workers: no event reaches the sink after it returns. A request
// under way is left to end on its own (a blocked WinHTTP call cannot be cancelled under Wine); its
// thread then exits without another callback of the sink.
#include <chrono>
#include <memory>
#include <string>

#include "veltrina/backend/service.h"

namespace veltrina::backend {

struct RemoteOptions {
  // http://host[:port][/prefix] or https://...; as returned by ChooseServer.
  std::string url;
  std::chrono::milliseconds request_timeout{30000};
  // How long the server may hold an event poll.
  std::chrono::seconds poll_wait{25};
  // How much longer than poll_wait a poll's answer may take before its connection counts as dead:
  // a connection that went silent without closing is left this soon after the server's wait.
  std::chrono::milliseconds poll_grace{10000};
  std::chrono::milliseconds backoff_first{1000};
  std::chrono::milliseconds backoff_max{30000};
  // How long a message is tried, again after failures in transport, before it fails. Shorter than
  // the main window's wait for a send's answer (30 s): a text handed back to the composer as not
  // sent must not be stored by a try still under way.
  std::chrono::milliseconds send_retry_window{25000};
  // The same for an upload, whose dialog waits as long as it takes.
  std::chrono::milliseconds upload_retry_window{60000};
};

class RemoteService : public Service {
 public:
  explicit RemoteService(RemoteOptions options);
  ~RemoteService() override;
  RemoteService(const RemoteService&) = delete;
  RemoteService& operator=(const RemoteService&) = delete;

  void Attach(EventSink* sink) override;
  void Detach() override;
  void Call(const Request& request, std::function<void(Reply)> answer) override;
  // True for the storage and file box hosts (veltrina/hosts.h), which the server serves.
  bool ServesUrl(const std::string& url) const override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The server to use, highest first: `command_line` (the value of --server), the VELTRINA_SERVER
// environment variable, the "url" of server.json in `data_folder` (empty: <Documents>\Veltrina).
// A value that is not http(s)://host[:port][/path] is logged and passed over. Empty: none, the
// embedded demo service.
std::string ChooseServer(const std::string& command_line, const std::string& data_folder = std::string());
// The same choice among given texts (`server_json` is the file's content, empty when absent).
std::string ChooseServerFrom(const std::string& command_line, const std::string& environment,
                             const std::string& server_json);

}  // namespace veltrina::backend
