#include "main/image_ready.h"

#include <memory>

#include "main/image_cache.h"
#include "main/main_messages.h"

namespace veltrinawnd {

void ShowCachedImage(DuiLib::CButtonUI* button, const std::string& address, const std::string& file_name,
                     bridge::WindowRef window, UINT message, const std::string& conversation_id,
                     bool always_download) {
  std::wstring path = image_cache::LocalPath(file_name);
  button->SetNormalImage(path);
  static UINT_PTR serial = 0;
  button->SetTag(++serial);
  if (!always_download) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return;
    }
  }
  UINT_PTR tag = button->GetTag();
  image_cache::Download(address, file_name, [window, message, conversation_id, button, tag](const std::string& local) {
    auto record = std::make_unique<ImageReadyRecord>();
    record->conversation_id = conversation_id;
    record->local_path = local;
    record->button = button;
    record->tag = tag;
    bridge::Send(window, message, std::move(record));
  });
}

}  // namespace veltrinawnd
