// The skin XML reader: attributes, references, encodings and errors with line numbers.
#include <gtest/gtest.h>

#include <random>

#include "dui_test_support.h"

using namespace DuiLib;
using duitest::Narrow;

namespace {

TEST(MarkupXml, AttributesChildrenAndLines) {
  CMarkup m;
  ASSERT_TRUE(m.Load(L"<?xml version=\"1.0\"?>\n<!-- head -->\n<Window size=\"300,200\" caption='0,0,0,30'>\n"
                     L"  <Font id=\"0\" name=\"x\"/>\n  <!-- between -->\n  <VerticalLayout>\n"
                     L"    <Button name=\"b\" text=\"OK\" />\n  </VerticalLayout>\n</Window>\n"))
      << Narrow(m.GetLastError());
  const CMarkupNode* root = m.GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name, L"Window");
  EXPECT_EQ(root->line, 3);
  ASSERT_NE(root->GetAttribute(L"size"), nullptr);
  EXPECT_EQ(*root->GetAttribute(L"size"), L"300,200");
  EXPECT_EQ(*root->GetAttribute(L"caption"), L"0,0,0,30");
  EXPECT_EQ(root->GetAttribute(L"missing"), nullptr);
  ASSERT_EQ(root->children.size(), 2u);
  EXPECT_EQ(root->children[0]->name, L"Font");
  const CMarkupNode* layout = root->children[1].get();
  EXPECT_EQ(layout->line, 6);
  ASSERT_EQ(layout->children.size(), 1u);
  EXPECT_EQ(layout->children[0]->line, 7);
  EXPECT_EQ(*layout->children[0]->GetAttribute(L"text"), L"OK");
}

TEST(MarkupXml, CharacterReferencesAndChineseText) {
  CMarkup m;
  ASSERT_TRUE(m.Load(L"<a t=\"&lt;b&gt; &amp; &quot;q&quot; &apos;s&apos; &#x4E2D;&#25991; &#x1F600;\" "
                     L"c=\"中文标题\">&amp; text &#60;</a>"))
      << Narrow(m.GetLastError());
  EXPECT_EQ(*m.GetRoot()->GetAttribute(L"t"), L"<b> & \"q\" 's' 中文 \U0001F600");
  EXPECT_EQ(*m.GetRoot()->GetAttribute(L"c"), L"中文标题");
}

TEST(MarkupXml, Utf8WithAndWithoutBom) {
  std::string body = "<Window title=\"\xE4\xB8\xAD\xE6\x96\x87\"><Label text=\"\xE4\xBD\xA0\xE5\xA5\xBD\"/></Window>";
  for (const std::string& bytes : {body, std::string("\xEF\xBB\xBF") + body}) {
    CMarkup m;
    ASSERT_TRUE(m.LoadFromBytes(bytes)) << Narrow(m.GetLastError());
    EXPECT_EQ(*m.GetRoot()->GetAttribute(L"title"), L"中文");
    EXPECT_EQ(*m.GetRoot()->children[0]->GetAttribute(L"text"), L"你好");
  }
  // UTF-16LE with its BOM.
  std::wstring wide = L"<W t=\"中\"/>";
  std::string utf16("\xFF\xFE", 2);
  utf16.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  CMarkup m;
  ASSERT_TRUE(m.LoadFromBytes(utf16));
  EXPECT_EQ(*m.GetRoot()->GetAttribute(L"t"), L"中");
}

TEST(MarkupXml, LoadsFromFile) {
  duitest::ScratchDir dir;
  std::wstring path = dir.Write(L"skin.xml", "\xEF\xBB\xBF<Window>\n<Label text=\"\xE4\xB8\xAD\"/>\n</Window>");
  CMarkup m;
  ASSERT_TRUE(m.LoadFromFile(path)) << Narrow(m.GetLastError());
  EXPECT_EQ(*m.GetRoot()->children[0]->GetAttribute(L"text"), L"中");
  EXPECT_EQ(m.GetRoot()->children[0]->line, 2);
  CMarkup missing;
  EXPECT_FALSE(missing.LoadFromFile(dir.path + L"nope.xml"));
  EXPECT_FALSE(missing.GetLastError().empty());
}

struct Malformed {
  const char* what;
  std::string bytes;
  int line;
};

