#pragma once
// Everything the team engine knows, and its JSON form (the embedded host's state file).
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "json_util.h"
#include "veltrina/engine/large_team.h"
#include "veltrina/channel.h"
#include "veltrina/entity.h"
#include "veltrina/message.h"
#include "veltrina/service.h"
#include "veltrina/team.h"
#include "veltrina/user.h"

namespace veltrina::engine {

using internal::json;
class PasswordHasher;

struct Account {
  std::string team_id;
  std::string user_name;
  std::string password_hash;  // the stored form of veltrina/password_hash.h, never the password
  // The password of a state written before passwords were hashed, until the service hashes it
  // on load; never written.
  std::string plain_password{};
  std::string uid;
  bool initial_password = false;  // signs in with 201 until a new password is set
  int64_t permission = 0;
};

struct DirectChat {
  std::string im_id;
  std::string uid_a;
  std::string uid_b;
  int64_t created_at = 0;
  std::set<std::string> open_for;  // users who list it

  bool Has(const std::string& uid) const { return uid == uid_a || uid == uid_b; }
  const std::string& Peer(const std::string& uid) const { return uid == uid_a ? uid_b : uid_a; }
};

struct Unread {
  int64_t unread = 0;  // not counting system notices
  int64_t fresh = 0;
};

// One entry of a team's change log: what happened, to whom it may be told, and what to tell. The
// event bodies that depend on the reader (counts, views) are made when a session polls.
struct Change {
  enum class Kind {
    kMessage,   // a stored message: "message" (and the reader's "unread") to who reads `conversation`
    kUnread,    // `uid`'s counts of `conversation` moved: "unread" to that user
    kIm,        // direct chat `conversation` changed for `uid`: "im" to that user
    kChannel,   // channel `conversation` changed: "channel" to who lists it, and to `uid` (who left)
    kPresence,  // "presence" `body` to the team
    kUser,      // "user" `body` to the team
  };
  // Members left out of a designated initializer take these ({} keeps -Wextra quiet).
  int64_t seq{};
  Kind kind{};
  std::string conversation{};
  std::string uid{};   // kMessage: the sender
  std::string body{};  // kMessage: the message's JSON; kPresence, kUser: the event's
  uint64_t origin{};   // the session whose request made it (0: the host)
  bool echo{true};     // false: the origin had it in its answer and is not told again
};

struct TeamData {
  Team team;
  std::vector<User> users;
  std::vector<Service> services;
  std::vector<Channel> channels;  // member_uids is the truth; is_member is set per reader
  std::vector<DirectChat> chats;
  std::map<std::string, std::vector<Message>> messages;  // conversation -> its stored messages, in arrival order
  std::vector<Entity> entities;
  std::map<std::string, std::map<std::string, int64_t>> cursors;  // uid -> conversation -> time
  // The large team's generated part; null for the small one.
  std::shared_ptr<const GeneratedTeam> generated;
  json generated_changes;  // as read from the file, until the team is grown again
  // uid -> conversation -> counts, kept as messages arrive and cursors move; never saved.
  std::map<std::string, std::map<std::string, Unread>> unread;
  // The last change's number; saved, so that numbers never repeat after a restart.
  int64_t seq = 0;
  // The latest changes, oldest first (a reader older than the first gets a resync). The state file
  // leaves them out; a store may keep them (ChangeToJson) and hand them back under "changes".
  std::deque<Change> log;
  // "<uid>\n<client_msg_id>" -> "<conversation>\n<key>": a send repeated by its sender is answered
  // with what was stored the first time.
  std::map<std::string, std::string> sent_ids;
};

struct State {
  std::vector<Account> accounts;
  std::vector<TeamData> teams;
  std::vector<json> feedback;
  int64_t next_id = 1000;

  std::string NewId(const std::string& prefix) { return prefix + std::to_string(++next_id); }
  TeamData* FindTeam(const std::string& team_id);
  TeamData* FindTeamBySubdomain(const std::string& subdomain);
};

// Generated records are left out; only what changed of them is written. The change log is left out.
json StateToJson(const State& state);
// One change as a store keeps it; false when `value` is not one.
json ChangeToJson(const Change& change);
bool ChangeFromJson(const json& value, Change* change);
// False when the document does not describe a state (then `state` is untouched).
bool StateFromJson(const json& document, State* state);

// The story a fresh data folder starts with; times relative to `now`. Its accounts' passwords are
// stored as `passwords` seeds them (a hasher of the demo's own form does no slow hashing).
State SeedState(int64_t now, PasswordHasher& passwords);

}  // namespace veltrina::engine
