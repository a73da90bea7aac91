#pragma once
// The team engine on a real store (a SQLite file, or a database of the tests' PostgreSQL), as the
// server hosts it, with fast in-memory ports for the rest: a host can be stopped and started
// again on the same store, and two hosts may share one PostgreSQL database.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fake_ports.h"
#include "json_util.h"
#include "pg_cluster.h"
#include "pg_store.h"
#include "sqlite_store.h"
#include "veltrina/engine/engine.h"
#include "veltrina/engine/state.h"

namespace store_test {

using veltrina::internal::json;
namespace engine = veltrina::engine;
using veltrina::server::DiskBlobs;
using veltrina::server::PgStore;
using veltrina::server::ServerStore;
using veltrina::server::SqliteStore;
using namespace engine_fakes;

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltrina-store-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

enum class Backend { kSqlite, kPostgres };

inline std::string Name(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
}

// Where a test's store lives: files in a folder, and the records in the folder's SQLite file or
// in a database of its own on the tests' PostgreSQL.
struct Target {
  Backend backend = Backend::kSqlite;
  std::string folder;
  std::string database;  // PostgreSQL's address

  std::unique_ptr<ServerStore> Open(std::string* error) const {
    if (backend == Backend::kSqlite) return SqliteStore::Open(folder + "/state.db", error);
    return PgStore::Open(database, error);
  }
  // A number read straight from the store, beside its own connection (-1 when it cannot be).
  int64_t Query(const std::string& sql) const;
  bool Execute(const std::string& sql) const;
  // Drops everything stored (a new database or file).
  void Reset();
};

// One run of the server's engine on a target's records and files.
class Host {
 public:
  explicit Host(const Target& target, engine::Options options = engine::Options())
      : blobs(target.folder + "/files") {
    std::string error;
    store = target.Open(&error);
    EXPECT_TRUE(store) << error;
    if (!store) return;
    store->SetLog([this](const std::string& line) { log += line + "\n"; });
    Reload(std::move(options));
    EXPECT_TRUE(store->EndBatch());  // the seeding, when the file was empty
  }

  // A new engine on what the store holds now, as the host does when it finds itself behind.
  void Reload(engine::Options options = engine::Options()) {
    engine.reset();
    engine = std::make_unique<engine::Engine>(
        engine::Ports{.clock = &clock, .random = &random, .passwords = &passwords, .store = store.get(), .blobs = &blobs, .log = {}},
        std::move(options));
  }

  engine::Session SignIn(const std::string& user, const std::string& password = "veltrina") {
    if (!engine) return engine::Session{};
    engine::Outcome out = engine->Handle(
        nullptr, "auth.login",
        veltrina::internal::Dump(json{{"username", user}, {"password", password}, {"team_id", "t-demo"}}));
    EXPECT_TRUE(out.reply.ok) << user << ": " << out.reply.error;
    return out.signed_in.value_or(engine::Session{});
  }
  // One request; the batch stays open.
  json Call(const engine::Session& session, const std::string& method, const json& params = json::object(),
            const std::string& data = std::string()) {
    if (!engine) return json();
    ++clock.now;
    engine::Outcome out = engine->Handle(&session, method, veltrina::internal::Dump(params), data);
    EXPECT_TRUE(out.reply.ok) << method << ": " << out.reply.error;
    return veltrina::internal::Parse(out.reply.body);
  }
  // One request whose failure is expected.
  veltrina::backend::Reply Try(const engine::Session& session, const std::string& method, const json& params) {
    ++clock.now;
    return engine->Handle(&session, method, veltrina::internal::Dump(params)).reply;
  }
  std::string Saved() const { return engine ? engine::StateToJson(engine->state()).dump() : std::string(); }

  FakeClock clock;
  CountingRandom random;
  TestPasswords passwords;
  DiskBlobs blobs;
  std::unique_ptr<ServerStore> store;
  std::unique_ptr<engine::Engine> engine;
  std::string log;
};

// Each case runs on both stores; the PostgreSQL ones skip without PostgreSQL (fail under CI).
class StoreTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    target_.backend = GetParam();
    target_.folder = dir.path();
    if (GetParam() == Backend::kPostgres) {
      VELTRINA_REQUIRE_PG();
      target_.database = server_test::PgNewDatabase();
      ASSERT_FALSE(target_.database.empty());
    }
  }
  const Target& target() const { return target_; }
  Target& mutable_target() { return target_; }
  bool postgres() const { return GetParam() == Backend::kPostgres; }

  TempDir dir;

 private:
  Target target_;
};

inline json Text(const std::string& conversation, const std::string& text) {
  return json{{"message", {{"channel_id", conversation}, {"content", text}}}};
}

}  // namespace store_test
