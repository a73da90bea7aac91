#pragma once
// A message of a channel, private group or direct-message conversation.
#include <cstdint>
#include <memory>
#include <string>

#include "veltrina/attachment.h"

namespace veltrina {

class Message {
 public:
  // Who sent it: uid() is a user id for kSenderUser, a service id otherwise.
  enum SenderType : int { kSenderUser = 1, kSenderService = 2, kSenderServiceEntity = 3 };
  // What it is. Values not listed here may arrive; a client shows them as unknown.
  enum MessageType : int {
    kText = 1,
    kSystem = 3,        // notice such as "joined the channel"
    kServiceText = 4,   // text posted by an integration or a bot
    kImage = 5,         // entity_json: the shared image
    kFile = 6,          // entity_json: the shared file
    kDocument = 7,      // entity_json: the shared document
    kSnippet = 8,       // entity_json: the shared snippet
    kMail = 12,         // entity_json: the mail (subject, from)
    kComment = 22,      // entity_json: the commented file; content: the comment
    kAttachment = 32,   // GetAttachment()
  };
  // Where it belongs: the same numbers as the client's conversation kinds.
  enum ChannelType : int { kChannelMessage = 1, kDirectMessage = 2 };

  Message() = default;
  virtual ~Message() = default;
  Message(const Message&) = default;
  Message& operator=(const Message&) = default;

  // A text message to a channel or private group, ready for ChatManager::SendMessageW.
  static std::unique_ptr<Message> TextMessageForChannel(const std::string& channel_id, const std::string& text);
  // A text message to a direct-message conversation with `to_uid`.
  static std::unique_ptr<Message> TextMessageForIM(const std::string& im_id, const std::string& to_uid,
                                                   const std::string& text);

  const std::string& key() const { return key_; }  // unique id, empty until stored by the service
  const std::string& uid() const { return uid_; }
  int sender_type() const { return sender_type_; }
  int message_type() const { return message_type_; }
  int channel_type() const { return channel_type_; }
  const std::string& ChannelID() const { return channel_id_; }  // channel, group or IM id
  const std::string& to_uid() const { return to_uid_; }         // peer of a direct message
  const std::string& content() const { return content_; }       // formatted text (MessageFormatter)
  int64_t timestamp() const { return timestamp_; }              // seconds since 1970
  const std::string& entity_json() const { return entity_json_; }  // for Entity::InitWithJsonOrDie
  // The attachment of a kAttachment message, null when there is none.
  std::unique_ptr<Attachment> GetAttachment() const;
  bool has_attachment() const { return attachment_ != nullptr; }

  void set_key(std::string v) { key_ = std::move(v); }
  void set_uid(std::string v) { uid_ = std::move(v); }
  void set_sender_type(int v) { sender_type_ = v; }
  void set_message_type(int v) { message_type_ = v; }
  void set_channel_type(int v) { channel_type_ = v; }
  void set_channel_id(std::string v) { channel_id_ = std::move(v); }
  void set_to_uid(std::string v) { to_uid_ = std::move(v); }
  void set_content(std::string v) { content_ = std::move(v); }
  void set_timestamp(int64_t v) { timestamp_ = v; }
  void set_entity_json(std::string v) { entity_json_ = std::move(v); }
  void set_attachment(const Attachment& v) { attachment_ = std::make_shared<const Attachment>(v); }
  void clear_attachment() { attachment_.reset(); }

  std::unique_ptr<Message> Clone() const { return std::make_unique<Message>(*this); }

 private:
  // The core's cache packs every member below (StoredMessage): a new one goes there too.
  std::string key_;
  std::string uid_;
  int sender_type_ = kSenderUser;
  int message_type_ = kText;
  int channel_type_ = kChannelMessage;
  std::string channel_id_;
  std::string to_uid_;
  std::string content_;
  int64_t timestamp_ = 0;
  std::string entity_json_;
  // Shared by the copies: a cached message is copied often and its card never changes in place.
  std::shared_ptr<const Attachment> attachment_;
};

}  // namespace veltrina
