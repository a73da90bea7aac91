#pragma once
// The service driven without sockets: requests go straight to Service::Handle and answers are
// caught as they are sent. The store keeps its state in memory and can be told to fail a commit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "fake_ports.h"
#include "json_util.h"
#include "server_store.h"
#include "service.h"
#include "veltrina/engine/engine.h"

namespace server_test {

using veltrina::internal::json;
using veltrina::internal::Parse;
namespace engine = veltrina::engine;
namespace server = veltrina::server;
using namespace engine_fakes;

// A messages.send's parameters; `client_id` makes a repeat of it recognisable.
inline json Text(const std::string& conversation, const std::string& text, const std::string& client_id = "") {
  json p{{"message", {{"channel_id", conversation}, {"content", text}}}};
  if (!client_id.empty()) p["client_msg_id"] = client_id;
  return p;
}

// Commits become visible to a restart only at EndBatch, as in a database.
class MemoryServerStore : public server::ServerStore {
 public:
  Loaded Load(engine::State* state) override;
  bool Commit(const engine::State& state, const engine::Delta& delta) override;
  bool EndBatch() override;
  bool PutToken(const std::string& hash, const server::TokenRecord& token) override;
  std::optional<server::TokenRecord> FindToken(const std::string& hash) override;
  bool DeleteToken(const std::string& hash) override;
  std::optional<int64_t> CountSignIns(const std::string& key, int64_t since) override;
  bool AddSignIn(const std::string& key, int64_t at, int64_t forget_before) override;

  std::mutex mutex;
  std::string saved, written;
  std::map<std::string, server::TokenRecord> tokens, written_tokens;
  std::multimap<std::string, int64_t> sign_ins;  // kept at once, as the tests need no rollback of them
  bool fail_next_batch = false;
  int batches = 0;
};

// The test hasher, as slow as a test asks: argon2id's pause without its cost.
class SlowPasswords : public TestPasswords {
 public:
  bool Verify(const std::string& password, const std::string& stored) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(verify_ms.load()));
    return TestPasswords::Verify(password, stored);
  }
  std::string Hash(const std::string& password) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(hash_ms.load()));
    return TestPasswords::Hash(password);
  }
  std::atomic<int> verify_ms{0};
  std::atomic<int> hash_ms{0};
};

// One answer, caught; Wait blocks until it came.
class Caught {
 public:
  server::Respond Catcher();
  // False when no answer came within `timeout`.
  bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  server::HttpResponse response;
  json Body() const;

 private:
  std::shared_ptr<struct CaughtState> state_;
};

class Server {
 public:
  explicit Server(server::ServiceOptions options = server::ServiceOptions());
  ~Server();
  // A new service on what the store kept.
  void Restart();
  // POSTs /api/v1/<method> and waits for the answer.
  server::HttpResponse Call(const std::string& method, const json& params, const std::string& token = "",
                            const std::string& address = "10.0.0.1");
  json Api(const std::string& method, const json& params, const std::string& token = "");
  // Signs in and returns the token.
  std::string SignIn(const std::string& user, const std::string& password = "veltrina");
  // Starts a poll and returns what catches its answer.
  std::unique_ptr<Caught> Poll(const std::string& token, int64_t since, int wait_seconds);
  server::HttpResponse Get(const std::string& path, const std::string& token);

  FakeClock clock;
  CountingRandom random;
  SlowPasswords passwords;
  server::CheckedPasswords checked{passwords};  // the engine's port: sign-ins checked off its thread
  MemoryServerStore store;
  MemoryBlobs blobs;
  server::ServiceOptions options;
  std::unique_ptr<server::Service> service;
};

}  // namespace server_test
