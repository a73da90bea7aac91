// Outside in: a clean exit. Exiting from the tray right after signing in to a large team ends the process while the
// core's threads, the demo service and the picture downloads are busy: it must still end by itself, soon, with exit
// code 0 and without a fault. A fault at exit kills no window the user sees, so only the exit code and Wine's error
// channel of the client (its standard error, in the client's log) tell.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "smoke_steps.h"
#include "smoke_user.h"

namespace smoke {
namespace {

constexpr int kRuns = 20;
constexpr DWORD kEndMs = 8000;  // the client waits up to 2 s for its core; the rest is a loaded machine's margin

class CleanExit : public ::testing::Test {
  void SetUp() override {
    ForgetEverything();
    std::filesystem::create_directories(std::filesystem::path(DataFolder()));
    // The large team, and the demo's life ticking fast: plenty of pictures to fetch and events in flight.
    std::ofstream(std::filesystem::path(DataFolder() + L"\\demo-config.json"))
        << R"({"team_size": "large", "life_interval_ms": 250})";
  }
  void TearDown() override { ForgetEverything(); }
};

// The first line of the client's standard error that tells of a fault (Wine's err channel or the C++ runtime), or "".
std::string FaultIn(const std::wstring& log_path) {
  std::ifstream in{std::filesystem::path(log_path), std::ios::binary};
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (const char* sign : {"Unhandled", "ignoring exception", "stack overflow", "page fault", "err:seh",
                           "terminate called", "pure virtual", "Assertion"}) {
    const size_t at = text.find(sign);
    if (at == std::string::npos) continue;
    const size_t begin = text.rfind('\n', at) + 1, end = text.find('\n', at);  // rfind's npos + 1 is 0
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  }
  return "";
}

void ExitFromTheTray(SmokeUser& user) {
  user.Click(TrayIcon(user), true);
  HWND menu = user.WaitForWindow("the tray menu", L"#32768");
  RECT rc{};
  ::GetWindowRect(menu, &rc);
  user.Click(POINT{(rc.left + rc.right) / 2, rc.top + (rc.bottom - rc.top) * 3 / 4});  // the lower item: 退出Veltrina
}

TEST_F(CleanExit, ExitAtOnceAfterSigningInToTheLargeTeam) {
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run + 1) + " of " + std::to_string(kRuns));
    ClientProcess client;
    SmokeUser user(client);
    SignIn(user, EnterTeamDemo(user, run == 0));
    ExitFromTheTray(user);
    const DWORD code = client.ExitCode(kEndMs);
    ASSERT_FALSE(client.Running()) << "the client still runs " << kEndMs << " ms after 退出Veltrina; its log: "
                                   << Utf8(client.log_path());
    EXPECT_EQ(code, 0u) << "the exit code; the client's log: " << Utf8(client.log_path());
    const std::string fault = FaultIn(client.log_path());
    ASSERT_EQ(fault, "") << "a fault in the client's log " << Utf8(client.log_path());
  }
}

}  // namespace
}  // namespace smoke
