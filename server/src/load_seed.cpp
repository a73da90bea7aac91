#include "load_seed.h"

#include <cstdio>

#include "json_util.h"
#include "veltrina/engine/state.h"

namespace veltrina::server {

namespace {

std::string UserName(int index) {
  char name[16];
  std::snprintf(name, sizeof name, "u%05d", index);
  return name;
}

}  // namespace

std::string SeedLoadTeam(engine::Engine& engine, const std::string& subdomain, int users, int channel_size,
                         const std::string& password) {
  if (users < 1 || channel_size < 1) return "the team needs users and channels of at least one";
  if (std::string refused = engine.AddTeam(subdomain, "Load " + subdomain); !refused.empty()) return refused;
  for (int i = 0; i < users; ++i)
    if (std::string refused = engine.AddUser(subdomain, UserName(i), "", password, false); !refused.empty())
      return UserName(i) + ": " + refused;
  std::string team_id;
  for (const engine::TeamData& t : engine.state().teams)
    if (t.team.team_subdomain() == subdomain) team_id = t.team.team_id();
  std::vector<std::string> uids(static_cast<size_t>(users));
  for (const engine::Account& a : engine.state().accounts)
    if (a.team_id == team_id && a.user_name.size() == 6 && a.user_name[0] == 'u')
      if (const int index = std::atoi(a.user_name.c_str() + 1); index >= 0 && index < users) uids[index] = a.uid;
  // Each channel is made by its first member, with the others as members from the start.
  for (int first = 0, n = 0; first < users; first += channel_size, ++n) {
    internal::json members = internal::json::array();
    for (int i = first + 1; i < std::min(users, first + channel_size); ++i) members.push_back(uids[i]);
    const engine::Session creator{team_id, uids[first], 0};
    const internal::json params{{"name", "load-" + std::to_string(n)}, {"member_uids", members}};
    engine::Outcome out = engine.Handle(&creator, "channels.create", internal::Dump(params));
    if (!out.reply.ok) return "channel load-" + std::to_string(n) + ": " + out.reply.error;
  }
  return {};
}

}  // namespace veltrina::server
