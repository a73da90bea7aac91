#include "formatted_text.h"

#include <cstring>

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
  Reader(const std::string& text, const FormattedTextNames& names)
      : text_(text), names_(names), close_bracket_(text, ']'), close_angle_(text, '>'), line_break_(text, '\n') {}

  std::vector<std::unique_ptr<MessageCheckingResult>> Run() {
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
    return std::move(items_);
  }

 private:
  void Add(int type, size_t begin, size_t end, std::string display, std::string value) {
    auto item = std::make_unique<MessageCheckingResult>();
    item->type = type;
    item->offset = begin;
    item->formatted_str = text_.substr(begin, end - begin);
    item->display = std::move(display);
    item->value = std::move(value);
    items_.push_back(std::move(item));
  }

  // "/name" at the very start, followed by a blank or the end.
  void ReadLeadingCommand(size_t* i) {
    if (text_.size() < 2 || text_[0] != '/') return;
    size_t k = 1;
    while (k < text_.size() && IsNameChar(text_[k])) ++k;
    if (k == 1 || (k < text_.size() && !IsBlank(text_[k]))) return;
    std::string name = text_.substr(1, k - 1);
    Add(MessageCheckingResult::kCommand, 0, k, "/" + name, name);
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
    std::string url = text_.substr(start, k - start);
    if (text_[k] == ']') {
      Add(MessageCheckingResult::kLink, open, k + 1, url, url);
      return k + 1;
    }
    if (text_[k] != '|') return 0;
    size_t close = close_bracket_.From(k + 1);
    if (close == std::string::npos) return 0;
    size_t line = line_break_.From(k + 1);
    if (line != std::string::npos && line < close) return 0;
    std::string title = text_.substr(k + 1, close - k - 1);
    Add(MessageCheckingResult::kLink, open, close + 1, title.empty() ? url : title, url);
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
    std::string id = text_.substr(start, k - start);
    std::string label;
    size_t end;
    if (text_[k] == '>') {
      end = k + 1;
    } else if (text_[k] == '|' && sigil != '/') {
      size_t close = close_angle_.From(k + 1);
      if (close == std::string::npos) return 0;
      size_t line = line_break_.From(k + 1);
      if (line != std::string::npos && line < close) return 0;
      label = text_.substr(k + 1, close - k - 1);
      end = close + 1;
    } else {
      return 0;
    }
    if (sigil == '@') {
      if (label.empty()) label = UserName(id);
      Add(MessageCheckingResult::kUser, open, end, "@" + label, id);
    } else if (sigil == '#') {
      if (label.empty()) label = ChannelName(id);
      Add(MessageCheckingResult::kChannel, open, end, "#" + label, id);
    } else {
      Add(MessageCheckingResult::kCommand, open, end, "/" + id, id);
    }
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
    std::string url = text_.substr(at, k - at);
    Add(MessageCheckingResult::kLink, at, k, url, url);
    return k;
  }

  std::string UserName(const std::string& uid) const {
    std::string name = names_.user ? names_.user(uid) : std::string();
    return name.empty() ? uid : name;
  }
  std::string ChannelName(const std::string& id) const {
    std::string name = names_.channel ? names_.channel(id) : std::string();
    return name.empty() ? id : name;
  }

  const std::string& text_;
  const FormattedTextNames& names_;
  NextFinder close_bracket_;
  NextFinder close_angle_;
  NextFinder line_break_;
  std::vector<std::unique_ptr<MessageCheckingResult>> items_;
};

}  // namespace

std::vector<std::unique_ptr<MessageCheckingResult>> ReadFormattedText(const std::string& text,
                                                                      const FormattedTextNames& names) {
  try {
    return Reader(text, names).Run();
  } catch (...) {  // only allocation failure can get here
    return {};
  }
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
