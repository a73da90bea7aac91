// The skin XML reader and the text markup of labels: what they yield and their errors.
#include "dui_test_support.h"

using Kind = MarkupToken::Kind;

static std::vector<Kind> Kinds(const CDuiString& markup) {
  std::vector<Kind> k;
  for (const auto& t : ParseMarkup(markup)) k.push_back(t.kind);
  return k;
}

TEST(MarkupXml, TreeReferencesEncodingsAndLines) {
  CMarkup m;
  ASSERT_TRUE(m.Load(L"<?xml version=\"1.0\"?>\n<!-- head -->\n<Window size=\"300,200\" caption='0,0,0,30'>\n  <Font/>\n"
                     L"  <VerticalLayout><!-- c -->\n    <B t=\"&lt;b&gt; &amp; &quot;q&quot; &apos;s&apos; &#x4E2D;&#25991; &#x1F600;\"/>"
                     L"\n</VerticalLayout></Window>")) << m.GetLastError();
  const CMarkupNode *root = m.GetRoot(), *b = root->children.at(1)->children.at(0).get();
  EXPECT_TRUE(root->name == L"Window" && root->line == 3 && *root->GetAttribute(L"caption") == L"0,0,0,30");
  EXPECT_TRUE(root->GetAttribute(L"missing") == nullptr && b->line == 6);
  EXPECT_EQ(*b->GetAttribute(L"t"), L"<b> & \"q\" 's' 中文 \U0001F600");
  // UTF-8 with or without BOM, UTF-16LE with BOM, and from a file.
  std::string body = "<W t=\"\xE4\xB8\xAD\"/>";
  std::wstring wide = L"<W t=\"中\"/>";
  std::string utf16 = std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  for (const std::string& bytes : {body, "\xEF\xBB\xBF" + body, utf16}) {
    ASSERT_TRUE(m.LoadFromBytes(bytes)) << m.GetLastError();
    EXPECT_EQ(*m.GetRoot()->GetAttribute(L"t"), L"中");
  }
  ScratchDir dir;
  ASSERT_TRUE(m.LoadFromFile(dir.Write(L"skin.xml", "\xEF\xBB\xBF<Window>\n" + body + "</Window>")));
  EXPECT_EQ(m.GetRoot()->children.at(0)->line, 2);
  EXPECT_FALSE(m.LoadFromFile(dir.path + L"nope.xml") || m.GetLastError().empty());
}

TEST(MarkupXml, ErrorsCarryTheLineOfTheFault) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep = "<a>" + deep + "</a>";
  const struct { const char* what; std::string bytes; int line; } cases[] = {
      {"unclosed tag", "<Window>\n<VerticalLayout>\n<Label/>\n</Window>\n", 4},
      {"mismatched end tag", "<Window>\n  <A>\n  </B>\n</Window>", 3},
      {"unquoted attribute", "<Window>\n\n<Label text=abc/>\n</Window>", 3},
      {"missing end of root", "<Window>\n<A/>\n<B/>", 3},
      {"unknown reference", "<Window>\n<A t=\"&bogus;\"/>\n</Window>", 2},
      {"duplicate attribute", "<W>\n<A x=\"1\" x=\"2\"/></W>", 2},
      {"text after root", "<W/>\n\n<X/>", 3},
      {"invalid UTF-8", "<Window>\n<Label text=\"ok\"/>\n<Label text=\"\xC3\x28\"/>\n</Window>", 3},
      {"truncated UTF-8", "<Window>\n\n\n<Label text=\"\xE4\xB8\"/>\n</Window>", 4},
      {"deep nesting", deep, 1},
      {"surrogate reference", "<a b=\"&#xD800;\"/>", 1},
      {"unterminated comment", "<!-- never closed", 1},
      {"empty", "", 1}};
  for (const auto& c : cases) {
    CMarkup m;
    EXPECT_FALSE(m.LoadFromBytes(c.bytes) || m.GetRoot() || m.GetLastError().empty()) << c.what;
    EXPECT_TRUE(m.GetErrorLine() == c.line || !c.bytes.size()) << c.what << ": " << m.GetLastError();
  }
}

