#include "service.h"

#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <set>
#include <sstream>

#include "json_util.h"
#include "sodium_ports.h"
#include "veltrina/engine/state.h"
#include "wire.h"

namespace veltrina::server {

namespace {

using internal::json;
using Clock = std::chrono::steady_clock;

// Requests that change nothing: a failed commit of their batch does not concern them.
const std::set<std::string> kReads = {"users.list",       "users.status",    "services.list",   "channels.list",
                                      "ims.list",         "messages.sync",   "messages.history", "messages.unread",
                                      "entities.list",    "entities.get",    "web.permission",   "session.connect",
                                      "team.lookup",      "client.version"};

bool IsMethodName(const std::string& name) {
  if (name.empty() || name.size() > 40) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || c == '.' || c == '_')) return false;
  return true;
}

HttpResponse Json(int status, std::string body) {
  HttpResponse r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

// Reads at most `cap` bytes of a file; false when it cannot or it is larger.
bool ReadAll(const std::string& path, uint64_t cap, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (static_cast<uint64_t>(buffer.tellp()) > cap) return false;
  *out = buffer.str();
  return true;
}

}  // namespace

Service::Service(std::function<std::unique_ptr<engine::Engine>()> make_engine, ServerStore& store,
                 engine::Clock& clock, ServiceOptions options, std::function<void(const std::string&)> log,
                 CheckedPasswords* passwords)
    : make_engine_(std::move(make_engine)),
      store_(store),
      clock_(clock),
      options_(std::move(options)),
      log_(std::move(log)),
      passwords_(passwords) {
  if (passwords_) checks_ = std::make_unique<WorkPool>(options_.check_threads, options_.checks_queued);
  engine_ = make_engine_();
  if (!store_.EndBatch()) throw std::runtime_error("the store cannot keep the state it was given");
  engine_thread_ = std::thread([this] { EngineLoop(); });
  timer_thread_ = std::thread([this] { TimerLoop(); });
}

Service::~Service() { Stop(); }

bool Service::StreamsBody(const std::string& method, const std::string& path) const {
  return method == "POST" && path == "/api/v1/files.upload";
}

void Service::Handle(HttpRequest request, Respond respond) {
  if (request.path == "/healthz") {
    respond(Json(200, R"({"ok":true})"));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) {
      queue_.push_back([this, request = std::move(request), respond]() mutable { Serve(request, std::move(respond)); });
      wake_.notify_all();
      return;
    }
  }
  respond(Json(503, Envelope(Fail(503, "the server is stopping"))));
}

void Service::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(task));
  wake_.notify_all();
}

void Service::RunOnEngine(std::function<void(engine::Engine&)> task) {
  std::promise<void> done;
  Post([&] {
    task(*engine_);
    done.set_value();
  });
  done.get_future().wait();
}

void Service::Refresh() {
  std::lock_guard<std::mutex> lock(mutex_);
  refresh_ = true;
  wake_.notify_all();
}

void Service::EngineLoop() {
  for (;;) {
    std::vector<std::function<void()>> batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return !queue_.empty() || refresh_ || stopped_; });
      if (queue_.empty() && (stopped_ || !refresh_)) return;  // stopped, and nothing left to serve
      refresh_ = false;
      while (!queue_.empty() && batch.size() < options_.max_batch) {
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
      }
    }
    if (store_.BeginBatch(!batch.empty()) == ServerStore::Freshness::kStale) {
      // Another process wrote since: read the state again before serving anything of the batch.
      engine_ = make_engine_();
      tokens_.clear();
    }
    for (auto& task : batch) task();
    if (options_.crash_point == "before-commit" && changed_) _exit(86);
    const bool kept = store_.EndBatch();
    if (options_.crash_point == "after-commit" && changed_) _exit(87);
    changed_ = false;
    std::vector<Pending> answers;
    answers.swap(pending_);
    if (!kept) {
      // What the engine holds now was not kept: start again from what the store has.
      log_("the store could not commit a batch of " + std::to_string(answers.size()) + " answers; they fail");
      engine_ = make_engine_();
      tokens_.clear();
      woken_head_.clear();
      store_.EndBatch();
      for (Pending& p : answers)
        p.response = Json(503, Envelope(Fail(503, "the change could not be stored; try again")));
    }
    for (Pending& p : answers) p.respond(std::move(p.response));
    if (kept) WakePolls();
  }
}

