#include "smoke_user.h"

#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>

#include "message_box.h"
#include "screenshot.h"

namespace smoke {
namespace {

constexpr DWORD kLimitMs = 20000;  // generous: two cores under load, Wine, a client with several threads

// stem-N.extension in the working folder, N counting per stem.
std::wstring NumberedWorkingFile(const std::wstring& stem, const std::wstring& extension) {
  static std::map<std::wstring, int> serials;
  return std::filesystem::current_path().wstring() + L"\\" + stem + L"-" + std::to_wstring(++serials[stem]) +
         extension;
}

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void Send(std::vector<INPUT> inputs) {
  if (::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
    Fail("SendInput refused events (error " + std::to_string(::GetLastError()) + ")");
}

// A key pressed and released, inside the given modifier when there is one.
void Press(WORD vk, WORD modifier = 0) {
  std::vector<INPUT> keys;
  for (auto [key, up] : {std::pair<WORD, bool>{modifier, false}, {vk, false}, {vk, true}, {modifier, true}}) {
    if (!key) continue;
    INPUT& in = keys.emplace_back();
    in.type = INPUT_KEYBOARD;
    in.ki = {key, static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC)), up ? KEYEVENTF_KEYUP : 0u, 0, 0};
  }
  Send(keys);
}

// The position goes with every event, so that a late motion cannot move a press elsewhere.
INPUT Mouse(DWORD flags, POINT screen) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;  // 0..65535 across the screen, pixel middles
  in.mi.dx = static_cast<LONG>((screen.x * 65536LL + 32768) / ::GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = static_cast<LONG>((screen.y * 65536LL + 32768) / ::GetSystemMetrics(SM_CYSCREEN));
  return in;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  return std::wstring(name, static_cast<size_t>(std::max(0, ::GetClassNameW(hwnd, name, 256))));
}

BOOL CALLBACK AddTo(HWND h, LPARAM list) { return reinterpret_cast<std::vector<HWND>*>(list)->push_back(h), TRUE; }

template <typename Fn>
void ForWindowsOf(DWORD process_id, Fn fn) {  // every top-level window of the process
  std::vector<HWND> all;
  ::EnumWindows(AddTo, reinterpret_cast<LPARAM>(&all));
  for (HWND h : all)
    if (DWORD pid = 0; ::GetWindowThreadProcessId(h, &pid) && pid == process_id) fn(h);
}

GUITHREADINFO GuiOf(HWND window) {  // the active and focused windows of the window's thread
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &gui);
  return gui;
}

}  // namespace

void Fail(const std::string& what) { throw SmokeFailure(what); }
bool UnderWindowManager() { return ::GetEnvironmentVariableW(L"VELTRINA_WINDOW_MANAGER", nullptr, 0) > 0; }
std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                       out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
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

ClientProcess::ClientProcess(const std::wstring& arguments) : log_path_(NumberedWorkingFile(L"smoke-client", L".log")) {
  job_.h = ::CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job_.h || !::SetInformationJobObject(job_.h, JobObjectExtendedLimitInformation, &limits, sizeof limits))
    Fail("cannot create a job object to hold the client");
  // Bringing up the Wine desktop together with the client sometimes killed one with an X BadWindow error under
  // load: this process brings it up first, alone. Only Wine's virtual desktop has a taskbar to wait for; under a
  // window manager (tools/openbox-run.sh) the desktop is X's.
  ::GetDesktopWindow();
  for (DWORD start = ::GetTickCount(); !UnderWindowManager() && !::FindWindowW(L"Shell_TrayWnd", nullptr); ::Sleep(50))
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
  std::wstring command = L"\"" + client + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  PROCESS_INFORMATION info{};
  // Wine's error channel on for the child (the tests' "-all" hides a dying thread); suspended until it is in the job.
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
  if (process_.h && Running()) ::TerminateProcess(process_.h, 1), ::WaitForSingleObject(process_.h, 10000);
}

DWORD ClientProcess::ExitCode(DWORD wait_ms) const {
  ::WaitForSingleObject(process_.h, wait_ms);
  DWORD code = 0;
  ::GetExitCodeProcess(process_.h, &code);
  return code;
}

