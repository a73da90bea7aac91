#include "veltrina/backend/demo_service.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <thread>

#include "../dispatcher.h"
#include "../json_store.h"
#include "../records_json.h"
#include "../text_util.h"
#include "demo_config.h"
#include "demo_images.h"
#include "demo_state.h"
#include "demo_upload.h"
#include "veltrina/director.h"
#include "veltrina/file_utils.h"
#include "veltrina/hosts.h"
#include "veltrina/log.h"

namespace veltrina::backend {

using internal::json;
using internal::Str;
using internal::Int;
using internal::Bool;
using internal::Member;
using namespace internal::demo;

namespace {

constexpr size_t kMaxText = 32 * 1024;
constexpr size_t kLifeMessagesKept = 400;

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

Reply Ok(const json& body = json::object(), int64_t code = 0) {
  Reply r;
  r.ok = true;
  r.code = code;
  r.body = internal::Dump(body);
  return r;
}

Reply Fail(int64_t code, const std::string& error) {
  Reply r;
  r.ok = false;
  r.code = code;
  r.error = error;
  return r;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The part after the last '.', letters and digits only, at most 10 of them.
std::string ExtensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  std::string ext;
  for (char c : name.substr(dot + 1))
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) ext += c;
  return ext.size() > 10 ? ext.substr(0, 10) : ext;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string Cut(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n) + "…";
}

const char* const kPhrases[] = {
    "早上好 :sunny:", "这个需求我来跟进。", "有人知道打印机怎么连吗？", "PR 已经提了，帮忙 review 一下 :eyes:",
    "午饭一起吗？ :ramen:", "文档更新了，见 [https://veltrina.demo/docs|文档中心]", "我晚点回复你。",
    "测试环境好像挂了 :scream:", "好主意 :+1:", "会议改到四点。", "谢谢！ :pray:", "今天的构建全部通过 :white_check_mark:",
    "<@u-alice> 你看下这个问题？", "新版本的截图放在 <#c-design> 了。", "哈哈哈 :joy:", "收到，马上处理。",
};

}  // namespace

class DemoService::Impl {
 public:
  explicit Impl(DemoOptions options) : options_(std::move(options)), rng_(options_.seed) {
    folder_ = options_.data_folder.empty() ? internal::DefaultDataFolder() : options_.data_folder;
    while (!folder_.empty() && (folder_.back() == '\\' || folder_.back() == '/')) folder_.pop_back();
    FileUtils::SharedFileUtils()->MakeDirectory(folder_);
    internal::demo::Config config = ReadConfig(folder_);
    if (config.life_interval_ms >= 0) options_.life_interval = std::chrono::milliseconds(config.life_interval_ms);
    if (config.connection_drop_ms >= 0)
      options_.connection_drop_interval = std::chrono::milliseconds(config.connection_drop_ms);
    Load();
  }

  ~Impl() { Detach(); }

  void Attach(EventSink* sink) {
    {
      std::lock_guard<std::mutex> lock(sink_mutex_);
      sink_ = sink;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (life_.joinable()) return;
    stop_ = false;
    life_ = std::thread([this] { LifeLoop(); });
  }

  void Detach() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (life_.joinable() && life_.get_id() != std::this_thread::get_id()) life_.join();
    // Requests already queued are still served (and saved) before the service counts as detached.
    if (!worker_->WaitIdle(std::chrono::seconds(30))) log("Demo service: requests still running at detach");
    std::lock_guard<std::mutex> lock(sink_mutex_);
    sink_ = nullptr;
  }

  // Requests are served in order on the service's own thread, so that no caller (the UI thread
  // included) ever waits for the service's disk writes.
  void Call(const Request& request, std::function<void(Reply)> answer) {
    worker_->Post([this, request, answer = std::move(answer)]() mutable { Serve(request, std::move(answer)); });
  }

