#pragma once
// Switches of the demo service, read from <data folder>\demo-config.json and the environment
// (the environment wins). README.md lists them.
#include <cstdint>
#include <string>

namespace veltrina::internal::demo {

struct Config {
  int64_t version_code = 1;  // the client counts 4 and above as a newer version
  std::string version_name = "1.0.0";
  std::string version_description = "Veltrina for Windows";
  std::string download_url = "https://veltrina.demo/download/windows";
  bool unreachable = false;  // every request fails with -1
  int64_t life_interval_ms = -1;  // -1: keep the option's value
  int64_t connection_drop_ms = -1;  // -1: keep the option's value
  bool large_team = false;  // "team_size": "large": team demo with thousands of members
  uint32_t large_team_seed = 1;
};

Config ReadConfig(const std::string& data_folder);

}  // namespace veltrina::internal::demo
