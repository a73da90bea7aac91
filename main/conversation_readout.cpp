#include "main/conversation_readout.h"

#include <algorithm>
#include <cstring>

namespace veltrinawnd {
namespace {

void Collect(DuiLib::CControlUI* control, std::wstring& out) {
  if (!control || !control->IsVisible()) return;
  if (auto* container = dynamic_cast<DuiLib::CContainerUI*>(control)) {
    for (int i = 0; i < container->GetCount(); ++i) Collect(container->GetItemAt(i), out);
    return;
  }
  const std::wstring text = control->GetText();
  if (text.empty()) return;
  out += text;
  out += L'\n';
}

LRESULT CALLBACK ReadoutProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* list = reinterpret_cast<DuiLib::CListUI*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(ConversationText(list).size());
    case WM_GETTEXT: {
      if (wparam == 0) return 0;
      const std::wstring text = ConversationText(list);
      const size_t copied = std::min(text.size(), static_cast<size_t>(wparam) - 1);
      auto* buffer = reinterpret_cast<wchar_t*>(lparam);
      std::memcpy(buffer, text.data(), copied * sizeof(wchar_t));
      buffer[copied] = L'\0';
      return static_cast<LRESULT>(copied);
    }
    case WM_SETTEXT:
      return FALSE;  // it only tells
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace

std::wstring ConversationText(DuiLib::CListUI* list) {
  std::wstring out;
  if (!list) return out;
  for (int i = 0; i < list->GetCount(); ++i) Collect(list->GetItemAt(i), out);
  return out;
}

HWND CreateConversationReadout(HWND parent, DuiLib::CListUI* list) {
  static const ATOM registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ReadoutProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kConversationReadoutClass;
    return RegisterClassExW(&wc);
  }();
  if (!registered) return nullptr;
  HWND hwnd = CreateWindowExW(0, kConversationReadoutClass, nullptr, WS_CHILD, 0, 0, 0, 0, parent, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (hwnd) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(list));
  return hwnd;
}

}  // namespace veltrinawnd
