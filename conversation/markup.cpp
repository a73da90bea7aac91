#include "conversation/markup.h"

#include <vector>

#include "app/storage.h"
#include "duilib/UIMarkupText.h"

namespace veltrinawnd {
namespace {

std::wstring Escaped(const std::string& utf8) { return DuiLib::EscapeMarkup(Utf8ToUtf16(utf8)); }

std::wstring ItemMarkup(const veltrina::MessageCheckingResult& item) {
  const std::string& display = item.ExtractDisplayString();
  std::string kind, value;
  switch (item.type) {
    case 0: kind = "link"; value = item.GetLink(); break;
    case 1: kind = "user"; value = item.GetUid(); break;
    case 2: kind = "channel"; value = item.GetChannelId(); break;
    case 3: kind = "command"; value = display; break;  // a command carries its display text
    default: return std::wstring();
  }
  return L"{a x=|" + Utf8ToUtf16(kind) + L"|" + Escaped(value) + L"|}" + Escaped(display) + L"{/a}";
}

}  // namespace

namespace {

// One pass over the content: each stretch of text between items goes through `text` (which
// appends its rich form), each item becomes its link. Items come in text order; each is
// replaced where it stands (which is where a search from the start for its text finds it).
// Both texts are converted piece by piece: joined first, a label that ends in a broken UTF-8
// sequence would fuse with the bytes after it into a character neither holds.
template <typename TextFn>
std::wstring ConvertPieces(const std::string& content, const FormattedItems& items, std::wstring* plain_out,
                           TextFn text) {
  std::wstring rich;
  std::wstring plain;
  size_t pos = 0;
  for (const auto& item : items) {
    if (!item || item->type < 0 || item->type > 3) continue;  // unknown kinds stay as written
    size_t at = item->offset;
    if (at < pos || at > content.size() || content.compare(at, item->formatted_str.size(), item->formatted_str) != 0) {
      // Not where it claims to be: look for its text from here on, as a search would.
      at = content.find(item->formatted_str, pos);
      if (at == std::string::npos || item->formatted_str.empty()) continue;
    }
    const std::wstring stretch = Utf8ToUtf16(content.substr(pos, at - pos));
    text(stretch, rich);
    rich += ItemMarkup(*item);
    if (plain_out) plain += stretch + Utf8ToUtf16(item->ExtractDisplayString());
    pos = at + item->formatted_str.size();
  }
  const std::wstring last = Utf8ToUtf16(content.substr(pos));
  text(last, rich);
  if (plain_out) *plain_out = plain + last;
  return rich;
}

}  // namespace

std::wstring MarkupOfItems(const std::string& content, const FormattedItems& items, std::wstring* plain_out) {
  return ConvertPieces(content, items, plain_out,
                       [](const std::wstring& stretch, std::wstring& rich) { rich += DuiLib::EscapeMarkup(stretch); });
}

EmojiSplit MarkupAndEmojiOfItems(const std::string& content, const FormattedItems& items, size_t max_codes) {
  EmojiSplit out;
  // Codes hold no braces, so taking them out before escaping equals taking them out after.
  out.rest = ConvertPieces(content, items, nullptr, [&out, max_codes](const std::wstring& stretch, std::wstring& rich) {
    EmojiSplit split = SplitEmojiCodes(stretch, max_codes - out.codes.size());
    for (std::wstring& code : split.codes) out.codes.push_back(std::move(code));
    rich += DuiLib::EscapeMarkup(split.rest);
  });
  return out;
}

std::wstring BuildLinkMarkup(const std::string& url, const std::string& text) {
  return L"{a x=|link|" + Escaped(url) + L"|}" + Escaped(text) + L"{/a}";
}

int DecodeLink(const std::wstring& link_text, std::wstring* value_out) {
  std::vector<std::string> pieces = Split(Utf16ToUtf8(link_text), "|");
  if (pieces.size() < 3) return kLinkOther;
  int kind = kLinkOther;
  if (pieces[1] == "link") kind = kLinkWeb;
  else if (pieces[1] == "user") kind = kLinkUser;
  else if (pieces[1] == "channel") kind = kLinkChannel;
  else if (pieces[1] == "command") kind = kLinkCommand;
  if (value_out) *value_out = Utf8ToUtf16(pieces[2]);
  return kind;
}

}  // namespace veltrinawnd
