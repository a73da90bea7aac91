// The emoji code scan: every code taken out has a picture, and the rest plus the codes put back
// where they were is the input.
#include <string>

#include "conversation/emoji_split.h"
#include "emoji/emoji_tables.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrinawnd;
  std::wstring rich(data, data + size);  // the scan only cares about ASCII
  const size_t max_codes = size % 5;
  EmojiSplit split = SplitEmojiCodes(rich, max_codes);
  FUZZ_CHECK(split.codes.size() <= max_codes);
  size_t removed = 0;
  for (const std::wstring& code : split.codes) {
    FUZZ_CHECK(code.size() >= 3 && code.front() == L':' && code.back() == L':');
    FUZZ_CHECK(EmojiCodePointOfShortCode(std::string(code.begin(), code.end())).has_value());
    removed += code.size();
  }
  FUZZ_CHECK(split.rest.size() + removed == rich.size());
  return 0;
}
