#include "conversation/emoji_split.h"

#include <cstdint>
#include <optional>

#include "emoji/emoji_tables.h"

namespace veltrinawnd {
namespace {

// Codes are ASCII, so the narrowing is exact.
bool HasEmojiImage(const std::wstring& code) {
  std::string narrow(code.begin(), code.end());
  std::optional<std::uint32_t> cp = EmojiCodePointOfShortCode(narrow);
  return cp && EmojiImageStemOfCodePoint(*cp);
}

bool IsCodeChar(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_' || c == L'+' || c == L'-';
}

}  // namespace

EmojiSplit SplitEmojiCodes(const std::wstring& text, size_t max_codes) {
  EmojiSplit out;
  out.rest.reserve(text.size());
  size_t i = 0, copied = 0;
  while (i < text.size() && out.codes.size() < max_codes) {
    if (text[i] != L':') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && IsCodeChar(text[j])) ++j;
    if (j > i + 1 && j < text.size() && text[j] == L':') {
      // Only a code with a picture leaves the text. Anything else of that shape (the minutes
      // of "20:45:23", ":foo:") is the writer's own text and stays where it was written.
      std::wstring code = text.substr(i, j - i + 1);
      if (HasEmojiImage(code)) {
        out.codes.push_back(std::move(code));
        out.rest.append(text, copied, i - copied);
        copied = j + 1;
      }
      i = j + 1;
    } else {
      i = j;  // the next match can only start at the colon that ended this run, or later
    }
  }
  out.rest.append(text, copied, std::wstring::npos);
  return out;
}

}  // namespace veltrinawnd
