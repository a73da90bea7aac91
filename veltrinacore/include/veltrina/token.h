#pragma once
// The session token a successful sign-in returns.
#include <cstdint>
#include <memory>
#include <string>

namespace veltrina {

class Token {
 public:
  Token() = default;
  virtual ~Token() = default;
  Token(const Token&) = default;
  Token& operator=(const Token&) = default;

  const std::string& access_token() const { return access_token_; }
  const std::string& refresh_token() const { return refresh_token_; }
  int64_t expires_at() const { return expires_at_; }

  void set_access_token(std::string v) { access_token_ = std::move(v); }
  void set_refresh_token(std::string v) { refresh_token_ = std::move(v); }
  void set_expires_at(int64_t v) { expires_at_ = v; }

  std::unique_ptr<Token> Clone() const { return std::make_unique<Token>(*this); }

 private:
  std::string access_token_;
  std::string refresh_token_;
  int64_t expires_at_ = 0;
};

}  // namespace veltrina
