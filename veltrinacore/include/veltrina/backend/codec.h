#pragma once
// JSON text of the records, as the backend protocol carries them. FromJson returns false (and
// leaves the record as it was) for malformed text or a non-object; missing members take defaults.
#include <string>

#include "veltrina/channel.h"
#include "veltrina/entity.h"
#include "veltrina/im.h"
#include "veltrina/message.h"
#include "veltrina/service.h"
#include "veltrina/team.h"
#include "veltrina/token.h"
#include "veltrina/user.h"

namespace veltrina::backend {

std::string ToJson(const User& user);
std::string ToJson(const Team& team);
std::string ToJson(const Channel& channel);
std::string ToJson(const IM& im);
std::string ToJson(const Message& message);
std::string ToJson(const Entity& entity);
std::string ToJson(const Comment& comment);
std::string ToJson(const Service& service);
std::string ToJson(const Token& token);

bool FromJson(const std::string& json, User* user);
bool FromJson(const std::string& json, Team* team);
bool FromJson(const std::string& json, Channel* channel);
bool FromJson(const std::string& json, IM* im);
bool FromJson(const std::string& json, Message* message);
bool FromJson(const std::string& json, Entity* entity);
bool FromJson(const std::string& json, Comment* comment);
bool FromJson(const std::string& json, Service* service);
bool FromJson(const std::string& json, Token* token);

// A JSON string literal (quotes included) of arbitrary bytes; invalid UTF-8 is replaced by U+FFFD.
std::string Quote(const std::string& text);

}  // namespace veltrina::backend
