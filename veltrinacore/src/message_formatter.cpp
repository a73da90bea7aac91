#include "veltrina/message_formatter.h"

#include "formatted_text.h"
#include "veltrina/channel_manager.h"
#include "veltrina/immortal.h"
#include "veltrina/user_manager.h"

namespace veltrina {

namespace {

const internal::FormattedTextNames& CachedNames() {
  // Formatting may run on core threads, which may still run while the process exits.
  static Immortal<internal::FormattedTextNames> names{
      [](const std::string& uid) {
        auto user = UserManager::DefaultManager()->FetchUserFromCacheByUid(uid);
        return user ? user->display_name() : std::string();
      },
      [](const std::string& id) {
        auto channel = ChannelManager::DefaultManager()->FetchChannelFromCacheByChannelId(id);
        return channel ? channel->channel_name() : std::string();
      }};
  return names.get();
}

}  // namespace

MessageFormatter* MessageFormatter::SharedFormatter() {
  static MessageFormatter instance;
  return &instance;
}

std::vector<std::unique_ptr<MessageCheckingResult>> MessageFormatter::ReadFormattedMessage(const std::string& text) {
  return internal::ReadFormattedText(text, CachedNames());
}

void MessageFormatter::VisitFormattedMessage(const std::string& text,
                                             const std::function<void(const MessageCheckingResult&)>& visit) {
  internal::VisitFormattedText(text, CachedNames(), visit);
}

std::string MessageFormatter::PlainText(const std::string& text) {
  return internal::PlainTextOf(text, ReadFormattedMessage(text));
}

}  // namespace veltrina
