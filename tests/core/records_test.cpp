// Records: entity JSON, attachments and the JSON codec, on good and hostile input (random mutations: tests/fuzz).
#include <gtest/gtest.h>

#include "veltrina/backend/codec.h"
#include "veltrina/veltrina.h"

namespace {

using veltrina::backend::FromJson;
using veltrina::backend::ToJson;

TEST(Records, EntitiesAndMessagesRoundTripWithTheirParts) {
  veltrina::Entity e;
  ASSERT_TRUE(e.InitWithJsonOrDie(R"({"entity_id":"e-1","entity_type":5,"thumb_width":400,"file_size":1536,
      "from":"x@y","created_at":17,"comments":[{"comment_id":"cm-1","content":"nice"},"junk"]})"));
  EXPECT_EQ(e.entity_id() + e.from() + std::to_string(e.thumb_width() + e.file_size() + e.created_at()), "e-1x@y1953");
  EXPECT_TRUE(e.comments().size() == 1u && e.comments()[0].content() == "nice");
  veltrina::Entity again;
  EXPECT_TRUE(again.InitWithJsonOrDie(e.ToJson()) && again.ToJson() == e.ToJson());

  veltrina::Attachment a;
  a.set_color("#FF0000"), a.set_fields({{"t1", "v1", true}, {"t2", "v2", false}});
  veltrina::Message m, back;
  m.set_message_type(veltrina::Message::kAttachment), m.set_attachment(a), m.set_timestamp(1234567890123);
  m.set_content("\xff bad");  // invalid UTF-8 still gives valid JSON
  ASSERT_TRUE(FromJson(ToJson(m), &back) && back.GetAttachment() && back.GetAttachment()->fields().size() == 2u);
  EXPECT_EQ(back.GetAttachment()->color(), "#FF0000");
  EXPECT_TRUE(back.GetAttachment()->fields()[0].is_short && !back.GetAttachment()->fields()[1].is_short);
  EXPECT_EQ(back.timestamp(), 1234567890123);
}

TEST(Records, HostileJsonIsRefusedOrDefaultedNeverACrash) {
  veltrina::Entity e;
  e.set_title("old");
  for (const std::string& bad : {std::string(), std::string("[1,2]"), std::string("{\"title\": \"unterminated"),
                                 std::string("{\"a\":\"\xff\xfe\"}"), std::string(100000, '[') + std::string(100000, ']'),
                                 std::string(100000, '{')})
    EXPECT_FALSE(e.InitWithJsonOrDie(bad)) << bad.substr(0, 20);
  EXPECT_EQ(e.title(), "");
  EXPECT_TRUE(e.InitWithJsonOrDie(R"({"thumb_width":"wide","thumb_height":1e300,"file_size":-5})"));
  EXPECT_TRUE(e.thumb_width() == 0 && e.file_size() == -5);
  EXPECT_TRUE(e.InitWithJsonOrDie("{\"title\":\"" + std::string(1 << 20, 'x') + "\"}"));
  veltrina::User u;
  u.set_uid("keep");
  EXPECT_TRUE(!FromJson("{", &u) && u.uid() == "keep");
}

}  // namespace
