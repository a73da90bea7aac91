#include "veltrina/backend/upload_hook.h"

#include <utility>

#include "upload_seam.h"

namespace veltrina::backend {

void SetBeforeUploadRead(std::function<void(const std::string& path)> hook) {
  internal::SetUploadReadHook(std::move(hook));
}

}  // namespace veltrina::backend