  void Serve(const Request& request, std::function<void(Reply)> answer) {
    json params = internal::Parse(request.params);
    if (!params.is_object()) params = json::object();
    Reply reply;
    std::vector<Event> events;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      try {
        reply = Handle(request.method, params, request.data);
      } catch (const std::exception& e) {
        reply = Fail(500, std::string("the demo service failed: ") + e.what());
      }
      events.swap(events_);
    }
    if (answer) answer(std::move(reply));
    Emit(events);
  }

  bool ServesUrl(const std::string& url) const {
    for (const char* host : {kStorageHost, kFileBoxHost})
      for (const char* scheme : {"https://", "http://"})
        if (StartsWith(url, std::string(scheme) + host + "/")) return true;
    return false;
  }

  void LifeStep() {
    std::vector<Event> events;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Live();
      events.swap(events_);
    }
    Emit(events);
  }

 private:
  struct Event {
    std::string name;
    std::string body;
  };
  struct BotAnswer {
    std::chrono::steady_clock::time_point due;
    std::string team_id;
    std::string im_id;
    std::string bot_uid;
    std::string text;
  };

  // ---- persistence ----

  std::string StatePath() const { return folder_ + "\\demo-service.json"; }

  void Load() {
    json document;
    internal::LoadResult result = internal::LoadJsonFile(StatePath(), &document);
    if (result == internal::LoadResult::kLoaded && StateFromJson(document, &state_)) return;
    if (result == internal::LoadResult::kLoaded) {
      // Valid JSON, but not our state: keep it aside all the same.
      internal::MoveAside(StatePath());
    }
    log("Demo service starts from its demo data in %s", folder_.c_str());
    state_ = SeedState(Now());
    Save();
  }

  void Save() {
    if (!internal::SaveJsonFile(StatePath(), StateToJson(state_))) log("Demo service cannot save its state");
  }

  // ---- events ----

  void Emit(const std::vector<Event>& events) {
    std::lock_guard<std::mutex> lock(sink_mutex_);
    if (!sink_) return;
    for (const Event& e : events) sink_->OnServiceEvent(e.name, e.body);
  }
  void Queue(const std::string& name, const json& body) { events_.push_back({name, internal::Dump(body)}); }

  // ---- views for the signed-in user ----

  TeamData* Team() { return session_team_.empty() ? nullptr : state_.FindTeam(session_team_); }
  Account* SessionAccount() {
    for (Account& a : state_.accounts)
      if (a.team_id == session_team_ && a.uid == session_uid_) return &a;
    return nullptr;
  }
  static Channel* FindChannel(TeamData* t, const std::string& id) {
    for (Channel& c : t->channels)
      if (c.channel_id() == id) return &c;
    return nullptr;
  }
  static DirectChat* FindChat(TeamData* t, const std::string& id) {
    for (DirectChat& c : t->chats)
      if (c.im_id == id) return &c;
    return nullptr;
  }
  static const User* FindUser(TeamData* t, const std::string& uid) {
    for (const User& u : t->users)
      if (u.uid() == uid) return &u;
    return nullptr;
  }
  static bool IsMember(const Channel& c, const std::string& uid) {
    return std::find(c.member_uids().begin(), c.member_uids().end(), uid) != c.member_uids().end();
  }
  Channel View(const Channel& c) const {
    Channel v = c;
    v.set_is_member(IsMember(c, session_uid_));
    return v;
  }
  IM View(const DirectChat& c) const {
    IM im;
    im.set_im_id(c.im_id);
    im.set_to_uid(c.Peer(session_uid_));
    im.set_created_at(c.created_at);
    im.set_is_open(c.open_for.count(session_uid_) > 0);
    return im;
  }
  // Conversations the user reads: channels and groups they belong to, their direct chats.
  bool Sees(TeamData* t, const std::string& conversation, const std::string& uid) {
    if (Channel* c = FindChannel(t, conversation)) return IsMember(*c, uid);
    if (DirectChat* d = FindChat(t, conversation)) return d->Has(uid);
    return false;
  }
  std::vector<std::string> Conversations(TeamData* t, const std::string& uid) {
    std::vector<std::string> out;
    for (const Channel& c : t->channels)
      if (IsMember(c, uid)) out.push_back(c.channel_id());
    for (const DirectChat& d : t->chats)
      if (d.Has(uid)) out.push_back(d.im_id);
    return out;
  }
  json Counts(TeamData* t, const std::string& conversation) {
    int64_t cursor = 0;
    auto per = t->cursors.find(session_uid_);
    if (per != t->cursors.end()) {
      auto it = per->second.find(conversation);
      if (it != per->second.end()) cursor = it->second;
    }
    int64_t unread = 0, fresh = 0;
    for (const Message& m : t->messages) {
      if (m.ChannelID() != conversation || m.timestamp() <= cursor || m.uid() == session_uid_) continue;
      ++fresh;
      if (m.message_type() != Message::kSystem) ++unread;
    }
    return json{{"channel_id", conversation}, {"num_unread", unread}, {"num_new", fresh}};
  }

  Message& Store(TeamData* t, Message m, bool life = false) {
    m.set_key(state_.NewId(life ? "life-" : "m-"));
    if (m.timestamp() == 0) m.set_timestamp(Now());
    m.set_content(internal::SanitizeUtf8(m.content()));
    t->messages.push_back(std::move(m));
    return t->messages.back();
  }

  // A message someone else wrote: the session user hears it and its new counts.
  void Announce(TeamData* t, const Message& m) {
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
  void Notice(TeamData* t, const std::string& conversation, const std::string& text) {
    const Message& stored = Store(t, SystemNotice(conversation, text));
    Queue("message", json{{"message", internal::ToValue(stored)}});
  }

  Message SystemNotice(const std::string& conversation, const std::string& text) {
    Message m;
    m.set_uid(session_uid_);
    m.set_message_type(Message::kSystem);
    m.set_channel_id(conversation);
    m.set_content(text);
    return m;
  }

  // ---- requests ----

  Reply Handle(const std::string& method, const json& p, const std::string& data) {
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

  Reply TeamLookup(const std::string& subdomain) {
    if (subdomain == "unreachable") return Fail(-1, "cannot reach the service");
    TeamData* t = state_.FindTeamBySubdomain(subdomain);
    if (!t) return Fail(404, "no such team");
    return Ok(json{{"team_id", t->team.team_id()},
                   {"team_name", t->team.team_name()},
                   {"team_subdomain", t->team.team_subdomain()}});
  }

  Reply Login(const json& p) {
    std::string user_name = Str(p, "username");
    if (user_name == "unreachable") return Fail(-1, "cannot reach the service");
    std::string team_id = Str(p, "team_id");
    TeamData* t = state_.FindTeam(team_id);
    if (!t) t = state_.FindTeamBySubdomain(Str(p, "team_subdomain"));
    if (!t) return Fail(404, "no such team");
    for (const Account& a : state_.accounts) {
      if (a.team_id != t->team.team_id() || a.user_name != user_name) continue;
      if (a.password != Str(p, "password")) break;
      const User* user = FindUser(t, a.uid);
      if (!user) break;
      session_team_ = a.team_id;
      session_uid_ = a.uid;
      Token token;
      token.set_access_token(state_.NewId("token-"));
      token.set_refresh_token(state_.NewId("refresh-"));
      token.set_expires_at(Now() + 30 * 86400);
      Save();
      return Ok(json{{"token", internal::ToValue(token)}, {"user", internal::ToValue(*user)}},
                a.initial_password ? 201 : 200);
    }
    return Fail(8000, "wrong user name or password");
  }

  Reply InitPassword(const std::string& password) {
    Account* a = SessionAccount();
    if (!a) return Fail(401, "not signed in");
    if (password.size() < 6) return Fail(400, "the password needs at least 6 bytes");
    a->password = password;
    a->initial_password = false;
    Save();
    return Ok();
  }

  Reply CreateChannel(TeamData* t, const json& p) {
    Account* a = SessionAccount();
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
    c.set_creator_uid(session_uid_);
    c.set_created_at(Now());
    std::vector<std::string> members{session_uid_};
    if (const json* list = Member(p, "member_uids"); list && list->is_array())
      for (const json& uid : *list)
        if (uid.is_string() && FindUser(t, uid.get<std::string>()) &&
            std::find(members.begin(), members.end(), uid.get<std::string>()) == members.end())
          members.push_back(uid.get<std::string>());
    c.set_member_uids(members);
    t->channels.push_back(c);
    Notice(t, c.channel_id(), "<@" + session_uid_ + "> 创建了 <#" + c.channel_id() + "|" + name + ">");
    Save();
    return Ok(json{{"channel", internal::ToValue(View(c))}});
  }

  Reply JoinChannel(TeamData* t, const std::string& id) {
    Channel* c = FindChannel(t, id);
    if (!c || (c->type() == Channel::kPrivate && !IsMember(*c, session_uid_))) return Fail(404, "no such channel");
    if (c->is_archived()) return Fail(400, "the channel is archived");
    if (!IsMember(*c, session_uid_)) {
      std::vector<std::string> members = c->member_uids();
      members.push_back(session_uid_);
      c->set_member_uids(members);
      Notice(t, id, "<@" + session_uid_ + "> 加入了 <#" + id + ">");
      Save();
    }
    return Ok(json{{"channel", internal::ToValue(View(*c))}});
  }

  Reply LeaveChannel(TeamData* t, const std::string& id) {
    Channel* c = FindChannel(t, id);
    if (!c || !IsMember(*c, session_uid_)) return Fail(404, "no such channel");
    if (c->IsGeneral()) return Fail(400, "nobody leaves the general channel");
    std::vector<std::string> members = c->member_uids();
    std::erase(members, session_uid_);
    c->set_member_uids(members);
    Store(t, SystemNotice(id, "<@" + session_uid_ + "> 离开了 <#" + id + ">"));
    Save();
    return Ok();
  }

  Reply Invite(TeamData* t, const std::string& id, const std::string& uid) {
    Channel* c = FindChannel(t, id);
    if (!c || !IsMember(*c, session_uid_)) return Fail(404, "no such channel");
    if (!FindUser(t, uid)) return Fail(404, "no such user");
    if (!IsMember(*c, uid)) {
      std::vector<std::string> members = c->member_uids();
      members.push_back(uid);
      c->set_member_uids(members);
      Notice(t, id, "<@" + session_uid_ + "> 邀请 <@" + uid + "> 加入了 <#" + id + ">");
      Save();
    }
    return Ok(json{{"channel", internal::ToValue(View(*c))}});
  }

  Reply NewIm(TeamData* t, const std::string& uid) {
    if (!FindUser(t, uid)) return Fail(404, "no such user");
    for (DirectChat& d : t->chats) {
      if ((d.uid_a == session_uid_ && d.uid_b == uid) || (d.uid_b == session_uid_ && d.uid_a == uid)) {
        d.open_for.insert(session_uid_);
        Save();
        return Ok(json{{"im", internal::ToValue(View(d))}});
      }
    }
    DirectChat d;
    d.im_id = state_.NewId("im-");
    d.uid_a = session_uid_;
    d.uid_b = uid;
    d.created_at = Now();
    d.open_for.insert(session_uid_);
    t->chats.push_back(d);
    Save();
    return Ok(json{{"im", internal::ToValue(View(d))}});
  }

  Reply Send(TeamData* t, const json& p) {
    const json* m = Member(p, "message");
    if (!m || !m->is_object()) return Fail(400, "no message");
    Message in = internal::MessageFrom(*m);
    if (!Sees(t, in.ChannelID(), session_uid_)) return Fail(404, "no such conversation");
    if (in.content().empty()) return Fail(400, "the message is empty");
    if (in.content().size() > kMaxText) return Fail(413, "the message is longer than 32768 bytes");
    Message out;
    out.set_uid(session_uid_);
    out.set_sender_type(Message::kSenderUser);
    out.set_message_type(Message::kText);
    out.set_channel_id(in.ChannelID());
    out.set_content(in.content());
    DirectChat* d = FindChat(t, in.ChannelID());
    out.set_channel_type(d ? Message::kDirectMessage : Message::kChannelMessage);
    if (d) out.set_to_uid(d->Peer(session_uid_));
    const Message& stored = Store(t, out);
    t->cursors[session_uid_][stored.ChannelID()] = stored.timestamp();
    if (d) {
      d->open_for.insert(d->Peer(session_uid_));
      const User* peer = FindUser(t, d->Peer(session_uid_));
      if (peer && peer->is_bot()) ScheduleBotAnswer(t, *d, peer->uid(), stored.content());
    }
    Save();
    return Ok(json{{"message", internal::ToValue(stored)}});
  }

  Reply ListEntities(TeamData* t, const json& p) {
    std::string conversation = Str(p, "channel_id");
    int64_t type = Int(p, "entity_type");
    std::string keyword = Str(p, "keyword");
    int64_t page = std::clamp<int64_t>(Int(p, "page", 1), 1, 1000000);
    int64_t size = std::clamp<int64_t>(Int(p, "page_size", 20), 1, 100);
    std::vector<const Entity*> found;
    for (const Entity& e : t->entities) {
      if (e.channel_id() != conversation) continue;
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

  Reply Comment(TeamData* t, const std::string& entity_id, const std::string& content) {
    if (content.size() > kMaxText) return Fail(413, "the comment is longer than 32768 bytes");
    for (Entity& e : t->entities) {
      if (e.entity_id() != entity_id) continue;
      veltrina::Comment c;
      c.set_comment_id(state_.NewId("cm-"));
      c.set_entity_id(entity_id);
      c.set_creator_uid(session_uid_);
      c.set_content(internal::SanitizeUtf8(content));
      c.set_created_at(Now());
      e.add_comment(c);
      if (Sees(t, e.channel_id(), session_uid_)) {
        Message m;
        m.set_uid(session_uid_);
        m.set_message_type(Message::kComment);
        m.set_channel_id(e.channel_id());
        m.set_channel_type(FindChat(t, e.channel_id()) ? Message::kDirectMessage : Message::kChannelMessage);
        m.set_content(c.content());
        m.set_entity_json(e.ToJson());
        const Message& stored = Store(t, m);
        Queue("message", json{{"message", internal::ToValue(stored)}});
      }
      Save();
      return Ok(json{{"comment", internal::ToValue(c)}});
    }
    return Fail(404, "no such entity");
  }

  Reply Upload(TeamData* t, const json& p, const std::string& data) {
    std::string conversation = Str(p, "channel_id");
    if (!Sees(t, conversation, session_uid_)) return Fail(404, "no such conversation");
    std::string name = SafeShareName(Str(p, "file_name"));
    std::string ext = ExtensionOf(name);
    std::string lower = Lower(ext);
    bool image = lower == "png" || lower == "jpg" || lower == "jpeg" || lower == "gif" || lower == "bmp";
    Entity e;
    e.set_entity_id(state_.NewId("e-"));
    e.set_entity_type(image ? Entity::kImage : Entity::kFile);
    e.set_channel_id(conversation);
    e.set_title(name);
    e.set_path("f/" + e.entity_id());
    e.set_file_extension(ext);
    e.set_file_size(static_cast<int64_t>(data.size()));
    e.set_creator_uid(session_uid_);
    e.set_created_at(Now());
    if (image) {
      int w = 400, h = 300;
      ImageSize(data, &w, &h);
      e.set_thumb_width(w);
      e.set_thumb_height(h);
    }
    std::string comment = Str(p, "comment");
    if (!comment.empty()) {
      veltrina::Comment c;
      c.set_comment_id(state_.NewId("cm-"));
      c.set_entity_id(e.entity_id());
      c.set_creator_uid(session_uid_);
      c.set_content(internal::SanitizeUtf8(Cut(comment, kMaxText)));
      c.set_created_at(Now());
      e.add_comment(c);
    }
    std::string files = folder_ + "\\demo-files";
    FileUtils::SharedFileUtils()->MakeDirectory(files);
    if (!FileUtils::SharedFileUtils()->WriteFileAtomically(files + "\\" + StoredFileName(e.entity_id(), ext), data))
      return Fail(500, "cannot store the file");
    t->entities.push_back(e);
    Message m;
    m.set_uid(session_uid_);
    m.set_message_type(image ? Message::kImage : Message::kFile);
    m.set_channel_id(conversation);
    DirectChat* d = FindChat(t, conversation);
    m.set_channel_type(d ? Message::kDirectMessage : Message::kChannelMessage);
    if (d) m.set_to_uid(d->Peer(session_uid_));
    m.set_content(std::string(image ? "上传了图片: " : "上传了文件: ") + name);
    m.set_entity_json(e.ToJson());
    const Message& stored = Store(t, m);
    Queue("message", json{{"message", internal::ToValue(stored)}});
    Save();
    return Ok(json{{"message", internal::ToValue(stored)}});
  }

  // An uploaded picture is its own thumbnail; the card scales it.
  bool UploadedThumbnail(const std::string& url, std::string* data) {
    std::string path = ThumbnailPath(url);
    for (const TeamData& t : state_.teams)
      for (const Entity& e : t.entities)
        if (!path.empty() && e.path() == path && e.entity_type() == Entity::kImage)
          return FileUtils::SharedFileUtils()->ReadFile(
              folder_ + "\\demo-files\\" + StoredFileName(e.entity_id(), e.file_extension()), data);
    return false;
  }

  Reply HttpGet(const std::string& url) {
    Reply r;
    r.ok = true;
    r.code = 200;
    r.body = R"({"content_type":"image/png"})";
    if (UploadedThumbnail(url, &r.data)) return r;
    if (GeneratedImageFor(url, &r.data)) return r;
    std::string rest;
    for (const char* scheme : {"https://", "http://"})
      if (StartsWith(url, std::string(scheme) + kFileBoxHost + "/"))
        rest = url.substr(std::string(scheme).size() + std::string(kFileBoxHost).size());
    size_t query = rest.find_first_of("?#");
    if (query != std::string::npos) rest.resize(query);
    if (rest.size() < 2 || StartsWith(rest, "/thumb/")) return Fail(404, "not found");
    // "/<path>.<ext>": an uploaded file, or a generated one for the demo's own entities.
    std::string name = rest.substr(1);
    size_t dot = name.rfind('.');
    std::string path = name.substr(0, dot);
    for (TeamData& t : state_.teams) {
      for (const Entity& e : t.entities) {
        if (e.path() != path || path.empty()) continue;
        std::string stored;
        std::string file = folder_ + "\\demo-files\\" + StoredFileName(e.entity_id(), e.file_extension());
        if (FileUtils::SharedFileUtils()->ReadFile(file, &stored)) {
          r.data = std::move(stored);
          r.body = R"({"content_type":"application/octet-stream"})";
        } else if (e.entity_type() == Entity::kImage) {
          r.data = PicturePng(path, e.thumb_width() > 0 ? e.thumb_width() : 400,
                              e.thumb_height() > 0 ? e.thumb_height() : 300);
        } else {
          r.data = e.content().empty() ? "Veltrina demo file: " + e.title() + "\n" : e.content();
          r.body = R"({"content_type":"text/plain; charset=utf-8"})";
        }
        return r;
      }
    }
    return Fail(404, "not found");
  }

  // ---- life ----

  void ScheduleBotAnswer(TeamData* t, const DirectChat& d, const std::string& bot_uid, const std::string& text) {
    BotAnswer a;
    a.due = std::chrono::steady_clock::now() + options_.bot_delay;
    a.team_id = t->team.team_id();
    a.im_id = d.im_id;
    a.bot_uid = bot_uid;
    a.text = text;
    bot_answers_.push_back(a);
    wake_.notify_all();
  }

  static std::string BotReply(const std::string& text) {
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

  void AnswerAsBot(const BotAnswer& a) {
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

  // One step of the simulated team: someone posts, presence moves, an integration reports.
  void Live() {
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
  void ShareAgain(TeamData* t, Message* m) {
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
  void Trim(TeamData* t) {
    std::map<std::string, size_t> counts;
    for (const Message& m : t->messages) ++counts[m.ChannelID()];
    for (auto& [conversation, count] : counts) {
      if (count <= kLifeMessagesKept) continue;
      size_t extra = count - kLifeMessagesKept;
      std::erase_if(t->messages, [&](const Message& m) {
        if (extra == 0 || m.ChannelID() != conversation || !StartsWith(m.key(), "life-")) return false;
        --extra;
        return true;
      });
    }
  }

  void LifeLoop() {
    auto next_life = std::chrono::steady_clock::now() + options_.life_interval;
    auto next_drop = std::chrono::steady_clock::now() + options_.connection_drop_interval;
    std::unique_lock<std::mutex> lock(mutex_);
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
      wake_.wait_until(lock, wake_at);
    }
  }

  DemoOptions options_;
  std::string folder_;
  std::mutex mutex_;  // guards everything below but the sink
  State state_;
  std::string session_team_;
  std::string session_uid_;
  std::vector<Event> events_;  // queued while handling, emitted after the lock is released
  std::vector<BotAnswer> bot_answers_;
  std::mt19937 rng_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread life_;
  std::mutex sink_mutex_;
  EventSink* sink_ = nullptr;
  // Last: destroyed first, after it has served what was queued, while everything above still lives.
  std::unique_ptr<internal::Dispatcher> worker_ = std::make_unique<internal::Dispatcher>("demo service");
};

DemoService::DemoService(DemoOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
DemoService::~DemoService() = default;
void DemoService::Attach(EventSink* sink) { impl_->Attach(sink); }
void DemoService::Detach() { impl_->Detach(); }
void DemoService::Call(const Request& request, std::function<void(Reply)> answer) {
  impl_->Call(request, std::move(answer));
}
bool DemoService::ServesUrl(const std::string& url) const { return impl_->ServesUrl(url); }
void DemoService::LifeStepForTests() { impl_->LifeStep(); }

}  // namespace veltrina::backend
