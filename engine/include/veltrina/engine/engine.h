#pragma once
// The team engine: accounts, teams, channels, groups, direct messages, messages, unread counts,
// files and comments, for any number of signed-in sessions. Hosts (the client's embedded demo,
// the server) feed it requests of backend/protocol.h and deliver the events it keeps.
//
// Every stored change gets the next sequence number of its team and lands in the team's change
// log, with an audience (a conversation, a user or the whole team). Poll renders the changes after
// a number for one session, checking at delivery time that the session may see each one: a
// private group's messages and files never reach someone who is not (or no longer) in it.
//
// Not thread-safe: a host serialises its calls (one at a time, on any thread).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "veltrina/backend/service.h"
#include "veltrina/engine/ports.h"
#include "veltrina/message.h"
#include "veltrina/user.h"

namespace veltrina::engine {

struct State;
struct TeamData;

struct Session {
  std::string team_id;
  std::string uid;
  // One per sign-in. What a session did itself and had in its answer is not echoed back to it;
  // the user's other sessions hear of it. 0 is the host itself (the simulated team, the bot).
  uint64_t id = 0;
};

struct Event {
  int64_t seq = 0;
  std::string name;  // "message", "unread", "presence", "channel", "im", "user"
  std::string body;  // JSON object text
};

struct Page {
  std::vector<Event> events{};
  int64_t next{};       // poll again after this number
  bool more{};          // the page was full: more changes wait
  bool resync{};        // `since` is older than the kept log: fetch the lists again, then poll from `next`
};

// Whom a run of changes may tell something: a host with many waiting sessions polls only theirs.
struct Audience {
  bool everyone{};                  // a team-wide change, or a position the log no longer holds
  std::vector<std::string> uids{};  // otherwise: these users (repeats possible), no one else
};

struct Outcome {
  backend::Reply reply;
  // After a successful "auth.login": the new session.
  std::optional<Session> signed_in;
};

struct Options {
  // A store with nothing in it starts with the demo teams; without, with no team at all.
  bool seed_demo = true;
  // Team "demo" grows to the large generated team (thousands of members) from this seed.
  bool large_team = false;
  uint32_t large_team_seed = 1;
  // Changes kept per team for Poll; older positions get `resync`.
  size_t kept_changes = 4096;
  // Told of every direct message a member sends, after it is stored (the host's bot answers).
  std::function<void(const std::string& team_id, const Message& message, const User& peer)> on_direct_message;
};

class Engine {
 public:
  // Loads the state through the store, or seeds the demo teams when there is none.
  Engine(Ports ports, Options options);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // One request. "team.lookup", "auth.login" and "web.feedback" need no session; every other
  // request fails with 401 without one. A request the engine does not know fails with 400.
  Outcome Handle(const Session* session, const std::string& method, const std::string& params_json,
                 const std::string& data = std::string());
  // The changes of the session's team after `since`, as the session's events, at most `limit`.
  Page Poll(const Session& session, int64_t since, size_t limit = 1000);
  // Who the team's changes after `since` may concern: a superset of the users a Poll from `since`
  // gives events to. Costs a look at each change, not at each session.
  Audience Concerned(const std::string& team_id, int64_t since);
  // The team's last sequence number (0 for an unknown team).
  int64_t Head(const std::string& team_id) const;
  // The bytes of a storage or file box address (avatars, thumbnails, files; "http.get"). With a
  // session, a stored file is served only when the session may see where it was shared.
  backend::Reply Download(const Session* session, const std::string& url, uint64_t max_bytes);
  // Whether the store could be read; while not, nothing is committed and the next request retries.
  bool Available() const;

  // ---- what hosts do as the team (simulated teammates, the bot) ----
  // Stores a message from someone of the team (its uid), tells its readers, and returns it.
  // `chatter` messages are kept to a bounded number per conversation.
  std::optional<Message> Post(const std::string& team_id, Message message, bool chatter);
  void SetPresence(const std::string& team_id, const std::string& uid, int status);
  // Read-only view of the state for a host's simulation.
  const State& state() const;
  // The next record number (the embedded host's life titles use it).
  int64_t NextId() const;

  // ---- what the operator does; each returns why it was refused, or empty ----
  std::string AddTeam(const std::string& subdomain, const std::string& name);
  // A member of the team, in its general channel; an admin may also configure services.
  std::string AddUser(const std::string& subdomain, const std::string& user_name, const std::string& display_name,
                      const std::string& password, bool admin);
  std::string SetPassword(const std::string& subdomain, const std::string& user_name, const std::string& password);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrina::engine
