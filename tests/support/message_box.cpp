#include "message_box.h"

namespace testkit {
namespace {

bool HasClass(HWND hwnd, const wchar_t* cls) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  return _wcsicmp(name, cls) == 0;
}

}  // namespace

HWND FindMessageBox(DWORD thread_id) {
  HWND found = nullptr;
  EnumThreadWindows(thread_id ? thread_id : GetCurrentThreadId(), [](HWND hwnd, LPARAM lp) -> BOOL {
    if (IsWindowVisible(hwnd) && HasClass(hwnd, L"#32770")) *reinterpret_cast<HWND*>(lp) = hwnd;
    return !*reinterpret_cast<HWND*>(lp);
  }, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  EnumChildWindows(box, [](HWND hwnd, LPARAM lp) -> BOOL {
    auto* out = reinterpret_cast<std::wstring*>(lp);
    if (HasClass(hwnd, L"Static")) *out = WindowTitle(hwnd);
    return out->empty();
  }, reinterpret_cast<LPARAM>(&text));
  return text;
}

std::wstring WindowTitle(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

void AnswerMessageBox(HWND box, int button_id) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), 0); }

}  // namespace testkit
