// Whom a run of changes concerns: a host wakes only those sessions' waiting polls, so the answer
// must include everyone a poll would tell, and should leave out who it would not.
#include <algorithm>

#include "engine_fixture.h"

namespace engine_test {
namespace {

bool Names(const engine::Audience& a, const std::string& uid) {
  return a.everyone || std::find(a.uids.begin(), a.uids.end(), uid) != a.uids.end();
}

TEST(Audience, NamesEveryoneAPollWouldTellAndNoOneTheTalkDoesNotConcern) {
  Team team;
  engine::Session alice = team.SignIn("alice"), bob = team.SignIn("bob"), lilei = team.SignIn("lilei"),
                  newbie = team.SignIn("newbie", "init1234");
  const std::vector<std::pair<engine::Session*, std::string>> sessions = {
      {&alice, "u-alice"}, {&bob, "u-bob"}, {&lilei, "u-lilei"}, {&newbie, "u-newbie"}};
  int64_t since = team.engine->Head("t-demo");
  // After each step: every session a poll tells something is named.
  auto check = [&](const std::string& step) {
    const engine::Audience audience = team.engine->Concerned("t-demo", since);
    for (const auto& [session, uid] : sessions) {
      if (!team.engine->Poll(*session, since).events.empty()) {
        EXPECT_TRUE(Names(audience, uid)) << step << ": " << uid << " is told but not named";
      }
    }
    const int64_t head = team.engine->Head("t-demo");
    since = head;
    return audience;
  };

  Answer group = team.Call(alice, "channels.create", json{{"name", "pair"}, {"type", 2}, {"member_uids", {"u-lilei"}}});
  ASSERT_TRUE(group.ok);
  const std::string pair = group.body["channel"]["channel_id"];
  check("a private group made");
  ASSERT_TRUE(team.Call(alice, "messages.send", Text(pair, "hi")).ok);
  const engine::Audience talk = check("a message to the group");
  EXPECT_FALSE(talk.everyone);
  EXPECT_FALSE(Names(talk, "u-bob"));
  EXPECT_FALSE(Names(talk, "u-newbie"));
  ASSERT_TRUE(team.Call(lilei, "messages.mark_read", json{{"channel_id", pair}, {"time", 1LL << 40}}).ok);
  EXPECT_FALSE(Names(check("a cursor moved"), "u-alice"));
  const std::string im = team.Call(newbie, "ims.new", json{{"uid", "u-bob"}}).body["im"].value("im_id", "");
  ASSERT_FALSE(im.empty());
  check("a direct chat opened");
  ASSERT_TRUE(team.Call(newbie, "messages.send", Text(im, "yo")).ok);
  EXPECT_FALSE(Names(check("a direct message"), "u-lilei"));
  // Now open for both: the message is the only change.
  ASSERT_TRUE(team.Call(bob, "messages.send", Text(im, "yes")).ok);
  EXPECT_FALSE(Names(check("a direct answer"), "u-alice"));
  ASSERT_TRUE(team.Call(lilei, "channels.leave", json{{"channel_id", pair}}).ok);
  check("a member left the group");
  ASSERT_TRUE(team.Call(bob, "messages.send", Text("c-general", "all")).ok);
  check("a message to the general channel");
  team.engine->SetPresence("t-demo", "u-bob", 2);
  EXPECT_TRUE(check("a presence").everyone);
  // A position the log no longer holds: anyone may need a resync.
  EXPECT_TRUE(team.engine->Concerned("t-demo", -5).everyone);
}

}  // namespace
}  // namespace engine_test
