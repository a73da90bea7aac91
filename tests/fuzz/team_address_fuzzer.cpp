// The team window's field: whatever is typed, a server form that passes names a server whose
// address holds only what a URL, a file name and a text take unescaped, and the field's own text
// for that team reads back to the same team and server.
#include <string>

#include "fuzz_check.h"
#include "signin/team_address.h"
#include "veltrina/server_key.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrinawnd;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TeamAddress address;
  if (!ParseTeamAddress(text, &address)) return 0;
  if (address.server.empty()) {
    FUZZ_CHECK(address.team == text);
    return 0;
  }
  FUZZ_CHECK(address.server.rfind("http://", 0) == 0 || address.server.rfind("https://", 0) == 0);
  for (unsigned char c : address.server)
    FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_' || c == '~' || c == ':' || c == '/');
  for (unsigned char c : address.team)
    FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_');
  veltrina::Team team("t", address.team, "n");
  team.set_server(address.server);
  TeamAddress again;
  FUZZ_CHECK(ParseTeamAddress(TeamFieldText(team), &again) && again.team == address.team &&
             again.server == address.server);
  const std::string key = veltrina::ServerKey(address.server);
  FUZZ_CHECK(!key.empty() && key.find_first_of(":/\\") == std::string::npos);
  return 0;
}
