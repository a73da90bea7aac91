#include "demo_config.h"

#include <cstdlib>
#include <mutex>
#include <set>

#include "../json_util.h"
#include "veltrina/file_utils.h"
#include "veltrina/immortal.h"
#include "veltrina/log.h"

namespace veltrina::internal::demo {

namespace {

bool Env(const char* name, std::string* value) {
  const char* v = std::getenv(name);
  if (!v || !*v) return false;
  *value = v;
  return true;
}

bool EnvInt(const char* name, int64_t* value) {
  std::string text;
  if (!Env(name, &text)) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  *value = v;
  return true;
}

// A timer setting from the user: 0 turns the timer off, a negative value keeps the default, and
// anything else is held to a pace the demo can keep. Every tick of the life stores a message and
// sends events, so 1 ms would flood the client a thousand times a second; a huge value overflows
// the clock and makes the loop spin.
int64_t BoundedTimer(const char* name, int64_t ms) {
  constexpr int64_t kFastest = 100;
  constexpr int64_t kSlowest = 24LL * 60 * 60 * 1000;
  if (ms <= 0) return ms < 0 ? -1 : 0;
  const int64_t held = ms < kFastest ? kFastest : ms > kSlowest ? kSlowest : ms;
  if (held != ms)
    log("Demo service: %s of %lld ms is held to %lld ms", name, static_cast<long long>(ms), static_cast<long long>(held));
  return held;
}

// "small" or "large"; anything else keeps the small team and says so, once (the config is read
// again for every request).
void TeamSize(const std::string& size, const char* where, bool* large) {
  // The config is read on the service's thread, which may still run while the process exits.
  static Immortal<std::mutex> mutex_holder;
  static Immortal<std::set<std::string>> told_holder;
  std::mutex& mutex = mutex_holder.get();
  std::set<std::string>& told = told_holder.get();
  if (size == "small" || size == "large") {
    *large = size == "large";
    return;
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (told.insert(size).second)
    log("Demo service: team size \"%s\" (%s) is neither \"small\" nor \"large\"; the small team is used",
        size.c_str(), where);
}

}  // namespace

Config ReadConfig(const std::string& data_folder) {
  Config config;
  std::string text;
  if (FileUtils::SharedFileUtils()->ReadFile(data_folder + "\\demo-config.json", &text)) {
    json j = Parse(text);
    if (j.is_object()) {
      config.version_code = Int(j, "client_version_code", config.version_code);
      if (Member(j, "client_version_name")) config.version_name = Str(j, "client_version_name");
      if (Member(j, "client_version_description")) config.version_description = Str(j, "client_version_description");
      if (Member(j, "client_download_url")) config.download_url = Str(j, "client_download_url");
      config.unreachable = Bool(j, "unreachable", false);
      config.life_interval_ms = Int(j, "life_interval_ms", -1);
      config.connection_drop_ms = Int(j, "connection_drop_interval_ms", -1);
      if (const json* size = Member(j, "team_size"))
        TeamSize(size->is_string() ? size->get<std::string>() : size->dump(), "demo-config.json", &config.large_team);
      config.large_team_seed = static_cast<uint32_t>(Int(j, "large_team_seed", 1));
    }
  }
  EnvInt("VELTRINA_DEMO_VERSION_CODE", &config.version_code);
  Env("VELTRINA_DEMO_VERSION_NAME", &config.version_name);
  Env("VELTRINA_DEMO_VERSION_DESCRIPTION", &config.version_description);
  Env("VELTRINA_DEMO_DOWNLOAD_URL", &config.download_url);
  int64_t flag = 0;
  if (EnvInt("VELTRINA_DEMO_UNREACHABLE", &flag)) config.unreachable = flag != 0;
  EnvInt("VELTRINA_DEMO_LIFE_MS", &config.life_interval_ms);
  EnvInt("VELTRINA_DEMO_DROP_MS", &config.connection_drop_ms);
  if (std::string size; Env("VELTRINA_DEMO_TEAM_SIZE", &size)) {
    config.large_team = false;
    TeamSize(size, "VELTRINA_DEMO_TEAM_SIZE", &config.large_team);
  }
  if (int64_t seed = 0; EnvInt("VELTRINA_DEMO_SEED", &seed)) config.large_team_seed = static_cast<uint32_t>(seed);
  config.life_interval_ms = BoundedTimer("life_interval_ms", config.life_interval_ms);
  config.connection_drop_ms = BoundedTimer("connection_drop_interval_ms", config.connection_drop_ms);
  return config;
}

}  // namespace veltrina::internal::demo
