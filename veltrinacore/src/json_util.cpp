#include "json_util.h"

#include <cmath>
#include <limits>

namespace veltrina::internal {

namespace {
// Copying, dumping and comparing a value recurse once per level of nesting, so a document nested
// a million deep (a hostile server answer or state file) would overflow the stack long after it
// parsed. Nothing this library reads comes near this depth.
constexpr int kMaxDepth = 128;

bool WithinDepth(const std::string& text) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}
}  // namespace

json Parse(const std::string& text) {
  if (!WithinDepth(text)) return json(json::value_t::discarded);
  try {
    return json::parse(text, nullptr, false);
  } catch (...) {
    return json(json::value_t::discarded);
  }
}

bool ParseObject(const std::string& text, json* document) {
  json parsed = Parse(text);
  if (!parsed.is_object()) return false;
  *document = std::move(parsed);
  return true;
}

bool IsObjectText(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos || text[first] != '{' || !WithinDepth(text)) return false;
  try {
    return json::accept(text);
  } catch (...) {
    return false;
  }
}

bool ForEachListed(const std::string& text, const char* list, const std::function<void(const json&)>& each) {
  if (!WithinDepth(text)) return false;
  bool named = false, in_list = false;  // the last key of the top object was `list`; inside its array
  bool listed = false;                  // the last value under `list` is an array
  try {
    json top = json::parse(
        text,
        [&](int depth, json::parse_event_t event, json& parsed) {
          if (depth == 1 && event == json::parse_event_t::key) {
            named = parsed == list, in_list = false;
            if (named) listed = false;
          }
          if (depth == 1 && event == json::parse_event_t::array_start) in_list = listed = named;
          if (depth == 1 && event == json::parse_event_t::array_end) in_list = false;
          if (depth != 2 || !in_list || event != json::parse_event_t::object_end) return true;
          each(parsed);
          return false;  // not kept in the document
        },
        false);
    return top.is_object() && listed;
  } catch (...) {
    return false;
  }
}

std::string Dump(const json& value) {
  try {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
  } catch (...) {
    return "null";
  }
}

const json* Member(const json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::string Str(const json& object, const char* key) {
  const json* v = Member(object, key);
  if (!v) return {};
  if (v->is_string()) return v->get_ref<const std::string&>();
  if (v->is_number_integer()) return std::to_string(v->get<int64_t>());
  if (v->is_number_unsigned()) return std::to_string(v->get<uint64_t>());
  return {};
}

int64_t Int(const json& object, const char* key, int64_t fallback) {
  const json* v = Member(object, key);
  if (!v) return fallback;
  if (v->is_number_integer()) return v->get<int64_t>();
  if (v->is_number_unsigned()) {
    uint64_t u = v->get<uint64_t>();
    return u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? fallback : static_cast<int64_t>(u);
  }
  if (v->is_number_float()) {
    double d = v->get<double>();
    if (!std::isfinite(d) || d > 9.2e18 || d < -9.2e18) return fallback;
    return static_cast<int64_t>(d);
  }
  if (v->is_boolean()) return v->get<bool>() ? 1 : 0;
  return fallback;
}

bool Bool(const json& object, const char* key, bool fallback) {
  const json* v = Member(object, key);
  if (!v) return fallback;
  if (v->is_boolean()) return v->get<bool>();
  if (v->is_number()) return Int(object, key, 0) != 0;
  return fallback;
}

}  // namespace veltrina::internal
