// Which request does what: the small answers here, the larger ones in their own files.
#include <algorithm>

#include "engine_impl.h"
#include "records_json.h"
#include "utf8.h"
#include "veltrina/immortal.h"

namespace veltrina::engine {

Reply Engine::Impl::Dispatch(const std::string& method, const json& p, const std::string& data) {
  if (method == "team.lookup") return TeamLookup(Str(p, "subdomain"));
  if (method == "auth.login") return Login(p);
  if (method == "web.feedback") return Feedback(p);
  TeamData* t = session_ ? state_.FindTeam(session_->team_id) : nullptr;
  if (!t || !FindUser(t, me_)) return Fail(401, "not signed in");
  if (method == "auth.init_password") return InitPassword(Str(p, "password"));
  if (method == "web.permission") {
    Account* a = FindAccount(t->team.team_id(), me_);
    return Ok(json{{"permission", a ? a->permission : 0}});
  }
  if (method == "session.connect") return Ok();  // the host tells the connection's state
  if (method == "users.list") {
    ListReply users("users");
    for (const User& u : t->users) users.Add(internal::ToValue(u));
    return users.Done();
  }
  if (method == "users.status") {
    ListReply statuses("statuses");
    for (const User& u : t->users) statuses.Add(json{{"uid", u.uid()}, {"status", u.status()}});
    return statuses.Done();
  }
  if (method == "services.list") {
    json services = json::array();
    for (const veltrina::Service& s : t->services) services.push_back(internal::ToValue(s));
    return Ok(json{{"services", services}});
  }
  if (method == "channels.list") {
    ListReply channels("channels");
    bool archived = Bool(p, "include_archived");
    for (const Channel& c : t->channels) {
      if (c.type() == Channel::kPrivate && !IsMember(c, me_)) continue;
      if (c.is_archived() && !archived) continue;
      channels.Add(internal::ToValue(View(c, me_)));
    }
    return channels.Done();
  }
  if (method == "channels.create") return CreateChannel(t, p);
  if (method == "channels.join") return JoinChannel(t, Str(p, "channel_id"));
  if (method == "channels.leave") return LeaveChannel(t, Str(p, "channel_id"));
  if (method == "channels.invite") return Invite(t, Str(p, "channel_id"), Str(p, "uid"));
  if (method == "ims.list") {
    json ims = json::array();
    for (const DirectChat& d : t->chats)
      if (d.Has(me_) && d.open_for.count(me_)) ims.push_back(internal::ToValue(View(d, me_)));
    return Ok(json{{"ims", ims}});
  }
  if (method == "ims.open" || method == "ims.close") return OpenOrCloseIm(t, Str(p, "im_id"), method == "ims.open");
  if (method == "ims.new") return NewIm(t, Str(p, "uid"));
  if (method == "messages.sync") return Sync(t, p);
  if (method == "messages.history") return History(t, p);
  if (method == "messages.unread") {
    json unread = json::array();
    for (const std::string& conversation : Conversations(t, me_)) unread.push_back(Counts(t, me_, conversation));
    return Ok(json{{"unread", unread}});
  }
  if (method == "messages.mark_read" || method == "messages.cursor")
    return MarkRead(t, p, method == "messages.mark_read");
  if (method == "messages.send") return Send(t, p);
  if (method == "entities.list") return ListEntities(t, p);
  if (method == "entities.get") {
    Entity scratch;
    const Entity* e = FindEntity(t, Str(p, "entity_id"), &scratch);
    if (!e || !MayFetch(t, e->channel_id(), me_)) return Fail(404, "no such entity");
    return Ok(json{{"entity", internal::ToValue(*e)}});
  }
  if (method == "entities.comment") return Comment(t, Str(p, "entity_id"), Str(p, "content"));
  if (method == "files.upload") return Upload(t, p, data);
  return Fail(400, "unknown request " + method);
}

Reply Engine::Impl::Feedback(const json& p) {
  if (Str(p, "description").size() > kMaxText) return Fail(413, "the feedback is longer than 32768 bytes");
  json stored = p;
  for (const char* field : {"client_version", "description", "title", "web_api_version"})
    stored[field] = internal::SanitizeUtf8(Cut(Str(p, field), kMaxText));
  state_.feedback.push_back(stored);
  Touch(RecordKind::kFeedback, nullptr, std::to_string(state_.feedback.size() - 1));
  return Ok();
}

Reply Engine::Impl::Sync(TeamData* t, const json& p) {
  const size_t count = static_cast<size_t>(std::clamp<int64_t>(Int(p, "count", 20), 1, 200));
  ListReply messages("messages");
  static Immortal<std::vector<Message>> none;  // answers may still be made while the process exits
  const std::vector<Message>& kNone = none.get();
  for (const std::string& conversation : Conversations(t, me_)) {
    auto it = t->messages.find(conversation);
    const std::vector<Message>& stored = it == t->messages.end() ? kNone : it->second;
    // The large team's history comes first, then what was stored; only the page is made.
    if (const GeneratedConversation* g = t->generated ? t->generated->Find(conversation) : nullptr;
        g && stored.size() < count)
      for (int32_t i = std::max<int32_t>(0, g->count - static_cast<int32_t>(count - stored.size())); i < g->count; ++i)
        messages.Add(internal::ToValue(t->generated->MessageAt(*g, i)));
    for (size_t i = stored.size() > count ? stored.size() - count : 0; i < stored.size(); ++i)
      messages.Add(internal::ToValue(stored[i]));
  }
  return messages.Done();
}

Reply Engine::Impl::History(TeamData* t, const json& p) {
  const std::string conversation = Str(p, "channel_id"), before = Str(p, "before");
  if (!Sees(t, conversation, me_)) return Fail(404, "no such conversation");
  const size_t count = static_cast<size_t>(std::clamp<int64_t>(Int(p, "count", 20), 1, 200));
  static Immortal<std::vector<Message>> none;  // answers may still be made while the process exits
  const std::vector<Message>& kNone = none.get();
  auto it = t->messages.find(conversation);
  const std::vector<Message>& stored = it == t->messages.end() ? kNone : it->second;
  const GeneratedConversation* g = t->generated ? t->generated->Find(conversation) : nullptr;
  // Everything before `before`: generated [0, generated_end), then stored [0, stored_end).
  int32_t generated_end = g ? g->count : 0;
  size_t stored_end = stored.size();
  if (!before.empty()) {
    auto at = std::find_if(stored.begin(), stored.end(), [&](const Message& m) { return m.key() == before; });
    if (at != stored.end()) {
      stored_end = static_cast<size_t>(at - stored.begin());
    } else if (const int32_t index = g ? g->IndexOf(before) : -1; index >= 0) {
      generated_end = index;
      stored_end = 0;
    } else {
      return Fail(404, "no such message");
    }
  }
  const size_t from_stored = std::min(count, stored_end);
  const int32_t from_generated = std::min<int32_t>(generated_end, static_cast<int32_t>(count - from_stored));
  ListReply messages("messages");
  for (int32_t i = generated_end - from_generated; i < generated_end; ++i)
    messages.Add(internal::ToValue(t->generated->MessageAt(*g, i)));
  for (size_t i = stored_end - from_stored; i < stored_end; ++i) messages.Add(internal::ToValue(stored[i]));
  return messages.Done();
}

Reply Engine::Impl::MarkRead(TeamData* t, const json& p, bool announce) {
  const std::string conversation = Str(p, "channel_id");
  if (!Sees(t, conversation, me_)) return Fail(404, "no such conversation");
  MoveCursor(t, me_, conversation, std::min(Int(p, "time"), Now() + 60));
  // The session that moved its cursor without asking for the counts is not told them; the user's
  // other sessions are.
  Record(t, Change{.kind = Change::Kind::kUnread, .conversation = conversation, .uid = me_}, announce);
  return Ok();
}

}  // namespace veltrina::engine
