// The server's store: what a batch commits is what a restart finds, a batch that fails or never
// ends leaves the file as it was, and files never show half-written.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "store_fixture.h"

namespace store_test {

namespace {

// A number read straight from a SQLite file, beside the store's own connection.
int64_t Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  int64_t value = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
      value = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return value;
}

bool Execute(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

}  // namespace

int64_t Target::Query(const std::string& sql) const {
  if (backend == Backend::kSqlite) return store_test::Query(folder + "/state.db", sql);
  std::string value;
  if (!server_test::PgExec(database, sql, &value)) return -1;
  return value.empty() ? -1 : std::stoll(value);
}

bool Target::Execute(const std::string& sql) const {
  if (backend == Backend::kSqlite) return store_test::Execute(folder + "/state.db", sql.c_str());
  return server_test::PgExec(database, sql);
}

void Target::Reset() {
  if (backend == Backend::kPostgres) {
    database = server_test::PgNewDatabase();
    return;
  }
  for (const char* name : {"/state.db", "/state.db-wal", "/state.db-shm"}) std::filesystem::remove_all(folder + name);
}

namespace {

std::vector<std::string> Contents(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A day of a team: messages (one repeated by its client), a new channel and group, an upload
// with a comment, read marks, a direct chat opened and written in, feedback, a new password.
void Workday(Host& host) {
  engine::Session alice = host.SignIn("alice"), bob = host.SignIn("bob");
  engine::Session newbie = host.SignIn("newbie", "init1234");
  json sent = Text("c-random", "午饭？");
  sent["client_msg_id"] = "c1";
  host.Call(alice, "messages.send", sent);
  host.Call(alice, "messages.send", sent);  // the same message, answered from sent_ids
  const std::string channel = host.Call(alice, "channels.create", json{{"name", "plans"}})["channel"].value("channel_id", "");
  host.Call(alice, "channels.invite", json{{"channel_id", channel}, {"uid", "u-bob"}});
  host.Call(alice, "channels.create", json{{"name", "secret"}, {"type", 2}, {"member_uids", json::array({"u-bob"})}});
  host.Call(alice, "channels.leave", json{{"channel_id", "c-design"}});
  const json upload =
      host.Call(bob, "files.upload", json{{"file_name", "plan.txt"}, {"channel_id", channel}, {"comment", "看看"}}, "the plan");
  host.Call(alice, "entities.comment",
            json{{"entity_id", upload["message"]["entity"].value("entity_id", "")}, {"content", "好"}});
  host.Call(alice, "messages.mark_read", json{{"channel_id", channel}, {"time", host.clock.now}});
  const std::string im = host.Call(newbie, "ims.new", json{{"uid", "u-bob"}})["im"].value("im_id", "");
  host.Call(newbie, "messages.send", Text(im, "你好"));
  host.Call(bob, "ims.close", json{{"im_id", "im-alice-bob"}});
  host.Call(newbie, "auth.init_password", json{{"password", "better-one"}});
  engine::Outcome feedback = host.engine->Handle(nullptr, "web.feedback", json{{"description", "很好"}}.dump());
  EXPECT_TRUE(feedback.reply.ok);
  host.engine->SetPresence("t-demo", "u-lilei", 2);
}

TEST_P(StoreTest, WhatABatchCommittedIsWhatARestartFinds) {
  std::string before;
  {
    Host host(target());
    Workday(host);
    // The simulated chatter is kept bounded: the oldest of it is removed as more arrives.
    for (int i = 0; i < 420; ++i) {
      veltrina::Message m;
      m.set_uid("u-lilei");
      m.set_channel_id("c-dev");
      m.set_content("chatter " + std::to_string(i));
      host.engine->Post("t-demo", m, true);
    }
    ASSERT_TRUE(host.store->EndBatch());
    before = host.Saved();
    // Every commit writes the next id: one handed out for a record since removed is not reused.
    EXPECT_EQ(target().Query("SELECT value FROM meta WHERE key = 'next_id'"), host.engine->NextId());
  }
  Host again(target());
  EXPECT_EQ(again.Saved(), before);
  EXPECT_EQ(again.engine->NextId(), json::parse(before).at("next_id").get<int64_t>());
  EXPECT_LE(target().Query("SELECT count(*) FROM messages WHERE conversation = 'c-dev'"), 400);
  // It goes on from there: new ids are new, the answers of a repeated send are the first one's.
  engine::Session alice = again.SignIn("alice");
  json sent = Text("c-random", "午饭？");
  sent["client_msg_id"] = "c1";
  std::string first;
  const json saved = json::parse(before);
  for (const json& team : saved["teams"])
    if (team["team"]["team_id"] == "t-demo") first = team.at("sent_ids").value("u-alice\nc1", "");
  EXPECT_EQ("c-random\n" + again.Call(alice, "messages.send", sent)["message"].value("key", ""), first);
  engine::Session newbie = again.SignIn("newbie", "better-one");
  EXPECT_FALSE(newbie.uid.empty());
}

TEST_P(StoreTest, ARequestWritesTheRowsItTouchedOnly) {
  for (bool large : {false, true}) {
    engine::Options options;
    options.large_team = large;
    mutable_target().Reset();
    Host host(target(), options);
    engine::Session alice = host.SignIn("alice");
    ASSERT_TRUE(host.store->EndBatch());
    const int64_t before = host.store->RowsWritten();
    json sent = Text("c-general", "hi");
    sent["client_msg_id"] = "once";
    host.Call(alice, "messages.send", sent);
    ASSERT_TRUE(host.store->EndBatch());
    // The message, its sender's read mark, the sent id, the team's sequence number, its entry in
    // the change log, the next id.
    EXPECT_EQ(host.store->RowsWritten() - before, 6) << (large ? "large team" : "small team");
  }
}

TEST_P(StoreTest, ABatchThatFailsToCommitLeavesThePreviousStateAndTheNextBatchCatchesUp) {
  Host host(target());
  engine::Session alice = host.SignIn("alice");
  host.Call(alice, "messages.send", Text("c-random", "kept"));
  ASSERT_TRUE(host.store->EndBatch());
  const std::string kept = host.Saved();

  // In the next batch a request is stored, then a write that COMMIT refuses (a user of a team
  // the file has no row for): the batch fails whole.
  host.Call(alice, "messages.send", Text("c-random", "lost with its batch"));
  engine::State ghost = host.engine->state();
  ghost.teams.push_back(engine::TeamData{});
  ghost.teams.back().team.set_team_id("t-ghost");
  veltrina::User user;
  user.set_uid("u-ghost");
  ghost.teams.back().users.push_back(user);
  ASSERT_TRUE(host.store->Commit(ghost, engine::Delta{.touched = {{engine::RecordKind::kUser, "t-ghost", "u-ghost"}}}));
  EXPECT_FALSE(host.store->EndBatch());
  EXPECT_NE(host.log.find("cannot be committed"), std::string::npos) << host.log;
  {
    Host reader(target());
    EXPECT_EQ(reader.Saved(), kept);
  }

  // The engine still holds what the failed batch had: the next commit writes all of it.
  host.Call(alice, "messages.send", Text("c-random", "after"));
  ASSERT_TRUE(host.store->EndBatch());
  const std::string now = host.Saved();
  host.store.reset();
  Host reader(target());
  EXPECT_EQ(reader.Saved(), now);
  EXPECT_NE(now.find("lost with its batch"), std::string::npos);
}

TEST_P(StoreTest, ABatchThatCannotBeginFailsWholeEvenIfTheLockIsFreedWithinIt) {
  if (postgres()) GTEST_SKIP() << "SQLite's file lock; PostgreSQL's writers queue on their lock";
  Host host(target());
  static_cast<SqliteStore&>(*host.store).SetBusyTimeout(50);
  engine::Session alice = host.SignIn("alice");
  host.Call(alice, "messages.send", Text("c-random", "kept"));
  ASSERT_TRUE(host.store->EndBatch());
  const std::string kept = host.Saved();

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "state.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(host.Try(alice, "messages.send", Text("c-random", "refused")).code, 503);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  // The lock is gone, but this request belongs to the batch that lost its first one.
  EXPECT_EQ(host.Try(alice, "messages.send", Text("c-random", "same batch")).code, 503);
  EXPECT_FALSE(host.store->EndBatch());
  {
    Host reader(target());
    EXPECT_EQ(reader.Saved(), kept);
  }
  host.Call(alice, "messages.send", Text("c-random", "next batch"));
  ASSERT_TRUE(host.store->EndBatch());
  const std::string now = host.Saved();
  host.store.reset();
  EXPECT_EQ(Host(target()).Saved(), now);
}

TEST_P(StoreTest, ATouchedRecordThatIsGoneIsRemoved) {
  Host host(target());
  engine::State state = host.engine->state();
  engine::TeamData& team = *state.FindTeam("t-demo");
  std::erase_if(team.channels, [](const veltrina::Channel& c) { return c.channel_id() == "c-old"; });
  std::erase_if(team.chats, [](const engine::DirectChat& c) { return c.im_id == "im-alice-bob"; });
  team.cursors.clear();
  state.accounts.erase(state.accounts.begin());
  engine::Delta delta;
  delta.touched = {{engine::RecordKind::kChannel, "t-demo", "c-old"},
                   {engine::RecordKind::kChat, "t-demo", "im-alice-bob"},
                   {engine::RecordKind::kCursor, "t-demo", "u-alice\nc-general"},
                   {engine::RecordKind::kAccount, "", host.engine->state().accounts[0].team_id + "\n" +
                                                          host.engine->state().accounts[0].uid}};
  ASSERT_TRUE(host.store->Commit(state, delta));
  ASSERT_TRUE(host.store->EndBatch());
  EXPECT_EQ(target().Query("SELECT count(*) FROM channels WHERE channel_id = 'c-old'"), 0);
  EXPECT_EQ(target().Query("SELECT count(*) FROM chats WHERE im_id = 'im-alice-bob'"), 0);
  EXPECT_EQ(target().Query("SELECT count(*) FROM cursors WHERE uid = 'u-alice' AND conversation = 'c-general'"), 0);
  EXPECT_EQ(target().Query("SELECT count(*) FROM accounts"), static_cast<int64_t>(state.accounts.size()));
  EXPECT_GT(target().Query("SELECT count(*) FROM cursors"), 0);  // the others stay
  EXPECT_GT(target().Query("SELECT count(*) FROM chats"), 0);
}

TEST_P(StoreTest, ACrashBeforeTheBatchEndsLosesThatBatchOnly) {
  { Host seed(target()); }
  const std::string expected_file = dir / "expected.json";
  // The server dies (no destructor runs) in the middle of its second batch.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Host host(target());
    engine::Session alice = host.SignIn("alice");
    host.Call(alice, "messages.send", Text("c-random", "committed"));
    host.Call(alice, "channels.create", json{{"name", "committed-channel"}});
    const bool ended = host.store->EndBatch();
    std::ofstream(expected_file) << host.Saved();
    host.Call(alice, "messages.send", Text("c-random", "uncommitted"));
    host.Call(alice, "channels.create", json{{"name", "uncommitted-channel"}});
    host.Call(alice, "messages.mark_read", json{{"channel_id", "c-random"}, {"time", host.clock.now}});
    _exit(ended ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string expected((std::istreambuf_iterator<char>(std::ifstream(expected_file).rdbuf())),
                       std::istreambuf_iterator<char>());
  Host after(target());
  EXPECT_EQ(after.Saved(), expected);
  EXPECT_NE(expected.find("committed-channel"), std::string::npos);
  EXPECT_EQ(expected.find("uncommitted"), std::string::npos);

  // A store closed with its batch open does the same.
  after.Call(after.SignIn("alice"), "messages.send", Text("c-random", "dropped"));
  after.engine.reset();
  after.store.reset();
  Host last(target());
  EXPECT_EQ(last.Saved(), expected);
}

TEST_P(StoreTest, AnOlderFileIsMigratedStepByStepAndANewerOneRefused) {
  if (postgres()) GTEST_SKIP() << "SQLite's files; PostgreSQL's databases have a case of their own";
  std::string error;
  // An empty file is version 0.
  std::ofstream(dir / "empty.db").close();
  auto store = SqliteStore::Open(dir / "empty.db", &error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(store->SchemaVersion(), SqliteStore::kSchemaVersion);
  EXPECT_EQ(Query(dir / "empty.db", "PRAGMA user_version"), SqliteStore::kSchemaVersion);
  engine::State nothing;
  EXPECT_EQ(store->Load(&nothing), engine::Store::Loaded::kEmpty);
  store.reset();
  EXPECT_TRUE(SqliteStore::Open(dir / "empty.db", &error)) << error;  // opened again as it is

  ASSERT_TRUE(Execute(dir / "newer.db", "CREATE TABLE future(x); PRAGMA user_version = 99"));
  error.clear();
  EXPECT_FALSE(SqliteStore::Open(dir / "newer.db", &error));
  EXPECT_NE(error.find("newer"), std::string::npos) << error;
  EXPECT_EQ(Query(dir / "newer.db", "PRAGMA user_version"), 99);

  // A step that fails is undone whole: the file stays at its version, without half the tables.
  ASSERT_TRUE(Execute(dir / "clash.db", "CREATE TABLE tokens(x)"));
  error.clear();
  EXPECT_FALSE(SqliteStore::Open(dir / "clash.db", &error));
  EXPECT_NE(error.find("from version 0"), std::string::npos) << error;
  EXPECT_EQ(Query(dir / "clash.db", "PRAGMA user_version"), 0);
  EXPECT_EQ(Query(dir / "clash.db", "SELECT count(*) FROM sqlite_schema WHERE name = 'teams'"), 0);
}

TEST_P(StoreTest, AnUnreadableRecordMakesTheStoreUnavailableWithTheReasonLogged) {
  { Host seed(target()); }
  ASSERT_TRUE(target().Execute("UPDATE users SET record = 'not json' WHERE uid = 'u-bob'"));
  auto store = target().Open(nullptr);
  ASSERT_TRUE(store);
  std::string log;
  store->SetLog([&](const std::string& line) { log += line; });
  engine::State state;
  EXPECT_EQ(store->Load(&state), engine::Store::Loaded::kUnavailable);
  EXPECT_NE(log.find("not JSON"), std::string::npos) << log;
}

TEST_P(StoreTest, TokensAreKeptByTheirBatchAndDroppedWhenExpired) {
  auto store = target().Open(nullptr);
  ASSERT_TRUE(store);
  const veltrina::server::TokenRecord token{"t-demo", "u-alice", 0xF000'0000'0000'0001ull, 2000};
  ASSERT_TRUE(store->PutToken("hash-a", token));
  ASSERT_TRUE(store->PutToken("hash-b", {"t-demo", "u-bob", 7, 1000}));
  engine::State state;  // a load in the middle of a batch reads through it
  EXPECT_EQ(store->Load(&state), engine::Store::Loaded::kEmpty);
  ASSERT_TRUE(store->EndBatch());
  std::optional<veltrina::server::TokenRecord> found = store->FindToken("hash-a");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->uid, "u-alice");
  EXPECT_EQ(found->session_id, token.session_id);  // all 64 bits
  EXPECT_EQ(found->expires_at, 2000);
  EXPECT_FALSE(store->FindToken("hash-c"));

  EXPECT_EQ(store->DeleteExpiredTokens(1500), 1);
  ASSERT_TRUE(store->EndBatch());
  EXPECT_FALSE(store->FindToken("hash-b"));
  // A deletion whose batch is not committed is not kept.
  ASSERT_TRUE(store->DeleteToken("hash-a"));
  EXPECT_FALSE(store->FindToken("hash-a"));
  store.reset();
  store = target().Open(nullptr);
  EXPECT_TRUE(store->FindToken("hash-a"));
  ASSERT_TRUE(store->DeleteToken("hash-a"));
  ASSERT_TRUE(store->EndBatch());
  store.reset();
  store = target().Open(nullptr);
  EXPECT_FALSE(store->FindToken("hash-a"));
}

TEST_P(StoreTest, SignInsAreCountedByTheirBatchAndForgottenPastTheWindow) {
  auto store = target().Open(nullptr);
  ASSERT_TRUE(store);
  ASSERT_TRUE(store->AddSignIn("failure\nt-demo/\nbob", 100, 0));
  ASSERT_TRUE(store->AddSignIn("failure\nt-demo/\nbob", 160, 0));
  ASSERT_TRUE(store->AddSignIn("attempt\n10.0.0.1", 160, 0));
  ASSERT_TRUE(store->EndBatch());
  ASSERT_TRUE(store->AddSignIn("failure\nt-demo/\nbob", 170, 0));
  store.reset();  // its batch never ends
  store = target().Open(nullptr);
  EXPECT_EQ(store->CountSignIns("failure\nt-demo/\nbob", 0), 2);  // after a restart too
  EXPECT_EQ(store->CountSignIns("failure\nt-demo/\nbob", 150), 1);
  EXPECT_EQ(store->CountSignIns("attempt\n10.0.0.1", 0), 1);
  EXPECT_EQ(store->CountSignIns("failure\nt-demo/\nalice", 0), 0);
  // Each new entry forgets those older than its window, whatever their key.
  ASSERT_TRUE(store->AddSignIn("attempt\n10.0.0.2", 400, 150));
  ASSERT_TRUE(store->EndBatch());
  EXPECT_EQ(target().Query("SELECT count(*) FROM sign_ins"), 3);
}

TEST_P(StoreTest, ALargeTeamIsStoredByWhatChangedOfIt) {
  engine::Options large;
  large.large_team = true;
  large.large_team_seed = 7;
  std::string before, joined;
  {
    Host host(target(), large);
    engine::Session alice = host.SignIn("alice");
    for (const veltrina::Channel& c : host.engine->state().teams[0].channels) {
      const auto& members = c.member_uids();
      if (joined.empty() && c.channel_id().starts_with("c-x") && !c.is_archived() &&
          std::find(members.begin(), members.end(), "u-alice") == members.end())
        joined = c.channel_id();
    }
    ASSERT_FALSE(joined.empty());
    host.Call(alice, "channels.join", json{{"channel_id", joined}});  // a generated channel changes
    host.Call(alice, "messages.send", Text(joined, "hello"));
    host.Call(alice, "messages.mark_read", json{{"channel_id", "c-x005"}, {"time", host.clock.now}});
    host.Call(alice, "ims.close", json{{"im_id", "im-x001"}});
    ASSERT_TRUE(host.store->EndBatch());
    before = host.Saved();
  }
  Host again(target(), large);
  EXPECT_EQ(again.Saved(), before);
  const json saved = json::parse(before);
  const json generated = saved["teams"][0]["generated"];
  EXPECT_TRUE(generated["channels"].contains(joined)) << generated.dump();
  EXPECT_TRUE(generated["chats"].contains("im-x001")) << generated.dump();
  // Thousands of members and hundreds of conversations, none of them a row.
  EXPECT_LT(target().Query("SELECT count(*) FROM users"), 50);
  EXPECT_LT(target().Query("SELECT count(*) FROM channels"), 50);
  EXPECT_LT(target().Query("SELECT count(*) FROM chats"), 50);
  EXPECT_LT(target().Query("SELECT max(length(record)) FROM channels"), 4000);  // #general without them
}

TEST(DiskBlobs, KeepsFilesUnderTheirNamesOnly) {
  TempDir dir;
  DiskBlobs blobs(dir / "files");
  ASSERT_TRUE(blobs.Put("e-1001.txt", "the plan"));
  std::string bytes;
  EXPECT_EQ(blobs.Get("e-1001.txt", 0, &bytes), engine::Blobs::Read::kOk);
  EXPECT_EQ(bytes, "the plan");
  EXPECT_EQ(blobs.Get("e-1001.txt", 8, &bytes), engine::Blobs::Read::kOk);
  EXPECT_EQ(blobs.Get("e-1001.txt", 7, &bytes), engine::Blobs::Read::kTooLarge);
  EXPECT_EQ(blobs.Get("e-1002", 0, &bytes), engine::Blobs::Read::kMissing);
  EXPECT_EQ(blobs.PathOf("e-1001.txt"), dir / "files/e-1001.txt");
  EXPECT_EQ(Contents(dir / "files"), std::vector<std::string>{"e-1001.txt"});  // no temporary left

  std::ofstream(dir / "outside") << "secret";
  for (const char* bad : {"", "../outside", "a/b", "a\\b", ".hidden", "..", "x..y", ".e-1001.txt.part"}) {
    EXPECT_FALSE(blobs.Put(bad, "x")) << bad;
    EXPECT_EQ(blobs.Get(bad, 0, &bytes), engine::Blobs::Read::kMissing) << bad;
    EXPECT_EQ(blobs.PathOf(bad), "") << bad;
  }
  EXPECT_EQ(Contents(dir / "files"), std::vector<std::string>{"e-1001.txt"});

  // A write that cannot be put in place leaves nothing behind.
  std::filesystem::create_directories(dir / "files/e-1003.png/inside");
  EXPECT_FALSE(blobs.Put("e-1003.png", "png"));
  EXPECT_EQ(Contents(dir / "files"), (std::vector<std::string>{"e-1001.txt", "e-1003.png"}));

  // A streamed upload moves in; what a crash left half-written is cleared at the next start.
  std::ofstream(dir / "upload.tmp") << "streamed";
  ASSERT_TRUE(blobs.Adopt("e-1004.bin", dir / "upload.tmp"));
  EXPECT_EQ(blobs.Get("e-1004.bin", 0, &bytes), engine::Blobs::Read::kOk);
  EXPECT_EQ(bytes, "streamed");
  EXPECT_FALSE(std::filesystem::exists(dir / "upload.tmp"));
  // Only once nobody has written to it for a while: a server beside this one, on the same
  // folder, may be writing it now.
  std::ofstream(dir / "files/.e-1005.part") << "half";
  std::ofstream(dir / "files/.e-1006.part") << "being written";
  std::filesystem::last_write_time(dir / "files/.e-1005.part",
                                   std::filesystem::file_time_type::clock::now() - DiskBlobs::kPartFileKept - std::chrono::minutes(1));
  DiskBlobs restarted(dir / "files");
  EXPECT_FALSE(std::filesystem::exists(dir / "files/.e-1005.part"));
  EXPECT_TRUE(std::filesystem::exists(dir / "files/.e-1006.part"));
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, ::testing::Values(Backend::kSqlite, Backend::kPostgres), Name);

}  // namespace
}  // namespace store_test
