// The message formatter: items, display strings and values on ordinary and hostile texts (random ones:
// tests/fuzz/formatter_fuzzer.cpp checks the same item invariants).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/message_formatter.h"
#include "veltrina/user_manager.h"

namespace {

using veltrina::MessageFormatter;

// Each item as "<kind><display>><target>;" (kinds L, U, H, C: link, user, channel, command),
// after checking that every item is exactly the bytes it claims, in order, without overlap.
std::string Describe(const std::string& text) {
  auto items = MessageFormatter::SharedFormatter()->ReadFormattedMessage(text);
  std::string out;
  size_t end = 0;
  for (const auto& item : items) {
    EXPECT_GE(item->offset, end) << text;
    EXPECT_FALSE(item->formatted_str.empty()) << text;
    if (item->offset + item->formatted_str.size() > text.size() ||
        text.compare(item->offset, item->formatted_str.size(), item->formatted_str) != 0) {
      ADD_FAILURE() << "item not at its offset in " << text;
      return out;
    }
    end = item->offset + item->formatted_str.size();
    out += item->type >= 0 && item->type < 4 ? "LUHC"[item->type] : '?';
    out += item->ExtractDisplayString() + ">" + item->GetLink() + item->GetUid() + item->GetChannelId() + ";";
  }
  return out;
}

TEST(Formatter, ItemsOfOrdinaryAndBrokenTexts) {
  const std::pair<std::string, std::string> cases[] = {
      {"hello, world: no links here [not a link] <not a mention>", ""},
      {"see [https://veltrina.demo/a?b=1] now", "Lhttps://veltrina.demo/a?b=1>https://veltrina.demo/a?b=1;"},
      // A title runs to the first "]".
      {"[https://demo.veltrina.demo/files/e-1|Q4 报告 [草稿]]", "LQ4 报告 [草稿>https://demo.veltrina.demo/files/e-1;"},
      {"docs at https://veltrina.demo/docs. and (http://x.demo/y), ok",
       "Lhttps://veltrina.demo/docs>https://veltrina.demo/docs;Lhttp://x.demo/y>http://x.demo/y;"},
      {"xhttps://a.demo", ""},  // glued to a word it is not an address
      {"</remind> <@u-1|Li Lei> see <#c-9|dev> and <@u-2>", "C/remind>;U@Li Lei>u-1;H#dev>c-9;U@u-2>u-2;"},
      {"/help me", "C/help>;"}, {"/help", "C/help>;"}, {"see /usr/bin", ""}, {"/usr/bin", ""},
      {"[https://a.demo] [https://a.demo]", "Lhttps://a.demo>https://a.demo;Lhttps://a.demo>https://a.demo;"},
      // An unclosed bracket does not hide a good item after it.
      {"[https://broken <@u-3|ok> [https://fine.demo]", "U@ok>u-3;Lhttps://fine.demo>https://fine.demo;"},
      {"\xff\xfe[https://a.demo|\xc3\x28title]\x80<@u-1|\xe2\x82>", "L\xc3\x28title>https://a.demo;U@\xe2\x82>u-1;"},
      {std::string("a\0[https://z.demo]\0b", 20), "Lhttps://z.demo>https://z.demo;"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Describe(text), expected) << text;
  for (std::string text : {"", "[https://a.demo", "[https://a.demo|title", "<@u-1", "<@u-1|name", "[", "<", "<@",
                           "<#>", "[https://]", "[ftp:/x]", "<@u 1>", "[https://a.demo|multi\nline]", "</a|b>"})
    EXPECT_EQ(Describe(text), "") << text;
  std::string nested = Describe("[https://a.demo|see <@u-1> and [https://b.demo]] <#c-1|x>");  // no overlaps
  EXPECT_TRUE(nested.find(">https://a.demo;") < nested.find(";H#x>c-1;")) << nested;
  EXPECT_EQ(MessageFormatter::SharedFormatter()->PlainText("a [b] </remind> <@u-1|Li Lei> see <#c-9|dev> and <@u-2>"),
            "a [b] /remind @Li Lei see #dev and @u-2");
}

TEST(Formatter, MentionWithoutLabelUsesTheCachedDisplayName) {
  auto service = std::make_shared<veltrina::backend::ScriptedService>();
  veltrina::backend::InstallService(service);
  veltrina::UserManager::DefaultManager()->GetTeamMembers(nullptr);
  veltrina::User lilei;
  lilei.set_uid("u-lilei"), lilei.set_display_name("李雷");
  service->Succeed(service->WaitForRequest("users.list")->id, veltrina::backend::UsersBody({lilei}));
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  EXPECT_EQ(Describe("hi <@u-lilei>"), "U@李雷>u-lilei;");
}

// The best of three runs, so that a busy machine does not make it look slow.
double SecondsToRead(const std::string& text, size_t* count) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    *count = MessageFormatter::SharedFormatter()->ReadFormattedMessage(text).size();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

TEST(Formatter, CostIsLinearOnAHundredKilobytesAndHostileTextsStayFast) {
  const char* pieces[] = {"[https://a.demo/x] ", "<@u-1|Li> ", "<#c-2|dev> ", "</remind> "};
  std::string big;
  for (size_t i = 0; i < 5000; ++i) big += pieces[i % 4] + std::string(" a[<b ");  // brackets that open nothing
  big.resize(std::max<size_t>(big.size(), 100 * 1024), 't');
  size_t n_big = 0;
  double t_small = SecondsToRead(big.substr(0, big.size() / 10), &n_big), t_big = SecondsToRead(big, &n_big);
  EXPECT_EQ(n_big, 5000u);
  // Ten times the text costs about ten times the time (generous for noise); a cost that grew with
  // items times length would take seconds here.
  EXPECT_LT(t_big, std::min(1.0, 30 * t_small + 0.25));
  std::string angles, titles, long_url = "[https://" + std::string(100 * 1024, 'a');
  while (angles.size() < 100 * 1024) angles += "<@u|", titles += "[https://a|";
  for (const std::string& text : {std::string(100 * 1024, '['), angles, long_url, titles})
    EXPECT_TRUE(SecondsToRead(text, &n_big) < 1.0 && n_big == 0u) << text.substr(0, 20);
}

}  // namespace
