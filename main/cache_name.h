#pragma once
// Names of the files in the image cache. Pure string work (no Windows call), so it is fuzzed
// natively with hostile names.
#include <string>

namespace veltrinawnd::image_cache {

// The file name under which an image is cached. Names come from the server, so anything that
// could leave the folder or that Windows forbids becomes "_", and names longer than 35
// characters (or changed that way) keep their first 35 characters plus a short hash of the
// whole name, so two different names never share a file.
std::string CacheName(const std::string& file_name);
// Names Windows opens as devices whatever their extension ("con.png", "NUL", "com1.txt").
bool IsDeviceName(const std::string& name);

// stem + "_" + bucket(W*S) + "x" + bucket(H*S) + "." + extension; buckets 40, 80, 160, 320.
std::string AvatarFileName(const std::string& header_url, int width, int height, int scale);
int SizeBucket(long long value);

}  // namespace veltrinawnd::image_cache
