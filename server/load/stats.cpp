#include "stats.h"

#include <algorithm>
#include <cmath>

namespace veltrina::load {

double Latencies::Percentile(double p) {
  if (values_.empty()) return 0;
  std::sort(values_.begin(), values_.end());
  const size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values_.size())));
  return static_cast<double>(values_[std::clamp<size_t>(rank, 1, values_.size()) - 1]) / 1000.0;
}

double Latencies::Max() { return values_.empty() ? 0 : static_cast<double>(*std::max_element(values_.begin(), values_.end())) / 1000.0; }

uint64_t Figures::ErrorCount() const {
  uint64_t n = 0;
  for (const auto& [kind, count] : errors) n += count;
  return n;
}

bool Figures::Passed() {
  if (lost || duplicated || out_of_order || ErrorCount() || sent == 0) return false;
  if (p99_target_ms > 0 && latency.Percentile(99) >= p99_target_ms) return false;
  if (memory_target_mb > 0 && server_peak_rss_mb >= memory_target_mb) return false;
  return true;
}

nlohmann::json Figures::ToJson() {
  auto round = [](double v) { return std::round(v * 100) / 100; };
  nlohmann::json j{{"scenario", name},
                   {"users", users},
                   {"active_users", active},
                   {"channel_size", channel_size},
                   {"servers", servers},
                   {"target_rate_per_s", round(target_rate)},
                   {"seconds", round(seconds)},
                   {"sent", sent},
                   {"rate_per_s", round(seconds > 0 ? static_cast<double>(sent) / seconds : 0)},
                   {"deliveries_expected", expected},
                   {"deliveries_seen", delivered},
                   {"lost", lost},
                   {"duplicated", duplicated},
                   {"out_of_order", out_of_order},
                   {"stray", stray},
                   {"latency_ms",
                    {{"p50", round(latency.Percentile(50))},
                     {"p90", round(latency.Percentile(90))},
                     {"p99", round(latency.Percentile(99))},
                     {"max", round(latency.Max())}}},
                   {"send_answer_ms", {{"p50", round(send_latency.Percentile(50))}, {"p99", round(send_latency.Percentile(99))}}},
                   {"errors", errors},
                   {"signins_during_step", late_login.size()},
                   {"signin_during_step_ms", {{"p50", round(late_login.Percentile(50))}, {"p99", round(late_login.Percentile(99))}}},
                   {"logins", logins},
                   {"login_seconds", round(login_seconds)}};
  if (server_cpu_seconds >= 0)
    j["server"] = {{"cpu_seconds", round(server_cpu_seconds)},
                   {"cpu_percent", round(seconds > 0 ? 100.0 * server_cpu_seconds / seconds : 0)},
                   {"rss_mb", round(server_rss_mb)},
                   {"peak_rss_mb", round(server_peak_rss_mb)}};
  if (p99_target_ms > 0) j["p99_target_ms"] = p99_target_ms;
  if (memory_target_mb > 0) j["memory_target_mb"] = memory_target_mb;
  j["passed"] = Passed();
  return j;
}

}  // namespace veltrina::load
