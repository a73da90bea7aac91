#pragma once
// The simulated users of one load run: they sign in to the servers given, learn their channel,
// long-poll their events, and the active ones send at a set rate. Each message says who sent it,
// its number and when (in its text and its client_msg_id), so every delivery can be checked and
// timed. One thread does it all, asynchronously: a thousand users hold sockets, not threads.
#include <boost/asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "stats.h"

namespace veltrina::load {

struct RunConfig {
  std::vector<std::string> urls;  // "http://HOST:PORT"; user i goes to urls[i % size]
  std::string team = "load";
  std::string password;
  int users = 0;
  int channel_size = 20;  // the seed's layout: users [k*size, (k+1)*size) are channel load-k
  int active = 0;         // how many of them send, spread evenly over the channels
  int poll_wait = 20;     // seconds a poll may wait on the server
  int login_concurrency = 32;
  // The last `late` users sign in while the first step runs instead of before (a sign-in storm);
  // none of them sends, and their channels hold only them.
  int late = 0;
};

class LoadRun {
 public:
  explicit LoadRun(RunConfig config);
  ~LoadRun();

  // Signs everyone in, finds their channels and starts their polls. False when someone could not
  // (the figures' errors say why).
  bool Connect(Figures* figures);
  // Sends `rate` messages per second in all for `seconds`, then waits up to `drain` seconds for
  // the deliveries still owed, and fills `figures`.
  void Step(double rate, double seconds, double drain, Figures* figures);

 private:
  struct User;
  struct Sent;
  void Login(size_t index, int attempt);
  void FindChannel(size_t index);
  void Poll(size_t index);
  void OnEvents(size_t index, const std::string& body);
  void Tick(size_t index);
  void SendNext(size_t index);
  void Deliver(User& reader, size_t sender, uint32_t seq, int64_t now_us);
  void Error(const std::string& kind);
  int64_t NowUs() const;
  void RunUntil(const std::function<bool()>& done, double seconds);

  RunConfig config_;
  boost::asio::io_context ioc_;
  std::vector<std::unique_ptr<User>> users_;
  std::vector<std::vector<Sent>> sent_;  // by sender, by number
  Figures* figures_ = nullptr;           // the step being measured
  int step_ = 0;
  bool sending_ = false;
  bool stopping_ = false;
  double interval_ = 0;  // seconds between one active user's messages
  size_t signed_in_ = 0, login_failed_ = 0, next_login_ = 0;
  size_t early_ = 0;  // users signed in by Connect
  size_t limit_ = 0;  // users whose sign-ins may start now
  std::vector<int64_t> login_started_;  // by user, when its sign-in began (microseconds)
  size_t sends_in_flight_ = 0;
  std::mt19937_64 random_{12345};
  std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
};

}  // namespace veltrina::load
