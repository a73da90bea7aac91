#pragma once
// Shared helpers of the toolkit's tests: a skinned window built from inline XML that records
// its notifications, message pumping, log capture and scratch files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "duilib/UIlib.h"

namespace duitest {

using namespace DuiLib;

struct Seen {
  CDuiString type;
  CControlUI* sender = nullptr;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  POINT pt{};
};

// Runs every queued message through the toolkit's own loop path.
inline void Pump(int rounds = 3) {
  for (int r = 0; r < rounds; ++r) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Never swallow a quit that a test did not expect: leave it for the test to see.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      if (!CPaintManagerUI::TranslateMessage(&msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    if (r + 1 < rounds) Sleep(1);
  }
}

// Collects what SetLogHandler reports while alive.
class LogCapture {
 public:
  LogCapture() {
    SetLogHandler([this](const std::wstring& line) { lines.push_back(line); });
  }
  ~LogCapture() { SetLogHandler(nullptr); }
  bool Contains(const std::wstring& a, const std::wstring& b = L"", const std::wstring& c = L"") const {
    for (const auto& l : lines)
      if (l.find(a) != std::wstring::npos && l.find(b) != std::wstring::npos && l.find(c) != std::wstring::npos)
        return true;
    return false;
  }
  std::wstring All() const {
    std::wstring all;
    for (const auto& l : lines) all += l + L"\n";
    return all;
  }
  std::vector<std::wstring> lines;
};

inline std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// A fresh folder under the temp path, removed (files only) when the helper goes.
class ScratchDir {
 public:
  ScratchDir() {
    wchar_t tmp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, tmp);
    static int counter = 0;
    path = std::wstring(tmp) + L"duitest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(++counter) + L"\\";
    CreateDirectoryW(path.c_str(), nullptr);
  }
  ~ScratchDir() {
    for (const auto& f : files) DeleteFileW(f.c_str());
    RemoveDirectoryW(path.c_str());
  }
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    std::wstring full = path + name;
    HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (h != INVALID_HANDLE_VALUE) {
      WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      CloseHandle(h);
    }
    files.push_back(full);
    return full;
  }
  std::wstring path;
  std::vector<std::wstring> files;
};

// A borderless window whose skin is inline XML; every notification is recorded.
class SkinWindow : public WindowImplBase {
 public:
  explicit SkinWindow(std::wstring skin) : m_skin(std::move(skin)) {}
  ~SkinWindow() override { Destroy(); }

  bool Open(int w = 400, int h = 300, HWND parent = nullptr) {
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    // Shown without activation: Wine without a window manager waits seconds to unmap
    // windows that were ever active.
    Create(parent, L"duitest", WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW, 0, 0, w, h);
    if (!GetHWND()) return false;
    ::ShowWindow(GetHWND(), SW_SHOWNOACTIVATE);
    UpdateWindow(GetHWND());
    Pump();
    return true;
  }
  void Destroy() {
    if (GetHWND() && IsWindow(GetHWND())) DestroyWindow(GetHWND());
  }
  CPaintManagerUI& PM() { return m_PaintManager; }
  template <class T = CControlUI>
  T* Find(const wchar_t* name) {
    return static_cast<T*>(m_PaintManager.FindControl(name));
  }
  void Layout() { m_PaintManager.UpdateLayout(); }
  int Count(const wchar_t* type) const {
    int n = 0;
    for (const auto& s : seen)
      if (s.type == type) ++n;
    return n;
  }
  const Seen* Last(const wchar_t* type) const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it)
      if (it->type == type) return &*it;
    return nullptr;
  }
  std::vector<CDuiString> Types() const {
    std::vector<CDuiString> t;
    for (const auto& s : seen) t.push_back(s.type);
    return t;
  }

  void Notify(TNotifyUI& msg) override {
    seen.push_back({msg.sType, msg.pSender, msg.wParam, msg.lParam, msg.ptMouse});
    if (onNotify) onNotify(msg);
    WindowImplBase::Notify(msg);
  }

  // Mouse input as Windows delivers it to the window, at client coordinates.
  void Click(POINT pt) {
    SendWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
    SendWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    SendWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    Pump();
  }
  void RightClick(POINT pt) {
    SendWindowMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(pt.x, pt.y));
    SendWindowMessage(WM_RBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    Pump();
  }

  std::vector<Seen> seen;
  std::function<void(TNotifyUI&)> onNotify;

 protected:
  CDuiString GetSkinFolder() override { return L""; }
  CDuiString GetSkinFile() override { return m_skin; }
  const wchar_t* GetWindowClassName() const override { return L"DuiTestWindow"; }

  std::wstring m_skin;
};

inline POINT Center(const RECT& rc) { return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }

inline std::wstring Rect(const RECT& rc) {
  return L"{" + std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," + std::to_wstring(rc.right) +
         L"," + std::to_wstring(rc.bottom) + L"}";
}

}  // namespace duitest

#define EXPECT_RECT(rc, l, t, r, b) \
  EXPECT_EQ(duitest::Narrow(duitest::Rect(rc)), duitest::Narrow(duitest::Rect(RECT{l, t, r, b})))
