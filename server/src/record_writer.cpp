#include "record_writer.h"

#include <cstdlib>
#include <set>
#include <tuple>

#include "store_records.h"

namespace veltrina::server {

using engine::Account;
using engine::DirectChat;
using engine::RecordKind;
using engine::State;
using engine::TeamData;
using internal::ToValue;
using records::ChannelRecord;
using records::ChatRecord;
using records::FindTeam;
using records::SplitPair;

const char* const RecordWriter::kPutUser =
    "INSERT INTO users(team_id, uid, record) VALUES($1, $2, $3) "
    "ON CONFLICT(team_id, uid) DO UPDATE SET record = excluded.record";
const char* const RecordWriter::kPutChannel =
    "INSERT INTO channels(team_id, channel_id, record) VALUES($1, $2, $3) "
    "ON CONFLICT(team_id, channel_id) DO UPDATE SET record = excluded.record";
const char* const RecordWriter::kPutChat =
    "INSERT INTO chats(team_id, im_id, record) VALUES($1, $2, $3) "
    "ON CONFLICT(team_id, im_id) DO UPDATE SET record = excluded.record";
const char* const RecordWriter::kPutEntity =
    "INSERT INTO entities(team_id, entity_id, record) VALUES($1, $2, $3) "
    "ON CONFLICT(team_id, entity_id) DO UPDATE SET record = excluded.record";

bool RecordWriter::WriteAll(const State& state) {
  // Children first: the teams' rows refer to them.
  for (const char* sql : {"DELETE FROM users", "DELETE FROM channels", "DELETE FROM chats", "DELETE FROM messages",
                          "DELETE FROM entities", "DELETE FROM cursors", "DELETE FROM sent_ids", "DELETE FROM changes",
                          "DELETE FROM teams",
                          "DELETE FROM accounts", "DELETE FROM feedback"})
    if (!Exec(sql)) return Failed("cannot clear the state");
  for (const Account& a : state.accounts)
    if (!PutAccount(a)) return false;
  for (const TeamData& t : state.teams) {
    const std::string& team_id = t.team.team_id();
    if (!PutTeam(t)) return false;
    for (const User& u : t.users)
      if (!engine::IsGeneratedId(u.uid()) && !PutRow(kPutUser, team_id, u.uid(), ToValue(u))) return false;
    for (const Channel& c : t.channels)
      if (!engine::IsGeneratedId(c.channel_id()) && !PutRow(kPutChannel, team_id, c.channel_id(), ChannelRecord(t, c)))
        return false;
    for (const DirectChat& c : t.chats)
      if (!engine::IsGeneratedId(c.im_id) && !PutRow(kPutChat, team_id, c.im_id, ChatRecord(c))) return false;
    for (const auto& [conversation, list] : t.messages)
      for (const Message& m : list)
        if (!PutMessage(team_id, conversation, m)) return false;
    for (const Entity& e : t.entities)
      if (!PutRow(kPutEntity, team_id, e.entity_id(), ToValue(e))) return false;
    for (const auto& [uid, per] : t.cursors)
      for (const auto& [conversation, time] : per)
        if (!PutCursor(team_id, uid, conversation, time)) return false;
    for (const auto& [client, stored] : t.sent_ids)
      if (!PutSentId(team_id, client, stored)) return false;
    for (const engine::Change& c : t.log)
      if (!PutChange(team_id, c)) return false;
  }
  for (size_t i = 0; i < state.feedback.size(); ++i)
    if (!PutFeedback(static_cast<int64_t>(i), state.feedback[i])) return false;
  return true;
}

bool RecordWriter::WriteDelta(const State& state, const engine::Delta& delta) {
  // A request touches its team many times over (every change it records): each record once.
  std::set<std::tuple<RecordKind, std::string, std::string>> seen;
  // Teams whose generated channels or chats changed: their list of changes is made again.
  std::set<std::string> regrown;
  for (const engine::Touched& t : delta.touched)
    if ((t.kind == RecordKind::kChannel || t.kind == RecordKind::kChat) && engine::IsGeneratedId(t.id))
      regrown.insert(t.team_id);
  for (const std::string& removed : delta.removed_messages) {
    const auto [conversation, key] = SplitPair(removed);
    if (!Delete("DELETE FROM messages WHERE conversation = $1 AND key = $2", conversation, key)) return false;
  }
  for (const engine::Touched& t : delta.touched) {
    if (!seen.emplace(t.kind, t.team_id, t.id).second) continue;
    if (!WriteTouched(state, t)) return false;
  }
  for (const std::string& team_id : regrown)
    if (const TeamData* t = FindTeam(state, team_id); t && t->generated && !PutGenerated(*t)) return false;
  return true;
}

bool RecordWriter::WriteTouched(const State& state, const engine::Touched& touched) {
  const std::string& team_id = touched.team_id;
  const std::string& id = touched.id;
  const TeamData* t = FindTeam(state, team_id);
  switch (touched.kind) {
    case RecordKind::kAccount: {
      const auto [account_team, uid] = SplitPair(id);
      for (const Account& a : state.accounts)
        if (a.team_id == account_team && a.uid == uid) return PutAccount(a);
      return Delete("DELETE FROM accounts WHERE team_id = $1 AND uid = $2", account_team, uid);
    }
    case RecordKind::kTeam:
      if (t) return PutTeam(*t) && DropChangesBefore(team_id, t->log.empty() ? t->seq + 1 : t->log.front().seq);
      return Delete("DELETE FROM teams WHERE team_id = $1", team_id);
    case RecordKind::kChange: {
      if (!t) return true;
      char* end = nullptr;
      const long long seq = std::strtoll(id.c_str(), &end, 10);
      if (id.empty() || *end != '\0') return true;
      for (auto c = t->log.rbegin(); c != t->log.rend(); ++c)  // the new ones are last
        if (c->seq == seq) return PutChange(team_id, *c);
      return true;  // already out of the kept log
    }
    case RecordKind::kUser:
      if (engine::IsGeneratedId(id)) return true;  // made again from the seed
      if (t)
        for (const User& u : t->users)
          if (u.uid() == id) return PutRow(kPutUser, team_id, id, ToValue(u));
      return Delete("DELETE FROM users WHERE team_id = $1 AND uid = $2", team_id, id);
    case RecordKind::kChannel:
      if (engine::IsGeneratedId(id)) return true;  // in the team's generated changes
      if (t)
        for (const Channel& c : t->channels)
          if (c.channel_id() == id) return PutRow(kPutChannel, team_id, id, ChannelRecord(*t, c));
      return Delete("DELETE FROM channels WHERE team_id = $1 AND channel_id = $2", team_id, id);
    case RecordKind::kChat:
      if (engine::IsGeneratedId(id)) return true;
      if (t)
        for (const DirectChat& c : t->chats)
          if (c.im_id == id) return PutRow(kPutChat, team_id, id, ChatRecord(c));
      return Delete("DELETE FROM chats WHERE team_id = $1 AND im_id = $2", team_id, id);
    case RecordKind::kMessage: {
      const auto [conversation, key] = SplitPair(id);
      if (t)
        if (auto list = t->messages.find(conversation); list != t->messages.end())
          for (auto m = list->second.rbegin(); m != list->second.rend(); ++m)  // new ones are last
            if (m->key() == key) return PutMessage(team_id, conversation, *m);
      return Delete("DELETE FROM messages WHERE conversation = $1 AND key = $2 AND team_id = $3", conversation, key,
                    team_id);
    }
    case RecordKind::kEntity:
      if (t)
        for (const Entity& e : t->entities)
          if (e.entity_id() == id) return PutRow(kPutEntity, team_id, id, ToValue(e));
      return Delete("DELETE FROM entities WHERE team_id = $1 AND entity_id = $2", team_id, id);
    case RecordKind::kCursor: {
      const auto [uid, conversation] = SplitPair(id);
      if (t)
        if (auto per = t->cursors.find(uid); per != t->cursors.end())
          if (auto time = per->second.find(conversation); time != per->second.end())
            return PutCursor(team_id, uid, conversation, time->second);
      return Delete("DELETE FROM cursors WHERE team_id = $1 AND uid = $2 AND conversation = $3", team_id, uid,
                    conversation);
    }
    case RecordKind::kSentId:
      if (t)
        if (auto sent = t->sent_ids.find(id); sent != t->sent_ids.end()) return PutSentId(team_id, id, sent->second);
      return Delete("DELETE FROM sent_ids WHERE team_id = $1 AND client = $2", team_id, id);
    case RecordKind::kFeedback: {
      char* end = nullptr;
      const long long index = std::strtoll(id.c_str(), &end, 10);
      if (id.empty() || *end != '\0' || index < 0) return true;  // not an index: nothing of ours
      if (static_cast<size_t>(index) < state.feedback.size())
        return PutFeedback(index, state.feedback[static_cast<size_t>(index)]);
      return DeleteFeedback(index);
    }
  }
  return true;
}

}  // namespace veltrina::server
