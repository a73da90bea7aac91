// veltrina-server: serves teams over HTTP from a data folder, or from PostgreSQL (--database),
// where several processes may serve the same teams (they share --data for the uploaded files).
//   veltrina-server --listen 127.0.0.1:8080 --data DIR [--database postgresql://...] [--seed demo|large]
//                   [--threads N] [--max-upload BYTES] [--kept-changes N]
//   veltrina-server admin --data DIR add-team SUBDOMAIN [NAME]
//   veltrina-server admin --data DIR add-user SUBDOMAIN USER [--display NAME] [--admin]
//   veltrina-server admin --data DIR set-password SUBDOMAIN USER
//   veltrina-server admin --data DIR list
//   veltrina-server admin --data DIR seed-load SUBDOMAIN USERS CHANNEL_SIZE   (a team for veltrina-load)
// Every admin command takes --database too. Passwords are read from the first line of standard
// input, never from the command line.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "http.h"
#include "load_seed.h"
#include "pg_store.h"
#include "service.h"
#include "sodium_ports.h"
#include "sqlite_store.h"
#include "veltrina/engine/state.h"

namespace {

using namespace veltrina;

void Log(const std::string& line) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  std::fprintf(stderr, "%s %s\n", stamp, line.c_str());
}

int Usage() {
  std::fprintf(stderr,
               "usage: veltrina-server --listen ADDRESS:PORT --data DIR [--database postgresql://...]\n"
               "                       [--seed demo|large] [--threads N] [--max-upload BYTES] [--kept-changes N]\n"
               "       veltrina-server admin --data DIR add-team SUBDOMAIN [NAME]\n"
               "       veltrina-server admin --data DIR add-user SUBDOMAIN USER [--display NAME] [--admin]\n"
               "       veltrina-server admin --data DIR set-password SUBDOMAIN USER\n"
               "       veltrina-server admin --data DIR list\n"
               "       veltrina-server admin --data DIR seed-load SUBDOMAIN USERS CHANNEL_SIZE\n"
               "Admin commands take --database as well. Passwords are read from the first line of standard input.\n");
  return 2;
}

struct Args {
  std::string listen = "127.0.0.1:8080";
  std::string data;
  std::string database;  // a PostgreSQL address; empty: SQLite in the data folder
  std::string seed;
  int threads = 2;
  uint64_t max_upload = 100ull << 20;
  // Changes kept per team: a client away for fewer catches up from them, one away longer fetches
  // its lists again.
  size_t kept_changes = 20000;
  std::vector<std::string> rest;  // the admin command and its words
  std::string display;
  bool admin_role = false;
};

bool ParseArgs(int argc, char** argv, int first, Args* args) {
  for (int i = first; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string number;
    if (a == "--listen") {
      if (!value(&args->listen)) return false;
    } else if (a == "--data") {
      if (!value(&args->data)) return false;
    } else if (a == "--database") {
      if (!value(&args->database) ||
          (args->database.rfind("postgresql://", 0) != 0 && args->database.rfind("postgres://", 0) != 0))
        return false;
    } else if (a == "--seed") {
      if (!value(&args->seed) || (args->seed != "demo" && args->seed != "large")) return false;
    } else if (a == "--threads") {
      if (!value(&number)) return false;
      args->threads = std::atoi(number.c_str());
      if (args->threads < 1 || args->threads > 64) return false;
    } else if (a == "--max-upload") {
      if (!value(&number)) return false;
      args->max_upload = std::strtoull(number.c_str(), nullptr, 10);
      if (args->max_upload == 0) return false;
    } else if (a == "--kept-changes") {
      if (!value(&number)) return false;
      const long long kept = std::atoll(number.c_str());
      if (kept < 1 || kept > 10'000'000) return false;
      args->kept_changes = static_cast<size_t>(kept);
    } else if (a == "--display") {
      if (!value(&args->display)) return false;
    } else if (a == "--admin") {
      args->admin_role = true;
    } else if (a.rfind("--", 0) == 0) {
      return false;
    } else {
      args->rest.push_back(a);
    }
  }
  return !args->data.empty();
}

