#include "conversation/markup.h"

#include <vector>

#include "app/storage.h"
#include "duilib/UIMarkupText.h"

namespace veltrinawnd {
namespace {

std::wstring Escaped(const std::string& utf8) { return DuiLib::EscapeMarkup(Utf8ToUtf16(utf8)); }

// An item's link appended to out.
void AppendItemMarkup(const veltrina::MessageCheckingResult& item, std::wstring& out) {
  const std::string& display = item.ExtractDisplayString();
  const wchar_t* kind = nullptr;
  std::string value;
  switch (item.type) {
    case 0: kind = L"link"; value = item.GetLink(); break;
    case 1: kind = L"user"; value = item.GetUid(); break;
    case 2: kind = L"channel"; value = item.GetChannelId(); break;
    case 3: kind = L"command"; value = display; break;  // a command carries its display text
    default: return;
  }
  out += L"{a x=|";
  out += kind;
  out += L'|';
  DuiLib::AppendEscapedMarkup(Utf8ToUtf16(value), out);
  out += L"|}";
  DuiLib::AppendEscapedMarkup(Utf8ToUtf16(display), out);
  out += L"{/a}";
}

// One pass over the content: each stretch of text between items goes through `text` (which
// appends its rich form), each item becomes its link. Items come in text order; each is
// replaced where it stands (which is where a search from the start for its text finds it).
// Both texts are converted piece by piece: joined first, a label that ends in a broken UTF-8
// sequence would fuse with the bytes after it into a character neither holds.
// The rich text is built in one buffer with room for all of it from the start: grown by
// doubling and made of temporaries, a long message spends more time copying and faulting in
// fresh pages than converting, and more of it the longer it is.
template <typename TextFn>
std::wstring ConvertPieces(const std::string& content, const FormattedItems& items, std::wstring* plain_out,
                           TextFn text) {
  std::wstring rich;
  // Each item adds its link's frame and repeats no more than its own text: "{a x=|user|" value
  // "|}" display "{/a}".
  rich.reserve(content.size() + items.size() * 24 + 16);
  std::wstring plain;
  std::string piece;
  size_t pos = 0;
  for (const auto& item : items) {
    if (!item || item->type < 0 || item->type > 3) continue;  // unknown kinds stay as written
    size_t at = item->offset;
    if (at < pos || at > content.size() || content.compare(at, item->formatted_str.size(), item->formatted_str) != 0) {
      // Not where it claims to be: look for its text from here on, as a search would.
      at = content.find(item->formatted_str, pos);
      if (at == std::string::npos || item->formatted_str.empty()) continue;
    }
    piece.assign(content, pos, at - pos);
    const std::wstring stretch = Utf8ToUtf16(piece);
    text(stretch, rich);
    AppendItemMarkup(*item, rich);
    if (plain_out) {
      plain += stretch;
      plain += Utf8ToUtf16(item->ExtractDisplayString());
    }
    pos = at + item->formatted_str.size();
  }
  piece.assign(content, pos);
  const std::wstring last = Utf8ToUtf16(piece);
  text(last, rich);
  if (plain_out) *plain_out = plain + last;
  return rich;
}

}  // namespace

std::wstring MarkupOfItems(const std::string& content, const FormattedItems& items, std::wstring* plain_out) {
  return ConvertPieces(content, items, plain_out,
                       [](const std::wstring& stretch, std::wstring& rich) { DuiLib::AppendEscapedMarkup(stretch, rich); });
}

EmojiSplit MarkupAndEmojiOfItems(const std::string& content, const FormattedItems& items, size_t max_codes) {
  EmojiSplit out;
  // Codes hold no braces, so taking them out before escaping equals taking them out after.
  out.rest = ConvertPieces(content, items, nullptr, [&out, max_codes](const std::wstring& stretch, std::wstring& rich) {
    EmojiSplit split = SplitEmojiCodes(stretch, max_codes - out.codes.size());
    for (std::wstring& code : split.codes) out.codes.push_back(std::move(code));
    DuiLib::AppendEscapedMarkup(split.rest, rich);
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
