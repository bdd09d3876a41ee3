// Helpers shared by the image tests: building pictures by hand and at random,
// and comparing them.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/image.h"

using Bytes = std::vector<unsigned char>;

// A picture of the given shape holding exactly these pixel (and palette) bytes.
inline Image makeImage(int32_t width, int32_t height, int32_t bpp, const Bytes& pixels,
                       const Bytes& palette = {}) {
  Image image;
  image.allocate(width, height, bpp, !palette.empty());
  if (!pixels.empty()) std::memcpy(image.pixels, pixels.data(), pixels.size());
  if (!palette.empty()) std::memcpy(image.palette, palette.data(), palette.size());
  return image;
}

inline Bytes pixelBytes(const Image& image) {
  return Bytes(image.pixels, image.pixels + image.pixelBytes());
}

inline Bytes paletteBytesOf(const Image& image) {
  if (!image.palette) return {};
  return Bytes(image.palette, image.palette + image.paletteBytes());
}

// Same shape, same palette state and bytes, same pixels.
inline bool sameImage(const Image& a, const Image& b) {
  return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
         (a.pixels == nullptr) == (b.pixels == nullptr) && paletteBytesOf(a) == paletteBytesOf(b) &&
         (!a.pixels || pixelBytes(a) == pixelBytes(b));
}

inline std::string describe(const Image& image) {
  return std::to_string(image.width) + "x" + std::to_string(image.height) + "@" +
         std::to_string(image.bitsPerPixel) + (image.palette ? " palette" : "");
}

// A random picture whose pixels come in runs (so the run codings get runs to
// find) of random values; 1-bit row padding stays 0.
inline Image randomImage(std::mt19937& rng, int32_t width, int32_t height, int32_t bpp, bool withPalette) {
  Image image;
  image.allocate(width, height, bpp, withPalette);
  if (image.palette)
    for (size_t i = 0; i < image.paletteBytes(); ++i) image.palette[i] = static_cast<unsigned char>(rng());
  size_t count = size_t(width) * size_t(height);
  size_t pixelSize = bpp == 1 ? 1 : size_t(bpp / 8);
  unsigned char value[4] = {0, 0, 0, 0};
  size_t runLeft = 0;
  for (size_t p = 0; p < count; ++p) {
    if (runLeft == 0) {
      runLeft = 1 + (rng() % 4 == 0 ? rng() % 300 : rng() % 3);
      for (unsigned char& v : value) v = static_cast<unsigned char>(rng());
    }
    --runLeft;
    size_t x = p % size_t(width), y = p / size_t(width);
    if (bpp == 1) {
      if (value[0] & 1) image.pixels[y * image.rowBytes() + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    } else {
      std::memcpy(image.pixels + p * pixelSize, value, pixelSize);
    }
  }
  return image;
}
