// Who hears of what: a message reaches the sessions that read its conversation, at the moment
// they are told, and nobody else; a private group's files reach only its members.
#include <algorithm>

#include "engine_fixture.h"

namespace engine_test {
namespace {

TEST(Delivery, AMessageReachesItsReadersOnlyAndNotTheSessionThatSentIt) {
  Team team;
  engine::Session alice = team.SignIn("alice"), alice_phone = team.SignIn("alice"), bob = team.SignIn("bob");
  engine::Session newbie = team.SignIn("newbie", "init1234");
  // #random: alice, bob, lilei and hanmeimei; newbie is not in it.
  ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-random", "午饭？")).ok);
  EXPECT_EQ(team.Texts(team.Events(bob)), std::vector<std::string>{"午饭？"});
  EXPECT_EQ(team.Texts(team.Events(alice_phone)), std::vector<std::string>{"午饭？"});
  EXPECT_TRUE(team.Texts(team.Events(alice)).empty());  // it had the message in its answer
  EXPECT_TRUE(team.Texts(team.Events(newbie)).empty());

  // bob hears the counts that moved with it; alice's other session hears hers.
  ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-random", "一点？")).ok);
  std::vector<engine::Event> heard = team.Events(bob);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1].name, "unread");
  EXPECT_EQ(Parse(heard[1].body)["num_unread"], 2);

  // A direct message opens the chat for its peer first.
  const std::string im = team.Call(newbie, "ims.new", json{{"uid", "u-bob"}}).body["im"].value("im_id", "");
  ASSERT_FALSE(im.empty());
  ASSERT_TRUE(team.Call(newbie, "messages.send", Text(im, "你好")).ok);
  heard = team.Events(bob);
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0].name, "im");
  EXPECT_EQ(Parse(heard[0].body)["im"]["to_uid"], "u-newbie");
  EXPECT_EQ(team.Texts(heard), std::vector<std::string>{"你好"});
  EXPECT_TRUE(team.Events(alice).empty());
}

TEST(Delivery, APrivateGroupAndItsFilesStayWithItsMembersAsTheyAreWhenTold) {
  Team team;
  engine::Session alice = team.SignIn("alice"), bob = team.SignIn("bob"), lilei = team.SignIn("lilei");
  Answer made = team.Call(alice, "channels.create",
                          json{{"name", "plans"}, {"type", 2}, {"member_uids", json::array({"u-bob"})}});
  ASSERT_TRUE(made.ok);
  const std::string group = made.body["channel"].value("channel_id", "");
  team.Events(bob);
  EXPECT_TRUE(team.Events(lilei).empty());  // not even that it exists

  ASSERT_TRUE(team.Call(alice, "messages.send", Text(group, "秘密")).ok);
  Answer upload = team.Call(alice, "files.upload", json{{"file_name", "plan.txt"}, {"channel_id", group}}, "the plan");
  ASSERT_TRUE(upload.ok);
  const json entity = upload.body["message"]["entity"];
  const std::string entity_id = entity.value("entity_id", ""), url = "https://files.veltrina.demo/" +
                                                                      entity.value("path", "") + ".txt";
  EXPECT_EQ(team.Texts(team.Events(bob)), (std::vector<std::string>{"秘密", "上传了文件: plan.txt"}));
  EXPECT_TRUE(team.Events(lilei).empty());

  // The file itself: its bytes, its record and the group's file list.
  EXPECT_EQ(team.engine->Download(&bob, url, 0).data, "the plan");
  EXPECT_EQ(team.engine->Download(&lilei, url, 0).code, 404);
  EXPECT_TRUE(team.engine->Download(&lilei, url, 0).data.empty());
  EXPECT_TRUE(team.Call(bob, "entities.get", json{{"entity_id", entity_id}}).ok);
  EXPECT_EQ(team.Call(lilei, "entities.get", json{{"entity_id", entity_id}}).code, 404);
  EXPECT_EQ(team.Call(lilei, "entities.list", json{{"channel_id", group}}).code, 404);
  EXPECT_EQ(team.Call(lilei, "entities.comment", json{{"entity_id", entity_id}, {"content", "?"}}).code, 404);
  EXPECT_EQ(team.Call(lilei, "messages.history", json{{"channel_id", group}}).code, 404);
  EXPECT_EQ(team.Call(lilei, "messages.send", Text(group, "我也来")).code, 404);

  // Membership counts when the change is told, not when it was made: bob leaves, then polls.
  ASSERT_TRUE(team.Call(alice, "messages.send", Text(group, "bob 还在时")).ok);
  ASSERT_TRUE(team.Call(bob, "channels.leave", json{{"channel_id", group}}).ok);
  for (const engine::Event& e : team.Events(bob)) EXPECT_NE(e.name, "message") << e.body;
  EXPECT_EQ(team.engine->Download(&bob, url, 0).code, 404);
  // A member invited later hears of the group, and may read and fetch what it holds.
  ASSERT_TRUE(team.Call(alice, "channels.invite", json{{"channel_id", group}, {"uid", "u-lilei"}}).ok);
  std::vector<engine::Event> heard = team.Events(lilei);
  EXPECT_TRUE(std::any_of(heard.begin(), heard.end(), [](const engine::Event& e) { return e.name == "channel"; }));
  EXPECT_EQ(team.Texts(heard).back(), "<@u-alice> 邀请 <@u-lilei> 加入了 <#" + group + ">");
  EXPECT_EQ(team.engine->Download(&lilei, url, 0).data, "the plan");
}

TEST(Delivery, SessionsOfAnotherTeamHearNothing) {
  Team team;
  engine::Session alice = team.SignIn("alice"), carol = team.SignIn("carol", "veltrina", "t-acme");
  ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", "全员")).ok);
  team.engine->SetPresence("t-demo", "u-bob", 2);
  EXPECT_TRUE(team.Events(carol).empty());
  EXPECT_EQ(team.Call(carol, "messages.send", Text("c-general", "跨团队")).code, 404);
  EXPECT_EQ(team.Call(carol, "messages.history", json{{"channel_id", "c-general"}}).code, 404);
}

}  // namespace
}  // namespace engine_test
