#pragma once
// Everything the demo service knows, and its JSON form on disk.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../json_util.h"
#include "demo_large.h"
#include "veltrina/channel.h"
#include "veltrina/entity.h"
#include "veltrina/message.h"
#include "veltrina/service.h"
#include "veltrina/team.h"
#include "veltrina/user.h"

namespace veltrina::internal::demo {

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

// Generated records are left out; only what changed of them is written.
json StateToJson(const State& state);
// False when the document does not describe a state (then `state` is untouched).
bool StateFromJson(const json& document, State* state);

// The story a fresh data folder starts with; times relative to `now`. Its accounts come with
// stored password forms made beforehand: seeding does no slow hashing.
State SeedState(int64_t now);
// A stored form that no account uses: an unknown user's password is checked against it.
const char* DecoyPasswordHash();

}  // namespace veltrina::internal::demo
