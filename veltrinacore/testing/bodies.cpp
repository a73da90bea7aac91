#include "veltrina/backend/bodies.h"

#include "records_json.h"

namespace veltrina::backend {

using internal::Dump;
using internal::json;
using internal::ToValue;

namespace {

template <typename T, typename F>
json List(const std::vector<T>& items, F value) {
  json list = json::array();
  for (const T& item : items) list.push_back(value(item));
  return list;
}

template <typename T>
std::string ListBody(const char* key, const std::vector<T>& items) {
  return Dump(json{{key, List(items, [](const T& item) { return ToValue(item); })}});
}

}  // namespace

std::string TeamBody(const std::string& team_id, const std::string& team_name, const std::string& team_subdomain) {
  return Dump(json{{"team_id", team_id}, {"team_name", team_name}, {"team_subdomain", team_subdomain}});
}

std::string VersionBody(int64_t version_code, const std::string& description, const std::string& download_url) {
  return Dump(json{{"version_code", version_code}, {"version_name", std::to_string(version_code)},
                   {"description", description}, {"force", false}, {"release_time", 0},
                   {"download_url", download_url}});
}

std::string LoginBody(const Token& token, const User& user) {
  return Dump(json{{"token", ToValue(token)}, {"user", ToValue(user)}});
}

std::string PermissionBody(int64_t permission) { return Dump(json{{"permission", permission}}); }
std::string UsersBody(const std::vector<User>& users) { return ListBody("users", users); }
std::string StatusesBody(const std::vector<User>& users) {
  return Dump(
      json{{"statuses", List(users, [](const User& u) { return json{{"uid", u.uid()}, {"status", u.status()}}; })}});
}
std::string ServicesBody(const std::vector<veltrina::Service>& services) { return ListBody("services", services); }
std::string ChannelsBody(const std::vector<Channel>& channels) { return ListBody("channels", channels); }
std::string ChannelBody(const Channel& channel) { return Dump(json{{"channel", ToValue(channel)}}); }
std::string ImsBody(const std::vector<IM>& ims) { return ListBody("ims", ims); }
std::string ImBody(const IM& im) { return Dump(json{{"im", ToValue(im)}}); }
std::string MessagesBody(const std::vector<Message>& messages) { return ListBody("messages", messages); }
std::string MessageBody(const Message& message) { return Dump(json{{"message", ToValue(message)}}); }
std::string UnreadBody(const std::vector<UnreadCount>& counts) {
  return Dump(json{{"unread", List(counts, [](const UnreadCount& c) {
                      return json{{"channel_id", c.channel_id}, {"num_unread", c.num_unread}, {"num_new", c.num_new}};
                    })}});
}
std::string EntitiesBody(const std::vector<Entity>& entities, int total) {
  return Dump(json{{"entities", List(entities, [](const Entity& e) { return ToValue(e); })}, {"total", total}});
}
std::string EntityBody(const Entity& entity) { return Dump(json{{"entity", ToValue(entity)}}); }
std::string CommentBody(const Comment& comment) { return Dump(json{{"comment", ToValue(comment)}}); }
std::string MessageEvent(const Message& message) { return MessageBody(message); }
std::string UnreadEvent(const std::string& channel_id, uint32_t num_unread, uint32_t num_new) {
  return Dump(json{{"channel_id", channel_id}, {"num_unread", num_unread}, {"num_new", num_new}});
}
std::string PresenceEvent(const std::string& uid, int status) { return Dump(json{{"uid", uid}, {"status", status}}); }
std::string ConnectionEvent(int state) { return Dump(json{{"state", state}}); }

}  // namespace veltrina::backend
