// The four MBM payload decoders, one per pixel depth.
//
// Each checks its compression code (4), works out its buffer sizes through
// the checked helper (5 when too large to address), takes its palette, then,
// before the pixel buffer is allocated, makes sure the bytes left could hold
// the picture at all: no coding packs more than a fixed number of pixels into
// a byte (a long run of format 5 is the densest, 65791 pixels in 8 bytes), so
// a payload too short even for that is corrupt (6). A few crafted bytes thus
// cannot make the decoder allocate and fill a gigabyte. Then the pixels are
// decoded, every run checked against the picture's end before it is written
// and every read checked against the data's end.
//
// A palette that cannot be allocated is treated like a pixel buffer that
// cannot: 5, and loadMbm empties the Image.
#include <cstring>

#include "alloc.h"
#include "image.h"
#include "image_size.h"
#include "mbm_reader.h"

namespace {

uint64_t pixelTotal(const Image& image) {
  return static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height);
}

// Whether the bytes left could decode to total pixels in a coding whose
// densest unit is unitBytes long and yields unitPixels pixels.
bool mayHold(const MbmReader& in, uint64_t total, uint64_t unitBytes, uint64_t unitPixels) {
  // total is at most 2^33 (a 1 GiB 1-bit buffer), unitBytes at most 8, and
  // left is bounded by the address space: neither product overflows.
  return total * unitBytes <= static_cast<uint64_t>(in.left) * unitPixels;
}

// The pixel buffer: 5 when it is too large or cannot be had, else 0.
int allocatePixels(Image& image, bool zeroed) {
  size_t bytes = 0;
  if (!imageBufferSize(image.width, image.height, image.bitsPerPixel, &bytes)) return 5;
  image.pixels = imageAlloc(bytes, zeroed);
  return image.pixels ? 0 : 5;
}

// Sizes are checked before anything is allocated or read.
int checkSize(const Image& image) {
  size_t bytes = 0;
  return imageBufferSize(image.width, image.height, image.bitsPerPixel, &bytes) ? 0 : 5;
}

// Raw pixel bytes: the whole buffer straight from the data.
int copyRawPixels(Image& image, MbmReader& in) {
  size_t bytes = image.pixelBytes();
  if (in.left < bytes) return 6;
  if (int result = allocatePixels(image, false)) return result;
  return in.copy(image.pixels, bytes) ? 0 : 6;
}

// Writes count copies of the pixelBytes-byte pixel at pixel index start.
void fillRun(unsigned char* pixels, uint64_t start, uint64_t count, const unsigned char* pixel,
             size_t pixelBytes) {
  unsigned char* out = pixels + start * pixelBytes;
  if (pixelBytes == 1) {
    std::memset(out, pixel[0], static_cast<size_t>(count));
    return;
  }
  for (uint64_t i = 0; i < count; ++i, out += pixelBytes) std::memcpy(out, pixel, pixelBytes);
}

