// The core's readers of what a service sends (list answers, pushed events, records): any bytes
// are read or refused without a crash, a refusal says why and hands over nothing, and what is
// read, written back in the service's shapes, reads again the same.
// Input: one byte choosing the reader, then the body.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "records_json.h"
#include "service_answers.h"

namespace {

using namespace veltrina::internal;

json Value(const UserStatus& s) { return json{{"uid", s.uid}, {"status", s.status}}; }
json Value(const UnreadEntry& u) {
  return json{{"channel_id", u.channel_id}, {"num_unread", u.counts.num_unread}, {"num_new", u.counts.num_new}};
}
template <typename T>
json Value(const T& record) {
  return ToValue(record);
}

template <typename T>
json Values(const std::vector<T>& items) {
  json list = json::array();
  for (const T& item : items) list.push_back(Value(item));
  return list;
}

template <typename T, typename Read>
void CheckList(const std::string& body, const char* key, Read read) {
  std::vector<T> first, again;
  std::string why;
  if (!read(body, &first, &why)) {
    FUZZ_CHECK(first.empty() && !why.empty());
    return;
  }
  FUZZ_CHECK(read(Dump(json{{key, Values(first)}}), &again, &why));
  FUZZ_CHECK(Dump(Values(again)) == Dump(Values(first)));
}

void CheckMessages(const std::string& body) {
  std::vector<veltrina::Message> first, again;
  std::string why;
  const bool read = ReadMessagesAnswer(body, [&](veltrina::Message m) { first.push_back(std::move(m)); }, &why);
  for (const veltrina::Message& m : first)
    FUZZ_CHECK(!m.ChannelID().empty() && m.timestamp() <= kLatestSecond && m.timestamp() >= -kLatestSecond);
  if (!read) {
    FUZZ_CHECK(!why.empty());
    return;
  }
  FUZZ_CHECK(ReadMessagesAnswer(Dump(json{{"messages", Values(first)}}),
                                [&](veltrina::Message m) { again.push_back(std::move(m)); }, &why));
  FUZZ_CHECK(Dump(Values(again)) == Dump(Values(first)));
}

// The event written back as a service would send it.
std::string EventBody(const ServiceEvent& e) {
  switch (e.kind) {
    case ServiceEvent::kMessage: return Dump(json{{"message", ToValue(e.message)}});
    case ServiceEvent::kUnread: return Dump(Value(UnreadEntry{e.id, e.counts}));
    case ServiceEvent::kPresence: return Dump(json{{"uid", e.id}, {"status", e.value}});
    case ServiceEvent::kConnection: return Dump(json{{"state", e.value}});
    case ServiceEvent::kChannel: return Dump(json{{"channel", ToValue(e.channel)}});
    case ServiceEvent::kIm: return Dump(json{{"im", ToValue(e.im)}});
    case ServiceEvent::kUser: return Dump(json{{"user", ToValue(e.user)}});
  }
  return "";
}

void CheckEvent(const char* name, const std::string& body) {
  ServiceEvent first, again;
  std::string why;
  if (!ReadServiceEvent(name, body, &first, &why)) {
    FUZZ_CHECK(!why.empty());
    return;
  }
  const std::string written = EventBody(first);
  FUZZ_CHECK(ReadServiceEvent(name, written, &again, &why) && again.kind == first.kind);
  FUZZ_CHECK(EventBody(again) == written);
  if (first.kind == ServiceEvent::kMessage) FUZZ_CHECK(!first.message.ChannelID().empty());
  if (first.kind == ServiceEvent::kUnread || first.kind == ServiceEvent::kPresence) FUZZ_CHECK(!first.id.empty());
}

// Every record reader: what it reads and writes back reads again to the same record.
template <typename From>
void CheckRecord(const json& j, From from) {
  const std::string once = Dump(ToValue(from(j)));
  FUZZ_CHECK(Dump(ToValue(from(Parse(once)))) == once);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size == 0) return 0;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (size >= 9) {
    int64_t time = 0;
    std::memcpy(&time, data + 1, sizeof time);
    const int64_t seconds = SecondsFromServiceTime(time);
    FUZZ_CHECK(seconds <= kLatestSecond && seconds >= -kLatestSecond && SecondsFromServiceTime(seconds) == seconds);
    if (time <= kLatestSecond && time >= -kLatestSecond) FUZZ_CHECK(seconds == time);
  }
  static const char* const kEvents[] = {"message", "unread", "presence", "connection", "channel", "im", "user", "x"};
  switch (const int choice = data[0] % 17) {
    case 8: CheckList<veltrina::User>(body, "users", ReadUsersAnswer); break;
    case 9: CheckList<UserStatus>(body, "statuses", ReadStatusesAnswer); break;
    case 10: CheckList<veltrina::Service>(body, "services", ReadServicesAnswer); break;
    case 11: CheckList<veltrina::Channel>(body, "channels", ReadChannelsAnswer); break;
    case 12: CheckList<veltrina::IM>(body, "ims", ReadImsAnswer); break;
    case 13: CheckList<UnreadEntry>(body, "unread", ReadUnreadAnswer); break;
    case 14: {
      int total = -1;
      CheckList<veltrina::Entity>(body, "entities", [&total](const std::string& b, auto* out, std::string* why) {
        return ReadEntitiesAnswer(b, out, &total, why);
      });
      FUZZ_CHECK(total >= 0);
      break;
    }
    case 15: CheckMessages(body); break;
    case 16: {
      const json j = Parse(body);
      if (!j.is_object()) break;
      CheckRecord(j, UserFrom), CheckRecord(j, TeamFrom), CheckRecord(j, ChannelFrom), CheckRecord(j, ImFrom);
      CheckRecord(j, MessageFrom), CheckRecord(j, EntityFrom), CheckRecord(j, CommentFrom);
      CheckRecord(j, ServiceFrom), CheckRecord(j, TokenFrom), CheckRecord(j, AttachmentFrom);
      break;
    }
    default: CheckEvent(kEvents[choice], body); break;
  }
  return 0;
}
