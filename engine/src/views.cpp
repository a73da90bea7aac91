// What a user sees: views of channels and chats, unread counts, stored messages.
#include "engine_impl.h"
#include "records_json.h"
#include "utf8.h"

namespace veltrina::engine {

Account* Engine::Impl::FindAccount(const std::string& team_id, const std::string& uid) {
  for (Account& a : state_.accounts)
    if (a.team_id == team_id && a.uid == uid) return &a;
  return nullptr;
}

Channel* Engine::Impl::FindChannel(TeamData* t, const std::string& id) {
  for (Channel& c : t->channels)
    if (c.channel_id() == id) return &c;
  return nullptr;
}

DirectChat* Engine::Impl::FindChat(TeamData* t, const std::string& id) {
  for (DirectChat& c : t->chats)
    if (c.im_id == id) return &c;
  return nullptr;
}

const User* Engine::Impl::FindUser(const TeamData* t, const std::string& uid) {
  for (const User& u : t->users)
    if (u.uid() == uid) return &u;
  return nullptr;
}

const Entity* Engine::Impl::FindEntity(const TeamData* t, const std::string& id, Entity* scratch) {
  for (const Entity& e : t->entities)
    if (e.entity_id() == id) return &e;
  return t->generated && t->generated->EntityById(id, scratch) ? scratch : nullptr;
}

bool Engine::Impl::IsMember(const Channel& c, const std::string& uid) {
  return std::find(c.member_uids().begin(), c.member_uids().end(), uid) != c.member_uids().end();
}

Channel Engine::Impl::View(const Channel& c, const std::string& reader) {
  Channel v = c;
  v.set_is_member(IsMember(c, reader));
  return v;
}

IM Engine::Impl::View(const DirectChat& c, const std::string& reader) {
  IM im;
  im.set_im_id(c.im_id);
  im.set_to_uid(c.Peer(reader));
  im.set_created_at(c.created_at);
  im.set_is_open(c.open_for.count(reader) > 0);
  return im;
}

// Conversations the user reads: channels and groups they belong to, their direct chats.
bool Engine::Impl::Sees(TeamData* t, const std::string& conversation, const std::string& uid) {
  if (Channel* c = FindChannel(t, conversation)) return IsMember(*c, uid);
  if (DirectChat* d = FindChat(t, conversation)) return d->Has(uid);
  return false;
}

bool Engine::Impl::MayFetch(TeamData* t, const std::string& conversation, const std::string& uid) {
  if (const Channel* c = FindChannel(t, conversation); c && c->type() != Channel::kPrivate)
    return FindUser(t, uid) != nullptr;
  return Sees(t, conversation, uid);
}

std::vector<std::string> Engine::Impl::Conversations(TeamData* t, const std::string& uid) {
  std::vector<std::string> out;
  for (const Channel& c : t->channels)
    if (IsMember(c, uid)) out.push_back(c.channel_id());
  for (const DirectChat& d : t->chats)
    if (d.Has(uid)) out.push_back(d.im_id);
  return out;
}

json Engine::Impl::Counts(TeamData* t, const std::string& uid, const std::string& conversation) {
  const Unread& u = UnreadOf(t, uid, conversation);
  return json{{"channel_id", conversation}, {"num_unread", u.unread}, {"num_new", u.fresh}};
}

const Unread& Engine::Impl::UnreadOf(TeamData* t, const std::string& uid, const std::string& conversation) {
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

int64_t Engine::Impl::Cursor(TeamData* t, const std::string& uid, const std::string& conversation) {
  if (auto per = t->cursors.find(uid); per != t->cursors.end())
    if (auto it = per->second.find(conversation); it != per->second.end()) return it->second;
  // The large team's history starts with part of it read.
  const GeneratedConversation* g = t->generated ? t->generated->Find(conversation) : nullptr;
  return g && g->read > 0 ? g->TimeOf(g->read - 1) : 0;
}

void Engine::Impl::MoveCursor(TeamData* t, const std::string& uid, const std::string& conversation, int64_t time) {
  const int64_t cursor = std::max(Cursor(t, uid, conversation), time);
  t->cursors[uid][conversation] = cursor;
  Touch(RecordKind::kCursor, t, uid + "\n" + conversation);
  if (auto it = t->unread.find(uid); it != t->unread.end()) it->second.erase(conversation);
}

Message& Engine::Impl::Store(TeamData* t, Message m, bool chatter) {
  m.set_key(state_.NewId(chatter ? "life-" : "m-"));
  if (m.timestamp() == 0) m.set_timestamp(Now());
  m.set_content(internal::SanitizeUtf8(m.content()));
  const std::string conversation = m.ChannelID();
  for (auto& [uid, known] : t->unread) {
    auto it = known.find(conversation);
    if (it == known.end() || m.uid() == uid || m.timestamp() <= Cursor(t, uid, conversation)) continue;
    ++it->second.fresh;
    if (m.message_type() != Message::kSystem) ++it->second.unread;
  }
  Touch(RecordKind::kMessage, t, conversation + "\n" + m.key());
  std::vector<Message>& list = t->messages[conversation];
  list.push_back(std::move(m));
  return list.back();
}

void Engine::Impl::Notice(TeamData* t, const std::string& conversation, const std::string& text) {
  Announce(t, Store(t, SystemNotice(conversation, text)), true);
}

Message Engine::Impl::SystemNotice(const std::string& conversation, const std::string& text) {
  Message m;
  m.set_uid(me_);
  m.set_message_type(Message::kSystem);
  m.set_channel_id(conversation);
  m.set_content(text);
  return m;
}

void Engine::Impl::Trim(TeamData* t) {
  for (auto& [conversation, list] : t->messages) {
    if (list.size() <= kChatterKept) continue;
    size_t extra = list.size() - kChatterKept;
    const std::string& id = conversation;  // a structured binding cannot be captured before C++20 in clang 14
    std::erase_if(list, [&](const Message& m) {
      if (extra == 0 || !StartsWith(m.key(), "life-")) return false;
      --extra;
      delta_.removed_messages.push_back(id + "\n" + m.key());
      return true;
    });
    for (auto& [uid, counts] : t->unread) counts.erase(conversation);  // some of them may have been unread
    changed_ = true;
  }
}

}  // namespace veltrina::engine
