// The real program with many parked polls at once: a house full of long-polls must not run out of
// descriptors when the soft limit it starts with is the common 1,024 or less.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "json_util.h"
#include "program_support.h"

namespace server_test {
namespace {

using veltrina::internal::json;

constexpr int kPolls = 1000;

// A connection with a request written on it; -1 when the connection failed.
int Open(uint16_t port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST(Capacity, AThousandParkedPollsAreServedUnderASmallDescriptorLimit) {
  if (!std::filesystem::exists("/usr/bin/prlimit")) GTEST_SKIP() << "prlimit is needed to start it with a low limit";
  rlimit own{};
  getrlimit(RLIMIT_NOFILE, &own);
  if (own.rlim_max < kPolls + 200 || own.rlim_max < 4096) GTEST_SKIP() << "the hard descriptor limit is too low here";
  own.rlim_cur = own.rlim_max;
  setrlimit(RLIMIT_NOFILE, &own);

  TempFolder data;
  // A soft limit of 512 as a service manager might leave it; the hard one allows far more.
  Program server("/usr/bin/prlimit",
                 {"--nofile=512:" + std::to_string(own.rlim_max), VELTRINA_SERVER_EXE, "--listen", "127.0.0.1:0",
                  "--data", data.path(), "--seed", "demo"},
                 {{"VELTRINA_CHEAP_HASHES", "1"}});
  const uint16_t port = server.WaitForPort();
  ASSERT_NE(port, 0) << server.Log();
  const std::string alice = SignIn(port, "alice").token;
  const Signed bob = SignIn(port, "bob");

  std::vector<int> polls;
  const std::string request = "GET /api/v1/events?since=" + std::to_string(bob.seq) +
                              "&wait=20 HTTP/1.1\r\nHost: test\r\nAuthorization: Bearer " + bob.token + "\r\n\r\n";
  for (int i = 0; i < kPolls; ++i) {
    const int fd = Open(port, request);
    ASSERT_GE(fd, 0) << "connection " << i;
    polls.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  // Sent on a connection of its own, read with a deadline: one left in the backlog must fail the
  // test, not hang it.
  const std::string body = json{{"message", {{"channel_id", "c-general"}, {"content", "to all"}}}}.dump();
  const int send = Open(port, "POST /api/v1/messages.send HTTP/1.1\r\nHost: test\r\nAuthorization: Bearer " + alice +
                                  "\r\nContent-Type: application/json\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
  ASSERT_GE(send, 0);
  pollfd sent{send, POLLIN, 0};
  char status[16] = {};
  const bool served = ::poll(&sent, 1, 5000) == 1 && read(send, status, sizeof status - 1) > 0;
  close(send);
  ASSERT_TRUE(served) << "a new connection is served while the polls wait";
  EXPECT_EQ(std::string(status).rfind("HTTP/1.1 200", 0), 0u) << status;

  // Every poll is answered with the message within a few seconds, long before its wait is over.
  std::vector<std::string> answers(polls.size());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  size_t done = 0;
  while (done < polls.size() && std::chrono::steady_clock::now() < deadline) {
    std::vector<pollfd> waiting;
    for (size_t i = 0; i < polls.size(); ++i)
      if (answers[i].find("to all") == std::string::npos) waiting.push_back({polls[i], POLLIN, 0});
    if (::poll(waiting.data(), waiting.size(), 100) <= 0) continue;
    for (const pollfd& p : waiting) {
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const size_t i = static_cast<size_t>(std::find(polls.begin(), polls.end(), p.fd) - polls.begin());
      char buffer[4096];
      const ssize_t n = read(p.fd, buffer, sizeof buffer);
      if (n > 0) answers[i].append(buffer, static_cast<size_t>(n));
      if (answers[i].find("to all") != std::string::npos || n <= 0) ++done;
    }
  }
  size_t answered = 0;
  for (const std::string& a : answers) answered += a.rfind("HTTP/1.1 200", 0) == 0 && a.find("to all") != std::string::npos;
  EXPECT_EQ(answered, polls.size()) << answers[0].substr(0, 600);
  for (int fd : polls) close(fd);
}

}  // namespace
}  // namespace server_test
