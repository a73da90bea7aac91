#pragma once
// The team engine with ports held in memory, driven request by request as a host drives it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "json_util.h"
#include "veltrina/engine/engine.h"
#include "fake_ports.h"
#include "veltrina/engine/ports.h"

namespace engine_test {

using veltrina::internal::json;
using veltrina::internal::Parse;
namespace engine = veltrina::engine;
using namespace engine_fakes;

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

struct Answer {
  bool ok = false;
  int64_t code = 0;
  json body;
  std::string data;
};

// A messages.send's parameters; `client_id` makes a repeat of it recognisable.
inline json Text(const std::string& conversation, const std::string& text, const std::string& client_id = "") {
  json p{{"message", {{"channel_id", conversation}, {"content", text}}}};
  if (!client_id.empty()) p["client_msg_id"] = client_id;
  return p;
}

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
