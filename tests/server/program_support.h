#pragma once
// The real veltrina-server as a child process, and a small blocking HTTP client for it.
#include <sys/types.h>

#include <cstdint>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace server_test {

struct HttpResult {
  int status = 0;  // 0: no answer (refused, reset or timed out)
  std::string body;
};

// One request on a connection of its own.
HttpResult Http(uint16_t port, const std::string& method, const std::string& target, const std::string& body = "",
                const std::string& token = "", std::chrono::seconds timeout = std::chrono::seconds(30));

// Fast password hashes, for a server whose sign-ins a test waits for.
extern const std::map<std::string, std::string> kCheap;

struct Signed {
  std::string token;  // empty when the sign-in failed (a test failure is added)
  int64_t seq = 0;    // where its events start
};
Signed SignIn(uint16_t port, const std::string& user, const std::string& password = "veltrina",
              const std::string& team = "t-demo");
// A messages.send body for #general.
std::string Send(const std::string& text, const std::string& client_id);
// The texts of #general's latest messages, oldest first.
std::vector<std::string> History(uint16_t port, const std::string& token);

class Program {
 public:
  // Starts `exe` with `args` (and `env` added), its standard error collected; `stdin_text` is
  // written to its standard input, which is then closed.
  Program(const std::string& exe, const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
          const std::string& stdin_text = "");
  ~Program();  // kills it if it still runs
  // The port from its "serves ... on ADDRESS:PORT" line; 0 when it did not come within the time.
  uint16_t WaitForPort(std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
  // Its exit code (128 + signal when a signal ended it); -1 when it did not end within the time.
  int Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
  void Signal(int signal);
  std::string Log();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool ended_ = false;
  std::mutex mutex_;
  std::string log_;
  std::thread reader_;
};

// A folder of its own under the test's temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace server_test
