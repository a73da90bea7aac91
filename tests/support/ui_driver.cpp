#include "ui_driver.h"

#include <cstdio>
#include <map>
#include <memory>

namespace testkit {
namespace {

std::map<UINT_PTR, UiDriver*> drivers;

// Visible top-level windows of this thread: of this class, or (null) the client's own, leaving out Wine's helper
// and tool-tip windows. Stops at the first unless `all`.
int VisibleWindows(const wchar_t* cls, HWND* first, bool all) {
  struct State {
    const wchar_t* cls;
    HWND* first;
    bool all;
    int count;
  } state{cls, first, all, 0};
  EnumThreadWindows(GetCurrentThreadId(), [](HWND hwnd, LPARAM lp) -> BOOL {
    auto* s = reinterpret_cast<State*>(lp);
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 255);
    const bool ours = DuiLib::CPaintManagerUI::FromWindow(hwnd) || wcscmp(name, L"#32770") == 0;
    if (!IsWindowVisible(hwnd) || (s->cls ? wcscmp(name, s->cls) != 0 : !ours)) return TRUE;
    if (s->first) *s->first = hwnd;
    ++s->count;
    return s->all;
  }, reinterpret_cast<LPARAM>(&state));
  return state.count;
}

}  // namespace

UiDriver::~UiDriver() {
  if (timer_) KillTimer(nullptr, timer_), drivers.erase(timer_);
}

UiDriver& UiDriver::WaitFor(const std::string& what, Condition condition, int timeout_ms) {
  steps_.push_back({what, std::move(condition), nullptr, timeout_ms, 0});
  return *this;
}

UiDriver& UiDriver::Do(const std::string& what, Action action) {
  steps_.push_back({what, nullptr, std::move(action), 0, 0});
  return *this;
}

UiDriver& UiDriver::Pause(int milliseconds) {
  auto started = std::make_shared<DWORD>(0);
  return WaitFor("pause", [started, milliseconds] {
    if (*started == 0) *started = GetTickCount() | 1;
    return static_cast<int>(GetTickCount() - *started) >= milliseconds;
  }, milliseconds + 5000);
}

UiDriver& UiDriver::OnWindow(const wchar_t* window_class, std::function<void(HWND)> action, int timeout_ms) {
  std::wstring cls = window_class;
  std::string name(cls.begin(), cls.end());
  WaitFor("window " + name, [cls] { return FindVisibleWindow(cls.c_str()) != nullptr; }, timeout_ms);
  return Do("act on " + name, [cls, action] { action(FindVisibleWindow(cls.c_str())); });
}

void UiDriver::Start() {
  if (!timer_) drivers[timer_ = SetTimer(nullptr, 0, 10, OnTimer)] = this;
}

void CALLBACK UiDriver::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (auto it = drivers.find(id); it != drivers.end()) it->second->Tick();
}

void UiDriver::Tick() {
  if (!failure_.empty() || Done()) {
    if (timer_) KillTimer(nullptr, timer_), drivers.erase(timer_), timer_ = 0;
    return;
  }
  Step& step = steps_[next_];
  // VELTRINA_TRACE_STEPS=1 names each step as it starts: a hung step is then easy to find.
  static const bool trace = GetEnvironmentVariableW(L"VELTRINA_TRACE_STEPS", nullptr, 0) > 0;
  if (trace && step.started == 0) std::fprintf(stderr, "step: %s\n", step.what.c_str());
  if (step.action) {  // move on first: the action may run a nested loop in which later steps continue
    Action action = step.action;
    ++next_;
    return action();
  }
  if (in_tick_) return;
  in_tick_ = true;
  if (step.started == 0) step.started = GetTickCount() | 1;
  const bool ok = step.condition();
  in_tick_ = false;
  if (ok) {
    ++next_;
  } else if (static_cast<int>(GetTickCount() - step.started) > step.timeout_ms) {
    failure_ = "timed out waiting for: " + step.what;
    PostQuitMessage(1);
  }
}

bool PumpUntil(const std::function<bool()>& condition, int timeout_ms) {
  for (DWORD start = GetTickCount();; MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT)) {
    if (condition()) return true;
    if (static_cast<int>(GetTickCount() - start) > timeout_ms) return false;
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that waits for it
        return condition();
      }
      if (!DuiLib::CPaintManagerUI::TranslateMessage(&msg)) TranslateMessage(&msg), DispatchMessageW(&msg);
      if (condition()) return true;
    }
  }
}

void PumpFor(int milliseconds) { PumpUntil([] { return false; }, milliseconds); }

HWND FindVisibleWindow(const wchar_t* window_class) {
  HWND found = nullptr;
  VisibleWindows(window_class, &found, false);
  return found;
}

int CountVisibleWindows(const wchar_t* window_class) { return VisibleWindows(window_class, nullptr, true); }
int CountVisibleTopLevelWindows() { return VisibleWindows(nullptr, nullptr, true); }
DuiLib::CPaintManagerUI* ManagerOf(HWND hwnd) { return DuiLib::CPaintManagerUI::FromWindow(hwnd); }

DuiLib::CControlUI* FindControl(HWND hwnd, const wchar_t* name) {
  DuiLib::CPaintManagerUI* pm = ManagerOf(hwnd);
  return pm ? pm->FindControl(name) : nullptr;
}

bool ClickControl(HWND hwnd, const wchar_t* name) {
  DuiLib::CControlUI* c = FindControl(hwnd, name);
  if (!c || !c->IsVisible()) return false;
  ManagerOf(hwnd)->UpdateLayout();
  const RECT rc = c->GetPos();
  const LPARAM pt = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  for (auto [m, w] : {std::pair<UINT, WPARAM>{WM_MOUSEMOVE, 0}, {WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}})
    PostMessageW(hwnd, m, w, pt);
  return true;
}

bool NotifyControl(HWND hwnd, const wchar_t* name, const wchar_t* type) {
  DuiLib::CControlUI* c = FindControl(hwnd, name);
  return c && (ManagerOf(hwnd)->SendNotify(c, type), true);
}

bool SetControlText(HWND hwnd, const wchar_t* name, const std::wstring& text) {
  DuiLib::CControlUI* c = FindControl(hwnd, name);
  return c && (c->SetText(text), true);
}

}  // namespace testkit
