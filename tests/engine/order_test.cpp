// Numbers, order and exactly once: every change has the next number of its team, a reader gets
// what came after its number in order, a repeated send stores nothing, and nothing is answered
// before the store kept it.
#include "engine_fixture.h"
#include "veltrina/engine/state.h"

namespace engine_test {
namespace {

size_t Stored(Team& team, const engine::Session& s, const std::string& conversation, const std::string& text) {
  size_t n = 0;
  const Answer page = team.Call(s, "messages.history", json{{"channel_id", conversation}, {"count", 200}});
  for (const json& m : page.body["messages"]) n += m.value("content", "") == text;
  return n;
}

TEST(Order, ASendRepeatedWithItsClientIdIsStoredOnceAndToldOnce) {
  Team team;
  engine::Session alice = team.SignIn("alice"), bob = team.SignIn("bob");
  Answer first = team.Call(alice, "messages.send", Text("c-general", "只一次", "k-1"));
  const int64_t head = team.engine->Head("t-demo");
  Answer again = team.Call(alice, "messages.send", Text("c-general", "只一次", "k-1"));
  ASSERT_TRUE(first.ok && again.ok);
  EXPECT_EQ(again.body["message"]["key"], first.body["message"]["key"]);
  EXPECT_EQ(team.engine->Head("t-demo"), head);  // no change, no event
  EXPECT_EQ(Stored(team, bob, "c-general", "只一次"), 1u);
  EXPECT_EQ(team.Texts(team.Events(bob)), std::vector<std::string>{"只一次"});

  // The same id from another sender, or another id, is another message.
  ASSERT_TRUE(team.Call(bob, "messages.send", Text("c-general", "只一次", "k-1")).ok);
  ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", "只一次", "k-2")).ok);
  EXPECT_EQ(Stored(team, bob, "c-general", "只一次"), 3u);

  // It holds across a restart, and for uploads.
  team.Restart();
  engine::Session alice2 = team.SignIn("alice");
  EXPECT_EQ(team.Call(alice2, "messages.send", Text("c-general", "只一次", "k-1")).body["message"]["key"],
            first.body["message"]["key"]);
  json upload{{"file_name", "a.txt"}, {"channel_id", "c-general"}, {"client_upload_id", "u-1"}};
  Answer shared = team.Call(alice2, "files.upload", upload, "bytes");
  EXPECT_EQ(team.Call(alice2, "files.upload", upload, "bytes").body["message"]["key"], shared.body["message"]["key"]);
  EXPECT_EQ(team.blobs.files.size(), 1u);
}

TEST(Order, AReaderGetsExactlyTheChangesAfterItsNumberInOrderPageByPage) {
  Team team;
  engine::Session alice = team.SignIn("alice"), bob = team.SignIn("bob");
  const int64_t start = team.engine->Head("t-demo");
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", std::to_string(i))).ok);
  const int64_t mid = team.engine->Head("t-demo");
  for (int i = 30; i < 40; ++i) ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", std::to_string(i))).ok);

  // From `mid`: exactly the last ten, in order, each change numbered one above the one before.
  engine::Page page = team.engine->Poll(bob, mid);
  std::vector<std::string> texts = team.Texts(page.events);
  ASSERT_EQ(texts.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(texts[i], std::to_string(30 + i));
  EXPECT_EQ(page.next, team.engine->Head("t-demo"));
  EXPECT_FALSE(page.more);

  // In pages of seven changes from the start: nothing missed, nothing twice.
  std::vector<std::string> paged;
  int64_t since = start, last_seq = start;
  for (int pages = 0; pages < 100; ++pages) {
    page = team.engine->Poll(bob, since, 7);
    for (const engine::Event& e : page.events) {
      EXPECT_GT(e.seq, since);
      EXPECT_GE(e.seq, last_seq);
      last_seq = e.seq;
    }
    for (const std::string& t : team.Texts(page.events)) paged.push_back(t);
    since = page.next;
    if (!page.more) break;
  }
  ASSERT_EQ(paged.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(paged[i], std::to_string(i));
  EXPECT_TRUE(team.engine->Poll(bob, since).events.empty());
}

TEST(Order, APositionOlderThanTheKeptLogOrFromBeforeARestartAsksForAResync) {
  engine::Options small;
  small.kept_changes = 8;
  Team team(small);
  engine::Session alice = team.SignIn("alice"), bob = team.SignIn("bob");
  const int64_t start = team.engine->Head("t-demo");
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", "x")).ok);
  engine::Page page = team.engine->Poll(bob, start);
  EXPECT_TRUE(page.resync);
  EXPECT_TRUE(page.events.empty());
  EXPECT_EQ(page.next, team.engine->Head("t-demo"));

  // Numbers go on after a restart: none is handed out twice, and the old log is gone.
  const int64_t before = team.engine->Head("t-demo");
  team.Restart(small);
  EXPECT_EQ(team.engine->Head("t-demo"), before);
  engine::Session bob2 = team.SignIn("bob");
  EXPECT_TRUE(team.engine->Poll(bob2, before - 1).resync);
  ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", "after")).ok);  // an old session is still alice
  page = team.engine->Poll(bob2, before);
  ASSERT_EQ(page.events.size(), 2u);
  EXPECT_EQ(page.events[0].seq, before + 1);
}

TEST(Order, NothingIsAnsweredBeforeTheStoreKeptIt) {
  Team team;
  engine::Session alice = team.SignIn("alice");
  const int commits = team.store.commits;
  ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", "kept")).ok);
  EXPECT_EQ(team.store.commits, commits + 1);
  bool touched_message = false;
  for (const engine::Touched& t : team.store.last_delta.touched)
    touched_message |= t.kind == engine::RecordKind::kMessage && t.team_id == "t-demo";
  EXPECT_TRUE(touched_message);
  // Reading changes nothing.
  team.Call(alice, "messages.history", json{{"channel_id", "c-general"}});
  team.Call(alice, "channels.list");
  EXPECT_EQ(team.store.commits, commits + 1);

  team.store.refuse = true;
  Answer refused = team.Call(alice, "messages.send", Text("c-general", "lost"));
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.code, 503);
}

TEST(Order, AStateWrittenBeforeNumbersExistedLoadsAndNumbersFromOne) {
  Team seeded;
  json document = Parse(seeded.store.saved);
  for (json& t : document["teams"]) {
    t.erase("seq");
    t.erase("sent_ids");
  }
  Team team;
  team.store.saved = document.dump();
  team.Restart();
  EXPECT_EQ(team.engine->Head("t-demo"), 0);
  engine::Session alice = team.SignIn("alice"), bob = team.SignIn("bob");
  ASSERT_TRUE(team.Call(alice, "messages.send", Text("c-general", "hello")).ok);
  engine::Page page = team.engine->Poll(bob, 0);
  ASSERT_FALSE(page.events.empty());
  EXPECT_EQ(page.events[0].seq, 1);
}

}  // namespace
}  // namespace engine_test
