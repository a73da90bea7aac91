#pragma once
// A JSON document in one file: read whole, written atomically. A file that was read and is not a
// JSON object is moved aside to "<file>.corrupt-<seconds>" (with "-2", "-3"... when that name is
// taken) with a log line, never silently overwritten. A file that cannot be read for now (another
// program holds it) is not corrupt: it is left alone and must not be written over.
#include <string>

#include "json_util.h"

namespace veltrina::internal {

enum class LoadResult { kMissing, kLoaded, kCorrupt, kUnreadable };

LoadResult LoadJsonFile(const std::string& path, json* document);
bool SaveJsonFile(const std::string& path, const json& document);
// Moves a file that holds JSON of the wrong shape aside, like a corrupt one, with a log line.
// False when it could not be moved: then nothing may write over it.
bool MoveAside(const std::string& path);

}  // namespace veltrina::internal
