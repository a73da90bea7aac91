#pragma once
// The HTML-like text markup of labels with show-html on.
//
//   {a CONTENT}text{/a}   a link; the "link" notification hands CONTENT to the window
//   {c #RRGGBB}text{/c}   a colour span ({c #AARRGGBB} also accepted)
//   {b}..{/b} {i}..{/i} {u}..{/u}   bold, italic, underline
//   {f N}..{/f}           skin font number N
//   {n}                   a line break; a "\n" in the text breaks the line too ("\r" is ignored)
//   {{  }}                a literal "{" or "}"; EscapeMarkup() writes them for text typed by users
//
// An unknown or unterminated tag is shown as literal text, so no input can break the parser,
// and a closing tag without its opening one is dropped.
#include <cstdint>
#include <string_view>
#include <vector>

#include "UIString.h"

namespace DuiLib {

struct MarkupToken {
  enum Kind { Text, LineBreak, LinkOpen, LinkClose, ColorOpen, ColorClose, BoldOpen, BoldClose,
              ItalicOpen, ItalicClose, UnderlineOpen, UnderlineClose, FontOpen, FontClose };
  Kind kind = Text;
  CDuiString text;   // Text: the characters; LinkOpen: the link's content
  std::uint32_t color = 0;  // ColorOpen: ARGB
  int font = -1;     // FontOpen: skin font number
};

std::vector<MarkupToken> ParseMarkup(const CDuiString& markup);

// Doubles "{" and "}" so that the text shows exactly as typed and cannot open a tag.
CDuiString EscapeMarkup(const CDuiString& plain);
// The same appended to out: long texts built piece by piece need no copy of each piece.
void AppendEscapedMarkup(std::wstring_view plain, CDuiString& out);

// The text a user sees: tags removed, escapes resolved, breaks as "\n".
CDuiString MarkupToPlainText(const CDuiString& markup);

}  // namespace DuiLib
