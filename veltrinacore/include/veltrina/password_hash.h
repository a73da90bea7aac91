#pragma once
// Stored passwords: salted, deliberately slow hashes, never the password itself.
// A stored form describes itself, "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", so that
// forms made with fewer iterations keep working after the count is raised.
// Nothing here names a system type: another platform implements the same functions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veltrina {

// About 0.1 s per check under Wine on a small machine; raise it as machines get faster (a form
// made with fewer is made again at its next successful check).
inline constexpr uint32_t kPasswordHashIterations = 50000;

// The stored form of `password` with a fresh random 16-byte salt; empty when the system cannot
// make one (no random source or no PBKDF2).
std::string HashPassword(std::string_view password, uint32_t iterations = kPasswordHashIterations);

// Whether `password` matches a stored form made by HashPassword. The derived bytes are compared
// in constant time. A malformed form, or one whose count is out of range, matches nothing.
bool VerifyPassword(std::string_view password, std::string_view stored);

// Whether `stored` is a well-formed stored form at all.
bool IsPasswordHash(std::string_view stored);

// Whether a form that matched should be made again with today's iteration count.
bool PasswordHashNeedsUpgrade(std::string_view stored);

// PBKDF2 with HMAC-SHA256 (RFC 8018) into `key`, `length` bytes; false when the system cannot.
bool Pbkdf2Sha256(std::string_view password, std::string_view salt, uint32_t iterations, size_t length,
                  std::string* key);

}  // namespace veltrina
