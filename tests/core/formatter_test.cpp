// The message formatter: items, display strings and values on ordinary and hostile texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "veltrina/backend/codec.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/message_formatter.h"
#include "veltrina/user_manager.h"

namespace {

using veltrina::MessageCheckingResult;
using veltrina::MessageFormatter;

std::vector<std::unique_ptr<MessageCheckingResult>> Read(const std::string& text) {
  return MessageFormatter::SharedFormatter()->ReadFormattedMessage(text);
}

// Every item must be exactly the bytes it claims, in order, without overlap.
void ExpectConsistent(const std::string& text, const std::vector<std::unique_ptr<MessageCheckingResult>>& items) {
  size_t end = 0;
  for (const auto& item : items) {
    ASSERT_GE(item->offset, end);
    ASSERT_LE(item->offset + item->formatted_str.size(), text.size());
    ASSERT_EQ(text.compare(item->offset, item->formatted_str.size(), item->formatted_str), 0);
    end = item->offset + item->formatted_str.size();
  }
}

TEST(Formatter, PlainTextHasNoItems) {
  EXPECT_TRUE(Read("").empty());
  EXPECT_TRUE(Read("hello, world: no links here [not a link] <not a mention>").empty());
  EXPECT_EQ(MessageFormatter::SharedFormatter()->PlainText("a [b] c"), "a [b] c");
}

TEST(Formatter, BracketLinkWithoutTitleShowsItsAddress) {
  auto items = Read("see [https://veltrina.demo/a?b=1] now");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->type, MessageCheckingResult::kLink);
  EXPECT_EQ(items[0]->formatted_str, "[https://veltrina.demo/a?b=1]");
  EXPECT_EQ(items[0]->ExtractDisplayString(), "https://veltrina.demo/a?b=1");
  EXPECT_EQ(items[0]->GetLink(), "https://veltrina.demo/a?b=1");
  EXPECT_EQ(items[0]->offset, 4u);
  EXPECT_EQ(items[0]->GetUid(), "");
}

TEST(Formatter, BracketLinkWithTitleShowsTheTitle) {
  auto items = Read("[https://demo.veltrina.demo/files/e-1|Q4 报告 [草稿]]");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->GetLink(), "https://demo.veltrina.demo/files/e-1");
  // The title runs to the first "]".
  EXPECT_EQ(items[0]->ExtractDisplayString(), "Q4 报告 [草稿");
  EXPECT_EQ(items[0]->formatted_str, "[https://demo.veltrina.demo/files/e-1|Q4 报告 [草稿]");
}

TEST(Formatter, BareAddressesStopBeforeSentencePunctuation) {
  std::string text = "docs at https://veltrina.demo/docs. and (http://x.demo/y), ok";
  auto items = Read(text);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->GetLink(), "https://veltrina.demo/docs");
  EXPECT_EQ(items[1]->GetLink(), "http://x.demo/y");
  ExpectConsistent(text, items);
  // Glued to a word it is not an address.
  EXPECT_TRUE(Read("xhttps://a.demo").empty());
}

TEST(Formatter, MentionsReferencesAndCommands) {
  std::string text = "</remind> <@u-1|Li Lei> see <#c-9|dev> and <@u-2>";
  auto items = Read(text);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0]->type, MessageCheckingResult::kCommand);
  EXPECT_EQ(items[0]->ExtractDisplayString(), "/remind");
  EXPECT_EQ(items[1]->type, MessageCheckingResult::kUser);
  EXPECT_EQ(items[1]->GetUid(), "u-1");
  EXPECT_EQ(items[1]->ExtractDisplayString(), "@Li Lei");
  EXPECT_EQ(items[2]->type, MessageCheckingResult::kChannel);
  EXPECT_EQ(items[2]->GetChannelId(), "c-9");
  EXPECT_EQ(items[2]->ExtractDisplayString(), "#dev");
  EXPECT_EQ(items[3]->GetUid(), "u-2");
  EXPECT_EQ(items[3]->ExtractDisplayString(), "@u-2");  // not cached: the uid stands in
  ExpectConsistent(text, items);
  EXPECT_EQ(MessageFormatter::SharedFormatter()->PlainText(text), "/remind @Li Lei see #dev and @u-2");
}

TEST(Formatter, MentionWithoutLabelUsesTheCachedDisplayName) {
  auto service = std::make_shared<veltrina::backend::ScriptedService>();
  veltrina::backend::InstallService(service);
  veltrina::User lilei;
  lilei.set_uid("u-lilei");
  lilei.set_display_name("李雷");
  service->AutoAnswer("users.list", [&](const veltrina::backend::RecordedRequest&) {
    veltrina::backend::Reply r;
    r.ok = true;
    r.body = "{\"users\":[" + veltrina::backend::ToJson(lilei) + "]}";
    return r;
  });
  veltrina::UserManager::DefaultManager()->GetTeamMembers(nullptr);
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  auto items = Read("hi <@u-lilei>");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->ExtractDisplayString(), "@李雷");
}

