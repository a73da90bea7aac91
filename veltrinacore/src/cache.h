#pragma once
// The caches the Fetch...FromCache calls read: plain data and the rules that keep it in order and
// within its budget. No threads and no service here (Core owns one and guards it).
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "stored_message.h"
#include "veltrina/channel.h"
#include "veltrina/im.h"
#include "veltrina/message.h"
#include "veltrina/num_unread.h"
#include "veltrina/service.h"
#include "veltrina/user.h"

namespace veltrina::internal {

// One conversation's newest messages, oldest first (equal times in arrival order).
struct Conversation {
  std::string id;  // the key it is cached under: every message's ChannelID()
  std::vector<StoredMessage> list;
  uint64_t touched = 0;  // Cache::clock at its last message or read
  bool viewed = false;   // read through FetchMessagesFromCache
};

// Everything the Fetch...FromCache calls read. Guarded by `mutex`; never held during callbacks.
struct Cache {
  // Windows show the latest page of a conversation; older history is the service's to keep.
  static constexpr size_t kKeepPerConversation = 300;
  // Beyond this many messages in all, the conversations untouched the longest are dropped.
  static constexpr size_t kMessageBudget = 20000;

  std::mutex mutex;
  std::vector<User> users;  // replaced through SetUsers, so that the index below stays right
  std::unordered_map<std::string, size_t> user_index;  // uid -> first place in `users`
  std::vector<Service> services;
  std::vector<Channel> channels;
  std::vector<IM> ims;
  std::map<std::string, Conversation> messages;
  size_t message_count = 0;
  uint64_t clock = 0;
  std::map<std::string, _NumUnread> unread;
  std::set<std::string> unread_from_disk;  // counts no service answer has confirmed yet
  std::map<std::string, int64_t> read_cursors;
  std::map<std::string, int64_t> told_cursors;  // the cursors as last sent to the service

  void Clear();
  // Callers hold `mutex`.
  void SetUsers(std::vector<User> list);
  void PutUser(const User& user);
  User* FindUser(const std::string& uid);  // null when unknown
  void PutChannel(const Channel& channel);
  void PutIm(const IM& im);
  void PutMessage(const Message& message);
  void RemoveChannel(const std::string& channel_id);
  void SetUnread(const std::string& channel_id, _NumUnread counts);  // as the service or the user says

 private:
  void DropStaleConversations(const std::string& keep);
};

}  // namespace veltrina::internal
