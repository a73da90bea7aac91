#include "stored_message.h"

#include <algorithm>
#include <stdexcept>

namespace veltrina::internal {

StoredMessage::StoredMessage(const Message& message)
    : sender_type_(message.sender_type()),
      message_type_(message.message_type()),
      channel_type_(message.channel_type()),
      timestamp_(message.timestamp()) {
  const std::string* fields[kFields] = {&message.key(), &message.uid(), &message.to_uid(), &message.content(),
                                        &message.entity_json()};
  uint64_t total = 0;
  for (int f = 0; f < kFields; ++f) {
    total += fields[f]->size();
    if (total > UINT32_MAX) throw std::length_error("a message over 4 GB");  // no answer holds one
    ends_[f] = static_cast<uint32_t>(total);
  }
  if (total > 0) {
    text_ = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(total));
    char* out = text_.get();
    for (const std::string* field : fields) out = std::copy(field->begin(), field->end(), out);
  }
  if (message.has_attachment()) attachment_ = std::shared_ptr<const Attachment>(message.GetAttachment());
}

std::string_view StoredMessage::Text(Field field) const {
  const uint32_t begin = field == kKey ? 0 : ends_[field - 1];
  return std::string_view(text_.get() + begin, ends_[field] - begin);
}

Message StoredMessage::ToMessage(const std::string& channel_id) const {
  Message m;
  m.set_key(std::string(Text(kKey)));
  m.set_uid(std::string(Text(kUid)));
  m.set_sender_type(sender_type_);
  m.set_message_type(message_type_);
  m.set_channel_type(channel_type_);
  m.set_channel_id(channel_id);
  m.set_to_uid(std::string(Text(kToUid)));
  m.set_content(std::string(Text(kContent)));
  m.set_timestamp(timestamp_);
  m.set_entity_json(std::string(Text(kEntityJson)));
  if (attachment_) m.set_attachment(*attachment_);
  return m;
}

}  // namespace veltrina::internal
