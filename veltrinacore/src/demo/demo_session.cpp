// What the signed-in user sees: views of channels and chats, unread counts, stored messages.
#include <algorithm>

#include "../records_json.h"
#include "../text_util.h"
#include "demo_service_impl.h"

namespace veltrina::backend {

Account* DemoService::Impl::SessionAccount() {
  for (Account& a : state_.accounts)
    if (a.team_id == session_team_ && a.uid == session_uid_) return &a;
  return nullptr;
}

Channel* DemoService::Impl::FindChannel(TeamData* t, const std::string& id) {
  for (Channel& c : t->channels)
    if (c.channel_id() == id) return &c;
  return nullptr;
}

DirectChat* DemoService::Impl::FindChat(TeamData* t, const std::string& id) {
  for (DirectChat& c : t->chats)
    if (c.im_id == id) return &c;
  return nullptr;
}

const User* DemoService::Impl::FindUser(TeamData* t, const std::string& uid) {
  for (const User& u : t->users)
    if (u.uid() == uid) return &u;
  return nullptr;
}

const Entity* DemoService::Impl::FindEntity(TeamData* t, const std::string& id, Entity* scratch) {
  for (const Entity& e : t->entities)
    if (e.entity_id() == id) return &e;
  return t->generated && t->generated->EntityById(id, scratch) ? scratch : nullptr;
}

bool DemoService::Impl::IsMember(const Channel& c, const std::string& uid) {
  return std::find(c.member_uids().begin(), c.member_uids().end(), uid) != c.member_uids().end();
}

Channel DemoService::Impl::View(const Channel& c) const {
  Channel v = c;
  v.set_is_member(IsMember(c, session_uid_));
  return v;
}

IM DemoService::Impl::View(const DirectChat& c) const {
  IM im;
  im.set_im_id(c.im_id);
  im.set_to_uid(c.Peer(session_uid_));
  im.set_created_at(c.created_at);
  im.set_is_open(c.open_for.count(session_uid_) > 0);
  return im;
}

// Conversations the user reads: channels and groups they belong to, their direct chats.
bool DemoService::Impl::Sees(TeamData* t, const std::string& conversation, const std::string& uid) {
  if (Channel* c = FindChannel(t, conversation)) return IsMember(*c, uid);
  if (DirectChat* d = FindChat(t, conversation)) return d->Has(uid);
  return false;
}

std::vector<std::string> DemoService::Impl::Conversations(TeamData* t, const std::string& uid) {
  std::vector<std::string> out;
  for (const Channel& c : t->channels)
    if (IsMember(c, uid)) out.push_back(c.channel_id());
  for (const DirectChat& d : t->chats)
    if (d.Has(uid)) out.push_back(d.im_id);
  return out;
}

json DemoService::Impl::Counts(TeamData* t, const std::string& conversation) {
  const Unread& u = UnreadOf(t, session_uid_, conversation);
  return json{{"channel_id", conversation}, {"num_unread", u.unread}, {"num_new", u.fresh}};
}

const Unread& DemoService::Impl::UnreadOf(TeamData* t, const std::string& uid, const std::string& conversation) {
  std::map<std::string, Unread>& known = t->unread[uid];
  if (auto it = known.find(conversation); it != known.end()) return it->second;
  const int64_t cursor = Cursor(t, uid, conversation);
  Unread u;
  auto count = [&](const std::string& from, bool system) {
    if (from == uid) return;
    ++u.fresh;
    if (!system) ++u.unread;
  };
  if (const GeneratedConversation* g = t->generated ? t->generated->Find(conversation) : nullptr)
    for (int32_t i = g->FirstAfter(cursor); i < g->count; ++i)
      count(t->generated->Sender(*g, i), t->generated->IsSystem(*g, i));
  if (auto it = t->messages.find(conversation); it != t->messages.end())
    for (const Message& m : it->second)
      if (m.timestamp() > cursor) count(m.uid(), m.message_type() == Message::kSystem);
  return known[conversation] = u;
}

int64_t DemoService::Impl::Cursor(TeamData* t, const std::string& uid, const std::string& conversation) {
  if (auto per = t->cursors.find(uid); per != t->cursors.end())
    if (auto it = per->second.find(conversation); it != per->second.end()) return it->second;
  // The large team's history starts with part of it read.
  const GeneratedConversation* g = t->generated ? t->generated->Find(conversation) : nullptr;
  return g && g->read > 0 ? g->TimeOf(g->read - 1) : 0;
}

void DemoService::Impl::MoveCursor(TeamData* t, const std::string& uid, const std::string& conversation, int64_t time) {
  const int64_t cursor = std::max(Cursor(t, uid, conversation), time);
  t->cursors[uid][conversation] = cursor;
  if (auto it = t->unread.find(uid); it != t->unread.end()) it->second.erase(conversation);
}

Message& DemoService::Impl::Store(TeamData* t, Message m, bool life) {
  m.set_key(state_.NewId(life ? "life-" : "m-"));
  if (m.timestamp() == 0) m.set_timestamp(Now());
  m.set_content(internal::SanitizeUtf8(m.content()));
  const std::string conversation = m.ChannelID();
  for (auto& [uid, known] : t->unread) {
    auto it = known.find(conversation);
    if (it == known.end() || m.uid() == uid || m.timestamp() <= Cursor(t, uid, conversation)) continue;
    ++it->second.fresh;
    if (m.message_type() != Message::kSystem) ++it->second.unread;
  }
  std::vector<Message>& list = t->messages[conversation];
  list.push_back(std::move(m));
  return list.back();
}

// A message someone else wrote: the session user hears it and its new counts.
void DemoService::Impl::Announce(TeamData* t, const Message& m) {
  if (!Sees(t, m.ChannelID(), session_uid_)) return;
  if (DirectChat* d = FindChat(t, m.ChannelID()); d && !d->open_for.count(session_uid_)) {
    d->open_for.insert(session_uid_);
    Queue("im", json{{"im", internal::ToValue(View(*d))}});
  }
  Queue("message", json{{"message", internal::ToValue(m)}});
  Queue("unread", Counts(t, m.ChannelID()));
}

// Stores a system notice and tells the session about it: a channel the client does not list
// yet then makes it reload its lists (that is how a joined channel reaches the session list).
void DemoService::Impl::Notice(TeamData* t, const std::string& conversation, const std::string& text) {
  const Message& stored = Store(t, SystemNotice(conversation, text));
  Queue("message", json{{"message", internal::ToValue(stored)}});
}

Message DemoService::Impl::SystemNotice(const std::string& conversation, const std::string& text) {
  Message m;
  m.set_uid(session_uid_);
  m.set_message_type(Message::kSystem);
  m.set_channel_id(conversation);
  m.set_content(text);
  return m;
}

}  // namespace veltrina::backend
