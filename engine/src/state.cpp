#include "veltrina/engine/state.h"

#include <algorithm>

#include "records_json.h"

namespace veltrina::engine {

using namespace internal;

TeamData* State::FindTeam(const std::string& team_id) {
  for (TeamData& t : teams)
    if (t.team.team_id() == team_id) return &t;
  return nullptr;
}

TeamData* State::FindTeamBySubdomain(const std::string& subdomain) {
  for (TeamData& t : teams)
    if (t.team.team_subdomain() == subdomain) return &t;
  return nullptr;
}

namespace {

template <typename T>
json Array(const std::vector<T>& items) {
  json out = json::array();
  for (const T& item : items) out.push_back(ToValue(item));
  return out;
}

template <typename T, typename F>
std::vector<T> ReadArray(const json& object, const char* key, F from) {
  std::vector<T> out;
  if (const json* list = Member(object, key); list && list->is_array())
    for (const json& item : *list)
      if (item.is_object()) out.push_back(from(item));
  return out;
}

// The number of an id made by State::NewId ("m-1042"), or 0.
int64_t IdNumber(const std::string& id) {
  size_t dash = id.rfind('-');
  if (dash == std::string::npos || dash + 1 == id.size() || id.size() - dash > 18) return 0;
  int64_t n = 0;
  for (size_t i = dash + 1; i < id.size(); ++i) {
    if (id[i] < '0' || id[i] > '9') return 0;
    n = n * 10 + (id[i] - '0');
  }
  return n;
}

int64_t HighestId(const State& state) {
  int64_t highest = 0;
  auto see = [&](const std::string& id) { highest = std::max(highest, IdNumber(id)); };
  for (const TeamData& t : state.teams) {
    for (const Channel& c : t.channels) see(c.channel_id());
    for (const DirectChat& c : t.chats) see(c.im_id);
    for (const auto& [conversation, list] : t.messages)
      for (const Message& m : list) see(m.key());
    for (const Entity& e : t.entities) {
      see(e.entity_id());
      for (const Comment& c : e.comments()) see(c.comment_id());
    }
  }
  return highest;
}

}  // namespace

json StateToJson(const State& state) {
  json accounts = json::array();
  for (const Account& a : state.accounts)
    accounts.push_back(json{{"team_id", a.team_id},
                            {"user_name", a.user_name},
                            {"password_hash", a.password_hash},
                            {"uid", a.uid},
                            {"initial_password", a.initial_password},
                            {"permission", a.permission}});
  json teams = json::array();
  for (const TeamData& t : state.teams) {
    json users = json::array();
    for (const User& u : t.users)
      if (!IsGeneratedId(u.uid())) users.push_back(ToValue(u));
    json channels = json::array();
    for (const Channel& c : t.channels) {
      if (IsGeneratedId(c.channel_id())) continue;
      json v = ToValue(c);
      if (c.IsGeneral() && t.generated) {  // the generated members are added again when the team grows
        std::vector<std::string> members = c.member_uids();
        std::erase_if(members, IsGeneratedId);
        v["member_uids"] = members;
      }
      channels.push_back(std::move(v));
    }
    json messages = json::array();
    for (const auto& [conversation, list] : t.messages)
      for (const Message& m : list) messages.push_back(ToValue(m));
    json chats = json::array();
    for (const DirectChat& c : t.chats)
      if (!IsGeneratedId(c.im_id))
        chats.push_back(json{{"im_id", c.im_id},
                             {"uid_a", c.uid_a},
                             {"uid_b", c.uid_b},
                             {"created_at", c.created_at},
                             {"open_for", std::vector<std::string>(c.open_for.begin(), c.open_for.end())}});
    json cursors = json::object();
    for (const auto& [uid, list] : t.cursors) {
      json per = json::object();
      for (const auto& [conversation, time] : list) per[conversation] = time;
      cursors[uid] = per;
    }
    json team{{"team", ToValue(t.team)},       {"users", users},    {"services", Array(t.services)},
              {"channels", channels},          {"chats", chats},    {"messages", messages},
              {"entities", Array(t.entities)}, {"cursors", cursors}};
    if (t.generated) team["generated"] = GeneratedChanges(t);
    if (t.seq > 0) team["seq"] = t.seq;
    if (!t.sent_ids.empty()) team["sent_ids"] = t.sent_ids;
    teams.push_back(std::move(team));
  }
  return json{{"format", 1},          {"next_id", state.next_id}, {"accounts", accounts},
              {"teams", teams},       {"feedback", state.feedback}};
}

json ChangeToJson(const Change& c) {
  return json{{"seq", c.seq},   {"kind", static_cast<int>(c.kind)}, {"conversation", c.conversation}, {"uid", c.uid},
              {"body", c.body}, {"origin", c.origin},              {"echo", c.echo}};
}

bool ChangeFromJson(const json& value, Change* change) {
  if (!value.is_object()) return false;
  const int64_t kind = Int(value, "kind", -1);
  if (kind < static_cast<int>(Change::Kind::kMessage) || kind > static_cast<int>(Change::Kind::kUser)) return false;
  const json* origin = Member(value, "origin");
  *change = Change{.seq = Int(value, "seq"),
                   .kind = static_cast<Change::Kind>(kind),
                   .conversation = Str(value, "conversation"),
                   .uid = Str(value, "uid"),
                   .body = Str(value, "body"),
                   .origin = origin && origin->is_number_unsigned() ? origin->get<uint64_t>() : 0,
                   .echo = Bool(value, "echo", true)};
  return change->seq > 0;
}

namespace {

// A kept log is used only as one unbroken run of numbers ending at most at the team's last one: a
// reader's position is found in it by subtraction. After a gap only the later run is kept.
std::deque<Change> KeptLog(const json& list, int64_t last_seq) {
  std::deque<Change> log;
  for (const json& value : list) {
    Change change;
    if (!ChangeFromJson(value, &change) || change.seq > last_seq) continue;
    if (!log.empty() && change.seq != log.back().seq + 1) log.clear();
    log.push_back(std::move(change));
  }
  if (!log.empty() && log.back().seq != last_seq) log.clear();  // the newest are missing: no use
  return log;
}

}  // namespace

bool StateFromJson(const json& document, State* state) {
  if (!document.is_object() || Int(document, "format") != 1) return false;
  const json* accounts = Member(document, "accounts");
  const json* teams = Member(document, "teams");
  if (!accounts || !accounts->is_array() || !teams || !teams->is_array()) return false;
  State loaded;
  loaded.next_id = Int(document, "next_id", 1000);
  for (const json& a : *accounts) {
    if (!a.is_object()) continue;
    Account account;
    account.team_id = Str(a, "team_id");
    account.user_name = Str(a, "user_name");
    account.password_hash = Str(a, "password_hash");
    if (account.password_hash.empty()) account.plain_password = Str(a, "password");  // an older file
    account.uid = Str(a, "uid");
    account.initial_password = Bool(a, "initial_password");
    account.permission = Int(a, "permission");
    loaded.accounts.push_back(account);
  }
  for (const json& t : *teams) {
    if (!t.is_object()) continue;
    TeamData team;
    if (const json* info = Member(t, "team"); info && info->is_object()) team.team = TeamFrom(*info);
    if (team.team.team_id().empty()) continue;
    team.users = ReadArray<User>(t, "users", UserFrom);
    team.services = ReadArray<Service>(t, "services", ServiceFrom);
    team.channels = ReadArray<Channel>(t, "channels", ChannelFrom);
    for (Message& m : ReadArray<Message>(t, "messages", MessageFrom)) {
      std::string conversation = m.ChannelID();
      team.messages[conversation].push_back(std::move(m));
    }
    if (const json* grown = Member(t, "generated"); grown && grown->is_object()) team.generated_changes = *grown;
    team.entities = ReadArray<Entity>(t, "entities", EntityFrom);
    if (const json* chats = Member(t, "chats"); chats && chats->is_array()) {
      for (const json& c : *chats) {
        if (!c.is_object()) continue;
        DirectChat chat;
        chat.im_id = Str(c, "im_id");
        chat.uid_a = Str(c, "uid_a");
        chat.uid_b = Str(c, "uid_b");
        chat.created_at = Int(c, "created_at");
        if (const json* open = Member(c, "open_for"); open && open->is_array())
          for (const json& uid : *open)
            if (uid.is_string()) chat.open_for.insert(uid.get<std::string>());
        team.chats.push_back(chat);
      }
    }
    if (const json* cursors = Member(t, "cursors"); cursors && cursors->is_object()) {
      for (const auto& [uid, per] : cursors->items()) {
        if (!per.is_object()) continue;
        for (const auto& [conversation, time] : per.items())
          if (time.is_number_integer()) team.cursors[uid][conversation] = time.get<int64_t>();
      }
    }
    team.seq = std::max<int64_t>(0, Int(t, "seq"));
    if (const json* changes = Member(t, "changes"); changes && changes->is_array()) team.log = KeptLog(*changes, team.seq);
    if (const json* sent = Member(t, "sent_ids"); sent && sent->is_object())
      for (const auto& [client, stored] : sent->items())
        if (stored.is_string()) team.sent_ids[client] = stored.get<std::string>();
    loaded.teams.push_back(std::move(team));
  }
  if (const json* feedback = Member(document, "feedback"); feedback && feedback->is_array())
    for (const json& f : *feedback) loaded.feedback.push_back(f);
  if (loaded.teams.empty()) return false;
  // A stored next id below the ids in use (an edited or older file) would hand them out again.
  loaded.next_id = std::max(loaded.next_id, HighestId(loaded));
  *state = std::move(loaded);
  return true;
}

}  // namespace veltrina::engine
