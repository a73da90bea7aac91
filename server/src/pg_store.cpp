#include "pg_store.h"

#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <unordered_map>

#include "pg_db.h"
#include "pg_schema.h"
#include "record_writer.h"
#include "store_records.h"
#include "veltrina/engine/state.h"

namespace veltrina::server {

using engine::Account;
using engine::State;
using engine::TeamData;
using internal::Dump;
using internal::json;
using internal::ToValue;
using pg::Db;
using pg::Result;
using records::AccountRecord;
using records::Services;

static_assert(PgStore::kSchemaVersion == pg::kSchemaVersion);

namespace {

// Commits wait for the write-ahead log on disk, whatever the server's default.
constexpr const char* kSessionSettings = "SET synchronous_commit = on; SET client_min_messages = warning";

// Held by every batch's transaction: one process writes at a time, on the latest state.
constexpr const char* kWriterLock = "SELECT pg_advisory_xact_lock(7316152034)";


std::string_view T(const std::string& s) { return s; }

}  // namespace

class PgStore::Impl : public RecordWriter {
 public:
  explicit Impl(const std::string& conninfo) : db_(conninfo) {}

  Freshness BeginBatch(bool requests);
  Loaded Load(State* state);
  bool Commit(const State& state, const engine::Delta& delta);
  bool EndBatch();
  bool Begin();
  // Marks the batch failed (kept until EndBatch rolls it back).
  bool Failed(const char* what) override {
    if (log_) log_(std::string("store: ") + what + ": " + db_.LastError());
    failed_ = true;
    return false;
  }
  // Runs a write of the batch; false (and the batch failed) when it did not run.
  bool Write(const char* what, const char* sql, std::initializer_list<pg::Value> params) {
    return db_.Run(sql, params).ok() || Failed(what);
  }

  Db db_;
  std::function<void(const std::string&)> log_;
  bool failed_ = false;
  // As in the SQLite store: after a rolled-back batch the next commit writes the whole state.
  bool rewrite_ = false;
  // Records were written in this batch: its commit bumps the counter and tells the others.
  bool wrote_ = false;
  // The database's commit counter when this process last read or wrote the state.
  int64_t known_commits_ = -1;

 private:
  bool Exec(const char* sql) override { return db_.Exec(sql); }
  bool PutTeam(const TeamData& t) override;
  bool PutGenerated(const TeamData& t) override;
  bool PutAccount(const Account& a) override;
  bool PutRow(const char* sql, const std::string& team_id, const std::string& id, const json& record) override;
  bool PutMessage(const std::string& team_id, const std::string& conversation, const Message& m) override;
  bool PutCursor(const std::string& team_id, const std::string& uid, const std::string& conversation,
                 int64_t time) override;
  bool PutSentId(const std::string& team_id, const std::string& client, const std::string& stored) override;
  bool PutFeedback(int64_t index, const json& record) override;
  bool DeleteFeedback(int64_t index) override;
  bool PutChange(const std::string& team_id, const engine::Change& change) override;
  bool DropChangesBefore(const std::string& team_id, int64_t seq) override;
  bool PutNextId(int64_t next_id);
  bool Delete(const char* sql, const std::string& a, const std::string& b, const std::string& c) override;
  int64_t ReadCommits(bool* ok);
};

// ---- batches ----

bool PgStore::Impl::Begin() {
  if (failed_) return false;  // the batch is lost already: nothing more joins it
  if (db_.InTransaction()) return true;
  if (!db_.ok() && !(db_.Reset() && db_.Exec(kSessionSettings))) return Failed("the database cannot be reached");
  if (!db_.Exec("BEGIN") || !db_.Run(kWriterLock).ok()) return Failed("cannot begin a batch");
  return true;
}

int64_t PgStore::Impl::ReadCommits(bool* ok) {
  Result r = db_.Run("SELECT value FROM meta WHERE key = 'commits'");
  *ok = r.ok();
  return *ok && r.rows() > 0 ? r.Int(0, 0) : 0;
}

PgStore::Freshness PgStore::Impl::BeginBatch(bool requests) {
  if (!requests && !failed_ && !db_.InTransaction() && db_.ok()) {
    // One snapshot for the counter and a load, without the writer lock; writing in it fails.
    if (!db_.Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))
      return Failed("cannot begin a snapshot"), Freshness::kFailed;
  } else if (!Begin()) {
    return Freshness::kFailed;
  }
  bool ok = false;
  const int64_t commits = ReadCommits(&ok);
  if (!ok) return Failed("cannot read the commit counter"), Freshness::kFailed;
  return commits == known_commits_ ? Freshness::kCurrent : Freshness::kStale;
}

