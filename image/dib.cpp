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

namespace {

// Premultiplies (or flattens) one 32-bit row into DIB byte order.
// This loop runs over every painted frame. Opaque and fully transparent
// pixels, nearly all of a frame, take no arithmetic; for the others x * a / 255
// is computed as (v + 1 + (v >> 8)) >> 8 with v = x * a, the same integer for
// every v up to 65535, without a division.
void packRow32(const unsigned char* in, unsigned char* out, size_t count, bool premultiply,
               uint32_t colorRef) {
  if (!premultiply) {
    for (size_t i = 0; i < count; ++i, in += 4, out += 4) {
      unsigned char entry[4] = {in[0], in[1], in[2], in[3]};
      flattenEntry(entry, colorRef);
      out[0] = entry[3];
      out[1] = entry[2];
      out[2] = entry[1];
      out[3] = entry[0];
    }
    return;
  }
  for (size_t i = 0; i < count; ++i, in += 4, out += 4) {
    unsigned t = in[0];
    if (t == 0) {
      out[0] = in[3];
      out[1] = in[2];
      out[2] = in[1];
      out[3] = 255;
      continue;
    }
    if (t == 255) {
      std::memset(out, 0, 4);
      continue;
    }
    unsigned a = 255u - t;
    unsigned r = in[1] * a, g = in[2] * a, b = in[3] * a;
    out[0] = static_cast<unsigned char>((b + 1 + (b >> 8)) >> 8);
    out[1] = static_cast<unsigned char>((g + 1 + (g >> 8)) >> 8);
    out[2] = static_cast<unsigned char>((r + 1 + (r >> 8)) >> 8);
    out[3] = static_cast<unsigned char>(a);
  }
}

}  // namespace

unsigned char* Image::packDib(uint32_t colorRef, bool premultiply) const {
  size_t stride = 0, pixelPart = 0;
  if (!dibGeometry(*this, &stride, &pixelPart)) return nullptr;
  size_t tableBytes = colourTableBytes(bitsPerPixel);
  // Not zero-filled as a whole: every byte is written below, the row padding
  // explicitly, which spares a pass over a frame-sized block.
  size_t total = kHeaderBytes + tableBytes + pixelPart;
  unsigned char* block = imageAlloc(total, false);
  if (!block) return nullptr;

  std::memset(block, 0, kHeaderBytes);
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
  if (row == 0) {
    std::memset(rows, 0, pixelPart);
    return block;
  }
  for (int32_t y = 0; y < height; ++y) {
    const unsigned char* in = pixels + static_cast<size_t>(y) * row;
    unsigned char* out = rows + static_cast<size_t>(height - 1 - y) * stride;
    if (bitsPerPixel == 32) {
      packRow32(in, out, static_cast<size_t>(width), premultiply, colorRef);
      continue;  // 4-byte pixels: no padding
    }
    if (bitsPerPixel == 24) {
      for (int32_t x = 0; x < width; ++x, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
    } else {
      std::memcpy(out, in, row);
      out += row;
    }
    std::memset(out, 0, stride - row);
  }
  return block;
}
