#pragma once
// The client under test as a process of its own: Veltrina.exe from this executable's folder,
// started there (so that "../Veltrina/skin" resolves) on the embedded demo service, its output in a
// log file. Wine writes the client's error channel to the Unix stderr it inherits from this process:
// CTest's output, where FAIL_REGULAR_EXPRESSION catches a dying thread. A job ends the client with
// this process; the destructor ends it too.
#include <windows.h>

#include <stdexcept>
#include <string>

namespace smoke {

// A step that cannot go on throws: GoogleTest reports it, the guards on the stack clean up.
struct SmokeFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
[[noreturn]] void Fail(const std::string& what);
std::string Utf8(const std::wstring& text);
// stem-N.extension in the working folder, N counting per stem.
std::wstring NumberedWorkingFile(const std::wstring& stem, const std::wstring& extension);
// <Documents>\Veltrina: the account store and the demo service's state.
std::wstring DataFolder();
// Deletes the data folder, so that the next start is a first start.
void ForgetEverything();

class ClientProcess {
 public:
  ClientProcess();
  ~ClientProcess();

  DWORD id() const { return id_; }
  bool Running() const { return ::WaitForSingleObject(process_.h, 0) == WAIT_TIMEOUT; }
  // Waits up to that long for the client to end; STILL_ACTIVE while it runs.
  DWORD ExitCode(DWORD wait_ms = 0) const;
  const std::wstring& log_path() const { return log_path_; }

 private:
  struct Handle {
    HANDLE h = nullptr;
    Handle(HANDLE handle = nullptr) : h(handle) {}
    Handle(const Handle&) = delete;
    ~Handle() {
      if (h) ::CloseHandle(h);
    }
  };
  Handle job_, process_;  // the job goes last: closing it ends the client if it still runs
  DWORD id_ = 0;
  std::wstring log_path_;
};

}  // namespace smoke
