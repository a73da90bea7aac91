// Message content to rich text, links back to their meaning, and the emoji code scan.
#include <gtest/gtest.h>

#include "conversation/markup.h"
#include "conversation/message_view.h"
#include "duilib/UIMarkupText.h"
#include "main_fixture.h"

using namespace veltrinawnd;

TEST(Markup, ItemsBecomeLinksAndTypedBracesCannotForgeTags) {
  std::wstring plain;
  for (const std::string& typed : {std::string("{a x=|link|file:///C:/evil.exe|}click{/a}"), std::string("{c #FF0000}red{/c} {n}"),
                                   std::string("}}{{ {b}x"), std::string("你好，世界")}) {
    std::wstring rich = ConvertMessageMarkup(typed, &plain);
    EXPECT_EQ(DuiLib::MarkupToPlainText(rich), Utf8ToUtf16(typed)) << typed;
    EXPECT_EQ(plain, Utf8ToUtf16(typed));
    for (const auto& token : DuiLib::ParseMarkup(rich))
      EXPECT_TRUE(token.kind == DuiLib::MarkupToken::Text || token.kind == DuiLib::MarkupToken::LineBreak) << typed;
  }
  const std::tuple<std::string, std::wstring, std::wstring> items[] = {
      {"看 [https://a.com/x|A 站] 吧", L"看 A 站 吧", L"看 {a x=|link|https://a.com/x|}A 站{/a} 吧"},
      {"[http://a] and [http://a]", L"http://a and http://a",  // each replaces its own occurrence
       L"{a x=|link|http://a|}http://a{/a} and {a x=|link|http://a|}http://a{/a}"},
      {"<@u-1|Ann> in <#c-9|dev>", L"@Ann in #dev", L"{a x=|user|u-1|}@Ann{/a} in {a x=|channel|c-9|}#dev{/a}"}};
  for (const auto& [content, shown, rich] : items) {
    EXPECT_EQ(ConvertMessageMarkup(content, &plain), rich);
    EXPECT_EQ(plain, shown);
  }
  EXPECT_EQ(ConvertMessageMarkup("/help now"), L"{a x=|command|/help|}/help{/a} now");
  // Braces inside an item are escaped, and come back whole from the link.
  auto tokens = DuiLib::ParseMarkup(ConvertMessageMarkup("[http://a.com/{x}|t{}]"));
  ASSERT_FALSE(tokens.empty());
  EXPECT_EQ(tokens[0].kind, DuiLib::MarkupToken::LinkOpen);
  EXPECT_EQ(tokens[0].text, L"x=|link|http://a.com/{x}|");
}

// Found by the fuzz target: a label ending in a broken UTF-8 sequence, then stray continuation bytes
// once fused them in the plain text.
TEST(Markup, PlainTextIsWhatTheRichTextShowsAroundBrokenUtf8) {
  for (const std::string content : {"<@U1|\xE9>\x9B\x9D", "[http://a|\xF0\x9F]\x98\x80 x", "a <#C1|\xE4\xB8>\xAD"}) {
    std::wstring plain, rich = ConvertMessageMarkup(content, &plain);
    EXPECT_EQ(DuiLib::MarkupToPlainText(rich), plain) << content;
  }
}

TEST(Markup, LinksDecodeStrictlyAndOnlyWebAndMailAddressesOpen) {
  RecordingShell shell;
  InstallSystemSeam(&shell);
  std::wstring value;
  EXPECT_EQ(DecodeLink(L"x=||link||http://a||", &value), kLinkWeb);  // repeated separators count once
  EXPECT_EQ(value, L"http://a");
  for (const wchar_t* odd : {L"x=|Link|http://a|", L"x=|link", L""}) EXPECT_EQ(DecodeLink(odd), kLinkOther) << odd;  // case-sensitive
  for (const wchar_t* link : {L"x=|link|https://veltrina.demo/a|", L"x=|link|mailto:team@veltrina.demo|",
                              L"x=|link|file:///C:/Windows/notepad.exe|", L"x=|link|C:\\Windows\\notepad.exe|",
                              L"x=|link|javascript:alert(1)|", L"x=|user|u-1|", L"x=|command|/help|",
                              // A mail link opens the address alone, and only a plain one.
                              L"x=|link|MAILTO:boss@veltrina.demo?attach=C:\\Windows\\win.ini&body=x|",
                              L"x=|link|mailto:a@b.demo%3Fattach=C:/x|", L"x=|link|mailto:a\"@b.demo|", L"x=|link|mailto:a@b.demo&cc=c@d|",
                              L"x=|link|mailto:a@b\r\n.demo|", L"x=|link|mailto:?cc=c@d.demo|"})
    PerformLinkAction(link);
  InstallSystemSeam(nullptr);
  EXPECT_EQ(shell.opened, (std::vector<std::wstring>{L"https://veltrina.demo/a", L"mailto:team@veltrina.demo",
                                                      L"mailto:boss@veltrina.demo"}));
}

TEST(EmojiScan, OnlyCodesWithAPictureLeaveTheTextWithoutBacktracking) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"早 :smile: 好", L"早  好"},
      {L"现在是 2026-12-06 20:45:23", L"现在是 2026-12-06 20:45:23"},  // a clock time stays as written
      // Non-overlapping: ":nosuchcode:" is consumed, so the "smile:" after it starts no code.
      {L"::nosuchcode:smile: :Smile: :+1::-1: :nope:x", L"::nosuchcode:smile: :Smile:  :nope:x"}};
  for (const auto& [text, rest] : cases) EXPECT_EQ(SplitEmojiCodes(text).rest, rest);
  EXPECT_EQ(SplitEmojiCodes(L":+1::-1:").codes, (std::vector<std::wstring>{L":+1:", L":-1:"}));
  // A message's codes come only from its plain text: addresses, titles and mentions stay whole.
  EmojiSplit message = ConvertMessageMarkupAndEmoji(
      ":a: https://en.wikipedia.org/wiki/Category:b:Archive [https://a.demo/:smile:|:smile: 文档] <@u-1|:b:> :smile:");
  EXPECT_EQ(message.codes, (std::vector<std::wstring>{L":a:", L":smile:"}));
  EXPECT_EQ(message.rest, L" {a x=|link|https://en.wikipedia.org/wiki/Category:b:Archive|}https://en.wikipedia.org/wiki/Category:b:Archive{/a} "
                          L"{a x=|link|https://a.demo/:smile:|}:smile: 文档{/a} {a x=|user|u-1|}@:b:{/a} ");
  std::wstring flood;
  for (int i = 0; i < 3000; ++i) flood += L":smile:";
  EmojiSplit s = SplitEmojiCodes(flood);
  EXPECT_TRUE(s.codes.size() == 200u && s.rest.size() == flood.size() - 200 * 7);  // the rest stays in the text
  EXPECT_TRUE(SplitEmojiCodes(std::wstring(100000, L':')).codes.empty());
}