void Service::TimerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopped_) {
    timer_wake_.wait_for(lock, std::chrono::milliseconds(200));
    const auto now = Clock::now();
    std::vector<std::pair<std::shared_ptr<Parked>, int64_t>> due;
    for (auto team = parked_.begin(); team != parked_.end();) {
      for (auto user = team->second.begin(); user != team->second.end();) {
        std::erase_if(user->second, [&](const std::shared_ptr<Parked>& p) {
          if (p->deadline > now && !stopping_) return false;
          due.emplace_back(p, p->since);
          return true;
        });
        user = user->second.empty() ? team->second.erase(user) : std::next(user);
      }
      team = team->second.empty() ? parked_.erase(team) : std::next(team);
    }
    if (due.empty()) continue;
    lock.unlock();
    for (const auto& [p, since] : due) p->respond(Json(200, EventsPage(engine::Page{.next = since})));
    lock.lock();
  }
}

void Service::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    stopping_ = true;
  }
  wake_.notify_all();
  timer_wake_.notify_all();
  // Sign-ins being checked finish (their replays still reach the engine); those waiting get 503.
  if (checks_) checks_->Stop();
  // The timer answers every parked poll on its next turn; then the engine serves what is queued.
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
  timer_wake_.notify_all();
  if (engine_thread_.joinable()) engine_thread_.join();
  if (timer_thread_.joinable()) timer_thread_.join();
  std::vector<std::shared_ptr<Parked>> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [team, users] : parked_)
      for (auto& [uid, polls] : users) left.insert(left.end(), polls.begin(), polls.end());
    parked_.clear();
  }
  for (const auto& p : left) p->respond(Json(200, EventsPage(engine::Page{.next = p->since})));
}

void Service::Answer(Respond respond, HttpResponse response) {
  pending_.push_back(Pending{std::move(response), std::move(respond)});
}

void Service::Serve(const HttpRequest& request, Respond respond) {
  const std::string api = "/api/v1/";
  if (request.path == "/api/v1/events" && request.method == "GET") return Events(request, std::move(respond));
  if (request.path.rfind(api, 0) == 0 && request.method == "POST")
    return Api(request.path.substr(api.size()), request, std::move(respond));
  if ((request.path.rfind("/files/", 0) == 0 || request.path.rfind("/storage/", 0) == 0) && request.method == "GET")
    return File(request, std::move(respond));
  Answer(std::move(respond), Json(404, Envelope(Fail(404, "no such address"))));
}

std::optional<engine::Session> Service::Authenticate(const HttpRequest& request) {
  const std::string prefix = "Bearer ";
  if (request.authorization.rfind(prefix, 0) != 0) return std::nullopt;
  const std::string token = request.authorization.substr(prefix.size());
  if (token.size() != 64) return std::nullopt;
  const std::string hash = TokenHash(token);
  auto it = tokens_.find(hash);
  if (it == tokens_.end()) {
    std::optional<TokenRecord> found = store_.FindToken(hash);
    if (!found) return std::nullopt;
    it = tokens_.emplace(hash, *found).first;
  }
  if (it->second.expires_at <= clock_.Now()) {
    store_.DeleteToken(hash);
    tokens_.erase(it);
    changed_ = true;
    return std::nullopt;
  }
  return engine::Session{it->second.team_id, it->second.uid, it->second.session_id};
}

bool Service::LoginAllowed(const std::string& account, const std::string& address) {
  // Counted in the store when it keeps them: the limits then hold across processes and restarts.
  const int64_t seconds = clock_.Now(), window_start = seconds - options_.login_window.count();
  // Sign-ins of the account whose passwords are being checked count as failures until they are
  // not: parallel guesses must not get past the limit while the checks run.
  const auto checking = checking_.find(account);
  const int64_t in_check = checking == checking_.end() ? 0 : checking->second;
  if (std::optional<int64_t> failed = store_.CountSignIns("failure\n" + account, window_start)) {
    if (*failed + in_check >= options_.failures_per_account ||
        store_.CountSignIns("attempt\n" + address, window_start).value_or(0) >= options_.attempts_per_address)
      return false;
    store_.AddSignIn("attempt\n" + address, seconds, window_start);
    return true;
  }
  const auto now = Clock::now(), since = now - options_.login_window;
  auto recent = [&](std::vector<Clock::time_point>& times) {
    std::erase_if(times, [&](Clock::time_point t) { return t < since; });
    return times.size();
  };
  if (recent(failures_[account]) + static_cast<size_t>(in_check) >= static_cast<size_t>(options_.failures_per_account))
    return false;
  if (recent(attempts_[address]) >= static_cast<size_t>(options_.attempts_per_address)) return false;
  attempts_[address].push_back(now);
  // Forget quiet keys now and then, so the maps do not grow with every name ever tried.
  if (failures_.size() + attempts_.size() > 100000) {
    for (auto* map : {&failures_, &attempts_})
      for (auto it = map->begin(); it != map->end();) it = recent(it->second) == 0 ? map->erase(it) : std::next(it);
  }
  return true;
}

