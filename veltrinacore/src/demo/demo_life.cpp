// The simulated team: teammates post and share, presence moves, an integration reports, the
// connection drops now and then.
#include <algorithm>

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

// One step of the simulated team around the session's user.
void DemoService::Impl::Live() {
  if (!session_) return;
  const engine::TeamData* t = nullptr;
  for (const engine::TeamData& team : engine_->state().teams)
    if (team.team.team_id() == session_->team_id) t = &team;
  if (!t) return;
  const std::string& me = session_->uid;
  auto member = [](const Channel& c, const std::string& uid) {
    return std::find(c.member_uids().begin(), c.member_uids().end(), uid) != c.member_uids().end();
  };
  std::vector<const User*> people;
  for (const User& u : t->users)
    if (u.uid() != me && !u.is_bot() && u.state() == User::kStateNormal) people.push_back(&u);
  if (people.empty()) return;
  const User* who = people[rng_() % people.size()];
  int roll = static_cast<int>(rng_() % 100);
  std::string phrase = kPhrases[rng_() % (sizeof kPhrases / sizeof kPhrases[0])];
  if (roll < 40) {
    std::vector<const Channel*> shared;
    for (const Channel& c : t->channels)
      if (!c.is_archived() && member(c, me) && member(c, who->uid())) shared.push_back(&c);
    if (shared.empty()) return;
    Message m;
    m.set_uid(who->uid());
    m.set_channel_id(shared[rng_() % shared.size()]->channel_id());
    m.set_content(phrase);
    if (roll < 8) ShareAgain(*t, &m);  // now and then a picture or a file instead of words
    engine_->Post(t->team.team_id(), m, true);
  } else if (roll < 60) {
    const engine::DirectChat* d = nullptr;
    for (const engine::DirectChat& c : t->chats)
      if (c.Has(me) && c.Has(who->uid()) && c.uid_a != c.uid_b) d = &c;
    if (!d) return;
    Message m;
    m.set_uid(who->uid());
    m.set_channel_id(d->im_id);
    m.set_channel_type(Message::kDirectMessage);
    m.set_to_uid(me);
    m.set_content(phrase);
    engine_->Post(t->team.team_id(), m, true);
  } else if (roll < 85) {
    engine_->SetPresence(t->team.team_id(), who->uid(), static_cast<int>(rng_() % 4));
  } else {
    const veltrina::Service* deploy = nullptr;
    for (const veltrina::Service& s : t->services)
      if (s.kind() == veltrina::Service::kIntegration) deploy = &s;
    const Channel* target = nullptr;
    for (const Channel& c : t->channels)
      if (c.channel_id() == "c-dev") target = &c;
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
    a.set_title_link("https://veltrina.demo/ci/" + std::to_string(engine_->NextId()));
    a.set_text(ok ? "所有测试通过 :white_check_mark:" : "3 个测试失败，请 <@" + who->uid() + "> 查看");
    a.set_fields({{"分支", "main", true}, {"耗时", std::to_string(2 + rng_() % 9) + " 分钟", true}});
    m.set_attachment(a);
    engine_->Post(t->team.team_id(), m, true);
  }
}

// Turns a life message into the share of one of the team's pictures or files, one the session's
// user may fetch: shared in a public channel or in the conversation it goes to.
void DemoService::Impl::ShareAgain(const engine::TeamData& t, Message* m) {
  auto is_public = [&](const std::string& conversation) {
    for (const Channel& c : t.channels)
      if (c.channel_id() == conversation) return c.type() != Channel::kPrivate;
    return false;
  };
  std::vector<const Entity*> shareable;
  for (const Entity& e : t.entities)
    if ((e.entity_type() == Entity::kImage || e.entity_type() == Entity::kFile) &&
        (e.channel_id() == m->ChannelID() || is_public(e.channel_id())))
      shareable.push_back(&e);
  if (shareable.empty()) return;
  const Entity* e = shareable[rng_() % shareable.size()];
  const bool image = e->entity_type() == Entity::kImage;
  m->set_message_type(image ? Message::kImage : Message::kFile);
  m->set_content(std::string(image ? "上传了图片: " : "上传了文件: ") + e->title());
  m->set_entity_json(e->ToJson());
}

void DemoService::Impl::ScheduleLife(uint64_t generation) {
  if (options_.life_interval.count() <= 0) return;
  Timed(options_.life_interval, generation, [this, generation] {
    Live();
    ScheduleLife(generation);
  });
}

// The live connection "drops" now and then: the client shows it and connects again.
void DemoService::Impl::ScheduleDrop(uint64_t generation) {
  if (options_.connection_drop_interval.count() <= 0) return;
  Timed(options_.connection_drop_interval, generation, [this, generation] {
    if (session_) events_.push_back({"connection", R"({"state":1})"});
    ScheduleDrop(generation);
  });
}

}  // namespace veltrina::backend
