// What the demo service's engine gets from Windows: the time, random numbers and password hashing.
#include <windows.h>
#include <bcrypt.h>

#include <ctime>

#include "demo_service_impl.h"
#include "veltrina/immortal.h"
#include "veltrina/password_hash.h"

namespace veltrina::internal::demo {

int64_t RealClock::Now() { return static_cast<int64_t>(std::time(nullptr)); }

uint64_t SystemRandom::Next() {
  uint64_t value = 0;
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    throw std::runtime_error("no random numbers");
  return value;
}

std::string CngPasswords::Hash(const std::string& password) { return HashPassword(password); }

bool CngPasswords::Verify(const std::string& password, const std::string& stored) {
  return VerifyPassword(password, stored);
}

bool CngPasswords::NeedsUpgrade(const std::string& stored) { return PasswordHashNeedsUpgrade(stored); }

const std::string& CngPasswords::Decoy() {
  // Of a random password nobody knows. Immortal: a late answer may check one while the process exits.
  static Immortal<std::string> decoy(
      "pbkdf2-sha256$50000$b03c837ca2c17f19db7e411e6df7ab99$"
      "269395bb4e5f6f5b487fd1758600bec9f7672cdff8daef6ce33430ab11835c70");
  return decoy.get();
}

// The demo accounts ship with this very form of their documented passwords.
std::string CngPasswords::Seeded(const std::string&, const char* precomputed) { return precomputed; }

}  // namespace veltrina::internal::demo
