#pragma once
// Shared helpers of the toolkit's tests: a skinned window from inline XML that records its notifications,
// message pumping, log capture, scratch files, encoded pictures and painted pixels.
#include <gtest/gtest.h>
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <stb/stb_image_write.h>  // implemented in render_test.cpp
#pragma GCC diagnostic pop

#include <algorithm>
#include <string>
#include <vector>

#include "duilib/UIlib.h"

namespace duitest {

using namespace DuiLib;

// Runs every queued message through the toolkit's own loop path; a quit is left for the test to see.
inline void Pump(int rounds = 3) {
  for (int r = 0; r < rounds; ++r, Sleep(r < rounds ? 1 : 0)) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return PostQuitMessage(static_cast<int>(msg.wParam));
      if (!CPaintManagerUI::TranslateMessage(&msg)) ::TranslateMessage(&msg), ::DispatchMessageW(&msg);
    }
  }
}

// Collects what SetLogHandler reports while alive.
struct LogCapture {
  LogCapture() { SetLogHandler([this](const std::wstring& line) { lines.push_back(line); }); }
  ~LogCapture() { SetLogHandler(nullptr); }
  bool Contains(const std::wstring& a, const std::wstring& b = L"") const {
    return std::any_of(lines.begin(), lines.end(), [&](auto& l) { return l.find(a) != l.npos && l.find(b) != l.npos; });
  }
  std::wstring All() const {
    std::wstring all;
    for (const auto& l : lines) all += l + L"\n";
    return all;
  }
  std::vector<std::wstring> lines;
};

// A fresh folder under the temp path, removed (files only) when the helper goes.
struct ScratchDir {
  ScratchDir() {
    static int counter = 0;
    wchar_t tmp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, tmp);
    path = tmp + (L"duitest_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter) + L"\\");
    CreateDirectoryW(path.c_str(), nullptr);
  }
  ~ScratchDir() {
    for (const auto& f : files) DeleteFileW(f.c_str());
    RemoveDirectoryW(path.c_str());
  }
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    files.push_back(path + name);
    HANDLE h = CreateFileW(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return files.back();
  }
  std::wstring path;
  std::vector<std::wstring> files;
};

// An outside picture once the cache's decoder has finished with it: asks, waits for the decoder,
// asks again. Null when it failed or was refused (or is still deferred for memory after a while).
inline std::shared_ptr<const TImageInfo> Decoded(CImageCache& cache, const std::wstring& path) {
  for (int round = 0; round < 100; ++round) {
    if (auto image = cache.Get(path)) return image;
    if (cache.StatusOf(path) == CImageCache::Status::Failed) return nullptr;
    if (!cache.WaitForDecodes() || cache.StatusOf(path) == CImageCache::Status::Deferred) Sleep(20);
  }
  return nullptr;
}

struct Seen { CDuiString type; CControlUI* sender; WPARAM wParam; LPARAM lParam; POINT pt; };

// A borderless window whose skin is inline XML; every notification is recorded.
class SkinWindow : public WindowImplBase {
 public:
  explicit SkinWindow(std::wstring skin) : m_skin(std::move(skin)) {}
  ~SkinWindow() override { DestroyWindow(GetHWND()); }
  // Shown without activation: Wine without a window manager waits seconds to unmap windows that were ever active.
  bool Open(int w = 400, int h = 300, HWND parent = nullptr) {
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    Create(parent, L"duitest", WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW, 0, 0, w, h);
    if (!GetHWND()) return false;
    ::ShowWindow(GetHWND(), SW_SHOWNOACTIVATE);
    UpdateWindow(GetHWND());
    Pump();
    return true;
  }
  CPaintManagerUI& PM() { return m_PaintManager; }
  template <class T = CControlUI>
  T* Find(const wchar_t* name) { return static_cast<T*>(m_PaintManager.FindControl(name)); }
  void Layout() { m_PaintManager.UpdateLayout(); }
  int Count(const wchar_t* type) const {
    return static_cast<int>(std::count_if(seen.begin(), seen.end(), [&](const Seen& s) { return s.type == type; }));
  }
  const Seen* Last(const wchar_t* type) const {
    auto it = std::find_if(seen.rbegin(), seen.rend(), [&](const Seen& s) { return s.type == type; });
    return it == seen.rend() ? nullptr : &*it;
  }
  std::vector<CDuiString> Types(std::initializer_list<const wchar_t*> only = {}) const {
    std::vector<CDuiString> t;
    for (const auto& s : seen)
      if (only.size() == 0 || std::find(only.begin(), only.end(), s.type) != only.end()) t.push_back(s.type);
    return t;
  }
  void Notify(TNotifyUI& msg) override {
    seen.push_back({msg.sType, msg.pSender, msg.wParam, msg.lParam, msg.ptMouse});
    if (onNotify) onNotify(msg);
    WindowImplBase::Notify(msg);
  }
  // Mouse input as Windows delivers it to the window, at client coordinates.
  void Click(POINT pt, std::initializer_list<UINT> messages = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}) {
    for (UINT m : messages) SendWindowMessage(m, m == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(pt.x, pt.y));
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

// The window's control tree painted off screen by the toolkit's own paint routine, as 0xRRGGBB.
inline std::vector<DWORD> Painted(SkinWindow& w, int width, int height) {
  BITMAPINFO bmi{};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  w.PM().Render(dc, RECT{0, 0, width, height});
  GdiFlush();
  std::vector<DWORD> px(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + width * height);
  for (DWORD& p : px) p &= 0xFFFFFF;
  SelectObject(dc, old), DeleteObject(bmp), DeleteDC(dc);
  return px;
}

inline void AppendBytes(void* out, void* data, int size) { static_cast<std::string*>(out)->append(static_cast<char*>(data), size); }

inline std::string EncodePng(int w, int h, const std::vector<unsigned char>& rgba) {
  std::string out;
  stbi_write_png_to_func(AppendBytes, &out, w, h, 4, rgba.data(), w * 4);
  return out;
}

// An opaque 10 by 10 picture of one colour.
inline std::string SolidPng(unsigned char r, unsigned char b) {
  std::vector<unsigned char> rgba(10 * 10 * 4, 255);
  for (size_t i = 0; i < rgba.size(); i += 4) rgba[i] = r, rgba[i + 1] = 0, rgba[i + 2] = b;
  return EncodePng(10, 10, rgba);
}

inline POINT Center(const RECT& rc) { return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }

// Appends n rows 30 pixels high, each holding a label when asked.
inline void AddRows(CListUI* list, int n, bool labels = false) {
  for (int i = 0; i < n; ++i) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(30);
    if (labels) row->Add(new CLabelUI);
    list->Add(row);
  }
}

inline std::string Rect(const RECT& rc) {
  return std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) + "," + std::to_string(rc.bottom);
}

}  // namespace duitest

using namespace duitest;

#define EXPECT_RECT(rc, l, t, r, b) EXPECT_EQ(duitest::Rect(rc), duitest::Rect(RECT{l, t, r, b}))
