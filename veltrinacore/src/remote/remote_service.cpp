#include "veltrina/backend/remote_service.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "../json_util.h"
#include "../thread.h"
#include "remote_http.h"
#include "veltrina/hosts.h"
#include "veltrina/http.h"
#include "veltrina/log.h"

namespace veltrina::backend {

using internal::json;
using internal::remote::Exchange;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// A JSON answer may be long (a big team's members, a page of history), never this long.
constexpr uint64_t kMaxApiAnswer = 64ull << 20;
// A message waiting in the lane is seen waiting: it is tried again at least this often.
constexpr milliseconds kLongestLanePause{4000};
constexpr int kWorkers = 3;
constexpr const char* kConnected = R"({"state":0})";
constexpr const char* kReconnecting = R"({"state":1})";
// How far the server's clock may be behind this one when a resync picks the messages to hand over.
constexpr int64_t kClockMargin = 300;

int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}
// The server refused the token: the client signs in again (ConnectionStateHandler::kSignedOut).
constexpr const char* kRefused = R"({"state":3})";

void Random(void* out, size_t size) {
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    // Never expected; a clock-based value still tells one id from the next.
    const uint64_t fallback = static_cast<uint64_t>(Clock::now().time_since_epoch().count()) ^ GetCurrentThreadId();
    std::memcpy(out, &fallback, std::min(size, sizeof fallback));
  }
}

std::string RandomId() {
  unsigned char bytes[16];
  Random(bytes, sizeof bytes);
  static const char digits[] = "0123456789abcdef";
  std::string id;
  for (unsigned char b : bytes) {
    id += digits[b >> 4];
    id += digits[b & 15];
  }
  return id;
}

double RandomUnit() {
  uint32_t value = 0;
  Random(&value, sizeof value);
  return value / 4294967296.0;
}

std::string QueryEncode(const std::string& text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  return out;
}

// Where the server serves an address of the storage or file box host; empty for other addresses.
std::string PathOnServer(const std::string& url) {
  const std::pair<const char*, const char*> hosts[] = {{kFileBoxHost, "/files/"}, {kStorageHost, "/storage/"}};
  for (auto [host, path] : hosts)
    for (const char* scheme : {"https://", "http://"}) {
      const std::string prefix = std::string(scheme) + host + "/";
      if (url.rfind(prefix, 0) == 0) return path + url.substr(prefix.size());
    }
  return std::string();
}

// The reply an exchange with the API stands for: the envelope one to one, -1 when no answer came.
Reply ReplyOf(const Exchange& x) {
  Reply r;
  if (x.status == 0) {
    r.code = -1;
    r.error = "the server cannot be reached: " + x.error;
    return r;
  }
  json envelope;
  if (internal::ParseObject(x.body, &envelope) && internal::Member(envelope, "ok")) {
    r.ok = internal::Bool(envelope, "ok");
    r.code = internal::Int(envelope, "code");
    r.error = internal::Str(envelope, "error");
    const json* body = internal::Member(envelope, "body");
    if (r.ok && body) r.body = internal::Dump(*body);
  } else {
    r.code = x.status == 200 ? 502 : x.status;
    r.error = "the server's answer cannot be read (HTTP status " + std::to_string(x.status) + ")";
  }
  if (r.ok && (x.status < 200 || x.status >= 300)) {
    r.ok = false;
    r.code = x.status;
  }
  if (x.status == 401) {
    r.ok = false;
    r.code = 401;
    if (r.error.empty()) r.error = "sign in again";
  }
  if (!r.ok) r.body.clear();
  return r;
}

// Worth another try with the same id: nothing came back, or the server or a proxy in front of it
// said it could not take the request just now (the change was not stored).
bool Transient(const Exchange& x) { return x.status == 0 || x.status == 502 || x.status == 503 || x.status == 504; }

}  // namespace

struct RemoteService::State {
  State(RemoteOptions o, internal::remote::ServerAddress address) : options(std::move(o)), link(std::move(address)) {}

  struct Outgoing {
    std::string params;
    std::function<void(Reply)> answer;
    Clock::time_point deadline;
  };

  const RemoteOptions options;
  const internal::remote::HttpLink link;

