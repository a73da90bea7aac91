#pragma once
// What the service needs of its store beyond the engine's: batches that end in one durable
// commit, and the tokens of sign-ins.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "veltrina/engine/ports.h"

namespace veltrina::server {

// A sign-in's token, stored only as the hash of the token.
struct TokenRecord {
  std::string team_id;
  std::string uid;
  uint64_t session_id = 0;
  int64_t expires_at = 0;  // seconds since 1970
};

class ServerStore : public engine::Store {
 public:
  enum class Freshness {
    kCurrent,  // what this process read last is still what is stored
    kStale,    // another process committed since: the engine must load again, within this batch
    kFailed,   // the batch could not begin (its writes fail, and so does EndBatch)
  };
  // Opens the next batch before any of its requests runs. A store that only one process uses
  // is always current. `requests` false: the batch only catches up with the store and writes
  // nothing, so it need not wait for the other processes' writers.
  virtual Freshness BeginBatch(bool requests = true) {
    (void)requests;
    return Freshness::kCurrent;
  }
  // Makes everything written since the last call durable at once. False: none of it is kept, and
  // no answer of the batch may report success.
  virtual bool EndBatch() = 0;
  virtual bool PutToken(const std::string& token_hash, const TokenRecord& token) = 0;
  virtual std::optional<TokenRecord> FindToken(const std::string& token_hash) = 0;
  virtual bool DeleteToken(const std::string& token_hash) = 0;
  // Drops tokens whose time is past `now`; returns how many.
  virtual int DeleteExpiredTokens(int64_t now) {
    (void)now;
    return 0;
  }

  // Sign-in attempts, kept where every process and the next start see them. The number of entries
  // of `key` at or after `since` (seconds); nullopt when the store keeps none or cannot read them now
  // (the process then counts by itself).
  virtual std::optional<int64_t> CountSignIns(const std::string& key, int64_t since) {
    (void)key, (void)since;
    return std::nullopt;
  }
  // One more entry of `key` at `at`, written in the current batch; entries before `forget_before`
  // (of any key) go. False when the store keeps none or the write failed.
  virtual bool AddSignIn(const std::string& key, int64_t at, int64_t forget_before) {
    (void)key, (void)at, (void)forget_before;
    return false;
  }

  // For the operator and the tests; a store in memory has none of them.
  virtual int SchemaVersion() { return 0; }
  // Rows inserted, updated or deleted through this connection since it opened (a request should
  // cost a handful).
  virtual int64_t RowsWritten() { return 0; }
  // Where the store says why a batch failed or the state cannot be read (one line each).
  virtual void SetLog(std::function<void(const std::string&)> log) { (void)log; }
};

}  // namespace veltrina::server
