// `make bench` from outside: the real Veltrina.exe (and the bare program) started, driven with real
// input and measured as separate processes, the way a user meets them.
//   VeltrinaBench.exe startup            start to painted first window: the bare program and the
//                                        client on a fresh data folder, alternating
//   VeltrinaBench.exe signin small|large click on 登录 to the painted main window with its session
//                                        list; then the private bytes and the threads with
//                                        #general open
// Prints "result <key> <value>"; exits 1 with the reason when it cannot measure.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "report.h"
#include "smoke/smoke_user.h"
#include "watch.h"

namespace {

using bench::Clock;
using bench::MillisSince;

constexpr int kStartupRuns = 5, kSignInRuns = 3;
constexpr DWORD kLimitMs = 60000;  // a large team on a loaded machine
// Where skin_login_wnd.xml and skin_main_wnd.xml put things (client coordinates).
constexpr int kTopOfPasswordEdit = 256 + 1 + 10;  // control top, border, text padding
constexpr POINT kLoginButton{200, 256 + 38 + 20 + 20};
constexpr int kLeftPanel = 230, kHeader = 56, kComposer = 150;
constexpr RECT kGeneralRowBand{1, kHeader + 36 + 36, kLeftPanel - 1, kHeader + 36 + 36 + 36};
constexpr POINT kGeneralRow{110, kHeader + 36 + 36 + 18};

std::wstring BinFolder() {
  wchar_t path[MAX_PATH] = {};
  return std::filesystem::path(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))).parent_path().wstring();
}

// The resident anonymous memory plus swap of the Linux process behind the program (/proc/<pid>/status,
// through Wine's Z: drive), from the one process of this Wine prefix whose command line ends in
// this program's name: what the process costs the machine, Wine's Unix side (X11, fonts) included.
// Other prefixes on the machine (tests running beside the bench) may run the same program.
SIZE_T ResidentAnonymousBytes(const std::string& program) {
  SIZE_T bytes = 0;
  int found = 0;
  const char* wine_prefix = std::getenv("WINEPREFIX");  // Wine passes the Unix environment on
  const std::string prefix = wine_prefix ? std::string("WINEPREFIX=") + wine_prefix : std::string();
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
  if (search == INVALID_HANDLE_VALUE) smoke::Fail("Z:\\proc cannot be listed");
  do {
    const std::wstring dir = std::wstring(L"Z:\\proc\\") + entry.cFileName;
    if (!iswdigit(entry.cFileName[0])) continue;
    std::string command;
    std::getline(std::ifstream(std::filesystem::path(dir + L"\\cmdline"), std::ios::binary), command, '\0');
    if (!command.ends_with("\\" + program) && !command.ends_with("/" + program)) continue;
    if (!prefix.empty()) {
      std::ifstream environment(std::filesystem::path(dir + L"\\environ"), std::ios::binary);
      const std::string variables((std::istreambuf_iterator<char>(environment)), std::istreambuf_iterator<char>());
      if (variables.find('\0' + prefix + '\0') == std::string::npos && !variables.starts_with(prefix + '\0')) continue;
    }
    ++found;
    std::ifstream status(std::filesystem::path(dir + L"\\status"));
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("RssAnon:") || line.starts_with("VmSwap:"))
        bytes += static_cast<SIZE_T>(std::stoull(line.substr(line.find(':') + 1))) * 1024;
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  if (found != 1) smoke::Fail(std::to_string(found) + " Linux processes run " + program);
  return bytes;
}

// The threads of a process: under Wine each holds 2 MB of committed stacks, a sixth of the budget.
int ThreadsOf(DWORD process_id) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    smoke::Fail("cannot list the threads (error " + std::to_string(GetLastError()) + ")");
  int threads = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == process_id) ++threads;
  CloseHandle(snapshot);
  return threads;
}

// From CreateProcess until the program's window of this class is shown and painted; the program
// is ended afterwards (its private bytes read first when asked).
double TimeToPaintedWindow(const std::wstring& exe, const wchar_t* window_class, SIZE_T* private_bytes = nullptr) {
  std::wstring command = L"\"" + exe + L"\"";
  // As from the desktop: no console to write the client's log to.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  PROCESS_INFORMATION info{};
  const Clock::time_point start = Clock::now();
  const BOOL started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      BinFolder().c_str(), &startup, &info);
  const DWORD error = GetLastError();
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) smoke::Fail("cannot start " + smoke::Utf8(exe) + " (error " + std::to_string(error) + ")");
  HWND window = nullptr;
  const bool painted = bench::PollUntil([&] {
    if (!window) window = bench::FindShownWindow(info.dwProcessId, window_class);
    return window && bench::IsPainted(window);
  }, kLimitMs);
  const double ms = MillisSince(start);
  if (painted && private_bytes) *private_bytes = smoke::PrivateBytes(info.dwProcessId);
  TerminateProcess(info.hProcess, 0);
  WaitForSingleObject(info.hProcess, 10000);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  if (!painted) smoke::Fail("no painted " + smoke::Utf8(window_class) + " window from " + smoke::Utf8(exe));
  return ms;
}

void Startup() {
  double bare = 1e9, client = 1e9;
  SIZE_T bare_bytes = ~SIZE_T{0};
  for (int run = 0; run < kStartupRuns; ++run) {
    SIZE_T bytes = 0;
    bare = std::min(bare, TimeToPaintedWindow(BinFolder() + L"\\BareWindow.exe", L"BareWindow", &bytes));
    bare_bytes = std::min(bare_bytes, bytes);
    smoke::ForgetEverything();  // the client's first start: the team window
    client = std::min(client, TimeToPaintedWindow(BinFolder() + L"\\Veltrina.exe", L"SubdomainWnd"));
  }
  bench::Report("bare_window_ms", bare);
  bench::Report("start_to_team_window_ms", client);
  bench::Report("startup_ratio", client / bare);
  bench::Report("private_bytes_bare_window", static_cast<double>(bare_bytes));  // what any Wine program holds
}