  std::mutex mutex;  // everything below but the sink
  std::condition_variable wake;
  bool stopping = false;
  std::deque<std::function<void()>> tasks;
  std::deque<Outgoing> lane;
  bool lane_busy = false;  // a worker is draining the lane
  std::string token;
  int64_t since = -1;       // the poller's position; -1: the server's head
  uint64_t session = 0;     // counts sign-ins: what the poller got for an older one is dropped
  uint64_t kicks = 0;       // "session.connect": a poller waiting to retry tries at once
  // The newest message time (server seconds) handed over since the sign-in, or the sign-in's own
  // time less a margin for clocks apart, with the keys handed over at that time: a resync hands
  // over what is newer. What it handed over is not handed over again when its event follows.
  int64_t newest_message = 0;
  std::set<std::string> newest_keys;
  std::set<std::string> resynced;

  std::mutex sink_mutex;  // held while the sink is called, so that Detach waits for a call under way
  EventSink* sink = nullptr;

  std::vector<internal::Thread> threads;  // never joined: a blocked request cannot be cancelled

  void Emit(const std::string& name, const std::string& body) {
    std::lock_guard<std::mutex> lock(sink_mutex);
    if (sink) sink->OnServiceEvent(name, body);
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
      tasks.clear();
    }
    wake.notify_all();
  }

  bool Post(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (stopping) return false;
      tasks.push_back(std::move(task));
    }
    wake.notify_all();
    return true;
  }

  void Work() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [this] { return stopping || !tasks.empty(); });
        if (stopping) return;
        task = std::move(tasks.front());
        tasks.pop_front();
      }
      task();
    }
  }

  // Waits `delay`, or less when stopping or when `until` holds; false when stopping.
  template <typename Until>
  bool Pause(milliseconds delay, Until until) {
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_for(lock, delay, [&] { return stopping || until(); });
    return !stopping;
  }

  milliseconds Backoff(int failures, milliseconds cap) const {
    double base = static_cast<double>(options.backoff_first.count());
    for (int i = 1; i < failures && base < cap.count(); ++i) base *= 2;
    base = std::min(base, static_cast<double>(cap.count()));
    const double jittered = base * (0.75 + 0.5 * RandomUnit());
    return milliseconds(static_cast<int64_t>(std::min(jittered, static_cast<double>(cap.count()))));
  }

  std::string Headers(const char* content_type) {
    std::string headers;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!token.empty()) headers = "Authorization: Bearer " + token + "\r\n";
    }
    if (content_type) headers += std::string("Content-Type: ") + content_type + "\r\n";
    return headers;
  }

  int Timeout() const { return static_cast<int>(options.request_timeout.count()); }

  // ---- requests ----

  Reply Answer(const Request& request) {
    if (request.method == "http.get") return HttpGet(request);
    if (request.method == "files.upload") return Upload(request);
    if (request.method == "session.connect") {
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++kicks;
      }
      wake.notify_all();
    }
    return Api(request.method, request.params);
  }

  Reply Api(const std::string& method, const std::string& params) {
    const uint64_t asked = Session();
    return Finish(method,
                  link.Send(L"POST", "/api/v1/" + method, Headers("application/json"), params.empty() ? "{}" : params,
                            Timeout(), kMaxApiAnswer),
                  asked);
  }

  uint64_t Session() {
    std::lock_guard<std::mutex> lock(mutex);
    return session;
  }

  // A refusal speaks for the sign-in the request was made under: one answered after the next
  // sign-in must not send that session back to the login.
  void Refused(uint64_t asked) {
    if (Session() == asked) Emit("connection", kRefused);
  }

  Reply Finish(const std::string& method, const Exchange& x, uint64_t asked) {
    if (x.status == 0) log("%s: no answer from the server: %s", method.c_str(), x.error.c_str());
    if (x.status == 401) Refused(asked);
    Reply r = ReplyOf(x);
    if (r.ok && method == "auth.login") SignedIn(r.body);
    return r;
  }

  // The token signs what follows; the poller starts over from the sign-in's position.
  void SignedIn(const std::string& body) {
    json answer = internal::Parse(body);
    const json* token_json = internal::Member(answer, "token");
    std::string access = token_json ? internal::Str(*token_json, "access_token") : std::string();
    if (access.empty()) {
      log("The server's sign-in answer holds no token");
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      token = std::move(access);
      since = internal::Int(answer, "seq", -1);
      newest_message = UnixNow() - kClockMargin;
      newest_keys.clear();
      resynced.clear();
      ++session;
    }
    wake.notify_all();
  }

  // Sends again with the same id while the failure is one of transport and the deadline allows.
  // An attempt is given its time-out: with `bounded`, never past the deadline.
  Reply Retried(const std::string& method, const std::function<Exchange(int timeout_ms)>& attempt,
                Clock::time_point deadline, bool bounded) {
    const uint64_t asked = Session();
    for (int failures = 1;; ++failures) {
      int timeout = Timeout();
      if (bounded) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
          Exchange late;  // Finish logs it
          late.error = "no time left to try";
          return Finish(method, late, asked);
        }
        timeout = static_cast<int>(std::min<long long>(timeout, left));
      }
      Exchange x = attempt(timeout);
      const auto now = Clock::now();
      if (!Transient(x) || now >= deadline) return Finish(method, x, asked);
      const milliseconds left = std::chrono::duration_cast<milliseconds>(deadline - now);
      const milliseconds delay = std::min(Backoff(failures, std::min(options.backoff_max, kLongestLanePause)), left);
      log("%s: try %d failed (%s); again in %lld ms", method.c_str(), failures,
          x.status ? ("HTTP status " + std::to_string(x.status)).c_str() : x.error.c_str(),
          static_cast<long long>(delay.count()));
      if (!Pause(delay, [] { return false; })) return Finish(method, x, asked);
    }
  }

  void Enqueue(const Request& request, std::function<void(Reply)> answer) {
    json params = internal::Parse(request.params);
    if (!params.is_object()) params = json::object();
    if (internal::Str(params, "client_msg_id").empty()) params["client_msg_id"] = RandomId();
    bool start = false, taken = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!stopping) {
        taken = true;
        lane.push_back(Outgoing{internal::Dump(params), std::move(answer), Clock::now() + options.send_retry_window});
        start = !lane_busy;
        lane_busy = true;
      }
    }
    if (taken) {
      if (start) Post([this] { DrainLane(); });
      return;
    }
    Reply r;
    r.code = -1;
    r.error = "the service was replaced";
    answer(r);
  }

  // One message at a time, in the order they were asked for.
  void DrainLane() {
    for (;;) {
      Outgoing item;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (lane.empty() || stopping) {
          lane_busy = false;
          return;
        }
        item = std::move(lane.front());
        lane.pop_front();
      }
      Reply reply = Retried(
          "messages.send",
          [&](int timeout) {
            return link.Send(L"POST", "/api/v1/messages.send", Headers("application/json"), item.params, timeout,
                             kMaxApiAnswer);
          },
          item.deadline, true);
      // The sender sees its own message from the answer: a resync need not hand it over again.
      if (reply.ok)
        if (json body = internal::Parse(reply.body); body.is_object())
          if (const json* message = internal::Member(body, "message"); message && message->is_object())
            HandingOver(*message, nullptr);
      item.answer(std::move(reply));
    }
  }

  Reply Upload(const Request& request) {
    json p = internal::Parse(request.params);
    if (!p.is_object()) p = json::object();
    const std::string path = "/api/v1/files.upload?file_name=" + QueryEncode(internal::Str(p, "file_name")) +
                             "&comment=" + QueryEncode(internal::Str(p, "comment")) +
                             "&channel_id=" + QueryEncode(internal::Str(p, "channel_id")) +
                             "&is_channel=" + (internal::Bool(p, "is_channel") ? "1" : "0") +
                             "&client_upload_id=" + RandomId();
    return Retried(
        "files.upload",
        [&](int timeout) {
          return link.Send(L"POST", path, Headers("application/octet-stream"), request.data, timeout, kMaxApiAnswer);
        },
        Clock::now() + options.upload_retry_window, false);
  }

  Reply HttpGet(const Request& request) {
    json p = internal::Parse(request.params);
    const std::string path = PathOnServer(p.is_object() ? internal::Str(p, "url") : std::string());
    Reply r;
    if (path.empty()) {
      r.code = 404;
      r.error = "not an address the server serves";
      return r;
    }
    int64_t limit = p.is_object() ? internal::Int(p, "max_bytes", 0) : 0;
    if (limit <= 0 || static_cast<uint64_t>(limit) > HttpRequest::kMaxBodyBytes)
      limit = static_cast<int64_t>(HttpRequest::kMaxBodyBytes);
    const uint64_t asked = Session();
    Exchange x = link.Send(L"GET", path, Headers(nullptr), "", Timeout(), static_cast<uint64_t>(limit));
    if (x.status == 0) {
      r.code = -1;
      r.error = "the server cannot be reached: " + x.error;
      return r;
    }
    if (x.status == 401) Refused(asked);
    r.code = x.status;
    r.ok = x.status >= 200 && x.status < 300;
    if (r.ok) {
      r.body = internal::Dump(json{{"content_type", x.content_type}});
      r.data = std::move(x.body);
    } else {
      json envelope;
      if (internal::ParseObject(x.body, &envelope)) r.error = internal::Str(envelope, "error");
      if (r.error.empty()) r.error = "HTTP status " + std::to_string(x.status);
    }
    return r;
  }

  // ---- events ----

  // Notes a message about to be handed over; false when it was already: an event after the resync
  // that fetched it, or, for a resync, one at or before `from` (the newest handed over when the
  // resync began, with the keys handed over at that time).
  struct Mark {
    int64_t time = 0;
    std::set<std::string> keys;
  };
  bool HandingOver(const json& message, const Mark* from) {
    const int64_t time = internal::Int(message, "timestamp", 0);
    const std::string key = internal::Str(message, "key");
    std::lock_guard<std::mutex> lock(mutex);
    if (from) {
      if (time < from->time || (time == from->time && from->keys.count(key))) return false;
      resynced.insert(key);
    } else if (resynced.erase(key)) {
      return false;
    }
    if (time > newest_message) {
      newest_message = time;
      newest_keys.clear();
    }
    if (time == newest_message) newest_keys.insert(key);
    return true;
  }

  void PollLoop() {
    int failures = 0;
    for (;;) {
      std::string bearer;
      int64_t position = -1;
      uint64_t polled_session = 0;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [this] { return stopping || !token.empty(); });
        if (stopping) return;
        bearer = "Authorization: Bearer " + token + "\r\n";
        position = since;
        polled_session = session;
      }
      std::string path = "/api/v1/events?wait=" + std::to_string(options.poll_wait.count());
      if (position >= 0) path += "&since=" + std::to_string(position);
      const int timeout = static_cast<int>(options.poll_wait.count() * 1000 + options.poll_grace.count());
      Exchange x = link.Send(L"GET", path, bearer, "", timeout, kMaxApiAnswer);
      auto current = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return !stopping && session == polled_session;
      };
      if (!current()) {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping) return;
        continue;  // a new sign-in: it starts from its own position
      }
      if (x.status == 401) {
        log("The server refused the session's token; events stop until the next sign-in");
        Emit("connection", kRefused);
        std::lock_guard<std::mutex> lock(mutex);
        if (session == polled_session) token.clear();
        failures = 0;
        continue;
      }
      json page;
      const json* events = nullptr;
      if (x.status == 200 && internal::ParseObject(x.body, &page)) events = internal::Member(page, "events");
      if (!events || !events->is_array()) {
        if (++failures == 1) Emit("connection", kReconnecting);
        uint64_t kicked = 0;
        {
          std::lock_guard<std::mutex> lock(mutex);
          kicked = kicks;
        }
        const milliseconds delay = Backoff(failures, options.backoff_max);
        log("Polling events failed (%s); next try in %lld ms",
            x.status ? ("HTTP status " + std::to_string(x.status)).c_str() : x.error.c_str(),
            static_cast<long long>(delay.count()));
        if (!Pause(delay, [&] { return session != polled_session || kicks != kicked; })) return;
        continue;
      }
      if (failures > 0) {
        failures = 0;
        log("Polling events works again");
        Emit("connection", kConnected);
      }
      const int64_t next = internal::Int(page, "next", position);
      if (internal::Bool(page, "resync")) {
        log("The server no longer holds the missed events: fetching the lists again");
        Resync();
      } else {
        for (const json& event : *events) {
          if (!event.is_object()) continue;
          const int64_t seq = internal::Int(event, "seq", 0);
          if (position >= 0 && seq <= position) continue;  // handed over already
          const json* body = internal::Member(event, "body");
          if (!current()) break;
          const std::string name = internal::Str(event, "name");
          if (const json* message = name == "message" && body ? internal::Member(*body, "message") : nullptr;
              message && message->is_object() && !HandingOver(*message, nullptr))
            continue;
          Emit(name, body ? internal::Dump(*body) : std::string("{}"));
        }
      }
      std::lock_guard<std::mutex> lock(mutex);
      if (session == polled_session) since = next;
    }
  }

  // The core keeps what events tell it: the lists come again as events, between "reconnecting"
  // and "connected". So do the messages stored since the newest one handed over: their events are
  // gone (a restarted server keeps none), and the windows show only what arrives as events.
  void Resync() {
    Emit("connection", kReconnecting);
    struct List {
      const char* method;
      const char* params;
      const char* list;
      const char* event;
      const char* member;  // the event's body wraps each item in it; null: the item is the body
      bool messages;       // only those not handed over yet
    };
    const List lists[] = {{"users.list", "{}", "users", "user", "user", false},
                          {"channels.list", R"({"include_archived":false})", "channels", "channel", "channel", false},
                          {"ims.list", "{}", "ims", "im", "im", false},
                          {"messages.sync", R"({"count":100})", "messages", "message", "message", true},
                          {"messages.unread", "{}", "unread", "unread", nullptr, false}};
    Mark from;
    {
      std::lock_guard<std::mutex> lock(mutex);
      resynced.clear();
      from = Mark{newest_message, newest_keys};
    }
    for (const List& l : lists) {
      Reply r = Api(l.method, l.params);
      json body = r.ok ? internal::Parse(r.body) : json();
      const json* items = body.is_object() ? internal::Member(body, l.list) : nullptr;
      if (!items || !items->is_array()) {
        log("Fetching %s again failed: %s", l.method, r.error.c_str());
        continue;
      }
      for (const json& item : *items) {
        if (l.messages && (!item.is_object() || !HandingOver(item, &from))) continue;
        Emit(l.event, l.member ? internal::Dump(json{{l.member, item}}) : internal::Dump(item));
      }
    }
    Emit("connection", kConnected);
  }
};

