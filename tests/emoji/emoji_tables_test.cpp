// The short-code and image tables: sizes, order, the stem rule, lookups, aliases and the
// reverse lookup's choice among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "emoji/emoji_tables.h"

namespace {

using veltrinawnd::EmojiCodePointOfShortCode;
using veltrinawnd::EmojiImageFile;
using veltrinawnd::EmojiImages;
using veltrinawnd::EmojiImageStemOfCodePoint;
using veltrinawnd::EmojiShortCodeOfCodePoint;
using veltrinawnd::EmojiShortCodes;

std::string Hex(std::uint32_t code_point) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(code_point));
  return buf;
}

TEST(EmojiShortCodeTable, Has842CodesInByteWiseOrder) {
  const auto& table = EmojiShortCodes();
  EXPECT_EQ(table.size(), 842u);
  const std::string* previous = nullptr;
  for (const auto& [code, code_point] : table) {
    if (previous) {
      EXPECT_LT(previous->compare(code), 0) << *previous << " before " << code;
    }
    previous = &code;
  }
  EXPECT_EQ(table.begin()->first, ":+1:");
  EXPECT_EQ(std::next(table.begin())->first, ":-1:");
  EXPECT_EQ(table.rbegin()->first, ":zzz:");
}

TEST(EmojiShortCodeTable, ByteWiseOrderPutsDigitsBeforeTheClosingColon) {
  std::vector<std::string> order;
  for (const auto& [code, code_point] : EmojiShortCodes()) order.push_back(code);
  auto position = [&](const std::string& code) {
    return std::find(order.begin(), order.end(), code) - order.begin();
  };
  EXPECT_LT(position(":cat2:"), position(":cat:"));
  EXPECT_LT(position(":clock1030:"), position(":clock10:"));
  EXPECT_LT(position(":mouse2:"), position(":mouse:"));
  EXPECT_LT(position(":o2:"), position(":o:"));
}

TEST(EmojiShortCodeTable, EveryCodeMatchesTheRendererPattern) {
  const std::regex pattern(":[a-z0-9_+-]+:", std::regex::ECMAScript);
  std::size_t longest = 0;
  for (const auto& [code, code_point] : EmojiShortCodes()) {
    EXPECT_TRUE(std::regex_match(code, pattern)) << code;
    longest = std::max(longest, code.size());
  }
  EXPECT_EQ(longest, 33u);
  EXPECT_TRUE(EmojiCodePointOfShortCode(":diamond_shape_with_a_dot_inside:"));
  EXPECT_EQ(std::string(":diamond_shape_with_a_dot_inside:").size(), 33u);
}

TEST(EmojiImageTable, Has824RowsInAscendingCodePointOrder) {
  const auto& table = EmojiImages();
  EXPECT_EQ(table.size(), 824u);
  EXPECT_EQ(table.begin()->first, 0x00A9u);
  EXPECT_EQ(table.rbegin()->first, 0x1F6C5u);
  std::uint32_t previous = 0;
  std::size_t walked = 0;
  for (const auto& [code_point, stem] : table) {
    EXPECT_GT(code_point, previous);
    previous = code_point;
    ++walked;
  }
  EXPECT_EQ(walked, 824u);
}

TEST(EmojiImageTable, StemsFollowTheRuleExceptForU1F320) {
  std::set<std::string> files;
  for (const auto& [code_point, stem] : EmojiImages()) {
    const std::string expected = code_point == 0x1F320 ? "emoji_1f303" : "emoji_" + Hex(code_point);
    EXPECT_EQ(stem, expected) << "U+" << Hex(code_point);
    files.insert(EmojiImageFile(stem));
  }
  EXPECT_EQ(files.size(), 823u);
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x1F303), "emoji_1f303");
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x1F320), "emoji_1f303");
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x1F6C5), "emoji_1f6c5");
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x203C), "emoji_203c");
}

