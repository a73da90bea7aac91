// The team engine's state file: a state it accepts is written and read back unchanged.
#include <string>

#include "fuzz_check.h"
#include "veltrina/engine/state.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrina::internal;
  namespace demo = veltrina::engine;
  json document;
  if (!ParseObject(std::string(reinterpret_cast<const char*>(data), size), &document)) return 0;
  demo::State state;
  if (!demo::StateFromJson(document, &state)) return 0;
  std::string written = Dump(demo::StateToJson(state));
  demo::State again;
  FUZZ_CHECK(ParseObject(written, &document) && demo::StateFromJson(document, &again));
  FUZZ_CHECK(Dump(demo::StateToJson(again)) == written);
  for (const demo::TeamData& team : state.teams) state.FindTeamBySubdomain(team.team.team_subdomain());
  return 0;
}
