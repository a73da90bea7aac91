// The simulated team: teammates post and share, presence moves, an integration reports, the
// connection drops now and then.
#include <algorithm>

#include "../records_json.h"
#include "demo_service_impl.h"

namespace veltrina::backend {

namespace {

const char* const kPhrases[] = {
    "早上好 :sunny:", "这个需求我来跟进。", "有人知道打印机怎么连吗？", "PR 已经提了，帮忙 review 一下 :eyes:",
    "午饭一起吗？ :ramen:", "文档更新了，见 [https://veltrina.demo/docs|文档中心]", "我晚点回复你。",
    "测试环境好像挂了 :scream:", "好主意 :+1:", "会议改到四点。", "谢谢！ :pray:", "今天的构建全部通过 :white_check_mark:",
    "<@u-alice> 你看下这个问题？", "新版本的截图放在 <#c-design> 了。", "哈哈哈 :joy:", "收到，马上处理。",
};

}  // namespace

// One step of the simulated team: someone posts, presence moves, an integration reports.
void DemoService::Impl::Live() {
  TeamData* t = Team();
  if (!t) return;
  std::vector<const User*> people;
  for (const User& u : t->users)
    if (u.uid() != session_uid_ && !u.is_bot() && u.state() == User::kStateNormal) people.push_back(&u);
  if (people.empty()) return;
  const User* who = people[rng_() % people.size()];
  int roll = static_cast<int>(rng_() % 100);
  std::string phrase = kPhrases[rng_() % (sizeof kPhrases / sizeof kPhrases[0])];
  if (roll < 40) {
    std::vector<const Channel*> shared;
    for (const Channel& c : t->channels)
      if (!c.is_archived() && IsMember(c, session_uid_) && IsMember(c, who->uid())) shared.push_back(&c);
    if (shared.empty()) return;
    Message m;
    m.set_uid(who->uid());
    m.set_channel_id(shared[rng_() % shared.size()]->channel_id());
    m.set_content(phrase);
    if (roll < 8) ShareAgain(t, &m);  // now and then a picture or a file instead of words
    Announce(t, Store(t, m, true));
  } else if (roll < 60) {
    DirectChat* d = nullptr;
    for (DirectChat& c : t->chats)
      if (c.Has(session_uid_) && c.Has(who->uid()) && c.uid_a != c.uid_b) d = &c;
    if (!d) return;
    Message m;
    m.set_uid(who->uid());
    m.set_channel_id(d->im_id);
    m.set_channel_type(Message::kDirectMessage);
    m.set_to_uid(session_uid_);
    m.set_content(phrase);
    Announce(t, Store(t, m, true));
  } else if (roll < 85) {
    int status = static_cast<int>(rng_() % 4);
    for (User& u : t->users)
      if (u.uid() == who->uid()) u.set_status(status);
    Queue("presence", json{{"uid", who->uid()}, {"status", status}});
  } else {
    const veltrina::Service* deploy = nullptr;
    for (const veltrina::Service& s : t->services)
      if (s.kind() == veltrina::Service::kIntegration) deploy = &s;
    Channel* target = FindChannel(t, "c-dev");
    if (!target) target = t->channels.empty() ? nullptr : &t->channels.front();
    if (!deploy || !target) return;
    Message m;
    m.set_uid(deploy->service_id());
    m.set_sender_type(Message::kSenderService);
    m.set_message_type(Message::kAttachment);
    m.set_channel_id(target->channel_id());
    m.set_content("构建报告");
    Attachment a;
    bool ok = rng_() % 3 != 0;
    a.set_pretext("持续集成完成了一次构建");
    a.set_color(ok ? "#36A64F" : "#FF0000");
    a.set_title(ok ? "构建成功" : "构建失败");
    a.set_title_link("https://veltrina.demo/ci/" + std::to_string(state_.next_id));
    a.set_text(ok ? "所有测试通过 :white_check_mark:" : "3 个测试失败，请 <@" + who->uid() + "> 查看");
    a.set_fields({{"分支", "main", true}, {"耗时", std::to_string(2 + rng_() % 9) + " 分钟", true}});
    m.set_attachment(a);
    Announce(t, Store(t, m, true));
  }
  Trim(t);
  Save();
}

// Turns a life message into the share of one of the team's pictures or files (an existing one,
// so that life adds no entities).
void DemoService::Impl::ShareAgain(TeamData* t, Message* m) {
  std::vector<const Entity*> shareable;
  for (const Entity& e : t->entities)
    if (e.entity_type() == Entity::kImage || e.entity_type() == Entity::kFile) shareable.push_back(&e);
  if (shareable.empty()) return;
  const Entity* e = shareable[rng_() % shareable.size()];
  const bool image = e->entity_type() == Entity::kImage;
  m->set_message_type(image ? Message::kImage : Message::kFile);
  m->set_content(std::string(image ? "上传了图片: " : "上传了文件: ") + e->title());
  m->set_entity_json(e->ToJson());
}

// Keeps the simulated chatter from growing without end; what people sent is never dropped.
void DemoService::Impl::Trim(TeamData* t) {
  for (auto& [conversation, list] : t->messages) {
    if (list.size() <= kLifeMessagesKept) continue;
    size_t extra = list.size() - kLifeMessagesKept;
    std::erase_if(list, [&](const Message& m) {
      if (extra == 0 || !StartsWith(m.key(), "life-")) return false;
      --extra;
      return true;
    });
    for (auto& [uid, counts] : t->unread) counts.erase(conversation);  // some of them may have been unread
  }
}

void DemoService::Impl::LifeLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return started_ || stop_; });  // the config sets the pace
  auto next_life = std::chrono::steady_clock::now() + options_.life_interval;
  auto next_drop = std::chrono::steady_clock::now() + options_.connection_drop_interval;
  while (!stop_) {
    auto now = std::chrono::steady_clock::now();
    // Bot answers that are due.
    std::vector<BotAnswer> due;
    std::erase_if(bot_answers_, [&](const BotAnswer& a) {
      if (a.due > now) return false;
      due.push_back(a);
      return true;
    });
    for (const BotAnswer& a : due) AnswerAsBot(a);
    if (dirty_ && now >= save_due_) Flush();
    bool living = options_.life_interval.count() > 0;
    if (living && now >= next_life) {
      Live();
      next_life = now + options_.life_interval;
    }
    bool dropping = options_.connection_drop_interval.count() > 0;
    if (dropping && now >= next_drop) {
      if (!session_team_.empty()) Queue("connection", json{{"state", 1}});
      next_drop = now + options_.connection_drop_interval;
    }
    if (!events_.empty()) {
      std::vector<Event> events;
      events.swap(events_);
      lock.unlock();
      Emit(events);
      lock.lock();
      continue;
    }
    auto wake_at = living ? next_life : now + std::chrono::hours(1);
    if (dropping) wake_at = std::min(wake_at, next_drop);
    for (const BotAnswer& a : bot_answers_) wake_at = std::min(wake_at, a.due);
    if (dirty_) wake_at = std::min(wake_at, save_due_);
    wake_.wait_until(lock, wake_at);
  }
}

}  // namespace veltrina::backend
