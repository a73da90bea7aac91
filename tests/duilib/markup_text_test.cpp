// The text markup of labels: links, colour spans, breaks, escaping of user text.
#include <gtest/gtest.h>

#include <chrono>

#include "dui_test_support.h"

using namespace DuiLib;
using duitest::Narrow;
using Kind = MarkupToken::Kind;

namespace {

std::vector<Kind> Kinds(const std::vector<MarkupToken>& toks) {
  std::vector<Kind> k;
  for (const auto& t : toks) k.push_back(t.kind);
  return k;
}

int CountKind(const std::vector<MarkupToken>& toks, Kind kind) {
  int n = 0;
  for (const auto& t : toks)
    if (t.kind == kind) ++n;
  return n;
}

TEST(MarkupText, LinkCarriesItsExactContent) {
  auto toks = ParseMarkup(L"see {a x=|link|http://a|}text{/a} now");
  ASSERT_EQ(Kinds(toks), (std::vector<Kind>{Kind::Text, Kind::LinkOpen, Kind::Text, Kind::LinkClose, Kind::Text}));
  EXPECT_EQ(toks[0].text, L"see ");
  EXPECT_EQ(toks[1].text, L"x=|link|http://a|");
  EXPECT_EQ(toks[2].text, L"text");
  EXPECT_EQ(toks[4].text, L" now");
}

TEST(MarkupText, TwoLinksKeepTheirOwnContents) {
  auto toks = ParseMarkup(L"{a one}1{/a} and {a two words}2{/a}");
  std::vector<CDuiString> contents;
  for (const auto& t : toks)
    if (t.kind == Kind::LinkOpen) contents.push_back(t.text);
  EXPECT_EQ(contents, (std::vector<CDuiString>{L"one", L"two words"}));
  EXPECT_EQ(CountKind(toks, Kind::LinkClose), 2);
}

TEST(MarkupText, ColourSpans) {
  auto toks = ParseMarkup(L"{c #DDDDDD}grey{/c}{c #80112233}half{/c}");
  ASSERT_EQ(Kinds(toks), (std::vector<Kind>{Kind::ColorOpen, Kind::Text, Kind::ColorClose, Kind::ColorOpen,
                                            Kind::Text, Kind::ColorClose}));
  EXPECT_EQ(toks[0].color, 0xFFDDDDDDu);  // #RRGGBB is opaque
  EXPECT_EQ(toks[1].text, L"grey");
  EXPECT_EQ(toks[3].color, 0x80112233u);
  EXPECT_EQ(MarkupToPlainText(L"{c #DDDDDD}grey{/c}"), L"grey");
}

TEST(MarkupText, StylesAndFonts) {
  auto toks = ParseMarkup(L"{b}B{/b}{i}I{/i}{u}U{/u}{f 3}F{/f}");
  EXPECT_EQ(Kinds(toks), (std::vector<Kind>{Kind::BoldOpen, Kind::Text, Kind::BoldClose, Kind::ItalicOpen, Kind::Text,
                                            Kind::ItalicClose, Kind::UnderlineOpen, Kind::Text, Kind::UnderlineClose,
                                            Kind::FontOpen, Kind::Text, Kind::FontClose}));
  EXPECT_EQ(toks[9].font, 3);
}

TEST(MarkupText, LineBreaks) {
  auto toks = ParseMarkup(L"a{n}b\nc\r\nd");
  EXPECT_EQ(Kinds(toks), (std::vector<Kind>{Kind::Text, Kind::LineBreak, Kind::Text, Kind::LineBreak, Kind::Text,
                                            Kind::LineBreak, Kind::Text}));
  EXPECT_EQ(MarkupToPlainText(L"a{n}b\nc\r\nd"), L"a\nb\nc\nd");
}

TEST(MarkupText, UnknownAndUnterminatedTagsShowAsText) {
  EXPECT_EQ(MarkupToPlainText(L"x {zz} y"), L"x {zz} y");
  EXPECT_EQ(MarkupToPlainText(L"x {a y"), L"x {a y");
  EXPECT_EQ(MarkupToPlainText(L"{c}no colour{/c}"), L"{c}no colour");
  EXPECT_EQ(MarkupToPlainText(L"{"), L"{");
  EXPECT_EQ(MarkupToPlainText(L"}"), L"}");
  EXPECT_EQ(MarkupToPlainText(L"a{b\n}c"), L"a{b\n}c");  // a tag never spans a line
  for (const auto& t : ParseMarkup(L"x {a y")) EXPECT_NE(t.kind, Kind::LinkOpen);
}

TEST(MarkupText, StrayCloseDroppedAndOpenLinkClosed) {
  auto stray = ParseMarkup(L"a{/a}b");
  EXPECT_EQ(Kinds(stray), (std::vector<Kind>{Kind::Text}));
  EXPECT_EQ(stray[0].text, L"ab");

  auto open = ParseMarkup(L"{a x}never closed");
  ASSERT_EQ(Kinds(open), (std::vector<Kind>{Kind::LinkOpen, Kind::Text, Kind::LinkClose}));

  // Links never nest: the inner one shows as text and the first close ends the link.
  auto nested = ParseMarkup(L"{a x}1{a y}2{/a}3{/a}");
  EXPECT_EQ(CountKind(nested, Kind::LinkOpen), 1);
  EXPECT_EQ(CountKind(nested, Kind::LinkClose), 1);
  EXPECT_EQ(MarkupToPlainText(L"{a x}1{a y}2{/a}3{/a}"), L"1{a y}23");
}

TEST(MarkupText, EscapedUserTextShowsLiterally) {
  const CDuiString tricky[] = {
      L"{a x=|link|evil|}click me{/a}",
      L"{c #FF0000}red{/c}",
      L"{n}",
      L"}{",
      L"{}",
      L"{{}}",
      L"{{{",
      L"}}}",
      L"a}b{c",
      L"{/a}",
      L"{b}{i}{u}{f 1}",
      L"line1\nline2 {a y}",
      L"中文 {a 链接}点{/a}",
      L"",
      L"plain",
  };
  for (const CDuiString& s : tricky) {
    CDuiString escaped = EscapeMarkup(s);
    EXPECT_EQ(MarkupToPlainText(escaped), s) << Narrow(s);
    for (const auto& t : ParseMarkup(escaped)) {
      EXPECT_TRUE(t.kind == Kind::Text || t.kind == Kind::LineBreak) << "tag " << t.kind << " from " << Narrow(s);
    }
  }
}

// Markup built by code around escaped user text: the user's braces never merge into the tags.
TEST(MarkupText, EscapedTextNextToTags) {
  const CDuiString users[] = {L"}", L"}}", L"}x", L"{", L"{x}", L"x}"};
  for (const CDuiString& u : users) {
    CDuiString colour = L"{c #888888}" + EscapeMarkup(u) + L"{/c}";
    auto toks = ParseMarkup(colour);
    ASSERT_FALSE(toks.empty());
    EXPECT_EQ(toks.front().kind, Kind::ColorOpen) << Narrow(colour);
    EXPECT_EQ(toks.front().color, 0xFF888888u) << Narrow(colour);
    EXPECT_EQ(MarkupToPlainText(colour), u) << Narrow(colour);

    CDuiString bold = L"{b}" + EscapeMarkup(u) + L"{/b}";
    EXPECT_EQ(MarkupToPlainText(bold), u) << Narrow(bold);
    EXPECT_EQ(ParseMarkup(bold).front().kind, Kind::BoldOpen) << Narrow(bold);

    CDuiString link = L"{a x=|link|http://a|}" + EscapeMarkup(u) + L"{/a}";
    auto ltoks = ParseMarkup(link);
    ASSERT_FALSE(ltoks.empty());
    EXPECT_EQ(ltoks.front().kind, Kind::LinkOpen) << Narrow(link);
    EXPECT_EQ(ltoks.front().text, L"x=|link|http://a|") << Narrow(link);
    EXPECT_EQ(MarkupToPlainText(link), u) << Narrow(link);
  }
}

TEST(MarkupText, LinkContentMayCarryEscapedBraces) {
  auto toks = ParseMarkup(L"{a x=|link|http://a/{{id}}/b|}go{/a}");
  ASSERT_FALSE(toks.empty());
  ASSERT_EQ(toks[0].kind, Kind::LinkOpen);
  EXPECT_EQ(toks[0].text, L"x=|link|http://a/{id}/b|");
  EXPECT_EQ(MarkupToPlainText(L"{a x=|link|http://a/{{id}}/b|}go{/a}"), L"go");
}

TEST(MarkupText, LargeInputParsesQuickly) {
  CDuiString big;
  while (big.size() < 200 * 1024) big += L"word {a x=|link|http://a|}lnk{/a} {c #DDDDDD}c{/c} {{x}} {zz {/a}\n";
  CDuiString unterminated(100 * 1024, L'x');
  for (size_t i = 0; i < unterminated.size(); i += 7) unterminated[i] = L'{';
  CDuiString braces(200 * 1024, L'}');
  auto start = std::chrono::steady_clock::now();
  auto toks = ParseMarkup(big);
  auto plain = MarkupToPlainText(unterminated);
  auto closing = MarkupToPlainText(L"{a " + braces);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(CountKind(toks, Kind::LinkOpen), 1000);
  EXPECT_EQ(plain, unterminated);
  EXPECT_LT(secs, 1.0);
}

}  // namespace
