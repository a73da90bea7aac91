#pragma once
// The toolkit's string: UTF-16 code units. It needs no Windows header, so the parsers built on
// it (skin XML, text markup, colours) also compile natively; there, where wchar_t is 32 bits wide,
// each element still holds one UTF-16 code unit.
#include <string>

namespace DuiLib {

using CDuiString = std::wstring;

}  // namespace DuiLib
