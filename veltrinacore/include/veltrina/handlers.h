#pragma once
// Handler interfaces the client registers with the core (by raw pointer; the client owns them and
// removes them before destroying them). Every method is called on a core thread, never on the
// thread that registered the handler. Methods are listed in their slot order.
#include <cstdint>
#include <string>

#include "veltrina/message.h"
#include "veltrina/num_unread.h"

namespace veltrina {

// Handlers are called on the core thread. Remove...Handler returns only after a call already
// running on that thread has finished, so a handler may be destroyed right after its removal;
// a handler must therefore never wait for the thread that removes it (hand work over with a
// posted message instead).

class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  // Every arriving message, before the method for its kind below.
  virtual void HandleMessage(const Message& message) { (void)message; }
  // A message of a direct-message conversation (channel_type() 2).
  virtual void HandleDirectMessage(const Message& message) { (void)message; }
  // A message of a channel or private group (channel_type() 1).
  virtual void HandleChannelMessage(const Message& message) { (void)message; }
  // The message stream failed (code and text of the failure).
  virtual void HandleMessageFailure(int64_t code, const std::string& error) { (void)code; (void)error; }
};

class NumUnreadHandler {
 public:
  virtual ~NumUnreadHandler() = default;
  // New counts of one conversation (channel, group or IM id).
  virtual void HandleNumUnreadChanged(const std::string& channel_id, _NumUnread counts) = 0;
};

class UserStatusHandler {
 public:
  virtual ~UserStatusHandler() = default;
  // New presence status (User::Presence value) of a user; the user cache already holds it.
  virtual void HandleUserStatusChanged(const std::string& uid, int status) = 0;
};

class ConnectionStateHandler {
 public:
  enum State : int { kConnected = 0, kReconnecting = 1, kFailed = 2, kSignedOut = 3 };
  virtual ~ConnectionStateHandler() = default;
  // 0 connected, 1 connection lost and reconnecting, 2 connection failed, 3 the service refused
  // the session (its token expired or was revoked): nothing more comes until a new sign-in.
  virtual void HandleConnectionStateChanged(int state) = 0;
};

}  // namespace veltrina
