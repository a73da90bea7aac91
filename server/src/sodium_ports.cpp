#include "sodium_ports.h"

#include <sodium.h>

#include <ctime>
#include <stdexcept>

namespace veltrina::server {

namespace {

std::string Hex(const unsigned char* bytes, size_t size) {
  std::string out(size * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), bytes, size);
  out.pop_back();
  return out;
}

}  // namespace

int64_t SystemClock::Now() { return static_cast<int64_t>(std::time(nullptr)); }

SodiumRandom::SodiumRandom() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

uint64_t SodiumRandom::Next() {
  uint64_t value = 0;
  randombytes_buf(&value, sizeof value);
  return value;
}

Argon2Passwords::Argon2Passwords(bool cheap)
    : ops_(cheap ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE),
      memory_(cheap ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  decoy_ = Hash(NewToken());
  if (decoy_.empty()) throw std::runtime_error("argon2id cannot hash");
}

std::string Argon2Passwords::Hash(const std::string& password) {
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(out, password.data(), password.size(), ops_, memory_) != 0) return {};
  return out;
}

bool Argon2Passwords::Verify(const std::string& password, const std::string& stored) {
  if (stored.size() >= crypto_pwhash_STRBYTES || stored.find('\0') != std::string::npos) return false;
  return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

bool Argon2Passwords::NeedsUpgrade(const std::string& stored) {
  if (stored.size() >= crypto_pwhash_STRBYTES) return true;
  return crypto_pwhash_str_needs_rehash(stored.c_str(), ops_, memory_) != 0;
}

std::string NewToken() {
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  return Hex(bytes, sizeof bytes);
}

std::string TokenHash(const std::string& token) {
  unsigned char hash[32];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(token.data()), token.size(), nullptr, 0);
  return Hex(hash, sizeof hash);
}

}  // namespace veltrina::server
