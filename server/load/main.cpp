// veltrina-load: loads a veltrina-server with simulated users over the real protocol and
// measures delivery, latency, throughput and the server's memory and CPU.
//   veltrina-load --bench                  the standing scenarios (a server started for each)
//   veltrina-load --smoke                  a few seconds with a few users; fails unless clean
//   veltrina-load [--users N] [--active A] [--channel M] [--rate MSGS_PER_S] [--seconds S]
//                 [--ramp R1,R2,...] [--stop-p99-ms MS] [--name NAME]
//                 [--late N]  (the last N users sign in while the others send)
// Common: --server EXE (default: veltrina-server beside this program), --threads N (the server's),
//   --url http://HOST:PORT (repeatable; users are spread over them and no server is started: seed
//   their team first with `veltrina-server admin seed-load`), --team NAME, --password TEXT,
//   --pid PID (a server of --url to read memory and CPU of), --out FILE (JSON, one object per
//   scenario or step), --real-hashes (argon2id sign-ins as deployed instead of cheap test hashes),
//   --data-root DIR (where the started server's data folder goes; default /tmp).
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "load_run.h"
#include "server_process.h"
#include "stats.h"

namespace {

using namespace veltrina::load;

struct Scenario {
  std::string name;
  int users = 20, active = 20, channel = 10;
  std::vector<double> rates{2};  // messages per second in all; more than one: a ramp
  double seconds = 10;
  double p99_target_ms = 0, memory_target_mb = 0;
  double stop_p99_ms = 1000;  // a ramp ends at the first step past it
  int late = 0;               // users who sign in during the first step
  bool real_hashes = false;   // argon2id sign-ins as deployed
};

struct Common {
  std::string server_exe;
  std::vector<std::string> urls;
  std::string team = "load";
  std::string password = "load-password";
  int threads = 2;
  pid_t pid = -1;
  bool cheap_hashes = true;
  std::string out;
  std::string data_root = "/tmp";
};

void PrintHeader() {
  std::printf("%-22s %5s %5s %4s %7s %7s %8s %8s %5s %4s %4s %7s %7s %7s %8s %6s %7s %5s\n", "scenario", "users",
              "activ", "chan", "target", "msg/s", "expected", "seen", "lost", "dup", "ooo", "p50ms", "p90ms", "p99ms",
              "max ms", "errors", "peakMB", "cpu%");
}

void PrintRow(Figures& f) {
  const double cpu = f.server_cpu_seconds >= 0 && f.seconds > 0 ? 100.0 * f.server_cpu_seconds / f.seconds : -1;
  std::printf("%-22s %5d %5d %4d %7.0f %7.1f %8llu %8llu %5llu %4llu %4llu %7.1f %7.1f %7.1f %8.1f %6llu %7.1f %5.0f %s\n",
              f.name.c_str(), f.users, f.active, f.channel_size, f.target_rate,
              f.seconds > 0 ? static_cast<double>(f.sent) / f.seconds : 0.0, static_cast<unsigned long long>(f.expected),
              static_cast<unsigned long long>(f.delivered), static_cast<unsigned long long>(f.lost),
              static_cast<unsigned long long>(f.duplicated), static_cast<unsigned long long>(f.out_of_order),
              f.latency.Percentile(50), f.latency.Percentile(90), f.latency.Percentile(99), f.latency.Max(),
              static_cast<unsigned long long>(f.ErrorCount()), f.server_peak_rss_mb, cpu,
              f.Passed() ? "ok" : "FAIL");
  if (f.late_login.size() > 0)
    std::printf("    %zu sign-ins during the step: p50 %.0f ms, p99 %.0f ms, sending users' p99 above\n",
                f.late_login.size(), f.late_login.Percentile(50), f.late_login.Percentile(99));
  for (const auto& [kind, count] : f.errors)
    std::printf("    error %-40s %llu\n", kind.c_str(), static_cast<unsigned long long>(count));
  std::fflush(stdout);
}

// Runs one scenario (each rate of a ramp as a step) and appends its figures to `out`.
bool Run(const Scenario& s, const Common& c, nlohmann::json* out) {
  std::unique_ptr<ServerProcess> server;
  RunConfig config;
  config.team = c.team;
  config.password = c.password;
  config.users = s.users;
  config.active = s.active;
  config.channel_size = s.channel;
  config.late = s.late;
  config.urls = c.urls;
  pid_t pid = c.pid;
  if (config.urls.empty()) {
    server = std::make_unique<ServerProcess>(c.server_exe, c.team, s.users, s.channel, c.password, c.threads,
                                             c.cheap_hashes && !s.real_hashes, c.data_root);
    config.urls = {server->url()};
    pid = server->pid();
  }
  LoadRun run(config);
  Figures login;
  login.name = s.name;
  const bool connected = run.Connect(&login);
  if (!connected) {
    std::fprintf(stderr, "%s: %llu of %d users signed in\n", s.name.c_str(),
                 static_cast<unsigned long long>(login.logins), s.users);
    for (const auto& [kind, count] : login.errors)
      std::fprintf(stderr, "    %s: %llu\n", kind.c_str(), static_cast<unsigned long long>(count));
    if (server) std::fprintf(stderr, "%s\n", server->LogTail().c_str());
    return false;
  }
  bool all_passed = true;
  double held = 0;
  for (double rate : s.rates) {
    Figures f;
    f.name = s.rates.size() > 1 ? s.name + "@" + std::to_string(static_cast<int>(rate)) : s.name;
    f.users = s.users;
    f.active = s.active;
    f.channel_size = s.channel;
    f.servers = static_cast<int>(config.urls.size());
    f.p99_target_ms = s.p99_target_ms;
    f.memory_target_mb = s.memory_target_mb;
    f.logins = login.logins;
    f.login_seconds = login.login_seconds;
    f.errors = login.errors;
    login.errors.clear();
    const ProcFigures before = pid > 0 ? ReadProc(pid) : ProcFigures{};
    run.Step(rate, s.seconds, 5, &f);
    if (pid > 0) {
      const ProcFigures after = ReadProc(pid);
      f.server_cpu_seconds = after.cpu_seconds - before.cpu_seconds;
      f.server_rss_mb = after.rss_mb;
      f.server_peak_rss_mb = after.peak_rss_mb;
    }
    PrintRow(f);
    const double achieved = f.seconds > 0 ? static_cast<double>(f.sent) / f.seconds : 0;
    const bool held_step = f.lost == 0 && f.latency.Percentile(99) <= s.stop_p99_ms && achieved >= 0.9 * rate;
    nlohmann::json j = f.ToJson();
    if (s.rates.size() > 1) {
      j["held"] = held_step;
      if (held_step) held = std::max(held, achieved);
    } else {
      all_passed = all_passed && f.Passed();
    }
    out->push_back(j);
    if (s.rates.size() > 1 && !held_step) break;
  }
  if (s.rates.size() > 1) {
    std::printf("%-22s highest rate held (p99 <= %.0f ms, nothing lost): %.1f messages/s\n", s.name.c_str(),
                s.stop_p99_ms, held);
    out->push_back({{"scenario", s.name}, {"highest_rate_held_per_s", std::round(held * 10) / 10},
                    {"stop_p99_ms", s.stop_p99_ms}, {"users", s.users}, {"active_users", s.active},
                    {"channel_size", s.channel}});
  }
  return all_passed;
}

std::vector<Scenario> Bench() {
  Scenario a{.name = "a-200-active", .users = 200, .active = 200, .channel = 20, .rates = {20}, .seconds = 40,
             .p99_target_ms = 150};
  Scenario b{.name = "b-1000-connected", .users = 1000, .active = 200, .channel = 20, .rates = {20}, .seconds = 40,
             .p99_target_ms = 250, .memory_target_mb = 300};
  Scenario c{.name = "c-ramp", .users = 200, .active = 200, .channel = 20,
             .rates = {100, 250, 500, 750, 1000, 1250, 1500, 2000, 2500, 3000}, .seconds = 20};
  // 100 users keep talking while 100 others sign in with argon2id as deployed (0.2 s, 64 MiB each).
  Scenario d{.name = "d-signin-storm", .users = 200, .active = 100, .channel = 20, .rates = {50}, .seconds = 30,
             .p99_target_ms = 250, .late = 100, .real_hashes = true};
  return {a, b, c, d};
}

std::vector<double> Rates(const std::string& list) {
  std::vector<double> rates;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) rates.push_back(std::atof(item.c_str()));
  return rates;
}

