#include "server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace veltrina::load {

namespace {

// Runs `argv` with `stdin_text` on its standard input and its standard error appended to `log`;
// returns its pid (the caller waits) or throws.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& log, bool cheap_hashes,
            const std::string& stdin_text) {
  int in[2];
  if (pipe(in) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], 0);
    close(in[0]);
    close(in[1]);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    if (cheap_hashes) setenv("VELTRINA_CHEAP_HASHES", "1", 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  const std::string line = stdin_text + "\n";
  if (write(in[1], line.data(), line.size()) < 0) {
    // The child reads nothing then: its own failure says why.
  }
  close(in[1]);
  return pid;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

ProcFigures ReadProc(pid_t pid) {
  ProcFigures f;
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    auto kb = [&](const char* key, double* out) {
      if (line.rfind(key, 0) == 0) *out = std::atof(line.c_str() + std::string(key).size()) / 1024.0;
    };
    kb("VmRSS:", &f.rss_mb);
    kb("VmHWM:", &f.peak_rss_mb);
  }
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  // The name in parentheses may hold spaces: count fields after its closing one.
  if (const size_t close = stat.rfind(')'); close != std::string::npos) {
    std::istringstream rest(stat.substr(close + 2));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    // Fields 14 and 15 of stat (utime, stime) are the 12th and 13th after the name.
    if (fields.size() > 12)
      f.cpu_seconds = (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) /
                      static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return f;
}

ServerProcess::ServerProcess(const std::string& exe, const std::string& team, int users, int channel_size,
                             const std::string& password, int threads, bool cheap_hashes, const std::string& root) {
  std::string folder = root + "/veltrina-load-XXXXXX";
  if (!mkdtemp(folder.data())) throw std::runtime_error("cannot make a data folder under " + root);
  folder_ = folder;
  const std::string log = folder_ + "/server.log";
  const pid_t seeder = Spawn({exe, "admin", "--data", folder_ + "/data", "seed-load", team, std::to_string(users),
                              std::to_string(channel_size)},
                             log, true, password);
  int status = 0;
  waitpid(seeder, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("seeding the load team failed:\n" + LogTail());
  pid_ = Spawn({exe, "--listen", "127.0.0.1:0", "--data", folder_ + "/data", "--threads", std::to_string(threads)},
               log, cheap_hashes, "");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = ReadFile(log);
    if (const size_t at = text.find(" serves "); at != std::string::npos) {
      const size_t end = text.find('\n', at);
      if (end != std::string::npos) {
        const std::string line = text.substr(at, end - at);
        url_ = "http://127.0.0.1:" + line.substr(line.rfind(':') + 1);
        return;
      }
    }
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("the server did not start:\n" + LogTail());
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
  }
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string ServerProcess::LogTail() const {
  const std::string text = ReadFile(folder_ + "/server.log");
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

}  // namespace veltrina::load