void SmokeUser::FailStep(const std::string& step, const std::string& what) {
  std::string windows;
  ForWindowsOf(client_.id(), [&](HWND h) {
    if (!::IsWindowVisible(h)) return;
    windows += ", " + Utf8(ClassOf(h)) + " '" + Utf8(testkit::WindowTitle(h)) + "'";
    if (ClassOf(h) == L"#32770") windows += " saying '" + Utf8(testkit::MessageBoxText(h)) + "'";
  });
  std::wstring screenshot = NumberedWorkingFile(L"smoke-failure", L".png");
  RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (!testkit::SaveScreenPng(screen, screenshot)) screenshot = L"(none)";
  Fail("step '" + step + "': " + what + "\n  client windows: " + windows.substr(std::min<size_t>(2, windows.size())) +
       "\n  foreground: " + Utf8(ClassOf(::GetForegroundWindow())) + "\n  client log: " + Utf8(client_.log_path()) +
       "\n  screen: " + Utf8(screenshot));
}

void SmokeUser::CheckAlive(const std::string& step, HWND window) {
  DWORD_PTR result = 0;
  if (!client_.Running()) FailStep(step, "the client has exited (code " + std::to_string(client_.ExitCode()) + ")");
  if (window && !::IsWindow(window)) FailStep(step, "the window it acts on is gone");
  if (window && !::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &result))
    FailStep(step, "the " + Utf8(ClassOf(window)) + " does not answer: its thread hangs or died");
}

void SmokeUser::WaitUntil(const std::string& step, const std::function<bool()>& done, HWND window,
                          const std::function<std::string()>& seen) {
  for (const DWORD start = ::GetTickCount();; ::Sleep(50)) {
    CheckAlive(step, window);
    try {
      if (done()) return;
    } catch (const SmokeFailure& e) {
      FailStep(step, e.what());
    }
    if (::GetTickCount() - start > kLimitMs) FailStep(step, "not done in time" + (seen ? "; saw " + seen() : ""));
  }
}

HWND SmokeUser::FindShown(const wchar_t* class_name, const wchar_t* title) {
  HWND found = nullptr;
  ForWindowsOf(client_.id(), [&](HWND h) {  // the title is kept outside the process: never blocks
    if (::IsWindowVisible(h) && ClassOf(h) == class_name && (!title || testkit::WindowTitle(h) == title)) found = h;
  });
  return found;
}

HWND SmokeUser::WaitForWindow(const std::string& step, const wchar_t* class_name, const wchar_t* title) {
  HWND found = nullptr;
  WaitUntil(step, [&] { return (found = FindShown(class_name, title)) != nullptr; });
  CheckAlive(step, found);
  return found;
}

void SmokeUser::WaitUntilHidden(const std::string& step, HWND w) {
  WaitUntil(step, [w] { return !::IsWindowVisible(w); });
}

void SmokeUser::Click(POINT screen, bool right) {
  // Under Wine on X11 a motion reported late can put the pointer back after an injected move: it counts as there
  // once it has stayed for three rounds.
  POINT at{};
  for (DWORD start = ::GetTickCount(), steady = 0; steady < 3; ::Sleep(20)) {
    if (::GetTickCount() - start > 5000) Fail("the pointer does not stay at the point to click");
    steady = ::GetCursorPos(&at) && at.x == screen.x && at.y == screen.y ? steady + 1 : 0;
    if (!steady) Send({Mouse(0, screen)});
  }
  Send({Mouse(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN, screen),
        Mouse(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP, screen)});
}

void SmokeUser::Click(const std::string& step, HWND window, POINT client_point) {
  CheckAlive(step, window);
  ::ClientToScreen(window, &client_point);
  Click(client_point);
}

