#include "smoke_user.h"

#include "desktop_input.h"
#include "smoke_failure.h"
#include "window_probe.h"

namespace smoke {
namespace {

// Generous: two cores under load, Wine, and a client that talks to its service on other threads.
constexpr DWORD kLimitMs = 20000;
constexpr DWORD kPollMs = 50;

HWND FocusOfThreadOf(HWND window, HWND* active = nullptr) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &gui)) return nullptr;
  if (active) *active = gui.hwndActive;
  return gui.hwndFocus;
}

std::string Describe(HWND window) {
  if (!window) return "no window";
  if (HWND top = ::GetAncestor(window, GA_ROOT); top && top != window) {
    // Child controls by where they sit: their titles say nothing from another process.
    RECT rc = RectInClientOf(window, top);
    return Utf8(ClassOf(window)) + " at (" + std::to_string(rc.left) + "," + std::to_string(rc.top) + ") of " +
           Describe(top);
  }
  wchar_t title[256] = {};
  ::GetWindowTextW(window, title, 256);
  return Utf8(ClassOf(window)) + " '" + Utf8(title) + "'";
}

// Who has the keyboard and the mouse: the foreground window, the pointer, and the client UI
// thread's active, focused and capturing windows.
std::string DescribeInput(DWORD process_id) {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  std::string text = "foreground " + Describe(::GetForegroundWindow()) + ", pointer at (" +
                     std::to_string(cursor.x) + "," + std::to_string(cursor.y) + ")";
  for (const TopWindow& w : TopLevelWindowsOf(process_id)) {
    if (!w.visible) continue;
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(w.hwnd, nullptr), &gui)) break;
    return text + ", client's active " + Describe(gui.hwndActive) + ", focus " + Describe(gui.hwndFocus) +
           ", capture " + Describe(gui.hwndCapture);
  }
  return text;
}

}  // namespace

void SmokeUser::FailStep(const std::string& step, const std::string& what) {
  std::string on_screen, focus;
  try {
    on_screen = DescribeWindows(client_.id());
    focus = DescribeInput(client_.id());
  } catch (const SmokeFailure& e) {
    on_screen = std::string("(cannot tell: ") + e.what() + ")";
  }
  std::wstring screenshot = NumberedWorkingFile(L"smoke-failure", L".bmp");
  if (!SaveScreenBmp(screenshot)) screenshot = L"(none)";
  Fail("step '" + step + "': " + what + "\n  client windows: " + on_screen + "\n  input: " + focus +
       "\n  client log: " + Utf8(client_.log_path()) + "\n  screen: " + Utf8(screenshot));
}

void SmokeUser::CheckAlive(const std::string& step, HWND window) {
  if (!client_.Running()) FailStep(step, "the client has exited (code " + std::to_string(client_.ExitCode()) + ")");
  if (!window) return;
  if (!::IsWindow(window)) FailStep(step, "the window it acts on is gone");
  if (!Answers(window)) FailStep(step, Describe(window) + " does not answer within 5 s: its thread hangs or died");
}

void SmokeUser::WaitUntil(const std::string& step, const std::function<bool()>& done, HWND window,
                          const std::function<std::string()>& seen) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    CheckAlive(step, window);
    try {
      if (done()) return;
    } catch (const SmokeFailure& e) {
      FailStep(step, e.what());  // with the step's name and what is on the screen
    }
    if (::GetTickCount() - start > kLimitMs)
      FailStep(step, "not done within " + std::to_string(kLimitMs / 1000) + " s" + (seen ? "; saw " + seen() : ""));
    ::Sleep(kPollMs);
  }
}

void SmokeUser::WatchFor(const std::string& step, DWORD milliseconds, HWND window) {
  for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < milliseconds; ::Sleep(kPollMs))
    CheckAlive(step, window);
  CheckAlive(step, window);
}

DWORD SmokeUser::WaitForExit(const std::string& step) {
  const DWORD start = ::GetTickCount();
  while (client_.Running()) {
    if (::GetTickCount() - start > kLimitMs)
      FailStep(step, "the client still runs after " + std::to_string(kLimitMs / 1000) + " s");
    ::Sleep(kPollMs);
  }
  return client_.ExitCode();
}

HWND SmokeUser::WaitForWindow(const std::string& step, const wchar_t* class_name, const wchar_t* title) {
  HWND found = nullptr;
  WaitUntil(step + " (waiting for " + Utf8(class_name) + " '" + Utf8(title) + "')",
            [&] { return (found = FindShownWindow(client_.id(), class_name, title)) != nullptr; });
  CheckAlive(step, found);
  return found;
}

HWND SmokeUser::WaitForMessageBox(const std::string& step) {
  HWND box = nullptr;
  WaitUntil(step + " (waiting for a message box)",
            [&] { return (box = FindShownWindow(client_.id(), L"#32770")) != nullptr; });
  CheckAlive(step, box);
  return box;
}

void SmokeUser::WaitUntilGone(const std::string& step, HWND window) {
  WaitUntil(step + " (waiting until " + Describe(window) + " is gone)",
            [&] { return !::IsWindow(window) || !::IsWindowVisible(window); });
}

void SmokeUser::Click(const std::string& step, HWND window, POINT client_point) {
  CheckAlive(step, window);
  input::Click(ScreenPoint(window, client_point.x, client_point.y));
}

void SmokeUser::ClickInto(const std::string& step, HWND edit) {
  CheckAlive(step, edit);
  input::Click(CenterOf(edit));
  WaitUntil(step + " (waiting for the keyboard focus in " + Describe(edit) + ")",
            [&] { return FocusOfThreadOf(edit) == edit; }, edit);
}

void SmokeUser::TypeInto(const std::string& step, HWND edit, const std::wstring& text) {
  ClickInto(step, edit);
  input::PressKey('A', true);
  input::PressKey(VK_DELETE);
  std::wstring left;
  WaitUntil(step + " (waiting until Ctrl+A, Delete empty the field)", [&] { return (left = TextOf(edit)).empty(); },
            edit, [&] { return "'" + Utf8(left) + "'"; });
  input::TypeText(text);
  std::wstring seen;
  WaitUntil(step + " (waiting for the typed '" + Utf8(text) + "' in the field)",
            [&] { return (seen = TextOf(edit)) == text; }, edit, [&] { return "'" + Utf8(seen) + "'"; });
}

void SmokeUser::PressEnter(const std::string& step, HWND window) {
  CheckAlive(step, window);
  input::PressKey(VK_RETURN);
}

std::wstring SmokeUser::AnswerMessageBox(const std::string& step, HWND box, bool by_click) {
  CheckAlive(step, box);
  std::wstring text = MessageBoxText(box);
  if (by_click) {
    std::vector<HWND> buttons = ChildrenOfClass(box, L"Button");
    if (buttons.empty()) FailStep(step, "the message box has no button");
    CheckAlive(step, buttons.front());
    input::Click(CenterOf(buttons.front()));
  } else {
    // Enter goes to the active window: the box must have come to the front first.
    WaitUntil(step + " (waiting until the message box is active)", [&] {
      HWND active = nullptr;
      FocusOfThreadOf(box, &active);
      return active == box;
    }, box);
    input::PressKey(VK_RETURN);
  }
  WaitUntilGone(step, box);
  return text;
}

}  // namespace smoke
