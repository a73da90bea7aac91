// The UTF-8 <-> UTF-16 conversions of app/storage.h for the native fuzz build. On Windows they
// call MultiByteToWideChar / WideCharToMultiByte; here they do the same by hand: read up to the
// first zero, one UTF-16 code unit per std::wstring element, and U+FFFD for each byte (or lone
// surrogate) that is not well-formed, as Windows does.
#include "app/storage.h"

#include <cstring>
#include <cwchar>

namespace veltrinawnd {

std::wstring Utf8ToUtf16(const std::string& utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.c_str());
  size_t len = std::strlen(utf8.c_str());
  std::wstring out;
  for (size_t i = 0; i < len;) {
    unsigned c = s[i];
    size_t n = c < 0x80 ? 0 : (c >= 0xC2 && c <= 0xDF) ? 1 : (c >= 0xE0 && c <= 0xEF) ? 2 : (c >= 0xF0 && c <= 0xF4) ? 3 : 9;
    unsigned cp = n == 0 ? c : n == 1 ? (c & 0x1F) : n == 2 ? (c & 0x0F) : (c & 0x07);
    bool ok = n != 9;
    for (size_t k = 1; ok && k <= n; ++k) {
      if (i + k >= len || (s[i + k] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (ok && ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) {
      out += L'\xFFFD';
      ++i;
      continue;
    }
    i += n + 1;
    if (cp >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::wstring& utf16) {
  size_t len = std::wcslen(utf16.c_str());
  std::string out;
  for (size_t i = 0; i < len; ++i) {
    auto cp = static_cast<unsigned>(utf16[i]) & 0xFFFF;
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < len && (utf16[i + 1] & 0xFC00) == 0xDC00) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<unsigned>(utf16[++i]) & 0x3FF);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace veltrinawnd
