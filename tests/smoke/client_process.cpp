#include "client_process.h"

#include <shlobj.h>

#include <filesystem>
#include <map>

namespace smoke {
namespace {

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void Fail(const std::string& what) { throw SmokeFailure(what); }

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                       out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::wstring NumberedWorkingFile(const std::wstring& stem, const std::wstring& extension) {
  static std::map<std::wstring, int> serials;
  return std::filesystem::current_path().wstring() + L"\\" + stem + L"-" + std::to_wstring(++serials[stem]) +
         extension;
}

std::wstring DataFolder() {
  wchar_t documents[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)))
    Fail("the documents folder cannot be found");
  return std::wstring(documents) + L"\\Veltrina";
}

void ForgetEverything() {
  std::error_code error;
  std::filesystem::remove_all(DataFolder(), error);
  if (std::filesystem::exists(DataFolder())) Fail("cannot delete the data folder: " + error.message());
}

ClientProcess::ClientProcess() : log_path_(NumberedWorkingFile(L"smoke-client", L".log")) {
  job_.h = ::CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job_.h || !::SetInformationJobObject(job_.h, JobObjectExtendedLimitInformation, &limits, sizeof limits))
    Fail("cannot create a job object to hold the client");
  // The client and this process bringing up the Wine desktop at the same time sometimes killed one
  // of them with an X BadWindow error under load: this process brings it up first, alone.
  ::GetDesktopWindow();
  for (DWORD start = ::GetTickCount(); !::FindWindowW(L"Shell_TrayWnd", nullptr); ::Sleep(50))
    if (::GetTickCount() - start > 20000) Fail("the Wine desktop has no taskbar after 20 s");

  wchar_t path[MAX_PATH] = {};
  const std::filesystem::path exe(std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH)));
  const std::wstring folder = exe.parent_path().wstring(), client = folder + L"\\Veltrina.exe";
  HANDLE log = InheritableFile(log_path_, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE nul = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = startup.hStdError = log;
  std::wstring command = L"\"" + client + L"\"";
  PROCESS_INFORMATION info{};
  // The child inherits the environment: Wine's error channel on (the tests' "-all" hides a dying
  // thread). Suspended until it is in the job, so that not even its first thread runs outside it.
  ::SetEnvironmentVariableW(L"WINEDEBUG", L"-all,err+all");
  const BOOL started = ::CreateProcessW(client.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                        nullptr, folder.c_str(), &startup, &info);
  const DWORD error = ::GetLastError();
  for (HANDLE h : {log, nul})
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  if (!started) Fail("cannot start " + Utf8(client) + " (error " + std::to_string(error) + ")");
  Handle thread{info.hThread};
  process_.h = info.hProcess;
  id_ = info.dwProcessId;
  if (!::AssignProcessToJobObject(job_.h, process_.h)) {
    ::TerminateProcess(process_.h, 1);
    Fail("cannot put the client into its job (error " + std::to_string(::GetLastError()) + ")");
  }
  ::ResumeThread(thread.h);
}

ClientProcess::~ClientProcess() {
  if (process_.h && Running()) {
    ::TerminateProcess(process_.h, 1);
    ::WaitForSingleObject(process_.h, 10000);
  }
}

DWORD ClientProcess::ExitCode(DWORD wait_ms) const {
  ::WaitForSingleObject(process_.h, wait_ms);
  DWORD code = 0;
  ::GetExitCodeProcess(process_.h, &code);
  return code;
}

}  // namespace smoke
