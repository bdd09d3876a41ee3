// MBM header: magic, size, format and compression codes, then one of the four
// decoders (mbm_unpack.cpp) for the payload.
#include "image.h"
#include "mbm_reader.h"

int Image::loadMbm(const unsigned char* data, size_t size) {
  if (!data) return -1;
  // Fewer than two bytes cannot carry the magic: the same answer as wrong
  // magic, and likewise the Image is left as it was.
  if (size < 2 || data[0] != 0x4D || data[1] != 0x42) return 1;
  clear();

  MbmReader in(data + 2, size - 2);
  int32_t newWidth = in.i32();
  int32_t newHeight = in.i32();
  if (in.failed) return 6;
  if (newWidth < 0 || newHeight < 0) return 2;
  unsigned format = in.byte();
  unsigned compression = in.byte();
  if (in.failed) return 6;

  width = newWidth;
  height = newHeight;
  int result = 3;
  switch (format) {
    case 0:
    case 1:
      bitsPerPixel = 1;
      result = unpackMbm1(in, static_cast<int>(format), static_cast<int>(compression));
      break;
    case 2:
    case 3:
      bitsPerPixel = 8;
      result = unpackMbm8(in, static_cast<int>(format), static_cast<int>(compression));
      break;
    case 4:
      bitsPerPixel = 24;
      result = unpackMbm24(in, static_cast<int>(compression));
      break;
    case 5:
      bitsPerPixel = 32;
      result = unpackMbm32(in, static_cast<int>(compression));
      break;
  }
  if (result != 0) clear();
  return result;
}
