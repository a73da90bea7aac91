#include "load_run.h"

#include <algorithm>
#include <cinttypes>
#include <deque>
#include <cstdio>
#include <stdexcept>

#include "http_conn.h"

namespace veltrina::load {

namespace http = boost::beast::http;
using nlohmann::json;

namespace {

constexpr auto kApiTimeout = std::chrono::seconds(30);

struct Endpoint {
  tcp::endpoint address;
  std::string host;
};

Endpoint Resolve(asio::io_context& ioc, const std::string& url) {
  const std::string scheme = "http://";
  if (url.rfind(scheme, 0) != 0) throw std::runtime_error("not an http:// address: " + url);
  std::string rest = url.substr(scheme.size());
  rest = rest.substr(0, rest.find('/'));
  const size_t colon = rest.rfind(':');
  const std::string host = colon == std::string::npos ? rest : rest.substr(0, colon);
  const std::string port = colon == std::string::npos ? "80" : rest.substr(colon + 1);
  tcp::resolver resolver(ioc);
  auto results = resolver.resolve(host, port);
  if (results.empty()) throw std::runtime_error("cannot resolve " + url);
  return {results.begin()->endpoint(), rest};
}

// The envelope's body when it says ok; null otherwise, with `kind` telling why.
json OkBody(const std::string& error, int status, const std::string& text, const char* what, std::string* kind) {
  if (!error.empty()) {
    *kind = std::string(what) + ": " + error.substr(0, error.find(':'));
    return nullptr;
  }
  if (status != 200) {
    *kind = std::string(what) + ": HTTP " + std::to_string(status);
    return nullptr;
  }
  json envelope = json::parse(text, nullptr, false);
  if (!envelope.is_object() || !envelope.value("ok", false)) {
    *kind = std::string(what) + ": code " +
            (envelope.is_object() ? std::to_string(envelope.value("code", int64_t{-1})) : std::string("?"));
    return nullptr;
  }
  return envelope.contains("body") ? envelope["body"] : json::object();
}

}  // namespace

// One message: when it was meant to go, whether the server took it, who has seen it.
struct LoadRun::Sent {
  int64_t sent_us = 0;
  int step = 0;
  enum : uint8_t { kInFlight, kAccepted, kRefused } state = kInFlight;
  uint8_t seen_count = 0;
  uint64_t seen = 0;  // by the reader's place in the channel
};

struct LoadRun::User {
  size_t index = 0;
  std::string name, uid, token, channel;
  size_t first = 0, members = 0;  // the channel: users [first, first + members)
  bool active = false;
  int64_t since = 0;
  std::shared_ptr<HttpConn> poll, api;
  std::unique_ptr<asio::steady_timer> timer;       // sign-in retries, then the sends
  std::unique_ptr<asio::steady_timer> poll_timer;  // a failed poll's retry
  std::deque<int64_t> due;            // sends due, by when they were meant to go
  std::vector<uint32_t> last_seen;    // by the sender's place in the channel: the number seen last
};

LoadRun::LoadRun(RunConfig config) : config_(std::move(config)) {
  if (config_.channel_size < 2 || config_.channel_size > 64) throw std::runtime_error("channels hold 2 to 64 users");
  std::vector<Endpoint> endpoints;
  for (const std::string& url : config_.urls) endpoints.push_back(Resolve(ioc_, url));
  if (endpoints.empty()) throw std::runtime_error("no server to load");
  const size_t n = static_cast<size_t>(config_.users);
  early_ = n - static_cast<size_t>(std::clamp(config_.late, 0, config_.users));
  login_started_.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    auto u = std::make_unique<User>();
    u->index = i;
    const std::string digits = std::to_string(i);
    u->name = "u" + std::string(digits.size() < 5 ? 5 - digits.size() : 0, '0') + digits;
    u->first = i / static_cast<size_t>(config_.channel_size) * static_cast<size_t>(config_.channel_size);
    u->members = std::min(n, u->first + static_cast<size_t>(config_.channel_size)) - u->first;
    u->active = i < early_ && (i + 1) * static_cast<size_t>(config_.active) / early_ >
                                  i * static_cast<size_t>(config_.active) / early_;
    u->last_seen.assign(u->members, 0);
    const Endpoint& e = endpoints[i % endpoints.size()];
    // Twenty users per loopback address: the server's sign-in limit per address stays as it is.
    std::optional<asio::ip::address> local;
    if (e.address.address().is_loopback() && e.address.address().is_v4())
      local = asio::ip::make_address_v4(0x7F000000u + 2 + static_cast<uint32_t>(i / 20));
    u->poll = std::make_shared<HttpConn>(ioc_, e.address, e.host, local);
    u->api = std::make_shared<HttpConn>(ioc_, e.address, e.host, local);
    u->timer = std::make_unique<asio::steady_timer>(ioc_);
    u->poll_timer = std::make_unique<asio::steady_timer>(ioc_);
    users_.push_back(std::move(u));
  }
  sent_.resize(n);
}

