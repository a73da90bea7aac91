// Channels, direct chats, messages, comments and the file lists of a conversation.
#include "engine_impl.h"
#include "records_json.h"
#include "utf8.h"
#include "veltrina/director.h"

namespace veltrina::engine {

Reply Engine::Impl::CreateChannel(TeamData* t, const json& p) {
  Account* a = FindAccount(t->team.team_id(), me_);
  int type = Int(p, "type", 1) == 2 ? Channel::kPrivate : Channel::kPublic;
  int64_t needed = type == Channel::kPrivate ? Director::kPermissionCreateGroup : Director::kPermissionCreateChannel;
  if (!a || (a->permission & needed) == 0) return Fail(403, "not allowed to create it");
  std::string name = internal::SanitizeUtf8(Cut(Str(p, "name"), 80));
  if (name.empty()) return Fail(400, "a name is needed");
  for (const Channel& c : t->channels)
    if (c.channel_name() == name && static_cast<int>(c.type()) == type) return Fail(409, "the name is taken");
  Channel c;
  c.set_channel_id(state_.NewId(type == Channel::kPrivate ? "g-" : "c-"));
  c.set_channel_name(name);
  c.set_topic(internal::SanitizeUtf8(Cut(Str(p, "topic"), 250)));
  c.set_type(static_cast<Channel::Type>(type));
  c.set_creator_uid(me_);
  c.set_created_at(Now());
  std::vector<std::string> members{me_};
  if (const json* list = Member(p, "member_uids"); list && list->is_array())
    for (const json& uid : *list)
      if (uid.is_string() && FindUser(t, uid.get<std::string>()) &&
          std::find(members.begin(), members.end(), uid.get<std::string>()) == members.end())
        members.push_back(uid.get<std::string>());
  c.set_member_uids(members);
  t->channels.push_back(c);
  ChannelChanged(t, c);
  Notice(t, c.channel_id(), "<@" + me_ + "> 创建了 <#" + c.channel_id() + "|" + name + ">");
  return Ok(json{{"channel", internal::ToValue(View(c, me_))}});
}

Reply Engine::Impl::JoinChannel(TeamData* t, const std::string& id) {
  Channel* c = FindChannel(t, id);
  if (!c || (c->type() == Channel::kPrivate && !IsMember(*c, me_))) return Fail(404, "no such channel");
  if (c->is_archived()) return Fail(400, "the channel is archived");
  if (!IsMember(*c, me_)) {
    std::vector<std::string> members = c->member_uids();
    members.push_back(me_);
    c->set_member_uids(members);
    ChannelChanged(t, *c);
    Notice(t, id, "<@" + me_ + "> 加入了 <#" + id + ">");
  }
  return Ok(json{{"channel", internal::ToValue(View(*c, me_))}});
}

Reply Engine::Impl::LeaveChannel(TeamData* t, const std::string& id) {
  Channel* c = FindChannel(t, id);
  if (!c || !IsMember(*c, me_)) return Fail(404, "no such channel");
  if (c->IsGeneral()) return Fail(400, "nobody leaves the general channel");
  std::vector<std::string> members = c->member_uids();
  std::erase(members, me_);
  c->set_member_uids(members);
  ChannelChanged(t, *c, me_);
  Announce(t, Store(t, SystemNotice(id, "<@" + me_ + "> 离开了 <#" + id + ">")), false);
  return Ok();
}

Reply Engine::Impl::Invite(TeamData* t, const std::string& id, const std::string& uid) {
  Channel* c = FindChannel(t, id);
  if (!c || !IsMember(*c, me_)) return Fail(404, "no such channel");
  if (!FindUser(t, uid)) return Fail(404, "no such user");
  if (!IsMember(*c, uid)) {
    std::vector<std::string> members = c->member_uids();
    members.push_back(uid);
    c->set_member_uids(members);
    ChannelChanged(t, *c);
    Notice(t, id, "<@" + me_ + "> 邀请 <@" + uid + "> 加入了 <#" + id + ">");
  }
  return Ok(json{{"channel", internal::ToValue(View(*c, me_))}});
}

Reply Engine::Impl::NewIm(TeamData* t, const std::string& uid) {
  if (!FindUser(t, uid)) return Fail(404, "no such user");
  for (DirectChat& d : t->chats)
    if ((d.uid_a == me_ && d.uid_b == uid) || (d.uid_b == me_ && d.uid_a == uid))
      return OpenOrCloseIm(t, d.im_id, true);
  DirectChat d;
  d.im_id = state_.NewId("im-");
  d.uid_a = me_;
  d.uid_b = uid;
  d.created_at = Now();
  d.open_for.insert(me_);
  t->chats.push_back(d);
  Touch(RecordKind::kChat, t, d.im_id);
  Record(t, Change{.kind = Change::Kind::kIm, .conversation = d.im_id, .uid = me_}, false);
  return Ok(json{{"im", internal::ToValue(View(d, me_))}});
}

Reply Engine::Impl::OpenOrCloseIm(TeamData* t, const std::string& id, bool open) {
  DirectChat* d = FindChat(t, id);
  if (!d || !d->Has(me_)) return Fail(404, "no such conversation");
  if (d->open_for.count(me_) != (open ? 1u : 0u)) {
    if (open)
      d->open_for.insert(me_);
    else
      d->open_for.erase(me_);
    Touch(RecordKind::kChat, t, d->im_id);
    Record(t, Change{.kind = Change::Kind::kIm, .conversation = d->im_id, .uid = me_}, false);
  }
  return open ? Ok(json{{"im", internal::ToValue(View(*d, me_))}}) : Ok();
}

Reply Engine::Impl::Send(TeamData* t, const json& p) {
  const json* m = Member(p, "message");
  if (!m || !m->is_object()) return Fail(400, "no message");
  Message in = internal::MessageFrom(*m);
  if (!Sees(t, in.ChannelID(), me_)) return Fail(404, "no such conversation");
  const std::string client_id = Str(p, "client_msg_id");
  if (std::optional<Reply> again = Repeated(t, client_id)) return *again;
  if (in.content().empty()) return Fail(400, "the message is empty");
  if (in.content().size() > kMaxText) return Fail(413, "the message is longer than 32768 bytes");
  Message out;
  out.set_uid(me_);
  out.set_sender_type(Message::kSenderUser);
  out.set_message_type(Message::kText);
  out.set_channel_id(in.ChannelID());
  out.set_content(in.content());
  DirectChat* d = FindChat(t, in.ChannelID());
  out.set_channel_type(d ? Message::kDirectMessage : Message::kChannelMessage);
  if (d) out.set_to_uid(d->Peer(me_));
  const Message stored = Store(t, out);
  MoveCursor(t, me_, stored.ChannelID(), stored.timestamp());
  RememberSent(t, client_id, stored);
  Announce(t, stored, false);
  if (d && options_.on_direct_message)
    if (const User* peer = FindUser(t, d->Peer(me_))) options_.on_direct_message(t->team.team_id(), stored, *peer);
  return Ok(json{{"message", internal::ToValue(stored)}});
}

std::optional<Reply> Engine::Impl::Repeated(TeamData* t, const std::string& client_id) {
  if (client_id.empty()) return std::nullopt;
  auto it = t->sent_ids.find(me_ + "\n" + client_id);
  if (it == t->sent_ids.end()) return std::nullopt;
  const size_t cut = it->second.find('\n');
  const std::string conversation = it->second.substr(0, cut);
  const std::string key = cut == std::string::npos ? std::string() : it->second.substr(cut + 1);
  if (auto list = t->messages.find(conversation); list != t->messages.end())
    for (const Message& m : list->second)
      if (m.key() == key) return Ok(json{{"message", internal::ToValue(m)}});
  return Fail(409, "the message sent with this id is gone");
}

void Engine::Impl::RememberSent(TeamData* t, const std::string& client_id, const Message& stored) {
  if (client_id.empty()) return;
  const std::string id = me_ + "\n" + client_id.substr(0, 128);
  t->sent_ids[id] = stored.ChannelID() + "\n" + stored.key();
  Touch(RecordKind::kSentId, t, id);
}

Reply Engine::Impl::ListEntities(TeamData* t, const json& p) {
  std::string conversation = Str(p, "channel_id");
  if (!MayFetch(t, conversation, me_)) return Fail(404, "no such conversation");
  int64_t type = Int(p, "entity_type");
  std::string keyword = Str(p, "keyword");
  int64_t page = std::clamp<int64_t>(Int(p, "page", 1), 1, 1000000);
  int64_t size = std::clamp<int64_t>(Int(p, "page_size", 20), 1, 100);
  // The large team's history shares files too; one that was commented on is stored instead.
  std::vector<Entity> generated;
  if (const GeneratedConversation* g = t->generated ? t->generated->Find(conversation) : nullptr)
    generated = t->generated->SharedFiles(*g);
  std::vector<const Entity*> candidates;
  for (const Entity& e : t->entities)
    if (e.channel_id() == conversation) candidates.push_back(&e);
  const size_t stored = candidates.size();
  for (const Entity& e : generated)
    if (std::none_of(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(stored),
                     [&](const Entity* s) { return s->entity_id() == e.entity_id(); }))
      candidates.push_back(&e);
  std::vector<const Entity*> found;
  for (const Entity* candidate : candidates) {
    const Entity& e = *candidate;
    int et = e.entity_type();
    bool file_like = et == Entity::kImage || et == Entity::kFile || et == Entity::kDocument || et == Entity::kSnippet;
    if (type == 0 ? !file_like : et != type) continue;
    if (!keyword.empty() && e.title().find(keyword) == std::string::npos) continue;
    found.push_back(&e);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Entity* a, const Entity* b) { return a->created_at() > b->created_at(); });
  json entities = json::array();
  size_t from = static_cast<size_t>(std::min<int64_t>((page - 1) * size, static_cast<int64_t>(found.size())));
  for (size_t i = from; i < found.size() && i < from + static_cast<size_t>(size); ++i)
    entities.push_back(internal::ToValue(*found[i]));
  return Ok(json{{"entities", entities}, {"total", found.size()}});
}

