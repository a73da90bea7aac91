#pragma once
// Drives windows from inside their modal loops: queued steps run one at a time from a thread timer, which every
// modal loop (ours, message boxes, menus) dispatches. A step waits for a condition (failing after its time-out) or
// acts; an action may run a nested modal loop, and the following steps go on inside it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "duilib/UIlib.h"

namespace testkit {

class UiDriver {
 public:
  using Condition = std::function<bool()>;
  using Action = std::function<void()>;
  UiDriver() = default;
  ~UiDriver();
  UiDriver(const UiDriver&) = delete;
  UiDriver& operator=(const UiDriver&) = delete;

  UiDriver& WaitFor(const std::string& what, Condition condition, int timeout_ms = 5000);
  UiDriver& Do(const std::string& what, Action action);
  // Lets the loops run a while (pumping inside an action would run the following steps inside it).
  UiDriver& Pause(int milliseconds);
  // Waits for a visible top-level window of this class, then runs the action with it.
  UiDriver& OnWindow(const wchar_t* window_class, std::function<void(HWND)> action, int timeout_ms = 5000);
  void Start();  // runs the steps from the next timer tick (every 10 ms)
  bool Done() const { return next_ >= steps_.size(); }
  // Empty when every step ran; otherwise which step failed. A failure ends every modal loop.
  const std::string& Failure() const { return failure_; }

 private:
  struct Step {
    std::string what;
    Condition condition;
    Action action;
    int timeout_ms = 0;
    DWORD started = 0;
  };
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Tick();

  std::vector<Step> steps_;
  size_t next_ = 0;
  UINT_PTR timer_ = 0;
  std::string failure_;
  bool in_tick_ = false;
};

// Pumps this thread's messages through the toolkit until the condition holds or the time runs out.
bool PumpUntil(const std::function<bool()>& condition, int timeout_ms = 5000);
void PumpFor(int milliseconds);
// Visible top-level windows of this thread: the first of a class, all of ours, all of a class.
HWND FindVisibleWindow(const wchar_t* window_class);
int CountVisibleTopLevelWindows();
int CountVisibleWindows(const wchar_t* window_class);
DuiLib::CPaintManagerUI* ManagerOf(HWND hwnd);
DuiLib::CControlUI* FindControl(HWND hwnd, const wchar_t* name);
template <typename T>
T* FindControlAs(HWND hwnd, const wchar_t* name) {
  return dynamic_cast<T*>(FindControl(hwnd, name));
}
// Posts a real left click at the control's centre (handled when messages are next pumped).
bool ClickControl(HWND hwnd, const wchar_t* name);
bool NotifyControl(HWND hwnd, const wchar_t* name, const wchar_t* type);  // as the control would
bool SetControlText(HWND hwnd, const wchar_t* name, const std::wstring& text);

}  // namespace testkit
