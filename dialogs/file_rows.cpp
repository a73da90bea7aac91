#include "dialogs/file_rows.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include "app/constants.h"
#include "app/storage.h"
#include "main/image_ready.h"
#include "main/main_messages.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {

std::wstring FileSizeText(int64_t size) {
  wchar_t text[64];
  if (size < 1024) {
    std::swprintf(text, 64, L" %lldBytes", static_cast<long long>(size));
  } else if (size < 1048576) {
    float kb = static_cast<float>(static_cast<double>(size) * (1.0 / 1024));
    std::swprintf(text, 64, L" %.1fKB", static_cast<double>(kb));
  } else {
    float mb = static_cast<float>(static_cast<double>(size) * (1.0 / 1024) * (1.0 / 1024));
    std::swprintf(text, 64, L" %.1fMB", static_cast<double>(mb));
  }
  return text;
}

std::wstring LocalTimeText(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  char text[32] = "";
  // Times from the server may lie outside what the C library can convert.
  if (localtime_s(&local, &t) != 0 || std::strftime(text, sizeof text, "%Y/%m/%d %H:%M", &local) == 0) return L"";
  return Utf8ToUtf16(text);
}

std::string DownloadAddress(const veltrina::Entity& entity) {
  return kFileBoxHost + "/" + entity.path() + "." + entity.file_extension();
}

std::wstring DisplayNameOf(const std::string& uid) {
  std::unique_ptr<veltrina::User> user = veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(uid);
  return user ? Utf8ToUtf16(user->display_name()) : std::wstring();
}

std::wstring ByLine(const std::string& uid, int64_t seconds) {
  std::wstring name = DisplayNameOf(uid);
  return name.empty() ? LocalTimeText(seconds) : name + L"  " + LocalTimeText(seconds);
}

SIZE FitThumbnail(int w, int h, int box_width, int box_height) {
  // 64-bit products: the sizes come from the server.
  if (w > 0 && h > 0) {
    if (w > h) return SIZE{box_width, static_cast<LONG>(static_cast<int64_t>(h) * box_width / w)};
    return SIZE{static_cast<LONG>(static_cast<int64_t>(w) * box_height / h), box_height};
  }
  return SIZE{box_width, box_height};
}

void ImageTargets::Show(DuiLib::CButtonUI* button, const std::string& address, const std::string& file_name,
                        const bridge::WindowRef& window, UINT message) {
  ShowCachedImage(button, address, file_name, window, message);
  buttons_[button->GetTag()] = button;
}

void ImageTargets::OnReady(LPARAM lParam, bridge::WindowLifetime& lifetime) {
  std::unique_ptr<ImageReadyRecord> record = lifetime.Receive<ImageReadyRecord>(lParam);
  if (!record) return;
  auto it = buttons_.find(record->tag);
  if (it == buttons_.end() || it->second != record->button) return;
  record->button->SetNormalImage(Utf8ToUtf16(record->local_path));
}

}  // namespace veltrinawnd
