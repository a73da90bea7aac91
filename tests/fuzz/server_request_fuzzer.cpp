// A request as the server receives it: a method name and a body of any bytes. The body is read
// with the server's bounds; what passes goes to the team engine as a signed-in member's request,
// and every answer and event page must be a well-formed envelope.
#include <map>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "json_util.h"
#include "veltrina/engine/engine.h"
#include "veltrina/engine/state.h"
#include "wire.h"

namespace {

namespace engine = veltrina::engine;
using veltrina::internal::json;

struct Clock : engine::Clock {
  int64_t Now() override { return ++now; }
  int64_t now = 1'800'000'000;
};
struct Random : engine::Random {
  uint64_t Next() override { return ++n; }
  uint64_t n = 0;
};
struct Passwords : engine::PasswordHasher {
  std::string Hash(const std::string& p) override { return "t$" + p; }
  bool Verify(const std::string& p, const std::string& s) override { return s == "t$" + p; }
  bool NeedsUpgrade(const std::string&) override { return false; }
  const std::string& Decoy() override { return decoy; }
  std::string decoy = "t$\x01";
};
struct Store : engine::Store {
  Loaded Load(engine::State*) override { return Loaded::kEmpty; }
  bool Commit(const engine::State&, const engine::Delta&) override { return true; }
};
struct Blobs : engine::Blobs {
  bool Put(const std::string& name, const std::string& bytes) override {
    files[name] = bytes.substr(0, 64);
    return true;
  }
  Read Get(const std::string& name, uint64_t, std::string* bytes) override {
    auto it = files.find(name);
    if (it == files.end()) return Read::kMissing;
    *bytes = it->second;
    return Read::kOk;
  }
  std::map<std::string, std::string> files;
};

struct World {
  Clock clock;
  Random random;
  Passwords passwords;
  Store store;
  Blobs blobs;
  std::unique_ptr<engine::Engine> engine;
  engine::Session alice;
  int runs = 0;

  void Fresh() {
    engine::Options options;
    options.kept_changes = 64;
    engine = std::make_unique<engine::Engine>(
        engine::Ports{.clock = &clock, .random = &random, .passwords = &passwords, .store = &store, .blobs = &blobs},
        options);
    engine::Outcome out = engine->Handle(nullptr, "auth.login", R"({"username":"alice","password":"t","team_id":"t-demo"})");
    alice = out.signed_in.value_or(engine::Session{"t-demo", "u-alice", 1});
    runs = 0;
  }
};

void CheckEnvelope(const std::string& text) {
  json envelope;
  FUZZ_CHECK(veltrina::internal::ParseObject(text, &envelope));
  FUZZ_CHECK(envelope.contains("ok") && envelope["ok"].is_boolean());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  static World world;
  if (!world.engine || ++world.runs > 2000) world.Fresh();  // the team does not grow without end
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string method = newline == std::string::npos ? "messages.send" : input.substr(0, newline);
  const std::string body = newline == std::string::npos ? input : input.substr(newline + 1);

  json params;
  std::string why;
  if (!veltrina::server::ParseParams(body, &params, &why)) {
    FUZZ_CHECK(!why.empty());
    CheckEnvelope(veltrina::server::Envelope(veltrina::server::Fail(400, why)));
    return 0;
  }
  if (method == "http.get") return 0;  // never served as a request
  const int64_t before = world.engine->Head("t-demo");
  engine::Outcome out = world.engine->Handle(&world.alice, method, veltrina::internal::Dump(params), body);
  CheckEnvelope(veltrina::server::Envelope(out.reply));
  engine::Page page = world.engine->Poll(world.alice, before, 100);
  json events;
  FUZZ_CHECK(veltrina::internal::ParseObject(veltrina::server::EventsPage(page), &events));
  for (const engine::Event& e : page.events) FUZZ_CHECK(e.seq > before && e.seq <= world.engine->Head("t-demo"));
  return 0;
}
