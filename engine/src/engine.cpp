// Loading, serving one request, committing, and what hosts do as the team.
#include <stdexcept>

#include "engine_impl.h"
#include "records_json.h"

namespace veltrina::engine {

namespace {

// A state written before passwords were hashed holds them as they are: hashed here, so that the
// commit that follows writes none of them. Returns how many there were.
int HashPlainPasswords(State* state, PasswordHasher& passwords) {
  int hashed = 0;
  for (Account& a : state->accounts) {
    if (!a.password_hash.empty() || a.plain_password.empty()) continue;  // without either it never signs in
    a.password_hash = passwords.Hash(a.plain_password);
    std::fill(a.plain_password.begin(), a.plain_password.end(), '\0');
    a.plain_password.clear();
    ++hashed;
  }
  return hashed;
}

}  // namespace

Engine::Impl::Impl(Ports ports, Options options) : ports_(std::move(ports)), options_(std::move(options)) {
  if (!ports_.clock || !ports_.random || !ports_.passwords || !ports_.store || !ports_.blobs)
    throw std::invalid_argument("the team engine needs every port");
  Load();
}

void Engine::Impl::Load() {
  State loaded;
  switch (ports_.store->Load(&loaded)) {
    case Store::Loaded::kState: {
      const int hashed = HashPlainPasswords(&loaded, *ports_.passwords);
      state_ = std::move(loaded);
      Grow(&state_);
      available_ = true;
      if (hashed > 0) {
        if (ports_.log) ports_.log("stores " + std::to_string(hashed) + " passwords as hashes");
        delta_ = Delta{.everything = true};
        changed_ = true;
        Finish();
      }
      return;
    }
    case Store::Loaded::kEmpty:
      state_ = Seeded();
      available_ = true;
      delta_ = Delta{.everything = true};
      changed_ = true;
      Finish();
      return;
    case Store::Loaded::kUnavailable:
      available_ = false;
      if (state_.teams.empty()) state_ = Seeded();
      return;
  }
}

State Engine::Impl::Seeded() {
  if (!options_.seed_demo) return State{};
  State state = SeedState(Now(), *ports_.passwords);
  Grow(&state);
  return state;
}

void Engine::Impl::Grow(State* state) {
  if (!options_.large_team) return;
  TeamData* t = state->FindTeam("t-demo");
  if (!t) return;
  const json changes = std::move(t->generated_changes);
  GrowLargeTeam(t, options_.large_team_seed, Int(changes, "anchor", Now()), changes);
}

void Engine::Impl::Touch(RecordKind kind, const TeamData* t, const std::string& id) {
  delta_.touched.push_back(Touched{kind, t ? t->team.team_id() : std::string(), id});
  changed_ = true;
}

bool Engine::Impl::Finish() {
  Delta delta = std::move(delta_);
  delta_ = Delta{};
  const bool changed = changed_;
  changed_ = false;
  if (!changed || !available_) return true;
  return ports_.store->Commit(state_, delta);
}

Outcome Engine::Impl::Handle(const Session* session, const std::string& method, const std::string& params_json,
                             const std::string& data) {
  if (!available_) Load();  // the store could not be read before: it may be readable now
  json params = internal::Parse(params_json);
  if (!params.is_object()) params = json::object();
  Outcome outcome;
  session_ = session;
  me_ = session ? session->uid : std::string();
  try {
    outcome.reply = Dispatch(method, params, data);
  } catch (const std::exception& e) {
    outcome.reply = Fail(500, std::string("the service failed: ") + e.what());
  }
  if (method == "auth.login" && outcome.reply.ok) {
    // Login leaves the signed-in account's team and user in login_team_ and me_.
    Session signed_in;
    signed_in.team_id = login_team_;
    signed_in.uid = me_;
    do signed_in.id = ports_.random->Next();
    while (signed_in.id == 0);
    outcome.signed_in = signed_in;
  }
  session_ = nullptr;
  me_.clear();
  login_team_.clear();
  if (!Finish()) {
    outcome.reply = Fail(503, "the change could not be stored");
    outcome.signed_in.reset();
  }
  return outcome;
}

int64_t Engine::Impl::Head(const std::string& team_id) const {
  for (const TeamData& t : state_.teams)
    if (t.team.team_id() == team_id) return t.seq;
  return 0;
}

std::optional<Message> Engine::Impl::Post(const std::string& team_id, Message message, bool chatter) {
  TeamData* t = state_.FindTeam(team_id);
  if (!t || (!FindChannel(t, message.ChannelID()) && !FindChat(t, message.ChannelID()))) return std::nullopt;
  const Message stored = Store(t, std::move(message), chatter);
  Announce(t, stored, 0);
  if (chatter) Trim(t);
  Finish();
  return stored;
}

void Engine::Impl::SetPresence(const std::string& team_id, const std::string& uid, int status) {
  TeamData* t = state_.FindTeam(team_id);
  if (!t) return;
  for (User& u : t->users) {
    if (u.uid() != uid) continue;
    u.set_status(status);
    Touch(RecordKind::kUser, t, uid);
    Record(t, Change{.kind = Change::Kind::kPresence, .body = internal::Dump(json{{"uid", uid}, {"status", status}})});
  }
  Finish();
}

Engine::Engine(Ports ports, Options options) : impl_(std::make_unique<Impl>(std::move(ports), std::move(options))) {}
Engine::~Engine() = default;
Outcome Engine::Handle(const Session* session, const std::string& method, const std::string& params_json,
                       const std::string& data) {
  return impl_->Handle(session, method, params_json, data);
}
Page Engine::Poll(const Session& session, int64_t since, size_t limit) { return impl_->Poll(session, since, limit); }
Audience Engine::Concerned(const std::string& team_id, int64_t since) { return impl_->Concerned(team_id, since); }
int64_t Engine::Head(const std::string& team_id) const { return impl_->Head(team_id); }
backend::Reply Engine::Download(const Session* session, const std::string& url, uint64_t max_bytes) {
  return impl_->Download(session, url, max_bytes);
}
bool Engine::Available() const { return impl_->Available(); }
std::optional<Message> Engine::Post(const std::string& team_id, Message message, bool chatter) {
  return impl_->Post(team_id, std::move(message), chatter);
}
void Engine::SetPresence(const std::string& team_id, const std::string& uid, int status) {
  impl_->SetPresence(team_id, uid, status);
}
const State& Engine::state() const { return impl_->state(); }
std::string Engine::AddTeam(const std::string& subdomain, const std::string& name) {
  return impl_->AddTeam(subdomain, name);
}
std::string Engine::AddUser(const std::string& subdomain, const std::string& user_name, const std::string& display_name,
                            const std::string& password, bool admin) {
  return impl_->AddUser(subdomain, user_name, display_name, password, admin);
}
std::string Engine::SetPassword(const std::string& subdomain, const std::string& user_name,
                                const std::string& password) {
  return impl_->SetPassword(subdomain, user_name, password);
}
int64_t Engine::NextId() const { return impl_->NextId(); }

}  // namespace veltrina::engine
