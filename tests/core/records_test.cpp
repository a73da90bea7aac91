// Records: entity JSON, attachments, message factories and the JSON codec.
#include <gtest/gtest.h>

#include "veltrina/backend/codec.h"
#include "veltrina/veltrina.h"

namespace {

TEST(Records, EntityFromJsonReadsEveryGetter) {
  veltrina::Entity e;
  ASSERT_TRUE(e.InitWithJsonOrDie(R"({"entity_id":"e-1","entity_type":5,"title":"a.png","path":"f/e-1",
      "file_extension":"png","thumb_width":400,"thumb_height":300,"file_size":1536,"summary":"s","public_url":"u",
      "subject":"sub","from":"x@y","snippet_type":"C++","content":"c","creator_uid":"u-1","created_at":17,
      "comments":[{"comment_id":"cm-1","creator_uid":"u-2","content":"nice","created_at":18},"junk"]})"));
  EXPECT_EQ(e.entity_id(), "e-1");
  EXPECT_EQ(e.entity_type(), 5);
  EXPECT_EQ(e.thumb_width(), 400);
  EXPECT_EQ(e.thumb_height(), 300);
  EXPECT_EQ(e.file_size(), 1536);
  EXPECT_EQ(e.path(), "f/e-1");
  EXPECT_EQ(e.file_extension(), "png");
  EXPECT_EQ(e.subject(), "sub");
  EXPECT_EQ(e.from(), "x@y");
  EXPECT_EQ(e.created_at(), 17);
  ASSERT_EQ(e.comments().size(), 1u);
  EXPECT_EQ(e.comments()[0].content(), "nice");
  veltrina::Entity again;
  ASSERT_TRUE(again.InitWithJsonOrDie(e.ToJson()));
  EXPECT_EQ(again.ToJson(), e.ToJson());
}

TEST(Records, BadEntityJsonIsRefused) {
  veltrina::Entity e;
  e.set_title("old");
  EXPECT_FALSE(e.InitWithJsonOrDie(""));
  EXPECT_EQ(e.title(), "");
  EXPECT_FALSE(e.InitWithJsonOrDie("[1,2]"));
  EXPECT_FALSE(e.InitWithJsonOrDie("{\"title\": \"unterminated"));
  EXPECT_FALSE(e.InitWithJsonOrDie(std::string("{\"a\":\"\xff\xfe\"}")));
  EXPECT_TRUE(e.InitWithJsonOrDie(R"({"thumb_width":"wide","thumb_height":1e300,"file_size":-5})"));
  EXPECT_EQ(e.thumb_width(), 0);
  EXPECT_EQ(e.file_size(), -5);
  std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_FALSE(e.InitWithJsonOrDie(deep));
  EXPECT_FALSE(e.InitWithJsonOrDie(std::string(100000, '{')));
  EXPECT_TRUE(e.InitWithJsonOrDie("{\"title\":\"" + std::string(1 << 20, 'x') + "\"}"));
  EXPECT_EQ(e.title().size(), 1u << 20);
}

TEST(Records, MessageFactoriesAndAttachments) {
  auto channel = veltrina::Message::TextMessageForChannel("c-1", "hi");
  EXPECT_EQ(channel->ChannelID(), "c-1");
  EXPECT_EQ(channel->channel_type(), 1);
  EXPECT_FALSE(channel->GetAttachment());
  auto im = veltrina::Message::TextMessageForIM("im-1", "u-2", "yo");
  EXPECT_EQ(im->channel_type(), 2);
  EXPECT_EQ(im->to_uid(), "u-2");

  veltrina::Attachment a;
  a.set_color("#FF0000");
  a.set_fields({{"t1", "v1", true}, {"t2", "v2", false}});
  veltrina::Message m;
  m.set_message_type(veltrina::Message::kAttachment);
  m.set_attachment(a);
  veltrina::Message back;
  ASSERT_TRUE(veltrina::backend::FromJson(veltrina::backend::ToJson(m), &back));
  auto got = back.GetAttachment();
  ASSERT_TRUE(got);
  EXPECT_EQ(got->color(), "#FF0000");
  ASSERT_EQ(got->fields().size(), 2u);
  EXPECT_TRUE(got->fields()[0].is_short);
  EXPECT_EQ(got->fields()[1].title, "t2");
  EXPECT_FALSE(got->fields()[1].is_short);
}

TEST(Records, CodecRoundTripsAndRefusesGarbage) {
  veltrina::Channel c;
  c.set_channel_id("c-1");
  c.set_is_general(true);
  c.set_member_uids({"a", "b"});
  c.set_created_at(1234567890123);
  veltrina::Channel back;
  ASSERT_TRUE(veltrina::backend::FromJson(veltrina::backend::ToJson(c), &back));
  EXPECT_TRUE(back.IsGeneral());
  EXPECT_EQ(back.member_uids().size(), 2u);
  EXPECT_EQ(back.created_at(), 1234567890123);
  veltrina::User u;
  u.set_uid("keep");
  EXPECT_FALSE(veltrina::backend::FromJson("nonsense", &u));
  EXPECT_FALSE(veltrina::backend::FromJson("{", &u));
  EXPECT_EQ(u.uid(), "keep");
  // Invalid UTF-8 in a record still gives valid JSON.
  u.set_display_name("\xff bad");
  veltrina::User again;
  EXPECT_TRUE(veltrina::backend::FromJson(veltrina::backend::ToJson(u), &again));
  EXPECT_EQ(veltrina::backend::Quote("a\"b"), "\"a\\\"b\"");
}

TEST(Records, TeamCloneIsIndependent) {
  veltrina::Team team("t-1", "demo", "Demo");
  auto clone = team.Clone();
  clone->set_team_name("other");
  EXPECT_EQ(team.team_name(), "Demo");
  EXPECT_EQ(clone->team_id(), "t-1");
}

}  // namespace

namespace {

// Valid entity JSON with random bytes changed: refused or read, never a crash.
TEST(Records, MutatedJsonIsReadOrRefused) {
  veltrina::Entity source;
  source.set_entity_id("e-1");
  source.set_title("标题 title");
  source.set_thumb_width(10);
  veltrina::Comment c;
  c.set_content("comment");
  source.add_comment(c);
  const std::string valid = source.ToJson();
  uint32_t state = 99;
  auto next = [&] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  int refused = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string text = valid;
    for (int k = 0; k < 3; ++k) text[next() % text.size()] = static_cast<char>(next() & 0xFF);
    if (next() % 5 == 0) text.resize(next() % text.size());
    veltrina::Entity e;
    if (!e.InitWithJsonOrDie(text)) ++refused;
    veltrina::Message m;
    veltrina::backend::FromJson(text, &m);
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
