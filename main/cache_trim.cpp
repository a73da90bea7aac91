#include "main/cache_trim.h"

#include <windows.h>

#include <algorithm>

#include "app/storage.h"

namespace veltrinawnd::image_cache {
namespace {

struct CachedFile {
  std::string path;  // UTF-8
  uint64_t bytes;
  uint64_t written;  // FILETIME ticks
};

uint64_t Ticks(FILETIME t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Files of `folder`; its subfolders (not theirs) too when `depth` > 0.
void List(const std::string& folder, int depth, std::vector<CachedFile>* files) {
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((Utf8ToUtf16(folder) + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::string path = folder + Utf16ToUtf8(name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (depth > 0 && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) List(path + "/", depth - 1, files);
      continue;
    }
    files->push_back({path, (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                      Ticks(found.ftLastWriteTime)});
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace

std::vector<std::string> TrimFolder(const std::string& folder, const CacheLimits& limits, const std::string& keep) {
  std::vector<CachedFile> files;
  List(folder, 1, &files);
  uint64_t total = 0;
  for (const CachedFile& f : files) total += f.bytes;
  std::vector<std::string> deleted;
  if (total <= limits.max_bytes && files.size() <= limits.max_files) return deleted;
  std::sort(files.begin(), files.end(), [](const CachedFile& a, const CachedFile& b) { return a.written < b.written; });
  FILETIME now_time{};
  GetSystemTimeAsFileTime(&now_time);
  const uint64_t fresh_from = Ticks(now_time) - static_cast<uint64_t>(limits.fresh_seconds) * 10000000ull;
  size_t count = files.size();
  for (const CachedFile& f : files) {
    if (total <= limits.max_bytes && count <= limits.max_files) break;
    if (f.written >= fresh_from) break;  // the rest are newer still
    if (f.path == keep) continue;
    if (!DeleteFileW(Utf8ToUtf16(f.path).c_str())) continue;
    total -= f.bytes;
    --count;
    deleted.push_back(f.path);
  }
  return deleted;
}

}  // namespace veltrinawnd::image_cache
