#include "engine_fixture.h"

#include "veltrina/engine/state.h"

namespace engine_test {

engine::Store::Loaded MemoryStore::Load(engine::State* state) {
  if (saved.empty()) return Loaded::kEmpty;
  return engine::StateFromJson(veltrina::internal::Parse(saved), state) ? Loaded::kState : Loaded::kUnavailable;
}

bool MemoryStore::Commit(const engine::State& state, const engine::Delta& delta) {
  if (refuse) return false;
  saved = veltrina::internal::Dump(engine::StateToJson(state));
  ++commits;
  last_delta = delta;
  return true;
}

Team::Team(engine::Options options) { Restart(std::move(options)); }

engine::Ports Team::Ports() {
  return engine::Ports{.clock = &clock, .random = &random, .passwords = &passwords, .store = &store, .blobs = &blobs};
}

void Team::Restart(engine::Options options) {
  engine.reset();
  engine = std::make_unique<engine::Engine>(Ports(), std::move(options));
}

engine::Session Team::SignIn(const std::string& user, const std::string& password, const std::string& team) {
  engine::Outcome out = engine->Handle(
      nullptr, "auth.login", veltrina::internal::Dump(json{{"username", user}, {"password", password}, {"team_id", team}}));
  EXPECT_TRUE(out.reply.ok) << user << ": " << out.reply.error;
  EXPECT_TRUE(out.signed_in.has_value());
  engine::Session session = out.signed_in.value_or(engine::Session{});
  polled[session.id] = engine->Head(session.team_id);
  return session;
}

Answer Team::Call(const engine::Session& session, const std::string& method, const json& params,
                  const std::string& data) {
  ++clock.now;  // each request a second after the one before: times order the messages
  engine::Outcome out = engine->Handle(&session, method, veltrina::internal::Dump(params), data);
  Answer answer{out.reply.ok, out.reply.code, veltrina::internal::Parse(out.reply.body), out.reply.data};
  return answer;
}

std::vector<engine::Event> Team::Events(const engine::Session& session) {
  engine::Page page = engine->Poll(session, polled[session.id]);
  EXPECT_FALSE(page.resync);
  polled[session.id] = page.next;
  return page.events;
}

std::vector<std::string> Team::Texts(const std::vector<engine::Event>& events) {
  std::vector<std::string> texts;
  for (const engine::Event& e : events)
    if (e.name == "message") texts.push_back(veltrina::internal::Parse(e.body)["message"].value("content", ""));
  return texts;
}

}  // namespace engine_test
