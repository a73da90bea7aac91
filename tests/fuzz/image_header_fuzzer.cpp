// Picture headers from hostile files: probing reads only within the buffer, reports positive sizes,
// and what the limits accept is always decoded within them.
#include "duilib/UIImageHeader.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace DuiLib;
  TImageHeader header;
  if (!ProbeImageHeader(data, size, header)) return 0;
  FUZZ_CHECK(header.width > 0 && header.height > 0);
  if (!IsImageSizeAcceptable(header.width, header.height)) return 0;
  FUZZ_CHECK(header.width <= kMaxImageSide && header.height <= kMaxImageSide &&
             int64_t{header.width} * header.height <= kMaxImagePixels);
  int width = 0, height = 0;
  FitImageSize(header.width, header.height, kMaxDecodedSide, width, height);
  FUZZ_CHECK(width >= 1 && height >= 1 && width <= kMaxDecodedSide && height <= kMaxDecodedSide);
  FUZZ_CHECK(width <= header.width && height <= header.height);
  FUZZ_CHECK(width == kMaxDecodedSide || height == kMaxDecodedSide || (width == header.width && height == header.height));
  return 0;
}