// Everything a server or an admin command holds on a data folder.
class DataFolder {
 public:
  explicit DataFolder(const Args& args) : args_(args) {}

  // Takes the folder's lock (one process at a time) and opens the store. Empty, or why not.
  std::string Open(bool cheap_hashes) {
    std::error_code ec;
    std::filesystem::create_directories(args_.data + "/files", ec);
    std::filesystem::create_directories(args_.data + "/tmp", ec);
    if (ec) return "cannot make " + args_.data + ": " + ec.message();
    std::string error;
    if (!args_.database.empty()) {
      // Processes on one database share the folder for files; the database orders their writes.
      auto store = server::PgStore::Open(args_.database, &error);
      if (!store) return error;
      pg_pid_ = store->BackendPid();
      store_ = std::move(store);
    } else {
      lock_ = ::open((args_.data + "/server.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (lock_ < 0 || flock(lock_, LOCK_EX | LOCK_NB) != 0)
        return "another veltrina-server (or admin command) uses " + args_.data + "; stop it first";
      store_ = server::SqliteStore::Open(args_.data + "/veltrina.db", &error);
      if (!store_) return error;
    }
    store_->SetLog(Log);  // why a write failed (a full disk, say) belongs in the log beside the refusal
    blobs_ = std::make_unique<server::DiskBlobs>(args_.data + "/files");
    passwords_ = std::make_unique<server::Argon2Passwords>(cheap_hashes);
    checked_ = std::make_unique<server::CheckedPasswords>(*passwords_);
    return {};
  }

  std::unique_ptr<engine::Engine> MakeEngine() {
    engine::Ports ports{.clock = &clock_,
                        .random = &random_,
                        .passwords = checked_.get(),
                        .store = store_.get(),
                        .blobs = blobs_.get(),
                        .log = Log};
    engine::Options options;
    options.seed_demo = !args_.seed.empty();
    options.large_team = args_.seed == "large";
    options.kept_changes = args_.kept_changes;
    return std::make_unique<engine::Engine>(std::move(ports), std::move(options));
  }

  server::ServerStore& store() { return *store_; }
  // The store's PostgreSQL server process (0 on SQLite).
  int pg_pid() const { return pg_pid_; }
  engine::Clock& clock() { return clock_; }
  server::CheckedPasswords& passwords() { return *checked_; }

 private:
  const Args& args_;
  int lock_ = -1;  // held until the process ends
  server::SystemClock clock_;
  server::SodiumRandom random_;
  std::unique_ptr<server::ServerStore> store_;
  int pg_pid_ = 0;
  std::unique_ptr<server::DiskBlobs> blobs_;
  std::unique_ptr<server::Argon2Passwords> passwords_;
  std::unique_ptr<server::CheckedPasswords> checked_;  // the engine's port: sign-ins checked off its thread
};

std::string ReadPassword() {
  std::string line;
  std::getline(std::cin, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

int Admin(const Args& args) {
  if (args.rest.size() < 2) return Usage();
  const std::string& command = args.rest[1];
  DataFolder folder(args);
  // A load team for a server run with cheap hashes is hashed the same way (its sign-ins then need
  // no upgrade); every other command always hashes in earnest.
  const bool cheap = command == "seed-load" && std::getenv("VELTRINA_CHEAP_HASHES") != nullptr;
  if (std::string error = folder.Open(cheap); !error.empty()) {
    Log(error);
    return 1;
  }
  std::unique_ptr<engine::Engine> engine = folder.MakeEngine();
  std::string refused;
  if (command == "add-team" && (args.rest.size() == 3 || args.rest.size() == 4)) {
    refused = engine->AddTeam(args.rest[2], args.rest.size() == 4 ? args.rest[3] : "");
  } else if (command == "add-user" && args.rest.size() == 4) {
    refused = engine->AddUser(args.rest[2], args.rest[3], args.display, ReadPassword(), args.admin_role);
  } else if (command == "set-password" && args.rest.size() == 4) {
    refused = engine->SetPassword(args.rest[2], args.rest[3], ReadPassword());
  } else if (command == "seed-load" && args.rest.size() == 5) {
    refused = server::SeedLoadTeam(*engine, args.rest[2], std::atoi(args.rest[3].c_str()),
                                   std::atoi(args.rest[4].c_str()), ReadPassword());
  } else if (command == "list" && args.rest.size() == 2) {
    for (const engine::TeamData& t : engine->state().teams) {
      std::printf("%s\t%s\t%zu members\n", t.team.team_subdomain().c_str(), t.team.team_name().c_str(),
                  t.users.size());
      for (const engine::Account& a : engine->state().accounts)
        if (a.team_id == t.team.team_id()) std::printf("  %s\t%s\n", a.user_name.c_str(), a.uid.c_str());
    }
  } else {
    return Usage();
  }
  if (!folder.store().EndBatch()) refused = "the change could not be stored";
  if (!refused.empty()) {
    Log(command + ": " + refused);
    return 1;
  }
  return 0;
}

// Every parked poll holds a socket: the soft limit on descriptors (often 1,024) is raised to the
// hard one, and connections are capped below what is left, so that a full house is refused at the
// door instead of leaving accept() failing while clients wait in the backlog.
size_t RaiseDescriptorLimit(size_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  // Room for the database, uploads being written and the log.
  constexpr rlim_t kReserved = 64;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > wanted + kReserved) return wanted;
  return limit.rlim_cur > 2 * kReserved ? static_cast<size_t>(limit.rlim_cur - kReserved) : 16;
}

int Serve(const Args& args) {
  const size_t colon = args.listen.rfind(':');
  if (colon == std::string::npos) return Usage();
  const std::string address = args.listen.substr(0, colon);
  const int port = std::atoi(args.listen.substr(colon + 1).c_str());
  if (port < 0 || port > 65535) return Usage();

  // SIGTERM and SIGINT are waited for by one thread; every other thread leaves them blocked.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  DataFolder folder(args);
  if (std::string error = folder.Open(std::getenv("VELTRINA_CHEAP_HASHES") != nullptr); !error.empty()) {
    Log(error);
    return 1;
  }
  server::ServiceOptions options;
  options.max_upload = args.max_upload;
#ifdef VELTRINA_CRASH_HOOKS
  if (const char* point = std::getenv("VELTRINA_CRASH_POINT")) options.crash_point = point;
#endif
  std::unique_ptr<server::Service> service;
  try {
    service = std::make_unique<server::Service>([&] { return folder.MakeEngine(); }, folder.store(), folder.clock(),
                                                options, Log, &folder.passwords());
  } catch (const std::exception& e) {
    Log(std::string("cannot start: ") + e.what());
    return 1;
  }
  std::unique_ptr<server::HttpServer> http;
  try {
    server::HttpLimits limits;
    limits.max_upload = args.max_upload;
    limits.max_connections = RaiseDescriptorLimit(limits.max_connections);
    http = std::make_unique<server::HttpServer>(address, static_cast<uint16_t>(port), *service, limits,
                                                args.data + "/tmp", Log);
  } catch (const std::exception& e) {
    Log(std::string("cannot listen on ") + args.listen + ": " + e.what());
    return 1;
  }
  // Other processes on the same database: catch up when one commits (and every second anyway).
  std::unique_ptr<server::PgWatcher> watcher;
  if (!args.database.empty())
    watcher = std::make_unique<server::PgWatcher>(args.database, folder.pg_pid(), std::chrono::milliseconds(1000),
                                                  [&] { service->Refresh(); }, Log);
  Log("veltrina-server serves " + (args.database.empty() ? args.data : "a PostgreSQL database") + " on " + address + ":" + std::to_string(http->port()));
  std::thread waiter([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    Log(std::string("stopping (") + (signal_number == SIGTERM ? "SIGTERM" : "SIGINT") + ")");
    service->Stop();
    http->Stop(std::chrono::seconds(5));
  });
  http->Run(args.threads);
  // Run can only return after Stop: the waiter is done or finishing.
  waiter.join();
  watcher.reset();
  service.reset();
  Log("stopped");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  const bool admin = argc > 1 && std::string(argv[1]) == "admin";
  if (!ParseArgs(argc, argv, 1, &args)) return Usage();
  if (admin) return Admin(args);
  if (!args.rest.empty()) return Usage();
  return Serve(args);
}
