#include "veltrina/message.h"

namespace veltrina {

std::unique_ptr<Message> Message::TextMessageForChannel(const std::string& channel_id, const std::string& text) {
  auto m = std::make_unique<Message>();
  m->set_channel_type(kChannelMessage);
  m->set_channel_id(channel_id);
  m->set_content(text);
  return m;
}

std::unique_ptr<Message> Message::TextMessageForIM(const std::string& im_id, const std::string& to_uid,
                                                   const std::string& text) {
  auto m = std::make_unique<Message>();
  m->set_channel_type(kDirectMessage);
  m->set_channel_id(im_id);
  m->set_to_uid(to_uid);
  m->set_content(text);
  return m;
}

std::unique_ptr<Attachment> Message::GetAttachment() const {
  if (!attachment_) return nullptr;
  return std::make_unique<Attachment>(*attachment_);
}

}  // namespace veltrina
