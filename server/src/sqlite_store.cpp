#include "sqlite_store.h"

#include <sqlite3.h>

#include <unordered_map>

#include "records_json.h"
#include "record_writer.h"
#include "sqlite_db.h"
#include "sqlite_schema.h"
#include "store_records.h"
#include "veltrina/engine/state.h"

namespace veltrina::server {

using engine::Account;
using engine::State;
using engine::TeamData;
using internal::Dump;
using internal::json;
using internal::ToValue;
using sqlite::Db;
using sqlite::Statement;
using records::AccountRecord;
using records::Services;

static_assert(SqliteStore::kSchemaVersion == sqlite::kSchemaVersion);

namespace {


}  // namespace

class SqliteStore::Impl : public RecordWriter {
 public:
  explicit Impl(sqlite3* db) : db_(db) {}

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

  Db db_;
  std::function<void(const std::string&)> log_;
  // A write of the current batch failed: nothing more is written until EndBatch rolls it back.
  bool failed_ = false;
  // A batch was rolled back while the engine kept its changes in memory: the next commit writes
  // the whole state, so that the file catches up with what the engine holds.
  bool rewrite_ = false;

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
};

// ---- loading ----

SqliteStore::Loaded SqliteStore::Impl::Load(State* state) {
  auto unreadable = [&](const std::string& why) {
    if (log_) log_("store: the database cannot be read: " + why);
    return Loaded::kUnavailable;
  };
  json accounts = json::array(), teams = json::array(), feedback = json::array();
  int64_t next_id = 1000;
  bool any = false;
  std::unordered_map<std::string, size_t> team_at;
  // Runs `sql` and hands each row to `each`; false (with the reason) when a row or the query fails.
  std::string why;
  auto rows = [&](const char* sql, auto each) {
    Statement* s = db_.Use(sql);
    if (!s) {
      why = db_.LastError();
      return false;
    }
    int rc;
    while ((rc = s->Step()) == SQLITE_ROW) {
      if (!each(*s)) {
        s->Reset();
        return false;
      }
    }
    if (rc != SQLITE_DONE) why = db_.LastError();
    s->Reset();
    return rc == SQLITE_DONE;
  };
  auto record = [&](const Statement& s, int column, json* out) {
    *out = internal::Parse(s.Text(column));
    if (out->is_discarded()) why = "a stored record is not JSON";
    return !out->is_discarded();
  };
  // The team object a row of `team_id` goes into; null (a row without its team) fails the load.
  auto team_of = [&](const std::string& team_id) -> json* {
    auto it = team_at.find(team_id);
    if (it == team_at.end()) {
      why = "a record of team " + team_id + " that is not stored";
      return nullptr;
    }
    return &teams[it->second];
  };
  // Team records listed under `key` of their team, in the order they were added.
  auto listed = [&](const char* sql, const char* key) {
    return rows(sql, [&](const Statement& s) {
      json* team = team_of(s.Text(0));
      json value;
      if (!team || !record(s, 1, &value)) return false;
      (*team)[key].push_back(std::move(value));
      return true;
    });
  };

  // One snapshot for all the tables (an open batch is one already).
  const bool own_snapshot = !db_.InTransaction();
  const bool read =
      (!own_snapshot || db_.Exec("BEGIN")) &&
      rows("SELECT value FROM meta WHERE key = 'next_id'",
           [&](const Statement& s) {
             next_id = s.Int(0);
             return true;
           }) &&
      rows("SELECT record FROM accounts ORDER BY pos",
           [&](const Statement& s) {
             json value;
             if (!record(s, 0, &value)) return false;
             accounts.push_back(std::move(value));
             return any = true;
           }) &&
      rows("SELECT team_id, team, services, seq, generated FROM teams ORDER BY pos",
           [&](const Statement& s) {
             json team{{"users", json::array()},   {"channels", json::array()}, {"chats", json::array()},
                       {"messages", json::array()}, {"entities", json::array()}, {"cursors", json::object()},
                       {"seq", s.Int(3)}};
             if (!record(s, 1, &team["team"]) || !record(s, 2, &team["services"])) return false;
             if (!s.IsNull(4) && !record(s, 4, &team["generated"])) return false;
             team_at[s.Text(0)] = teams.size();
             teams.push_back(std::move(team));
             return any = true;
           }) &&
      listed("SELECT team_id, record FROM users ORDER BY pos", "users") &&
      listed("SELECT team_id, record FROM channels ORDER BY pos", "channels") &&
      listed("SELECT team_id, record FROM chats ORDER BY pos", "chats") &&
      listed("SELECT team_id, record FROM messages ORDER BY pos", "messages") &&
      listed("SELECT team_id, record FROM entities ORDER BY pos", "entities") &&
      rows("SELECT team_id, uid, conversation, time FROM cursors",
           [&](const Statement& s) {
             json* team = team_of(s.Text(0));
             if (team) (*team)["cursors"][s.Text(1)][s.Text(2)] = s.Int(3);
             return team != nullptr;
           }) &&
      rows("SELECT team_id, record FROM changes ORDER BY team_id, seq",
           [&](const Statement& s) {
             json* team = team_of(s.Text(0));
             json value;
             if (!team || !record(s, 1, &value)) return false;
             (*team)["changes"].push_back(std::move(value));
             return true;
           }) &&
      rows("SELECT team_id, client, stored FROM sent_ids",
           [&](const Statement& s) {
             json* team = team_of(s.Text(0));
             if (team) (*team)["sent_ids"][s.Text(1)] = s.Text(2);
             return team != nullptr;
           }) &&
      rows("SELECT record FROM feedback ORDER BY idx", [&](const Statement& s) {
        json value;
        if (!record(s, 0, &value)) return false;
        feedback.push_back(std::move(value));
        return true;
      });
  if (why.empty() && !read) why = db_.LastError();
  if (own_snapshot) db_.Exec("COMMIT");
  if (!read) return unreadable(why);
  if (!any) return Loaded::kEmpty;
  const json document{{"format", 1}, {"next_id", next_id}, {"accounts", std::move(accounts)},
                      {"teams", std::move(teams)}, {"feedback", std::move(feedback)}};
  if (!engine::StateFromJson(document, state)) return unreadable("the stored records do not make a state");
  return Loaded::kState;
}

// ---- writing ----

bool SqliteStore::Impl::Begin() {
  if (failed_) return false;  // the batch is lost already: nothing more joins it
  if (db_.InTransaction()) return true;
  if (!db_.Exec("BEGIN IMMEDIATE")) return Failed("cannot begin a batch");
  return true;
}

bool SqliteStore::Impl::Commit(const State& state, const engine::Delta& delta) {
  if (!Begin()) return false;
  const bool whole = rewrite_ || delta.everything;
  if (!(whole ? WriteAll(state) : WriteDelta(state, delta)) || !PutNextId(state.next_id)) {
    failed_ = true;
    return false;
  }
  if (whole) rewrite_ = false;  // undone if this batch rolls back
  return true;
}

bool SqliteStore::Impl::EndBatch() {
  if (!failed_) {
    if (!db_.InTransaction() || db_.Exec("COMMIT")) return true;
    if (log_) log_("store: the batch cannot be committed: " + db_.LastError());
  }
  if (db_.InTransaction()) db_.Exec("ROLLBACK");
  failed_ = false;
  rewrite_ = true;
  return false;
}

bool SqliteStore::Impl::PutTeam(const TeamData& t) {
  // The generated changes are made here only for a team that has none stored yet: making them
  // walks every generated channel, and WriteDelta remakes them when one of those changed.
  bool with_generated = false;
  if (t.generated) {
    Statement* known = db_.Use("SELECT generated IS NULL FROM teams WHERE team_id = ?1");
    if (!known) return Failed("cannot read a team");
    known->Bind(1, t.team.team_id());
    const int rc = known->Step();
    with_generated = rc != SQLITE_ROW || known->Int(0) != 0;
    known->Reset();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Failed("cannot read a team");
  }
  Statement* s = db_.Use(
      "INSERT INTO teams(team_id, team, services, seq, generated) VALUES(?1, ?2, ?3, ?4, ?5) "
      "ON CONFLICT(team_id) DO UPDATE SET team = excluded.team, services = excluded.services, seq = excluded.seq, "
      "generated = coalesce(excluded.generated, generated)");
  if (!s) return Failed("cannot write a team");
  s->Bind(1, t.team.team_id()).Bind(2, Dump(ToValue(t.team))).Bind(3, Dump(Services(t))).Bind(4, t.seq);
  if (with_generated) s->Bind(5, Dump(engine::GeneratedChanges(t)));
  return s->Run() || Failed("cannot write a team");
}

bool SqliteStore::Impl::PutGenerated(const TeamData& t) {
  Statement* s = db_.Use("UPDATE teams SET generated = ?2 WHERE team_id = ?1");
  if (!s) return Failed("cannot write a team's generated changes");
  s->Bind(1, t.team.team_id()).Bind(2, Dump(engine::GeneratedChanges(t)));
  return s->Run() || Failed("cannot write a team's generated changes");
}

bool SqliteStore::Impl::PutChange(const std::string& team_id, const engine::Change& change) {
  Statement* s = db_.Use("INSERT OR REPLACE INTO changes(team_id, seq, record) VALUES(?1, ?2, ?3)");
  if (!s) return Failed("cannot write a change");
  s->Bind(1, team_id).Bind(2, change.seq).Bind(3, Dump(engine::ChangeToJson(change)));
  return s->Run() || Failed("cannot write a change");
}

// The log is kept as long as the engine keeps it in memory.
bool SqliteStore::Impl::DropChangesBefore(const std::string& team_id, int64_t seq) {
  Statement* s = db_.Use("DELETE FROM changes WHERE team_id = ?1 AND seq < ?2");
  if (!s) return Failed("cannot drop old changes");
  s->Bind(1, team_id).Bind(2, seq);
  return s->Run() || Failed("cannot drop old changes");
}

bool SqliteStore::Impl::PutAccount(const Account& a) {
  Statement* s = db_.Use(
      "INSERT INTO accounts(team_id, uid, record) VALUES(?1, ?2, ?3) "
      "ON CONFLICT(team_id, uid) DO UPDATE SET record = excluded.record");
  if (!s) return Failed("cannot write an account");
  s->Bind(1, a.team_id).Bind(2, a.uid).Bind(3, Dump(AccountRecord(a)));
  return s->Run() || Failed("cannot write an account");
}

bool SqliteStore::Impl::PutRow(const char* sql, const std::string& team_id, const std::string& id,
                               const json& record) {
  Statement* s = db_.Use(sql);
  if (!s) return Failed("cannot write a record");
  s->Bind(1, team_id).Bind(2, id).Bind(3, Dump(record));
  return s->Run() || Failed("cannot write a record");
}

bool SqliteStore::Impl::PutMessage(const std::string& team_id, const std::string& conversation, const Message& m) {
  Statement* s = db_.Use(
      "INSERT INTO messages(team_id, conversation, key, record) VALUES(?1, ?2, ?3, ?4) "
      "ON CONFLICT(conversation, key, team_id) DO UPDATE SET record = excluded.record");
  if (!s) return Failed("cannot write a message");
  s->Bind(1, team_id).Bind(2, conversation).Bind(3, m.key()).Bind(4, Dump(ToValue(m)));
  return s->Run() || Failed("cannot write a message");
}

bool SqliteStore::Impl::PutCursor(const std::string& team_id, const std::string& uid, const std::string& conversation,
                                  int64_t time) {
  Statement* s = db_.Use(
      "INSERT INTO cursors(team_id, uid, conversation, time) VALUES(?1, ?2, ?3, ?4) "
      "ON CONFLICT(team_id, uid, conversation) DO UPDATE SET time = excluded.time");
  if (!s) return Failed("cannot write a read mark");
  s->Bind(1, team_id).Bind(2, uid).Bind(3, conversation).Bind(4, time);
  return s->Run() || Failed("cannot write a read mark");
}

bool SqliteStore::Impl::PutSentId(const std::string& team_id, const std::string& client, const std::string& stored) {
  Statement* s = db_.Use(
      "INSERT INTO sent_ids(team_id, client, stored) VALUES(?1, ?2, ?3) "
      "ON CONFLICT(team_id, client) DO UPDATE SET stored = excluded.stored");
  if (!s) return Failed("cannot write a sent id");
  s->Bind(1, team_id).Bind(2, client).Bind(3, stored);
  return s->Run() || Failed("cannot write a sent id");
}

bool SqliteStore::Impl::PutFeedback(int64_t index, const json& record) {
  Statement* s = db_.Use(
      "INSERT INTO feedback(idx, record) VALUES(?1, ?2) ON CONFLICT(idx) DO UPDATE SET record = excluded.record");
  if (!s) return Failed("cannot write feedback");
  s->Bind(1, index).Bind(2, Dump(record));
  return s->Run() || Failed("cannot write feedback");
}

bool SqliteStore::Impl::DeleteFeedback(int64_t index) {
  Statement* s = db_.Use("DELETE FROM feedback WHERE idx = ?1");
  if (!s) return Failed("cannot remove feedback");
  s->Bind(1, index);
  return s->Run() || Failed("cannot remove feedback");
}

bool SqliteStore::Impl::PutNextId(int64_t next_id) {
  Statement* s = db_.Use(
      "INSERT INTO meta(key, value) VALUES('next_id', ?1) ON CONFLICT(key) DO UPDATE SET value = excluded.value");
  if (!s) return Failed("cannot write the next id");
  s->Bind(1, next_id);
  return s->Run() || Failed("cannot write the next id");
}

bool SqliteStore::Impl::Delete(const char* sql, const std::string& a, const std::string& b, const std::string& c) {
  Statement* s = db_.Use(sql);
  if (!s) return Failed("cannot remove a record");
  const std::string* values[] = {&a, &b, &c};
  for (int i = 1; i <= s->ParameterCount() && i <= 3; ++i) s->Bind(i, *values[i - 1]);
  return s->Run() || Failed("cannot remove a record");
}

// ---- the store ----

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<SqliteStore> store(new SqliteStore(raw));  // owns the connection from here on
  Db& db = store->impl_->db_;
  if (rc != SQLITE_OK) {
    *error = "cannot open " + path + ": " + (raw ? db.LastError() : std::string("out of memory"));
    return nullptr;
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, 5000);
  Statement* wal = db.Use("PRAGMA journal_mode = WAL");
  const bool in_wal = wal && wal->Step() == SQLITE_ROW && wal->Text(0) == "wal";
  if (wal) wal->Reset();
  if (!in_wal) {
    *error = "cannot use write-ahead logging on " + path + ": " + db.LastError();
    return nullptr;
  }
  if (!db.Exec("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON")) {
    *error = "cannot set up " + path + ": " + db.LastError();
    return nullptr;
  }
  if (!sqlite::Migrate(db, error)) return nullptr;
  return store;
}