void SmokeUser::TypeInto(const std::string& step, HWND edit, const std::wstring& text) {
  RECT rc{};
  ::GetWindowRect(edit, &rc);
  Click(step, edit, POINT{(rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2});
  WaitUntil(step + " (the focus)", [&] { return GuiOf(edit).hwndFocus == edit; }, edit);
  std::wstring now;
  int round = 0;
  WaitUntil(step + " (emptied)", [&] {
    // Again each second: Wine may drop Ctrl, and its plain edit knows no Ctrl+A; a line is also selected from its end.
    if (round++ % 20 == 0) Press('A', VK_CONTROL), Press(VK_DELETE), Press(VK_END), Press(VK_HOME, VK_SHIFT), Press(VK_DELETE);
    return (now = TextOf(edit)).empty();
  }, edit, [&] { return Utf8(now); });
  Type(step, edit, text);
  WaitUntil(step + " (typed)", [&] { return (now = TextOf(edit)) == text; }, edit, [&] { return Utf8(now); });
}

void SmokeUser::Type(const std::string& step, HWND window, const std::wstring& text) {
  CheckAlive(step, window);
  for (wchar_t c : text) {
    const SHORT scan = ::VkKeyScanW(c);
    if (scan == -1 || (HIBYTE(scan) & ~1) != 0) Fail("no plain key types U+" + std::to_string(unsigned(c)));
    Press(LOBYTE(scan), (HIBYTE(scan) & 1) ? VK_SHIFT : 0);
  }
}

void SmokeUser::PressKey(const std::string& step, HWND window, WORD vk) { CheckAlive(step, window), Press(vk); }
void SmokeUser::PressEnter(const std::string& step, HWND window) { PressKey(step, window, VK_RETURN); }

HWND SmokeUser::FocusOf(HWND window) { return GuiOf(window).hwndFocus; }

std::wstring SmokeUser::AnswerMessageBox(const std::string& step, HWND box) {
  const std::wstring text = testkit::MessageBoxText(box);
  // Enter goes to the active window: the box must have come to the front first.
  WaitUntil(step + " (the box active)", [&] { return GuiOf(box).hwndActive == box; }, box);
  Press(VK_RETURN);
  WaitUntilHidden(step, box);
  return text;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             5000, &copied))
    Fail("the " + Utf8(ClassOf(hwnd)) + " does not answer WM_GETTEXT");
  return std::wstring(text, std::min<DWORD_PTR>(copied, 1023));
}

std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* class_name) {
  std::vector<HWND> all, found;
  ::EnumChildWindows(parent, AddTo, reinterpret_cast<LPARAM>(&all));
  std::copy_if(all.begin(), all.end(), std::back_inserter(found),
               [&](HWND h) { return _wcsicmp(ClassOf(h).c_str(), class_name) == 0; });
  return found;
}

std::vector<uint32_t> CaptureScreen(RECT screen) {  // by way of a throw-away screenshot
  std::vector<uint32_t> pixels;
  testkit::SaveScreenPng(screen, L"smoke-capture.png", [&](uint32_t* bgra, const RECT& c) {
    pixels.assign(bgra, bgra + static_cast<size_t>(c.right - c.left) * (c.bottom - c.top));
    for (uint32_t& p : pixels) p &= 0x00FFFFFF;
  });
  return pixels;
}

namespace {
// The committed private regions of the process's address space, as Windows counts private bytes
// (heaps, stacks, VirtualAlloc); under Wine this leaves out what its Unix side holds.
SIZE_T CommittedPrivateBytes(DWORD process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id);
  if (!process) Fail("cannot open the client (error " + std::to_string(GetLastError()) + ")");
  SIZE_T bytes = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize)
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += region.RegionSize;
  CloseHandle(process);
  return bytes;
}
}  // namespace

// PROCESS_MEMORY_COUNTERS_EX.PrivateUsage of the process. Wine 8 reports it as 0 (it fills it from
// swap); the committed private regions are then what Windows would count.
SIZE_T PrivateBytes(DWORD process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id);
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  const bool read = process && GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                                     sizeof counters);
  if (process) CloseHandle(process);
  if (!read) Fail("cannot read the client's memory counters (error " + std::to_string(GetLastError()) + ")");
  return counters.PrivateUsage ? counters.PrivateUsage : CommittedPrivateBytes(process_id);
}

}  // namespace smoke
