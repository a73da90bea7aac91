#include "pg_cluster.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace server_test {
namespace {

std::string BinDir() {
  if (const char* dir = std::getenv("VELTRINA_PG_BIN"))
    return std::filesystem::exists(std::string(dir) + "/initdb") ? std::string(dir) : std::string();
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
    if (std::filesystem::exists(entry.path() / "bin/initdb")) found.push_back(entry.path() / "bin");
  std::sort(found.begin(), found.end());
  return found.empty() ? std::string() : found.back();
}

// Runs `argv` (as `nobody` when we are root) and waits; its output goes to `log`.
int Run(std::vector<std::string> argv, const std::string& log) {
  if (geteuid() == 0) argv.insert(argv.begin(), {"runuser", "-u", "nobody", "--"});
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (FILE* out = std::freopen(log.c_str(), "a", stdout)) dup2(fileno(out), 2);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

class Cluster {
 public:
  ~Cluster() { Stop(); }

  std::string Start() {
    const std::string bin = BinDir();
    if (bin.empty()) return "PostgreSQL's programs (initdb, pg_ctl) are not installed (tools/setup.sh installs them)";
    std::string pattern = (std::filesystem::temp_directory_path() / "veltrina-pg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return "cannot make a folder for PostgreSQL";
    folder_ = pattern;
    if (geteuid() == 0) {
      const passwd* nobody = getpwnam("nobody");
      if (!nobody || chown(folder_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
        return "cannot hand " + folder_ + " to nobody";
    }
    const std::string log = folder_ + "/log";
    port_ = FreePort();
    if (Run({bin + "/initdb", "-D", folder_ + "/data", "-U", "veltrina", "--auth=trust", "-E", "UTF8", "--no-sync",
             "--no-locale"},
            "/dev/null") != 0)
      return "initdb failed in " + folder_;
    // fsync off: the tests' crashes are process deaths, which PostgreSQL survives without it.
    const std::string options = "-k " + folder_ + " -p " + std::to_string(port_) +
                                " -c listen_addresses= -c fsync=off -c max_connections=60";
    if (Run({bin + "/pg_ctl", "-D", folder_ + "/data", "-o", options, "-l", log, "-w", "-t", "30", "start"},
            "/dev/null") != 0)
      return "PostgreSQL did not start (see " + log + ")";
    started_ = true;
    bin_ = bin;
    StartReaper();
    return {};
  }

  // A child that outlives a test program that crashes: it waits for the end of a pipe only the
  // program holds, then stops the cluster and removes its folder (a clean end does both first).
  void StartReaper() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
      close(ends[1]);
      char byte;
      while (read(ends[0], &byte, 1) < 0 && errno == EINTR) {
      }
      if (std::filesystem::exists(folder_ + "/data/postmaster.pid"))
        Run({bin_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "immediate", "-w", "stop"}, "/dev/null");
      std::error_code ec;
      std::filesystem::remove_all(folder_, ec);
      _exit(0);
    }
    close(ends[0]);
    if (pid > 0) {
      reaper_ = pid;
      reaper_pipe_ = ends[1];
      // Closed on exec: the servers the tests start must not hold it open.
    } else {
      close(ends[1]);
    }
  }

  void Stop() {
    if (started_)
      Run({bin_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "immediate", "-w", "stop"}, "/dev/null");
    started_ = false;
    if (!folder_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(folder_, ec);
      folder_.clear();
    }
    if (reaper_pipe_ >= 0) close(reaper_pipe_);
    reaper_pipe_ = -1;
    if (reaper_ > 0) waitpid(reaper_, nullptr, 0);
    reaper_ = -1;
  }

  std::string Address(const std::string& database) const {
    return "postgresql://veltrina@/" + database + "?host=" + folder_ + "&port=" + std::to_string(port_);
  }

 private:
  std::string folder_, bin_;
  int port_ = 0;
  bool started_ = false;
  pid_t reaper_ = -1;
  int reaper_pipe_ = -1;
};

std::mutex g_mutex;
Cluster* g_cluster = nullptr;
std::string g_why;
bool g_tried = false;

// Stops the cluster when the test program ends (and only if one was started).
class StopAtEnd : public ::testing::Environment {
 public:
  void TearDown() override {
    std::lock_guard<std::mutex> lock(g_mutex);
    delete g_cluster;
    g_cluster = nullptr;
  }
};
[[maybe_unused]] ::testing::Environment* const g_stop = ::testing::AddGlobalTestEnvironment(new StopAtEnd);

}  // namespace

std::string PgUnavailable() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_tried) {
    g_tried = true;
    auto cluster = std::make_unique<Cluster>();
    g_why = cluster->Start();
    if (g_why.empty()) g_cluster = cluster.release();
  }
  return g_cluster ? std::string() : g_why;
}

bool PgExec(const std::string& conninfo, const std::string& sql, std::string* value, std::string* error) {
  PGconn* conn = PQconnectdb(conninfo.c_str());
  bool ok = PQstatus(conn) == CONNECTION_OK;
  if (ok) {
    PGresult* r = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (ok && value) *value = PQntuples(r) > 0 && PQnfields(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    PQclear(r);
  }
  if (!ok && error) *error = PQerrorMessage(conn);
  PQfinish(conn);
  return ok;
}

std::string PgNewDatabase() {
  static std::atomic<int> counter{0};
  if (!PgUnavailable().empty()) return {};
  const std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  std::string error;
  const std::string admin = g_cluster->Address("postgres");
  if (!PgExec(admin, "CREATE DATABASE " + name, nullptr, &error)) {
    ADD_FAILURE() << "cannot make a database: " << error;
    return {};
  }
  return g_cluster->Address(name);
}

}  // namespace server_test
