// Packing an Image as a Windows device-independent bitmap.
//
// Portable on purpose: the block is plain bytes (header, colour table, rows),
// written here little-endian by hand, so that it is tested on Linux. Windows
// keeps rows bottom-up, padded to 4 bytes, with pixels B, G, R, alpha and
// alpha an opacity; the Image keeps them top-down as T, R, G, B with T a
// transparency. Transparency either becomes premultiplied alpha (32-bit and
// premultiply) or is flattened over the caller's colour (palettes always).
#include <cstring>

#include "alloc.h"
#include "image.h"
#include "image_size.h"

namespace {

constexpr size_t kHeaderBytes = 40;

void putU32(unsigned char* at, uint32_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
  at[2] = static_cast<unsigned char>(value >> 16);
  at[3] = static_cast<unsigned char>(value >> 24);
}

void putU16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

size_t colourTableBytes(int bitsPerPixel) {
  if (bitsPerPixel == 1) return 8;
  if (bitsPerPixel == 8) return 1024;
  return 0;
}

// Row stride and pixel part size, or false when the Image cannot be packed.
bool dibGeometry(const Image& image, size_t* stride, size_t* pixelPart) {
  if (!image.pixels || image.width < 0 || image.height < 0) return false;
  uint64_t row = imageRowBytes(image.width, image.bitsPerPixel);
  if (row == 0 && image.width != 0) return false;  // unknown depth
  if (image.bitsPerPixel != 1 && image.bitsPerPixel != 8 && image.bitsPerPixel != 24 &&
      image.bitsPerPixel != 32)
    return false;
  uint64_t padded = (row + 3) / 4 * 4;
  if (!imageArraySize(static_cast<uint64_t>(image.height), padded, pixelPart)) return false;
  *stride = static_cast<size_t>(padded);
  return true;
}

// A T, R, G, B entry as it looks over the COLORREF colour.
void flattenEntry(unsigned char* entry, uint32_t colorRef) {
  unsigned t = entry[0];
  if (t == 0) return;
  unsigned channel[3] = {colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF};
  for (int k = 0; k < 3; ++k)
    entry[1 + k] = static_cast<unsigned char>((channel[k] * t + entry[1 + k] * (255 - t)) / 255);
  entry[0] = 0;
}

void writeColourTable(const Image& image, uint32_t colorRef, unsigned char* table) {
  size_t entries = image.bitsPerPixel == 1 ? 2 : 256;
  unsigned rc = colorRef & 0xFF, gc = (colorRef >> 8) & 0xFF, bc = (colorRef >> 16) & 0xFF;
  if (image.palette) {
    std::memcpy(table, image.palette, entries * 4);
    for (size_t i = 0; i < entries; ++i) flattenEntry(table + 4 * i, colorRef);
    reverseQuadBytes(table, entries);
    return;
  }
  // No palette: the ramp from the inverse colour (0) to the colour (top value).
  unsigned top = static_cast<unsigned>(entries - 1);
  for (unsigned i = 0; i <= top; ++i) {
    unsigned step = top == 1 ? i * 255 : i;
    unsigned char* quad = table + 4 * i;
    quad[0] = static_cast<unsigned char>(((255 - bc) * (255 - step) + bc * step) / 255);
    quad[1] = static_cast<unsigned char>(((255 - gc) * (255 - step) + gc * step) / 255);
    quad[2] = static_cast<unsigned char>(((255 - rc) * (255 - step) + rc * step) / 255);
    quad[3] = 0;
  }
}

}  // namespace

void reverseQuadBytes(unsigned char* entries, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    unsigned char* q = entries + 4 * i;
    unsigned char b0 = q[0], b1 = q[1];
    q[0] = q[3];
    q[1] = q[2];
    q[2] = b1;
    q[3] = b0;
  }
}

size_t Image::packedDibSize() const {
  size_t stride = 0, pixelPart = 0;
  if (!dibGeometry(*this, &stride, &pixelPart)) return 0;
  return kHeaderBytes + colourTableBytes(bitsPerPixel) + pixelPart;
}

unsigned char* Image::packDib(uint32_t colorRef, bool premultiply) const {
  size_t stride = 0, pixelPart = 0;
  if (!dibGeometry(*this, &stride, &pixelPart)) return nullptr;
  size_t tableBytes = colourTableBytes(bitsPerPixel);
  unsigned char* block = imageAlloc(kHeaderBytes + tableBytes + pixelPart, true);
  if (!block) return nullptr;

  putU32(block + 0, 40);
  putU32(block + 4, static_cast<uint32_t>(width));
  putU32(block + 8, static_cast<uint32_t>(height));  // positive: bottom-up rows
  putU16(block + 12, 1);
  putU16(block + 14, static_cast<uint16_t>(bitsPerPixel));
  // Compression BI_RGB (0) and every other field stay 0.

  if (tableBytes) writeColourTable(*this, colorRef, block + kHeaderBytes);

  unsigned char* rows = block + kHeaderBytes + tableBytes;
  size_t row = rowBytes();
  // A picture of zero width may still be tall: nothing to copy or convert,
  // and no reason to walk a billion empty rows.
  if (row == 0) return block;
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(rows + static_cast<size_t>(height - 1 - y) * stride,
                pixels + static_cast<size_t>(y) * row, row);

  if (bitsPerPixel == 24) {
    for (int32_t y = 0; y < height; ++y) {
      unsigned char* p = rows + static_cast<size_t>(y) * stride;
      for (int32_t x = 0; x < width; ++x, p += 3) {
        unsigned char r = p[0];
        p[0] = p[2];
        p[2] = r;
      }
    }
  } else if (bitsPerPixel == 32) {
    // A 32-bit row is a multiple of 4 bytes, so the rows are contiguous.
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    unsigned char* p = rows;
    for (size_t i = 0; i < count; ++i, p += 4) {
      if (premultiply) {
        unsigned a = 255 - p[0];
        p[0] = static_cast<unsigned char>(a);
        p[1] = static_cast<unsigned char>(p[1] * a / 255);
        p[2] = static_cast<unsigned char>(p[2] * a / 255);
        p[3] = static_cast<unsigned char>(p[3] * a / 255);
      } else {
        flattenEntry(p, colorRef);
      }
    }
    reverseQuadBytes(rows, count);
  }
  return block;
}
