#include "duilib/UIMarkup.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace DuiLib {

const CDuiString* CMarkupNode::GetAttribute(const wchar_t* attrName) const {
  for (const auto& [name, value] : attributes)
    if (name == attrName) return &value;
  return nullptr;
}

namespace {

// One code point as UTF-16 units, whatever the width of wchar_t.
void AppendCodePoint(CDuiString& out, unsigned long cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<wchar_t>(cp);
  }
}

// UTF-16 code units of text that FirstInvalidUtf8 accepted whole.
CDuiString Utf8ToWide(const std::string& s) {
  CDuiString out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    unsigned cp = n == 0 ? b : n == 1 ? (b & 0x1Fu) : n == 2 ? (b & 0x0Fu) : (b & 0x07u);
    for (size_t k = 1; k <= n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    i += n + 1;
    AppendCodePoint(out, cp);
  }
  return out;
}

// The offset of the first byte that does not start a well-formed UTF-8 sequence.
size_t FirstInvalidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n;
    unsigned cp;
    if (b < 0x80) { ++i; continue; }
    if (b >= 0xC2 && b <= 0xDF) { n = 1; cp = b & 0x1F; }
    else if (b >= 0xE0 && b <= 0xEF) { n = 2; cp = b & 0x0F; }
    else if (b >= 0xF0 && b <= 0xF4) { n = 3; cp = b & 0x07; }
    else return i;
    if (i + n >= s.size()) return i;  // truncated at the end
    for (size_t k = 1; k <= n; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return i;
    i += n + 1;
  }
  return s.size();
}

class Parser {
 public:
  explicit Parser(const CDuiString& text) : s(text) {}

  std::unique_ptr<CMarkupNode> Run() {
    SkipMisc();
    if (!Fail() && pos < s.size() && s[pos] == L'<') {
      auto root = Element();
      if (!root) return nullptr;
      SkipMisc();
      if (Fail()) return nullptr;
      if (pos < s.size()) return Error(L"text after the root element");
      return root;
    }
    if (!Fail()) Error(L"no root element");
    return nullptr;
  }

  CDuiString error;
  int errorLine = 0;

 private:
  bool Fail() const { return !error.empty(); }

  std::unique_ptr<CMarkupNode> Error(const wchar_t* what) {
    if (error.empty()) {
      error = what;
      errorLine = LineAt(pos);
    }
    return nullptr;
  }

  // Positions are asked for in increasing order: count from the last one, not from the start.
  int LineAt(size_t p) const {
    if (p < linePos) {
      linePos = 0;
      lineNo = 1;
    }
    for (; linePos < p && linePos < s.size(); ++linePos)
      if (s[linePos] == L'\n') ++lineNo;
    return lineNo;
  }

  bool StartsWith(const wchar_t* lit) const { return s.compare(pos, wcslen(lit), lit) == 0; }

  void SkipSpace() {
    while (pos < s.size() && std::iswspace(s[pos])) ++pos;
  }

  // Whitespace, comments, processing instructions and doctype between elements.
  void SkipMisc() {
    for (;;) {
      SkipSpace();
      if (StartsWith(L"<!--")) {
        size_t end = s.find(L"-->", pos + 4);
        if (end == CDuiString::npos) { Error(L"unterminated comment"); return; }
        pos = end + 3;
      } else if (StartsWith(L"<?")) {
        size_t end = s.find(L"?>", pos + 2);
        if (end == CDuiString::npos) { Error(L"unterminated processing instruction"); return; }
        pos = end + 2;
      } else if (StartsWith(L"<!")) {
        size_t end = s.find(L'>', pos + 2);
        if (end == CDuiString::npos) { Error(L"unterminated declaration"); return; }
        pos = end + 1;
      } else {
        return;
      }
    }
  }

  static bool NameChar(wchar_t c) {
    return std::iswalnum(c) || c == L'_' || c == L'-' || c == L'.' || c == L':';
  }

  CDuiString Name() {
    size_t start = pos;
    while (pos < s.size() && NameChar(s[pos])) ++pos;
    return s.substr(start, pos - start);
  }

  bool Entity(CDuiString& out) {
    size_t end = s.find(L';', pos);
    if (end == CDuiString::npos || end - pos > 12) return false;
    CDuiString ent = s.substr(pos + 1, end - pos - 1);
    if (ent == L"lt") out += L'<';
    else if (ent == L"gt") out += L'>';
    else if (ent == L"amp") out += L'&';
    else if (ent == L"quot") out += L'"';
    else if (ent == L"apos") out += L'\'';
    else if (ent.size() > 1 && ent[0] == L'#') {
      unsigned long cp = ent[1] == L'x' ? std::wcstoul(ent.c_str() + 2, nullptr, 16)
                                        : std::wcstoul(ent.c_str() + 1, nullptr, 10);
      if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
      AppendCodePoint(out, cp);
    } else {
      return false;
    }
    pos = end + 1;
    return true;
  }

