#pragma once
// Records to and from JSON values (the backend protocol's shapes).
#include "json_util.h"
#include "veltrina/channel.h"
#include "veltrina/entity.h"
#include "veltrina/im.h"
#include "veltrina/message.h"
#include "veltrina/service.h"
#include "veltrina/team.h"
#include "veltrina/token.h"
#include "veltrina/user.h"

namespace veltrina::internal {

json ToValue(const User& v);
json ToValue(const Team& v);
json ToValue(const Channel& v);
json ToValue(const IM& v);
json ToValue(const Message& v);
json ToValue(const Entity& v);
json ToValue(const Comment& v);
json ToValue(const Service& v);
json ToValue(const Token& v);
json ToValue(const Attachment& v);

// Each reads a JSON object (anything else gives a default record); missing members keep defaults.
User UserFrom(const json& j);
Team TeamFrom(const json& j);
Channel ChannelFrom(const json& j);
IM ImFrom(const json& j);
Message MessageFrom(const json& j);
Entity EntityFrom(const json& j);
Comment CommentFrom(const json& j);
Service ServiceFrom(const json& j);
Token TokenFrom(const json& j);
Attachment AttachmentFrom(const json& j);

}  // namespace veltrina::internal
