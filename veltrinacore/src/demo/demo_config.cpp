#include "demo_config.h"

#include <cstdlib>

#include "../json_util.h"
#include "veltrina/file_utils.h"

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
  return config;
}

}  // namespace veltrina::internal::demo
