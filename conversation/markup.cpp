#include "conversation/markup.h"

#include <utility>
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
  const std::string* value = &item.value;  // the URL, uid or channel id
  switch (item.type) {
    case 0: kind = L"link"; break;
    case 1: kind = L"user"; break;
    case 2: kind = L"channel"; break;
    case 3: kind = L"command"; value = &display; break;  // a command carries its display text
    default: return;
  }
  out += L"{a x=|";
  out += kind;
  out += L'|';
  DuiLib::AppendEscapedMarkup(Utf8ToUtf16(*value), out);
  out += L"|}";
  DuiLib::AppendEscapedMarkup(Utf8ToUtf16(display), out);
  out += L"{/a}";
}

// One pass over the content: each stretch of text between items goes through `text` (which
// appends its rich form), each item becomes its link. Items come in text order; each is
// replaced where it stands (which is where a search from the start for its text finds it).
// Both texts are converted piece by piece: joined first, a label that ends in a broken UTF-8
// sequence would fuse with the bytes after it into a character neither holds.
// Items are taken one at a time, as the formatter reads them: a list of them, thousands of small
// blocks for a long message, outgrows the processor's cache, and walking it again made the
// conversion cost more per item the longer the message. The rich text is built in one buffer
// with room for all of it from the start: grown by doubling and made of temporaries, a long
// message spends more time copying and faulting in fresh pages than converting.
template <typename TextFn>
class PieceWriter {
 public:
  PieceWriter(const std::string& content, bool want_plain, TextFn text)
      : content_(content), want_plain_(want_plain), text_(std::move(text)) {
    // Each item ("[", "<" or a bare address) adds its link's frame and repeats no more than its
    // own text: "{a x=|user|" value "|}" display "{/a}".
    size_t openers = 0;
    for (char c : content) openers += c == '[' || c == '<';
    rich_.reserve(content.size() + openers * 24 + 16);
  }

  void Add(const veltrina::MessageCheckingResult& item) {
    if (item.type < 0 || item.type > 3) return;  // unknown kinds stay as written
    size_t at = item.offset;
    if (at < pos_ || at > content_.size() || content_.compare(at, item.formatted_str.size(), item.formatted_str) != 0) {
      // Not where it claims to be: look for its text from here on, as a search would.
      at = content_.find(item.formatted_str, pos_);
      if (at == std::string::npos || item.formatted_str.empty()) return;
    }
    piece_.assign(content_, pos_, at - pos_);
    const std::wstring stretch = Utf8ToUtf16(piece_);
    text_(stretch, rich_);
    AppendItemMarkup(item, rich_);
    if (want_plain_) {
      plain_ += stretch;
      plain_ += Utf8ToUtf16(item.ExtractDisplayString());
    }
    pos_ = at + item.formatted_str.size();
  }

  // The rich text; with plain_out, the plain text too.
  std::wstring Finish(std::wstring* plain_out) {
    piece_.assign(content_, pos_);
    const std::wstring last = Utf8ToUtf16(piece_);
    text_(last, rich_);
    if (plain_out) *plain_out = plain_ + last;
    return std::move(rich_);
  }

 private:
  const std::string& content_;
  bool want_plain_;
  TextFn text_;
  std::wstring rich_;
  std::wstring plain_;
  std::string piece_;
  size_t pos_ = 0;
};

void AppendEscapedStretch(const std::wstring& stretch, std::wstring& rich) { DuiLib::AppendEscapedMarkup(stretch, rich); }

// Takes the emoji codes out of each stretch before escaping it. Codes hold no braces, so taking
// them out before escaping equals taking them out after.
struct EmojiStretch {
  std::vector<std::wstring>* codes;
  size_t max_codes;
  void operator()(const std::wstring& stretch, std::wstring& rich) const {
    EmojiSplit split = SplitEmojiCodes(stretch, max_codes - codes->size());
    for (std::wstring& code : split.codes) codes->push_back(std::move(code));
    DuiLib::AppendEscapedMarkup(split.rest, rich);
  }
};

template <typename TextFn>
std::wstring Write(PieceWriter<TextFn>& writer, const ItemSource& read, std::wstring* plain_out) {
  read([&writer](const veltrina::MessageCheckingResult& item) { writer.Add(item); });
  return writer.Finish(plain_out);
}

}  // namespace

ItemSource ItemsOf(const FormattedItems& items) {
  return [&items](const ItemVisitor& visit) {
    for (const auto& item : items)
      if (item) visit(*item);
  };
}

std::wstring MarkupOfReadItems(const std::string& content, const ItemSource& read, std::wstring* plain_out) {
  PieceWriter writer(content, plain_out != nullptr, AppendEscapedStretch);
  return Write(writer, read, plain_out);
}

EmojiSplit MarkupAndEmojiOfReadItems(const std::string& content, const ItemSource& read, size_t max_codes) {
  EmojiSplit out;
  PieceWriter writer(content, false, EmojiStretch{&out.codes, max_codes});
  out.rest = Write(writer, read, nullptr);
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
