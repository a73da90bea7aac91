#include "main/image_ready.h"

#include <memory>

#include "app/storage.h"
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
    if (image_cache::KnownCached(file_name)) return;
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

void ImageWaiters::Show(DuiLib::CButtonUI* button, const std::string& address, const std::string& file_name,
                        bridge::WindowRef window, UINT message, Group group, const std::string& row) {
  std::string local = image_cache::LocalPathUtf8(file_name);
  button->SetNormalImage(Utf8ToUtf16(local));
  // A fresh serial: an answer for an image the button no longer shows leaves it alone.
  button->SetTag(++serial_);
  if (image_cache::KnownCached(file_name)) return;
  waiting_[local].push_back(Waiter{button, button->GetTag(), group, row});
  if (!in_flight_.insert(local).second) return;
  auto send = [window, message, local](bool ok) {
    auto record = std::make_unique<ImageReadyRecord>();
    record->local_path = local;
    record->ok = ok;
    bridge::Send(window, message, std::move(record));
  };
  image_cache::Download(address, file_name, [send](const std::string&) { send(true); }, [send] { send(false); });
}

void ImageWaiters::Arrived(const ImageReadyRecord& record) {
  in_flight_.erase(record.local_path);
  auto it = waiting_.find(record.local_path);
  if (it == waiting_.end()) return;
  std::vector<Waiter> waiters = std::move(it->second);
  waiting_.erase(it);
  if (!record.ok) return;
  for (const Waiter& w : waiters)
    if (w.button->GetTag() == w.tag) w.button->SetNormalImage(Utf8ToUtf16(record.local_path));
}

template <typename Pred>
void ImageWaiters::ForgetIf(Pred pred) {
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    std::erase_if(it->second, pred);
    it = it->second.empty() ? waiting_.erase(it) : std::next(it);
  }
}

void ImageWaiters::Forget(Group group) {
  ForgetIf([group](const Waiter& w) { return w.group == group; });
}

void ImageWaiters::Forget(Group group, const std::string& row) {
  ForgetIf([&](const Waiter& w) { return w.group == group && w.row == row; });
}

}  // namespace veltrinawnd