LoadRun::~LoadRun() {
  // The last step's figures are gone by now: what the closing connections report is dropped.
  figures_ = nullptr;
  stopping_ = true;
  sending_ = false;
  for (auto& u : users_) {
    u->poll->Close();
    u->api->Close();
    u->timer->cancel();
    u->poll_timer->cancel();
  }
  ioc_.run_for(std::chrono::milliseconds(100));
}

int64_t LoadRun::NowUs() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - epoch_).count();
}

void LoadRun::Error(const std::string& kind) {
  if (figures_) ++figures_->errors[kind];
}

void LoadRun::RunUntil(const std::function<bool()>& done, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done() && std::chrono::steady_clock::now() < deadline) ioc_.run_for(std::chrono::milliseconds(5));
}

bool LoadRun::Connect(Figures* figures) {
  figures_ = figures;
  const auto start = std::chrono::steady_clock::now();
  limit_ = early_;
  for (int i = 0; i < config_.login_concurrency && next_login_ < limit_; ++i) Login(next_login_++, 0);
  RunUntil([&] { return signed_in_ + login_failed_ == early_; }, 300);
  figures->logins = signed_in_;
  figures->login_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return signed_in_ == early_;
}

void LoadRun::Login(size_t index, int attempt) {
  User& u = *users_[index];
  if (attempt == 0) login_started_[index] = NowUs();
  const json params{{"team_subdomain", config_.team}, {"username", u.name}, {"password", config_.password}};
  u.api->Request(http::verb::post, "/api/v1/auth.login", params.dump(), "", kApiTimeout,
                 [this, index, attempt](const std::string& error, int status, std::string text) {
                   std::string kind;
                   json body = OkBody(error, status, text, "login", &kind);
                   User& u = *users_[index];
                   if (stopping_) return;
                   if (body.is_null() || !body.contains("token")) {
                     Error(kind.empty() ? "login: no token" : kind);
                     if (attempt < 3) {
                       u.timer->expires_after(std::chrono::milliseconds(500 << attempt));
                       u.timer->async_wait([this, index, attempt](boost::system::error_code ec) {
                         if (!ec) Login(index, attempt + 1);
                       });
                       return;
                     }
                     ++login_failed_;
                     if (next_login_ < limit_) Login(next_login_++, 0);
                     return;
                   }
                   u.token = body["token"].value("access_token", "");
                   u.uid = body["user"].value("uid", "");
                   u.since = body.value("seq", int64_t{0});
                   FindChannel(index);
                 });
}

