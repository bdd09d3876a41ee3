// In-place format conversions of an Image.
//
// Each conversion builds its new buffers completely before it touches the
// record, so a failed allocation leaves the Image exactly as it was.
#include <cstring>

#include "alloc.h"
#include "image.h"
#include "image_size.h"

namespace {

// Channels of a pixel-order colour (bits 8-15 R, 16-23 G, 24-31 B).
void colourChannels(uint32_t colour, unsigned channel[3]) {
  channel[0] = (colour >> 8) & 0xFF;
  channel[1] = (colour >> 16) & 0xFF;
  channel[2] = (colour >> 24) & 0xFF;
}

size_t pixelCount(const Image& image) {
  return static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
}

// A new buffer of bytesPerPixel for every pixel of the image, or null.
unsigned char* newPixelBuffer(const Image& image, int bitsPerPixel) {
  size_t bytes = 0;
  if (!imageBufferSize(image.width, image.height, bitsPerPixel, &bytes)) return nullptr;
  return imageAlloc(bytes, false);
}

void replacePixels(Image& image, unsigned char* pixels, int bitsPerPixel) {
  imageFree(image.pixels);
  image.pixels = pixels;
  image.bitsPerPixel = bitsPerPixel;
}

}  // namespace

void Image::ensurePalette(uint32_t colour) {
  if (palette || (bitsPerPixel != 1 && bitsPerPixel != 8)) return;
  unsigned channel[3];
  colourChannels(colour, channel);
  // Without memory the Image stays without palette; the callers that need
  // one (expandPaletteTo32) check for it.
  unsigned char* table = imageAlloc(paletteBytes(), false);
  if (!table) return;
  unsigned top = bitsPerPixel == 1 ? 1 : 255;
  for (unsigned i = 0; i <= top; ++i) {
    unsigned step = bitsPerPixel == 1 ? i * 255 : i;
    unsigned char* entry = table + 4 * i;
    entry[0] = 0;
    for (int k = 0; k < 3; ++k)
      entry[1 + k] = static_cast<unsigned char>(((255 - channel[k]) * (255 - step) + channel[k] * step) / 255);
  }
  palette = table;
}

void Image::expandMonoTo8() {
  if (bitsPerPixel != 1 || !pixels) return;
  unsigned char* wide = newPixelBuffer(*this, 8);
  if (!wide) return;
  unsigned char* widePalette = nullptr;
  if (palette) {
    // The two colours stay at indices 0 and 1; the rest of the 256 is zero.
    widePalette = imageAlloc(1024, true);
    if (!widePalette) {
      imageFree(wide);
      return;
    }
    std::memcpy(widePalette, palette, 8);
  }
  unsigned char setValue = palette ? 1 : 255;
  size_t row = rowBytes();
  unsigned char* out = wide;
  // Rows only where there are pixels: a zero-width picture may be tall.
  for (int32_t y = 0; width > 0 && y < height; ++y) {
    const unsigned char* in = pixels + static_cast<size_t>(y) * row;
    for (int32_t x = 0; x < width; ++x)
      *out++ = (in[x / 8] & (0x80 >> (x % 8))) ? setValue : 0;
  }
  if (widePalette) {
    imageFree(palette);
    palette = widePalette;
  }
  replacePixels(*this, wide, 8);
}

void Image::expandPaletteTo32(uint32_t colour) {
  if (bitsPerPixel != 8 || !pixels) return;
  ensurePalette(colour);
  if (!palette) return;
  unsigned char* wide = newPixelBuffer(*this, 32);
  if (!wide) return;
  size_t count = pixelCount(*this);
  for (size_t i = 0; i < count; ++i) std::memcpy(wide + 4 * i, palette + 4 * pixels[i], 4);
  imageFree(palette);
  palette = nullptr;
  replacePixels(*this, wide, 32);
}

void Image::expandRgbTo32() {
  if (bitsPerPixel != 24 || !pixels) return;
  unsigned char* wide = newPixelBuffer(*this, 32);
  if (!wide) return;
  size_t count = pixelCount(*this);
  for (size_t i = 0; i < count; ++i) {
    wide[4 * i] = 0;
    std::memcpy(wide + 4 * i + 1, pixels + 3 * i, 3);
  }
  replacePixels(*this, wide, 32);
}

int Image::stripTransparency() {
  if (bitsPerPixel != 32 || !pixels) return 1;
  unsigned char* narrow = newPixelBuffer(*this, 24);
  if (!narrow) return 2;
  size_t count = pixelCount(*this);
  // Four pixels at a time, as fixed byte moves the compiler can keep in
  // registers, rather than a three-byte copy per pixel.
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const unsigned char* in = pixels + 4 * i;
    unsigned char* out = narrow + 3 * i;
    for (size_t k = 0; k < 4; ++k) {
      out[3 * k] = in[4 * k + 1];
      out[3 * k + 1] = in[4 * k + 2];
      out[3 * k + 2] = in[4 * k + 3];
    }
  }
  for (; i < count; ++i) std::memcpy(narrow + 3 * i, pixels + 4 * i + 1, 3);
  replacePixels(*this, narrow, 24);
  return 0;
}

int Image::flattenOnColour(uint32_t colour) {
  if (bitsPerPixel != 32 || !pixels) return 1;
  unsigned char* narrow = newPixelBuffer(*this, 24);
  if (!narrow) return 2;
  unsigned channel[3];
  colourChannels(colour, channel);
  size_t count = pixelCount(*this);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* in = pixels + 4 * i;
    unsigned t = in[0];
    for (int k = 0; k < 3; ++k)
      narrow[3 * i + k] = static_cast<unsigned char>((t * channel[k] + in[1 + k] * (255 - t)) / 255);
  }
  replacePixels(*this, narrow, 24);
  return 0;
}

bool Image::hasTransparency() const {
  if (bitsPerPixel == 1 || bitsPerPixel == 8) {
    if (!palette) return true;
    size_t entries = bitsPerPixel == 1 ? 2 : 256;
    for (size_t i = 0; i < entries; ++i)
      if (palette[4 * i] != 0) return true;
    return false;
  }
  if (bitsPerPixel == 32 && pixels) {
    // Blocks of 16 pixels without a branch inside: the resampler asks this of
    // every picture it makes, most of them opaque to the last pixel.
    size_t count = pixelCount(*this);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
      unsigned any = 0;
      for (size_t k = 0; k < 16; ++k) any |= pixels[4 * (i + k)];
      if (any != 0) return true;
    }
    for (; i < count; ++i)
      if (pixels[4 * i] != 0) return true;
  }
  return false;
}
