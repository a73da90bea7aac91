#include "duilib/UIMarkupText.h"

#include <climits>
#include <cwchar>

#include "duilib/UIColor.h"

namespace DuiLib {
namespace {

void AppendText(std::vector<MarkupToken>& out, const wchar_t* begin, size_t count) {
  if (count == 0) return;
  if (!out.empty() && out.back().kind == MarkupToken::Text) {
    out.back().text.append(begin, count);
    return;
  }
  MarkupToken t;
  t.kind = MarkupToken::Text;
  t.text.assign(begin, count);
  out.push_back(std::move(t));
}

// Reads the body of a tag starting after "{" up to its closing "}", resolving "}}" to "}".
// Returns false when the tag is not terminated.
bool ReadTagBody(const CDuiString& s, size_t start, CDuiString& body, size_t& end) {
  body.clear();
  size_t i = start;
  while (i < s.size()) {
    if (s[i] == L'}') {
      // A run of an odd number of "}" is the tag's end followed by escaped text ("{b}" then
      // EscapeMarkup("}")); only an even run stays inside the tag as literal braces.
      size_t run = 1;
      while (i + run < s.size() && s[i + run] == L'}') ++run;
      if (run % 2 == 0) {
        body.append(run / 2, L'}');
        i += run;
        continue;
      }
      end = i + 1;
      return true;
    }
    if (s[i] == L'{' && i + 1 < s.size() && s[i + 1] == L'{') {
      body.push_back(L'{');
      i += 2;
      continue;
    }
    if (s[i] == L'{' || s[i] == L'\n') return false;  // a tag never spans these
    body.push_back(s[i]);
    ++i;
  }
  return false;
}

bool StartsWithWord(const CDuiString& body, const wchar_t* word, CDuiString* rest) {
  size_t n = wcslen(word);
  if (body.compare(0, n, word) != 0) return false;
  if (body.size() == n) {
    if (rest) rest->clear();
    return true;
  }
  if (body[n] != L' ') return false;
  if (rest) *rest = body.substr(n + 1);
  return true;
}

}  // namespace

std::vector<MarkupToken> ParseMarkup(const CDuiString& s) {
  std::vector<MarkupToken> out;
  int openLinks = 0;
  size_t i = 0;
  size_t textStart = 0;
  auto flush = [&](size_t upTo) {
    AppendText(out, s.data() + textStart, upTo - textStart);
  };
  while (i < s.size()) {
    wchar_t ch = s[i];
    if (ch == L'\r') {
      flush(i);
      textStart = ++i;
      continue;
    }
    if (ch == L'\n') {
      flush(i);
      out.push_back({MarkupToken::LineBreak, {}, 0, -1});
      textStart = ++i;
      continue;
    }
    if (ch == L'}' && i + 1 < s.size() && s[i + 1] == L'}') {
      flush(i);
      AppendText(out, L"}", 1);
      i += 2;
      textStart = i;
      continue;
    }
    if (ch != L'{') {
      ++i;
      continue;
    }
    if (i + 1 < s.size() && s[i + 1] == L'{') {
      flush(i);
      AppendText(out, L"{", 1);
      i += 2;
      textStart = i;
      continue;
    }
    CDuiString body;
    size_t end = 0;
    if (!ReadTagBody(s, i + 1, body, end)) {
      ++i;  // literal "{"
      continue;
    }
    MarkupToken tok;
    CDuiString rest;
    bool known = true;
    if (body == L"n") {
      tok.kind = MarkupToken::LineBreak;
    } else if (StartsWithWord(body, L"a", &rest)) {
      if (openLinks > 0) {
        known = false;  // links do not nest
      } else {
        tok.kind = MarkupToken::LinkOpen;
        tok.text = rest;
        ++openLinks;
      }
    } else if (body == L"/a") {
      if (openLinks == 0) {
        flush(i);
        i = textStart = end;
        continue;
      }
      tok.kind = MarkupToken::LinkClose;
      --openLinks;
    } else if (StartsWithWord(body, L"c", &rest) && !rest.empty()) {
      tok.kind = MarkupToken::ColorOpen;
      tok.color = ParseColor(rest.c_str());
      if ((tok.color & 0xFF000000) == 0) tok.color |= 0xFF000000;
    } else if (body == L"/c") {
      tok.kind = MarkupToken::ColorClose;
    } else if (body == L"b") {
      tok.kind = MarkupToken::BoldOpen;
    } else if (body == L"/b") {
      tok.kind = MarkupToken::BoldClose;
    } else if (body == L"i") {
      tok.kind = MarkupToken::ItalicOpen;
    } else if (body == L"/i") {
      tok.kind = MarkupToken::ItalicClose;
    } else if (body == L"u") {
      tok.kind = MarkupToken::UnderlineOpen;
    } else if (body == L"/u") {
      tok.kind = MarkupToken::UnderlineClose;
    } else if (StartsWithWord(body, L"f", &rest) && !rest.empty()) {
      tok.kind = MarkupToken::FontOpen;
      long font = std::wcstol(rest.c_str(), nullptr, 10);  // what _wtoi gives where long is 32 bits
      tok.font = static_cast<int>(font < INT_MIN ? INT_MIN : font > INT_MAX ? INT_MAX : font);
    } else if (body == L"/f") {
      tok.kind = MarkupToken::FontClose;
    } else {
      known = false;
    }
    if (!known) {
      ++i;  // show the unknown tag as text
      continue;
    }
    flush(i);
    out.push_back(std::move(tok));
    i = textStart = end;
  }
  flush(s.size());
  if (openLinks > 0) out.push_back({MarkupToken::LinkClose, {}, 0, -1});
  return out;
}

CDuiString EscapeMarkup(const CDuiString& plain) {
  CDuiString out;
  out.reserve(plain.size() + 8);
  AppendEscapedMarkup(plain, out);
  return out;
}

void AppendEscapedMarkup(std::wstring_view plain, CDuiString& out) {
  for (wchar_t ch : plain) {
    out.push_back(ch);
    if (ch == L'{' || ch == L'}') out.push_back(ch);
  }
}

CDuiString MarkupToPlainText(const CDuiString& markup) {
  CDuiString out;
  for (const MarkupToken& t : ParseMarkup(markup)) {
    if (t.kind == MarkupToken::Text) out += t.text;
    else if (t.kind == MarkupToken::LineBreak) out += L'\n';
  }
  return out;
}

}  // namespace DuiLib
