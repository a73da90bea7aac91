// Cache names of hostile server names: always one safe file name in the cache folder.
#include <string>

#include "fuzz_check.h"
#include "main/cache_name.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace veltrinawnd::image_cache;
  const std::string name(reinterpret_cast<const char*>(data), size);
  for (const std::string& cached : {CacheName(name), CacheName(AvatarFileName(name, 40, 40, 2))}) {
    FUZZ_CHECK(!cached.empty() && cached.size() <= 35 + 9);
    for (unsigned char c : cached)
      FUZZ_CHECK(c >= 0x20 && c < 0x7F && std::string("\\/:*?\"<>|").find(static_cast<char>(c)) == std::string::npos);
    FUZZ_CHECK(cached.back() != '.' && cached.back() != ' ');
    FUZZ_CHECK(cached.find_first_not_of('.') != std::string::npos);
    FUZZ_CHECK(!IsDeviceName(cached));
  }
  return 0;
}
