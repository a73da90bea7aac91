#include "wire.h"

#include "utf8.h"

namespace veltrina::server {

using internal::json;

backend::Reply Fail(int64_t code, const std::string& error) { return backend::Reply{false, code, error, "", ""}; }

std::string Envelope(const backend::Reply& reply) {
  if (!reply.ok) return internal::Dump(json{{"ok", false}, {"code", reply.code}, {"error", reply.error}});
  // The engine's bodies are JSON objects already: spliced, not parsed again.
  const std::string body = internal::IsObjectText(reply.body) ? reply.body : "{}";
  return "{\"ok\":true,\"code\":" + std::to_string(reply.code) + ",\"body\":" + body + "}";
}

std::string EventsPage(const engine::Page& page) {
  std::string out = "{\"events\":[";
  for (size_t i = 0; i < page.events.size(); ++i) {
    const engine::Event& e = page.events[i];
    if (i > 0) out += ',';
    out += "{\"seq\":" + std::to_string(e.seq) + ",\"name\":" + internal::Dump(json(e.name)) + ",\"body\":" +
           (e.body.empty() ? "{}" : e.body) + "}";
  }
  out += "],\"next\":" + std::to_string(page.next) + ",\"more\":" + (page.more ? "true" : "false");
  if (page.resync) out += ",\"resync\":true";
  return out + "}";
}

bool DepthWithin(const std::string& text, int limit) {
  int depth = 0;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        in_string = false;
      continue;
    }
    if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

bool ParseParams(const std::string& text, json* params, std::string* why) {
  if (!internal::IsValidUtf8(text)) {
    *why = "the request is not valid UTF-8";
    return false;
  }
  if (!DepthWithin(text, kMaxJsonDepth)) {
    *why = "the request nests deeper than " + std::to_string(kMaxJsonDepth) + " levels";
    return false;
  }
  if (!internal::ParseObject(text, params)) {
    *why = "the request is not a JSON object";
    return false;
  }
  return true;
}

}  // namespace veltrina::server