// The native edit of the window (the password one when asked), once laid out.
HWND Field(smoke::SmokeUser& user, HWND window, bool password) {
  HWND field = nullptr;
  user.WaitUntil("the fields laid out", [&] {
    for (HWND h : smoke::ChildrenOfClass(window, L"Edit"))
      if (((GetWindowLongW(h, GWL_STYLE) & ES_PASSWORD) != 0) == password) field = h;
    RECT rc{};
    return field && GetWindowRect(field, &rc) && rc.right > rc.left;
  }, window);
  return field;
}

struct SignIn {
  double ms = 0;
  SIZE_T private_bytes = 0;
  SIZE_T resident_bytes = 0;
  int threads = 0;
};

SignIn SignInOnce(bool large_team) {
  smoke::ForgetEverything();
  std::filesystem::create_directories(smoke::DataFolder());
  // The demo's life ticks fast, so that a few seconds after opening #general the client has
  // handled a stream of messages and presence changes.
  std::ofstream(std::filesystem::path(smoke::DataFolder() + L"\\demo-config.json"))
      << (large_team ? R"({"life_interval_ms": 250, "team_size": "large"})" : R"({"life_interval_ms": 250})");
  smoke::ClientProcess client;
  smoke::SmokeUser user(client);
  HWND team = user.WaitForWindow("first start", L"SubdomainWnd");
  user.TypeInto("type team demo", Field(user, team, false), L"demo");
  user.PressEnter("confirm team demo", team);
  HWND login = user.WaitForWindow("the login window", L"LoginWindow");
  HWND name = Field(user, login, false), password = Field(user, login, true);
  RECT rc{};
  GetWindowRect(password, &rc);
  MapWindowPoints(HWND_DESKTOP, login, reinterpret_cast<POINT*>(&rc), 2);
  if (rc.top != kTopOfPasswordEdit)
    smoke::Fail("the password field is at y " + std::to_string(rc.top) + ", not " +
                std::to_string(kTopOfPasswordEdit) + ": skin moved?");
  user.TypeInto("type the user name", name, L"alice");
  user.TypeInto("type the password", password, L"veltrina");

  SignIn result;
  user.Click("click 登录", login, kLoginButton);
  const Clock::time_point clicked = Clock::now();
  HWND main = nullptr;
  if (!bench::PollUntil([&] {
        if (!main) main = bench::FindShownWindow(client.id(), L"MainWindow");
        return main && bench::ColoursIn(main, kGeneralRowBand) >= 8 && bench::IsPainted(main);
      }, kLimitMs))
    smoke::Fail("no painted main window with a session list within " + std::to_string(kLimitMs / 1000) + " s");
  result.ms = MillisSince(clicked);

  RECT area{};
  GetClientRect(main, &area);
  const RECT conversation{kLeftPanel + 1, kHeader + 1, area.right - 1, area.bottom - kComposer - 1};
  // A large team's list may still be rebuilt under the pointer, which loses a click: click again.
  for (int click = 0;; ++click) {
    user.Click("open #general", main, kGeneralRow);
    if (bench::PollUntil([&] { return bench::ColoursIn(main, conversation) >= 32; }, 5000)) break;
    if (click == 3) smoke::Fail("#general does not open: no conversation drawn after four clicks");
  }
  Sleep(5000);
  user.CheckAlive("the demo's life ran", main);
  result.private_bytes = smoke::PrivateBytes(client.id());
  result.resident_bytes = ResidentAnonymousBytes("Veltrina.exe");
  result.threads = ThreadsOf(client.id());
  return result;
}

void SignInRuns(bool large_team) {
  SignIn best{1e9, ~SIZE_T{0}, ~SIZE_T{0}, 1 << 30};
  for (int run = 0; run < kSignInRuns; ++run) {
    SignIn r = SignInOnce(large_team);
    best.ms = std::min(best.ms, r.ms);
    best.private_bytes = std::min(best.private_bytes, r.private_bytes);
    best.resident_bytes = std::min(best.resident_bytes, r.resident_bytes);
    best.threads = std::min(best.threads, r.threads);
  }
  bench::Report(large_team ? "signin_to_main_window_ms_large_team" : "signin_to_main_window_ms", best.ms);
  bench::Report(large_team ? "private_bytes_large_team" : "private_bytes_small_team",
                static_cast<double>(best.private_bytes));
  bench::Report(large_team ? "resident_anonymous_bytes_large_team" : "resident_anonymous_bytes_small_team",
                static_cast<double>(best.resident_bytes));
  bench::Report(large_team ? "threads_large_team" : "threads_small_team", best.threads);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "", team = argc > 2 ? argv[2] : "small";
  try {
    // The Wine desktop first, alone: brought up together with a client it sometimes failed.
    GetDesktopWindow();
    if (!bench::PollUntil([] { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }, 20000))
      smoke::Fail("the Wine desktop has no taskbar after 20 s");
    if (what == "startup") Startup();
    else if (what == "signin" && (team == "small" || team == "large")) SignInRuns(team == "large");
    else smoke::Fail("usage: VeltrinaBench.exe startup | signin small|large");
  } catch (const smoke::SmokeFailure& e) {
    std::printf("cannot measure: %s\n", e.what());
    return 1;
  }
  return 0;
}
