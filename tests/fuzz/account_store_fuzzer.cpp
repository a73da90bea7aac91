// The account store's file: what the store reads from a document it accepts.
#include <string>

#include "account_document.h"
#include "fuzz_check.h"
#include "records_json.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrina::internal;
  json document;
  if (!ParseObject(std::string(reinterpret_cast<const char*>(data), size), &document)) return 0;
  if (!IsAccountDocument(document)) return 0;
  FindAccountTeam(document, Str(document, "last_team_id"), Str(document, "last_server"));
  if (const json* teams = Member(document, "teams")) {
    for (const json& entry : *teams) {
      const json* found = FindAccountTeam(document, Str(entry, "team_id"), Str(entry, "server"));
      if (!found) continue;
      FUZZ_CHECK(TeamFrom(*found).team_id() == Str(entry, "team_id") && Str(*found, "server") == Str(entry, "server"));
      Str(*found, "username");
    }
  }
  return 0;
}
