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
  if (!files->ReadFile(path, &text)) {
    log("%s cannot be read now; it is left as it is", path.c_str());
    return LoadResult::kUnreadable;
  }
  if (ParseObject(text, document)) return LoadResult::kLoaded;
  return MoveAside(path) ? LoadResult::kCorrupt : LoadResult::kUnreadable;
}

bool MoveAside(const std::string& path) {
  const std::string stem = path + ".corrupt-" + std::to_string(static_cast<long long>(std::time(nullptr)));
  std::string aside = stem;
  // Two corrupt files within a second each keep their copy; never replace an earlier one.
  for (int n = 2; FileUtils::SharedFileUtils()->IsFileExist(aside); ++n) aside = stem + "-" + std::to_string(n);
  if (!MoveFileExW(WidePath(path).c_str(), WidePath(aside).c_str(), 0)) {
    log("%s is corrupt and cannot be moved aside", path.c_str());
    return false;
  }
  log("%s is corrupt; moved it to %s", path.c_str(), aside.c_str());
  return true;
}

bool SaveJsonFile(const std::string& path, const json& document) {
  return FileUtils::SharedFileUtils()->WriteFileAtomically(path, Dump(document));
}

}  // namespace veltrina::internal
