#include "main/image_cache.h"

#include <algorithm>
#include <cctype>

#include <windows.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_set>

#include "app/constants.h"
#include "app/storage.h"
#include "conversation/card_text.h"
#include "main/cache_trim.h"
#include "veltrina/director.h"
#include "veltrina/file_utils.h"
#include "veltrina/http.h"
#include "veltrina/immortal.h"
#include "veltrina/log.h"
#include "veltrina/service_manager.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd::image_cache {

namespace {

// Full local paths seen in the cache. Downloads run on core threads, lookups on the UI thread.
struct KnownFiles {
  std::mutex mutex;
  std::unordered_set<std::string> paths;
};

// Never destroyed, like the trim state below: downloads and trims on other threads use them while the
// process exits.
KnownFiles& Known() {
  static veltrina::Immortal<KnownFiles> known;
  return known.get();
}

void RememberCached(const std::string& local) {
  std::lock_guard<std::mutex> lock(Known().mutex);
  Known().paths.insert(local);
}

// Image cache folder + the signed-in team's folder + cache name, logging nothing: for the
// checks and downloads, which may run for thousands of names at once.
std::string PathOf(const std::string& file_name) { return TeamFolder() + CacheName(file_name); }

// A trim at most this often, and the first one at once: downloads finish by the thousand.
constexpr ULONGLONG kTrimIntervalMs = 60 * 1000;

struct TrimState {
  std::mutex mutex;
  bool running = false;
  ULONGLONG last = 0;  // GetTickCount64 of the last start; 0: none yet
  std::string keep;
};

TrimState& Trim() {
  static veltrina::Immortal<TrimState> state;
  return state.get();
}

void RunTrim() {
  std::string keep;
  {
    std::lock_guard<std::mutex> lock(Trim().mutex);
    keep = Trim().keep;
  }
  std::vector<std::string> deleted = TrimFolder(GetImageCacheFolder(), CacheLimits{}, keep);
  if (!deleted.empty()) veltrina::log("Image cache trimmed by %u files", static_cast<unsigned>(deleted.size()));
  {
    std::lock_guard<std::mutex> lock(Known().mutex);
    for (const std::string& path : deleted) Known().paths.erase(path);
  }
  std::lock_guard<std::mutex> lock(Trim().mutex);
  Trim().running = false;
}

}  // namespace

std::string TeamFolder() {
  const veltrina::Director* director = veltrina::Director::DefaultDirector();
  const veltrina::Team* team = director ? director->current_team() : nullptr;
  return GetImageCacheFolder() + TeamFolderName(team ? team->team_id() : std::string(),
                                                team ? team->server() : std::string()) + "/";
}

void ScheduleTrim(const std::string& just_written) {
  std::lock_guard<std::mutex> lock(Trim().mutex);
  ULONGLONG now = GetTickCount64();
  if (Trim().running || (Trim().last != 0 && now - Trim().last < kTrimIntervalMs)) return;
  Trim().keep = just_written;
  Trim().running = true;
  Trim().last = now;
  // Where the downloads are written: never the UI thread nor the core's callback thread, no
  // thread of its own, and never beside a write in progress.
  veltrina::HttpClient::SharedClient()->RunOnFileThread(RunTrim);
}

std::string LocalPathUtf8(const std::string& file_name) {
  std::string path = PathOf(file_name);
  veltrina::log("!!! -- image path is %s", path.c_str());
  return path;
}

std::wstring LocalPath(const std::string& file_name) { return Utf8ToUtf16(LocalPathUtf8(file_name)); }

bool KnownCached(const std::string& file_name) {
  std::string local = PathOf(file_name);
  std::lock_guard<std::mutex> lock(Known().mutex);
  return Known().paths.contains(local);
}

void ForgetKnownFiles() {
  std::lock_guard<std::mutex> lock(Known().mutex);
  Known().paths.clear();
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
  // The path and extension come from the service: each stays one piece of the address.
  const std::string ext = card_text::EncodePathPart(file_extension, false);
  t.address = kFileBoxHost + "/thumb/" + card_text::EncodePathPart(path, true) + "_" + std::to_string(x) + "x" +
              std::to_string(y) + "." + ext;
  t.local_name = path + "." + file_extension;
  t.full_address = card_text::FileAddress(path, file_extension);
  return t;
}

void Download(const std::string& address, const std::string& file_name,
              std::function<void(const std::string& local_path)> callback, std::function<void()> failed) {
  std::string local = PathOf(file_name);
  if (veltrina::FileUtils::SharedFileUtils()->IsFileExist(local)) {
    RememberCached(local);
    if (callback) callback(local);
    return;
  }
  // The core writes the file off its callback thread, so many downloads never hold up the
  // callbacks of other windows; a body past the cap is refused before it is all read.
  veltrina::HttpRequest request(address);
  request.set_save_path(local);
  request.set_max_body_bytes(kMaxImageBytes);
  veltrina::HttpClient::SharedClient()->Send(
      request, [local, name = CacheName(file_name), callback = std::move(callback), failed = std::move(failed)](
                   bool ok, std::unique_ptr<veltrina::HttpResponse> response) {
        veltrina::log("Try to save %s to file", local.c_str());
        if (!ok || response->raw_data().empty()) {
          if (response->save_failed()) veltrina::log("Save image %s failed", name.c_str());
          else veltrina::log("Image %s not saved: %s", local.c_str(), response->error().c_str());
          if (failed) failed();
          return;
        }
        veltrina::log("Save image %s successed", name.c_str());
        RememberCached(local);
        ScheduleTrim(local);
        if (callback) callback(local);
      });
}

namespace {

// A team of thousands: a few downloads in flight, the next one started as one ends, so that
// thousands of answers never wait in memory at once.
constexpr int kPrefetchesInFlight = 8;

struct Prefetch {
  std::mutex mutex;
  std::deque<std::pair<std::string, std::string>> queue;  // address, file name
};

void PrefetchNext(const std::shared_ptr<Prefetch>& prefetch) {
  std::pair<std::string, std::string> next;
  {
    std::lock_guard<std::mutex> lock(prefetch->mutex);
    if (prefetch->queue.empty()) return;
    next = std::move(prefetch->queue.front());
    prefetch->queue.pop_front();
  }
  // The answer comes on the core's thread, after this returns: the chain never nests.
  auto done = [prefetch] { PrefetchNext(prefetch); };
  Download(next.first, next.second, [done](const std::string&) { done(); }, done);
}

}  // namespace

void PrefetchAvatars() {
  auto prefetch = std::make_shared<Prefetch>();
  std::set<std::string> asked;
  auto want = [&](const std::string& address, const std::string& file_name) {
    std::string local = PathOf(file_name);
    if (!asked.insert(local).second) return;
    if (veltrina::FileUtils::SharedFileUtils()->IsFileExist(local)) RememberCached(local);
    else prefetch->queue.emplace_back(address, file_name);
  };
  for (const auto& user : veltrina::UserManager::DefaultManager()->FetchUsersFromCache()) {
    std::string name = AvatarFileName(user->header_url(), 40, 40, 1);
    want(kAvatarBaseUrl + name, name);
  }
  for (const auto& service : veltrina::ServiceManager::DefaultManager()->FetchServicesFromCache())
    want(kStaticBaseUrl + service->avatar_url(), service->avatar_url());
  for (int i = 0; i < kPrefetchesInFlight; ++i) PrefetchNext(prefetch);
  ScheduleTrim(std::string());  // once at the start of a session
}

}  // namespace veltrinawnd::image_cache