Reply Engine::Impl::Comment(TeamData* t, const std::string& entity_id, const std::string& content) {
  if (content.size() > kMaxText) return Fail(413, "the comment is longer than 32768 bytes");
  Entity* found = nullptr;
  for (Entity& e : t->entities)
    if (e.entity_id() == entity_id) found = &e;
  if (Entity generated; !found && t->generated && t->generated->EntityById(entity_id, &generated)) {
    t->entities.push_back(std::move(generated));  // from now on stored, with its comments
    found = &t->entities.back();
  }
  if (found && !MayFetch(t, found->channel_id(), me_)) found = nullptr;
  if (found) {
    Entity& e = *found;
    veltrina::Comment c;
    c.set_comment_id(state_.NewId("cm-"));
    c.set_entity_id(entity_id);
    c.set_creator_uid(me_);
    c.set_content(internal::SanitizeUtf8(content));
    c.set_created_at(Now());
    e.add_comment(c);
    Touch(RecordKind::kEntity, t, e.entity_id());
    if (Sees(t, e.channel_id(), me_)) {
      Message m;
      m.set_uid(me_);
      m.set_message_type(Message::kComment);
      m.set_channel_id(e.channel_id());
      m.set_channel_type(FindChat(t, e.channel_id()) ? Message::kDirectMessage : Message::kChannelMessage);
      m.set_content(c.content());
      m.set_entity_json(e.ToJson());
      Announce(t, Store(t, m), true);
    }
    return Ok(json{{"comment", internal::ToValue(c)}});
  }
  return Fail(404, "no such entity");
}

}  // namespace veltrina::engine
