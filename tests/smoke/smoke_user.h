#pragma once
// The client under test as a process of its own (Veltrina.exe from this executable's folder, on the embedded demo
// service, its output in a log file; Wine's error channel reaches CTest's output, where FAIL_REGULAR_EXPRESSION
// catches a dying thread), and a user in front of it who acts only with real input (SendInput) and looks only from
// outside. Every wait polls with a time limit and checks that the client runs and the window acted on answers: under
// Wine a dead UI thread leaves the process alive with frozen windows. A failure names the step, the client's windows
// and who has the keyboard, and saves a screenshot.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace smoke {

// A step that cannot go on throws: GoogleTest reports it, the guards on the stack clean up.
struct SmokeFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
[[noreturn]] void Fail(const std::string& what);
std::string Utf8(const std::wstring& text);
std::wstring DataFolder();  // <Documents>\Veltrina: the account store and the demo service's state
void ForgetEverything();    // deletes it: the next start is a first start
// Run by tools/openbox-run.sh: a real window manager on X and no Wine virtual desktop (hence no taskbar).
bool UnderWindowManager();

class ClientProcess {  // a job ends the client with this process; the destructor ends it too
 public:
  // `arguments` follow the executable on its command line (e2e: --server URL).
  explicit ClientProcess(const std::wstring& arguments = std::wstring());
  ~ClientProcess();
  DWORD id() const { return id_; }
  bool Running() const { return ::WaitForSingleObject(process_.h, 0) == WAIT_TIMEOUT; }
  DWORD ExitCode(DWORD wait_ms = 0) const;  // STILL_ACTIVE while it runs
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

class SmokeUser {
 public:
  explicit SmokeUser(ClientProcess& client) : client_(client) {}
  void CheckAlive(const std::string& step, HWND window = nullptr);
  // Polls `done` until it holds; on time-out the failure includes what `seen` tells.
  void WaitUntil(const std::string& step, const std::function<bool()>& done, HWND window = nullptr,
                 const std::function<std::string()>& seen = nullptr);
  // A visible top-level window of the client with this class (and title, when given), or null.
  HWND FindShown(const wchar_t* class_name, const wchar_t* title = nullptr);
  HWND WaitForWindow(const std::string& step, const wchar_t* class_name, const wchar_t* title = nullptr);
  void WaitUntilHidden(const std::string& step, HWND window);
  void Click(POINT screen, bool right = false);
  void Click(const std::string& step, HWND window, POINT client_point);
  // Clicks into a native edit, waits for the focus, empties it, types the text and waits until the edit holds it.
  void TypeInto(const std::string& step, HWND edit, const std::wstring& text);
  // Types into whatever has the keyboard focus, with plain keys (and Shift).
  void Type(const std::string& step, HWND window, const std::wstring& text);
  void PressKey(const std::string& step, HWND window, WORD vk);
  void PressEnter(const std::string& step, HWND window);
  // The window with the keyboard focus in the window's thread, or null.
  static HWND FocusOf(HWND window);
  // Waits until the box is active, answers it with Enter, waits until it is gone; returns its text.
  std::wstring AnswerMessageBox(const std::string& step, HWND box);

 private:
  [[noreturn]] void FailStep(const std::string& step, const std::string& what);
  ClientProcess& client_;
};

std::wstring TextOf(HWND hwnd);  // by WM_GETTEXT; throws when the window does not answer
std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* class_name);  // at any depth
std::vector<uint32_t> CaptureScreen(RECT screen);  // 0x00RRGGBB row by row
// The private bytes of a process as Windows counts them (under Wine 8, which reports 0, its committed private regions).
SIZE_T PrivateBytes(DWORD process_id);

}  // namespace smoke