int decodeMonoRuns(Image& image, MbmReader& in) {
  uint64_t total = pixelTotal(image);
  if (!mayHold(in, total, 1, 128)) return 6;
  if (int result = allocatePixels(image, true)) return result;
  uint64_t width = static_cast<uint64_t>(image.width);
  uint64_t row = image.rowBytes();
  uint64_t count = 0;
  while (count < total) {
    unsigned b = in.byte();
    if (in.failed) return 6;
    uint64_t n = (b >> 1) + 1;
    if (b & 1) {
      // A set run past the last pixel is corrupt; a clear run may overrun,
      // which simply ends the stream.
      if (count + n > total) return 6;
      for (uint64_t p = count; p < count + n; ++p) {
        uint64_t x = p % width, y = p / width;
        image.pixels[y * row + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
      }
    }
    count += n;
  }
  return 0;
}

// The 8-bit pixel streams of compression 1 to 4.
int decodeIndexStream(Image& image, MbmReader& in, int compression) {
  uint64_t total = pixelTotal(image);
  // Densest unit of each code: 256 pixels in 2 bytes, 259 in 3, 130 in 2,
  // 65795 in 4.
  static const uint64_t kUnitBytes[5] = {0, 2, 3, 2, 4};
  static const uint64_t kUnitPixels[5] = {0, 256, 259, 130, 65795};
  if (!mayHold(in, total, kUnitBytes[compression], kUnitPixels[compression])) return 6;
  if (int result = allocatePixels(image, false)) return result;
  uint64_t count = 0;
  while (count < total) {
    unsigned b = in.byte();
    uint64_t n = 1;
    unsigned value = b;
    if (compression == 1) {
      n = b + 1;
      value = in.byte();
    } else if (compression == 2 && b == 0xFF) {
      n = in.byte() + 4;
      value = in.byte();
    } else if (compression == 3 && b >= 0x80) {
      n = b - 125;
      value = in.byte();
    } else if (compression == 4 && b == 0xFF) {
      n = in.byte() + 4;
      value = in.byte();
    } else if (compression == 4 && b == 0xFE) {
      n = in.u16() + 260;
      value = in.byte();
    }
    if (in.failed) return 6;
    if (count + n > total) return 6;
    unsigned char v = static_cast<unsigned char>(value);
    fillRun(image.pixels, count, n, &v, 1);
    count += n;
  }
  return 0;
}

// Runs of 3- or 4-byte pixels in records of a length byte and the pixel.
int decodeRecords(Image& image, MbmReader& in, size_t pixelBytes) {
  uint64_t total = pixelTotal(image);
  if (!mayHold(in, total, 1 + pixelBytes, 256)) return 6;
  if (int result = allocatePixels(image, false)) return result;
  uint64_t count = 0;
  unsigned char pixel[4];
  while (count < total) {
    uint64_t n = in.byte() + 1;
    for (size_t k = 0; k < pixelBytes; ++k) pixel[k] = static_cast<unsigned char>(in.byte());
    if (in.failed) return 6;
    if (count + n > total) return 6;
    fillRun(image.pixels, count, n, pixel, pixelBytes);
    count += n;
  }
  return 0;
}

// The 32-bit unit stream: literal pixels, short runs and long runs.
int decodeUnits32(Image& image, MbmReader& in) {
  uint64_t total = pixelTotal(image);
  if (!mayHold(in, total, 8, 65791)) return 6;
  if (int result = allocatePixels(image, false)) return result;
  uint64_t count = 0;
  unsigned char pixel[4];
  while (count < total) {
    unsigned b[4];
    for (unsigned& v : b) v = in.byte();
    uint64_t n = 1;
    if (b[0] != 0xFF) {
      for (int k = 0; k < 4; ++k) pixel[k] = static_cast<unsigned char>(b[k]);
    } else if (b[1] == 0) {
      pixel[0] = 0xFF;
      pixel[1] = 0;
      pixel[2] = static_cast<unsigned char>(b[2]);
      pixel[3] = static_cast<unsigned char>(b[3]);
    } else if (b[1] == 1) {
      n = b[2] + 256 * b[3] + 256;
      for (unsigned char& v : pixel) v = static_cast<unsigned char>(in.byte());
    } else {
      n = b[1];
      pixel[0] = static_cast<unsigned char>(b[2]);
      pixel[1] = static_cast<unsigned char>(b[3]);
      pixel[2] = static_cast<unsigned char>(in.byte());
      pixel[3] = static_cast<unsigned char>(in.byte());
    }
    if (in.failed) return 6;
    if (count + n > total) return 6;
    fillRun(image.pixels, count, n, pixel, 4);
    count += n;
  }
  return 0;
}

}  // namespace

int Image::unpackMbm1(MbmReader& in, int format, int compression) {
  if (compression != 0 && compression != 1) return 4;
  if (int result = checkSize(*this)) return result;
  if (format == 0) {
    palette = imageAlloc(8, false);
    if (!palette) return 5;
    if (!in.copy(palette, 8)) return 6;
  }
  if (compression == 0) return copyRawPixels(*this, in);
  return decodeMonoRuns(*this, in);
}

int Image::unpackMbm8(MbmReader& in, int format, int compression) {
  int maxCompression = format == 2 ? 4 : 1;
  if (compression < 0 || compression > maxCompression) return 4;
  if (int result = checkSize(*this)) return result;
  if (format == 2) {
    // Entries that a counted palette leaves out stay zero: opaque black.
    palette = imageAlloc(1024, true);
    if (!palette) return 5;
    if (compression == 0) {
      if (!in.copy(palette, 1024)) return 6;
    } else {
      unsigned count = in.u16();
      if (in.failed || count == 0 || count > 256) return 6;
      if (!in.copy(palette, 4 * count)) return 6;
    }
  }
  // Format 3 with compression 0 has no palette, so nothing stands between
  // the header and its pixel bytes: they start right at the payload (our
  // encoder writes them there). Skipping 1024 bytes as if a palette were
  // there would read bytes that no writer puts in.
  if (compression == 0) return copyRawPixels(*this, in);
  return decodeIndexStream(*this, in, compression);
}

int Image::unpackMbm24(MbmReader& in, int compression) {
  if (compression != 0 && compression != 1) return 4;
  if (int result = checkSize(*this)) return result;
  if (compression == 0) return copyRawPixels(*this, in);
  return decodeRecords(*this, in, 3);
}

int Image::unpackMbm32(MbmReader& in, int compression) {
  if (compression < 0 || compression > 2) return 4;
  if (int result = checkSize(*this)) return result;
  if (compression == 0) return copyRawPixels(*this, in);
  if (compression == 1) return decodeRecords(*this, in, 4);
  return decodeUnits32(*this, in);
}