TEST(EmojiTables, EveryCodedCodePointHasAnImageAndThreeImagesHaveNoCode) {
  std::set<std::uint32_t> coded;
  for (const auto& [code, code_point] : EmojiShortCodes()) {
    coded.insert(code_point);
    EXPECT_TRUE(EmojiImages().count(code_point)) << code;
  }
  EXPECT_EQ(coded.size(), 821u);
  std::set<std::uint32_t> uncoded;
  for (const auto& [code_point, stem] : EmojiImages()) {
    if (!coded.count(code_point)) uncoded.insert(code_point);
  }
  EXPECT_EQ(uncoded, (std::set<std::uint32_t>{0x1F320, 0x1F508, 0x1F68B}));
}

TEST(EmojiLookup, SmileResolvesToItsCodePointStemAndFile) {
  EXPECT_EQ(EmojiCodePointOfShortCode(":smile:"), 0x1F604u);
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x1F604), "emoji_1f604");
  EXPECT_EQ(EmojiImageFile(*EmojiImageStemOfCodePoint(0x1F604)), "emoji/emoji_1f604.png");
}

TEST(EmojiLookup, IsExactAndCaseSensitive) {
  for (const char* code : {":Smile:", ":SMILE:", ":smile", "smile:", "smile", " :smile:", ":smile: ",
                           "::smile:", ":smile::", ":smile:x", ""}) {
    EXPECT_FALSE(EmojiCodePointOfShortCode(code)) << '"' << code << '"';
  }
}

TEST(EmojiLookup, RegisteredAndCopyright) {
  EXPECT_EQ(EmojiCodePointOfShortCode(":registered:"), 0x00AEu);
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x00AE), "emoji_00ae");
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x00A9), "emoji_00a9");
  EXPECT_EQ(EmojiCodePointOfShortCode(":copyright:"), 0x00A9u);
}

TEST(EmojiLookup, TellingRows) {
  const std::vector<std::pair<const char*, std::uint32_t>> rows = {
      {":smile:", 0x1F604},
      {":joy:", 0x1F602},
      {":heart:", 0x2764},
      {":+1:", 0x1F44D},
      {":-1:", 0x1F44E},
      {":100:", 0x1F4AF},
      {":1234:", 0x1F522},
      {":zzz:", 0x1F4A4},
      {":registered:", 0x00AE},
      {":tm:", 0x2122},
      {":airplane:", 0x2708},
      {":alarm_clock:", 0x23F0},
      {":anchor:", 0x2693},
      {":chart_with_downwards_trend:", 0x1F4C9},
      {":diamond_shape_with_a_dot_inside:", 0x1F4A0},
      {":notebook_with_decorative_cover:", 0x1F4D4},
  };
  for (const auto& [code, code_point] : rows) {
    EXPECT_EQ(EmojiCodePointOfShortCode(code), code_point) << code;
    EXPECT_EQ(EmojiImageStemOfCodePoint(code_point), "emoji_" + Hex(code_point)) << code;
  }
}

TEST(EmojiLookup, U1F320HasAnImageButNoCode) {
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x1F320), "emoji_1f303");
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F320), "");
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F508), "");
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F68B), "");
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x1F508), "emoji_1f508");
  EXPECT_EQ(EmojiImageStemOfCodePoint(0x1F68B), "emoji_1f68b");
}

TEST(EmojiLookup, UnknownCodesAndCodePoints) {
  for (const char* code : {":not_an_emoji:", ":smiley_face:", ":thumbs_up:", "::", ":", ":u5272"}) {
    EXPECT_FALSE(EmojiCodePointOfShortCode(code)) << code;
  }
  for (std::uint32_t code_point : {0x0u, 0x41u, 0x00A8u, 0x1F6C6u, 0x1F9D0u, 0x10FFFFu, 0xFFFFFFFFu}) {
    EXPECT_FALSE(EmojiImageStemOfCodePoint(code_point)) << "U+" << Hex(code_point);
    EXPECT_EQ(EmojiShortCodeOfCodePoint(code_point), "") << "U+" << Hex(code_point);
  }
}

