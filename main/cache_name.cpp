#include "main/cache_name.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "app/split.h"

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

}  // namespace veltrinawnd::image_cache
