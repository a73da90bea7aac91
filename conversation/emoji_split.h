#pragma once
// Emoji codes out of a message's rich text, for the strip of pictures above it.
#include <cstddef>
#include <string>
#include <vector>

namespace veltrinawnd {

// The emoji codes of rich text that have a picture, left to right and non-overlapping as
// ":[a-z0-9_+-]+:" matches, and the text without them. Matches without a picture stay in the
// text where they are. Past max_codes the remaining codes stay in the text.
struct EmojiSplit {
  std::vector<std::wstring> codes;
  std::wstring rest;
};
EmojiSplit SplitEmojiCodes(const std::wstring& rich, size_t max_codes = 200);

}  // namespace veltrinawnd
