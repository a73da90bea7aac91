#pragma once
// A member of a team (people and bot users alike).
#include <cstdint>
#include <memory>
#include <string>

namespace veltrina {

class User {
 public:
  // Membership state of the account in its team; lists of people to talk to use kStateNormal.
  enum State : int { kStateInactive = 0, kStateNormal = 1, kStatePending = 2 };
  // Presence status codes, as status() reports them and UserStatusHandler delivers them.
  enum Presence : int { kOffline = 0, kOnline = 1, kBusy = 2, kAway = 3 };
  // Role codes, as role() reports them.
  enum Role : int { kRoleGuest = 1, kRoleMember = 2, kRoleAdmin = 4 };

  User() = default;
  virtual ~User() = default;
  User(const User&) = default;
  User& operator=(const User&) = default;

  const std::string& uid() const { return uid_; }
  const std::string& user_name() const { return user_name_; }      // login name, e.g. "lilei"
  const std::string& display_name() const { return display_name_; }
  const std::string& email() const { return email_; }
  // Avatar file name on the avatar storage ("stem.ext"); the client derives sized names from it.
  const std::string& header_url() const { return header_url_; }
  int status() const { return status_; }  // presence: a Presence value (other values may come)
  int role() const { return role_; }      // a Role value; 4 is the administrator
  State state() const { return state_; }
  bool is_bot() const { return is_bot_; }

  void set_uid(std::string v) { uid_ = std::move(v); }
  void set_user_name(std::string v) { user_name_ = std::move(v); }
  void set_display_name(std::string v) { display_name_ = std::move(v); }
  void set_email(std::string v) { email_ = std::move(v); }
  void set_header_url(std::string v) { header_url_ = std::move(v); }
  void set_status(int v) { status_ = v; }
  void set_role(int v) { role_ = v; }
  void set_state(State v) { state_ = v; }
  void set_is_bot(bool v) { is_bot_ = v; }

  std::unique_ptr<User> Clone() const { return std::make_unique<User>(*this); }

 private:
  std::string uid_;
  std::string user_name_;
  std::string display_name_;
  std::string email_;
  std::string header_url_;
  int status_ = kOffline;
  int role_ = kRoleMember;
  State state_ = kStateNormal;
  bool is_bot_ = false;
};

}  // namespace veltrina
