#pragma once
// The rows both stores write: records in the shapes of the state file (engine/src/state.cpp), so
// that a load can hand them to StateFromJson as they are.
#include <string>
#include <utility>
#include <vector>

#include "records_json.h"
#include "veltrina/engine/state.h"

namespace veltrina::server::records {

using internal::json;
using internal::ToValue;

inline json AccountRecord(const engine::Account& a) {
  return json{{"team_id", a.team_id},       {"user_name", a.user_name},
              {"password_hash", a.password_hash}, {"uid", a.uid},
              {"initial_password", a.initial_password}, {"permission", a.permission}};
}

inline json ChatRecord(const engine::DirectChat& c) {
  return json{{"im_id", c.im_id},
              {"uid_a", c.uid_a},
              {"uid_b", c.uid_b},
              {"created_at", c.created_at},
              {"open_for", std::vector<std::string>(c.open_for.begin(), c.open_for.end())}};
}

inline json ChannelRecord(const engine::TeamData& t, const Channel& c) {
  json v = ToValue(c);
  if (c.IsGeneral() && t.generated) {  // the generated members come back when the team grows
    std::vector<std::string> members = c.member_uids();
    std::erase_if(members, engine::IsGeneratedId);
    v["member_uids"] = members;
  }
  return v;
}

inline json Services(const engine::TeamData& t) {
  json out = json::array();
  for (const Service& s : t.services) out.push_back(ToValue(s));
  return out;
}

// "<a>\n<b>" split at its first line break.
inline std::pair<std::string, std::string> SplitPair(const std::string& id) {
  const size_t cut = id.find('\n');
  if (cut == std::string::npos) return {id, std::string()};
  return {id.substr(0, cut), id.substr(cut + 1)};
}

inline const engine::TeamData* FindTeam(const engine::State& state, const std::string& team_id) {
  for (const engine::TeamData& t : state.teams)
    if (t.team.team_id() == team_id) return &t;
  return nullptr;
}

}  // namespace veltrina::server::records
