#pragma once
// The team engine on a real SQLite file, as the server hosts it, with fast in-memory ports for
// the rest: a host can be stopped and started again on the same file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fake_ports.h"
#include "json_util.h"
#include "sqlite_store.h"
#include "veltrina/engine/engine.h"
#include "veltrina/engine/state.h"

namespace store_test {

using veltrina::internal::json;
namespace engine = veltrina::engine;
using veltrina::server::DiskBlobs;
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

// One run of the server's engine on `folder`'s database and files.
class Host {
 public:
  explicit Host(const std::string& folder, engine::Options options = engine::Options())
      : blobs(folder + "/files") {
    std::string error;
    store = SqliteStore::Open(folder + "/state.db", &error);
    EXPECT_TRUE(store) << error;
    if (!store) return;
    store->SetLog([this](const std::string& line) { log += line + "\n"; });
    engine = std::make_unique<engine::Engine>(
        engine::Ports{.clock = &clock, .random = &random, .passwords = &passwords, .store = store.get(), .blobs = &blobs, .log = {}},
        std::move(options));
    EXPECT_TRUE(store->EndBatch());  // the seeding, when the file was empty
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
  std::unique_ptr<SqliteStore> store;
  std::unique_ptr<engine::Engine> engine;
  std::string log;
};

inline json Text(const std::string& conversation, const std::string& text) {
  return json{{"message", {{"channel_id", conversation}, {"content", text}}}};
}

}  // namespace store_test
