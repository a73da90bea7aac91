#pragma once
// The disk cache's document: the part of the caches a second start paints from, and reading it
// back. Users keep what the list rows need (no presence: it is stale by the next start); messages
// keep the latest page of the conversations the user read, and of the first channel.
#include <cstdint>
#include <string>

#include "json_util.h"

namespace veltrina::internal {

struct Cache;

// The document as JSON text. The caller holds cache.mutex.
std::string CacheDocumentText(const Cache& cache, const std::string& team_id, const std::string& uid,
                              int64_t permission);
// When the document is of this format, team and user and every part has its shape, puts it into
// the cache (lists replaced, counts and messages added) and returns true; otherwise leaves the
// cache alone and says why. The caller holds cache.mutex.
bool ApplyCacheDocument(const json& document, const std::string& team_id, const std::string& uid, Cache* cache,
                        int64_t* permission, std::string* why);

}  // namespace veltrina::internal
