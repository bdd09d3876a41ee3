// Compositing: the pixel rule's numbers, refusals, clipping, and both
// operations against a literal per-pixel oracle on random pictures.
#include <gtest/gtest.h>

#include <cmath>

#include "alloc_control.h"
#include "test_util.h"

namespace {

// --- The oracle: the rule as written, one pixel at a time, in doubles. ---

// Any operand as the 32-bit pixel compositing paints with (palette entry, or
// the grey ramp of colour 0: value v gives 255 - v, a clear bit white).
Bytes literal32(const Image& image, int x, int y) {
  size_t i = size_t(y) * size_t(image.width) + size_t(x);
  switch (image.bitsPerPixel) {
    case 32: return Bytes(image.pixels + 4 * i, image.pixels + 4 * i + 4);
    case 24: return {0, image.pixels[3 * i], image.pixels[3 * i + 1], image.pixels[3 * i + 2]};
    case 8: {
      unsigned v = image.pixels[i];
      if (image.palette) return Bytes(image.palette + 4 * v, image.palette + 4 * v + 4);
      unsigned char g = static_cast<unsigned char>(255 - v);
      return {0, g, g, g};
    }
    default: {
      size_t row = (size_t(image.width) + 7) / 8;
      unsigned bit = (image.pixels[size_t(y) * row + size_t(x) / 8] >> (7 - x % 8)) & 1;
      if (image.palette) return Bytes(image.palette + 4 * bit, image.palette + 4 * bit + 4);
      unsigned char g = bit ? 0 : 255;
      return {0, g, g, g};
    }
  }
}

Bytes literalRule(const Bytes& s, Bytes d, bool merge) {
  if (s[0] == 255) return d;
  if (s[0] == 0) {
    if (merge) return s;
    return {d[0], s[1], s[2], s[3]};
  }
  if (!merge && d[0] == 255) return d;
  if (d[0] == 255) {
    d[1] = s[1], d[2] = s[2], d[3] = s[3];
  } else {
    for (int k = 1; k < 4; ++k)
      d[k] = static_cast<unsigned char>((s[k] * (255.0 - s[0]) + d[k] * double(s[0])) * (1.0 / 255) + 0.5);
  }
  if (merge) {
    int t = d[0] + s[0] - 255;
    d[0] = static_cast<unsigned char>(t >= 0 ? t : 0);
  }
  return d;
}

// The target expected after drawing source at (x, y): a 32-bit picture.
Bytes literalDraw(const Image& target, const Image& source, int x, int y, bool merge) {
  Bytes out;
  for (int r = 0; r < target.height; ++r)
    for (int c = 0; c < target.width; ++c) {
      Bytes d = literal32(target, c, r);
      int sx = c - x, sy = r - y;
      if (sx >= 0 && sy >= 0 && sx < source.width && sy < source.height)
        d = literalRule(literal32(source, sx, sy), d, merge);
      out.insert(out.end(), d.begin(), d.end());
    }
  return out;
}

Image randomOperand(std::mt19937& rng, int width, int height) {
  static const int kDepths[] = {1, 8, 24, 32};
  int bpp = kDepths[rng() % 4];
  Image image = randomImage(rng, width, height, bpp, bpp <= 8 && rng() % 2);
  // Transparency bytes mostly at the edges of their range, where the rule's
  // branches are.
  auto skew = [&](unsigned char& t) {
    unsigned r = rng() % 4;
    t = r == 0 ? 0 : r == 1 ? 255 : t;
  };
  if (bpp == 32)
    for (size_t p = 0; p < size_t(width) * size_t(height); ++p) skew(image.pixels[4 * p]);
  if (image.palette)
    for (size_t e = 0; e < image.paletteBytes() / 4; ++e) skew(image.palette[4 * e]);
  return image;
}

TEST(Composite, PixelRule) {
  struct Case {
    const char* name;
    Bytes source, target;
    bool merge;
    Bytes result;
  } cases[] = {
      {"T 128 red over opaque black", {128, 255, 0, 0}, {0, 0, 0, 0}, false, {0, 127, 0, 0}},
      {"T 1 rounds up", {1, 0, 0, 0}, {0, 128, 0, 0}, false, {0, 1, 0, 0}},
      {"T 100, 200 over 50", {100, 200, 0, 0}, {0, 50, 0, 0}, false, {0, 141, 0, 0}},
      {"merge: 200 under 100 gives 45", {100, 9, 9, 9}, {200, 9, 9, 9}, true, {45, 9, 9, 9}},
      {"merge: 100 under 100 gives 0", {100, 9, 9, 9}, {100, 9, 9, 9}, true, {0, 9, 9, 9}},
      {"merge: opaque source replaces", {0, 1, 2, 3}, {200, 9, 9, 9}, true, {0, 1, 2, 3}},
      {"merge: over fully transparent takes s0", {100, 1, 2, 3}, {255, 9, 9, 9}, true, {100, 1, 2, 3}},
      {"opaque over fully transparent stays 255", {0, 1, 2, 3}, {255, 9, 9, 9}, false, {255, 1, 2, 3}},
      {"partly over fully transparent: untouched", {100, 1, 2, 3}, {255, 9, 9, 9}, false, {255, 9, 9, 9}},
      {"fully transparent source", {255, 1, 2, 3}, {7, 9, 9, 9}, true, {7, 9, 9, 9}},
      {"target's own T takes no part", {100, 200, 0, 0}, {254, 50, 0, 0}, false, {254, 141, 0, 0}},
  };
  for (const Case& c : cases) {
    Image target = makeImage(1, 1, 32, c.target);
    Image source = makeImage(1, 1, 32, c.source);
    ASSERT_EQ(target.drawAt(source, 0, 0, c.merge), 0) << c.name;
    EXPECT_EQ(pixelBytes(target), c.result) << c.name;
  }
}

TEST(Composite, RefusalsChangeNothing) {
  Image target = makeImage(4, 3, 24, Bytes(36, 5));
  Image small = makeImage(2, 2, 32, Bytes(16, 100));
  Image empty;
  struct Case {
    const char* name;
    int (*call)(Image&, Image&);
    bool emptyTarget;
  } cases[] = {
      {"overlay of another size", [](Image& t, Image& s) { return t.overlay(s, false); }, false},
      {"drawAt x = width", [](Image& t, Image& s) { return t.drawAt(s, 4, 0, false); }, false},
      {"drawAt y = height", [](Image& t, Image& s) { return t.drawAt(s, 0, 3, false); }, false},
      {"drawAt onto an empty target, negative position",
       [](Image& t, Image& s) { return t.drawAt(s, -1, -1, false); }, true},
      {"overlay onto an empty target", [](Image& t, Image& s) { return t.overlay(s, false); }, true},
  };
  for (const Case& c : cases) {
    Image t = c.emptyTarget ? empty : target;
    Image s = small;
    EXPECT_EQ(c.call(t, s), 1) << c.name;
    EXPECT_TRUE(sameImage(t, c.emptyTarget ? empty : target)) << c.name;
    EXPECT_TRUE(sameImage(s, small)) << c.name;
  }
  Image t = target;
  EXPECT_EQ(t.drawAt(empty, 0, 0, false), 1) << "empty source";
}

TEST(Composite, OpaqueOverlayCopiesTheSource) {
  Image source = makeImage(2, 1, 24, {1, 2, 3, 4, 5, 6});
  for (Image target : {makeImage(2, 1, 32, Bytes(8, 200)), makeImage(2, 1, 8, {1, 2}, Bytes(1024, 9)),
                       makeImage(2, 1, 1, {0x80})}) {
    std::string name = describe(target);
    ASSERT_EQ(target.overlay(source, false), 0) << name;
    EXPECT_TRUE(sameImage(target, source)) << name;
  }
}

TEST(Composite, PointerClippedAtTheCorner) {
  Image frame;
  frame.allocate(798, 600, 32, false);
  Image pointer;
  pointer.allocate(18, 24, 32, false);
  std::memset(pointer.pixels, 0, pointer.pixelBytes());
  for (size_t p = 0; p < 18 * 24; ++p) pointer.pixels[4 * p + 1] = 0xAB;
  ASSERT_EQ(frame.drawAt(pointer, 790, 590, false), 0);
  int painted = 0, outside = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 798; ++x)
      if (frame.pixels[4 * (size_t(y) * 798 + size_t(x)) + 1] == 0xAB) {
        ++painted;
        outside += !(x >= 790 && y >= 590);
      }
  EXPECT_EQ(painted, 8 * 10);
  EXPECT_EQ(outside, 0);
}