void Service::LoginFailed(const std::string& account) {
  if (store_.AddSignIn("failure\n" + account, clock_.Now(), clock_.Now() - options_.login_window.count())) return;
  failures_[account].push_back(Clock::now());
}

void Service::Api(const std::string& method, const HttpRequest& request, Respond respond) {
  if (!IsMethodName(method) || method == "http.get") {
    return Answer(std::move(respond), Json(404, Envelope(Fail(404, "no such request"))));
  }
  // The parameters: the JSON body, or for an upload the query (the body is the file).
  json params = json::object();
  std::string data;
  if (method == "files.upload") {
    for (const auto& [key, value] : request.query) params[key] = value;
    params["is_channel"] = request.query.count("is_channel") && request.query.at("is_channel") != "0" &&
                           request.query.at("is_channel") != "false";
    if (!request.body_file.empty() && !ReadAll(request.body_file, options_.max_upload, &data))
      return Answer(std::move(respond), Json(413, Envelope(Fail(413, "the file is larger than the upload limit"))));
  } else if (!request.body.empty()) {
    std::string why;
    if (!ParseParams(request.body, &params, &why)) return Answer(std::move(respond), Json(400, Envelope(Fail(400, why))));
  }
  const std::string params_text = internal::Dump(params);

  if (method == "client.version") {
    return Answer(std::move(respond),
                  Json(200, Envelope(backend::Reply{true, 0, "",
                                                    internal::Dump(json{{"version_code", 1},
                                                                        {"version_name", "1.0.0"},
                                                                        {"description", "veltrina-server"},
                                                                        {"force", false},
                                                                        {"release_time", clock_.Now()},
                                                                        {"download_url", ""}}),
                                                    ""})));
  }
  if (method == "team.lookup") {
    return Answer(std::move(respond), Json(200, Envelope(engine_->Handle(nullptr, method, params_text).reply)));
  }
  if (method == "auth.login") return Login(request, params_text, std::move(respond));
  std::optional<engine::Session> session = Authenticate(request);
  if (!session) return Answer(std::move(respond), Json(401, Envelope(Fail(401, "sign in again"))));
  if (method == "auth.init_password" && checks_) return NewPassword(*session, params_text, std::move(respond));
  engine::Outcome out = engine_->Handle(&*session, method, params_text, data);
  if (!kReads.count(method)) changed_ = true;
  Answer(std::move(respond), Json(out.reply.code == 401 && !out.reply.ok ? 401 : 200, Envelope(out.reply)));
}

void Service::Login(const HttpRequest& request, const std::string& params_text, Respond respond) {
  const json params = internal::Parse(params_text);
  const std::string account = internal::Str(params, "team_id") + "/" + internal::Str(params, "team_subdomain") +
                              "\n" + internal::Str(params, "username");
  if (!LoginAllowed(account, request.remote_address))
    return Answer(std::move(respond),
                  Json(429, Envelope(Fail(429, "too many sign-in attempts; wait a few minutes and try again"))));
  std::optional<std::string> stored = passwords_ ? StoredForm(params_text) : std::nullopt;
  if (!stored) return FinishLogin(account, params_text, std::move(respond));
  ++checking_[account];
  auto job = [this, account, params_text, stored = *stored, respond](bool run) mutable {
    if (!run) {
      return Post([this, account, respond = std::move(respond)]() mutable {
        if (--checking_[account] <= 0) checking_.erase(account);
        Answer(std::move(respond), Json(503, Envelope(Fail(503, "the server is stopping"))));
      });
    }
    std::string password = internal::Str(internal::Parse(params_text), "password");
    CheckedPasswords::Verdict verdict = passwords_->Check(password, stored);
    Post([this, account, params_text = std::move(params_text), stored = std::move(stored),
          password = std::move(password), verdict = std::move(verdict), respond = std::move(respond)]() mutable {
      if (--checking_[account] <= 0) checking_.erase(account);
      passwords_->Prime(password, stored, std::move(verdict));
      sodium_memzero(password.data(), password.size());
      FinishLogin(account, params_text, std::move(respond));
      passwords_->Clear();
    });
  };
  if (!checks_->Submit(std::move(job))) {
    if (--checking_[account] <= 0) checking_.erase(account);
    Answer(std::move(respond), Json(503, Envelope(Fail(503, "too many sign-ins at once; try again"))));
  }
}

