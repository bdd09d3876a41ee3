// Fuzz target: Image::loadMbm on arbitrary bytes, given their exact length.
// A picture that decodes is then read end to end, packed as a DIB and, when
// small, resampled, so that a decoder that claims more than it filled shows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Image image;
  int result = image.loadMbm(data, size);
  if (result != 0) {
    // Every failure but the untouched ones leaves the Image empty.
    if (result != -1 && result != 1 && (image.pixels || image.palette || image.width || image.height))
      std::abort();
    return 0;
  }
  if (!image.pixels) std::abort();
  unsigned sum = 0;
  for (size_t i = 0; i < image.pixelBytes(); ++i) sum += image.pixels[i];
  for (size_t i = 0; image.palette && i < image.paletteBytes(); ++i) sum += image.palette[i];
  std::free(image.packDib(0x007FFF7F, sum & 1));
  if (int64_t(image.width) * image.height <= 4096 && image.width > 0 && image.height > 0) {
    Image copy = image;
    copy.resample(image.width / 2 + 1, image.height * 2 / 3 + 1);
    image.drawAt(copy, image.width / 3, -1, sum & 2);
  }
  return 0;
}
