#pragma once
// Readers of what the service sends: answer bodies and pushed events, from JSON text to records.
// Pure functions (no cache, no threads), so that every branch can be tested and fuzzed directly.
// Everything read here is hostile. An answer that lacks what it answers with is refused with the
// reason, never read as an empty list: an empty list empties the caches, a missing one must not.
// Items of a list that are not objects, or that lack their id, are skipped; the rest is read.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "json_util.h"
#include "veltrina/channel.h"
#include "veltrina/entity.h"
#include "veltrina/im.h"
#include "veltrina/message.h"
#include "veltrina/num_unread.h"
#include "veltrina/service.h"
#include "veltrina/user.h"

namespace veltrina::internal {

// Times are seconds since 1970. A value beyond kLatestSecond (1e11, the year 5138) cannot be
// seconds: it is taken as milliseconds (or a finer unit) and scaled down by thousands until it
// fits, so that a service's millisecond stamps sort and page among the others.
inline constexpr int64_t kLatestSecond = 100'000'000'000;
int64_t SecondsFromServiceTime(int64_t time);
// MessageFrom, with the time in seconds.
Message ServiceMessageFrom(const json& j);

struct UserStatus {
  std::string uid;
  int status = 0;
};
struct UnreadEntry {
  std::string channel_id;
  _NumUnread counts;
};

// Each returns true when the body is a JSON object holding its list as an array (possibly
// empty), and fills `out` with the items; otherwise false, with `out` emptied and *why set.
bool ReadUsersAnswer(const std::string& body, std::vector<User>* out, std::string* why);           // "users"
bool ReadStatusesAnswer(const std::string& body, std::vector<UserStatus>* out, std::string* why);  // "statuses"
bool ReadServicesAnswer(const std::string& body, std::vector<Service>* out, std::string* why);     // "services"
bool ReadChannelsAnswer(const std::string& body, std::vector<Channel>* out, std::string* why);     // "channels"
bool ReadImsAnswer(const std::string& body, std::vector<IM>* out, std::string* why);               // "ims"
bool ReadUnreadAnswer(const std::string& body, std::vector<UnreadEntry>* out, std::string* why);   // "unread"
// "entities" and "total" (the list's size when absent; clamped to 0..2^30).
bool ReadEntitiesAnswer(const std::string& body, std::vector<Entity>* out, int* total, std::string* why);
// "messages", handed over one by one as read, so that a large team's page of every conversation
// never stands in memory as one document. Messages handed over before a fault was found stay
// handed over.
bool ReadMessagesAnswer(const std::string& body, const std::function<void(Message)>& each, std::string* why);

// Answers holding one record ({"channel": ...}, {"im": ...}, {"message": ...}); none when the
// record is missing or has no id.
std::optional<Channel> ChannelOfAnswer(const std::string& body);
std::optional<IM> ImOfAnswer(const std::string& body);
std::optional<Message> MessageOfAnswer(const std::string& body);

// A pushed event (backend/protocol.h), checked for the members it must carry.
struct ServiceEvent {
  enum Kind { kMessage, kUnread, kPresence, kConnection, kChannel, kIm, kUser };
  Kind kind = kMessage;
  Message message;     // kMessage
  std::string id;      // kUnread: channel id; kPresence: uid
  _NumUnread counts;   // kUnread
  int value = 0;       // kPresence: status; kConnection: state
  Channel channel;     // kChannel
  IM im;               // kIm
  User user;           // kUser
};
bool ReadServiceEvent(const std::string& name, const std::string& body, ServiceEvent* out, std::string* why);

}  // namespace veltrina::internal