RemoteService::RemoteService(RemoteOptions options) {
  internal::remote::ServerAddress address;
  if (!internal::remote::ParseServerUrl(options.url, &address))
    log("The server address is not http(s)://host:port; every request will fail");
  state_ = std::make_shared<State>(std::move(options), std::move(address));
  // Each thread holds the state: what it still does after the service is gone finds it alive.
  for (int i = 0; i < kWorkers; ++i)
    state_->threads.emplace_back([state = state_] { state->Work(); });
  state_->threads.emplace_back([state = state_] { state->PollLoop(); });
}

RemoteService::~RemoteService() { Detach(); }

void RemoteService::Attach(EventSink* sink) {
  std::lock_guard<std::mutex> lock(state_->sink_mutex);
  state_->sink = sink;
}

void RemoteService::Detach() {
  {
    std::lock_guard<std::mutex> lock(state_->sink_mutex);
    state_->sink = nullptr;
  }
  state_->Stop();
}

void RemoteService::Call(const Request& request, std::function<void(Reply)> answer) {
  if (request.method == "messages.send") {
    state_->Enqueue(request, std::move(answer));
    return;
  }
  State* state = state_.get();
  auto shared = std::make_shared<std::function<void(Reply)>>(std::move(answer));
  if (!state->Post([state, request, shared] { (*shared)(state->Answer(request)); })) {
    Reply r;
    r.code = -1;
    r.error = "the service was replaced";
    (*shared)(r);
  }
}

bool RemoteService::ServesUrl(const std::string& url) const { return !PathOnServer(url).empty(); }

}  // namespace veltrina::backend