// Every code point with several codes, its codes in table order.
const std::vector<std::pair<std::uint32_t, std::vector<std::string>>> kAliases = {
    {0x260E, {":phone:", ":telephone:"}},
    {0x26F5, {":boat:", ":sailboat:"}},
    {0x2709, {":email:", ":envelope:"}},
    {0x270B, {":hand:", ":raised_hand:"}},
    {0x2757, {":exclamation:", ":heavy_exclamation_mark:"}},
    {0x1F3C3, {":runner:", ":running:"}},
    {0x1F41D, {":bee:", ":honeybee:"}},
    {0x1F43E, {":feet:", ":paw_prints:"}},
    {0x1F44A, {":facepunch:", ":punch:"}},
    {0x1F44D, {":+1:", ":thumbsup:"}},
    {0x1F44E, {":-1:", ":thumbsdown:"}},
    {0x1F455, {":shirt:", ":tshirt:"}},
    {0x1F45E, {":mans_shoe:", ":shoe:"}},
    {0x1F4A5, {":boom:", ":collision:"}},
    {0x1F4A9, {":hankey:", ":poop:", ":shit:"}},
    {0x1F4D6, {":book:", ":open_book:"}},
    {0x1F4DD, {":memo:", ":pencil:"}},
    {0x1F606, {":laughing:", ":satisfied:"}},
    {0x1F683, {":railway_car:", ":train:"}},
    {0x1F697, {":car:", ":red_car:"}},
};

TEST(EmojiReverseLookup, TheAliasThatSortsLastWins) {
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F606), ":satisfied:");
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F44D), ":thumbsup:");
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F4A9), ":shit:");
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x260E), ":telephone:");
  for (const auto& [code_point, codes] : kAliases) {
    for (const std::string& code : codes) EXPECT_EQ(EmojiCodePointOfShortCode(code), code_point) << code;
    EXPECT_EQ(EmojiShortCodeOfCodePoint(code_point), codes.back()) << "U+" << Hex(code_point);
  }
}

TEST(EmojiReverseLookup, AliasesAreExactlyTheListedOnes) {
  std::map<std::uint32_t, std::vector<std::string>> by_code_point;
  for (const auto& [code, code_point] : EmojiShortCodes()) by_code_point[code_point].push_back(code);
  std::map<std::uint32_t, std::vector<std::string>> several;
  for (const auto& [code_point, codes] : by_code_point) {
    if (codes.size() > 1) several[code_point] = codes;
  }
  std::map<std::uint32_t, std::vector<std::string>> listed(kAliases.begin(), kAliases.end());
  EXPECT_EQ(several, listed);
}

TEST(EmojiReverseLookup, EveryCodedCodePointRoundTrips) {
  std::set<std::string> chosen;
  for (const auto& [code, code_point] : EmojiShortCodes()) {
    const std::string back = EmojiShortCodeOfCodePoint(code_point);
    EXPECT_EQ(EmojiCodePointOfShortCode(back), code_point) << code;
    EXPECT_GE(back, code) << code;
    chosen.insert(back);
  }
  EXPECT_EQ(chosen.size(), 821u);
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x1F604), ":smile:");
  EXPECT_EQ(EmojiShortCodeOfCodePoint(0x00AE), ":registered:");
}

TEST(EmojiTables, AreBuiltOnce) {
  EXPECT_EQ(&EmojiShortCodes(), &EmojiShortCodes());
  EXPECT_EQ(&EmojiImages(), &EmojiImages());
}

TEST(EmojiImageFile, IsTheStemInTheEmojiFolder) {
  EXPECT_EQ(EmojiImageFile("emoji_00a9"), "emoji/emoji_00a9.png");
  EXPECT_EQ(EmojiImageFile("emoji_1f303"), "emoji/emoji_1f303.png");
}

}  // namespace
