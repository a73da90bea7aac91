#pragma once
// A JSON document in one file: read whole, written atomically. A file that is not a JSON object
// is moved aside to "<file>.corrupt-<seconds>" with a log line, never silently overwritten.
#include <string>

#include "json_util.h"

namespace veltrina::internal {

enum class LoadResult { kMissing, kLoaded, kCorrupt };

LoadResult LoadJsonFile(const std::string& path, json* document);
bool SaveJsonFile(const std::string& path, const json& document);
// Moves a file that holds JSON of the wrong shape aside, like a corrupt one, with a log line.
void MoveAside(const std::string& path);

}  // namespace veltrina::internal
