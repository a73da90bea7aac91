// The disk cache's document: what a start accepts from the file, the next save writes, and a
// start from that save reads back to the very same save.
#include <string>

#include "cache.h"
#include "cache_document.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrina::internal;
  json document;
  if (!ParseObject(std::string(reinterpret_cast<const char*>(data), size), &document)) return 0;
  // The file's own owner, so that inputs reach past the owner check.
  const std::string team = Str(document, "team_id"), uid = Str(document, "uid");
  Cache first;
  int64_t permission = 0;
  std::string why;
  if (!ApplyCacheDocument(document, team, uid, &first, &permission, &why)) {
    FUZZ_CHECK(!why.empty() && first.users.empty() && first.channels.empty() && first.messages.empty());
    return 0;
  }
  const std::string saved = CacheDocumentText(first, team, uid, permission);
  Cache second;
  int64_t again = -1;
  FUZZ_CHECK(ParseObject(saved, &document) && ApplyCacheDocument(document, team, uid, &second, &again, &why));
  FUZZ_CHECK(again == permission);
  FUZZ_CHECK(CacheDocumentText(second, team, uid, again) == saved);
  // The text is what dumping the document it reads as gives: well-formed, nothing lost or added.
  FUZZ_CHECK(Dump(document) == saved);
  return 0;
}
