#include "emoji/emoji_tables.h"

namespace veltrinawnd {
namespace {

struct ShortCodeRow {
  const char* code;
  std::uint32_t code_point;
};

struct ImageRow {
  std::uint32_t code_point;
  const char* stem;
};

// kShortCodeRows and kImageRows.
#include "emoji/emoji_table_data.inc"

// Each table is made by inserting its rows, in list order, into an empty map; a key that is
// already present keeps its first value (the lists hold no duplicate keys).
EmojiShortCodeTable BuildShortCodes() {
  EmojiShortCodeTable table;
  for (const ShortCodeRow& row : kShortCodeRows) table.emplace(row.code, row.code_point);
  return table;
}

EmojiImageTable BuildImages() {
  EmojiImageTable table;
  for (const ImageRow& row : kImageRows) table.emplace(row.code_point, row.stem);
  return table;
}

}  // namespace

const EmojiShortCodeTable& EmojiShortCodes() {
  static const EmojiShortCodeTable table = BuildShortCodes();
  return table;
}

const EmojiImageTable& EmojiImages() {
  static const EmojiImageTable table = BuildImages();
  return table;
}

std::optional<std::uint32_t> EmojiCodePointOfShortCode(std::string_view short_code) {
  const EmojiShortCodeTable& table = EmojiShortCodes();
  auto it = table.find(short_code);
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> EmojiImageStemOfCodePoint(std::uint32_t code_point) {
  const EmojiImageTable& table = EmojiImages();
  auto it = table.find(code_point);
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::string EmojiShortCodeOfCodePoint(std::uint32_t code_point) {
  // A plain scan in table order: later rows overwrite earlier ones, so the alias that sorts
  // last wins. 842 rows, only on a click in the picker.
  std::string found;
  for (const auto& [code, value] : EmojiShortCodes()) {
    if (value == code_point) found = code;
  }
  return found;
}

std::string EmojiImageFile(std::string_view stem) {
  std::string path = "emoji/";
  path += stem;
  path += ".png";
  return path;
}

}  // namespace veltrinawnd
