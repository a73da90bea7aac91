#pragma once
// Generated pictures of the demo service: avatars and thumbnails as PNG bytes.
#include <cstdint>
#include <string>

namespace veltrina::engine {

// A square-ish avatar of the given size, coloured and patterned from `seed` (a name).
std::string AvatarPng(const std::string& seed, int width, int height);
// A landscape-like picture for thumbnails and shared images.
std::string PicturePng(const std::string& seed, int width, int height);
// The generated picture for an avatar, service avatar or thumbnail address of the storage and file
// box hosts ("/vtavatar/<stem>_<w>x<h>.<ext>", "/vtstatic/<name>", "/thumb/<path>_<w>x<h>.<ext>");
// false for any other address.
bool GeneratedImageFor(const std::string& url, std::string* png);
// Width and height from a PNG's header; false when `data` is not a PNG.
bool PngSize(const std::string& data, int* width, int* height);

}  // namespace veltrina::engine
