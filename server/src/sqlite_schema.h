#pragma once
// The store's tables, and the steps that bring a database file from any older version to this one.
#include <string>

#include "sqlite_db.h"

namespace veltrina::server::sqlite {

inline constexpr int kSchemaVersion = 3;

// The file's version (PRAGMA user_version), or -1 when it cannot be read.
int SchemaVersionOf(Db& db);
// Applies every step from the file's version up to kSchemaVersion, one transaction per step (a
// failed step leaves the file at the version before it). Refuses a file of a newer version.
bool Migrate(Db& db, std::string* error);

}  // namespace veltrina::server::sqlite
