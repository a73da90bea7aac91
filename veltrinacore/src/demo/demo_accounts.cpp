// Team lookup, sign-in and the initial password.

#include "../records_json.h"
#include "demo_service_impl.h"
#include "veltrina/password_hash.h"
#include "veltrina/secret.h"

namespace veltrina::backend {

Reply DemoService::Impl::TeamLookup(const std::string& subdomain) {
  if (subdomain == "unreachable") return Fail(-1, "cannot reach the service");
  TeamData* t = state_.FindTeamBySubdomain(subdomain);
  if (!t) return Fail(404, "no such team");
  return Ok(json{{"team_id", t->team.team_id()},
                 {"team_name", t->team.team_name()},
                 {"team_subdomain", t->team.team_subdomain()}});
}

Reply DemoService::Impl::Login(const json& p) {
  std::string user_name = Str(p, "username");
  if (user_name == "unreachable") return Fail(-1, "cannot reach the service");
  std::string team_id = Str(p, "team_id");
  TeamData* t = state_.FindTeam(team_id);
  if (!t) t = state_.FindTeamBySubdomain(Str(p, "team_subdomain"));
  if (!t) return Fail(404, "no such team");
  std::string password = Str(p, "password");
  SecretWiper<std::string> wipe(&password);
  Account* account = nullptr;
  for (Account& a : state_.accounts)
    if (!account && a.team_id == t->team.team_id() && a.user_name == user_name) account = &a;
  // An unknown user costs as much as a wrong password: the time tells no names.
  if (!VerifyPassword(password, account ? account->password_hash : DecoyPasswordHash())) account = nullptr;
  const User* user = account ? FindUser(t, account->uid) : nullptr;
  if (!user) return Fail(8000, "wrong user name or password");
  if (PasswordHashNeedsUpgrade(account->password_hash))
    if (std::string stronger = HashPassword(password); !stronger.empty()) account->password_hash = std::move(stronger);
  session_team_ = account->team_id;
  session_uid_ = account->uid;
  Token token;
  token.set_access_token(state_.NewId("token-"));
  token.set_refresh_token(state_.NewId("refresh-"));
  token.set_expires_at(Now() + 30 * 86400);
  Save();
  return Ok(json{{"token", internal::ToValue(token)}, {"user", internal::ToValue(*user)}},
            account->initial_password ? 201 : 200);
}

Reply DemoService::Impl::InitPassword(std::string password) {
  SecretWiper<std::string> wipe(&password);
  Account* a = SessionAccount();
  if (!a) return Fail(401, "not signed in");
  if (password.size() < 6) return Fail(400, "the password needs at least 6 bytes");
  std::string stored = HashPassword(password);
  if (stored.empty()) return Fail(500, "the password cannot be stored");
  a->password_hash = std::move(stored);
  a->initial_password = false;
  Save();
  return Ok();
}

}  // namespace veltrina::backend
