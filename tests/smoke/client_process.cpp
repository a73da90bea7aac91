#include "client_process.h"

#include <shlobj.h>

#include <filesystem>
#include <map>
#include <vector>

#include "smoke_failure.h"

namespace smoke {
namespace {

// Wine reports a dying thread (stack overflow, unhandled exception) on its error channel, which the
// tests' default "-all" hides.
constexpr wchar_t kWineDebug[] = L"WINEDEBUG=-all,err+all";

// This process's environment with Wine's error channel switched on, as a CreateProcessW block.
std::vector<wchar_t> ChildEnvironment() {
  std::vector<wchar_t> block;
  if (wchar_t* env = ::GetEnvironmentStringsW()) {
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
      if (_wcsnicmp(p, L"WINEDEBUG=", 10) == 0) continue;
      block.insert(block.end(), p, p + wcslen(p) + 1);
    }
    ::FreeEnvironmentStringsW(env);
  }
  block.insert(block.end(), kWineDebug, kWineDebug + wcslen(kWineDebug) + 1);
  block.push_back(L'\0');
  return block;
}

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A job whose processes end when its last handle closes, that is when this process ends.
HANDLE NewKillOnCloseJob() {
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    ::CloseHandle(job);
    return nullptr;
  }
  return job;
}

// The Wine desktop (explorer's virtual desktop with its taskbar) is started by the first program
// that asks for it. This process and the client asking at the same time sometimes killed one of
// them with an X BadWindow error under load: this process brings it up first, alone.
void WaitForDesktop() {
  ::GetDesktopWindow();
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 20000; ::Sleep(50)) {
    if (::FindWindowW(L"Shell_TrayWnd", nullptr)) return;  // shown once a program shows a window
  }
  Fail("the Wine desktop has no taskbar (Shell_TrayWnd) after 20 s");
}

}  // namespace

std::wstring NumberedWorkingFile(const std::wstring& stem, const std::wstring& extension) {
  static std::map<std::wstring, int> serials;
  wchar_t folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  return std::wstring(folder) + L"\\" + stem + L"-" + std::to_wstring(++serials[stem]) + extension;
}

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring DataFolder() {
  wchar_t documents[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)))
    Fail("the documents folder cannot be found (SHGetFolderPathW)");
  return std::wstring(documents) + L"\\Veltrina";
}

void ForgetEverything() {
  std::error_code error;
  std::filesystem::remove_all(DataFolder(), error);
  if (std::filesystem::exists(DataFolder()))
    Fail("cannot delete the data folder " + Utf8(DataFolder()) + ": " + error.message());
}

ClientProcess::ClientProcess() : job_(NewKillOnCloseJob()), log_path_(NumberedWorkingFile(L"smoke-client", L".log")) {
  if (!job_) Fail("cannot create a job object to hold the client (error " + std::to_string(::GetLastError()) + ")");
  WaitForDesktop();
  const std::wstring folder = ExecutableFolder();
  const std::wstring exe = folder + L"\\Veltrina.exe";
  if (::GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) Fail("no client at " + Utf8(exe));

  HANDLE log = InheritableFile(log_path_, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE nul = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = log;
  startup.hStdError = log;
  std::vector<wchar_t> environment = ChildEnvironment();
  std::wstring command = L"\"" + exe + L"\"";
  // Suspended until it is in the job, so that not even its first thread runs outside it.
  BOOL started = ::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE,
                                  CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, environment.data(), folder.c_str(),
                                  &startup, &info_);
  DWORD error = ::GetLastError();
  // The child holds its own copies now.
  if (log != INVALID_HANDLE_VALUE) ::CloseHandle(log);
  if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
  if (!started) {
    CloseHandles();  // no destructor runs for a constructor that throws
    Fail("CreateProcessW(" + Utf8(exe) + ") failed with error " + std::to_string(error));
  }
  if (!::AssignProcessToJobObject(job_, info_.hProcess)) {
    error = ::GetLastError();
    ::TerminateProcess(info_.hProcess, 1);
    CloseHandles();
    Fail("cannot put the client into its job (error " + std::to_string(error) + ")");
  }
  ::ResumeThread(info_.hThread);
}

void ClientProcess::CloseHandles() {
  for (HANDLE* h : {&info_.hThread, &info_.hProcess, &job_}) {
    if (*h) ::CloseHandle(*h);
    *h = nullptr;
  }
}

ClientProcess::~ClientProcess() {
  End();
  CloseHandles();
}

bool ClientProcess::Running() const { return ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

DWORD ClientProcess::ExitCode() const {
  DWORD code = 0;
  ::GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void ClientProcess::End() {
  if (!info_.hProcess || !Running()) return;
  ::TerminateProcess(info_.hProcess, 1);
  ::WaitForSingleObject(info_.hProcess, 10000);
}

}  // namespace smoke
