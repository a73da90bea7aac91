#pragma once
// Messages, unread counts and read cursors.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "veltrina/callbacks.h"
#include "veltrina/handlers.h"
#include "veltrina/message.h"
#include "veltrina/num_unread.h"

namespace veltrina {

class ChatManager {
 public:
  static ChatManager* DefaultManager();

  void AddMessageHandler(MessageHandler* handler);
  void RemoveMessageHandler(MessageHandler* handler);
  void AddNumUnreadHandler(NumUnreadHandler* handler);
  void RemoveNumUnreadHandler(NumUnreadHandler* handler);

  // Loads the latest `count` messages of every conversation into the cache.
  void SyncRecentMessagesWithServer(int count, ResultCallback callback);
  // Loads the unread counts of every conversation into the cache.
  void GetNumUnreadFromServer(ResultCallback callback);

  // Sum over the cached conversations of the current team.
  _NumUnread NumUnreadInCurrentTeam();
  _NumUnread NumUnreadInChannelFromMemCache(const std::string& channel_id);
  // The first conversation (channels, then IMs, then groups) whose first count is above 0; empty if none.
  std::string FirstChannelHasUnreadMessage();

  // Cached messages of a conversation whose timestamps lie in [from_time, to_time], at most
  // `count`, always in display order (oldest first). oldest_first false takes the newest `count`
  // of the range, true the oldest. has_more (optional) tells whether the range held more;
  // oldest_time (optional) receives the timestamp of the first returned message (0 if none).
  std::vector<std::unique_ptr<Message>> FetchMessagesFromCache(const std::string& channel_id, int64_t from_time,
                                                               int64_t to_time, int count, bool* has_more,
                                                               int64_t* oldest_time, bool oldest_first);

  // Moves the cached read cursor of a conversation to `time` and zeroes its cached counts. With
  // notify, the registered NumUnreadHandlers then hear the new counts (on a core thread). The
  // service is told quietly ("messages.cursor"; no answer is awaited), and only when the cursor
  // moves beyond the one it was told and that changes something: cached unread counts, or a
  // cached message in between. A cursor that changes nothing sends nothing. Returns false for an
  // empty id.
  bool MarkReadCursorForChannelInCache(const std::string& channel_id, int64_t time, bool notify);
  // Tells the service the conversation is read up to `time`; channel_type is a
  // Message::ChannelType (1 channel or group, 2 direct message).
  void MarkAsRead(const std::string& channel_id, int channel_type, int64_t time, ResultCallback callback);

  // Sends a message made by Message::TextMessageForChannel / TextMessageForIM. The completion gets
  // the message as stored by the service (with key and timestamp). The sender's own message is not
  // delivered again to the MessageHandlers.
  void SendMessageW(const Message& message, std::function<void(bool ok, std::unique_ptr<Message> stored)> completion);

 private:
  ChatManager() = default;
};

}  // namespace veltrina
