#pragma once
// What the service needs of its store beyond the engine's: batches that end in one durable
// commit, and the tokens of sign-ins.
#include <cstdint>
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
  // Makes everything written since the last call durable at once. False: none of it is kept, and
  // no answer of the batch may report success.
  virtual bool EndBatch() = 0;
  virtual bool PutToken(const std::string& token_hash, const TokenRecord& token) = 0;
  virtual std::optional<TokenRecord> FindToken(const std::string& token_hash) = 0;
  virtual bool DeleteToken(const std::string& token_hash) = 0;
};

}  // namespace veltrina::server
