#include "json_store.h"

#include <windows.h>

#include <ctime>

#include "text_util.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace veltrina::internal {

LoadResult LoadJsonFile(const std::string& path, json* document) {
  FileUtils* files = FileUtils::SharedFileUtils();
  if (!files->IsFileExist(path)) return LoadResult::kMissing;
  std::string text;
  if (files->ReadFile(path, &text) && ParseObject(text, document)) return LoadResult::kLoaded;
  MoveAside(path);
  return LoadResult::kCorrupt;
}

void MoveAside(const std::string& path) {
  std::string aside = path + ".corrupt-" + std::to_string(static_cast<long long>(std::time(nullptr)));
  if (MoveFileExW(WidePath(path).c_str(), WidePath(aside).c_str(), MOVEFILE_REPLACE_EXISTING))
    log("%s is corrupt; moved it to %s", path.c_str(), aside.c_str());
  else
    log("%s is corrupt and cannot be moved aside", path.c_str());
}

bool SaveJsonFile(const std::string& path, const json& document) {
  return FileUtils::SharedFileUtils()->WriteFileAtomically(path, Dump(document));
}

}  // namespace veltrina::internal
