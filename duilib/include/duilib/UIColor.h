#pragma once
// Colours as the skins and the text markup write them.
#include <cstdint>

namespace DuiLib {

// "#AARRGGBB", "#RRGGBB", "0xAARRGGBB" or decimal; unparsable text gives 0. ARGB.
std::uint32_t ParseColor(const wchar_t* text);

}  // namespace DuiLib
