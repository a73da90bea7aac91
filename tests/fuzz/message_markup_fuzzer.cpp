// The conversation view's markup: message content becomes rich text whose links decode to the
// items the formatter found, and whose visible text is the plain text reported beside it.
#include <string>

#include "conversation/emoji_split.h"
#include "conversation/markup.h"
#include "duilib/UIMarkupText.h"
#include "formatted_text.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrinawnd;
  const std::string content(reinterpret_cast<const char*>(data), size);
  veltrina::internal::FormattedTextNames names{[](const std::string& uid) { return "{" + uid + "}"; }, nullptr};
  FormattedItems items = veltrina::internal::ReadFormattedText(content, names);
  std::wstring plain;
  std::wstring rich = MarkupOfItems(content, items, &plain);
  size_t links = 0;
  for (const DuiLib::MarkupToken& token : DuiLib::ParseMarkup(rich)) {
    if (token.kind != DuiLib::MarkupToken::LinkOpen) continue;
    std::wstring value;
    FUZZ_CHECK(DecodeLink(token.text, &value) != kLinkOther || value.empty());
    ++links;
  }
  FUZZ_CHECK(links == items.size());
  if (content.find('\r') == std::string::npos) FUZZ_CHECK(DuiLib::MarkupToPlainText(rich) == plain);
  // Converted as the formatter reads them (one item object reused), the items give the same text.
  std::wstring streamed_plain;
  const ItemSource read = [&](const ItemVisitor& visit) { veltrina::internal::VisitFormattedText(content, names, visit); };
  FUZZ_CHECK(MarkupOfReadItems(content, read, &streamed_plain) == rich && streamed_plain == plain);
  FUZZ_CHECK(MarkupAndEmojiOfReadItems(content, read).rest == MarkupAndEmojiOfItems(content, items).rest);
  SplitEmojiCodes(rich);
  return 0;
}