void LoadRun::FindChannel(size_t index) {
  User& u = *users_[index];
  u.api->Request(http::verb::post, "/api/v1/channels.list", "{}", u.token, kApiTimeout,
                 [this, index](const std::string& error, int status, std::string text) {
                   std::string kind;
                   json body = OkBody(error, status, text, "channels.list", &kind);
                   User& u = *users_[index];
                   if (stopping_) return;
                   const std::string name = "load-" + std::to_string(u.first / static_cast<size_t>(config_.channel_size));
                   if (body.is_object() && body["channels"].is_array())
                     for (const json& c : body["channels"])
                       if (c.value("channel_name", "") == name) u.channel = c.value("channel_id", "");
                   if (u.channel.empty()) {
                     Error(kind.empty() ? "channels.list: no load channel" : kind);
                     ++login_failed_;
                   } else {
                     ++signed_in_;
                     if (figures_ && index >= early_) figures_->late_login.Add(NowUs() - login_started_[index]);
                     // An idle user keeps only its poll's connection.
                     if (!u.active) u.api->Close();
                     Poll(index);
                   }
                   if (next_login_ < limit_) Login(next_login_++, 0);
                 });
}

void LoadRun::Poll(size_t index) {
  if (stopping_) return;
  User& u = *users_[index];
  const std::string target =
      "/api/v1/events?since=" + std::to_string(u.since) + "&wait=" + std::to_string(config_.poll_wait);
  u.poll->Request(http::verb::get, target, "", u.token, std::chrono::seconds(config_.poll_wait + 15),
                  [this, index](const std::string& error, int status, std::string text) {
                    User& u = *users_[index];
                    if (!error.empty() || status != 200) {
                      Error(error.empty() ? "poll: HTTP " + std::to_string(status)
                                          : "poll: " + error.substr(0, error.find(':')));
                      u.poll_timer->expires_after(std::chrono::milliseconds(200));
                      return u.poll_timer->async_wait([this, index](boost::system::error_code ec) {
                        if (!ec) Poll(index);
                      });
                    }
                    OnEvents(index, text);
                    Poll(index);
                  });
}

void LoadRun::OnEvents(size_t index, const std::string& text) {
  User& reader = *users_[index];
  const int64_t now = NowUs();
  // Pages are read by looking for the few fields that matter rather than parsed whole: at a
  // thousand messages a second the generator must stay cheaper than the server it loads. The
  // server writes JSON without spaces; the texts sent are ours.
  const size_t next = text.rfind("\"next\":");
  if (text.compare(0, 11, "{\"events\":[") != 0 || next == std::string::npos) return Error("poll: not a page");
  if (text.find("\"resync\":true", next) != std::string::npos) Error("poll: resync");
  reader.since = std::strtoll(text.c_str() + next + 7, nullptr, 10);
  static const std::string kMarker = "\"content\":\"vl ";
  for (size_t at = text.find(kMarker); at != std::string::npos && at < next; at = text.find(kMarker, at + 1)) {
    // "vl <sender> <number> <microseconds>"
    const char* p = text.c_str() + at + kMarker.size();
    char* end = nullptr;
    const unsigned long long sender = std::strtoull(p, &end, 10);
    if (end == p || *end != ' ') continue;
    p = end + 1;
    const unsigned long long seq = std::strtoull(p, &end, 10);
    if (end == p || *end != ' ') continue;
    Deliver(reader, static_cast<size_t>(sender), static_cast<uint32_t>(seq), now);
  }
}

void LoadRun::Deliver(User& reader, size_t sender, uint32_t seq, int64_t now_us) {
  if (!figures_) return;
  if (sender >= users_.size() || seq >= sent_[sender].size() || sender < reader.first ||
      sender >= reader.first + reader.members || sender == reader.index)
    return Error("delivery: not owed to this reader");
  Sent& s = sent_[sender][seq];
  const uint64_t bit = uint64_t{1} << (reader.index - reader.first);
  uint32_t& last = reader.last_seen[sender - reader.first];
  if (s.step != step_) {
    Error("delivery: after its step ended");
  } else if (s.seen & bit) {
    ++figures_->duplicated;
  } else {
    s.seen |= bit;
    ++s.seen_count;
    figures_->latency.Add(now_us - s.sent_us);
  }
  // Numbers start at 1 for every sender: one lower than the last seen came out of order.
  if (seq + 1 < last) ++figures_->out_of_order;
  last = std::max(last, seq + 1);
}