bool PgStore::Impl::Commit(const State& state, const engine::Delta& delta) {
  if (!Begin()) return false;
  const bool whole = rewrite_ || delta.everything;
  if (!(whole ? WriteAll(state) : WriteDelta(state, delta)) || !PutNextId(state.next_id)) {
    failed_ = true;
    return false;
  }
  wrote_ = true;
  if (whole) rewrite_ = false;  // undone if this batch rolls back
  return true;
}

bool PgStore::Impl::EndBatch() {
  if (!failed_) {
    if (!db_.InTransaction()) return true;
    int64_t commits = known_commits_;
    bool ok = true;
    if (wrote_) {
      // The counter and the notification go with the commit: the others hear of it only once it
      // is visible to them.
      Result bumped = db_.Run(
          "INSERT INTO meta(key, value) VALUES('commits', '1') "
          "ON CONFLICT(key) DO UPDATE SET value = (meta.value::bigint + 1)::text RETURNING value");
      ok = bumped.ok() && bumped.rows() == 1;
      if (ok) {
        commits = bumped.Int(0, 0);
        const std::string payload = std::to_string(commits);
        ok = db_.Run("SELECT pg_notify($1, $2)", {std::string_view(PgStore::kChannel), T(payload)}).ok();
      }
    }
    if (ok && db_.Commit()) {
      known_commits_ = commits;
      wrote_ = false;
      return true;
    }
    if (log_) log_("store: the batch cannot be committed: " + db_.LastError());
  }
  if (db_.InTransaction()) db_.Exec("ROLLBACK");
  failed_ = false;
  wrote_ = false;
  rewrite_ = true;
  return false;
}

// ---- loading ----

PgStore::Loaded PgStore::Impl::Load(State* state) {
  auto unreadable = [&](const std::string& why) {
    if (log_) log_("store: the database cannot be read: " + why);
    return Loaded::kUnavailable;
  };
  // Under the writer lock, so that no commit lands between the tables read; the batch stays open
  // for what the engine writes next (the seeding of an empty database, say).
  if (!Begin()) return unreadable(db_.LastError());
  json accounts = json::array(), teams = json::array(), feedback = json::array();
  int64_t next_id = 1000;
  bool any = false;
  std::unordered_map<std::string, size_t> team_at;
  std::string why;
  // Runs `sql` and hands each row to `each`; false (with the reason) when a row or the query fails.
  auto rows = [&](const char* sql, auto each) {
    Result r = db_.Run(sql);
    if (!r.ok()) {
      why = db_.LastError();
      return false;
    }
    for (int i = 0; i < r.rows(); ++i)
      if (!each(r, i)) return false;
    return true;
  };
  auto record = [&](const Result& r, int row, int column, json* out) {
    *out = internal::Parse(r.Text(row, column));
    if (out->is_discarded()) why = "a stored record is not JSON";
    return !out->is_discarded();
  };
  auto team_of = [&](const std::string& team_id) -> json* {
    auto it = team_at.find(team_id);
    if (it == team_at.end()) {
      why = "a record of team " + team_id + " that is not stored";
      return nullptr;
    }
    return &teams[it->second];
  };
  auto listed = [&](const char* sql, const char* key) {
    return rows(sql, [&](const Result& r, int i) {
      json* team = team_of(r.Text(i, 0));
      json value;
      if (!team || !record(r, i, 1, &value)) return false;
      (*team)[key].push_back(std::move(value));
      return true;
    });
  };
  bool counted = false;
  const int64_t commits = ReadCommits(&counted);
  const bool read =
      counted &&
      rows("SELECT value FROM meta WHERE key = 'next_id'",
           [&](const Result& r, int i) {
             next_id = r.Int(i, 0);
             return true;
           }) &&
      rows("SELECT record FROM accounts ORDER BY pos",
           [&](const Result& r, int i) {
             json value;
             if (!record(r, i, 0, &value)) return false;
             accounts.push_back(std::move(value));
             return any = true;
           }) &&
      rows("SELECT team_id, team, services, seq, generated FROM teams ORDER BY pos",
           [&](const Result& r, int i) {
             json team{{"users", json::array()},   {"channels", json::array()}, {"chats", json::array()},
                       {"messages", json::array()}, {"entities", json::array()}, {"cursors", json::object()},
                       {"seq", r.Int(i, 3)}};
             if (!record(r, i, 1, &team["team"]) || !record(r, i, 2, &team["services"])) return false;
             if (!r.IsNull(i, 4) && !record(r, i, 4, &team["generated"])) return false;
             team_at[r.Text(i, 0)] = teams.size();
             teams.push_back(std::move(team));
             return any = true;
           }) &&
      listed("SELECT team_id, record FROM users ORDER BY pos", "users") &&
      listed("SELECT team_id, record FROM channels ORDER BY pos", "channels") &&
      listed("SELECT team_id, record FROM chats ORDER BY pos", "chats") &&
      listed("SELECT team_id, record FROM messages ORDER BY pos", "messages") &&
      listed("SELECT team_id, record FROM entities ORDER BY pos", "entities") &&
      rows("SELECT team_id, uid, conversation, time FROM cursors",
           [&](const Result& r, int i) {
             json* team = team_of(r.Text(i, 0));
             if (team) (*team)["cursors"][r.Text(i, 1)][r.Text(i, 2)] = r.Int(i, 3);
             return team != nullptr;
           }) &&
      rows("SELECT team_id, record FROM changes ORDER BY team_id, seq",
           [&](const Result& r, int i) {
             json* team = team_of(r.Text(i, 0));
             json value;
             if (!team || !record(r, i, 1, &value)) return false;
             (*team)["changes"].push_back(std::move(value));
             return true;
           }) &&
      rows("SELECT team_id, client, stored FROM sent_ids",
           [&](const Result& r, int i) {
             json* team = team_of(r.Text(i, 0));
             if (team) (*team)["sent_ids"][r.Text(i, 1)] = r.Text(i, 2);
             return team != nullptr;
           }) &&
      rows("SELECT record FROM feedback ORDER BY idx", [&](const Result& r, int i) {
        json value;
        if (!record(r, i, 0, &value)) return false;
        feedback.push_back(std::move(value));
        return true;
      });
  if (why.empty() && !read) why = db_.LastError();
  if (!read) return unreadable(why);
  known_commits_ = commits;
  rewrite_ = false;  // what the engine holds from here on is what is stored
  if (!any) return Loaded::kEmpty;
  const json document{{"format", 1}, {"next_id", next_id}, {"accounts", std::move(accounts)},
                      {"teams", std::move(teams)}, {"feedback", std::move(feedback)}};
  if (!engine::StateFromJson(document, state)) return unreadable("the stored records do not make a state");
  return Loaded::kState;
}