TEST(MarkupText, TagsLinksColoursAndBreaks) {
  auto toks = ParseMarkup(L"see {a x=|link|http://a/{{id}}/b|}text{/a} {c #DDDDDD}g{/c}{c #80112233}h{/c}");
  ASSERT_EQ(toks.size(), 11u);
  EXPECT_EQ(toks[1].text, L"x=|link|http://a/{id}/b|");  // a link carries its exact content, braces unescaped
  EXPECT_TRUE(toks[5].color == 0xFFDDDDDDu && toks[8].color == 0x80112233u);  // #RRGGBB is opaque
  EXPECT_EQ(Kinds(L"{b}B{/b}{i}{/i}{u}{/u}{f 3}{/f}"),
            (std::vector<Kind>{Kind::BoldOpen, Kind::Text, Kind::BoldClose, Kind::ItalicOpen, Kind::ItalicClose,
                               Kind::UnderlineOpen, Kind::UnderlineClose, Kind::FontOpen, Kind::FontClose}));
  EXPECT_EQ(ParseMarkup(L"{f 3}F{/f}")[0].font, 3);
  EXPECT_EQ(Kinds(L"{a x}open"), (std::vector<Kind>{Kind::LinkOpen, Kind::Text, Kind::LinkClose}));
  // Unknown or unterminated tags show as text; a tag never spans a line; a stray close is dropped; links never nest.
  const std::pair<const wchar_t*, const wchar_t*> plain[] = {
      {L"a{n}b\nc\r\nd", L"a\nb\nc\nd"}, {L"x {zz} y", L"x {zz} y"}, {L"x {a y", L"x {a y"}, {L"{c}no{/c}", L"{c}no"},
      {L"{", L"{"}, {L"a{b\n}c", L"a{b\n}c"}, {L"a{/a}b", L"ab"}, {L"{a x}1{a y}2{/a}3{/a}", L"1{a y}23"}};
  for (const auto& [markup, text] : plain) EXPECT_EQ(MarkupToPlainText(markup), text) << markup;
}

// Text from users is escaped: it shows exactly as typed and never opens a tag, even next to ours.
TEST(MarkupText, EscapedUserTextShowsLiterally) {
  const CDuiString users[] = {L"{a x=|link|evil|}click me{/a}", L"{c #FF0000}red{/c}", L"{n}", L"}{", L"{{}}", L"}",
                              L"x}", L"{/a}", L"{b}{i}{u}{f 1}", L"line1\nline2 {a y}", L"中文 {a 链接}点{/a}", L""};
  for (const CDuiString& u : users) {
    EXPECT_EQ(MarkupToPlainText(EscapeMarkup(u)), u) << u;
    for (Kind k : Kinds(EscapeMarkup(u))) EXPECT_TRUE(k == Kind::Text || k == Kind::LineBreak) << u;
    CDuiString link = L"{a x=|link|http://a|}" + EscapeMarkup(u) + L"{/a}";
    EXPECT_TRUE(MarkupToPlainText(link) == u && ParseMarkup(link).at(0).text == L"x=|link|http://a|") << link;
    EXPECT_EQ(Kinds(link).back(), Kind::LinkClose) << link;
  }
}

TEST(Markup, LargeInputsParseInLinearTime) {
  std::wstring xml = L"<W>", big, braces(100 * 1024, L'x');
  for (size_t i = 0; i < braces.size(); i += 7) braces[i] = L'{';  // never a tag, never an escape
  for (int i = 0; i < 20000; ++i) xml += L"<L name=\"l" + std::to_wstring(i) + L"\"/>\n";
  while (big.size() < 200 * 1024) big += L"word {a x=|link|http://a|}lnk{/a} {c #DDDDDD}c{/c} {{x}} {zz {/a}\n";
  const DWORD start = GetTickCount();
  EXPECT_TRUE(CMarkup().Load(xml + L"</W>"));
  EXPECT_GT(ParseMarkup(big).size(), 5000u);
  EXPECT_EQ(MarkupToPlainText(braces), braces);
  EXPECT_LT(GetTickCount() - start, 2000u);
}