SqliteStore::SqliteStore(sqlite3* db) : impl_(std::make_unique<Impl>(db)) {}
SqliteStore::~SqliteStore() = default;

SqliteStore::Loaded SqliteStore::Load(engine::State* state) { return impl_->Load(state); }
bool SqliteStore::Commit(const engine::State& state, const engine::Delta& delta) { return impl_->Commit(state, delta); }
bool SqliteStore::EndBatch() { return impl_->EndBatch(); }
int64_t SqliteStore::RowsWritten() { return sqlite3_total_changes64(impl_->db_.get()); }
int SqliteStore::SchemaVersion() { return sqlite::SchemaVersionOf(impl_->db_); }
void SqliteStore::SetBusyTimeout(int milliseconds) { sqlite3_busy_timeout(impl_->db_.get(), milliseconds); }
void SqliteStore::SetLog(std::function<void(const std::string&)> log) { impl_->log_ = std::move(log); }

bool SqliteStore::PutToken(const std::string& token_hash, const TokenRecord& token) {
  if (!impl_->Begin()) return false;
  Statement* s = impl_->db_.Use(
      "INSERT INTO tokens(hash, team_id, uid, session_id, expires_at) VALUES(?1, ?2, ?3, ?4, ?5) "
      "ON CONFLICT(hash) DO UPDATE SET team_id = excluded.team_id, uid = excluded.uid, "
      "session_id = excluded.session_id, expires_at = excluded.expires_at");
  if (!s) return impl_->Failed("cannot write a token");
  s->Bind(1, token_hash).Bind(2, token.team_id).Bind(3, token.uid);
  s->Bind(4, static_cast<int64_t>(token.session_id)).Bind(5, token.expires_at);  // all 64 bits kept
  return s->Run() || impl_->Failed("cannot write a token");
}

