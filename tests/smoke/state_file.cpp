#include "state_file.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "client_process.h"

namespace smoke {
namespace {

using nlohmann::json;

std::string StringAt(const json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

const json& ArrayAt(const json& object, const char* key) {
  static const json empty = json::array();
  auto it = object.find(key);
  return it != object.end() && it->is_array() ? *it : empty;
}

// The value of `wanted` in the element of `list` whose `key` is `value`.
std::string Lookup(const json& list, const char* key, const std::string& value, const char* wanted) {
  for (const json& item : list)
    if (item.is_object() && StringAt(item, key) == value) return StringAt(item, wanted);
  return "(unknown " + value + ")";
}

}  // namespace

std::wstring StateFilePath() { return DataFolder() + L"\\demo-service.json"; }

StoredMessage FindStoredMessage(const std::string& subdomain, const std::string& content) {
  StoredMessage result;
  std::ifstream in(std::filesystem::path(StateFilePath()), std::ios::binary);
  if (!in) {
    result.problem = "no state file yet";
    return result;
  }
  json document = json::parse(in, nullptr, false);
  if (document.is_discarded() || !document.is_object()) {
    result.problem = "the state file is not a JSON object";
    return result;
  }
  for (const json& team : ArrayAt(document, "teams")) {
    if (!team.is_object() || !team.contains("team") || StringAt(team["team"], "team_subdomain") != subdomain) continue;
    for (const json& message : ArrayAt(team, "messages")) {
      if (!message.is_object() || StringAt(message, "content") != content) continue;
      result.found = true;
      result.sender_user_name = Lookup(ArrayAt(team, "users"), "uid", StringAt(message, "uid"), "user_name");
      result.channel_name =
          Lookup(ArrayAt(team, "channels"), "channel_id", StringAt(message, "channel_id"), "channel_name");
      return result;
    }
    result.problem = "team " + subdomain + " holds no such message";
    return result;
  }
  result.problem = "the state file has no team " + subdomain;
  return result;
}

}  // namespace smoke
