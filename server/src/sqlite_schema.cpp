#include "sqlite_schema.h"

#include <sqlite3.h>

#include <iterator>

namespace veltrina::server::sqlite {

namespace {

// Step i brings version i to version i + 1. Records are stored as the JSON the state file uses,
// beside the columns that find them. `pos` (the rowid) keeps the order records were added in;
// an update keeps it. Rows of a team refer to it; the check waits for COMMIT, so a batch may
// write a team's rows in any order, and a batch that would leave a row without its team fails whole.
const char* const kSteps[] = {
    R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value ANY) STRICT;
CREATE TABLE teams(
  pos INTEGER PRIMARY KEY, team_id TEXT NOT NULL UNIQUE, team TEXT NOT NULL, services TEXT NOT NULL,
  seq INTEGER NOT NULL, generated TEXT) STRICT;
CREATE TABLE accounts(
  pos INTEGER PRIMARY KEY, team_id TEXT NOT NULL, uid TEXT NOT NULL, record TEXT NOT NULL,
  UNIQUE(team_id, uid)) STRICT;
CREATE TABLE users(
  pos INTEGER PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  uid TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, uid)) STRICT;
CREATE TABLE channels(
  pos INTEGER PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  channel_id TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, channel_id)) STRICT;
CREATE TABLE chats(
  pos INTEGER PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  im_id TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, im_id)) STRICT;
CREATE TABLE messages(
  pos INTEGER PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  conversation TEXT NOT NULL, key TEXT NOT NULL, record TEXT NOT NULL,
  UNIQUE(conversation, key, team_id)) STRICT;
CREATE INDEX messages_by_team ON messages(team_id);
CREATE TABLE entities(
  pos INTEGER PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  entity_id TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, entity_id)) STRICT;
CREATE TABLE cursors(
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  uid TEXT NOT NULL, conversation TEXT NOT NULL, time INTEGER NOT NULL,
  PRIMARY KEY(team_id, uid, conversation)) STRICT, WITHOUT ROWID;
CREATE TABLE sent_ids(
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  client TEXT NOT NULL, stored TEXT NOT NULL, PRIMARY KEY(team_id, client)) STRICT, WITHOUT ROWID;
CREATE TABLE feedback(idx INTEGER PRIMARY KEY, record TEXT NOT NULL) STRICT;
CREATE TABLE tokens(
  hash TEXT PRIMARY KEY, team_id TEXT NOT NULL, uid TEXT NOT NULL, session_id INTEGER NOT NULL,
  expires_at INTEGER NOT NULL) STRICT;
CREATE INDEX tokens_by_expiry ON tokens(expires_at);
)sql",
    // The latest changes of each team, so that a reader behind the head catches up after a restart.
    R"sql(
CREATE TABLE changes(
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  seq INTEGER NOT NULL, record TEXT NOT NULL, PRIMARY KEY(team_id, seq)) STRICT, WITHOUT ROWID;
)sql",
    // Sign-in attempts and failures (key "attempt\n<address>", "failure\n<account>"), so that the
    // limits hold across a restart and across the processes of one database.
    R"sql(
CREATE TABLE sign_ins(key TEXT NOT NULL, at INTEGER NOT NULL) STRICT;
CREATE INDEX sign_ins_by_key ON sign_ins(key, at);
CREATE INDEX sign_ins_by_time ON sign_ins(at);
)sql",
};
static_assert(std::size(kSteps) == kSchemaVersion, "one step per version");

int ReadVersion(Db& db) {
  Statement* s = db.Use("PRAGMA user_version");
  if (!s || s->Step() != SQLITE_ROW) return -1;
  const int version = static_cast<int>(s->Int(0));
  s->Reset();
  return version;
}

}  // namespace

int SchemaVersionOf(Db& db) { return ReadVersion(db); }

bool Migrate(Db& db, std::string* error) {
  for (;;) {
    // Read inside the write lock: another process may have migrated the file meanwhile.
    if (!db.Exec("BEGIN IMMEDIATE")) {
      *error = "cannot lock the database: " + db.LastError();
      return false;
    }
    const int version = ReadVersion(db);
    if (version < 0 || version >= kSchemaVersion) {
      db.Exec("ROLLBACK");
      if (version < 0) *error = "cannot read the database's version: " + db.LastError();
      if (version > kSchemaVersion)
        *error = "the database is of schema version " + std::to_string(version) + ", newer than this build's " +
                 std::to_string(kSchemaVersion) + ": refusing to use it";
      return version == kSchemaVersion;
    }
    const std::string set_version = "PRAGMA user_version = " + std::to_string(version + 1);
    if (!db.Exec(kSteps[version]) || !db.Exec(set_version.c_str()) || !db.Exec("COMMIT")) {
      *error = "cannot bring the database from version " + std::to_string(version) + " to " +
               std::to_string(version + 1) + ": " + db.LastError();
      db.Exec("ROLLBACK");
      return false;
    }
  }
}

}  // namespace veltrina::server::sqlite
