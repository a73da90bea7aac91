#pragma once
// Signing in.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "veltrina/token.h"
#include "veltrina/user.h"

namespace veltrina {

class Auth {
 public:
  // Result codes of a successful sign-in, and failure codes.
  static constexpr int64_t kSignedIn = 200;
  static constexpr int64_t kInitialPassword = 201;  // the account must set a new password first
  static constexpr int64_t kWrongCredentials = 8000;
  static constexpr int64_t kUnreachable = -1;

  static Auth* SharedAuth();

  // Success: code 200 or 201 with the token and the user. Failure: code 8000 (wrong user name or
  // password), -1 (service unreachable) or another code, with null payloads.
  void PostLoginRequest(
      const std::string& username, const std::string& password, const std::string& team_id,
      const std::string& team_subdomain,
      std::function<void(bool ok, int64_t code, std::unique_ptr<Token> token, std::unique_ptr<User> user)> callback);

 private:
  Auth() = default;
};

}  // namespace veltrina
