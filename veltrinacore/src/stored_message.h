#pragma once
// A message as the core's cache keeps it: its texts in one exact allocation, its conversation's id
// (the cache's key) not repeated, no key index beside it. A large team's sync caches some fifteen
// thousand messages, which as Message objects took about twice the room.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "veltrina/attachment.h"
#include "veltrina/message.h"

namespace veltrina::internal {

class StoredMessage {
 public:
  explicit StoredMessage(const Message& message);

  // The message again, with `channel_id` (its conversation's) as its ChannelID().
  Message ToMessage(const std::string& channel_id) const;
  std::string_view key() const { return Text(kKey); }
  int64_t timestamp() const { return timestamp_; }

 private:
  enum Field { kKey, kUid, kToUid, kContent, kEntityJson, kFields };
  std::string_view Text(Field field) const;

  std::unique_ptr<char[]> text_;       // the fields one after another (any may hold a NUL)
  std::array<uint32_t, kFields> ends_{};  // where each field ends in text_
  int sender_type_ = 0;
  int message_type_ = 0;
  int channel_type_ = 0;
  int64_t timestamp_ = 0;
  std::shared_ptr<const Attachment> attachment_;  // rare
};

}  // namespace veltrina::internal