// ---- writing ----

bool PgStore::Impl::PutTeam(const TeamData& t) {
  // The generated changes are made here only for a team that has none stored yet (see the SQLite
  // store).
  bool with_generated = false;
  if (t.generated) {
    Result known = db_.Run("SELECT generated IS NULL FROM teams WHERE team_id = $1", {T(t.team.team_id())});
    if (!known.ok()) return Failed("cannot read a team");
    with_generated = known.rows() == 0 || known.Text(0, 0) == "t";
  }
  const std::string team = Dump(ToValue(t.team)), services = Dump(Services(t));
  std::string generated;
  if (with_generated) generated = Dump(engine::GeneratedChanges(t));
  return Write("cannot write a team",
               "INSERT INTO teams(team_id, team, services, seq, generated) VALUES($1, $2, $3, $4, $5) "
               "ON CONFLICT(team_id) DO UPDATE SET team = excluded.team, services = excluded.services, "
               "seq = excluded.seq, generated = coalesce(excluded.generated, teams.generated)",
               {T(t.team.team_id()), T(team), T(services), t.seq,
                with_generated ? pg::Value(T(generated)) : pg::Value()});
}

bool PgStore::Impl::PutGenerated(const TeamData& t) {
  const std::string generated = Dump(engine::GeneratedChanges(t));
  return Write("cannot write a team's generated changes", "UPDATE teams SET generated = $2 WHERE team_id = $1",
               {T(t.team.team_id()), T(generated)});
}

bool PgStore::Impl::PutChange(const std::string& team_id, const engine::Change& change) {
  const std::string record = Dump(engine::ChangeToJson(change));
  return Write("cannot write a change",
               "INSERT INTO changes(team_id, seq, record) VALUES($1, $2, $3) "
               "ON CONFLICT(team_id, seq) DO UPDATE SET record = excluded.record",
               {T(team_id), change.seq, T(record)});
}

bool PgStore::Impl::DropChangesBefore(const std::string& team_id, int64_t seq) {
  return Write("cannot drop old changes", "DELETE FROM changes WHERE team_id = $1 AND seq < $2", {T(team_id), seq});
}

