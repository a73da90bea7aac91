#include "disk_cache.h"

#include <cstdio>
#include <functional>

#include "cache_document.h"
#include "core.h"
#include "json_store.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"
#include "veltrina/server_key.h"

namespace veltrina::internal {

std::string DiskCache::FileName(const std::string& server, const std::string& team_id, const std::string& uid) {
  auto safe = [](const std::string& text) {
    std::string out;
    for (unsigned char ch : text) {
      if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '-') {
        out += static_cast<char>(ch);
      } else {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", ch);
        out += hex;
      }
    }
    return out;
  };
  const std::string key = ServerKey(server);
  return (key.empty() ? std::string("cache-") : "cache@" + key + "-") + safe(team_id) + "-" + safe(uid) + ".json";
}

bool DiskCache::Open(const std::string& folder, const std::string& server, const std::string& team_id,
                     const std::string& uid, Cache* cache, int64_t* permission) {
  std::string path;
  if (!folder.empty()) {
    bool separated = folder.back() == '\\' || folder.back() == '/';
    path = folder + (separated ? "" : "\\") + FileName(server, team_id, uid);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++session_;
    path_ = path;
    team_id_ = team_id;
    uid_ = uid;
    permission_ = 0;
    scheduled_ = false;
    written_ = {0, 0};
  }
  if (path.empty()) return false;
  json document;
  LoadResult loaded = LoadJsonFile(path, &document);
  if (loaded == LoadResult::kUnreadable) {  // held by another program: not ours to write over now
    std::lock_guard<std::mutex> lock(mutex_);
    if (path_ == path) path_.clear();
  }
  if (loaded != LoadResult::kLoaded) return false;
  std::string why;
  int64_t granted = 0;
  {
    std::lock_guard<std::mutex> lock(cache->mutex);
    if (!ApplyCacheDocument(document, team_id, uid, cache, &granted, &why)) {
      log("Ignoring the disk cache %s: %s", path.c_str(), why.c_str());
      return false;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (path_ == path) permission_ = granted;
  *permission = granted;
  log("Caches loaded from %s", path.c_str());
  return true;
}

void DiskCache::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++session_;
  path_.clear();
  scheduled_ = false;
}

void DiskCache::SetPermission(int64_t permission) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    permission_ = permission;
  }
  Changed();
}

void DiskCache::Changed() {
  uint64_t session = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path_.empty() || scheduled_) return;
    scheduled_ = true;
    session = session_;
  }
  Core::Get().PostDelayed(kSaveDelay, [this, session] { Save(session); });
}

void DiskCache::SaveNow() {
  uint64_t session = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path_.empty()) return;
    session = session_;
  }
  Core::Get().Post([this, session] { Save(session); });
}

// Runs on the core thread. The picture is taken under the cache's lock with the session checked
// inside it: Close comes before the caches are emptied, so an empty picture is never written.
void DiskCache::Save(uint64_t session) {
  Cache& cache = Core::Get().cache();
  std::string path;
  std::string text;
  {
    std::lock_guard<std::mutex> cache_lock(cache.mutex);
    std::lock_guard<std::mutex> lock(mutex_);
    if (session != session_ || path_.empty()) return;
    scheduled_ = false;
    path = path_;
    text = CacheDocumentText(cache, team_id_, uid_, permission_);
    if (std::pair(text.size(), std::hash<std::string>{}(text)) == written_) return;
  }
  if (!FileUtils::SharedFileUtils()->WriteFileAtomically(path, text)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (session == session_) written_ = {text.size(), std::hash<std::string>{}(text)};
}

}  // namespace veltrina::internal