int Usage() {
  std::fprintf(stderr,
               "usage: veltrina-load --bench | --smoke | [--users N] [--active A] [--channel M] [--rate R]\n"
               "         [--seconds S] [--ramp R1,R2,...] [--stop-p99-ms MS] [--name NAME] [--late N]\n"
               "       common: [--server EXE] [--threads N] [--url URL]... [--team NAME] [--password TEXT]\n"
               "               [--pid PID] [--out FILE] [--real-hashes] [--data-root DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Two sockets per active user and one per idle one: past the usual soft limit of 1,024.
  if (rlimit limit{}; getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  Common c;
  c.server_exe = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "veltrina-server").string();
  Scenario custom{.name = "custom"};
  std::vector<Scenario> scenarios;
  bool smoke = false, bench = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--bench") bench = true;
      else if (a == "--smoke") smoke = true;
      else if (a == "--users") custom.users = std::stoi(value());
      else if (a == "--active") custom.active = std::stoi(value());
      else if (a == "--channel") custom.channel = std::stoi(value());
      else if (a == "--rate") custom.rates = {std::stod(value())};
      else if (a == "--ramp") custom.rates = Rates(value());
      else if (a == "--seconds") custom.seconds = std::stod(value());
      else if (a == "--stop-p99-ms") custom.stop_p99_ms = std::stod(value());
      else if (a == "--name") custom.name = value();
      else if (a == "--late") custom.late = std::stoi(value());
      else if (a == "--server") c.server_exe = value();
      else if (a == "--threads") c.threads = std::stoi(value());
      else if (a == "--url") c.urls.push_back(value());
      else if (a == "--team") c.team = value();
      else if (a == "--password") c.password = value();
      else if (a == "--pid") c.pid = std::stoi(value());
      else if (a == "--out") c.out = value();
      else if (a == "--data-root") c.data_root = value();
      else if (a == "--real-hashes") c.cheap_hashes = false;
      else return Usage();
    } catch (const std::exception&) {
      return Usage();
    }
  }
  if (bench) {
    scenarios = Bench();
  } else if (smoke) {
    scenarios = {Scenario{.name = "smoke", .users = 30, .active = 10, .channel = 10, .rates = {20}, .seconds = 3}};
  } else {
    custom.active = std::min(custom.active, custom.users);
    scenarios = {custom};
  }
  nlohmann::json results = nlohmann::json::array();
  bool passed = true;
  PrintHeader();
  for (const Scenario& s : scenarios) {
    try {
      passed = Run(s, c, &results) && passed;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", s.name.c_str(), e.what());
      passed = false;
    }
  }
  if (!c.out.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(c.out).parent_path(), ec);
    std::ofstream(c.out) << results.dump(2) << "\n";
  }
  // The bench reports what it measured whatever it was; a smoke or custom run fails when not clean.
  return bench || passed ? 0 : 1;
}
