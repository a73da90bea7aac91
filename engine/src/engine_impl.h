#pragma once
// The engine's insides, shared by the files that each do one of its jobs:
//   engine.cpp          loading, serving a request, committing, what hosts do as the team
//   changes.cpp         the change log and what a session is told of each change
//   views.cpp           what a user sees (views, counts, storing messages)
//   dispatch.cpp        which request does what
//   accounts.cpp        team lookup, sign-in, initial password
//   conversations.cpp   channels, direct chats, messages, comments, file lists
//   files.cpp           uploads and the files and pictures served for the file hosts
//   seed.cpp, large_team.cpp, state.cpp   the demo teams and the state's JSON form
#include <algorithm>
#include <string>
#include <vector>

#include "json_util.h"
#include "veltrina/engine/engine.h"
#include "veltrina/engine/state.h"
#include "veltrina/im.h"

namespace veltrina::engine {

using backend::Reply;
using internal::Bool;
using internal::Int;
using internal::Member;
using internal::Str;

inline constexpr size_t kMaxText = 32 * 1024;
inline constexpr size_t kChatterKept = 400;

inline Reply Ok(const json& body = json::object(), int64_t code = 0) {
  return Reply{true, code, "", internal::Dump(body), ""};
}
inline Reply Fail(int64_t code, const std::string& error) { return Reply{false, code, error, "", ""}; }

// A reply that lists many records, written item by item (no document of them all in memory).
class ListReply {
 public:
  explicit ListReply(const char* key) : body_(std::string("{\"") + key + "\":[") {}
  void Add(const json& item) {
    if (body_.back() != '[') body_ += ',';
    body_ += internal::Dump(item);
  }
  Reply Done() {
    body_ += "]}";
    return Reply{true, 0, "", std::move(body_), ""};
  }

 private:
  std::string body_;
};

inline bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
inline std::string Cut(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n) + "…";
}

class Engine::Impl {
 public:
  Impl(Ports ports, Options options);

  Outcome Handle(const Session* session, const std::string& method, const std::string& params_json,
                 const std::string& data);
  Page Poll(const Session& session, int64_t since, size_t limit);
  Audience Concerned(const std::string& team_id, int64_t since);
  int64_t Head(const std::string& team_id) const;
  Reply Download(const Session* session, const std::string& url, uint64_t max_bytes);
  bool Available() const { return available_; }
  std::optional<Message> Post(const std::string& team_id, Message message, bool chatter);
  void SetPresence(const std::string& team_id, const std::string& uid, int status);
  const State& state() const { return state_; }
  int64_t NextId() const { return state_.next_id; }
  std::string AddTeam(const std::string& subdomain, const std::string& name);
  std::string AddUser(const std::string& subdomain, const std::string& user_name, const std::string& display_name,
                      const std::string& password, bool admin);
  std::string SetPassword(const std::string& subdomain, const std::string& user_name, const std::string& password);

 private:
  // ---- loading and committing (engine.cpp) ----
  void Load();
  State Seeded();
  void Grow(State* state);
  // Marks the state changed; Finish hands the change to the store.
  void Save() { changed_ = true; }
  void Touch(RecordKind kind, const TeamData* t, const std::string& id);
  // Commits what the request or action changed. False when the store did not keep it.
  bool Finish();
  int64_t Now() { return ports_.clock->Now(); }

  // ---- the change log (changes.cpp) ----
  // Numbers the change, keeps it in the log, and marks it as the current request's.
  void Record(TeamData* t, Change change, bool echo = true);
  uint64_t Origin() const { return session_ ? session_->id : 0; }
  // What `reader` is told of one change (nothing, one or two events).
  void Render(TeamData* t, const Change& c, const Session& reader, std::vector<Event>* out);
  // A message has been stored: its readers hear of it (and a direct chat opens for its peer).
  // `echo` false: the request's own session had it in its answer and is not told.
  void Announce(TeamData* t, const Message& m, bool echo);
  void ChannelChanged(TeamData* t, const Channel& c, const std::string& left_uid = std::string());

