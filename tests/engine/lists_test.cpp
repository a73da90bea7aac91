// A client that fetched its lists once and then applies the events it polls holds what a fresh
// fetch would give it, whatever its teammates or its user's other sessions change.
#include <functional>
#include <map>
#include <set>

#include "engine_fixture.h"

namespace engine_test {
namespace {

// What a client lists: channels (with whether it is in them), open direct chats, unread counts
// and each member's status. A count of nothing is the same as no count.
struct Lists {
  std::map<std::string, json> channels, ims, unread;
  std::map<std::string, int> statuses;

  bool operator==(const Lists&) const = default;
};

// What differs between the two: "<list> <id>: <held> != <fetched>" lines.
std::string Differences(const Lists& held, const Lists& fetched) {
  std::string out;
  auto compare = [&](const char* list, const auto& a, const auto& b) {
    auto show = [](const auto& map, const std::string& id) {
      auto it = map.find(id);
      return it == map.end() ? std::string("none") : json(it->second).dump();
    };
    std::set<std::string> ids;
    for (const auto& [id, v] : a) ids.insert(id);
    for (const auto& [id, v] : b) ids.insert(id);
    for (const std::string& id : ids)
      if (show(a, id) != show(b, id)) out += std::string(list) + " " + id + ": " + show(a, id) + " != " + show(b, id) + "\n";
  };
  compare("channel", held.channels, fetched.channels);
  compare("im", held.ims, fetched.ims);
  compare("unread", held.unread, fetched.unread);
  compare("status", held.statuses, fetched.statuses);
  return out;
}

json Count(const json& u) { return json{{"num_unread", u.value("num_unread", 0)}, {"num_new", u.value("num_new", 0)}}; }

Lists Fetch(Team& team, const engine::Session& s) {
  Lists l;
  const Answer channels = team.Call(s, "channels.list", json{{"include_archived", true}});
  for (const json& c : channels.body["channels"]) l.channels[c.value("channel_id", "")] = c;
  const Answer ims = team.Call(s, "ims.list");
  for (const json& im : ims.body["ims"]) l.ims[im.value("im_id", "")] = im;
  const Answer unread = team.Call(s, "messages.unread");
  for (const json& u : unread.body["unread"])
    if (Count(u) != Count(json::object())) l.unread[u.value("channel_id", "")] = Count(u);
  const Answer statuses = team.Call(s, "users.status");
  for (const json& u : statuses.body["statuses"]) l.statuses[u.value("uid", "")] = u.value("status", 0);
  return l;
}

void Apply(Lists* l, const engine::Event& e) {
  const json body = Parse(e.body);
  if (e.name == "channel") {
    const json& c = body["channel"];
    const std::string id = c.value("channel_id", "");
    if (!c.value("is_member", false)) l->unread.erase(id);
    if (c.value("type", 1) == 2 && !c.value("is_member", false))
      l->channels.erase(id);
    else
      l->channels[id] = c;
  } else if (e.name == "im") {
    const json& im = body["im"];
    if (im.value("is_open", false))
      l->ims[im.value("im_id", "")] = im;
    else
      l->ims.erase(im.value("im_id", ""));
  } else if (e.name == "unread") {
    if (Count(body) == Count(json::object()))
      l->unread.erase(body.value("channel_id", ""));
    else
      l->unread[body.value("channel_id", "")] = Count(body);
  } else if (e.name == "presence") {
    l->statuses[body.value("uid", "")] = body.value("status", 0);
  }
}

struct Step {
  const char* what;
  const engine::Session* actor;  // null: the host, as the team
  std::function<void(Team&)> act;
};

TEST(Lists, EventsBringEveryOtherSessionToWhatAFreshFetchGives) {
  Team team;
  engine::Session alice = team.SignIn("alice"), alice_phone = team.SignIn("alice"), bob = team.SignIn("bob");
  engine::Session lilei = team.SignIn("lilei"), newbie = team.SignIn("newbie", "init1234");
  struct Watcher {
    engine::Session* session;
    Lists lists;
  };
  std::vector<Watcher> watchers{{&alice, {}}, {&alice_phone, {}}, {&bob, {}}, {&lilei, {}}, {&newbie, {}}};
  for (Watcher& w : watchers) {
    w.lists = Fetch(team, *w.session);
    team.Events(*w.session);
  }
  std::string group, channel, im, entity;
  const std::vector<Step> steps = {
      {"alice creates a public channel", &alice,
       [&](Team& t) {
         channel = t.Call(alice, "channels.create", json{{"name", "lunch"}}).body["channel"].value("channel_id", "");
       }},
      {"bob joins it", &bob, [&](Team& t) { t.Call(bob, "channels.join", json{{"channel_id", channel}}); }},
      {"alice invites lilei", &alice, [&](Team& t) { t.Call(alice, "channels.invite", json{{"channel_id", channel}, {"uid", "u-lilei"}}); }},
      {"bob writes there", &bob, [&](Team& t) { t.Call(bob, "messages.send", Text(channel, "面条")); }},
      {"lilei leaves", &lilei, [&](Team& t) { t.Call(lilei, "channels.leave", json{{"channel_id", channel}}); }},
      {"alice creates a private group with bob", &alice,
       [&](Team& t) {
         group = t.Call(alice, "channels.create", json{{"name", "secret"}, {"type", 2}, {"member_uids", {"u-bob"}}})
                     .body["channel"]
                     .value("channel_id", "");
       }},
      {"alice writes in it", &alice, [&](Team& t) { t.Call(alice, "messages.send", Text(group, "嘘")); }},
      {"bob shares a file in it", &bob,
       [&](Team& t) {
         entity = t.Call(bob, "files.upload", json{{"file_name", "a.png"}, {"channel_id", group}}, "not a png")
                      .body["message"]["entity"]
                      .value("entity_id", "");
       }},
      {"alice comments on it", &alice, [&](Team& t) { t.Call(alice, "entities.comment", json{{"entity_id", entity}, {"content", "好"}}); }},
      {"bob reads the group", &bob, [&](Team& t) { t.Call(bob, "messages.mark_read", json{{"channel_id", group}, {"time", t.clock.now}}); }},
      {"alice moves her cursor in #general quietly", &alice,
       [&](Team& t) { t.Call(alice, "messages.cursor", json{{"channel_id", "c-general"}, {"time", t.clock.now}}); }},
      {"newbie opens a chat with lilei", &newbie,
       [&](Team& t) { im = t.Call(newbie, "ims.new", json{{"uid", "u-lilei"}}).body["im"].value("im_id", ""); }},
      {"newbie writes to lilei", &newbie, [&](Team& t) { t.Call(newbie, "messages.send", Text(im, "你好")); }},
      {"lilei closes the chat", &lilei, [&](Team& t) { t.Call(lilei, "ims.close", json{{"im_id", im}}); }},
      {"newbie writes again", &newbie, [&](Team& t) { t.Call(newbie, "messages.send", Text(im, "在吗")); }},
      {"lilei closes and opens it", &lilei, [&](Team& t) {
         t.Call(lilei, "ims.close", json{{"im_id", im}});
         t.Call(lilei, "ims.open", json{{"im_id", im}});
       }},
      {"bob goes away", nullptr, [&](Team& t) { t.engine->SetPresence("t-demo", "u-bob", 2); }},
      {"a teammate posts in #general", nullptr, [&](Team& t) {
         veltrina::Message m;
         m.set_uid("u-hanmeimei");
         m.set_channel_id("c-general");
         m.set_content("大家好");
         t.engine->Post("t-demo", m, true);
       }},
      {"newbie sets a password", &newbie, [&](Team& t) { t.Call(newbie, "auth.init_password", json{{"password", "secret-1"}}); }},
  };
  for (const Step& step : steps) {
    step.act(team);
    for (Watcher& w : watchers) {
      for (const engine::Event& e : team.Events(*w.session)) Apply(&w.lists, e);
      // The acting session has its own change in its answer; every other one must be brought up to date.
      Lists fresh = Fetch(team, *w.session);
      if (w.session != step.actor) {
        EXPECT_EQ(Differences(w.lists, fresh), "") << step.what << ", as seen by " << w.session->uid << " #" << w.session->id;
      }
      w.lists = fresh;
    }
  }
}

}  // namespace
}  // namespace engine_test
