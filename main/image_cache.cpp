#include "main/image_cache.h"

#include <algorithm>
#include <cctype>

#include <windows.h>

#include <cstdio>
#include <memory>

#include "app/constants.h"
#include "app/storage.h"
#include "veltrina/file_utils.h"
#include "veltrina/http.h"
#include "veltrina/log.h"
#include "veltrina/service_manager.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd::image_cache {
namespace {

constexpr size_t kMaxCacheNameChars = 35;

bool IsSafeChar(unsigned char c) {
  if (c < 0x20 || c >= 0x7F) return false;
  return std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) == std::string_view::npos;
}

std::string ShortHash(const std::string& s) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : s) {
    h ^= c;
    h *= 16777619u;
  }
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08x", h);
  return buf;
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  std::wstring wide = AnsiToWide(path);
  std::wstring temp = wide + L".part" + std::to_wstring(GetCurrentThreadId());
  HANDLE f = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size();
  ok = FlushFileBuffers(f) && ok;
  CloseHandle(f);
  if (ok) ok = MoveFileExW(temp.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

}  // namespace

// Names Windows opens as devices whatever their extension: "con.png" is the console.
bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         std::isdigit(static_cast<unsigned char>(base[3]));
}

std::string CacheName(const std::string& file_name) {
  std::string safe;
  safe.reserve(file_name.size());
  for (unsigned char c : file_name) safe.push_back(IsSafeChar(c) ? static_cast<char>(c) : '_');
  // Windows drops trailing dots and spaces, and "." or ".." name folders.
  while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.back() = '_';
  if (safe.empty()) safe = "_";
  if (safe.find_first_not_of('.') == std::string::npos) safe.assign(safe.size(), '_');
  if (IsDeviceName(safe)) safe.insert(0, "_");
  if (safe == file_name && safe.size() <= kMaxCacheNameChars) return safe;
  if (safe.size() > kMaxCacheNameChars) safe.resize(kMaxCacheNameChars);
  return safe + "_" + ShortHash(file_name);
}

std::string LocalPathAnsi(const std::string& file_name) { return GetImageCacheFolder() + CacheName(file_name); }

std::wstring LocalPath(const std::string& file_name) {
  std::string path = LocalPathAnsi(file_name);
  veltrina::log("!!! -- image path is %s", path.c_str());
  return AnsiToWide(path);
}

int SizeBucket(long long v) {
  if (v <= 40) return 40;
  if (v <= 80) return 80;
  if (v <= 160) return 160;
  return 320;
}

std::string AvatarFileName(const std::string& header_url, int width, int height, int scale) {
  std::vector<std::string> pieces = Split(header_url, ".");
  std::string stem = pieces.empty() ? std::string() : pieces[0];
  std::string name = stem + "_" + std::to_string(SizeBucket(static_cast<long long>(width) * scale)) + "x" +
                     std::to_string(SizeBucket(static_cast<long long>(height) * scale));
  // A name without an extension keeps none.
  if (pieces.size() > 1) name += "." + pieces[1];
  return name;
}

SIZE ThumbnailDisplaySize(long long w, long long h) {
  // The larger side becomes 80 and the other keeps the proportion; sizes that are not positive
  // show nothing. Sides beyond any real picture are halved together first, so that the
  // product below cannot overflow; the proportion is what counts.
  if (w <= 0 || h <= 0) return SIZE{0, 0};
  while (w > kMaxThumbnailSide || h > kMaxThumbnailSide) {
    w = std::max(w / 2, 1LL);
    h = std::max(h / 2, 1LL);
  }
  if (w > h) return SIZE{80, static_cast<LONG>(h * 80 / w)};
  return SIZE{static_cast<LONG>(w * 80 / h), 80};
}

Thumbnail ThumbnailFor(const std::string& path, const std::string& file_extension, long long w, long long h) {
  SIZE size = ThumbnailDisplaySize(w, h);
  long long x = size.cx, y = size.cy;
  Thumbnail t;
  t.width = size.cx;
  t.height = size.cy;
  t.address = kFileBoxHost + "/thumb/" + path + "_" + std::to_string(x) + "x" + std::to_string(y) + "." + file_extension;
  t.local_name = path + "." + file_extension;
  t.full_address = kFileBoxHost + "/" + path + "." + file_extension;
  veltrina::log("Thumb URL is %s, local path is %s", t.address.c_str(), t.local_name.c_str());
  return t;
}

void Download(const std::string& address, const std::string& file_name,
              std::function<void(const std::string& local_path)> callback) {
  std::string cache_name = CacheName(file_name);
  std::string local = GetImageCacheFolder() + cache_name;
  if (veltrina::FileUtils::SharedFileUtils()->IsFileExist(local)) {
    if (callback) callback(local);
    return;
  }
  veltrina::HttpRequest request(address);
  veltrina::HttpClient::SharedClient()->Send(
      request, [cache_name, callback = std::move(callback)](bool, std::unique_ptr<veltrina::HttpResponse> response) {
        veltrina::FileUtils* files = veltrina::FileUtils::SharedFileUtils();
        std::string folder = GetImageCacheFolder();
        if (!files->IsDirectoryExist(folder)) files->MakeDirectory(folder);
        std::string path = folder + cache_name;
        veltrina::log("Try to save %s to file", path.c_str());
        if (files->IsFileExist(path)) {
          if (callback) callback(path);
          return;
        }
        if (!response || response->raw_data().empty()) return;
        if (WriteWholeFile(path, response->raw_data())) {
          veltrina::log("Save image %s successed", cache_name.c_str());
          if (callback) callback(path);
        } else {
          veltrina::log("Save image %s failed", cache_name.c_str());
        }
      });
}

void PrefetchAvatars() {
  for (const auto& user : veltrina::UserManager::DefaultManager()->FetchUsersFromCache()) {
    std::string name = AvatarFileName(user->header_url(), 40, 40, 1);
    Download(kAvatarBaseUrl + name, name, nullptr);
  }
  for (const auto& service : veltrina::ServiceManager::DefaultManager()->FetchServicesFromCache()) {
    Download(kStaticBaseUrl + service->avatar_url(), service->avatar_url(), nullptr);
  }
}

}  // namespace veltrinawnd::image_cache
