#pragma once
// The account store's document, apart from its file:
//   {"last_team_id": "...", "last_server": "...",
//    "teams": [{"team_id", "team_subdomain", "team_name", "username", "server"}...]}
// "server" names the veltrina-server of a team; absent or empty (files written before servers
// existed): the embedded demo. A team is known by its id together with its server: two servers
// may well give out the same ids.
#include <string>

#include "json_util.h"

namespace veltrina::internal {

// False for an object whose "teams" is not an array or whose "last_team_id" is not a string:
// such a file is not ours to overwrite.
bool IsAccountDocument(const json& document);
// The entry of a team on a server (empty: the embedded demo), or null.
const json* FindAccountTeam(const json& document, const std::string& team_id, const std::string& server);

}  // namespace veltrina::internal
