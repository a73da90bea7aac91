// Cache names of hostile server names: always one safe file name in the cache folder, which
// DuiLib reads as a plain file name (no key='value' attributes), with a picture extension or
// none, and never the name of another input.
#include <string>

#include "fuzz_check.h"
#include "main/cache_name.h"

namespace {

void CheckSafe(const std::string& name, const std::string& cached, bool extension_allowed) {
  using namespace veltrinawnd::image_cache;
  FUZZ_CHECK(!cached.empty() && cached.size() <= 35 + 9);
  for (unsigned char c : cached)
    FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.');
  size_t dot = cached.find('.');
  FUZZ_CHECK(dot == cached.rfind('.'));  // one extension at most
  if (dot != std::string::npos) {
    FUZZ_CHECK(extension_allowed && dot > 0 && IsPictureExtension(cached.substr(dot + 1)));
  }
  FUZZ_CHECK(!IsDeviceName(cached));
  // Unchanged, or changed into a name that no input keeps unchanged: two inputs never meet.
  FUZZ_CHECK(cached == name || (extension_allowed ? CacheName(cached) : TeamFolderName(cached)) != cached);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrinawnd::image_cache;
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string avatar = AvatarFileName(name, 40, 40, 2);
  CheckSafe(name, CacheName(name), true);
  CheckSafe(avatar, CacheName(avatar), true);
  CheckSafe(name, TeamFolderName(name), false);
  return 0;
}
