#include "smoke_user.h"

#include <algorithm>
#include <iterator>

#include "message_box.h"
#include "screenshot.h"

namespace smoke {
namespace {

// Generous: two cores under load, Wine, and a client that talks to its service on other threads.
constexpr DWORD kLimitMs = 20000;

void Send(std::vector<INPUT> inputs) {
  if (::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
    Fail("SendInput refused events (error " + std::to_string(::GetLastError()) + ")");
}

// A key pressed and released, inside the given modifier when there is one.
void Press(WORD vk, WORD modifier = 0) {
  std::vector<INPUT> keys;
  const std::pair<WORD, bool> order[] = {{modifier, false}, {vk, false}, {vk, true}, {modifier, true}};
  for (auto [key, up] : order) {
    if (!key) continue;
    INPUT& in = keys.emplace_back();
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  }
  Send(keys);
}

// The position goes with every event, so that a late motion cannot move a press elsewhere.
INPUT Mouse(DWORD flags, POINT screen) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  // 0..65535 across the primary screen; aim at the pixel's middle.
  in.mi.dx = static_cast<LONG>((screen.x * 65536LL + 32768) / ::GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = static_cast<LONG>((screen.y * 65536LL + 32768) / ::GetSystemMetrics(SM_CYSCREEN));
  return in;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  return std::wstring(name, static_cast<size_t>(std::max(0, ::GetClassNameW(hwnd, name, 256))));
}

BOOL CALLBACK AddTo(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

// Calls `fn` for every top-level window of the process.
template <typename Fn>
void ForWindowsOf(DWORD process_id, Fn fn) {
  std::vector<HWND> all;
  ::EnumWindows(AddTo, reinterpret_cast<LPARAM>(&all));
  for (HWND h : all) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid == process_id) fn(h);
  }
}

// The keyboard state of the window's thread: its active and focused windows.
GUITHREADINFO GuiOf(HWND window) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &gui);
  return gui;
}

}  // namespace

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

void SmokeUser::WaitUntilHidden(const std::string& step, HWND window) {
  WaitUntil(step, [&] { return !::IsWindow(window) || !::IsWindowVisible(window); });
}

void SmokeUser::Click(POINT screen, bool right) {
  // Under Wine on X11 a motion the display reports late can put the pointer back just after an
  // injected move: it counts as there once it has stayed for three rounds.
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
    if (round++ % 20 == 0) Press('A', VK_CONTROL), Press(VK_DELETE);  // again each second: Wine may drop Ctrl
    return (now = TextOf(edit)).empty();
  }, edit, [&] { return Utf8(now); });
  for (wchar_t c : text) {
    const SHORT scan = ::VkKeyScanW(c);
    if (scan == -1 || (HIBYTE(scan) & ~1) != 0) Fail("no plain key types U+" + std::to_string(unsigned(c)));
    Press(LOBYTE(scan), (HIBYTE(scan) & 1) ? VK_SHIFT : 0);
  }
  WaitUntil(step + " (typed)", [&] { return (now = TextOf(edit)) == text; }, edit, [&] { return Utf8(now); });
}

void SmokeUser::PressEnter(const std::string& step, HWND window) {
  CheckAlive(step, window);
  Press(VK_RETURN);
}

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

std::vector<uint32_t> CaptureScreen(RECT screen) {
  const int width = screen.right - screen.left, height = screen.bottom - screen.top;
  std::vector<uint32_t> pixels(static_cast<size_t>(std::max(0, width)) * std::max(0, height));
  if (pixels.empty()) return pixels;
  HDC screen_dc = ::GetDC(nullptr), memory = ::CreateCompatibleDC(screen_dc);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen_dc, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen_dc, screen.left, screen.top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // top-down rows
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  for (uint32_t& p : pixels) p &= 0x00FFFFFF;
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen_dc);
  return pixels;
}

}  // namespace smoke
