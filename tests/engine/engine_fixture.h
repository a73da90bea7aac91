#pragma once
// The team engine with ports held in memory, driven request by request as a host drives it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "json_util.h"
#include "veltrina/engine/engine.h"
#include "veltrina/engine/ports.h"

namespace engine_test {

using veltrina::internal::json;
using veltrina::internal::Parse;
namespace engine = veltrina::engine;

class FakeClock : public engine::Clock {
 public:
  int64_t Now() override { return now; }
  int64_t now = 1'800'000'000;
};

class CountingRandom : public engine::Random {
 public:
  uint64_t Next() override { return ++last * 0x9E3779B97F4A7C15ull; }
  uint64_t last = 0;
};

// Salted with nothing and fast: the tests are about the team, not about hashing.
class TestPasswords : public engine::PasswordHasher {
 public:
  std::string Hash(const std::string& password) override { return "test$" + password; }
  bool Verify(const std::string& password, const std::string& stored) override { return stored == "test$" + password; }
  bool NeedsUpgrade(const std::string& stored) override { return stored.rfind("test$", 0) != 0; }
  const std::string& Decoy() override { return decoy_; }

 private:
  std::string decoy_ = "test$\x01";
};

// Keeps the state as the JSON text of its last commit; a restart reads it back.
class MemoryStore : public engine::Store {
 public:
  Loaded Load(engine::State* state) override;
  bool Commit(const engine::State& state, const engine::Delta& delta) override;
  std::string saved;
  int commits = 0;
  bool refuse = false;  // Commit fails
  engine::Delta last_delta;
};

class MemoryBlobs : public engine::Blobs {
 public:
  bool Put(const std::string& name, const std::string& bytes) override {
    files[name] = bytes;
    return true;
  }
  Read Get(const std::string& name, uint64_t max_bytes, std::string* bytes) override;
  std::map<std::string, std::string> files;
};

struct Answer {
  bool ok = false;
  int64_t code = 0;
  json body;
  std::string data;
};

class Team {
 public:
  explicit Team(engine::Options options = engine::Options());
  // A new engine on what the store kept, as after a restart of the host.
  void Restart(engine::Options options = engine::Options());
  engine::Session SignIn(const std::string& user, const std::string& password = "veltrina",
                         const std::string& team = "t-demo");
  Answer Call(const engine::Session& session, const std::string& method, const json& params = json::object(),
              const std::string& data = std::string());
  // Every event the session has not polled yet (its position moves on).
  std::vector<engine::Event> Events(const engine::Session& session);
  // The "message" events' texts among `events`.
  static std::vector<std::string> Texts(const std::vector<engine::Event>& events);

  FakeClock clock;
  CountingRandom random;
  TestPasswords passwords;
  MemoryStore store;
  MemoryBlobs blobs;
  std::unique_ptr<engine::Engine> engine;
  std::map<uint64_t, int64_t> polled;  // session id -> position

 private:
  engine::Ports Ports();
};

}  // namespace engine_test
