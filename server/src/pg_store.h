#pragma once
// The team engine's state in PostgreSQL, with the SQLite store's records and versions, for
// several server processes on one database.
//
// Every batch is one transaction that first takes a lock all writers share, then compares the
// database's commit counter with the one this process last read: behind, the engine loads the
// state again inside the batch (BeginBatch says kStale). So one process at a time writes, each
// on the latest state, and a team's sequence numbers follow commit order. A commit that wrote
// records bumps the counter and notifies the other processes (PgWatcher) on commit. A batch that
// only catches up reads a snapshot without the lock, so the writers do not wait for its load.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "server_store.h"

namespace veltrina::server {

class PgStore : public ServerStore {
 public:
  static constexpr int kSchemaVersion = 3;
  // The channel that commits are announced on.
  static constexpr const char* kChannel = "veltrina_commits";

  // Connects to `conninfo` (postgresql://...) and migrates the database. Null with `error` set
  // when it cannot.
  static std::unique_ptr<PgStore> Open(const std::string& conninfo, std::string* error);
  ~PgStore() override;

  Freshness BeginBatch(bool requests = true) override;
  Loaded Load(engine::State* state) override;
  bool Commit(const engine::State& state, const engine::Delta& delta) override;
  bool EndBatch() override;

  bool PutToken(const std::string& token_hash, const TokenRecord& token) override;
  std::optional<TokenRecord> FindToken(const std::string& token_hash) override;
  bool DeleteToken(const std::string& token_hash) override;
  std::optional<int64_t> CountSignIns(const std::string& key, int64_t since) override;
  bool AddSignIn(const std::string& key, int64_t at, int64_t forget_before) override;
  int DeleteExpiredTokens(int64_t now) override;

  int SchemaVersion() override;
  int64_t RowsWritten() override;
  void SetLog(std::function<void(const std::string&)> log) override;
  // The server process of the store's connection: its own notifications are not news.
  int BackendPid();

 private:
  PgStore();
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Listens, on a connection and a thread of its own, for other processes' commits, and calls
// `changed` on each (and every `interval` besides, should a notification be lost or the
// connection break: it reconnects). `changed` runs on the watcher's thread.
class PgWatcher {
 public:
  PgWatcher(std::string conninfo, int own_pid, std::chrono::milliseconds interval, std::function<void()> changed,
            std::function<void(const std::string&)> log);
  ~PgWatcher();
  PgWatcher(const PgWatcher&) = delete;
  PgWatcher& operator=(const PgWatcher&) = delete;

 private:
  void Run();
  std::string conninfo_;
  int own_pid_;
  std::chrono::milliseconds interval_;
  std::function<void()> changed_;
  std::function<void(const std::string&)> log_;
  std::atomic<bool> stop_{false};
  int wake_[2] = {-1, -1};  // a pipe that ends the wait at once
  std::thread thread_;
};

}  // namespace veltrina::server
