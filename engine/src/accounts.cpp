// Team lookup, sign-in and the initial password.

#include "engine_impl.h"
#include "records_json.h"

namespace veltrina::engine {

namespace {

// Clears a password's bytes when it goes out of scope (a volatile write the optimiser keeps).
class Wiped {
 public:
  explicit Wiped(std::string* secret) : secret_(secret) {}
  ~Wiped() {
    volatile char* p = secret_->data();
    for (size_t i = 0; i < secret_->size(); ++i) p[i] = 0;
  }
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;

 private:
  std::string* secret_;
};

// 128 random bits as hex.
std::string RandomHex(Random& random) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int word = 0; word < 2; ++word)
    for (uint64_t v = random.Next(), i = 0; i < 16; ++i, v >>= 4) out += kDigits[v & 0xF];
  return out;
}

}  // namespace

Reply Engine::Impl::TeamLookup(const std::string& subdomain) {
  TeamData* t = state_.FindTeamBySubdomain(subdomain);
  if (!t) return Fail(404, "no such team");
  return Ok(json{{"team_id", t->team.team_id()},
                 {"team_name", t->team.team_name()},
                 {"team_subdomain", t->team.team_subdomain()}});
}

Reply Engine::Impl::Login(const json& p) {
  std::string user_name = Str(p, "username");
  std::string team_id = Str(p, "team_id");
  TeamData* t = state_.FindTeam(team_id);
  if (!t) t = state_.FindTeamBySubdomain(Str(p, "team_subdomain"));
  if (!t) return Fail(404, "no such team");
  std::string password = Str(p, "password");
  Wiped wipe(&password);
  Account* account = nullptr;
  for (Account& a : state_.accounts)
    if (!account && a.team_id == t->team.team_id() && a.user_name == user_name) account = &a;
  // An unknown user costs as much as a wrong password: the time tells no names.
  PasswordHasher& hasher = *ports_.passwords;
  if (!hasher.Verify(password, account ? account->password_hash : hasher.Decoy())) account = nullptr;
  const User* user = account ? FindUser(t, account->uid) : nullptr;
  if (!user) return Fail(8000, "wrong user name or password");
  if (hasher.NeedsUpgrade(account->password_hash))
    if (std::string stronger = hasher.Hash(password); !stronger.empty()) {
      account->password_hash = std::move(stronger);
      Touch(RecordKind::kAccount, nullptr, account->team_id + "\n" + account->uid);
    }
  login_team_ = account->team_id;
  me_ = account->uid;
  Token token;
  token.set_access_token(RandomHex(*ports_.random));
  token.set_refresh_token(RandomHex(*ports_.random));
  token.set_expires_at(Now() + 30 * 86400);
  return Ok(json{{"token", internal::ToValue(token)}, {"user", internal::ToValue(*user)}},
            account->initial_password ? 201 : 200);
}

Reply Engine::Impl::InitPassword(std::string password) {
  Wiped wipe(&password);
  Account* a = FindAccount(session_->team_id, me_);
  if (!a) return Fail(401, "not signed in");
  if (password.size() < 6) return Fail(400, "the password needs at least 6 bytes");
  std::string stored = ports_.passwords->Hash(password);
  if (stored.empty()) return Fail(500, "the password cannot be stored");
  a->password_hash = std::move(stored);
  a->initial_password = false;
  Touch(RecordKind::kAccount, nullptr, a->team_id + "\n" + a->uid);
  return Ok();
}

}  // namespace veltrina::engine
