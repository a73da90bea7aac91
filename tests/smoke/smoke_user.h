#pragma once
// A user at the desktop in front of one client process: acts only with real input (SendInput: it
// goes wherever focus and activation send it), looks only from outside. Every wait polls with a
// time limit and checks on every round that the client still runs and the window acted on still
// answers: under Wine a dead UI thread leaves the process alive with frozen windows. A failure
// names the step, the client's windows and who has the keyboard, and saves a screenshot.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "client_process.h"

namespace smoke {

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

  // At a screen point, or at a point of the window's client area.
  void Click(POINT screen, bool right = false);
  void Click(const std::string& step, HWND window, POINT client_point);
  // Clicks into a native edit, waits for the focus there, empties it (Ctrl+A, Delete), types the
  // text and waits until the edit holds it.
  void TypeInto(const std::string& step, HWND edit, const std::wstring& text);
  void PressEnter(const std::string& step, HWND window);
  // Waits until the box is active, answers it with Enter, waits until it is gone; returns its text.
  std::wstring AnswerMessageBox(const std::string& step, HWND box);

 private:
  [[noreturn]] void FailStep(const std::string& step, const std::string& what);

  ClientProcess& client_;
};

// The window's text by WM_GETTEXT; throws when the window does not answer.
std::wstring TextOf(HWND hwnd);
// Child windows (at any depth) of this class.
std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* class_name);
// The screen's pixels in a rectangle, 0x00RRGGBB row by row.
std::vector<uint32_t> CaptureScreen(RECT screen);

}  // namespace smoke
