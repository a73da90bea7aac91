#include "formatted_text.h"

#include <cstring>
#include <unordered_map>

namespace veltrina::internal {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsIdChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.';
}
bool IsNameChar(char c) { return IsIdChar(c) && c != '.'; }
bool IsUrlChar(char c) {
  return !IsBlank(c) && c != '[' && c != ']' && c != '|' && c != '<' && c != '>' && c != '\0';
}

// Position of the next `c` at or after `from`, remembered so that a left-to-right scan finds
// every occurrence in linear total time.
class NextFinder {
 public:
  NextFinder(const std::string& text, char c) : text_(text), c_(c) {}
  size_t From(size_t from) {
    if (searched_ && from >= searched_from_ && (known_ == std::string::npos || known_ >= from)) return known_;
    searched_ = true;
    searched_from_ = from;
    known_ = text_.find(c_, from);
    return known_;
  }

 private:
  const std::string& text_;
  char c_;
  size_t known_ = std::string::npos;
  size_t searched_from_ = 0;
  bool searched_ = false;
};

const char* const kSchemes[] = {"http://", "https://", "ftp://", "mailto:"};

size_t SchemeLength(const std::string& text, size_t at) {
  for (const char* scheme : kSchemes) {
    size_t n = std::strlen(scheme);
    if (text.compare(at, n, scheme) == 0) return n;
  }
  return 0;
}

class Reader {
 public:
  Reader(const std::string& text, const FormattedTextNames& names, const FormattedItemVisitor& visit)
      : text_(text),
        names_(names),
        visit_(visit),
        close_bracket_(text, ']'),
        close_angle_(text, '>'),
        line_break_(text, '\n') {}

  void Run() {
    size_t i = 0;
    ReadLeadingCommand(&i);
    while (i < text_.size()) {
      char c = text_[i];
      size_t end = 0;
      if (c == '[' && (end = ReadBracketLink(i)) != 0) {
        i = end;
      } else if (c == '<' && (end = ReadAngleItem(i)) != 0) {
        i = end;
      } else if ((c == 'h' || c == 'H') && (i == 0 || IsBlank(text_[i - 1]) || text_[i - 1] == '(') &&
                 (end = ReadBareUrl(i)) != 0) {
        i = end;
      } else {
        ++i;
      }
    }
  }

 private:
  // The item's display and value are in item_ already.
  void Emit(int type, size_t begin, size_t end) {
    item_.type = type;
    item_.offset = begin;
    item_.formatted_str.assign(text_, begin, end - begin);
    visit_(item_);
  }

  // "/name" at the very start, followed by a blank or the end.
  void ReadLeadingCommand(size_t* i) {
    if (text_.size() < 2 || text_[0] != '/') return;
    size_t k = 1;
    while (k < text_.size() && IsNameChar(text_[k])) ++k;
    if (k == 1 || (k < text_.size() && !IsBlank(text_[k]))) return;
    item_.value.assign(text_, 1, k - 1);
    item_.display.assign(1, '/').append(item_.value);
    Emit(MessageCheckingResult::kCommand, 0, k);
    *i = k;
  }

  // "[" URL "]" or "[" URL "|" title "]"; returns the end or 0.
  size_t ReadBracketLink(size_t open) {
    size_t start = open + 1;
    size_t scheme = SchemeLength(text_, start);
    if (scheme == 0) return 0;
    size_t k = start + scheme;
    while (k < text_.size() && IsUrlChar(text_[k])) ++k;
    if (k == start + scheme || k >= text_.size()) return 0;
    if (text_[k] == ']') {
      item_.value.assign(text_, start, k - start);
      item_.display = item_.value;
      Emit(MessageCheckingResult::kLink, open, k + 1);
      return k + 1;
    }
    if (text_[k] != '|') return 0;
    size_t close = close_bracket_.From(k + 1);
    if (close == std::string::npos) return 0;
    size_t line = line_break_.From(k + 1);
    if (line != std::string::npos && line < close) return 0;
    item_.value.assign(text_, start, k - start);
    if (close == k + 1) item_.display = item_.value;  // an empty title shows the address
    else item_.display.assign(text_, k + 1, close - k - 1);
    Emit(MessageCheckingResult::kLink, open, close + 1);
    return close + 1;
  }

