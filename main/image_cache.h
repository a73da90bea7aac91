#pragma once
// The flat folder of downloaded avatars and thumbnails. Controls are given the local path of an
// image first; a missing file is fetched and the control is given the path again once it exists.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "main/cache_name.h"

namespace veltrinawnd::image_cache {

// The signed-in team's folder below the image cache folder (UTF-8, ending in "/"): teams never
// share a file. Made by the first download that saves into it.
std::string TeamFolder();

// Team folder + cache name in UTF-8 (what downloads write to and report); logged, as the path
// handed to a control.
std::string LocalPathUtf8(const std::string& file_name);
// The same path as UTF-16, for controls.
std::wstring LocalPath(const std::string& file_name);

// The largest image taken from a server; a larger answer fails its download.
inline constexpr uint64_t kMaxImageBytes = 20ull * 1024 * 1024;

// The size a thumbnail is shown at: the larger side 80, the other in proportion (0 by 0 for
// sizes that are not positive). Never larger than 80 by 80, whatever the server says.
inline constexpr long long kMaxThumbnailSide = 1000000;
SIZE ThumbnailDisplaySize(long long width, long long height);

struct Thumbnail {
  std::string address;     // the scaled picture on the file box host
  std::string local_name;  // path + "." + extension
  std::string full_address;
  int width = 0;  // the display size
  int height = 0;
};
Thumbnail ThumbnailFor(const std::string& path, const std::string& file_extension, long long thumb_width,
                       long long thumb_height);

// Fetches address into the cache under file_name; the callback gets the local path (UTF-8). A
// cached file answers at once, on this thread; otherwise the callback runs at most once, on the
// core's callback thread, after the file was written completely on an HTTP thread (a temporary
// file renamed into place). A failed or empty answer, or one larger than kMaxImageBytes, writes
// nothing and calls only `failed` (on the callback thread).
void Download(const std::string& address, const std::string& file_name,
              std::function<void(const std::string& local_path)> callback, std::function<void()> failed = nullptr);

// Whether the file was seen in the cache during this run, by a download or its check: answered
// from memory, so that the UI thread need not look at the disk for every row.
bool KnownCached(const std::string& file_name);
// The folder was emptied behind this program's back: forget what was seen in it.
void ForgetKnownFiles();

// Starts downloading every cached user's and service's avatar, and a trim of the cache; does
// not wait.
void PrefetchAvatars();
// Trims the cache to its limits (CacheLimits) on the core's file thread, sparing
// `just_written`; at most once a minute, and never two at once.
void ScheduleTrim(const std::string& just_written);

}  // namespace veltrinawnd::image_cache
