// Painting one Image onto another with the transparency rule.
#include <cstring>

#include "image.h"

namespace {

// Both operands are painted as 32-bit pixels. 1- and 8-bit pictures widen
// through their palette, or the grey ramp of colour 0 (white to black) when
// they have none. Returns false when a conversion ran out of memory: the
// picture is then still in its old format, and the pixel rule must not run on
// that buffer.
bool widenTo32(Image& image) {
  if (image.bitsPerPixel == 1) image.expandMonoTo8();
  if (image.bitsPerPixel == 8) image.expandPaletteTo32(0);
  if (image.bitsPerPixel == 24) image.expandRgbTo32();
  return image.bitsPerPixel == 32;
}

// Source pixel s over target pixel d, both T, R, G, B.
inline void paintPixel(const unsigned char* s, unsigned char* d, bool mergeTransparency) {
  unsigned s0 = s[0];
  if (s0 == 255) return;
  if (s0 == 0) {
    if (mergeTransparency) d[0] = 0;
    d[1] = s[1];
    d[2] = s[2];
    d[3] = s[3];
    return;
  }
  unsigned d0 = d[0];
  if (d0 == 255) {
    // A partly transparent source over nothing: without merging the target
    // stays invisible, so its colour is left alone too.
    if (!mergeTransparency) return;
    d[1] = s[1];
    d[2] = s[2];
    d[3] = s[3];
  } else {
    // Rounded to nearest: the quotient of v / 255 is never exactly halfway.
    for (int k = 1; k < 4; ++k) d[k] = static_cast<unsigned char>((s[k] * (255 - s0) + d[k] * s0 + 127) / 255);
  }
  if (mergeTransparency) {
    int t = static_cast<int>(d0) + static_cast<int>(s0) - 255;
    d[0] = static_cast<unsigned char>(t > 0 ? t : 0);
  }
}

}  // namespace

int Image::overlay(Image& source, bool mergeTransparency) {
  if (!pixels || !source.pixels || source.width != width || source.height != height) return 1;
  if (!source.hasTransparency()) {
    // Same shape: assign copies into the buffers we have. Otherwise the copy
    // is made aside first, so that running out of memory leaves the target as
    // it was.
    if (bitsPerPixel == source.bitsPerPixel && (palette == nullptr) == (source.palette == nullptr)) {
      assign(source);
      return 0;
    }
    Image copy(source);
    if (!copy.pixels) return 2;
    *this = static_cast<Image&&>(copy);
    return 0;
  }
  if (!widenTo32(*this) || !widenTo32(source)) return 2;
  size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i) paintPixel(source.pixels + 4 * i, pixels + 4 * i, mergeTransparency);
  return 0;
}

int Image::drawAt(Image& source, int32_t x, int32_t y, bool mergeTransparency) {
  // An empty target is refused too: with a negative position the bounds test
  // alone would let it through.
  if (!pixels || !source.pixels || x >= width || y >= height) return 1;
  if (!widenTo32(*this) || !widenTo32(source)) return 2;

  // Clipped on all four sides: a negative position cuts the source's left
  // columns and top rows as the target's right and bottom edges cut the rest.
  int64_t xStart = x < 0 ? 0 : x, yStart = y < 0 ? 0 : y;
  int64_t xEnd = int64_t(x) + source.width, yEnd = int64_t(y) + source.height;
  if (xEnd > width) xEnd = width;
  if (yEnd > height) yEnd = height;
  if (xStart >= xEnd) return 0;  // nothing of the source lies in the target
  for (int64_t r = yStart; r < yEnd; ++r) {
    const unsigned char* s = source.pixels + 4 * ((r - y) * int64_t(source.width) + (xStart - x));
    unsigned char* d = pixels + 4 * (r * int64_t(width) + xStart);
    for (int64_t c = xStart; c < xEnd; ++c, s += 4, d += 4) paintPixel(s, d, mergeTransparency);
  }
  return 0;
}
