// The state file and the uploaded files of the demo service's data folder.
#include <windows.h>

#include "../json_store.h"
#include "../json_util.h"
#include "../text_util.h"
#include "demo_service_impl.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace veltrina::internal::demo {

engine::Store::Loaded JsonFileStore::Load(engine::State* state) {
  FileUtils* files = FileUtils::SharedFileUtils();
  if (files->IsFileExist(path_)) {
    std::string text;
    bool moved = false;
    if (files->ReadFile(path_, &text)) {
      json document = Parse(text);
      engine::State loaded;
      if (document.is_object() && engine::StateFromJson(document, &loaded)) {
        if (held_logged_) log("Demo service reads %s again; what it did meanwhile in memory is dropped", path_.c_str());
        held_logged_ = false;
        dirty_ = false;
        *state = std::move(loaded);
        return Loaded::kState;
      }
      moved = MoveAside(path_);
    }
    if (!moved) {
      if (!held_logged_)
        log("Demo service cannot read %s; it runs on its demo data in memory and saves nothing until it can",
            path_.c_str());
      held_logged_ = true;
      return Loaded::kUnavailable;
    }
  }
  log("Demo service starts from its demo data in %s", path_.substr(0, path_.find_last_of('\\')).c_str());
  held_logged_ = false;
  return Loaded::kEmpty;
}

bool JsonFileStore::Commit(const engine::State& state, const engine::Delta& delta) {
  dirty_ = true;
  // A seeded or migrated state is written at once; anything else shortly after, with what follows.
  if (delta.everything) Flush(state);
  return true;
}

bool JsonFileStore::Flush(const engine::State& state) {
  if (!dirty_) return true;
  if (FileUtils::SharedFileUtils()->WriteFileAtomically(path_, Dump(engine::StateToJson(state)))) {
    dirty_ = failing_ = false;
    return true;
  }
  if (!failing_) log("Demo service cannot save its state; trying again");
  failing_ = true;
  return false;
}

bool FolderBlobs::Put(const std::string& name, const std::string& bytes) {
  FileUtils::SharedFileUtils()->MakeDirectory(folder_);
  return FileUtils::SharedFileUtils()->WriteFileAtomically(folder_ + "\\" + name, bytes);
}

engine::Blobs::Read FolderBlobs::Get(const std::string& name, uint64_t max_bytes, std::string* bytes) {
  const std::string file = folder_ + "\\" + name;
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExW(WidePath(file).c_str(), GetFileExInfoStandard, &info)) return Read::kMissing;
  const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (max_bytes > 0 && size > max_bytes) return Read::kTooLarge;
  std::string data;
  if (!FileUtils::SharedFileUtils()->ReadFile(file, &data)) return Read::kMissing;
  *bytes = std::move(data);
  return Read::kOk;
}

}  // namespace veltrina::internal::demo
