#pragma once
// Keeps the image cache folder within a size and a file count: the oldest files (by last write
// time) go first. Plain file-system work, run off the UI thread.
#include <cstdint>
#include <string>
#include <vector>

namespace veltrinawnd::image_cache {

struct CacheLimits {
  uint64_t max_bytes = 256ull * 1024 * 1024;
  size_t max_files = 20000;
  // Files written this recently are never deleted: a download may have just put them there, or
  // be writing them still.
  unsigned fresh_seconds = 120;
};

// Deletes the oldest files in `folder` (UTF-8, ending in a separator) and in its folders one level
// down (one per team) until both limits hold again, sparing fresh files and `keep`. Returns the
// deleted paths, as folder + [subfolder + "/"] + name.
std::vector<std::string> TrimFolder(const std::string& folder, const CacheLimits& limits, const std::string& keep);

}  // namespace veltrinawnd::image_cache