void Service::NewPassword(const engine::Session& session, const std::string& params_text, Respond respond) {
  // argon2id on the engine's thread would hold every request of every user for a fifth of a
  // second, as often as any signed-in user cared to ask.
  auto job = [this, session, params_text, respond](bool run) mutable {
    if (!run) {
      return Post([this, respond = std::move(respond)]() mutable {
        Answer(std::move(respond), Json(503, Envelope(Fail(503, "the server is stopping"))));
      });
    }
    std::string password = internal::Str(internal::Parse(params_text), "password");
    std::string stored = passwords_->HashNow(password);
    Post([this, session, params_text = std::move(params_text), password = std::move(password),
          stored = std::move(stored), respond = std::move(respond)]() mutable {
      passwords_->PrimeHash(password, std::move(stored));
      sodium_memzero(password.data(), password.size());
      engine::Outcome out = engine_->Handle(&session, "auth.init_password", params_text);
      passwords_->Clear();
      changed_ = true;
      Answer(std::move(respond), Json(out.reply.code == 401 && !out.reply.ok ? 401 : 200, Envelope(out.reply)));
    });
  };
  if (!checks_->Submit(std::move(job)))
    Answer(std::move(respond), Json(503, Envelope(Fail(503, "too many requests at once; try again"))));
}

std::optional<std::string> Service::StoredForm(const std::string& params_text) {
  const json params = internal::Parse(params_text);
  const engine::State& state = engine_->state();
  const engine::TeamData* team = nullptr;
  // As the engine finds them: the team by its id, else by its subdomain; the user by name in it.
  for (const engine::TeamData& t : state.teams)
    if (!team && t.team.team_id() == internal::Str(params, "team_id")) team = &t;
  for (const engine::TeamData& t : state.teams)
    if (!team && t.team.team_subdomain() == internal::Str(params, "team_subdomain")) team = &t;
  if (!team) return std::nullopt;
  const std::string user_name = internal::Str(params, "username");
  for (const engine::Account& a : state.accounts)
    if (a.team_id == team->team.team_id() && a.user_name == user_name) return a.password_hash;
  return passwords_->Decoy();
}

void Service::FinishLogin(const std::string& account, const std::string& params_text, Respond respond) {
  engine::Outcome out = engine_->Handle(nullptr, "auth.login", params_text);
  if (!out.reply.ok || !out.signed_in) {
    if (out.reply.code == 8000) LoginFailed(account);
    return Answer(std::move(respond), Json(200, Envelope(out.reply)));
  }
  // The server's own token: 32 random bytes, kept only as a hash.
  const std::string token = NewToken();
  TokenRecord record{out.signed_in->team_id, out.signed_in->uid, out.signed_in->id,
                     clock_.Now() + options_.token_lifetime};
  if (!store_.PutToken(TokenHash(token), record))
    return Answer(std::move(respond), Json(503, Envelope(Fail(503, "the sign-in could not be stored"))));
  tokens_[TokenHash(token)] = record;
  changed_ = true;
  json body = internal::Parse(out.reply.body);
  body["token"]["access_token"] = token;
  body["token"]["refresh_token"] = "";
  body["token"]["expires_at"] = record.expires_at;
  // Where this session's events start: taken before its first fetch, so nothing falls between.
  body["seq"] = engine_->Head(record.team_id);
  out.reply.body = internal::Dump(body);
  return Answer(std::move(respond), Json(200, Envelope(out.reply)));
}

