#include "account_document.h"

namespace veltrina::internal {

bool IsAccountDocument(const json& document) {
  const json* teams = Member(document, "teams");
  const json* last = Member(document, "last_team_id");
  const json* server = Member(document, "last_server");
  return document.is_object() && !(teams && !teams->is_array()) && !(last && !last->is_string()) &&
         !(server && !server->is_string());
}

const json* FindAccountTeam(const json& document, const std::string& team_id, const std::string& server) {
  const json* teams = Member(document, "teams");
  if (!teams || !teams->is_array() || team_id.empty()) return nullptr;
  for (const json& t : *teams)
    if (Str(t, "team_id") == team_id && Str(t, "server") == server) return &t;
  return nullptr;
}

}  // namespace veltrina::internal
