#pragma once
// The demo service's insides, shared by the files that each do one of its jobs:
//   demo_service.cpp        threads, start-up, serving requests in order, events
//   demo_persistence.cpp    the state file: reading, moving a corrupt one aside, saving
//   demo_session.cpp        what the signed-in user sees (views, counts, storing messages)
//   demo_dispatch.cpp       which request does what
//   demo_accounts.cpp       team lookup, sign-in, initial password
//   demo_conversations.cpp  channels, direct chats, messages, comments, file lists
//   demo_files.cpp          uploads and the files and pictures served for the file hosts
//   demo_bot.cpp            the assistant bot's answers
//   demo_life.cpp           the simulated team
//   demo_large.cpp          the large team's generated members, conversations and history
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "../dispatcher.h"
#include "../records_json.h"
#include "../thread.h"
#include "demo_state.h"
#include "veltrina/backend/demo_service.h"
#include "veltrina/im.h"

namespace veltrina::internal::demo {

inline constexpr size_t kMaxText = 32 * 1024;
inline constexpr size_t kLifeMessagesKept = 400;
// A change is saved this long after it, together with whatever followed it meanwhile.
inline constexpr std::chrono::milliseconds kSaveDelay{200};
// After a failed save (another program holds the file for a moment): the next try.
inline constexpr std::chrono::milliseconds kSaveRetryDelay{250};

inline int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

inline backend::Reply Ok(const json& body = json::object(), int64_t code = 0) {
  return backend::Reply{true, code, "", Dump(body), ""};
}

// A reply that lists many records, written item by item (no document of them all in memory).
class ListReply {
 public:
  explicit ListReply(const char* key) : body_(std::string("{\"") + key + "\":[") {}
  void Add(const json& item) {
    if (body_.back() != '[') body_ += ',';
    body_ += Dump(item);
  }
  backend::Reply Done() {
    body_ += "]}";
    return backend::Reply{true, 0, "", std::move(body_), ""};
  }

 private:
  std::string body_;
};

inline backend::Reply Fail(int64_t code, const std::string& error) { return backend::Reply{false, code, error, "", ""}; }

inline bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
inline std::string Cut(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n) + "…";
}

}  // namespace veltrina::internal::demo

namespace veltrina::backend {

// Every part of the demo service reads records with these.
using internal::Bool;
using internal::Int;
using internal::Member;
using internal::Str;
using internal::json;
using namespace internal::demo;

class DemoService::Impl {
 public:
  using json = internal::json;
  using Account = internal::demo::Account;
  using DirectChat = internal::demo::DirectChat;
  using State = internal::demo::State;
  using TeamData = internal::demo::TeamData;

  // Cheap: the folder, its config and the state are read on the service's own thread, as its
  // first task, so that whichever thread makes the first call does no disk work.
  explicit Impl(DemoOptions options);
  ~Impl();

  void Attach(EventSink* sink);
  void Detach();
  // Requests are served in order on the service's own thread, so that no caller (the UI thread
  // included) ever waits for the service's disk work.
  void Call(const Request& request, std::function<void(Reply)> answer);
  bool ServesUrl(const std::string& url) const;
  void LifeStep();
  // Saves what is not saved yet; the process is exiting.
  void FlushAtExit();

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

  // ---- start-up and serving (demo_service.cpp) ----
  void Start();
  void Serve(const Request& request, std::function<void(Reply)> answer);
  void Emit(const std::vector<Event>& events);
  void Queue(const std::string& name, const json& body) { events_.push_back({name, internal::Dump(body)}); }

  // ---- the state file (demo_persistence.cpp) ----
  std::string StatePath() const { return folder_ + (large_ ? "\\demo-service-large.json" : "\\demo-service.json"); }
  // Reads the state file, or seeds the state when there is none (or a corrupt one, moved aside).
  // When the file is there but cannot be read or moved aside, the service runs on its demo data
  // in memory, saves nothing and tries again before the next request.
  void Load();
  // The demo data of a fresh folder: the small team, or the large one grown from it.
  State Seeded();
  // Grows team demo to the large team when that is the configured size.
  void Grow(State* state);
  // Marks the state changed: the life thread writes it within kSaveDelay, Detach and a clean exit
  // at once.
  void Save();
  void Flush();
  bool MoveAside();

