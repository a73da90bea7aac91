#include <algorithm>
#include <cwctype>

#include "app/storage.h"
#include "app/system_seam.h"
#include "conversation/markup.h"

namespace veltrinawnd {

int PerformLinkAction(const std::wstring& link_text) {
  std::wstring value;
  int kind = DecodeLink(link_text, &value);
  if (kind != kLinkWeb) return kind;
  std::wstring lower = value;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
  if (lower.rfind(L"mailto:", 0) == 0 && value.size() > 7 && value.find_first_of(L"\r\n\"") == std::wstring::npos) {
    System().ShellOpen(nullptr, value, SW_SHOWNORMAL);
    return kind;
  }
  OpenWebAddress(value);  // refuses (and logs) anything but absolute http and https addresses
  return kind;
}

}  // namespace veltrinawnd
