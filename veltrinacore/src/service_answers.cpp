#include "service_answers.h"

#include <algorithm>
#include <limits>

#include "records_json.h"

namespace veltrina::internal {

namespace {

// The body as an object holding `list` as an array; null (with the reason) otherwise.
const json* ListOf(const json& body, const char* list, std::string* why) {
  const json* items = Member(body, list);  // null for a body that is not an object
  if (!items || !items->is_array()) {
    *why = std::string("the answer holds no list of ") + list;
    return nullptr;
  }
  return items;
}

template <typename T, typename From, typename Id>
bool ReadList(const std::string& text, const char* list, std::vector<T>* out, std::string* why, From from, Id id) {
  out->clear();
  json body = Parse(text);
  const json* items = ListOf(body, list, why);
  if (!items) return false;
  for (const json& item : *items) {
    if (!item.is_object()) continue;
    T record = from(item);
    if (!id(record).empty()) out->push_back(std::move(record));
  }
  return true;
}

uint32_t Count(const json& j, const char* key) {
  return static_cast<uint32_t>(std::clamp<int64_t>(Int(j, key), 0, std::numeric_limits<uint32_t>::max()));
}

int SmallInt(const json& j, const char* key) {
  return static_cast<int>(std::clamp<int64_t>(Int(j, key), std::numeric_limits<int>::min(),
                                              std::numeric_limits<int>::max()));
}

bool IsNumber(const json& j, const char* key) {
  const json* v = Member(j, key);
  return v && v->is_number();
}

const json* RecordOf(const json& body, const char* key) {
  const json* record = Member(body, key);
  return record && record->is_object() ? record : nullptr;
}

// The record under `key`, when it is an object whose id is not empty.
template <typename T, typename From, typename Id>
std::optional<T> RecordWithId(const json& body, const char* key, From from, Id id) {
  const json* j = RecordOf(body, key);
  if (!j) return std::nullopt;
  T record = from(*j);
  if (id(record).empty()) return std::nullopt;
  return record;
}

std::optional<Channel> ChannelOf(const json& body) {
  return RecordWithId<Channel>(body, "channel", ChannelFrom, [](const Channel& c) { return c.channel_id(); });
}

std::optional<IM> ImOf(const json& body) {
  return RecordWithId<IM>(body, "im", ImFrom, [](const IM& i) { return i.im_id(); });
}

std::optional<Message> MessageOf(const json& body) {
  return RecordWithId<Message>(body, "message", ServiceMessageFrom, [](const Message& m) { return m.ChannelID(); });
}

bool Refuse(std::string* why, const char* reason) {
  *why = reason;
  return false;
}

}  // namespace

int64_t SecondsFromServiceTime(int64_t time) {
  while (time > kLatestSecond || time < -kLatestSecond) time /= 1000;
  return time;
}

Message ServiceMessageFrom(const json& j) {
  Message m = MessageFrom(j);
  m.set_timestamp(SecondsFromServiceTime(m.timestamp()));
  return m;
}

bool ReadUsersAnswer(const std::string& body, std::vector<User>* out, std::string* why) {
  out->clear();
  // A large team's list is read member by member rather than as one document.
  bool read = ForEachListed(body, "users", [&](const json& u) {
    User user = UserFrom(u);
    if (!user.uid().empty()) out->push_back(std::move(user));
  });
  if (!read) {
    out->clear();
    *why = "the answer holds no list of users";
  }
  return read;
}

bool ReadStatusesAnswer(const std::string& body, std::vector<UserStatus>* out, std::string* why) {
  return ReadList(
      body, "statuses", out, why, [](const json& s) { return UserStatus{Str(s, "uid"), SmallInt(s, "status")}; },
      [](const UserStatus& s) { return s.uid; });
}

bool ReadServicesAnswer(const std::string& body, std::vector<Service>* out, std::string* why) {
  return ReadList(body, "services", out, why, ServiceFrom, [](const Service& s) { return s.service_id(); });
}

bool ReadChannelsAnswer(const std::string& body, std::vector<Channel>* out, std::string* why) {
  return ReadList(body, "channels", out, why, ChannelFrom, [](const Channel& c) { return c.channel_id(); });
}

bool ReadImsAnswer(const std::string& body, std::vector<IM>* out, std::string* why) {
  return ReadList(body, "ims", out, why, ImFrom, [](const IM& i) { return i.im_id(); });
}

bool ReadUnreadAnswer(const std::string& body, std::vector<UnreadEntry>* out, std::string* why) {
  return ReadList(
      body, "unread", out, why,
      [](const json& u) {
        return UnreadEntry{Str(u, "channel_id"), _NumUnread{Count(u, "num_unread"), Count(u, "num_new")}};
      },
      [](const UnreadEntry& u) { return u.channel_id; });
}

bool ReadEntitiesAnswer(const std::string& body, std::vector<Entity>* out, int* total, std::string* why) {
  out->clear();
  *total = 0;
  json j = Parse(body);
  const json* items = ListOf(j, "entities", why);
  if (!items) return false;
  for (const json& e : *items)
    if (e.is_object()) out->push_back(EntityFrom(e));
  *total = static_cast<int>(std::clamp<int64_t>(Int(j, "total", static_cast<int64_t>(out->size())), 0, 1 << 30));
  return true;
}

bool ReadMessagesAnswer(const std::string& body, const std::function<void(Message)>& each, std::string* why) {
  bool read = ForEachListed(body, "messages", [&](const json& m) {
    Message message = ServiceMessageFrom(m);
    if (!message.ChannelID().empty()) each(std::move(message));
  });
  if (!read) *why = "the answer holds no list of messages";
  return read;
}

std::optional<Channel> ChannelOfAnswer(const std::string& body) { return ChannelOf(Parse(body)); }
std::optional<IM> ImOfAnswer(const std::string& body) { return ImOf(Parse(body)); }
std::optional<Message> MessageOfAnswer(const std::string& body) { return MessageOf(Parse(body)); }

bool ReadServiceEvent(const std::string& name, const std::string& body, ServiceEvent* out, std::string* why) {
  *out = ServiceEvent();
  const json j = Parse(body);
  if (!j.is_object()) return Refuse(why, "not a JSON object");
  if (name == "message") {
    std::optional<Message> message = MessageOf(j);
    if (!message) return Refuse(why, "no message with a conversation");
    out->kind = ServiceEvent::kMessage;
    out->message = std::move(*message);
  } else if (name == "unread") {
    out->kind = ServiceEvent::kUnread;
    out->id = Str(j, "channel_id");
    if (out->id.empty() || !IsNumber(j, "num_unread") || !IsNumber(j, "num_new"))
      return Refuse(why, "no conversation or counts");
    out->counts = _NumUnread{Count(j, "num_unread"), Count(j, "num_new")};
  } else if (name == "presence") {
    out->kind = ServiceEvent::kPresence;
    out->id = Str(j, "uid");
    if (out->id.empty() || !IsNumber(j, "status")) return Refuse(why, "no user or status");
    out->value = SmallInt(j, "status");
  } else if (name == "connection") {
    out->kind = ServiceEvent::kConnection;
    if (!IsNumber(j, "state")) return Refuse(why, "no state");
    out->value = SmallInt(j, "state");
  } else if (name == "channel") {
    std::optional<Channel> channel = ChannelOf(j);
    if (!channel) return Refuse(why, "no channel with an id");
    out->kind = ServiceEvent::kChannel;
    out->channel = std::move(*channel);
  } else if (name == "im") {
    std::optional<IM> im = ImOf(j);
    if (!im) return Refuse(why, "no conversation with an id");
    out->kind = ServiceEvent::kIm;
    out->im = std::move(*im);
  } else if (name == "user") {
    if (const json* u = RecordOf(j, "user")) out->user = UserFrom(*u);
    if (out->user.uid().empty()) return Refuse(why, "no user with an id");
    out->kind = ServiceEvent::kUser;
  } else {
    return Refuse(why, "an unknown event");
  }
  return true;
}

}  // namespace veltrina::internal
