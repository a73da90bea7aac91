#pragma once
// Names of the files in the image cache. Pure string work (no Windows call), so it is fuzzed
// natively with hostile names.
#include <string>

namespace veltrinawnd::image_cache {

// The file name under which an image is cached. Names come from the server: only lower-case
// letters, digits, "-" and "_" are kept (anything else, which could leave the folder, be forbidden
// by Windows or read as an image attribute by DuiLib, becomes "_"), and only a picture extension
// (png, jpg, jpeg, gif, bmp; in lower case); any other is folded into the name. A name changed
// that way, or longer than 35 characters, keeps its first characters plus a short hash of the
// exact name, so two different names never share a file, whatever the file system's case rules.
std::string CacheName(const std::string& file_name);
// The folder of one team's images below the image cache folder, made safe the same way; for a team
// on a server (not the embedded demo, whose folders keep their names) followed by "-" and the
// server's address made safe: two servers' teams of one id never share an image.
std::string TeamFolderName(const std::string& team_id, const std::string& server = std::string());
// Names Windows opens as devices whatever their extension ("con.png", "NUL", "com1.txt").
bool IsDeviceName(const std::string& name);
// png, jpg, jpeg, gif or bmp, in any case (without the dot).
bool IsPictureExtension(const std::string& extension);

// stem + "_" + bucket(W*S) + "x" + bucket(H*S) + "." + extension; buckets 40, 80, 160, 320.
std::string AvatarFileName(const std::string& header_url, int width, int height, int scale);
int SizeBucket(long long value);

}  // namespace veltrinawnd::image_cache
