#pragma once
// What the demo service makes of an uploaded file: the name it is shared under, where its bytes
// are kept and its picture size.
#include <string>

namespace veltrina::engine {

// The longest shared name, in UTF-8 bytes.
inline constexpr size_t kMaxShareName = 200;

// A name that is safe as a file name on any system that saves the download: no path separators,
// reserved or control characters (each becomes "_"), no trailing dots or spaces, no device name
// (CON, NUL, COM1, LPT1, ... with or without an extension gets a leading "_"), at most
// kMaxShareName bytes with its extension kept. Empty input gives "file".
std::string SafeShareName(const std::string& utf8);
// The stored file's name inside the service's folder: the entity id and an extension made of
// letters and digits only, so no shared name can reach outside the folder.
std::string StoredFileName(const std::string& entity_id, const std::string& extension);
// "f/e-12" for a file box thumbnail address ".../thumb/f/e-12_160x120.png"; else empty.
std::string ThumbnailPath(const std::string& url);
// Pixel size of PNG, GIF, BMP or JPEG bytes; false for anything else.
bool ImageSize(const std::string& data, int* width, int* height);

}  // namespace veltrina::engine