TEST(Formatter, CommandTypedAtTheStart) {
  auto items = Read("/help me");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->type, MessageCheckingResult::kCommand);
  EXPECT_EQ(items[0]->formatted_str, "/help");
  EXPECT_TRUE(Read("see /usr/bin").empty());
  EXPECT_TRUE(Read("/usr/bin").empty());  // not followed by a blank
  EXPECT_EQ(Read("/help").size(), 1u);
}

TEST(Formatter, SameItemTwiceGivesTwoItems) {
  auto items = Read("[https://a.demo] [https://a.demo]");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->offset, 0u);
  EXPECT_EQ(items[1]->offset, 17u);
}

TEST(Formatter, UnclosedAndBrokenBracketsStayText) {
  for (std::string text : {"[https://a.demo", "[https://a.demo|title", "<@u-1", "<@u-1|name", "[", "<", "<@", "<#>",
                           "[https://]", "[ftp:/x]", "<@u 1>", "[https://a.demo|multi\nline]", "</a|b>"}) {
    auto items = Read(text);
    EXPECT_TRUE(items.empty()) << text;
  }
  // An unclosed bracket does not hide a good item after it.
  std::string text = "[https://broken <@u-3|ok> [https://fine.demo]";
  auto items = Read(text);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->GetUid(), "u-3");
  EXPECT_EQ(items[1]->GetLink(), "https://fine.demo");
  ExpectConsistent(text, items);
}

TEST(Formatter, NestedItemsDoNotOverlap) {
  std::string text = "[https://a.demo|see <@u-1> and [https://b.demo]] <#c-1|x>";
  auto items = Read(text);
  ExpectConsistent(text, items);
  ASSERT_GE(items.size(), 2u);
  EXPECT_EQ(items[0]->GetLink(), "https://a.demo");
  EXPECT_EQ(items.back()->GetChannelId(), "c-1");
}

TEST(Formatter, InvalidUtf8PassesThrough) {
  std::string text = "\xff\xfe[https://a.demo|\xc3\x28title]\x80<@u-1|\xe2\x82>";
  auto items = Read(text);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->ExtractDisplayString(), "\xc3\x28title");
  EXPECT_EQ(items[1]->ExtractDisplayString(), "@\xe2\x82");
  ExpectConsistent(text, items);
  std::string zeros("a\0[https://z.demo]\0b", 20);
  EXPECT_EQ(Read(zeros).size(), 1u);
}

// The best of three runs, so that a busy machine does not make it look slow.
double SecondsToRead(const std::string& text, size_t* count) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    *count = Read(text).size();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

TEST(Formatter, CostIsLinearOnAHundredKilobytesWithFiveThousandItems) {
  const char* pieces[] = {"[https://a.demo/x] ", "<@u-1|Li> ", "<#c-2|dev> ", "</remind> ", "t "};
  std::string big;
  for (size_t i = 0; i < 5000; ++i) {
    big += pieces[i % 4];
    big += " a[<b ";  // brackets that open nothing
  }
  while (big.size() < 100 * 1024) big += pieces[4];
  ASSERT_GE(big.size(), 100u * 1024u);
  std::string small = big.substr(0, big.size() / 10);
  size_t n_big = 0, n_small = 0;
  double t_small = SecondsToRead(small, &n_small);
  double t_big = SecondsToRead(big, &n_big);
  EXPECT_EQ(n_big, 5000u);
  EXPECT_LT(t_big, 1.0);
  // Ten times the text costs about ten times the time (generous for noise); a cost that grew with
  // items times length would take seconds here.
  EXPECT_LT(t_big, 30 * t_small + 0.25);
}

TEST(Formatter, HostileTextsStayFast) {
  std::string opens(100 * 1024, '[');
  std::string angles;
  while (angles.size() < 100 * 1024) angles += "<@u|";
  std::string long_url = "[https://" + std::string(100 * 1024, 'a');
  std::string titles;
  while (titles.size() < 100 * 1024) titles += "[https://a|";
  for (const std::string* text : {&opens, &angles, &long_url, &titles}) {
    size_t count = 0;
    EXPECT_LT(SecondsToRead(*text, &count), 1.0);
    EXPECT_EQ(count, 0u);
  }
}

}  // namespace

namespace {

// Random texts over an alphabet rich in delimiters: every answer stays consistent with its text.
TEST(Formatter, RandomTextsNeverBreakTheItemInvariants) {
  const std::string alphabet = "[]<>|@#/:. \nhtps-_aZ0\xff\xc3\xa9";
  uint32_t state = 12345;
  auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  const std::string seeds[] = {"[https://a.demo|t]", "<@u-1>", "<#c|n>", "</x>", "https://b.demo/", "/cmd "};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t length = next() % 60;
    while (text.size() < length) {
      if (next() % 4 == 0)
        text += seeds[next() % 6];
      else
        text += alphabet[next() % alphabet.size()];
    }
    auto items = Read(text);
    ExpectConsistent(text, items);
    for (const auto& item : items) {
      EXPECT_GE(item->type, 0);
      EXPECT_LE(item->type, 3);
      EXPECT_FALSE(item->formatted_str.empty());
    }
  }
}

}  // namespace
