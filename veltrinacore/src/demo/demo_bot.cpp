// The assistant bot: it answers a direct message after the bot delay.
#include <ctime>

#include "demo_service_impl.h"

namespace veltrina::backend {

void DemoService::Impl::ScheduleBotAnswer(TeamData* t, const DirectChat& d, const std::string& bot_uid, const std::string& text) {
  BotAnswer a;
  a.due = std::chrono::steady_clock::now() + options_.bot_delay;
  a.team_id = t->team.team_id();
  a.im_id = d.im_id;
  a.bot_uid = bot_uid;
  a.text = text;
  bot_answers_.push_back(a);
  wake_.notify_all();
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

void DemoService::Impl::AnswerAsBot(const BotAnswer& a) {
  TeamData* t = state_.FindTeam(a.team_id);
  DirectChat* d = t ? FindChat(t, a.im_id) : nullptr;
  if (!d) return;
  Message m;
  m.set_uid(a.bot_uid);
  m.set_channel_id(a.im_id);
  m.set_channel_type(Message::kDirectMessage);
  m.set_to_uid(d->Peer(a.bot_uid));
  m.set_content(BotReply(a.text));
  const Message& stored = Store(t, m);
  if (t->team.team_id() == session_team_) Announce(t, stored);
  Save();
}

}  // namespace veltrina::backend
