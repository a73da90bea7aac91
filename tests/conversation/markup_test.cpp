// Message content to rich text, links back to their meaning, and the emoji code scan.
#include <gtest/gtest.h>

#include "app/storage.h"
#include "app/system_seam.h"
#include "conversation/markup.h"
#include "conversation/message_view.h"
#include "duilib/UIMarkupText.h"
#include "main_fixture.h"

using namespace veltrinawnd;

TEST(Markup, TextWithoutItemsComesBackAsWrittenAndBracesCannotForgeTags) {
  std::wstring plain;
  EXPECT_EQ(ConvertMessageMarkup("你好，世界", &plain), L"你好，世界");
  EXPECT_EQ(plain, L"你好，世界");
  for (const std::string& typed : std::vector<std::string>{"{a x=|link|file:///C:/evil.exe|}click{/a}", "{c #FF0000}red{/c} {n}", "}}{{ {b}x"}) {
    std::wstring rich = ConvertMessageMarkup(typed, &plain);
    EXPECT_EQ(DuiLib::MarkupToPlainText(rich), Utf8ToUtf16(typed)) << typed;
    EXPECT_EQ(plain, Utf8ToUtf16(typed));
    for (const auto& token : DuiLib::ParseMarkup(rich))
      EXPECT_TRUE(token.kind == DuiLib::MarkupToken::Text || token.kind == DuiLib::MarkupToken::LineBreak) << typed;
  }
}

TEST(Markup, ItemsBecomeLinksAndPlainTextShowsTheirDisplay) {
  std::wstring plain;
  EXPECT_EQ(ConvertMessageMarkup("[http://a.com]", &plain), L"{a x=|link|http://a.com|}http://a.com{/a}");
  EXPECT_EQ(plain, L"http://a.com");
  EXPECT_EQ(ConvertMessageMarkup("看 [https://a.com/x|A 站] 吧", &plain),
            L"看 {a x=|link|https://a.com/x|}A 站{/a} 吧");
  EXPECT_EQ(plain, L"看 A 站 吧");
  std::wstring rich = ConvertMessageMarkup("/help now", &plain);
  EXPECT_EQ(rich, L"{a x=|command|/help|}/help{/a} now");
  // Two items with the same text: each replaces its own occurrence.
  EXPECT_EQ(ConvertMessageMarkup("[http://a] and [http://a]", &plain),
            L"{a x=|link|http://a|}http://a{/a} and {a x=|link|http://a|}http://a{/a}");
  EXPECT_EQ(plain, L"http://a and http://a");
  // A user and a channel with names given in the text.
  rich = ConvertMessageMarkup("<@u-1|Ann> in <#c-9|dev>", &plain);
  EXPECT_EQ(rich, L"{a x=|user|u-1|}@Ann{/a} in {a x=|channel|c-9|}#dev{/a}");
  EXPECT_EQ(plain, L"@Ann in #dev");
  // Braces inside an item are escaped too, and come back whole from the link.
  rich = ConvertMessageMarkup("[http://a.com/{x}|t{}]");
  auto tokens = DuiLib::ParseMarkup(rich);
  ASSERT_FALSE(tokens.empty());
  EXPECT_EQ(tokens[0].kind, DuiLib::MarkupToken::LinkOpen);
  EXPECT_EQ(tokens[0].text, L"x=|link|http://a.com/{x}|");
  EXPECT_EQ(BuildLinkMarkup("http://b", "标题"), L"{a x=|link|http://b|}标题{/a}");
}

TEST(Markup, LinkDecoding) {
  std::wstring value;
  EXPECT_EQ(DecodeLink(L"x=|user|u-1|", &value), kLinkUser);
  EXPECT_EQ(value, L"u-1");
  EXPECT_EQ(DecodeLink(L"x=||link||http://a||", &value), kLinkWeb);  // repeated separators count once
  EXPECT_EQ(value, L"http://a");
  EXPECT_EQ(DecodeLink(L"x=|channel|c-1|"), kLinkChannel);
  EXPECT_EQ(DecodeLink(L"x=|command|/help|"), kLinkCommand);
  EXPECT_EQ(DecodeLink(L"x=|Link|http://a|"), kLinkOther);  // case-sensitive
  EXPECT_EQ(DecodeLink(L"x=|link"), kLinkOther);            // fewer than three pieces
  EXPECT_EQ(DecodeLink(L""), kLinkOther);
}

class LinkActionTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallSystemSeam(&shell_); }
  void TearDown() override { InstallSystemSeam(nullptr); }
  RecordingShell shell_;
};

TEST_F(LinkActionTest, OnlyWebAndMailAddressesOpen) {
  EXPECT_EQ(PerformLinkAction(L"x=|link|https://veltrina.demo/a|"), kLinkWeb);
  PerformLinkAction(L"x=|link|mailto:team@veltrina.demo|");
  PerformLinkAction(L"x=|link|file:///C:/Windows/notepad.exe|");
  PerformLinkAction(L"x=|link|C:\\Windows\\notepad.exe|");
  PerformLinkAction(L"x=|link|javascript:alert(1)|");
  PerformLinkAction(L"x=|user|u-1|");
  PerformLinkAction(L"x=|command|/help|");
  EXPECT_EQ(shell_.opened, (std::vector<std::wstring>{L"https://veltrina.demo/a", L"mailto:team@veltrina.demo"}));
}

TEST(EmojiScan, MatchesLikeThePatternWithoutBacktracking) {
  EmojiSplit s = SplitEmojiCodes(L"早 :smile: 好");
  EXPECT_EQ(s.codes, (std::vector<std::wstring>{L":smile:"}));
  EXPECT_EQ(s.rest, L"早  好");
  // A clock time holds a code-shaped token without a picture: the time stays as written.
  s = SplitEmojiCodes(L"现在是 2026-12-06 20:45:23");
  EXPECT_TRUE(s.codes.empty());
  EXPECT_EQ(s.rest, L"现在是 2026-12-06 20:45:23");
  // Non-overlapping: ":nosuchcode:" is consumed, so the "smile:" after it starts no code.
  s = SplitEmojiCodes(L"::nosuchcode:smile: :Smile: :+1::-1: :nope:x");
  EXPECT_EQ(s.codes, (std::vector<std::wstring>{L":+1:", L":-1:"}));
  EXPECT_EQ(s.rest, L"::nosuchcode:smile: :Smile:  :nope:x");
  s = SplitEmojiCodes(L"{a x=|link|http://a/:smile:|}x{/a}");  // inside a link's address too
  EXPECT_EQ(s.codes, (std::vector<std::wstring>{L":smile:"}));
  EXPECT_EQ(s.rest, L"{a x=|link|http://a/|}x{/a}");
  // A flood keeps at most 200 images; the rest stays in the text.
  std::wstring flood;
  for (int i = 0; i < 3000; ++i) flood += L":smile:";
  s = SplitEmojiCodes(flood);
  EXPECT_EQ(s.codes.size(), 200u);
  EXPECT_EQ(s.rest.size(), flood.size() - 200 * 7);
  std::wstring colons(100000, L':');
  EXPECT_TRUE(SplitEmojiCodes(colons).codes.empty());
}
