// The short-code and image tables: what the renderer, the picker and the skin rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>

#include "emoji/emoji_tables.h"

using namespace veltrinawnd;

TEST(EmojiTables, CodesScanImagesFollowTheStemRuleTheReverseLookupTakesTheLastAliasAndLookupsAreExact) {
  const std::regex pattern(":[a-z0-9_+-]+:");  // what the renderer's scan accepts
  std::set<std::uint32_t> coded;
  const std::string* previous = nullptr;
  for (const auto& [code, code_point] : EmojiShortCodes()) {
    EXPECT_TRUE(std::regex_match(code, pattern)) << code;
    EXPECT_TRUE(!previous || *previous < code) << code;  // byte-wise: ":cat2:" before ":cat:"
    previous = &code;
    EXPECT_TRUE(EmojiImages().count(code_point)) << code;
    const std::string back = EmojiShortCodeOfCodePoint(code_point);
    EXPECT_EQ(EmojiCodePointOfShortCode(back), code_point) << code;
    EXPECT_GE(back, code) << code;
    coded.insert(code_point);
  }
  EXPECT_EQ(EmojiShortCodes().size() * 1000000 + coded.size() * 1000 + EmojiImages().size(), 842821824u);
  for (const auto& [code_point, stem] : EmojiImages()) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "emoji_%04x", static_cast<unsigned>(code_point));
    EXPECT_EQ(stem, code_point == 0x1F320 ? "emoji_1f303" : hex);  // U+1F320 borrows U+1F303's picture
    EXPECT_EQ(EmojiShortCodeOfCodePoint(code_point).empty(), code_point == 0x1F320 || code_point == 0x1F508 ||
                                                                 code_point == 0x1F68B) << hex;
  }
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F4A9), ":shit:");  // the last of three
  EXPECT_EQ(EmojiImageFile(*EmojiImageStemOfCodePoint(0x1F604)), "emoji/emoji_1f604.png");
  EXPECT_EQ(EmojiCodePointOfShortCode(":+1:"), 0x1F44Du);
  EXPECT_EQ(EmojiCodePointOfShortCode(":diamond_shape_with_a_dot_inside:"), 0x1F4A0u);  // the longest
  for (const char* code : {":Smile:", ":smile", "smile:", " :smile:", "::smile:", ":smile:x", "", "::", ":thumbs_up:"})
    EXPECT_FALSE(EmojiCodePointOfShortCode(code)) << '"' << code << '"';
  for (std::uint32_t code_point : {0x0u, 0x41u, 0x00A8u, 0x1F6C6u, 0x10FFFFu, 0xFFFFFFFFu})
    EXPECT_TRUE(!EmojiImageStemOfCodePoint(code_point) && EmojiShortCodeOfCodePoint(code_point).empty()) << code_point;
}
