#pragma once
// Buffers that held a secret (a password) are overwritten before they are freed or reused, so
// that the secret does not linger in freed memory, a crash dump or the page file.
#include <string>

namespace veltrina {

// Overwrites the characters (in a way the compiler keeps), then empties the string.
void WipeSecret(std::string* secret);
void WipeSecret(std::wstring* secret);

// Wipes the string it watches when it goes out of scope, whichever way the scope is left.
template <typename String>
class SecretWiper {
 public:
  explicit SecretWiper(String* secret) : secret_(secret) {}
  ~SecretWiper() { WipeSecret(secret_); }
  SecretWiper(const SecretWiper&) = delete;
  SecretWiper& operator=(const SecretWiper&) = delete;

 private:
  String* secret_;
};

}  // namespace veltrina
