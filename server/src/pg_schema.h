#pragma once
// The PostgreSQL store's tables: the SQLite store's records and versions, in PostgreSQL's words.
// The version is kept in meta('schema_version').
#include <string>

#include "pg_db.h"
#include "sqlite_schema.h"

namespace veltrina::server::pg {

// Both stores move through the same versions, so that a record layout has one number.
inline constexpr int kSchemaVersion = sqlite::kSchemaVersion;

// The database's version (0 before the first step), or -1 when it cannot be read.
int SchemaVersionOf(Db& db);
// Applies every step from the database's version up to kSchemaVersion, one transaction per step,
// while holding a lock that keeps other processes from migrating at the same time. Refuses a
// database of a newer version.
bool Migrate(Db& db, std::string* error);

}  // namespace veltrina::server::pg