TEST(Composite, GreySourceWithoutPalette) {
  Image target = makeImage(3, 1, 24, Bytes(9, 77));
  Image source = makeImage(3, 1, 8, {0, 255, 100});
  ASSERT_EQ(target.drawAt(source, 0, 0, false), 0);
  EXPECT_EQ(pixelBytes(target), (Bytes{0, 255, 255, 255, 0, 0, 0, 0, 0, 155, 155, 155}));
  EXPECT_EQ(source.bitsPerPixel, 32);
}

TEST(Composite, ConversionWithoutMemoryRefuses) {
  // 0: the target's 32-bit buffer fails. 2: the target's and the source's
  // palette succeed, the source's 32-bit buffer fails.
  for (int allowed : {0, 2}) {
    Image target = makeImage(2, 1, 24, {1, 2, 3, 4, 5, 6});
    Image source = makeImage(2, 1, 8, {0, 1});  // no palette: has transparency
    int result;
    {
      AllocationFailure failing(allowed);
      result = target.overlay(source, false);
    }
    EXPECT_EQ(result, 2) << "allowed " << allowed;
    Image target32 = target, expected = makeImage(2, 1, 24, {1, 2, 3, 4, 5, 6});
    target32.stripTransparency();
    EXPECT_TRUE(sameImage(target32, expected)) << "no pixel painted, allowed " << allowed;
  }
}