  std::unique_ptr<CMarkupNode> Element() {
    if (++depth > 256) return Error(L"elements nested too deeply");
    auto node = std::make_unique<CMarkupNode>();
    node->line = LineAt(pos);
    ++pos;  // '<'
    node->name = Name();
    if (node->name.empty()) return Error(L"element without a name");
    for (;;) {
      SkipSpace();
      if (pos >= s.size()) return Error(L"unterminated start tag");
      if (s[pos] == L'/') {
        if (pos + 1 >= s.size() || s[pos + 1] != L'>') return Error(L"expected '>' after '/'");
        pos += 2;
        --depth;
        return node;
      }
      if (s[pos] == L'>') {
        ++pos;
        break;
      }
      CDuiString attr = Name();
      if (attr.empty()) return Error(L"expected an attribute name");
      SkipSpace();
      if (pos >= s.size() || s[pos] != L'=') return Error(L"expected '=' after an attribute name");
      ++pos;
      SkipSpace();
      if (pos >= s.size() || (s[pos] != L'"' && s[pos] != L'\''))
        return Error(L"attribute value must be quoted");
      wchar_t quote = s[pos++];
      CDuiString value;
      while (pos < s.size() && s[pos] != quote) {
        if (s[pos] == L'&') {
          if (!Entity(value)) return Error(L"unknown character reference");
          continue;
        }
        if (s[pos] == L'<') return Error(L"'<' inside an attribute value");
        value += s[pos++];
      }
      if (pos >= s.size()) return Error(L"unterminated attribute value");
      ++pos;
      for (const auto& a : node->attributes)
        if (a.first == attr) return Error(L"duplicate attribute");
      node->attributes.emplace_back(std::move(attr), std::move(value));
    }
    // Content: child elements; character data between them is ignored (skins carry no text
    // content), but must be well formed.
    for (;;) {
      while (pos < s.size() && s[pos] != L'<') {
        if (s[pos] == L'&') {
          CDuiString ignored;
          if (!Entity(ignored)) return Error(L"unknown character reference");
          continue;
        }
        ++pos;
      }
      if (pos >= s.size()) return Error(L"missing end tag");
      if (StartsWith(L"</")) {
        pos += 2;
        CDuiString end = Name();
        if (end != node->name) return Error(L"mismatched end tag");
        SkipSpace();
        if (pos >= s.size() || s[pos] != L'>') return Error(L"expected '>' in end tag");
        ++pos;
        --depth;
        return node;
      }
      if (StartsWith(L"<!--") || StartsWith(L"<?")) {
        SkipMisc();
        if (Fail()) return nullptr;
        continue;
      }
      if (StartsWith(L"<![CDATA[")) {
        size_t end = s.find(L"]]>", pos);
        if (end == CDuiString::npos) return Error(L"unterminated CDATA section");
        pos = end + 3;
        continue;
      }
      auto child = Element();
      if (!child) return nullptr;
      node->children.push_back(std::move(child));
    }
  }

  const CDuiString& s;
  size_t pos = 0;
  int depth = 0;
  mutable size_t linePos = 0;
  mutable int lineNo = 1;
};

}  // namespace

bool CMarkup::Load(const CDuiString& text) {
  m_root.reset();
  m_error.clear();
  m_errorLine = 0;
  Parser p(text);
  m_root = p.Run();
  if (!m_root) {
    m_error = p.error.empty() ? L"parse error" : p.error;
    m_errorLine = p.errorLine;
    return false;
  }
  return true;
}

bool CMarkup::LoadFromBytes(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    // Assembled from byte pairs, not copied: natively wchar_t is wider than a code unit.
    CDuiString text((bytes.size() - 2) / 2, L'\0');
    for (size_t k = 0; k < text.size(); ++k)
      text[k] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * k]) |
                                     static_cast<unsigned char>(bytes[3 + 2 * k]) << 8);
    return Load(text);
  }
  size_t skip = (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) ? 3 : 0;
  std::string body = bytes.substr(skip);
  size_t bad = FirstInvalidUtf8(body);
  if (bad < body.size()) {
    m_root.reset();
    m_error = L"the file is not valid UTF-8";
    m_errorLine = 1 + static_cast<int>(std::count(body.begin(), body.begin() + bad, '\n'));
    return false;
  }
  return Load(Utf8ToWide(body));
}

}  // namespace DuiLib
