// Password hashes through Windows CNG: PBKDF2-HMAC-SHA256 and the system's random source.
#include "veltrina/password_hash.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <charconv>
#include <climits>

#include "veltrina/secret.h"

namespace veltrina {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;
// Forms outside these bounds are refused: a crafted count would stall every check.
constexpr uint32_t kMinIterations = 1;
constexpr uint32_t kMaxIterations = 100 * kPasswordHashIterations;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool FromHex(std::string_view hex, std::string* bytes) {
  if (hex.empty() || hex.size() % 2) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<char>(high << 4 | low));
  }
  return true;
}

struct Form {
  uint32_t iterations = 0;
  std::string salt;
  std::string hash;
};

// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", lower-case hex, nothing else.
bool Parse(std::string_view stored, Form* form) {
  if (!stored.starts_with(kScheme) || stored.size() <= kScheme.size() || stored[kScheme.size()] != '$') return false;
  std::string_view rest = stored.substr(kScheme.size() + 1);
  const size_t first = rest.find('$');
  if (first == std::string_view::npos) return false;
  const size_t second = rest.find('$', first + 1);
  if (second == std::string_view::npos || rest.find('$', second + 1) != std::string_view::npos) return false;
  const std::string_view count = rest.substr(0, first);
  auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), form->iterations);
  if (error != std::errc() || end != count.data() + count.size() || count.starts_with('0')) return false;
  if (form->iterations < kMinIterations || form->iterations > kMaxIterations) return false;
  return FromHex(rest.substr(first + 1, second - first - 1), &form->salt) && form->salt.size() >= 8 &&
         form->salt.size() <= 64 && FromHex(rest.substr(second + 1), &form->hash) && form->hash.size() >= 16 &&
         form->hash.size() <= 64;
}

}  // namespace

bool Pbkdf2Sha256(std::string_view password, std::string_view salt, uint32_t iterations, size_t length,
                  std::string* key) {
  if (iterations == 0 || length == 0 || password.size() > ULONG_MAX || salt.size() > ULONG_MAX ||
      length > ULONG_MAX)
    return false;
  BCRYPT_ALG_HANDLE hmac = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG)))
    return false;
  // An empty password or salt is still handed over as a valid pointer.
  static UCHAR nothing = 0;
  auto bytes = [](std::string_view s) {
    return s.empty() ? &nothing : reinterpret_cast<PUCHAR>(const_cast<char*>(s.data()));
  };
  std::string out(length, '\0');
  const NTSTATUS status = BCryptDeriveKeyPBKDF2(hmac, bytes(password), static_cast<ULONG>(password.size()),
                                                bytes(salt), static_cast<ULONG>(salt.size()), iterations,
                                                reinterpret_cast<PUCHAR>(out.data()), static_cast<ULONG>(length), 0);
  BCryptCloseAlgorithmProvider(hmac, 0);
  if (!BCRYPT_SUCCESS(status)) return false;
  *key = std::move(out);
  return true;
}

std::string HashPassword(std::string_view password, uint32_t iterations) {
  if (iterations < kMinIterations || iterations > kMaxIterations) return std::string();
  std::string salt(kSaltBytes, '\0');
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(salt.data()), static_cast<ULONG>(salt.size()),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    return std::string();
  std::string hash;
  if (!Pbkdf2Sha256(password, salt, iterations, kHashBytes, &hash)) return std::string();
  return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + Hex(salt) + "$" + Hex(hash);
}

bool VerifyPassword(std::string_view password, std::string_view stored) {
  Form form;
  std::string derived;
  if (!Parse(stored, &form) || !Pbkdf2Sha256(password, form.salt, form.iterations, form.hash.size(), &derived))
    return false;
  // Every byte is looked at whatever differs: the time says nothing about where.
  unsigned char difference = 0;
  for (size_t i = 0; i < derived.size(); ++i)
    difference |= static_cast<unsigned char>(derived[i] ^ form.hash[i]);
  WipeSecret(&derived);
  return difference == 0;
}

bool IsPasswordHash(std::string_view stored) {
  Form form;
  return Parse(stored, &form);
}

bool PasswordHashNeedsUpgrade(std::string_view stored) {
  Form form;
  return Parse(stored, &form) && form.iterations < kPasswordHashIterations;
}

}  // namespace veltrina
