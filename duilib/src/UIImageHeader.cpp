#include "duilib/UIImageHeader.h"

#include <cstring>

namespace DuiLib {
namespace {

uint32_t Big16(const unsigned char* p) { return uint32_t{p[0]} << 8 | p[1]; }
uint32_t Big32(const unsigned char* p) { return Big16(p) << 16 | Big16(p + 2); }
uint32_t Little16(const unsigned char* p) { return uint32_t{p[1]} << 8 | p[0]; }
uint32_t Little32(const unsigned char* p) { return Little16(p + 2) << 16 | Little16(p); }

bool Positive(int64_t width, int64_t height, ImageFormat format, TImageHeader& header) {
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return false;
  header = {format, static_cast<int>(width), static_cast<int>(height)};
  return true;
}

bool ProbePng(const unsigned char* p, size_t size, TImageHeader& header) {
  // Signature, then IHDR first: its length (13), type, width, height.
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 24 || std::memcmp(p, kSignature, 8) != 0 || Big32(p + 8) != 13 || std::memcmp(p + 12, "IHDR", 4) != 0)
    return false;
  return Positive(Big32(p + 16), Big32(p + 20), ImageFormat::Png, header);
}

bool ProbeGif(const unsigned char* p, size_t size, TImageHeader& header) {
  if (size < 10 || (std::memcmp(p, "GIF87a", 6) != 0 && std::memcmp(p, "GIF89a", 6) != 0)) return false;
  return Positive(Little16(p + 6), Little16(p + 8), ImageFormat::Gif, header);
}

bool ProbeBmp(const unsigned char* p, size_t size, TImageHeader& header) {
  if (size < 26 || p[0] != 'B' || p[1] != 'M') return false;
  const uint32_t infoSize = Little32(p + 14);
  if (infoSize == 12) return Positive(Little16(p + 18), Little16(p + 20), ImageFormat::Bmp, header);
  if (infoSize < 16) return false;
  // Signed: a negative height is a top-down bitmap.
  const int64_t width = static_cast<int32_t>(Little32(p + 18));
  const int64_t height = static_cast<int32_t>(Little32(p + 22));
  return Positive(width, height < 0 ? -height : height, ImageFormat::Bmp, header);
}

bool IsFrameMarker(unsigned char m) {
  // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

bool ProbeJpeg(const unsigned char* p, size_t size, TImageHeader& header) {
  if (size < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
  size_t at = 2;
  while (at < size) {
    if (p[at] != 0xFF) return false;
    while (at < size && p[at] == 0xFF) ++at;  // fill bytes
    if (at >= size) return false;
    const unsigned char marker = p[at++];
    if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA || marker == 0x00) return false;  // data or end before a frame
    if (size - at < 2) return false;
    const size_t length = Big16(p + at);
    if (length < 2 || size - at < length) return false;
    if (IsFrameMarker(marker)) {
      // Precision, height, width; a height of 0 (set later by DNL) is not accepted.
      if (length < 7) return false;
      return Positive(Big16(p + at + 5), Big16(p + at + 3), ImageFormat::Jpeg, header);
    }
    at += length;
  }
  return false;
}

}  // namespace

bool ProbeImageHeader(const unsigned char* data, size_t size, TImageHeader& header) {
  if (!data) return false;
  return ProbePng(data, size, header) || ProbeJpeg(data, size, header) || ProbeGif(data, size, header) ||
         ProbeBmp(data, size, header);
}

bool IsImageSizeAcceptable(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         int64_t{width} * height <= kMaxImagePixels;
}

void FitImageSize(int width, int height, int side, int& fitWidth, int& fitHeight) {
  fitWidth = width;
  fitHeight = height;
  if (side <= 0 || width <= 0 || height <= 0 || (width <= side && height <= side)) return;
  if (width >= height) {
    fitWidth = side;
    fitHeight = static_cast<int>(int64_t{height} * side / width);
  } else {
    fitHeight = side;
    fitWidth = static_cast<int>(int64_t{width} * side / height);
  }
  if (fitWidth < 1) fitWidth = 1;
  if (fitHeight < 1) fitHeight = 1;
}

}  // namespace DuiLib
