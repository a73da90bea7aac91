// The core's message formatter: items are in order, never overlap, and are what the text holds.
#include <string>

#include "formatted_text.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  veltrina::internal::FormattedTextNames names{
      [](const std::string& uid) { return uid.size() % 2 ? "Name of " + uid : std::string(); },
      [](const std::string& id) { return id.size() % 3 ? "general" : std::string(); }};
  auto items = veltrina::internal::ReadFormattedText(text, names);
  size_t end = 0;
  for (const auto& item : items) {
    FUZZ_CHECK(item->offset >= end && item->offset + item->formatted_str.size() <= text.size());
    FUZZ_CHECK(text.compare(item->offset, item->formatted_str.size(), item->formatted_str) == 0);
    FUZZ_CHECK(!item->formatted_str.empty() && !item->display.empty() && !item->value.empty());
    end = item->offset + item->formatted_str.size();
  }
  veltrina::internal::PlainTextOf(text, items);
  return 0;
}
