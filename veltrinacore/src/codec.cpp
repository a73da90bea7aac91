#include "veltrina/backend/codec.h"

#include "records_json.h"

namespace veltrina::backend {

using internal::Dump;
using internal::json;
using internal::Parse;

std::string ToJson(const User& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const Team& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const Channel& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const IM& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const Message& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const Entity& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const Comment& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const Service& v) { return Dump(internal::ToValue(v)); }
std::string ToJson(const Token& v) { return Dump(internal::ToValue(v)); }

namespace {
template <typename T, typename F>
bool Read(const std::string& text, T* out, F from) {
  if (!out) return false;
  json j = Parse(text);
  if (!j.is_object()) return false;
  *out = from(j);
  return true;
}
}  // namespace

bool FromJson(const std::string& t, User* v) { return Read(t, v, internal::UserFrom); }
bool FromJson(const std::string& t, Team* v) { return Read(t, v, internal::TeamFrom); }
bool FromJson(const std::string& t, Channel* v) { return Read(t, v, internal::ChannelFrom); }
bool FromJson(const std::string& t, IM* v) { return Read(t, v, internal::ImFrom); }
bool FromJson(const std::string& t, Message* v) { return Read(t, v, internal::MessageFrom); }
bool FromJson(const std::string& t, Entity* v) { return Read(t, v, internal::EntityFrom); }
bool FromJson(const std::string& t, Comment* v) { return Read(t, v, internal::CommentFrom); }
bool FromJson(const std::string& t, Service* v) { return Read(t, v, internal::ServiceFrom); }
bool FromJson(const std::string& t, Token* v) { return Read(t, v, internal::TokenFrom); }

std::string Quote(const std::string& text) { return Dump(json(text)); }

}  // namespace veltrina::backend
