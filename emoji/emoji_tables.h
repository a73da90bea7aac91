#pragma once
// The two fixed emoji tables shared by the message renderer and the emoji picker:
//   short code (":smile:") -> Unicode code point (U+1F604),
//   code point             -> image stem ("emoji_1f604"), shown from "emoji/" + stem + ".png"
//                             relative to the skin folder.
// Their rows are compiled in (emoji/emoji_table_data.inc, generated from emoji/data/*.tsv by
// tools/emoji/gen_emoji_tables.py). Each table is built once, on first use, and is immutable
// afterwards, so any thread may read it.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace veltrinawnd {

// 842 rows, ordered by byte-wise comparison of the codes. Every code matches
// ":[a-z0-9_+-]+:" and names exactly one code point; some code points have several codes.
using EmojiShortCodeTable = std::map<std::string, std::uint32_t, std::less<>>;

// 824 rows, ascending code point order (U+00A9 .. U+1F6C5): the picker's order. The stem is
// "emoji_" + the code point in lower-case hex, at least four digits, except U+1F320 which is
// shown with the image of U+1F303 ("emoji_1f303"), so the table names 823 distinct files.
using EmojiImageTable = std::map<std::uint32_t, std::string>;

const EmojiShortCodeTable& EmojiShortCodes();
const EmojiImageTable& EmojiImages();

// Exact, case-sensitive lookup of a whole code, colons included: ":smile:" gives 0x1F604,
// ":Smile:" and ":smile" give nothing.
std::optional<std::uint32_t> EmojiCodePointOfShortCode(std::string_view short_code);

// The image stem of a code point, or nothing when the code point has no image.
std::optional<std::string> EmojiImageStemOfCodePoint(std::uint32_t code_point);

// The short code the picker writes for a code point: the short-code table is scanned in its
// order and the last code with that value wins, so of several aliases the one that sorts last
// is chosen (U+1F44D gives ":thumbsup:", not ":+1:"). Empty when no code names the code point
// (U+1F320, U+1F508, U+1F68B have images but no code).
std::string EmojiShortCodeOfCodePoint(std::uint32_t code_point);

// The image path of a stem relative to the skin folder: "emoji/" + stem + ".png".
std::string EmojiImageFile(std::string_view stem);

}  // namespace veltrinawnd
