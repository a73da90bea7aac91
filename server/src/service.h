#pragma once
// The server's meaning of HTTP: the protocol of the design notes on top of the team engine.
//
//   POST /api/v1/<method>                    params as the JSON body; Bearer token but for
//                                            team.lookup, client.version and auth.login
//   POST /api/v1/files.upload?<params>       the file's bytes as the body (streamed to disk)
//   GET  /api/v1/events?since=<seq>&wait=<s> the session's events after `since` (long-poll)
//   GET  /files/<path>, /storage/<path>      files and pictures, to those who may see them
//   GET  /healthz
//
// Every answer of the API is an envelope: {"ok":true,"code":0,"body":{...}} or
// {"ok":false,"code":N,"error":"..."}; HTTP statuses only for transport matters (400 malformed,
// 401 no or a dead token, 404, 413, 429, 503).
//
// One thread runs the engine. It takes the requests queued meanwhile as one batch, commits
// their changes with one durable write, and only then answers them and wakes the parked polls
// (group commit). Parked polls hold no thread; a timer thread answers those whose wait is over.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "http.h"
#include "password_checks.h"
#include "server_store.h"
#include "veltrina/engine/engine.h"

namespace veltrina::server {

struct ServiceOptions {
  size_t max_batch = 256;                   // requests committed together at most
  std::chrono::seconds longest_wait{25};    // a poll is answered after this at the latest
  size_t events_per_page = 500;
  int64_t token_lifetime = 30 * 86400;      // seconds
  // Sign-in attempts: failures per account per window, and attempts per address per window.
  int failures_per_account = 5;
  int attempts_per_address = 30;
  std::chrono::seconds login_window{300};
  uint64_t max_upload = 100ull << 20;
  // Sign-in password checks: threads (each argon2id check holds 64 MiB while it runs; half the
  // cores at most, so that a storm of sign-ins leaves the engine and the I/O threads room) and how
  // many sign-ins may wait for one; past that a sign-in gets 503.
  size_t check_threads = std::clamp<size_t>(std::thread::hardware_concurrency() / 2, 1, 4);
  size_t checks_queued = 64;
  // Where a test build stops the process: "before-commit" or "after-commit" (empty: never).
  std::string crash_point;
};

class Service : public Handler {
 public:
  // `make_engine` builds the engine on the store (again after a failed commit, to drop what the
  // engine holds that the store did not keep). `passwords`, the engine's password port, lets
  // sign-ins be checked off the engine's thread; without it they are checked on it.
  Service(std::function<std::unique_ptr<engine::Engine>()> make_engine, ServerStore& store, engine::Clock& clock,
          ServiceOptions options, std::function<void(const std::string&)> log,
          CheckedPasswords* passwords = nullptr);
  ~Service() override;

  void Handle(HttpRequest request, Respond respond) override;
  bool StreamsBody(const std::string& method, const std::string& path) const override;
  // Answers the parked polls, serves what is queued, commits, and stops the engine's thread.
  void Stop();

  // Runs `task` on the engine's thread (for the operator's commands) and waits for it.
  void RunOnEngine(std::function<void(engine::Engine&)> task);
  // Another process may have committed: a batch of no requests catches up with the store and
  // wakes the polls that have news (does not wait).
  void Refresh();

 private:
  struct Parked {
    engine::Session session;
    int64_t since = 0;
    std::chrono::steady_clock::time_point deadline;
    Respond respond;
  };
  // An answer made during a batch, sent once the batch is committed (a 503 if it is not).
  struct Pending {
    HttpResponse response;
    Respond respond;
  };

  void Post(std::function<void()> task);
  void EngineLoop();
  void TimerLoop();
  // On the engine's thread.
  void Serve(const HttpRequest& request, Respond respond);
  void Api(const std::string& method, const HttpRequest& request, Respond respond);
  void Events(const HttpRequest& request, Respond respond);
  void File(const HttpRequest& request, Respond respond);
  std::optional<engine::Session> Authenticate(const HttpRequest& request);
  void Login(const HttpRequest& request, const std::string& params_text, Respond respond);
  // After the password check: the engine signs the session in and the service gives it a token.
  void FinishLogin(const std::string& account, const std::string& params_text, Respond respond);
  // The stored form a sign-in's password is checked against (the decoy for an unknown user);
  // none when there is no such team (the engine refuses that without hashing).
  std::optional<std::string> StoredForm(const std::string& params_text);
  // A signed-in user's new password: hashed on the pool, then set on the engine's thread.
  void NewPassword(const engine::Session& session, const std::string& params_text, Respond respond);
  bool LoginAllowed(const std::string& account, const std::string& address);
  void LoginFailed(const std::string& account);
  void WakePolls();
  // Takes a parked poll out (the caller holds mutex_); false when it was no longer parked.
  bool Unpark(const std::shared_ptr<Parked>& parked);
  void Answer(Respond respond, HttpResponse response);

  std::function<std::unique_ptr<engine::Engine>()> make_engine_;
  std::unique_ptr<engine::Engine> engine_;
  ServerStore& store_;
  engine::Clock& clock_;
  ServiceOptions options_;
  std::function<void(const std::string&)> log_;

  std::mutex mutex_;  // guards the queue, the parked polls and stopping_
  std::condition_variable wake_;        // the engine's thread: work is queued
  std::condition_variable timer_wake_;  // the timer's: only stopping wakes it early
  std::deque<std::function<void()>> queue_;
  // Parked polls by team, then by user: a change wakes the polls of those it concerns, not all.
  std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::shared_ptr<Parked>>>> parked_;
  bool stopping_ = false;
  bool stopped_ = false;
  bool refresh_ = false;  // another process committed: catch up even without requests

  // The engine's thread only.
  std::vector<Pending> pending_;
  bool changed_ = false;  // the batch changed something (where a test build may stop)
  std::map<std::string, TokenRecord> tokens_;  // token hash -> record, a cache of the store's
  std::map<std::string, int64_t> woken_head_;  // team -> its head when its polls were last woken
  std::map<std::string, std::vector<std::chrono::steady_clock::time_point>> failures_, attempts_;
  // Sign-ins being checked, by account: each counts as a failure until it is known not to be, so
  // that concurrent guesses cannot pass the limit.
  std::map<std::string, int> checking_;

  CheckedPasswords* passwords_;
  std::unique_ptr<WorkPool> checks_;

  std::thread engine_thread_;
  std::thread timer_thread_;
};

}  // namespace veltrina::server
