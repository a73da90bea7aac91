#pragma once
// The engine's clock, random numbers and password hashing on Linux: the system clock and
// libsodium (randombytes, argon2id).
#include <string>

#include "veltrina/engine/ports.h"

namespace veltrina::server {

class SystemClock : public engine::Clock {
 public:
  int64_t Now() override;
};

class SodiumRandom : public engine::Random {
 public:
  SodiumRandom();  // throws when libsodium cannot start
  uint64_t Next() override;
};

// argon2id through crypto_pwhash_str. `cheap` uses libsodium's minimum limits: for tests only,
// where hundreds of sign-ins must not each take 0.2 s and 64 MiB.
class Argon2Passwords : public engine::PasswordHasher {
 public:
  explicit Argon2Passwords(bool cheap = false);
  std::string Hash(const std::string& password) override;
  bool Verify(const std::string& password, const std::string& stored) override;
  bool NeedsUpgrade(const std::string& stored) override;
  const std::string& Decoy() override { return decoy_; }

 private:
  unsigned long long ops_;
  size_t memory_;
  std::string decoy_;
};

// 32 random bytes as 64 hex digits: a sign-in's token.
std::string NewToken();
// The token as it is stored: its BLAKE2b-256 hash in hex, so that a copy of the database holds
// no usable token.
std::string TokenHash(const std::string& token);

}  // namespace veltrina::server
