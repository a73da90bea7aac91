#include "main/cache_name.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "app/split.h"

namespace veltrinawnd::image_cache {
namespace {

constexpr size_t kMaxCacheNameChars = 35;
constexpr size_t kHashChars = 8;

// Letters, digits, '-' and '_': nothing a file system, DuiLib's image attributes (key='value'
// pairs split at spaces) or its markup reads specially.
bool IsPlainChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ShortHash(const std::string& s) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : s) {
    h ^= c;
    h *= 16777619u;
  }
  char buf[kHashChars + 1];
  std::snprintf(buf, sizeof buf, "%08x", h);
  return buf;
}

// How a changed name's stem ends: "_" and the hash. An unchanged name may not end so, or it could
// be the changed form of another name.
bool EndsLikeHash(std::string_view stem) {
  if (stem.size() < kHashChars + 1 || stem[stem.size() - kHashChars - 1] != '_') return false;
  return stem.substr(stem.size() - kHashChars).find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// `name` with every character outside IsPlainChar made "_" and letters in lower case, then
// `extension` (lower case, with its dot, or empty). Unchanged when that equals the name and fits;
// otherwise cut and given the hash of the exact name, so that two names never share a file,
// not even on a file system that ignores case.
std::string SafeName(const std::string& name, std::string_view stem, const std::string& extension) {
  std::string safe;
  safe.reserve(stem.size() + kHashChars + 1 + extension.size());
  for (unsigned char c : stem) safe.push_back(IsPlainChar(c) ? LowerAscii(static_cast<char>(c)) : '_');
  bool changed = safe.empty() || EndsLikeHash(safe) || IsDeviceName(safe) || safe + extension != name ||
                 safe.size() + extension.size() > kMaxCacheNameChars;
  if (!changed) return safe + extension;
  if (safe.size() + extension.size() > kMaxCacheNameChars) safe.resize(kMaxCacheNameChars - extension.size());
  return safe + "_" + ShortHash(name) + extension;
}

}  // namespace

// Names Windows opens as devices whatever their extension: "con.png" is the console.
bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = LowerAscii(c);
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

bool IsPictureExtension(const std::string& extension) {
  std::string lower;
  for (char c : extension) lower.push_back(LowerAscii(c));
  return lower == "png" || lower == "jpg" || lower == "jpeg" || lower == "gif" || lower == "bmp";
}

std::string CacheName(const std::string& file_name) {
  // Only a picture extension stays; any other is folded into the stem (its dot becomes "_").
  size_t dot = file_name.rfind('.');
  if (dot != std::string::npos && IsPictureExtension(file_name.substr(dot + 1))) {
    std::string extension = ".";
    for (char c : file_name.substr(dot + 1)) extension.push_back(LowerAscii(c));
    return SafeName(file_name, std::string_view(file_name).substr(0, dot), extension);
  }
  return SafeName(file_name, file_name, std::string());
}

std::string TeamFolderName(const std::string& team_id, const std::string& server) {
  std::string name = SafeName(team_id, team_id, std::string());
  // A server's address always changes ("://"), so its safe form ends in a hash, which no unchanged
  // team name does: a demo team's folder never meets a server's.
  if (!server.empty()) name += "-" + SafeName(server, server, std::string());
  return name;
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
