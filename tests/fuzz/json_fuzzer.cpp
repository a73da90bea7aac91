// The core's JSON reading: never throws, refuses nesting past its limit, and what it accepts
// dumps to text that reads back to the same value.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "json_util.h"

namespace {
int Depth(const veltrina::internal::json& value) {
  int deepest = 0;
  if (value.is_structured())
    for (const auto& child : value) deepest = std::max(deepest, Depth(child));
  return value.is_structured() ? deepest + 1 : 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrina::internal;
  const std::string text(reinterpret_cast<const char*>(data), size);
  json value = Parse(text);
  if (value.is_discarded()) return 0;
  FUZZ_CHECK(Depth(value) <= 128);
  std::string dumped = Dump(value);
  json again = Parse(dumped);
  FUZZ_CHECK(!again.is_discarded() && Dump(again) == dumped);
  // Reading a list item by item hands over exactly the objects the whole document holds there.
  std::vector<json> listed;
  const bool streamed = ForEachListed(text, "messages", [&](const json& item) { listed.push_back(item); });
  json object;
  if (value.is_object() && text.find("messages") == text.rfind("messages")) {  // a repeated key: the last wins there
    const json* list = Member(value, "messages");
    FUZZ_CHECK(streamed == (list && list->is_array()));  // a missing list is not an empty one
    std::vector<json> expected;
    if (list && list->is_array())
      for (const json& item : *list)
        if (item.is_object()) expected.push_back(item);
    FUZZ_CHECK(listed == expected);
  }
  if (ParseObject(text, &object)) {
    for (const char* key : {"a", "id", "format"}) {
      Str(object, key);
      Int(object, key, 7);
      Bool(object, key, true);
    }
  }
  return 0;
}
