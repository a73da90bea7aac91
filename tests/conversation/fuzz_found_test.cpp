// Faults the native fuzz targets found in the conversation view's markup.
#include <gtest/gtest.h>

#include "conversation/markup.h"
#include "duilib/UIMarkupText.h"

// A label ending in a broken UTF-8 sequence, then stray continuation bytes: the plain text once fused them.
TEST(MarkupFuzzFound, PlainTextIsWhatTheRichTextShows) {
  for (const std::string content : {"<@U1|\xE9>\x9B\x9D", "[http://a|\xF0\x9F]\x98\x80 x", "a <#C1|\xE4\xB8>\xAD"}) {
    std::wstring plain, rich = veltrinawnd::ConvertMessageMarkup(content, &plain);
    EXPECT_EQ(DuiLib::MarkupToPlainText(rich), plain) << content;
  }
}
