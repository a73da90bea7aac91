#pragma once
// Reads a picture's format and pixel size from its first bytes, without decoding it, and the
// limits every picture is held to. Pure code over a byte buffer: no Windows, no allocation.
#include <cstddef>
#include <cstdint>

namespace DuiLib {

// Nothing larger is decoded: a side beyond kMaxImageSide or more than kMaxImagePixels is
// refused from the header alone, before any memory is spent on it.
inline constexpr int kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = 50'000'000;
// Pictures from outside are decoded scaled down to fit this square: nothing the skins show is
// larger, and a 4096 by 4096 photo then costs 4 MB of bitmap instead of 64.
inline constexpr int kMaxDecodedSide = 1024;

enum class ImageFormat { Png, Jpeg, Gif, Bmp };

struct TImageHeader {
  ImageFormat format = ImageFormat::Png;
  int width = 0;   // always positive when probing succeeded
  int height = 0;
};

// True when data starts like a PNG, JPEG (up to its first frame header), GIF or BMP with a
// positive width and height; the rest of the file is not looked at.
bool ProbeImageHeader(const unsigned char* data, size_t size, TImageHeader& header);

// True when a picture of this size may be decoded at all.
bool IsImageSizeAcceptable(int width, int height);

// The size a width x height picture is decoded at to fit side x side: unchanged when it fits,
// else scaled down keeping its proportions, never below one pixel. side <= 0: unchanged.
void FitImageSize(int width, int height, int side, int& fitWidth, int& fitHeight);

}  // namespace DuiLib
