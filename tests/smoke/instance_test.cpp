// Outside in: one client per Windows user. A second Veltrina.exe started beside a running one hands over to it
// (the running one comes to the front) and ends, so that never two demo services share the state files.
#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "smoke_steps.h"
#include "smoke_user.h"

namespace smoke {
namespace {

class SingleClient : public ::testing::Test {
  void SetUp() override { ForgetEverything(); }
  void TearDown() override { ForgetEverything(); }
};

int RunningClients() {
  int count = 0;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, L"Veltrina.exe") == 0) ++count;
  ::CloseHandle(snapshot);
  return count;
}

struct ClassCount {
  const wchar_t* name;
  int count;
};

BOOL CALLBACK CountClass(HWND h, LPARAM data) {
  auto* wanted = reinterpret_cast<ClassCount*>(data);
  wchar_t name[256] = {};
  ::GetClassNameW(h, name, 256);
  if (wcscmp(name, wanted->name) == 0) ++wanted->count;
  return TRUE;
}

int WindowsOfClass(const wchar_t* class_name) {  // top-level, shown or not, of any process
  ClassCount wanted{class_name, 0};
  ::EnumWindows(CountClass, reinterpret_cast<LPARAM>(&wanted));
  return wanted.count;
}

// Starts a second client and expects it to end by itself, soon, with 0.
void StartASecondClient() {
  const ULONGLONG start = ::GetTickCount64();
  ClientProcess second;
  const DWORD code = second.ExitCode(15000);
  ASSERT_FALSE(second.Running()) << "the second client still runs after 15 s: it did not hand over";
  EXPECT_EQ(code, 0u) << "the second client's exit code";
  EXPECT_LT(::GetTickCount64() - start, 10000u) << "the second client took long to hand over";
}

TEST_F(SingleClient, ASecondStartBringsTheHiddenMainWindowBackAndEnds) {
  ClientProcess first;
  SmokeUser user(first);
  HWND main = SignIn(user, EnterTeamDemo(user, true));
  user.Click("the close button", main, CloseButton(ClientSize(main)));
  user.WaitUntilHidden("the close button hides the main window", main);

  ASSERT_NO_FATAL_FAILURE(StartASecondClient());
  user.WaitUntil("the first client's main window is shown and in front",
                 [&] { return ::IsWindowVisible(main) && ::GetForegroundWindow() == main; }, main);
  EXPECT_EQ(RunningClients(), 1) << "client processes";
  EXPECT_EQ(WindowsOfClass(L"MainWindow"), 1) << "main windows";
  EXPECT_EQ(WindowsOfClass(L"SubdomainWnd"), 0) << "team windows: the second start showed its own";
}

TEST_F(SingleClient, ASecondStartWhileTheTeamWindowIsUpRestoresItAndEnds) {
  ClientProcess first;
  SmokeUser user(first);
  HWND team = user.WaitForWindow("first start", L"SubdomainWnd", L"登录团队");
  ::ShowWindow(team, SW_MINIMIZE);
  user.WaitUntil("the team window minimised", [&] { return ::IsIconic(team) != FALSE; }, team);

  ASSERT_NO_FATAL_FAILURE(StartASecondClient());
  user.WaitUntil("the team window is restored and in front",
                 [&] { return !::IsIconic(team) && ::IsWindowVisible(team) && ::GetForegroundWindow() == team; }, team);
  EXPECT_EQ(RunningClients(), 1) << "client processes";
  EXPECT_EQ(WindowsOfClass(L"SubdomainWnd"), 1) << "team windows";
  // The first client goes on as if nothing happened.
  user.CheckAlive("after the second start", team);
  SignIn(user, EnterTeamDemo(user, true));
}

}  // namespace
}  // namespace smoke
