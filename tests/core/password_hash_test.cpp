// Stored password forms: the system's real PBKDF2, salted, self-describing and compared whole.
#include "veltrina/password_hash.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "veltrina/secret.h"

namespace {

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) out += std::string{kDigits[b >> 4], kDigits[b & 15]};
  return out;
}

TEST(PasswordHash, Pbkdf2MatchesTheRfc7914Vector) {
  std::string key;
  ASSERT_TRUE(veltrina::Pbkdf2Sha256("passwd", "salt", 1, 64, &key));
  EXPECT_EQ(Hex(key),
            "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
            "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
  EXPECT_FALSE(veltrina::Pbkdf2Sha256("passwd", "salt", 0, 64, &key));
}

TEST(PasswordHash, AStoredFormIsSaltedSelfDescribingAndMatchesOnlyItsPassword) {
  const std::string stored = veltrina::HashPassword("密码 secret", 1000);
  const std::string again = veltrina::HashPassword("密码 secret", 1000);
  ASSERT_EQ(stored.rfind("pbkdf2-sha256$1000$", 0), 0u) << stored;
  EXPECT_EQ(stored.size(), std::string("pbkdf2-sha256$1000$").size() + 32 + 1 + 64) << stored;
  EXPECT_NE(stored, again);  // a fresh salt each time
  EXPECT_EQ(stored.find("secret"), std::string::npos);
  EXPECT_TRUE(veltrina::IsPasswordHash(stored));
  EXPECT_TRUE(veltrina::VerifyPassword("密码 secret", stored) && veltrina::VerifyPassword("密码 secret", again));
  for (const char* wrong : {"", "密码 secreT", "密码 secret ", "密码"})
    EXPECT_FALSE(veltrina::VerifyPassword(wrong, stored)) << wrong;
  // Today's count is the default; a form with fewer iterations still matches and asks to be made again.
  const std::string today = veltrina::HashPassword("x");
  EXPECT_EQ(today.rfind("pbkdf2-sha256$" + std::to_string(veltrina::kPasswordHashIterations) + "$", 0), 0u);
  EXPECT_FALSE(veltrina::PasswordHashNeedsUpgrade(today));
  EXPECT_TRUE(veltrina::PasswordHashNeedsUpgrade(stored));
  // The same derivation as the raw function: salt and hash are the hex of its input and output.
  const size_t salt_at = stored.find('$', 14) + 1, hash_at = stored.rfind('$') + 1;
  std::string salt;
  for (size_t i = salt_at; i + 1 < hash_at; i += 2) salt += static_cast<char>(std::stoi(stored.substr(i, 2), nullptr, 16));
  std::string key;
  ASSERT_TRUE(veltrina::Pbkdf2Sha256("密码 secret", salt, 1000, 32, &key));
  EXPECT_EQ(stored.substr(hash_at), Hex(key));
}

TEST(PasswordHash, MalformedOrOutrageousFormsMatchNothing) {
  const std::string good = veltrina::HashPassword("pw", 1);
  const std::string rest = good.substr(good.find('$', 14));  // "$<salt>$<hash>"
  for (const std::string& bad :
       {std::string("pw"), std::string(""), "pbkdf2-sha256$0" + rest, "pbkdf2-sha256$01" + rest,
        "pbkdf2-sha256$4294967295" + rest, "pbkdf2-sha256$-1" + rest, "pbkdf2-sha1$1" + rest,
        "pbkdf2-sha256$1" + rest + "$", "pbkdf2-sha256$1$$" + good.substr(good.rfind('$') + 1),
        good.substr(0, good.size() - 1), good + "0", good.substr(0, good.size() - 1) + "G"}) {
    EXPECT_FALSE(veltrina::IsPasswordHash(bad)) << bad;
    EXPECT_FALSE(veltrina::VerifyPassword("pw", bad)) << bad;
  }
  EXPECT_TRUE(veltrina::VerifyPassword("pw", good));
}

// Slow on purpose: a guess costs what a sign-in costs (about 0.1 s under Wine here).
TEST(PasswordHash, TodaysCountMakesEachCheckSlow) {
  const std::string stored = veltrina::HashPassword("veltrina");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(veltrina::VerifyPassword("veltrina", stored));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("one check of %u iterations: %lld ms\n", veltrina::kPasswordHashIterations,
              static_cast<long long>(took.count()));
  EXPECT_GE(took.count(), 10);
}

TEST(Secret, AWipedStringIsEmptyAndItsBytesAreZero) {
  std::string secret = "a password long enough to live on the heap";
  const char* bytes = secret.data();
  const size_t size = secret.size();
  {
    veltrina::SecretWiper wipe(&secret);
  }
  EXPECT_TRUE(secret.empty());
  EXPECT_EQ(std::string(bytes, size), std::string(size, '\0'));
  std::wstring wide = L"短密码";
  veltrina::WipeSecret(&wide);
  EXPECT_TRUE(wide.empty());
}

}  // namespace
