#pragma once
// nlohmann-json helpers that never throw: parsing gives a discarded value on bad input, reading
// a member of the wrong type gives the default, and dumping replaces invalid UTF-8.
#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace veltrina::internal {

using json = nlohmann::json;

json Parse(const std::string& text);  // is_discarded() on error
// What a stored document must be: true, with the object in *document, when the text is a JSON
// object; otherwise *document is untouched.
bool ParseObject(const std::string& text, json* document);
// Whether the text is a JSON object, found without building the document (a long answer would
// take several times its size as one).
bool IsObjectText(const std::string& text);
// For long lists: parses an object and hands each object in its array `list` to `each` as soon as
// it is read, then forgets it, so the list never stands in memory as one document. False when the
// text is not an object or holds no array `list` (a repeated key: its last value decides); items
// handed over before the fault was found stay handed over.
bool ForEachListed(const std::string& text, const char* list, const std::function<void(const json&)>& each);
std::string Dump(const json& value);
std::string Str(const json& object, const char* key);
int64_t Int(const json& object, const char* key, int64_t fallback = 0);
bool Bool(const json& object, const char* key, bool fallback = false);
const json* Member(const json& object, const char* key);  // null when absent

}  // namespace veltrina::internal
