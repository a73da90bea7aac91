// What the operator of a host does: teams, members and passwords.
#include <cctype>

#include "engine_impl.h"
#include "records_json.h"
#include "utf8.h"
#include "veltrina/director.h"

namespace veltrina::engine {

namespace {

// Lower-case letters, digits and '-', 2 to 40 of them, not starting or ending with '-'.
bool IsSubdomain(const std::string& s) {
  if (s.size() < 2 || s.size() > 40 || s.front() == '-' || s.back() == '-') return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  return true;
}

// Letters, digits, '.', '_' and '-', 1 to 40 of them.
bool IsUserName(const std::string& s) {
  if (s.empty() || s.size() > 40) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')) return false;
  return true;
}

}  // namespace

std::string Engine::Impl::AddTeam(const std::string& subdomain, const std::string& name) {
  if (!IsSubdomain(subdomain)) return "a team's name is 2 to 40 lower-case letters, digits or '-'";
  if (state_.FindTeamBySubdomain(subdomain)) return "the team " + subdomain + " exists";
  TeamData t;
  t.team.set_team_id(state_.NewId("t-"));
  t.team.set_team_subdomain(subdomain);
  t.team.set_team_name(name.empty() ? subdomain : internal::SanitizeUtf8(Cut(name, 80)));
  Channel general;
  general.set_channel_id(state_.NewId("c-"));
  general.set_channel_name("general");
  general.set_topic("");
  general.set_type(Channel::kPublic);
  general.set_is_general(true);
  general.set_created_at(Now());
  t.channels.push_back(general);
  state_.teams.push_back(std::move(t));
  TeamData* added = &state_.teams.back();
  Touch(RecordKind::kTeam, added, added->team.team_id());
  Touch(RecordKind::kChannel, added, general.channel_id());
  return Finish() ? std::string() : "the team could not be stored";
}

std::string Engine::Impl::AddUser(const std::string& subdomain, const std::string& user_name,
                                  const std::string& display_name, const std::string& password, bool admin) {
  TeamData* t = state_.FindTeamBySubdomain(subdomain);
  if (!t) return "no team " + subdomain;
  if (!IsUserName(user_name)) return "a user name is 1 to 40 letters, digits, '.', '_' or '-'";
  if (password.size() < 8) return "a password needs at least 8 bytes";
  for (const Account& a : state_.accounts)
    if (a.team_id == t->team.team_id() && a.user_name == user_name) return "the user " + user_name + " exists";
  const std::string stored = ports_.passwords->Hash(password);
  if (stored.empty()) return "the password could not be hashed";
  User u;
  u.set_uid(state_.NewId("u-"));
  u.set_user_name(user_name);
  u.set_display_name(display_name.empty() ? user_name : internal::SanitizeUtf8(Cut(display_name, 80)));
  u.set_role(admin ? User::kRoleAdmin : User::kRoleMember);
  u.set_state(User::kStateNormal);
  t->users.push_back(u);
  const int64_t create = Director::kPermissionCreateChannel | Director::kPermissionCreateGroup;
  state_.accounts.push_back(Account{.team_id = t->team.team_id(),
                                    .user_name = user_name,
                                    .password_hash = stored,
                                    .uid = u.uid(),
                                    .permission = admin ? create | Director::kPermissionConfigureServices : create});
  Touch(RecordKind::kUser, t, u.uid());
  Touch(RecordKind::kAccount, nullptr, t->team.team_id() + "\n" + u.uid());
  Record(t, Change{.kind = Change::Kind::kUser, .body = internal::Dump(json{{"user", internal::ToValue(u)}})});
  for (Channel& c : t->channels) {
    if (!c.IsGeneral()) continue;
    std::vector<std::string> members = c.member_uids();
    members.push_back(u.uid());
    c.set_member_uids(members);
    ChannelChanged(t, c);
  }
  return Finish() ? std::string() : "the user could not be stored";
}

std::string Engine::Impl::SetPassword(const std::string& subdomain, const std::string& user_name,
                                      const std::string& password) {
  TeamData* t = state_.FindTeamBySubdomain(subdomain);
  if (!t) return "no team " + subdomain;
  if (password.size() < 8) return "a password needs at least 8 bytes";
  for (Account& a : state_.accounts) {
    if (a.team_id != t->team.team_id() || a.user_name != user_name) continue;
    const std::string stored = ports_.passwords->Hash(password);
    if (stored.empty()) return "the password could not be hashed";
    a.password_hash = stored;
    a.initial_password = false;
    Touch(RecordKind::kAccount, nullptr, a.team_id + "\n" + a.uid);
    return Finish() ? std::string() : "the password could not be stored";
  }
  return "no user " + user_name + " in " + subdomain;
}

}  // namespace veltrina::engine
