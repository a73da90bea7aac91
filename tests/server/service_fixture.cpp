#include "service_fixture.h"

#include "veltrina/engine/state.h"

namespace server_test {

engine::Store::Loaded MemoryServerStore::Load(engine::State* state) {
  std::lock_guard<std::mutex> lock(mutex);
  written.clear();
  if (saved.empty()) return Loaded::kEmpty;
  return engine::StateFromJson(veltrina::internal::Parse(saved), state) ? Loaded::kState : Loaded::kUnavailable;
}

bool MemoryServerStore::Commit(const engine::State& state, const engine::Delta&) {
  std::lock_guard<std::mutex> lock(mutex);
  written = veltrina::internal::Dump(engine::StateToJson(state));
  return true;
}

bool MemoryServerStore::EndBatch() {
  std::lock_guard<std::mutex> lock(mutex);
  ++batches;
  if (fail_next_batch) {
    fail_next_batch = false;
    written.clear();
    written_tokens.clear();
    return false;
  }
  if (!written.empty()) saved = written;
  written.clear();
  for (auto& [hash, token] : written_tokens) tokens[hash] = token;
  written_tokens.clear();
  return true;
}

bool MemoryServerStore::PutToken(const std::string& hash, const server::TokenRecord& token) {
  std::lock_guard<std::mutex> lock(mutex);
  written_tokens[hash] = token;
  return true;
}

std::optional<server::TokenRecord> MemoryServerStore::FindToken(const std::string& hash) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tokens.find(hash);
  if (it == tokens.end()) return std::nullopt;
  return it->second;
}

bool MemoryServerStore::DeleteToken(const std::string& hash) {
  std::lock_guard<std::mutex> lock(mutex);
  return tokens.erase(hash) > 0;
}

std::optional<int64_t> MemoryServerStore::CountSignIns(const std::string& key, int64_t since) {
  std::lock_guard<std::mutex> lock(mutex);
  int64_t n = 0;
  for (auto [it, end] = sign_ins.equal_range(key); it != end; ++it) n += it->second >= since;
  return n;
}

bool MemoryServerStore::AddSignIn(const std::string& key, int64_t at, int64_t forget_before) {
  std::lock_guard<std::mutex> lock(mutex);
  std::erase_if(sign_ins, [&](const auto& entry) { return entry.second < forget_before; });
  sign_ins.emplace(key, at);
  return true;
}

struct CaughtState {
  std::mutex mutex;
  std::condition_variable done;
  std::optional<server::HttpResponse> response;
  int calls = 0;
};

server::Respond Caught::Catcher() {
  state_ = std::make_shared<CaughtState>();
  return [state = state_](server::HttpResponse r) {
    std::lock_guard<std::mutex> lock(state->mutex);
    ++state->calls;
    state->response = std::move(r);
    state->done.notify_all();
  };
}

bool Caught::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (!state_->done.wait_for(lock, timeout, [&] { return state_->response.has_value(); })) return false;
  EXPECT_EQ(state_->calls, 1) << "answered more than once";
  response = *state_->response;
  return true;
}

json Caught::Body() const { return veltrina::internal::Parse(response.body); }

Server::Server(server::ServiceOptions opts) : options(std::move(opts)) { Restart(); }

Server::~Server() {
  if (service) service->Stop();
}

void Server::Restart() {
  if (service) service->Stop();
  service.reset();
  service = std::make_unique<server::Service>(
      [this] {
        engine::Ports ports{.clock = &clock, .random = &random, .passwords = &checked, .store = &store, .blobs = &blobs};
        return std::make_unique<engine::Engine>(std::move(ports), engine::Options());
      },
      store, clock, options, [](const std::string&) {}, &checked);
}

server::HttpResponse Server::Call(const std::string& method, const json& params, const std::string& token,
                                  const std::string& address) {
  server::HttpRequest request;
  request.method = "POST";
  request.path = "/api/v1/" + method;
  request.body = params.dump();
  request.remote_address = address;
  if (!token.empty()) request.authorization = "Bearer " + token;
  Caught caught;
  service->Handle(request, caught.Catcher());
  EXPECT_TRUE(caught.Wait()) << method;
  return caught.response;
}

json Server::Api(const std::string& method, const json& params, const std::string& token) {
  ++clock.now;
  return veltrina::internal::Parse(Call(method, params, token).body);
}

std::string Server::SignIn(const std::string& user, const std::string& password) {
  json answer = Api("auth.login", json{{"username", user}, {"password", password}, {"team_id", "t-demo"}});
  EXPECT_TRUE(answer.value("ok", false)) << answer.dump();
  return answer["body"]["token"].value("access_token", "");
}

std::unique_ptr<Caught> Server::Poll(const std::string& token, int64_t since, int wait_seconds) {
  server::HttpRequest request;
  request.method = "GET";
  request.path = "/api/v1/events";
  request.query = {{"since", std::to_string(since)}, {"wait", std::to_string(wait_seconds)}};
  request.authorization = "Bearer " + token;
  auto caught = std::make_unique<Caught>();
  service->Handle(request, caught->Catcher());
  return caught;
}

server::HttpResponse Server::Get(const std::string& path, const std::string& token) {
  server::HttpRequest request;
  request.method = "GET";
  request.path = path;
  if (!token.empty()) request.authorization = "Bearer " + token;
  Caught caught;
  service->Handle(request, caught.Catcher());
  EXPECT_TRUE(caught.Wait()) << path;
  return caught.response;
}

}  // namespace server_test
