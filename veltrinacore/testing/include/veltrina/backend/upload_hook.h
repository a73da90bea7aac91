#pragma once
// Changes a file while an upload reads it, at a moment a test chooses.
#include <functional>
#include <string>

namespace veltrina::backend {

// `hook` runs on the upload's reading thread after the file's size is taken and the file is
// open, before any of it is read, with the path given to HttpClient::Upload; empty: nothing runs.
// A test sets it for its own uploads and clears it before it ends.
void SetBeforeUploadRead(std::function<void(const std::string& path)> hook);

}  // namespace veltrina::backend
