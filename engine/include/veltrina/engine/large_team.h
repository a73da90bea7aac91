#pragma once
// The large demo team: thousands of members, hundreds of channels, groups and direct messages,
// and a long history in each of those conversations. Members, channels and chats are records in
// the team; the history is never stored: message i of a conversation is a pure function of the
// seed, the conversation and i, made when a page asks for it. Only what changes is kept (new
// posts, read marks, membership), so the state file stays small.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "json_util.h"
#include "veltrina/entity.h"
#include "veltrina/message.h"

namespace veltrina::engine {

using internal::json;

struct TeamData;

inline constexpr int kLargeMembers = 3000;
inline constexpr int kLargeChannels = 300;
inline constexpr int kLargeGroups = 200;
inline constexpr int kLargeChats = 300;

// One conversation's generated history: `count` messages, the first at `first`, about `step`
// seconds apart, times strictly rising with the index.
struct GeneratedConversation {
  std::string id;
  uint64_t key = 0;  // every choice of its messages starts from it
  int32_t count = 0;
  int32_t read = 0;  // messages before this index start read
  int64_t first = 0;
  int32_t step = 0;
  bool direct = false;
  std::vector<uint16_t> cast;  // who writes: member numbers (0 is alice)

  int64_t TimeOf(int32_t i) const;
  // The index of the first message later than `time` (count when none is).
  int32_t FirstAfter(int64_t time) const;
  // The index in a message key ("<id>.<i>"), or -1 when it is not one of this conversation's.
  int32_t IndexOf(const std::string& key) const;
};

struct GeneratedTeam {
  uint32_t seed = 1;
  int64_t anchor = 0;  // when the team was first generated: its history ends there
  std::vector<GeneratedConversation> conversations;
  std::unordered_map<std::string, size_t> index;
  // What membership (channels) and open lists (chats) were generated as, so that a save writes
  // only the ones that changed since.
  std::map<std::string, uint64_t> baseline;

  const GeneratedConversation* Find(const std::string& id) const;
  std::string Sender(const GeneratedConversation& c, int32_t i) const;
  bool IsSystem(const GeneratedConversation& c, int32_t i) const;
  Message MessageAt(const GeneratedConversation& c, int32_t i) const;
  // The entity a generated message shares ("e-<conversation>.<index>"); false for any other id.
  bool EntityById(const std::string& entity_id, Entity* out) const;
  // Every image, file, document and snippet shared in the conversation's history.
  std::vector<Entity> SharedFiles(const GeneratedConversation& c) const;
};

// Whether an id belongs to a generated member, channel, group or chat ("u-x0001", "c-x001").
bool IsGeneratedId(const std::string& id);
uint64_t Fingerprint(const std::vector<std::string>& ids);

// Adds the generated members, channels, groups and direct messages to the team, whose #general
// takes every member in; `changes` (as GeneratedChanges wrote them) restores what changed since.
// The same seed and anchor give the same team.
void GrowLargeTeam(TeamData* team, uint32_t seed, int64_t anchor, const json& changes);
// Seed, anchor, and the generated channels and chats whose members or open lists changed.
json GeneratedChanges(const TeamData& team);

}  // namespace veltrina::engine
