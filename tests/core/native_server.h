#pragma once
// The real veltrina-server, a Linux program, started from a test that runs under Wine. Wine runs
// an ELF executable given to CreateProcess (but hands back no process handle and none of the
// standard handles), so a small shell script starts it, writes its process id beside its log,
// and stops it when the test's folder is removed (or after ten minutes), should the test die.
//
// The executable: $VELTRINA_SERVER_EXE, else <build>/native/server/veltrina-server, which
// tools/native-test.sh builds before a full test run. Without it the tests that need it skip.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "test_support.h"

namespace core_test {

// Unix and DOS names through Wine's own exports; empty outside Wine.
inline std::string UnixName(const std::wstring& dos) {
  using Fn = char*(CDECL*)(LPCWSTR);
  static auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return std::string();
  char* name = fn(dos.c_str());
  if (!name) return std::string();
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

inline std::wstring DosName(const std::string& unix_name) {
  using Fn = WCHAR*(CDECL*)(LPCSTR);
  static auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (!fn) return std::wstring();
  WCHAR* name = fn(unix_name.c_str());
  if (!name) return std::wstring();
  std::wstring out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

inline std::string ReadText(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class NativeServer {
 public:
  NativeServer() {
    folder_wide_ = std::filesystem::path(folder_.path()).wstring();
    folder_unix_ = UnixName(folder_wide_);
    const char* exe = std::getenv("VELTRINA_SERVER_EXE");
#ifdef VELTRINA_NATIVE_SERVER
    exe_ = exe && *exe ? exe : VELTRINA_NATIVE_SERVER;
#else
    exe_ = exe ? exe : "";
#endif
  }
  ~NativeServer() {
    Stop("KILL");
  }
  NativeServer(const NativeServer&) = delete;

  // Why the server cannot run here; empty when it can.
  std::string Missing() const {
    if (folder_unix_.empty()) return "not under Wine";
    if (exe_.empty()) return "no server executable named";
    std::wstring dos = DosName(exe_);
    if (dos.empty() || GetFileAttributesW(dos.c_str()) == INVALID_FILE_ATTRIBUTES)
      return exe_ + " is not built (tools/native-test.sh builds it)";
    return std::string();
  }

  // Starts it on `listen` (127.0.0.1:0: a free port) with the demo teams in its folder; true once
  // it serves. The same folder each time: a restart finds what the last run stored.
  // `options`: more of the server's options, as words.
  bool Start(const std::string& listen = "127.0.0.1:0", const std::string& options = "") {
    DeleteFileW((folder_wide_ + L"\\pid").c_str());
    DeleteFileW((folder_wide_ + L"\\exited").c_str());
    const std::wstring log = folder_wide_ + L"\\server.log";
    const size_t log_before = ReadText(log).size();
    const std::string script = folder_unix_ + "/run.sh";
    std::ofstream(std::filesystem::path(folder_wide_ + L"\\run.sh"), std::ios::binary) <<
        R"(exec </dev/null >/dev/null 2>&1
dir="$1"; exe="$2"; listen="$3"; options="$4"
sh -c 'echo $$ > "$1/pid.tmp"; mv "$1/pid.tmp" "$1/pid"
  exec env VELTRINA_CHEAP_HASHES=1 "$2" --listen "$3" --data "$1/data" --seed demo $4 2>>"$1/server.log"' _ "$dir" "$exe" "$listen" "$options" &
server=$!
( n=0; while [ -d "$dir" ] && [ $n -lt 1200 ]; do sleep 0.5; n=$((n+1)); done; kill -KILL $server ) 2>/dev/null &
watchdog=$!
wait $server
echo $? > "$dir/exited"
kill $watchdog
)";
    if (!Run("/bin/sh \"" + script + "\" \"" + folder_unix_ + "\" \"" + exe_ + "\" \"" + listen + "\" \"" + options +
             "\""))
      return false;
    // "veltrina-server serves <dir> on 127.0.0.1:<port>"
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20); std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
      const std::string text = ReadText(log).substr(log_before);
      const size_t at = text.find(" on 127.0.0.1:");
      const size_t line_end = at == std::string::npos ? at : text.find('\n', at);
      if (line_end != std::string::npos) {
        port_ = text.substr(at + 14, line_end - at - 14);
        pid_ = ReadText(folder_wide_ + L"\\pid");
        while (!pid_.empty() && (pid_.back() == '\n' || pid_.back() == '\r')) pid_.pop_back();
        return !pid_.empty();
      }
      if (GetFileAttributesW((folder_wide_ + L"\\exited").c_str()) != INVALID_FILE_ATTRIBUTES) break;
    }
    ADD_FAILURE() << "the server did not start: " << ReadText(log).substr(log_before);
    return false;
  }

  // Sends the signal and waits until the process is gone.
  bool Stop(const char* signal = "TERM") {
    if (pid_.empty()) return true;
    Run("/bin/kill -" + std::string(signal) + " " + pid_);
    pid_.clear();
    return WaitUntil([&] { return GetFileAttributesW((folder_wide_ + L"\\exited").c_str()) != INVALID_FILE_ATTRIBUTES; },
                     milliseconds(15000));
  }

  std::string url() const { return "http://127.0.0.1:" + port_; }
  const std::string& port() const { return port_; }

 private:
  // Starts a Unix program (no handle comes back: Wine does not make a Windows process of it).
  static bool Run(const std::string& unix_command_line) {
    const size_t space = unix_command_line.find(' ');
    std::wstring program = DosName(unix_command_line.substr(0, space));
    std::wstring line = L"\"" + program + L"\"" +
                        std::wstring(unix_command_line.begin() + static_cast<std::ptrdiff_t>(space),
                                     unix_command_line.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      ADD_FAILURE() << "cannot start " << unix_command_line << " (error " << GetLastError() << ")";
      return false;
    }
    if (info.hProcess) CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
    return true;
  }

  TempFolder folder_;
  std::wstring folder_wide_;
  std::string folder_unix_;
  std::string exe_;
  std::string port_;
  std::string pid_;
};

}  // namespace core_test
