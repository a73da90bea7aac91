#include "duilib/UIColor.h"

#include <cwchar>

namespace DuiLib {

std::uint32_t ParseColor(const wchar_t* text) {
  if (!text) return 0;
  while (*text == L' ') ++text;
  int base = 10;
  if (*text == L'#') {
    ++text;
    base = 16;
  } else if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    text += 2;
    base = 16;
  }
  const wchar_t* start = text;
  wchar_t* end = nullptr;
  unsigned long long value = std::wcstoull(start, &end, base);
  if (end == start) return 0;
  if (base == 16 && end - start <= 6) value |= 0xFF000000ULL;  // #RRGGBB is opaque
  return static_cast<std::uint32_t>(value & 0xFFFFFFFFULL);
}

}  // namespace DuiLib
