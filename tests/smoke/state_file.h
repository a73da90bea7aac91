#pragma once
// The embedded demo service keeps its state in <Documents>\Veltrina\demo-service.json and writes it
// atomically after every change. Its shape, as the service writes it: {"teams": [{"team":
// {"team_subdomain", ...}, "users": [{"uid", "user_name", ...}], "channels": [{"channel_id",
// "channel_name", ...}], "messages": [{"uid", "channel_id", "content", ...}]}], ...}.
#include <string>

namespace smoke {

struct StoredMessage {
  bool found = false;
  std::string sender_user_name;  // resolved through the team's users
  std::string channel_name;      // resolved through the team's channels
  std::string problem;           // why nothing could be read, when the file is missing or broken
};

std::wstring StateFilePath();
// The message of team `subdomain` whose content is exactly `content`.
StoredMessage FindStoredMessage(const std::string& subdomain, const std::string& content);

}  // namespace smoke
