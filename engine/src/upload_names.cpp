#include "upload_names.h"

#include <cstdint>
#include <cstdio>

#include "utf8.h"
#include "veltrina/engine/images.h"
#include "veltrina/hosts.h"

namespace veltrina::engine {

using namespace internal;
namespace {

bool IsDeviceName(std::string stem) {
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

// At most `limit` bytes of UTF-8 without splitting a character.
std::string Head(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

uint32_t Le(const std::string& d, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(d[at + i]);
  return v;
}

bool JpegSize(const std::string& d, int* width, int* height) {
  size_t i = 2;
  while (i + 9 < d.size()) {
    if (static_cast<unsigned char>(d[i]) != 0xFF) return false;
    unsigned char marker = static_cast<unsigned char>(d[i + 1]);
    size_t length = (static_cast<unsigned char>(d[i + 2]) << 8) | static_cast<unsigned char>(d[i + 3]);
    bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      *height = (static_cast<unsigned char>(d[i + 5]) << 8) | static_cast<unsigned char>(d[i + 6]);
      *width = (static_cast<unsigned char>(d[i + 7]) << 8) | static_cast<unsigned char>(d[i + 8]);
      return *width > 0 && *height > 0;
    }
    if (length < 2) return false;
    i += 2 + length;
  }
  return false;
}

}  // namespace

std::string SafeShareName(const std::string& utf8) {
  std::string name;
  for (char c : SanitizeUtf8(utf8)) {
    auto u = static_cast<unsigned char>(c);
    bool reserved = u < 0x20 || u == 0x7F || std::string("\\/:*?\"<>|").find(c) != std::string::npos;
    name += reserved ? '_' : c;
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  if (name.empty()) return "file";
  if (name.size() > kMaxShareName) {
    // Keep a short extension: it decides the file's type.
    size_t dot = name.rfind('.');
    std::string ext = dot != std::string::npos && name.size() - dot <= 11 ? name.substr(dot) : std::string();
    name = Head(name.substr(0, name.size() - ext.size()), kMaxShareName - ext.size()) + ext;
  }
  if (IsDeviceName(name.substr(0, name.find('.')))) name = "_" + name;
  return name;
}

std::string StoredFileName(const std::string& entity_id, const std::string& extension) {
  std::string ext;
  for (char c : extension)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) ext += c;
  return ext.empty() ? entity_id : entity_id + "." + ext;
}

std::string ThumbnailPath(const std::string& url) {
  std::string prefix = "://";
  prefix += kFileBoxHost;
  prefix += "/thumb/";
  size_t at = url.find(prefix);
  if (at == std::string::npos || (url.compare(0, at, "https") != 0 && url.compare(0, at, "http") != 0)) return {};
  std::string rest = url.substr(at + prefix.size());
  rest = rest.substr(0, rest.find_first_of("?#"));
  rest = rest.substr(0, rest.rfind('.'));
  size_t us = rest.rfind('_');
  int w = 0, h = 0;
  if (us == std::string::npos || std::sscanf(rest.c_str() + us + 1, "%dx%d", &w, &h) != 2) return {};
  return rest.substr(0, us);
}

bool ImageSize(const std::string& d, int* width, int* height) {
  if (PngSize(d, width, height)) return true;
  int w = 0, h = 0;
  if (d.size() >= 10 && d.compare(0, 3, "GIF") == 0) {
    w = static_cast<int>(Le(d, 6, 2));
    h = static_cast<int>(Le(d, 8, 2));
  } else if (d.size() >= 26 && d.compare(0, 2, "BM") == 0) {
    w = static_cast<int32_t>(Le(d, 18, 4));
    h = static_cast<int32_t>(Le(d, 22, 4));
    if (h < 0) h = -h;
  } else if (d.size() >= 4 && static_cast<unsigned char>(d[0]) == 0xFF && static_cast<unsigned char>(d[1]) == 0xD8) {
    if (!JpegSize(d, &w, &h)) return false;
  }
  if (w <= 0 || h <= 0 || w > 100000 || h > 100000) return false;
  *width = w;
  *height = h;
  return true;
}

}  // namespace veltrina::engine
