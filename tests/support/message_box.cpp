#include "message_box.h"

namespace testkit {
namespace {

struct Search {
  HWND found = nullptr;
};

BOOL CALLBACK FindBoxProc(HWND hwnd, LPARAM lp) {
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (IsWindowVisible(hwnd) && wcscmp(cls, L"#32770") == 0) {
    reinterpret_cast<Search*>(lp)->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

struct TextSearch {
  std::wstring text;
};

BOOL CALLBACK FindTextProc(HWND hwnd, LPARAM lp) {
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (_wcsicmp(cls, L"Static") != 0) return TRUE;
  std::wstring text = WindowTitle(hwnd);
  if (text.empty()) return TRUE;
  reinterpret_cast<TextSearch*>(lp)->text = text;
  return FALSE;
}

}  // namespace

HWND FindMessageBox(DWORD thread_id) {
  Search search;
  EnumThreadWindows(thread_id ? thread_id : GetCurrentThreadId(), FindBoxProc, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring MessageBoxText(HWND box) {
  TextSearch search;
  EnumChildWindows(box, FindTextProc, reinterpret_cast<LPARAM>(&search));
  return search.text;
}

std::wstring WindowTitle(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

void AnswerMessageBox(HWND box, int button_id) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), 0);
}

}  // namespace testkit