TEST(Composite, AgainstTheLiteralRule) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 400; ++trial) {
    int tw = 1 + int(rng() % 9), th = 1 + int(rng() % 6);
    int sw = 1 + int(rng() % 9), sh = 1 + int(rng() % 6);
    bool merge = rng() % 2;
    Image target = randomOperand(rng, tw, th);
    bool overlay = rng() % 4 == 0;
    Image source = randomOperand(rng, overlay ? tw : sw, overlay ? th : sh);
    int x = int(rng() % 16) - 8, y = int(rng() % 12) - 6;
    std::string name = "trial " + std::to_string(trial) + " " + describe(target) + " <- " + describe(source);
    if (overlay) {
      Bytes expected = source.hasTransparency() ? literalDraw(target, source, 0, 0, merge) : Bytes{};
      Image copy = source;
      ASSERT_EQ(target.overlay(source, merge), 0) << name;
      if (expected.empty()) {
        EXPECT_TRUE(sameImage(target, copy)) << name;
      } else {
        EXPECT_EQ(target.bitsPerPixel, 32) << name;
        EXPECT_EQ(pixelBytes(target), expected) << name;
      }
      continue;
    }
    Bytes expected = literalDraw(target, source, x, y, merge);
    int result = target.drawAt(source, x, y, merge);
    if (x >= tw || y >= th) {
      EXPECT_EQ(result, 1) << name;
      continue;
    }
    ASSERT_EQ(result, 0) << name << " at " << x << "," << y;
    EXPECT_EQ(target.bitsPerPixel, 32) << name;
    EXPECT_EQ(source.bitsPerPixel, 32) << name;
    EXPECT_EQ(pixelBytes(target), expected) << name << " at " << x << "," << y;
  }
}

}  // namespace