  // "<@uid>", "<@uid|name>", "<#id>", "<#id|name>", "</name>"; returns the end or 0.
  size_t ReadAngleItem(size_t open) {
    if (open + 2 >= text_.size()) return 0;
    char sigil = text_[open + 1];
    if (sigil != '@' && sigil != '#' && sigil != '/') return 0;
    size_t start = open + 2;
    size_t k = start;
    bool (*accept)(char) = sigil == '/' ? IsNameChar : IsIdChar;
    while (k < text_.size() && accept(text_[k])) ++k;
    if (k == start || k >= text_.size()) return 0;
    size_t label = k, label_end = k;  // the label's bytes, none by default
    size_t end;
    if (text_[k] == '>') {
      end = k + 1;
    } else if (text_[k] == '|' && sigil != '/') {
      size_t close = close_angle_.From(k + 1);
      if (close == std::string::npos) return 0;
      size_t line = line_break_.From(k + 1);
      if (line != std::string::npos && line < close) return 0;
      label = k + 1;
      label_end = close;
      end = close + 1;
    } else {
      return 0;
    }
    item_.value.assign(text_, start, k - start);
    item_.display.assign(1, sigil);
    if (label != label_end) item_.display.append(text_, label, label_end - label);
    else if (sigil == '@') item_.display += UserName(item_.value);
    else if (sigil == '#') item_.display += ChannelName(item_.value);
    else item_.display += item_.value;
    Emit(sigil == '@' ? MessageCheckingResult::kUser
                      : sigil == '#' ? MessageCheckingResult::kChannel : MessageCheckingResult::kCommand,
         open, end);
    return end;
  }

  // A bare http(s) address; returns the end or 0.
  size_t ReadBareUrl(size_t at) {
    size_t scheme = 0;
    if (text_.compare(at, 7, "http://") == 0) scheme = 7;
    else if (text_.compare(at, 8, "https://") == 0) scheme = 8;
    if (scheme == 0) return 0;
    size_t k = at + scheme;
    while (k < text_.size() && IsUrlChar(text_[k]) && text_[k] != '|') ++k;
    // Trailing punctuation belongs to the sentence.
    while (k > at + scheme && std::strchr(".,;:!?)\"'", text_[k - 1]) != nullptr) --k;
    if (k == at + scheme) return 0;
    item_.value.assign(text_, at, k - at);
    item_.display = item_.value;
    Emit(MessageCheckingResult::kLink, at, k);
    return k;
  }

  // A long message names the same few people again and again: each is looked up once.
  const std::string& UserName(const std::string& uid) {
    auto [it, added] = user_names_.try_emplace(uid);
    if (added) {
      it->second = names_.user ? names_.user(uid) : std::string();
      if (it->second.empty()) it->second = uid;
    }
    return it->second;
  }
  std::string ChannelName(const std::string& id) const {
    std::string name = names_.channel ? names_.channel(id) : std::string();
    return name.empty() ? id : name;
  }

  const std::string& text_;
  const FormattedTextNames& names_;
  const FormattedItemVisitor& visit_;
  NextFinder close_bracket_;
  NextFinder close_angle_;
  NextFinder line_break_;
  MessageCheckingResult item_;  // reused: its strings keep their room from item to item
  std::unordered_map<std::string, std::string> user_names_;
};

}  // namespace

void VisitFormattedText(const std::string& text, const FormattedTextNames& names, const FormattedItemVisitor& visit) {
  Reader(text, names, visit).Run();
}

std::vector<std::unique_ptr<MessageCheckingResult>> ReadFormattedText(const std::string& text,
                                                                      const FormattedTextNames& names) {
  std::vector<std::unique_ptr<MessageCheckingResult>> items;
  try {
    VisitFormattedText(text, names, [&items](const MessageCheckingResult& item) {
      items.push_back(std::make_unique<MessageCheckingResult>(item));
    });
  } catch (...) {  // only allocation failure can get here
    return {};
  }
  return items;
}

std::string PlainTextOf(const std::string& text, const std::vector<std::unique_ptr<MessageCheckingResult>>& items) {
  std::string out;
  size_t at = 0;
  for (const auto& item : items) {
    out.append(text, at, item->offset - at);
    out += item->display;
    at = item->offset + item->formatted_str.size();
  }
  out.append(text, at, std::string::npos);
  return out;
}

}  // namespace veltrina::internal
