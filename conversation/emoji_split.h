#pragma once
// Emoji codes out of a message's text, for the strip of pictures before it. Only the plain
// stretches of a message are scanned (markup.h, MarkupAndEmojiOfItems): never an address.
#include <cstddef>
#include <string>
#include <vector>

namespace veltrinawnd {

// The emoji codes of a text that have a picture, left to right and non-overlapping as
// ":[a-z0-9_+-]+:" matches, and the text without them. Matches without a picture stay in the
// text where they are. Past max_codes the remaining codes stay in the text.
struct EmojiSplit {
  std::vector<std::wstring> codes;
  std::wstring rest;
};
EmojiSplit SplitEmojiCodes(const std::wstring& text, size_t max_codes = 200);

}  // namespace veltrinawnd
