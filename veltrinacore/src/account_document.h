#pragma once
// The account store's document, apart from its file:
//   {"last_team_id": "...", "teams": [{"team_id", "team_subdomain", "team_name", "username"}...]}
#include <string>

#include "json_util.h"

namespace veltrina::internal {

// False for an object whose "teams" is not an array or whose "last_team_id" is not a string:
// such a file is not ours to overwrite.
bool IsAccountDocument(const json& document);
// The entry of a team, or null.
const json* FindAccountTeam(const json& document, const std::string& team_id);

}  // namespace veltrina::internal
