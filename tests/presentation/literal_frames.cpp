#include "literal_frames.h"

Picture pictureOf(const Image &image) {
  Picture picture;
  if (!image.pixels || (image.bitsPerPixel != 32 && image.bitsPerPixel != 24))
    return picture;
  picture.width = image.width;
  picture.height = image.height;
  const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
  picture.pixels.resize(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    if (image.bitsPerPixel == 32) {
      for (int c = 0; c < 4; ++c)
        picture.pixels[i * 4 + c] = image.pixels[i * 4 + c];
    } else {
      picture.pixels[i * 4] = 0;
      for (int c = 0; c < 3; ++c)
        picture.pixels[i * 4 + 1 + c] = image.pixels[i * 3 + c];
    }
  }
  return picture;
}

void paintAt(Picture &target, const Picture &source, int x, int y) {
  for (int row = 0; row < source.height; ++row) {
    for (int col = 0; col < source.width; ++col) {
      const int tx = x + col;
      const int ty = y + row;
      if (tx < 0 || ty < 0 || tx >= target.width || ty >= target.height)
        continue;
      const std::uint8_t *s = &source.pixels[(static_cast<std::size_t>(row) * source.width + col) * 4];
      std::uint8_t *d = &target.pixels[(static_cast<std::size_t>(ty) * target.width + tx) * 4];
      const int t = s[0];
      if (t == 255 || (t != 0 && d[0] == 255))
        continue;
      for (int c = 1; c < 4; ++c)
        d[c] = static_cast<std::uint8_t>(t == 0 ? s[c] : (s[c] * (255 - t) + d[c] * t + 127) / 255);
    }
  }
}

void layOver(Picture &scene, const Picture &layer) {
  if (scene.width == 0 || scene.width != layer.width || scene.height != layer.height)
    return;
  bool anyTransparency = false;
  for (std::size_t i = 0; i < layer.pixels.size(); i += 4)
    anyTransparency = anyTransparency || layer.pixels[i] != 0;
  if (!anyTransparency)
    scene = layer;
  else
    paintAt(scene, layer, 0, 0);
}

Picture spinnerSquare(const Image &strip, int k, std::uint32_t colour) {
  Picture square;
  const int w = strip.width;
  if (strip.bitsPerPixel != 8 || !strip.palette || !strip.pixels || w <= 0 || strip.height != 30 * w)
    return square;
  const int backdrop[3] = {static_cast<int>((colour >> 8) & 0xFF), static_cast<int>((colour >> 16) & 0xFF),
                           static_cast<int>((colour >> 24) & 0xFF)};
  square.width = w;
  square.height = w;
  square.pixels.resize(static_cast<std::size_t>(w) * w * 4);
  for (int i = 0; i < w * w; ++i) {
    const std::uint8_t *entry = &strip.palette[strip.pixels[k * w * w + i] * 4];
    const int t = entry[0];
    square.pixels[i * 4] = 0;
    for (int c = 0; c < 3; ++c)
      square.pixels[i * 4 + 1 + c] = static_cast<std::uint8_t>((t * backdrop[c] + entry[1 + c] * (255 - t)) / 255);
  }
  return square;
}

std::string compareFrame(const Image &image, const Picture &picture) {
  if (!image.pixels && picture.width == 0)
    return "";
  if (!image.pixels)
    return "frame is empty, expected a picture";
  if (picture.width == 0)
    return "frame holds a picture, expected none";
  if (image.bitsPerPixel != 32 || image.width != picture.width || image.height != picture.height)
    return "frame is " + std::to_string(image.width) + "x" + std::to_string(image.height) + "x" +
           std::to_string(image.bitsPerPixel) + ", expected " + std::to_string(picture.width) + "x" +
           std::to_string(picture.height) + "x32";
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
    if (image.pixels[i] != picture.pixels[i]) {
      const std::size_t pixel = i / 4;
      return "first difference at pixel (" + std::to_string(pixel % picture.width) + ", " +
             std::to_string(pixel / picture.width) + ") byte " + std::to_string(i % 4) + ": " +
             std::to_string(image.pixels[i]) + " instead of " + std::to_string(picture.pixels[i]);
    }
  }
  return "";
}
