// Which request does what: the small answers here, the larger ones in their own files.
#include <algorithm>

#include "../records_json.h"
#include "../text_util.h"
#include "demo_config.h"
#include "demo_service_impl.h"

namespace veltrina::backend {

Reply DemoService::Impl::Handle(const std::string& method, const json& p, const std::string& data) {
  internal::demo::Config config = ReadConfig(folder_);
  if (config.unreachable && method != "http.get") return Fail(-1, "cannot reach the service");
  if (method == "http.get") return HttpGet(Str(p, "url"));
  if (method == "client.version") {
    return Ok(json{{"version_code", config.version_code},
                   {"version_name", config.version_name},
                   {"description", config.version_description},
                   {"force", false},
                   {"release_time", Now()},
                   {"download_url", config.download_url}});
  }
  if (method == "team.lookup") return TeamLookup(Str(p, "subdomain"));
  if (method == "auth.login") return Login(p);
  if (method == "web.feedback") {
    if (Str(p, "description").size() > kMaxText) return Fail(413, "the feedback is longer than 32768 bytes");
    json stored = p;
    for (const char* field : {"client_version", "description", "title", "web_api_version"})
      stored[field] = internal::SanitizeUtf8(Cut(Str(p, field), kMaxText));
    state_.feedback.push_back(stored);
    Save();
    return Ok();
  }
  TeamData* t = Team();
  if (!t) return Fail(401, "not signed in");
  if (method == "auth.init_password") return InitPassword(Str(p, "password"));
  if (method == "web.permission") {
    Account* a = SessionAccount();
    return Ok(json{{"permission", a ? a->permission : 0}});
  }
  if (method == "session.connect") {
    Queue("connection", json{{"state", 0}});
    return Ok();
  }
  if (method == "users.list") {
    json users = json::array();
    for (const User& u : t->users) users.push_back(internal::ToValue(u));
    return Ok(json{{"users", users}});
  }
  if (method == "users.status") {
    json statuses = json::array();
    for (const User& u : t->users) statuses.push_back(json{{"uid", u.uid()}, {"status", u.status()}});
    return Ok(json{{"statuses", statuses}});
  }
  if (method == "services.list") {
    json services = json::array();
    for (const veltrina::Service& s : t->services) services.push_back(internal::ToValue(s));
    return Ok(json{{"services", services}});
  }
  if (method == "channels.list") {
    json channels = json::array();
    bool archived = Bool(p, "include_archived");
    for (const Channel& c : t->channels) {
      if (c.type() == Channel::kPrivate && !IsMember(c, session_uid_)) continue;
      if (c.is_archived() && !archived) continue;
      channels.push_back(internal::ToValue(View(c)));
    }
    return Ok(json{{"channels", channels}});
  }
  if (method == "channels.create") return CreateChannel(t, p);
  if (method == "channels.join") return JoinChannel(t, Str(p, "channel_id"));
  if (method == "channels.leave") return LeaveChannel(t, Str(p, "channel_id"));
  if (method == "channels.invite") return Invite(t, Str(p, "channel_id"), Str(p, "uid"));
  if (method == "ims.list") {
    json ims = json::array();
    for (const DirectChat& d : t->chats)
      if (d.Has(session_uid_) && d.open_for.count(session_uid_)) ims.push_back(internal::ToValue(View(d)));
    return Ok(json{{"ims", ims}});
  }
  if (method == "ims.open" || method == "ims.close") {
    DirectChat* d = FindChat(t, Str(p, "im_id"));
    if (!d || !d->Has(session_uid_)) return Fail(404, "no such conversation");
    if (method == "ims.open")
      d->open_for.insert(session_uid_);
    else
      d->open_for.erase(session_uid_);
    Save();
    return method == "ims.open" ? Ok(json{{"im", internal::ToValue(View(*d))}}) : Ok();
  }
  if (method == "ims.new") return NewIm(t, Str(p, "uid"));
  if (method == "messages.sync") {
    int64_t count = std::clamp<int64_t>(Int(p, "count", 20), 1, 200);
    json messages = json::array();
    for (const std::string& conversation : Conversations(t, session_uid_)) {
      std::vector<const Message*> list;
      for (const Message& m : t->messages)
        if (m.ChannelID() == conversation) list.push_back(&m);
      size_t from = list.size() > static_cast<size_t>(count) ? list.size() - static_cast<size_t>(count) : 0;
      for (size_t i = from; i < list.size(); ++i) messages.push_back(internal::ToValue(*list[i]));
    }
    return Ok(json{{"messages", messages}});
  }
  if (method == "messages.unread") {
    json unread = json::array();
    for (const std::string& conversation : Conversations(t, session_uid_)) unread.push_back(Counts(t, conversation));
    return Ok(json{{"unread", unread}});
  }
  if (method == "messages.mark_read") {
    std::string conversation = Str(p, "channel_id");
    if (!Sees(t, conversation, session_uid_)) return Fail(404, "no such conversation");
    int64_t& cursor = t->cursors[session_uid_][conversation];
    cursor = std::max(cursor, std::min(Int(p, "time"), Now() + 60));
    Save();
    Queue("unread", Counts(t, conversation));
    return Ok();
  }
  if (method == "messages.cursor") {
    std::string conversation = Str(p, "channel_id");
    if (!Sees(t, conversation, session_uid_)) return Fail(404, "no such conversation");
    int64_t& cursor = t->cursors[session_uid_][conversation];
    cursor = std::max(cursor, std::min(Int(p, "time"), Now() + 60));
    Save();
    return Ok();
  }
  if (method == "messages.send") return Send(t, p);
  if (method == "entities.list") return ListEntities(t, p);
  if (method == "entities.get") {
    for (const Entity& e : t->entities)
      if (e.entity_id() == Str(p, "entity_id")) return Ok(json{{"entity", internal::ToValue(e)}});
    return Fail(404, "no such entity");
  }
  if (method == "entities.comment") return Comment(t, Str(p, "entity_id"), Str(p, "content"));
  if (method == "files.upload") return Upload(t, p, data);
  return Fail(400, "unknown request " + method);
}

}  // namespace veltrina::backend