  // ---- the signed-in user's view (demo_session.cpp) ----
  TeamData* Team() { return session_team_.empty() ? nullptr : state_.FindTeam(session_team_); }
  Account* SessionAccount();
  static Channel* FindChannel(TeamData* t, const std::string& id);
  static DirectChat* FindChat(TeamData* t, const std::string& id);
  static const User* FindUser(TeamData* t, const std::string& uid);
  // A stored entity, or one the large team's history shares (made into `scratch`).
  static const Entity* FindEntity(TeamData* t, const std::string& id, Entity* scratch);
  static bool IsMember(const Channel& c, const std::string& uid);
  Channel View(const Channel& c) const;
  IM View(const DirectChat& c) const;
  // Conversations the user reads: channels and groups they belong to, their direct chats.
  bool Sees(TeamData* t, const std::string& conversation, const std::string& uid);
  std::vector<std::string> Conversations(TeamData* t, const std::string& uid);
  json Counts(TeamData* t, const std::string& conversation);
  // Kept per user and conversation; counted again only after the user's cursor moved.
  const Unread& UnreadOf(TeamData* t, const std::string& uid, const std::string& conversation);
  // Read up to `time`: a read cursor never moves back.
  static int64_t Cursor(TeamData* t, const std::string& uid, const std::string& conversation);
  void MoveCursor(TeamData* t, const std::string& uid, const std::string& conversation, int64_t time);
  Message& Store(TeamData* t, Message m, bool life = false);
  // A message someone else wrote: the session user hears it and its new counts.
  void Announce(TeamData* t, const Message& m);
  // Stores a system notice and tells the session about it: a channel the client does not list
  // yet then makes it reload its lists (that is how a joined channel reaches the session list).
  void Notice(TeamData* t, const std::string& conversation, const std::string& text);
  Message SystemNotice(const std::string& conversation, const std::string& text);

  // ---- requests (demo_dispatch.cpp, demo_accounts.cpp, demo_conversations.cpp) ----
  Reply Handle(const std::string& method, const json& p, const std::string& data);
  Reply TeamLookup(const std::string& subdomain);
  Reply Login(const json& p);
  Reply InitPassword(std::string password);  // wiped once hashed
  Reply CreateChannel(TeamData* t, const json& p);
  Reply JoinChannel(TeamData* t, const std::string& id);
  Reply LeaveChannel(TeamData* t, const std::string& id);
  Reply Invite(TeamData* t, const std::string& id, const std::string& uid);
  Reply NewIm(TeamData* t, const std::string& uid);
  Reply Send(TeamData* t, const json& p);
  Reply ListEntities(TeamData* t, const json& p);
  // The last `count` messages of each conversation the user reads.
  Reply Sync(TeamData* t, const json& p);
  // A page of one conversation: the `count` messages before the one keyed `before` (or the newest),
  // oldest first.
  Reply History(TeamData* t, const json& p);
  // "messages.mark_read" (which tells the new counts) and "messages.cursor" (which does not).
  Reply MarkRead(TeamData* t, const json& p, bool announce);
  Reply Comment(TeamData* t, const std::string& entity_id, const std::string& content);

  // ---- files (demo_files.cpp) ----
  Reply Upload(TeamData* t, const json& p, const std::string& data);
  // An uploaded picture is its own thumbnail; the card scales it. False when the address is no
  // uploaded picture's; one larger than max_bytes (0: any size) is refused unread.
  bool UploadedThumbnail(const std::string& url, uint64_t max_bytes, Reply* r);
  // The bytes at a storage or file box address; a body larger than max_bytes (0: any size) is
  // refused with 413, a stored file by its size before it is read.
  Reply HttpGet(const std::string& url, uint64_t max_bytes);

  // ---- the bot (demo_bot.cpp) ----
  void ScheduleBotAnswer(TeamData* t, const DirectChat& d, const std::string& bot_uid, const std::string& text);
  static std::string BotReply(const std::string& text);
  void AnswerAsBot(const BotAnswer& a);

  // ---- life (demo_life.cpp) ----
  // One step of the simulated team: someone posts, presence moves, an integration reports.
  void Live();
  // Turns a life message into the share of one of the team's pictures or files (an existing one,
  // so that life adds no entities).
  void ShareAgain(TeamData* t, Message* m);
  // Keeps the simulated chatter from growing without end; what people sent is never dropped.
  void Trim(TeamData* t);
  void LifeLoop();

  DemoOptions options_;
  std::string folder_;
  std::mutex mutex_;  // guards everything below but the sink
  bool started_ = false;  // the folder, config and state are read
  bool saving_ = false;   // the state came from (or went to) the file: saves may replace it
  bool held_logged_ = false;
  bool large_ = false;
  uint32_t large_seed_ = 1;
  bool dirty_ = false;  // changed since the last save
  bool save_failing_ = false;  // the last save failed: said once in the log until one succeeds
  std::chrono::steady_clock::time_point save_due_;
  State state_;
  std::string session_team_;
  std::string session_uid_;
  std::vector<Event> events_;  // queued while handling, emitted after the lock is released
  std::vector<BotAnswer> bot_answers_;
  std::mt19937 rng_;
  std::condition_variable wake_;
  bool stop_ = false;
  internal::Thread life_;
  std::mutex sink_mutex_;
  EventSink* sink_ = nullptr;
  // Last: destroyed first, after it has served what was queued, while everything above still lives.
  std::unique_ptr<internal::Dispatcher> worker_ = std::make_unique<internal::Dispatcher>("demo service");
};

}  // namespace veltrina::backend
