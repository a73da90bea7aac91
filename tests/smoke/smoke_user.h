#pragma once
// A user at the desktop in front of one client process. It acts only with real input
// (desktop_input.h) and looks only from outside (window_probe.h). Every wait polls with a time
// limit and, on every round, checks that the client still runs and that the window acted on still
// answers: under Wine a dead UI thread leaves the process alive with frozen windows. A failure
// names the step, the client's windows, who has the keyboard, and saves a screenshot.
#include <windows.h>

#include <functional>
#include <string>

#include "client_process.h"

namespace smoke {

class SmokeUser {
 public:
  explicit SmokeUser(ClientProcess& client) : client_(client) {}

  ClientProcess& client() { return client_; }

  // Fails unless the client runs and `window` (if any) answers.
  void CheckAlive(const std::string& step, HWND window = nullptr);
  // Polls `done` until it holds; `window` is checked on every round. On time-out the failure
  // includes what `seen` tells of the last round.
  void WaitUntil(const std::string& step, const std::function<bool()>& done, HWND window = nullptr,
                 const std::function<std::string()>& seen = nullptr);
  // Keeps checking the client and `window` for a while, for steps whose effect is that nothing ends.
  void WatchFor(const std::string& step, DWORD milliseconds, HWND window);
  // Waits until the client has ended; returns its exit code.
  DWORD WaitForExit(const std::string& step);
  HWND WaitForWindow(const std::string& step, const wchar_t* class_name, const wchar_t* title);
  HWND WaitForMessageBox(const std::string& step);
  // Waits until the window is destroyed or hidden.
  void WaitUntilGone(const std::string& step, HWND window);

  // A left click on a point of the window's client area.
  void Click(const std::string& step, HWND window, POINT client_point);
  // Clicks into a native edit and waits until it holds the keyboard focus.
  void ClickInto(const std::string& step, HWND edit);
  // Clicks into the edit, empties it (Ctrl+A, Delete), types the text and waits until it is there.
  void TypeInto(const std::string& step, HWND edit, const std::wstring& text);
  void PressEnter(const std::string& step, HWND window);
  // Reads a message box, answers it with Enter (or a click on its button) and waits until it is
  // gone. Returns its text.
  std::wstring AnswerMessageBox(const std::string& step, HWND box, bool by_click);

 private:
  [[noreturn]] void FailStep(const std::string& step, const std::string& what);

  ClientProcess& client_;
};

}  // namespace smoke
