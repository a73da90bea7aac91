#include "veltrina/engine/images.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "veltrina/hosts.h"
#include "veltrina/immortal.h"

namespace veltrina::engine {


namespace {

uint32_t Hash(const std::string& text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::string*>(context);
  out->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

std::string Encode(const std::vector<unsigned char>& rgba, int width, int height) {
  std::string out;
  stbi_write_png_to_func(AppendBytes, &out, width, height, 4, rgba.data(), width * 4);
  return out;
}

int Clamp(int v) { return std::clamp(v, 1, 1024); }

}  // namespace

std::string AvatarPng(const std::string& seed, int width, int height) {
  width = Clamp(width);
  height = Clamp(height);
  uint32_t h = Hash(seed);
  unsigned char r = static_cast<unsigned char>(60 + (h & 0x7F));
  unsigned char g = static_cast<unsigned char>(60 + ((h >> 8) & 0x7F));
  unsigned char b = static_cast<unsigned char>(60 + ((h >> 16) & 0x7F));
  std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
  // A 5x5 symmetric pattern of light cells on the colour, like generated identicons.
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int cx = x * 5 / width;
      int cy = y * 5 / height;
      int col = cx < 3 ? cx : 4 - cx;
      bool light = (h >> ((cy * 3 + col) % 24 + 8)) & 1;
      size_t at = (static_cast<size_t>(y) * width + x) * 4;
      rgba[at + 0] = light ? 245 : r;
      rgba[at + 1] = light ? 245 : g;
      rgba[at + 2] = light ? 245 : b;
      rgba[at + 3] = 255;
    }
  }
  return Encode(rgba, width, height);
}

std::string PicturePng(const std::string& seed, int width, int height) {
  width = Clamp(width);
  height = Clamp(height);
  uint32_t h = Hash(seed);
  int sun_x = static_cast<int>(h % static_cast<uint32_t>(width));
  int sun_y = height / 3;
  int sun_r = std::max(2, std::min(width, height) / 6);
  std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      size_t at = (static_cast<size_t>(y) * width + x) * 4;
      int horizon = height * 2 / 3 + static_cast<int>((h >> 8) % 7) - 3;
      int dx = x - sun_x, dy = y - sun_y;
      if (dx * dx + dy * dy <= sun_r * sun_r) {
        rgba[at + 0] = 255, rgba[at + 1] = 200, rgba[at + 2] = 60;
      } else if (y < horizon) {
        rgba[at + 0] = static_cast<unsigned char>(90 + 100 * y / height);
        rgba[at + 1] = static_cast<unsigned char>(150 + 60 * y / height);
        rgba[at + 2] = 230;
      } else {
        rgba[at + 0] = 60;
        rgba[at + 1] = static_cast<unsigned char>(120 + (h >> 16) % 60);
        rgba[at + 2] = 70;
      }
      rgba[at + 3] = 255;
    }
  }
  return Encode(rgba, width, height);
}

bool GeneratedImageFor(const std::string& url, std::string* png) {
  // Pictures are served on core threads, which may still run while the process exits.
  static Immortal<std::string> storage(kStorageHost), files(kFileBoxHost);
  const std::string& kStorage = storage.get();
  const std::string& kFiles = files.get();
  std::string rest;
  for (const char* scheme : {"https://", "http://"}) {
    std::string s(scheme);
    if (url.compare(0, s.size() + kStorage.size(), s + kStorage) == 0) rest = url.substr(s.size() + kStorage.size());
    if (url.compare(0, s.size() + kFiles.size(), s + kFiles) == 0) rest = url.substr(s.size() + kFiles.size());
  }
  size_t query = rest.find_first_of("?#");
  if (query != std::string::npos) rest.resize(query);
  auto sized = [](const std::string& name, std::string* stem, int* w, int* h) {
    *stem = name.substr(0, name.rfind('.'));
    size_t us = stem->rfind('_');
    if (us == std::string::npos || std::sscanf(stem->c_str() + us + 1, "%dx%d", w, h) != 2) return false;
    stem->resize(us);
    return true;
  };
  std::string stem;
  int w = 40, h = 40;
  if (rest.compare(0, 10, "/vtavatar/") == 0 && rest.size() > 10) {
    if (!sized(rest.substr(10), &stem, &w, &h)) w = h = 40;
    *png = AvatarPng(stem, w, h);
    return true;
  }
  if (rest.compare(0, 10, "/vtstatic/") == 0 && rest.size() > 10) {
    *png = AvatarPng(rest.substr(10), 40, 40);
    return true;
  }
  if (rest.compare(0, 7, "/thumb/") == 0) {
    if (!sized(rest.substr(7), &stem, &w, &h) || w <= 0 || h <= 0) return false;
    *png = PicturePng(stem, w, h);
    return true;
  }
  return false;
}

bool PngSize(const std::string& data, int* width, int* height) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data.size() < 24 || !std::equal(kSignature, kSignature + 8, reinterpret_cast<const unsigned char*>(data.data())))
    return false;
  auto read32 = [&](size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + at;
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
  };
  uint32_t w = read32(16), hgt = read32(20);
  if (w == 0 || hgt == 0 || w > 100000 || hgt > 100000) return false;
  *width = static_cast<int>(w);
  *height = static_cast<int>(hgt);
  return true;
}

}  // namespace veltrina::engine
