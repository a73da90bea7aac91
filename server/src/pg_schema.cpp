#include "pg_schema.h"

#include <iterator>

namespace veltrina::server::pg {

namespace {

// Step i brings version i to version i + 1, as sqlite_schema.cpp's steps do. `pos` keeps the
// order records were added in; an update keeps it. The references to a team are checked at
// COMMIT, so a batch may write a team's rows in any order.
const char* const kSteps[] = {
    R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE teams(
  pos BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, team_id TEXT NOT NULL UNIQUE, team TEXT NOT NULL,
  services TEXT NOT NULL, seq BIGINT NOT NULL, generated TEXT);
CREATE TABLE accounts(
  pos BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, team_id TEXT NOT NULL, uid TEXT NOT NULL,
  record TEXT NOT NULL, UNIQUE(team_id, uid));
CREATE TABLE users(
  pos BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  uid TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, uid));
CREATE TABLE channels(
  pos BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  channel_id TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, channel_id));
CREATE TABLE chats(
  pos BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  im_id TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, im_id));
CREATE TABLE messages(
  pos BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  conversation TEXT NOT NULL, key TEXT NOT NULL, record TEXT NOT NULL,
  UNIQUE(conversation, key, team_id));
CREATE INDEX messages_by_team ON messages(team_id);
CREATE TABLE entities(
  pos BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  entity_id TEXT NOT NULL, record TEXT NOT NULL, UNIQUE(team_id, entity_id));
CREATE TABLE cursors(
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  uid TEXT NOT NULL, conversation TEXT NOT NULL, time BIGINT NOT NULL,
  PRIMARY KEY(team_id, uid, conversation));
CREATE TABLE sent_ids(
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  client TEXT NOT NULL, stored TEXT NOT NULL, PRIMARY KEY(team_id, client));
CREATE TABLE feedback(idx BIGINT PRIMARY KEY, record TEXT NOT NULL);
CREATE TABLE tokens(
  hash TEXT PRIMARY KEY, team_id TEXT NOT NULL, uid TEXT NOT NULL, session_id BIGINT NOT NULL,
  expires_at BIGINT NOT NULL);
CREATE INDEX tokens_by_expiry ON tokens(expires_at);
)sql",
    // The latest changes of each team, so that a reader behind the head catches up after a restart.
    R"sql(
CREATE TABLE changes(
  team_id TEXT NOT NULL REFERENCES teams(team_id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED,
  seq BIGINT NOT NULL, record TEXT NOT NULL, PRIMARY KEY(team_id, seq));
)sql",
    // Sign-in attempts and failures, so that the limits hold across processes and restarts.
    R"sql(
CREATE TABLE sign_ins(key TEXT NOT NULL, at BIGINT NOT NULL);
CREATE INDEX sign_ins_by_key ON sign_ins(key, at);
CREATE INDEX sign_ins_by_time ON sign_ins(at);
)sql",
};
static_assert(std::size(kSteps) == kSchemaVersion, "one step per version");

// Held by the transaction of a migration step (an arbitrary number of our own).
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(7316152033)";

int ReadVersion(Db& db) {
  Result exists = db.Run("SELECT to_regclass('meta') IS NOT NULL");
  if (!exists.ok() || exists.rows() != 1) return -1;
  if (exists.Text(0, 0) != "t") return 0;
  Result v = db.Run("SELECT value FROM meta WHERE key = 'schema_version'");
  if (!v.ok()) return -1;
  return v.rows() == 0 ? 0 : static_cast<int>(v.Int(0, 0));
}

}  // namespace

int SchemaVersionOf(Db& db) { return ReadVersion(db); }

bool Migrate(Db& db, std::string* error) {
  for (;;) {
    if (!db.Exec("BEGIN") || !db.Run(kMigrationLock).ok()) {
      *error = "cannot lock the database: " + db.LastError();
      db.Exec("ROLLBACK");
      return false;
    }
    const int version = ReadVersion(db);
    if (version < 0 || version >= kSchemaVersion) {
      if (version < 0) *error = "cannot read the database's version: " + db.LastError();
      db.Exec("ROLLBACK");
      if (version > kSchemaVersion)
        *error = "the database is of schema version " + std::to_string(version) + ", newer than this build's " +
                 std::to_string(kSchemaVersion) + ": refusing to use it";
      return version == kSchemaVersion;
    }
    const std::string next = std::to_string(version + 1);
    if (!db.Exec(kSteps[version]) ||
        !db.Run("INSERT INTO meta(key, value) VALUES('schema_version', $1) "
                "ON CONFLICT(key) DO UPDATE SET value = excluded.value",
                {std::string_view(next)})
             .ok() ||
        !db.Commit()) {
      *error = "cannot bring the database from version " + std::to_string(version) + " to " + next + ": " +
               db.LastError();
      db.Exec("ROLLBACK");
      return false;
    }
  }
}

}  // namespace veltrina::server::pg
