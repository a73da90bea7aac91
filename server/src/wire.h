#pragma once
// The shapes on the wire: the answer envelope, a page of events, and request bodies read with
// bounds (a body nested deeper than kMaxJsonDepth is refused before it is parsed).
#include <string>

#include "json_util.h"
#include "veltrina/backend/service.h"
#include "veltrina/engine/engine.h"

namespace veltrina::server {

inline constexpr int kMaxJsonDepth = 32;

backend::Reply Fail(int64_t code, const std::string& error);
// {"ok":true,"code":N,"body":{...}} or {"ok":false,"code":N,"error":"..."}.
std::string Envelope(const backend::Reply& reply);
// {"events":[{"seq":..,"name":..,"body":{...}}...],"next":N,"more":false[,"resync":true]}.
std::string EventsPage(const engine::Page& page);
// Whether `text` nests arrays and objects at most `limit` deep (strings are skipped whole).
bool DepthWithin(const std::string& text, int limit);
// A request's parameters: a JSON object of valid UTF-8 nested at most kMaxJsonDepth deep.
bool ParseParams(const std::string& text, internal::json* params, std::string* why);

}  // namespace veltrina::server
