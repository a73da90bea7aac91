#pragma once
// Ready-made JSON bodies of the backend protocol (backend/protocol.h) for the scripted service's
// answers and events, e.g. service->Succeed(request->id, UsersBody({alice, bob})).
#include <cstdint>
#include <string>
#include <vector>

#include "veltrina/channel.h"
#include "veltrina/entity.h"
#include "veltrina/im.h"
#include "veltrina/message.h"
#include "veltrina/service.h"
#include "veltrina/token.h"
#include "veltrina/user.h"

namespace veltrina::backend {

struct UnreadCount {
  std::string channel_id;
  uint32_t num_unread = 0;
  uint32_t num_new = 0;
};

std::string TeamBody(const std::string& team_id, const std::string& team_name, const std::string& team_subdomain);
std::string VersionBody(int64_t version_code, const std::string& description, const std::string& download_url);
std::string LoginBody(const Token& token, const User& user);  // answer with code 200 or 201
std::string PermissionBody(int64_t permission);
std::string UsersBody(const std::vector<User>& users);
std::string StatusesBody(const std::vector<User>& users);  // uid and status of each
std::string ServicesBody(const std::vector<veltrina::Service>& services);
std::string ChannelsBody(const std::vector<Channel>& channels);
std::string ChannelBody(const Channel& channel);
std::string ImsBody(const std::vector<IM>& ims);
std::string ImBody(const IM& im);
std::string MessagesBody(const std::vector<Message>& messages);
std::string MessageBody(const Message& message);  // also the "message" event
std::string UnreadBody(const std::vector<UnreadCount>& counts);
std::string EntitiesBody(const std::vector<Entity>& entities, int total);
std::string EntityBody(const Entity& entity);
std::string CommentBody(const Comment& comment);
std::string MessageEvent(const Message& message);
std::string UnreadEvent(const std::string& channel_id, uint32_t num_unread, uint32_t num_new);
std::string PresenceEvent(const std::string& uid, int status);
std::string ConnectionEvent(int state);

}  // namespace veltrina::backend
