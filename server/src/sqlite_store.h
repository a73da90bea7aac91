#pragma once
// The team engine's state in SQLite (WAL), one row per record, written in batches: the host runs
// a batch of requests, each Commit writes its touched records into the open transaction, and
// EndBatch commits them with one fsync before any of their answers leave (group commit).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server_store.h"
#include "veltrina/engine/ports.h"

struct sqlite3;

namespace veltrina::server {


class SqliteStore : public ServerStore {
 public:
  // The schema version this build writes; an older database is migrated on Open, a newer one refused.
  static constexpr int kSchemaVersion = 3;

  // Opens or creates the database file (journal_mode=WAL, synchronous=FULL, foreign keys on) and
  // migrates it. Null with `error` set when it cannot.
  static std::unique_ptr<SqliteStore> Open(const std::string& path, std::string* error);
  ~SqliteStore() override;

  Loaded Load(engine::State* state) override;
  // Writes what the delta touched (read from `state`) into the batch's transaction, begun here when
  // none is open. False when a write failed (the batch is then rolled back at EndBatch).
  bool Commit(const engine::State& state, const engine::Delta& delta) override;
  // Commits the open batch (nothing to do without one). False when it failed: nothing of the
  // batch is kept, and its answers must not report success.
  bool EndBatch() override;

  // Tokens, written in the current batch like any record.
  bool PutToken(const std::string& token_hash, const TokenRecord& token) override;
  std::optional<TokenRecord> FindToken(const std::string& token_hash) override;
  bool DeleteToken(const std::string& token_hash) override;
  std::optional<int64_t> CountSignIns(const std::string& key, int64_t since) override;
  bool AddSignIn(const std::string& key, int64_t at, int64_t forget_before) override;
  int DeleteExpiredTokens(int64_t now) override;

  int SchemaVersion() override;
  int64_t RowsWritten() override;
  void SetLog(std::function<void(const std::string&)> log) override;
  // How long a write waits for another connection's lock before its batch fails (5 s at first).
  void SetBusyTimeout(int milliseconds);

 private:
  explicit SqliteStore(sqlite3* db);
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Uploaded files in a folder of their own, each written to a temporary name and renamed into
// place once complete (fsync'd), so a crash never leaves half a file under a real name.
class DiskBlobs : public engine::Blobs {
 public:
  // A temporary file untouched this long is what a crash left; younger ones may be another
  // process's upload in progress.
  static constexpr std::chrono::hours kPartFileKept{1};

  explicit DiskBlobs(std::string folder);
  bool Put(const std::string& name, const std::string& bytes) override;
  Read Get(const std::string& name, uint64_t max_bytes, std::string* bytes) override;
  // Moves a finished file (a streamed upload) into place under `name`.
  bool Adopt(const std::string& name, const std::string& path);
  // Where the stored file of `name` lives (for serving it in pieces), or empty when there is none.
  std::string PathOf(const std::string& name) const;

 private:
  std::string folder_;
};

}  // namespace veltrina::server