void LoadRun::Tick(size_t index) {
  User& u = *users_[index];
  if (!sending_) return;
  u.due.push_back(NowUs());
  if (!u.api->busy()) SendNext(index);
  u.timer->expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(interval_)));
  u.timer->async_wait([this, index](boost::system::error_code ec) {
    if (!ec) Tick(index);
  });
}

void LoadRun::SendNext(size_t index) {
  User& u = *users_[index];
  if (u.due.empty()) return;
  const int64_t due = u.due.front();
  u.due.pop_front();
  const uint32_t seq = static_cast<uint32_t>(sent_[index].size());
  sent_[index].push_back(Sent{.sent_us = due, .step = step_});
  const std::string content = "vl " + std::to_string(index) + " " + std::to_string(seq) + " " + std::to_string(due);
  const json params{{"message", {{"channel_id", u.channel}, {"content", content}}},
                    {"client_msg_id", "vl-" + std::to_string(index) + "-" + std::to_string(seq)}};
  ++sends_in_flight_;
  u.api->Request(http::verb::post, "/api/v1/messages.send", params.dump(), u.token, kApiTimeout,
                 [this, index, seq](const std::string& error, int status, std::string text) {
                   --sends_in_flight_;
                   std::string kind;
                   json body = OkBody(error, status, text, "send", &kind);
                   Sent& s = sent_[index][seq];
                   if (body.is_null()) {
                     s.state = Sent::kRefused;
                     Error(kind);
                   } else {
                     s.state = Sent::kAccepted;
                     if (figures_ && s.step == step_) figures_->send_latency.Add(NowUs() - s.sent_us);
                   }
                   if (sending_) SendNext(index);
                 });
}

void LoadRun::Step(double rate, double seconds, double drain, Figures* figures) {
  figures_ = figures;
  ++step_;
  figures->target_rate = rate;
  const size_t active = static_cast<size_t>(std::count_if(users_.begin(), users_.end(), [](auto& u) { return u->active; }));
  interval_ = rate > 0 ? static_cast<double>(active) / rate : 1e9;
  sending_ = true;
  std::uniform_real_distribution<double> phase(0, interval_);
  for (auto& u : users_) {
    if (!u->active || u->channel.empty()) continue;
    u->due.clear();
    u->timer->expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(phase(random_))));
    u->timer->async_wait([this, index = u->index](boost::system::error_code ec) {
      if (!ec) Tick(index);
    });
  }
  const auto start = std::chrono::steady_clock::now();
  // The late users' sign-ins start with the first step and go on while it runs.
  if (limit_ < users_.size()) {
    limit_ = users_.size();
    for (int i = 0; i < config_.login_concurrency && next_login_ < limit_; ++i) Login(next_login_++, 0);
  }
  RunUntil([] { return false; }, seconds);
  sending_ = false;
  for (auto& u : users_)
    if (u->active) {
      u->timer->cancel();
      u->due.clear();
    }
  figures->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // What was sent is owed to the channel's other members; wait for it, a while at most.
  auto owed = [&] {
    uint64_t expected = 0, seen = 0;
    for (size_t i = 0; i < users_.size(); ++i)
      for (const Sent& s : sent_[i])
        if (s.step == step_ && s.state != Sent::kRefused) {
          expected += users_[i]->members - 1;
          seen += s.seen_count;
        }
    return sends_in_flight_ == 0 && seen >= expected;
  };
  RunUntil(owed, drain);
  for (size_t i = 0; i < users_.size(); ++i)
    for (const Sent& s : sent_[i]) {
      if (s.step != step_) continue;
      if (s.state == Sent::kAccepted) {
        ++figures->sent;
        figures->expected += users_[i]->members - 1;
        figures->delivered += s.seen_count;
        figures->lost += users_[i]->members - 1 - s.seen_count;
      } else {
        if (s.state == Sent::kInFlight) Error("send: unanswered");
        figures->stray += s.seen_count;
      }
    }
}

}  // namespace veltrina::load
