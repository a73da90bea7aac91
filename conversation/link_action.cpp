#include <algorithm>
#include <cwctype>

#include "app/system_seam.h"
#include "conversation/markup.h"
#include "veltrina/log.h"

namespace veltrinawnd {

namespace {

// "mailto:" and the address alone: parameters ("?attach=C:\...", "&body=", "cc=") would let a
// message attach local files or add recipients. Empty when the address is no plain address:
// control characters, blanks, quotes, "%" (an encoded "?" would bring the parameters back) or "&".
std::wstring MailAddressOnly(const std::wstring& value) {
  const size_t query = value.find(L'?');
  std::wstring address = value.substr(7, query == std::wstring::npos ? std::wstring::npos : query - 7);
  if (address.empty()) return {};
  for (wchar_t c : address)
    if (c <= L' ' || c == 0x7F || c == L'"' || c == L'\'' || c == L'`' || c == L'%' || c == L'&') return {};
  return L"mailto:" + address;
}

}  // namespace

int PerformLinkAction(const std::wstring& link_text) {
  std::wstring value;
  int kind = DecodeLink(link_text, &value);
  if (kind != kLinkWeb) return kind;
  std::wstring lower = value.substr(0, 7);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
  if (lower == L"mailto:") {
    std::wstring mail = MailAddressOnly(value);
    if (mail.empty()) veltrina::log("Refused to open a mail link that is no plain address");
    else System().ShellOpen(nullptr, mail, SW_SHOWNORMAL);
    return kind;
  }
  OpenWebAddress(value);  // refuses (and logs) anything but absolute http and https addresses
  return kind;
}

}  // namespace veltrinawnd
