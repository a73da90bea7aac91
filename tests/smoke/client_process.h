#pragma once
// The client under test as a process of its own: Veltrina.exe from this executable's folder,
// started there (so that "../Veltrina/skin" resolves) on the embedded demo service. Its own output
// (the client's log) goes to a file. Wine's error channel is switched on in its environment: Wine
// honours that for the child, but writes those messages to the Unix stderr the child inherits from
// this process, not to the handle given in STARTUPINFO, so they reach CTest's output, where the
// group's FAIL_REGULAR_EXPRESSION catches "stack overflow" and "Unhandled". The destructor ends a
// client that still runs, so no failed test leaves one behind; and the client runs in a job that
// ends it if this process dies without unwinding (it would otherwise hold CTest's output open).
#include <windows.h>

#include <string>

namespace smoke {

std::wstring ExecutableFolder();
// stem-N.extension in the working folder (CTest's: the test's build folder), N counting per stem.
std::wstring NumberedWorkingFile(const std::wstring& stem, const std::wstring& extension);
// <Documents>\Veltrina: the account store and the demo service's state.
std::wstring DataFolder();
// Deletes the data folder, so that the next start is a first start.
void ForgetEverything();

class ClientProcess {
 public:
  ClientProcess();  // throws SmokeFailure when Veltrina.exe cannot be started
  ~ClientProcess();
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;

  DWORD id() const { return info_.dwProcessId; }
  bool Running() const;
  DWORD ExitCode() const;  // STILL_ACTIVE while it runs
  const std::wstring& log_path() const { return log_path_; }
  // Ends the process and waits until it is gone.
  void End();

 private:
  void CloseHandles();

  HANDLE job_ = nullptr;
  PROCESS_INFORMATION info_{};
  std::wstring log_path_;
};

}  // namespace smoke