std::optional<TokenRecord> SqliteStore::FindToken(const std::string& token_hash) {
  Statement* s = impl_->db_.Use("SELECT team_id, uid, session_id, expires_at FROM tokens WHERE hash = ?1");
  if (!s) return std::nullopt;
  s->Bind(1, token_hash);
  std::optional<TokenRecord> found;
  if (s->Step() == SQLITE_ROW)
    found = TokenRecord{s->Text(0), s->Text(1), static_cast<uint64_t>(s->Int(2)), s->Int(3)};
  s->Reset();
  return found;
}

bool SqliteStore::DeleteToken(const std::string& token_hash) {
  if (!impl_->Begin()) return false;
  Statement* s = impl_->db_.Use("DELETE FROM tokens WHERE hash = ?1");
  if (!s) return impl_->Failed("cannot remove a token");
  s->Bind(1, token_hash);
  return s->Run() || impl_->Failed("cannot remove a token");
}

std::optional<int64_t> SqliteStore::CountSignIns(const std::string& key, int64_t since) {
  Statement* s = impl_->db_.Use("SELECT count(*) FROM sign_ins WHERE key = ?1 AND at >= ?2");
  if (!s) return 0;
  s->Bind(1, key).Bind(2, since);
  const int64_t n = s->Step() == SQLITE_ROW ? s->Int(0) : 0;
  s->Reset();
  return n;
}

bool SqliteStore::AddSignIn(const std::string& key, int64_t at, int64_t forget_before) {
  if (!impl_->Begin()) return false;
  Statement* forget = impl_->db_.Use("DELETE FROM sign_ins WHERE at < ?1");
  if (!forget) return impl_->Failed("cannot forget old sign-ins");
  forget->Bind(1, forget_before);
  if (!forget->Run()) return impl_->Failed("cannot forget old sign-ins");
  Statement* s = impl_->db_.Use("INSERT INTO sign_ins(key, at) VALUES(?1, ?2)");
  if (!s) return impl_->Failed("cannot count a sign-in");
  s->Bind(1, key).Bind(2, at);
  return s->Run() || impl_->Failed("cannot count a sign-in");
}

int SqliteStore::DeleteExpiredTokens(int64_t now) {
  if (!impl_->Begin()) return 0;
  Statement* s = impl_->db_.Use("DELETE FROM tokens WHERE expires_at < ?1");
  if (!s) return impl_->Failed("cannot remove expired tokens"), 0;
  s->Bind(1, now);
  if (!s->Run()) return impl_->Failed("cannot remove expired tokens"), 0;
  return sqlite3_changes(impl_->db_.get());
}

}  // namespace veltrina::server
