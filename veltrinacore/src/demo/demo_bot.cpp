// The assistant bot: it answers a direct message after the bot delay.
#include <ctime>

#include "demo_service_impl.h"

namespace veltrina::backend {

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// At most `limit` bytes of UTF-8 without splitting a character, and "…" when cut.
std::string Cut(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n) + "…";
}

}  // namespace

void DemoService::Impl::OnDirectMessage(const std::string& team_id, const Message& m, const User& peer) {
  if (!peer.is_bot()) return;
  Message answer;
  answer.set_uid(peer.uid());
  answer.set_channel_id(m.ChannelID());
  answer.set_channel_type(Message::kDirectMessage);
  answer.set_to_uid(m.uid());
  const std::string text = m.content();
  Timed(options_.bot_delay, generation_, [this, team_id, answer, text]() mutable {
    answer.set_content(BotReply(text));
    engine_->Post(team_id, answer, false);
  });
}

std::string DemoService::Impl::BotReply(const std::string& text) {
  if (StartsWith(text, "/help"))
    return "我能做这些：\n/help 显示帮助\n/time 现在几点\n其他消息我会复述给你 :smile:";
  if (StartsWith(text, "/time")) {
    std::time_t now = std::time(nullptr);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    return std::string("现在是 ") + buffer;
  }
  return "收到：「" + Cut(text, 200) + "」 :+1: 想了解更多，发 /help";
}

}  // namespace veltrina::backend
