// The Image record: lifetime, deep copy and allocation.
#include "image.h"

#include <cstring>

#include "alloc.h"
#include "image_size.h"

Image::Image(const Image& source) { assign(source); }

Image& Image::operator=(const Image& source) { return assign(source); }

Image::Image(Image&& source) noexcept
    : width(source.width), height(source.height), bitsPerPixel(source.bitsPerPixel),
      palette(source.palette), pixels(source.pixels) {
  source.palette = nullptr;
  source.pixels = nullptr;
  source.clear();
}

Image& Image::operator=(Image&& source) noexcept {
  if (&source == this) return *this;
  clear();
  width = source.width;
  height = source.height;
  bitsPerPixel = source.bitsPerPixel;
  palette = source.palette;
  pixels = source.pixels;
  source.palette = nullptr;
  source.pixels = nullptr;
  source.clear();
  return *this;
}

Image::~Image() { release(); }

void Image::release() {
  imageFree(palette);
  imageFree(pixels);
  palette = nullptr;
  pixels = nullptr;
}

void Image::clear() {
  release();
  width = 0;
  height = 0;
  bitsPerPixel = 0;
}

size_t Image::rowBytes() const { return static_cast<size_t>(imageRowBytes(width, bitsPerPixel)); }

size_t Image::pixelBytes() const {
  size_t bytes = 0;
  return imageBufferSize(width, height, bitsPerPixel, &bytes) ? bytes : 0;
}

size_t Image::paletteBytes() const {
  if (bitsPerPixel == 1) return 8;
  if (bitsPerPixel == 8) return 1024;
  return 0;
}

Image& Image::assign(const Image& source) {
  if (&source == this) return *this;

  // Same shape: copy over the buffers we already have.
  bool samePaletteState = (palette == nullptr) == (source.palette == nullptr);
  if (pixels && source.pixels && width == source.width && height == source.height &&
      bitsPerPixel == source.bitsPerPixel && samePaletteState) {
    if (palette) std::memcpy(palette, source.palette, paletteBytes());
    std::memcpy(pixels, source.pixels, pixelBytes());
    return *this;
  }

  if (!source.pixels) {
    clear();
    return *this;
  }

  // Both new buffers are had before the record changes: when either cannot
  // be, the target stays as it was (never a picture without its palette).
  size_t pixelSize = 0;
  if (!imageBufferSize(source.width, source.height, source.bitsPerPixel, &pixelSize))
    return *this;
  size_t paletteSize = (source.palette && source.bitsPerPixel <= 8)
                           ? (source.bitsPerPixel == 1 ? 8 : 1024)
                           : 0;
  unsigned char* newPalette = paletteSize ? imageAlloc(paletteSize, false) : nullptr;
  unsigned char* newPixels = imageAlloc(pixelSize, false);
  if ((paletteSize && !newPalette) || !newPixels) {
    imageFree(newPalette);
    imageFree(newPixels);
    return *this;
  }
  if (paletteSize) std::memcpy(newPalette, source.palette, paletteSize);
  std::memcpy(newPixels, source.pixels, pixelSize);
  clear();
  width = source.width;
  height = source.height;
  bitsPerPixel = source.bitsPerPixel;
  palette = newPalette;
  pixels = newPixels;
  return *this;
}

int Image::allocate(int32_t newWidth, int32_t newHeight, int32_t newBitsPerPixel, bool withPalette) {
  size_t pixelSize = 0;
  if (newWidth < 0 || newHeight < 0) return 1;
  if (newBitsPerPixel != 1 && newBitsPerPixel != 8 && newBitsPerPixel != 24 && newBitsPerPixel != 32)
    return 1;
  if (!imageBufferSize(newWidth, newHeight, newBitsPerPixel, &pixelSize)) return 2;
  size_t paletteSize = 0;
  if (withPalette && newBitsPerPixel <= 8) paletteSize = newBitsPerPixel == 1 ? 8 : 1024;
  unsigned char* newPalette = paletteSize ? imageAlloc(paletteSize, true) : nullptr;
  unsigned char* newPixels = imageAlloc(pixelSize, true);
  if ((paletteSize && !newPalette) || !newPixels) {
    imageFree(newPalette);
    imageFree(newPixels);
    return 2;
  }
  clear();
  width = newWidth;
  height = newHeight;
  bitsPerPixel = newBitsPerPixel;
  palette = newPalette;
  pixels = newPixels;
  return 0;
}
