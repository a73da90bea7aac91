#pragma once
// The caches of the signed-in team and user, kept in the database folder between runs so that a
// second start paints its lists before the service answers. One JSON file per team and user,
// written atomically on the core thread a few seconds after changes. What it holds is a first
// picture only: every service answer replaces it.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace veltrina::internal {

struct Cache;

class DiskCache {
 public:
  static constexpr int kFormat = 1;
  static constexpr std::chrono::milliseconds kSaveDelay{3000};
  static constexpr size_t kPage = 20;              // messages kept per conversation, the window's page
  static constexpr size_t kMaxConversations = 50;  // with messages kept, most recently touched first

  // From now on the caches belong to this team and user on this server (empty: the embedded demo)
  // in `folder` (nothing is kept when the folder is empty). Loads their file into `cache` (and the permission) when it holds them in
  // this format; returns whether it did. Anything else in the file is ignored with a log line.
  bool Open(const std::string& folder, const std::string& server, const std::string& team_id, const std::string& uid,
            Cache* cache, int64_t* permission);
  // The caches are about to be emptied for another service: nothing more is written for them.
  void Close();
  void SetPermission(int64_t permission);
  // The caches may have changed: a save follows after kSaveDelay unless one is already due.
  void Changed();
  // Queues a save on the core thread at once; it writes only when something changed.
  void SaveNow();

  // The file name for a team and user: "cache-<team>-<user>.json" with every character outside
  // [A-Za-z0-9_-] as %XX. On a server, "cache@<ServerKey>-<team>-<user>.json": the demo's names
  // stay as they were, and no team of the demo can take a server's name.
  static std::string FileName(const std::string& server, const std::string& team_id, const std::string& uid);

 private:
  void Save(uint64_t session);

  std::mutex mutex_;
  uint64_t session_ = 0;  // grows on every Open and Close; a save of an older one does nothing
  std::string path_;      // empty: nothing is kept
  std::string team_id_;
  std::string uid_;
  int64_t permission_ = 0;
  bool scheduled_ = false;
  // The text last written, by length and hash: unchanged caches are not written again, without
  // keeping a second copy of a whole team's caches for that.
  std::pair<size_t, size_t> written_{0, 0};
};

}  // namespace veltrina::internal