  // ---- what a user sees (views.cpp) ----
  Account* FindAccount(const std::string& team_id, const std::string& uid);
  static Channel* FindChannel(TeamData* t, const std::string& id);
  static DirectChat* FindChat(TeamData* t, const std::string& id);
  static const User* FindUser(const TeamData* t, const std::string& uid);
  // A stored entity, or one the large team's history shares (made into `scratch`).
  static const Entity* FindEntity(const TeamData* t, const std::string& id, Entity* scratch);
  static bool IsMember(const Channel& c, const std::string& uid);
  static Channel View(const Channel& c, const std::string& reader);
  static IM View(const DirectChat& c, const std::string& reader);
  // Conversations the user reads: channels and groups they belong to, their direct chats.
  bool Sees(TeamData* t, const std::string& conversation, const std::string& uid);
  // Whether the user may fetch what was shared in the conversation: one they read, or a public
  // channel of their team (which they may join at any time).
  bool MayFetch(TeamData* t, const std::string& conversation, const std::string& uid);
  std::vector<std::string> Conversations(TeamData* t, const std::string& uid);
  json Counts(TeamData* t, const std::string& uid, const std::string& conversation);
  // Kept per user and conversation; counted again only after the user's cursor moved.
  const Unread& UnreadOf(TeamData* t, const std::string& uid, const std::string& conversation);
  // Read up to `time`: a read cursor never moves back.
  static int64_t Cursor(TeamData* t, const std::string& uid, const std::string& conversation);
  void MoveCursor(TeamData* t, const std::string& uid, const std::string& conversation, int64_t time);
  Message& Store(TeamData* t, Message m, bool chatter = false);
  // Stores a system notice by the session's user and tells every reader, the session too: a
  // channel its client does not list yet then makes it reload its lists.
  void Notice(TeamData* t, const std::string& conversation, const std::string& text);
  Message SystemNotice(const std::string& conversation, const std::string& text);
  // Keeps the simulated chatter from growing without end; what people sent is never dropped.
  void Trim(TeamData* t);

  // ---- requests (dispatch.cpp, accounts.cpp, conversations.cpp, files.cpp) ----
  Reply Dispatch(const std::string& method, const json& p, const std::string& data);
  Reply TeamLookup(const std::string& subdomain);
  Reply Login(const json& p);
  Reply InitPassword(std::string password);  // wiped once hashed
  Reply Feedback(const json& p);
  Reply CreateChannel(TeamData* t, const json& p);
  Reply JoinChannel(TeamData* t, const std::string& id);
  Reply LeaveChannel(TeamData* t, const std::string& id);
  Reply Invite(TeamData* t, const std::string& id, const std::string& uid);
  Reply NewIm(TeamData* t, const std::string& uid);
  Reply OpenOrCloseIm(TeamData* t, const std::string& id, bool open);
  Reply Send(TeamData* t, const json& p);
  Reply ListEntities(TeamData* t, const json& p);
  Reply Sync(TeamData* t, const json& p);
  Reply History(TeamData* t, const json& p);
  // "messages.mark_read" (which tells the new counts) and "messages.cursor" (which does not).
  Reply MarkRead(TeamData* t, const json& p, bool announce);
  Reply Comment(TeamData* t, const std::string& entity_id, const std::string& content);
  Reply Upload(TeamData* t, const json& p, const std::string& data);
  // A stored message answered again for a repeated client id; nullopt when the id is new.
  std::optional<Reply> Repeated(TeamData* t, const std::string& client_id);
  void RememberSent(TeamData* t, const std::string& client_id, const Message& stored);
  // An uploaded picture is its own thumbnail; the card scales it.
  bool UploadedThumbnail(const Session* session, const std::string& url, uint64_t max_bytes, Reply* r);

  Ports ports_;
  Options options_;
  State state_;
  bool available_ = false;  // the store was read (or found empty)
  // The request being served: its session (null: none) and what it changed.
  const Session* session_ = nullptr;
  std::string me_;  // the session's user
  std::string login_team_;  // a successful sign-in's team
  bool changed_ = false;
  Delta delta_;
};

}  // namespace veltrina::engine
