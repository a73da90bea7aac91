#pragma once
// What one scenario (or one step of a ramp) measured, and how it is written out.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace veltrina::load {

// Latencies in microseconds; percentiles by sorting once at the end.
class Latencies {
 public:
  void Add(int64_t us) { values_.push_back(us < 0 ? 0 : us); }
  size_t size() const { return values_.size(); }
  // In milliseconds; 0 when there is none.
  double Percentile(double p);
  double Max();

 private:
  std::vector<int64_t> values_;
  bool sorted_ = true;
};

struct Figures {
  std::string name;
  int users = 0, active = 0, channel_size = 0, servers = 1;
  double target_rate = 0;  // messages per second asked for, over all active users
  double seconds = 0;      // how long messages were sent
  uint64_t sent = 0;       // sends the server accepted
  uint64_t expected = 0;   // deliveries those owe: each channel member but the sender
  uint64_t delivered = 0;  // distinct deliveries seen
  uint64_t lost = 0, duplicated = 0, out_of_order = 0;
  uint64_t stray = 0;      // deliveries of sends the server refused or never answered
  Latencies latency;       // send to delivery
  Latencies send_latency;  // send to the server's answer
  Latencies late_login;    // sign-ins made during the step: request to channel list
  std::map<std::string, uint64_t> errors;  // by kind
  uint64_t logins = 0;
  double login_seconds = 0;  // how long signing everyone in took
  double server_cpu_seconds = -1, server_rss_mb = -1, server_peak_rss_mb = -1;  // -1: not measured
  // Targets; 0: none.
  double p99_target_ms = 0, memory_target_mb = 0;

  uint64_t ErrorCount() const;
  bool Passed();
  nlohmann::json ToJson();
};

}  // namespace veltrina::load
