// What only the PostgreSQL store does: versions kept in the database, and several hosts on one
// database, each catching up with the others' commits before its next batch.
#include <future>
#include <thread>

#include "store_fixture.h"

namespace store_test {
namespace {

using Freshness = ServerStore::Freshness;

class PgStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VELTRINA_REQUIRE_PG();
    target_.backend = Backend::kPostgres;
    target_.folder = dir_.path();
    target_.database = server_test::PgNewDatabase();
    ASSERT_FALSE(target_.database.empty());
  }
  TempDir dir_;
  Target target_;
};

int64_t Version(const Target& target) {
  return target.Query("SELECT value::bigint FROM meta WHERE key = 'schema_version'");
}

TEST_F(PgStoreTest, AnOlderDatabaseIsMigratedStepByStepAndANewerOneRefused) {
  std::string error;
  auto store = PgStore::Open(target_.database, &error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(store->SchemaVersion(), PgStore::kSchemaVersion);
  EXPECT_EQ(Version(target_), PgStore::kSchemaVersion);
  EXPECT_EQ(target_.Query("SELECT count(*) FROM changes"), 0);  // the last step's table
  engine::State nothing;
  EXPECT_EQ(store->Load(&nothing), engine::Store::Loaded::kEmpty);
  EXPECT_TRUE(store->EndBatch());
  store.reset();
  EXPECT_TRUE(PgStore::Open(target_.database, &error)) << error;  // opened again as it is

  ASSERT_TRUE(target_.Execute("UPDATE meta SET value = '99' WHERE key = 'schema_version'"));
  error.clear();
  EXPECT_FALSE(PgStore::Open(target_.database, &error));
  EXPECT_NE(error.find("newer"), std::string::npos) << error;
  EXPECT_EQ(Version(target_), 99);

  // A step that fails is undone whole: the database stays at its version, without half the tables.
  target_.Reset();
  ASSERT_TRUE(target_.Execute("CREATE TABLE tokens(x int)"));
  error.clear();
  EXPECT_FALSE(PgStore::Open(target_.database, &error));
  EXPECT_NE(error.find("from version 0"), std::string::npos) << error;
  EXPECT_EQ(target_.Query("SELECT count(*) FROM pg_tables WHERE tablename IN ('meta', 'teams')"), 0);
}

// A statement that fails after the batch's writes undoes them all (PostgreSQL aborts the whole
// transaction): the batch must then report the failure, not a commit.
TEST_F(PgStoreTest, ABatchAbortedByAFailedReadReportsItsWritesLost) {
  auto store = PgStore::Open(target_.database, nullptr);
  ASSERT_TRUE(store);
  ASSERT_TRUE(store->PutToken("h", {"t-demo", "u-alice", 1, 99}));  // a sign-in's token only
  EXPECT_FALSE(store->FindToken("\xff\xfe not text"));  // refused by the server: not UTF-8
  EXPECT_FALSE(store->EndBatch());
  EXPECT_FALSE(store->FindToken("h"));
}

// Two processes' hosts on one database take turns: the second waits for the first's batch, sees
// that it is behind, loads again and goes on from the first's sequence numbers.
TEST_F(PgStoreTest, AHostBehindAnotherLoadsAgainBeforeItsBatchAndWaitsForTheOthersCommit) {
  Host a(target_);
  Host b(target_);  // after a's seeding: it loads what a stored
  ASSERT_TRUE(a.engine && b.engine);
  EXPECT_EQ(a.Saved(), b.Saved());

  ASSERT_EQ(a.store->BeginBatch(), Freshness::kCurrent);
  engine::Session alice = a.SignIn("alice");
  json sent = Text("c-general", "from a");
  sent["client_msg_id"] = "m1";
  a.Call(alice, "messages.send", sent);
  // b's batch waits while a's is open.
  auto begun = std::async(std::launch::async, [&] { return b.store->BeginBatch(); });
  EXPECT_EQ(begun.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  ASSERT_TRUE(a.store->EndBatch());
  ASSERT_EQ(begun.get(), Freshness::kStale);
  const int64_t head = a.engine->Head("t-demo");
  EXPECT_LT(b.engine->Head("t-demo"), head);
  b.Reload();
  EXPECT_EQ(b.engine->Head("t-demo"), head);
  // The same send repeated through b is answered with what a stored; a new one follows a's.
  engine::Session alice_at_b = b.SignIn("alice");
  const json again = b.Call(alice_at_b, "messages.send", sent);
  EXPECT_EQ(again["message"].value("content", ""), "from a");
  b.Call(alice_at_b, "messages.send", Text("c-general", "from b"));
  ASSERT_TRUE(b.store->EndBatch());
  EXPECT_EQ(target_.Query("SELECT count(*) FROM messages WHERE record LIKE '%from a%'"), 1);
  EXPECT_GT(b.engine->Head("t-demo"), head);

  // a is behind now; with nothing new since, it is current again after loading.
  EXPECT_EQ(a.store->BeginBatch(), Freshness::kStale);
  ASSERT_TRUE(a.store->EndBatch());
  a.Reload();
  ASSERT_TRUE(a.store->EndBatch());
  EXPECT_EQ(a.Saved(), b.Saved());
  EXPECT_EQ(a.store->BeginBatch(), Freshness::kCurrent);
  ASSERT_TRUE(a.store->EndBatch());
  // A batch that only catches up does not wait for the writer: it reads a snapshot.
  ASSERT_EQ(a.store->BeginBatch(), Freshness::kCurrent);
  a.Call(alice, "messages.send", Text("c-general", "unseen yet"));
  auto caught_up = std::async(std::launch::async, [&] { return b.store->BeginBatch(false); });
  ASSERT_EQ(caught_up.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(caught_up.get(), Freshness::kCurrent);  // a's batch is not committed yet
  ASSERT_TRUE(b.store->EndBatch());
  ASSERT_TRUE(a.store->EndBatch());
  EXPECT_EQ(b.store->BeginBatch(false), Freshness::kStale);
  ASSERT_TRUE(b.store->EndBatch());
  b.Reload();
  ASSERT_TRUE(b.store->EndBatch());
  EXPECT_EQ(a.Saved(), b.Saved());
  // A batch that only read, or wrote only tokens, leaves the others current.
  EXPECT_EQ(b.store->BeginBatch(), Freshness::kCurrent);
  ASSERT_TRUE(b.store->PutToken("h", {"t-demo", "u-alice", 1, 99}));
  ASSERT_TRUE(b.store->EndBatch());
  EXPECT_EQ(a.store->BeginBatch(), Freshness::kCurrent);
  EXPECT_TRUE(a.store->FindToken("h"));  // and the token is known to both
  ASSERT_TRUE(a.store->EndBatch());
}

}  // namespace
}  // namespace store_test
