// The short-code and image tables: what the renderer, the picker and the skin rely on of each other.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "emoji/emoji_tables.h"

using namespace veltrinawnd;

TEST(EmojiTables, EveryCodeScansHasAPictureAndComesBackAsItsLastAliasAndLookupsAreExact) {
  const std::regex pattern(":[a-z0-9_+-]+:");  // what the renderer's scan accepts
  for (const auto& [code, code_point] : EmojiShortCodes()) {
    EXPECT_TRUE(std::regex_match(code, pattern)) << code;
    EXPECT_TRUE(EmojiImages().count(code_point)) << code;
    const std::string back = EmojiShortCodeOfCodePoint(code_point);
    EXPECT_EQ(EmojiCodePointOfShortCode(back), code_point) << code;
    EXPECT_GE(back, code) << code;  // the alias that sorts last: what the picker writes
  }
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F4A9), ":shit:");  // the last of three
  EXPECT_EQ(EmojiImageFile(*EmojiImageStemOfCodePoint(0x1F604)), "emoji/emoji_1f604.png");
  for (const char* code : {":Smile:", ":smile", "smile:", " :smile:", "::smile:", ":smile:x", "", "::", ":thumbs_up:"})
    EXPECT_FALSE(EmojiCodePointOfShortCode(code)) << '"' << code << '"';
  for (std::uint32_t code_point : {0x0u, 0x41u, 0x00A8u, 0x1F6C6u, 0x10FFFFu, 0xFFFFFFFFu})
    EXPECT_TRUE(!EmojiImageStemOfCodePoint(code_point) && EmojiShortCodeOfCodePoint(code_point).empty()) << code_point;
}
