#pragma once
// Reading and decoding picture files, inside the toolkit. Pictures are decoded by the platform's
// imaging component (WIC), which Windows keeps patched against hostile files; the size is read
// from the header first, so a huge picture is refused before anything is decoded.
#include <string>

#include "duilib/UIImageHeader.h"
#include "duilib/UIRender.h"

namespace DuiLib {

// A picture file read whole, with what its header says.
struct TImageFile {
  std::string bytes;
  TImageHeader header;
};

// Larger files are not read: no picture the client shows comes near it.
inline constexpr size_t kMaxImageFileBytes = size_t{64} << 20;

// False when the file is missing, unreadable, empty or too long, is no PNG/JPEG/GIF/BMP, or is
// larger than IsImageSizeAcceptable allows.
bool ReadImageFile(const CDuiString& path, TImageFile& file);

// Decodes on the calling thread (COM is initialised on it when it is not yet), scaled down to fit
// fitSide x fitSide (0: full size), as a premultiplied top-down 32-bit DIB. Null on any failure.
TImageInfo* DecodeImageFile(const TImageFile& file, int fitSide);

}  // namespace DuiLib