bool PgStore::Impl::PutAccount(const Account& a) {
  const std::string record = Dump(AccountRecord(a));
  return Write("cannot write an account",
               "INSERT INTO accounts(team_id, uid, record) VALUES($1, $2, $3) "
               "ON CONFLICT(team_id, uid) DO UPDATE SET record = excluded.record",
               {T(a.team_id), T(a.uid), T(record)});
}

bool PgStore::Impl::PutRow(const char* sql, const std::string& team_id, const std::string& id, const json& record) {
  const std::string text = Dump(record);
  return Write("cannot write a record", sql, {T(team_id), T(id), T(text)});
}

bool PgStore::Impl::PutMessage(const std::string& team_id, const std::string& conversation, const Message& m) {
  const std::string record = Dump(ToValue(m));
  return Write("cannot write a message",
               "INSERT INTO messages(team_id, conversation, key, record) VALUES($1, $2, $3, $4) "
               "ON CONFLICT(conversation, key, team_id) DO UPDATE SET record = excluded.record",
               {T(team_id), T(conversation), T(m.key()), T(record)});
}

bool PgStore::Impl::PutCursor(const std::string& team_id, const std::string& uid, const std::string& conversation,
                              int64_t time) {
  return Write("cannot write a read mark",
               "INSERT INTO cursors(team_id, uid, conversation, time) VALUES($1, $2, $3, $4) "
               "ON CONFLICT(team_id, uid, conversation) DO UPDATE SET time = excluded.time",
               {T(team_id), T(uid), T(conversation), time});
}

bool PgStore::Impl::PutSentId(const std::string& team_id, const std::string& client, const std::string& stored) {
  return Write("cannot write a sent id",
               "INSERT INTO sent_ids(team_id, client, stored) VALUES($1, $2, $3) "
               "ON CONFLICT(team_id, client) DO UPDATE SET stored = excluded.stored",
               {T(team_id), T(client), T(stored)});
}

bool PgStore::Impl::PutFeedback(int64_t index, const json& record) {
  const std::string text = Dump(record);
  return Write("cannot write feedback",
               "INSERT INTO feedback(idx, record) VALUES($1, $2) ON CONFLICT(idx) DO UPDATE SET record = excluded.record",
               {index, T(text)});
}

bool PgStore::Impl::DeleteFeedback(int64_t index) {
  return db_.Run("DELETE FROM feedback WHERE idx = $1", {index}).ok() || Failed("cannot remove feedback");
}

bool PgStore::Impl::PutNextId(int64_t next_id) {
  const std::string value = std::to_string(next_id);
  return Write("cannot write the next id",
               "INSERT INTO meta(key, value) VALUES('next_id', $1) ON CONFLICT(key) DO UPDATE SET value = excluded.value",
               {T(value)});
}

bool PgStore::Impl::Delete(const char* sql, const std::string& a, const std::string& b, const std::string& c) {
  // As many parameters as the statement names ($1 .. $3).
  const std::string text(sql);
  if (text.find("$3") != std::string::npos) return Write("cannot remove a record", sql, {T(a), T(b), T(c)});
  if (text.find("$2") != std::string::npos) return Write("cannot remove a record", sql, {T(a), T(b)});
  return Write("cannot remove a record", sql, {T(a)});
}

// ---- the store ----

std::unique_ptr<PgStore> PgStore::Open(const std::string& conninfo, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  std::unique_ptr<PgStore> store(new PgStore());
  store->impl_ = std::make_unique<Impl>(conninfo);
  Db& db = store->impl_->db_;
  if (!db.ok()) {
    *error = "cannot connect to the database: " + db.LastError();
    return nullptr;
  }
  if (!db.Exec(kSessionSettings)) {
    *error = "cannot set up the connection: " + db.LastError();
    return nullptr;
  }
  if (!pg::Migrate(db, error)) return nullptr;
  return store;
}

PgStore::PgStore() = default;
PgStore::~PgStore() = default;

PgStore::Freshness PgStore::BeginBatch(bool requests) { return impl_->BeginBatch(requests); }
PgStore::Loaded PgStore::Load(engine::State* state) { return impl_->Load(state); }
bool PgStore::Commit(const engine::State& state, const engine::Delta& delta) { return impl_->Commit(state, delta); }
bool PgStore::EndBatch() { return impl_->EndBatch(); }
int64_t PgStore::RowsWritten() { return impl_->db_.rows_written(); }
int PgStore::SchemaVersion() { return pg::SchemaVersionOf(impl_->db_); }
void PgStore::SetLog(std::function<void(const std::string&)> log) { impl_->log_ = std::move(log); }
int PgStore::BackendPid() { return impl_->db_.BackendPid(); }

