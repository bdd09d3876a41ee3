#include "image_size.h"

uint64_t imageRowBytes(int64_t width, int bitsPerPixel) {
  if (width < 0) return 0;
  uint64_t w = static_cast<uint64_t>(width);
  switch (bitsPerPixel) {
    case 1: return (w + 7) / 8;
    case 8: return w;
    case 24: return 3 * w;
    case 32: return 4 * w;
    default: return 0;
  }
}

bool imageArraySize(uint64_t count, uint64_t itemBytes, size_t* bytes) {
  // Both factors stay below 2^34 in every use, but check the product anyway
  // rather than rely on it.
  if (itemBytes != 0 && count > kMaxImageBufferBytes / itemBytes) return false;
  uint64_t total = count * itemBytes;
  if (total > kMaxImageBufferBytes) return false;
  *bytes = static_cast<size_t>(total);
  return true;
}

bool imageBufferSize(int64_t width, int64_t height, int bitsPerPixel, size_t* bytes) {
  if (width < 0 || height < 0) return false;
  if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
    return false;
  return imageArraySize(static_cast<uint64_t>(height), imageRowBytes(width, bitsPerPixel), bytes);
}
