#pragma once
// A veltrina-server the load generator starts for itself: a fresh data folder seeded with the
// load team, the server on a free loopback port, its log in the folder, and what /proc tells of
// its memory and CPU.
#include <sys/types.h>

#include <string>

namespace veltrina::load {

struct ProcFigures {
  double rss_mb = 0;       // VmRSS
  double peak_rss_mb = 0;  // VmHWM: the most it ever held
  double cpu_seconds = 0;  // utime + stime
};

// Zeros when the process is gone.
ProcFigures ReadProc(pid_t pid);

class ServerProcess {
 public:
  // Seeds `users` members in channels of `channel_size` into a new folder under `root` and starts
  // `exe` there with `threads` I/O threads. Throws std::runtime_error when either fails. The seed
  // always hashes cheaply; a server without `cheap_hashes` then upgrades each password to argon2id
  // at its first sign-in, which costs what a sign-in costs in earnest.
  ServerProcess(const std::string& exe, const std::string& team, int users, int channel_size,
                const std::string& password, int threads, bool cheap_hashes, const std::string& root);
  ~ServerProcess();  // stops it (SIGTERM, then SIGKILL) and removes the folder
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& url() const { return url_; }
  // The last lines of its log, for a report of why it failed.
  std::string LogTail() const;

 private:
  std::string folder_;
  pid_t pid_ = -1;
  std::string url_;
};

}  // namespace veltrina::load