bool PgStore::PutToken(const std::string& token_hash, const TokenRecord& token) {
  if (!impl_->Begin()) return false;
  return impl_->Write("cannot write a token",
                      "INSERT INTO tokens(hash, team_id, uid, session_id, expires_at) VALUES($1, $2, $3, $4, $5) "
                      "ON CONFLICT(hash) DO UPDATE SET team_id = excluded.team_id, uid = excluded.uid, "
                      "session_id = excluded.session_id, expires_at = excluded.expires_at",
                      {T(token_hash), T(token.team_id), T(token.uid), static_cast<int64_t>(token.session_id),
                       token.expires_at});  // all 64 bits kept
}

std::optional<TokenRecord> PgStore::FindToken(const std::string& token_hash) {
  Result r = impl_->db_.Run("SELECT team_id, uid, session_id, expires_at FROM tokens WHERE hash = $1", {T(token_hash)});
  if (!r.ok() || r.rows() == 0) return std::nullopt;
  return TokenRecord{r.Text(0, 0), r.Text(0, 1), static_cast<uint64_t>(r.Int(0, 2)), r.Int(0, 3)};
}

bool PgStore::DeleteToken(const std::string& token_hash) {
  if (!impl_->Begin()) return false;
  return impl_->Write("cannot remove a token", "DELETE FROM tokens WHERE hash = $1", {T(token_hash)});
}

std::optional<int64_t> PgStore::CountSignIns(const std::string& key, int64_t since) {
  Result r = impl_->db_.Run("SELECT count(*) FROM sign_ins WHERE key = $1 AND at >= $2", {T(key), since});
  return r.ok() && r.rows() == 1 ? r.Int(0, 0) : 0;
}

bool PgStore::AddSignIn(const std::string& key, int64_t at, int64_t forget_before) {
  if (!impl_->Begin()) return false;
  return impl_->Write("cannot forget old sign-ins", "DELETE FROM sign_ins WHERE at < $1", {forget_before}) &&
         impl_->Write("cannot count a sign-in", "INSERT INTO sign_ins(key, at) VALUES($1, $2)", {T(key), at});
}

int PgStore::DeleteExpiredTokens(int64_t now) {
  if (!impl_->Begin()) return 0;
  Result r = impl_->db_.Run("DELETE FROM tokens WHERE expires_at < $1", {now});
  if (!r.ok()) return impl_->Failed("cannot remove expired tokens"), 0;
  return static_cast<int>(r.Affected());
}

// ---- the watcher ----

PgWatcher::PgWatcher(std::string conninfo, int own_pid, std::chrono::milliseconds interval,
                     std::function<void()> changed, std::function<void(const std::string&)> log)
    : conninfo_(std::move(conninfo)),
      own_pid_(own_pid),
      interval_(interval),
      changed_(std::move(changed)),
      log_(std::move(log)) {
  if (::pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { Run(); });
}

PgWatcher::~PgWatcher() {
  stop_ = true;
  if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
  if (thread_.joinable()) thread_.join();
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

void PgWatcher::Run() {
  std::unique_ptr<Db> db;
  bool told = false;  // the broken connection was logged once
  while (!stop_) {
    if (!db || !db->ok() || PQstatus(db->get()) != CONNECTION_OK) {
      db = std::make_unique<Db>(conninfo_);
      const std::string listen = std::string("LISTEN ") + PgStore::kChannel;
      if (!db->ok() || !db->Exec(listen.c_str())) {
        if (!told && log_) log_("watcher: cannot listen for other processes' commits: " + db->LastError());
        told = true;
        db.reset();
      } else {
        told = false;
      }
      changed_();  // whatever happened while it was not listening
    }
    pollfd fds[2] = {{db ? PQsocket(db->get()) : -1, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(interval_.count()));
    if (stop_) break;
    bool news = ready == 0;  // the safety net: now and then in any case
    if (db && (fds[0].revents & (POLLIN | POLLERR | POLLHUP))) {
      if (!PQconsumeInput(db->get())) {
        db.reset();
        continue;
      }
      while (PGnotify* n = PQnotifies(db->get())) {
        if (n->be_pid != own_pid_) news = true;
        PQfreemem(n);
      }
    }
    if (news) changed_();
  }
}

}  // namespace veltrina::server
