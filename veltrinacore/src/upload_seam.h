#pragma once
// For tests: a file that changes while an upload reads it, at a moment they choose.
#include <functional>
#include <string>

namespace veltrina::internal {

// `hook` runs on the upload's reading thread once the file's size is taken and the file is open,
// before any of it is read, with the path as given to Upload (empty: nothing runs).
void SetUploadReadHook(std::function<void(const std::string& path)> hook);

}  // namespace veltrina::internal
