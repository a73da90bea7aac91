#include "ui_driver.h"

#include <cstdio>

#include <map>
#include <memory>

namespace testkit {
namespace {
std::map<UINT_PTR, UiDriver*>& Drivers() {
  static std::map<UINT_PTR, UiDriver*> drivers;
  return drivers;
}
}  // namespace

UiDriver::UiDriver() = default;

UiDriver::~UiDriver() {
  if (timer_) {
    KillTimer(nullptr, timer_);
    Drivers().erase(timer_);
  }
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
  Do("act on " + name, [cls, action] { action(FindVisibleWindow(cls.c_str())); });
  return *this;
}

void UiDriver::Start() {
  if (timer_) return;
  timer_ = SetTimer(nullptr, 0, 10, OnTimer);
  Drivers()[timer_] = this;
}

void CALLBACK UiDriver::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = Drivers().find(id);
  if (it != Drivers().end()) it->second->Tick();
}

void UiDriver::Tick() {
  if (!failure_.empty() || Done()) {
    if (timer_) {
      KillTimer(nullptr, timer_);
      Drivers().erase(timer_);
      timer_ = 0;
    }
    return;
  }
  Step& step = steps_[next_];
  // VELTRINA_TRACE_STEPS=1 names each step as it starts: a hung step is then easy to find.
  static const bool trace = GetEnvironmentVariableW(L"VELTRINA_TRACE_STEPS", nullptr, 0) > 0;
  if (trace && step.started == 0) std::fprintf(stderr, "step: %s\n", step.what.c_str());
  if (step.action) {
    // Move on before acting: the action may run a nested loop in which later steps continue.
    Action action = step.action;
    ++next_;
    action();
    return;
  }
  if (in_tick_) return;
  in_tick_ = true;
  if (step.started == 0) step.started = GetTickCount() | 1;
  bool ok = step.condition();
  in_tick_ = false;
  if (ok) {
    ++next_;
    return;
  }
  if (static_cast<int>(GetTickCount() - step.started) > step.timeout_ms) {
    failure_ = "timed out waiting for: " + step.what;
    PostQuitMessage(1);
  }
}

bool PumpUntil(const std::function<bool()>& condition, int timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (static_cast<int>(GetTickCount() - start) > timeout_ms) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return condition();
      }
      if (!DuiLib::CPaintManagerUI::TranslateMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (condition()) return true;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void PumpFor(int milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

namespace {
struct FindState {
  const wchar_t* cls;
  HWND found;
  int count;
  bool all = false;  // count every window of the class instead of stopping at the first
};
BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<FindState*>(lp);
  if (!IsWindowVisible(hwnd)) return TRUE;
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 255);
  if (state->cls == nullptr) {
    // Count the client's own windows (skip Wine's helper and tool-tip windows).
    if (DuiLib::CPaintManagerUI::FromWindow(hwnd) || wcscmp(name, L"#32770") == 0) ++state->count;
    return TRUE;
  }
  if (wcscmp(name, state->cls) == 0) {
    state->found = hwnd;
    ++state->count;
    return state->all ? TRUE : FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindVisibleWindow(const wchar_t* window_class) {
  FindState state{window_class, nullptr, 0};
  EnumThreadWindows(GetCurrentThreadId(), FindProc, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

int CountVisibleWindows(const wchar_t* window_class) {
  FindState state{window_class, nullptr, 0, true};
  EnumThreadWindows(GetCurrentThreadId(), FindProc, reinterpret_cast<LPARAM>(&state));
  return state.count;
}

int CountVisibleTopLevelWindows() {
  FindState state{nullptr, nullptr, 0};
  EnumThreadWindows(GetCurrentThreadId(), FindProc, reinterpret_cast<LPARAM>(&state));
  return state.count;
}

DuiLib::CPaintManagerUI* ManagerOf(HWND hwnd) { return DuiLib::CPaintManagerUI::FromWindow(hwnd); }

DuiLib::CControlUI* FindControl(HWND hwnd, const wchar_t* name) {
  DuiLib::CPaintManagerUI* pm = ManagerOf(hwnd);
  return pm ? pm->FindControl(name) : nullptr;
}

bool ClickControl(HWND hwnd, const wchar_t* name) {
  DuiLib::CControlUI* c = FindControl(hwnd, name);
  if (!c || !c->IsVisible()) return false;
  ManagerOf(hwnd)->UpdateLayout();
  RECT rc = c->GetPos();
  LPARAM pt = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, pt);
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, pt);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, pt);
  return true;
}

bool NotifyControl(HWND hwnd, const wchar_t* name, const wchar_t* type) {
  DuiLib::CControlUI* c = FindControl(hwnd, name);
  if (!c) return false;
  ManagerOf(hwnd)->SendNotify(c, type);
  return true;
}

bool SetControlText(HWND hwnd, const wchar_t* name, const std::wstring& text) {
  DuiLib::CControlUI* c = FindControl(hwnd, name);
  if (!c) return false;
  c->SetText(text);
  return true;
}

}  // namespace testkit
