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

// One 32-bit pixel premultiplied into DIB order, as little-endian words: in
// T | R << 8 | G << 16 | B << 24, out B | G << 8 | R << 16 | alpha << 24 with
// alpha = 255 - T. x * alpha / 255 is computed as (v + 1 + (v >> 8)) >> 8
// with v = x * alpha, the same integer for every v up to 65535, without a
// division; red and blue go through it side by side in the two 16-bit halves
// of one word (no product exceeds 65025, so neither half carries into the
// other). Opaque pixels (alpha 255) come back unchanged and fully transparent
// ones (alpha 0) as 0, which is what the two fast paths below rely on.
inline uint32_t premultipliedPixel(uint32_t in) {
  uint32_t alpha = 255u - (in & 0xFFu);
  uint32_t rb = ((in >> 8) & 0x00FF00FFu) * alpha;
  uint32_t g = ((in >> 16) & 0xFFu) * alpha;
  rb = ((rb + 0x00010001u + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  g = (g + 1u + (g >> 8)) >> 8;
  return (rb >> 16) | (g << 8) | ((rb & 0xFFu) << 16) | (alpha << 24);
}

// An opaque pixel (T 0) in DIB order: the bytes reversed, alpha 255.
inline uint32_t opaquePixel(uint32_t in) {
  return (in >> 24) | ((in >> 8) & 0xFF00u) | ((in << 8) & 0xFF0000u) | 0xFF000000u;
}

// The pixel words are read and written in the machine's byte order; every
// build of the player runs on little-endian x86, where that is the layout
// above.
inline uint32_t loadWord(const unsigned char* at) {
  uint32_t word;
  std::memcpy(&word, at, 4);
  return word;
}

inline void storeWord(unsigned char* at, uint32_t word) { std::memcpy(at, &word, 4); }

// Premultiplies (or flattens) one 32-bit row into DIB byte order.
// The premultiplied loop runs over every painted frame. It works in blocks of
// a fixed number of pixels, loops the compiler turns into vector code even
// where it vectorises only loops of a known trip count.
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
  // A frame is nearly all opaque pixels, with whole stretches of fully
  // transparent ones where the scene has none: a block that is all one or the
  // other takes the short way.
  constexpr size_t kBlock = 8;
  size_t i = 0;
  for (; i + kBlock <= count; i += kBlock) {
    uint32_t word[kBlock];
    uint32_t anyT = 0, allT = 0xFFu;
    for (size_t k = 0; k < kBlock; ++k) {
      word[k] = loadWord(in + 4 * (i + k));
      anyT |= word[k];
      allT &= word[k];
    }
    unsigned char* to = out + 4 * i;
    if ((anyT & 0xFFu) == 0) {
      for (size_t k = 0; k < kBlock; ++k) storeWord(to + 4 * k, opaquePixel(word[k]));
    } else if ((allT & 0xFFu) == 0xFFu) {
      std::memset(to, 0, 4 * kBlock);
    } else {
      for (size_t k = 0; k < kBlock; ++k) storeWord(to + 4 * k, premultipliedPixel(word[k]));
    }
  }
  for (; i < count; ++i) storeWord(out + 4 * i, premultipliedPixel(loadWord(in + 4 * i)));
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