void Service::Events(const HttpRequest& request, Respond respond) {
  std::optional<engine::Session> session = Authenticate(request);
  if (!session) return Answer(std::move(respond), Json(401, Envelope(Fail(401, "sign in again"))));
  auto number = [&](const char* key, int64_t fallback) {
    auto it = request.query.find(key);
    if (it == request.query.end()) return fallback;
    try {
      return static_cast<int64_t>(std::stoll(it->second));
    } catch (...) {
      return int64_t{-1};
    }
  };
  const int64_t since = number("since", engine_->Head(session->team_id));
  const int64_t wait = std::clamp<int64_t>(number("wait", 0), 0, options_.longest_wait.count());
  if (since < 0) return Answer(std::move(respond), Json(400, Envelope(Fail(400, "since is a number"))));
  engine::Page page = engine_->Poll(*session, since, options_.events_per_page);
  if (!page.events.empty() || page.resync || page.more || wait == 0)
    return Answer(std::move(respond), Json(200, EventsPage(page)));
  // Nothing yet: it waits without a thread, for the next batch that tells it something.
  auto parked = std::make_shared<Parked>();
  parked->session = *session;
  parked->since = page.next;
  parked->deadline = Clock::now() + std::chrono::seconds(wait);
  parked->respond = std::move(respond);
  std::lock_guard<std::mutex> lock(mutex_);
  parked_[parked->session.team_id][parked->session.uid].push_back(std::move(parked));
}

void Service::WakePolls() {
  std::vector<std::string> teams;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [team, users] : parked_) teams.push_back(team);
  }
  // Each team's changes since its last wake-up name whom they concern; only their polls are
  // looked at, so a message costs its readers' polls, not every parked one.
  std::vector<std::shared_ptr<Parked>> concerned;
  for (const std::string& team : teams) {
    const int64_t head = engine_->Head(team);
    const auto last = woken_head_.find(team);
    const bool known = last != woken_head_.end();
    if (known && last->second >= head) continue;
    engine::Audience audience = known ? engine_->Concerned(team, last->second) : engine::Audience{.everyone = true};
    woken_head_[team] = head;
    std::sort(audience.uids.begin(), audience.uids.end());
    audience.uids.erase(std::unique(audience.uids.begin(), audience.uids.end()), audience.uids.end());
    std::lock_guard<std::mutex> lock(mutex_);
    auto users = parked_.find(team);
    if (users == parked_.end()) continue;
    if (audience.everyone) {
      for (const auto& [uid, polls] : users->second) concerned.insert(concerned.end(), polls.begin(), polls.end());
    } else {
      for (const std::string& uid : audience.uids)
        if (auto polls = users->second.find(uid); polls != users->second.end())
          concerned.insert(concerned.end(), polls->second.begin(), polls->second.end());
    }
  }
  for (const auto& p : concerned) {
    if (engine_->Head(p->session.team_id) <= p->since) continue;
    engine::Page page = engine_->Poll(p->session, p->since, options_.events_per_page);
    bool answer = !page.events.empty() || page.resync || page.more;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!answer) {
        p->since = page.next;
        continue;
      }
      if (!Unpark(p)) continue;  // the timer answered it meanwhile
    }
    p->respond(Json(200, EventsPage(page)));
  }
}

bool Service::Unpark(const std::shared_ptr<Parked>& parked) {
  auto users = parked_.find(parked->session.team_id);
  if (users == parked_.end()) return false;
  auto polls = users->second.find(parked->session.uid);
  if (polls == users->second.end()) return false;
  auto it = std::find(polls->second.begin(), polls->second.end(), parked);
  if (it == polls->second.end()) return false;
  polls->second.erase(it);
  if (polls->second.empty()) users->second.erase(polls);
  if (users->second.empty()) parked_.erase(users);
  return true;
}

void Service::File(const HttpRequest& request, Respond respond) {
  std::optional<engine::Session> session = Authenticate(request);
  if (!session) return Answer(std::move(respond), Json(401, Envelope(Fail(401, "sign in again"))));
  const bool files = request.path.rfind("/files/", 0) == 0;
  const std::string rest = request.path.substr(files ? 6 : 8);  // keeps the leading '/'
  const std::string url = std::string("https://") + (files ? "files" : "storage") + ".veltrina.demo" + rest;
  backend::Reply r = engine_->Download(&*session, url, options_.max_upload);
  if (!r.ok) return Answer(std::move(respond), Json(r.code == 413 ? 413 : 404, Envelope(r)));
  HttpResponse response;
  response.content_type = internal::Str(internal::Parse(r.body), "content_type");
  if (response.content_type.empty()) response.content_type = "application/octet-stream";
  response.body = std::move(r.data);
  response.headers.push_back({"Cache-Control", "private, max-age=3600"});
  Answer(std::move(respond), std::move(response));
}

}  // namespace veltrina::server