TEST(MarkupXml, ErrorsCarryTheLineOfTheFault) {
  const Malformed cases[] = {
      {"unclosed tag", "<Window>\n<VerticalLayout>\n<Label/>\n</Window>\n", 4},
      {"mismatched end tag", "<Window>\n  <A>\n  </B>\n</Window>", 3},
      {"unquoted attribute", "<Window>\n\n<Label text=abc/>\n</Window>", 3},
      {"missing end of root", "<Window>\n<A/>\n<B/>", 3},
      {"unknown reference", "<Window>\n<A t=\"&bogus;\"/>\n</Window>", 2},
      {"duplicate attribute", "<W>\n<A x=\"1\" x=\"2\"/></W>", 2},
      {"text after root", "<W/>\n\n<X/>", 3},
      {"invalid UTF-8", "<Window>\n<Label text=\"ok\"/>\n<Label text=\"\xC3\x28\"/>\n</Window>", 3},
      {"truncated UTF-8", "<Window>\n\n\n<Label text=\"\xE4\xB8\"/>\n</Window>", 4},
  };
  for (const auto& c : cases) {
    CMarkup m;
    EXPECT_FALSE(m.LoadFromBytes(c.bytes)) << c.what;
    EXPECT_EQ(m.GetRoot(), nullptr) << c.what;
    EXPECT_FALSE(m.GetLastError().empty()) << c.what;
    EXPECT_EQ(m.GetErrorLine(), c.line) << c.what << ": " << Narrow(m.GetLastError());
  }
}

TEST(MarkupXml, DeepNestingIsRefused) {
  std::wstring deep;
  for (int i = 0; i < 5000; ++i) deep += L"<a>";
  for (int i = 0; i < 5000; ++i) deep += L"</a>";
  CMarkup m;
  EXPECT_FALSE(m.Load(deep));
  EXPECT_EQ(m.GetErrorLine(), 1);

  std::wstring fine;
  for (int i = 0; i < 50; ++i) fine += L"<a>";
  for (int i = 0; i < 50; ++i) fine += L"</a>";
  EXPECT_TRUE(m.Load(fine)) << Narrow(m.GetLastError());
}

TEST(MarkupXml, GarbageNeverCrashes) {
  std::mt19937 rng(1234);
  const std::string alphabet = "<>/=\"'&;#x!-?[]CDATA ab\n\xC3\xA4\xE4\xB8\xAD\xFF";
  for (int round = 0; round < 400; ++round) {
    std::string bytes;
    size_t n = rng() % 200;
    for (size_t i = 0; i < n; ++i) bytes += alphabet[rng() % alphabet.size()];
    if (round % 2) bytes = "<W a=\"1\">" + bytes;
    CMarkup m;
    bool ok = m.LoadFromBytes(bytes);
    if (!ok) {
      EXPECT_EQ(m.GetRoot(), nullptr);
      EXPECT_FALSE(m.GetLastError().empty());
    } else {
      EXPECT_NE(m.GetRoot(), nullptr);
    }
  }
  CMarkup m;
  EXPECT_FALSE(m.LoadFromBytes(""));
  EXPECT_FALSE(m.LoadFromBytes("\xEF\xBB\xBF"));
  EXPECT_FALSE(m.LoadFromBytes(std::string("\xFF\xFE<", 3)));
  EXPECT_FALSE(m.Load(L"<!-- never closed"));
  EXPECT_FALSE(m.Load(L"<a b=\"&#x110000;\"/>"));
  EXPECT_FALSE(m.Load(L"<a b=\"&#xD800;\"/>"));
}

TEST(MarkupXml, ManyElementsLoadQuickly) {
  std::wstring big = L"<Window>\n";
  for (int i = 0; i < 20000; ++i) big += L"  <Label name=\"l" + std::to_wstring(i) + L"\" text=\"x\"/>\n";
  big += L"</Window>\n";
  auto start = GetTickCount();
  CMarkup m;
  ASSERT_TRUE(m.Load(big));
  EXPECT_EQ(m.GetRoot()->children.size(), 20000u);
  EXPECT_EQ(m.GetRoot()->children.back()->line, 20001);
  EXPECT_LT(GetTickCount() - start, 1500u);
}

}  // namespace
