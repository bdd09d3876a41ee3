// The Image record and its conversions.
#include <gtest/gtest.h>

#include "alloc_control.h"
#include "test_util.h"

namespace {

TEST(ImageConvert, FlattenOnColour) {
  // Colour R 255, G 0x40, B 0x10 as a pixel-order colour.
  const uint32_t colour = 0x1040FF00;
  struct Case {
    const char* name;
    Bytes pixel;   // T R G B
    Bytes result;  // R G B
  } cases[] = {
      {"fully transparent gives the colour", {255, 1, 2, 3}, {255, 0x40, 0x10}},
      {"opaque stays", {0, 1, 2, 3}, {1, 2, 3}},
      {"T 128, R 0 over 255 gives 128", {128, 0, 0, 0}, {128, 0x20, 0x08}},
      {"rounds down", {1, 0, 0, 0}, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    Image image = makeImage(1, 1, 32, c.pixel);
    ASSERT_EQ(image.flattenOnColour(colour), 0) << c.name;
    EXPECT_EQ(image.bitsPerPixel, 24) << c.name;
    EXPECT_EQ(pixelBytes(image), c.result) << c.name;
  }
}

TEST(ImageConvert, PaletteRampAndMono) {
  struct Case {
    const char* name;
    Image image;
    uint32_t colour;
    Bytes result;  // 32-bit pixels after expandMonoTo8 and expandPaletteTo32
  } cases[] = {
      {"8-bit ramp of colour 0: 0 white, 255 black, 128 grey",
       makeImage(3, 1, 8, {0, 255, 128}), 0, {0, 255, 255, 255, 0, 0, 0, 0, 0, 127, 127, 127}},
      {"8-bit ramp of a colour", makeImage(2, 1, 8, {0, 255}), 0x30201000,
       {0, 0xEF, 0xDF, 0xCF, 0, 0x10, 0x20, 0x30}},
      {"1-bit without palette: clear white, set black", makeImage(2, 1, 1, {0x40}), 0,
       {0, 255, 255, 255, 0, 0, 0, 0}},
      {"1-bit with palette keeps its two colours", makeImage(2, 1, 1, {0x80}, {9, 1, 2, 3, 8, 4, 5, 6}), 0,
       {8, 4, 5, 6, 9, 1, 2, 3}},
      {"8-bit with palette takes T from it", makeImage(1, 1, 8, {2}, [] {
         Bytes p(1024, 0);
         p[8] = 77, p[9] = 1, p[10] = 2, p[11] = 3;
         return p;
       }()),
       0, {77, 1, 2, 3}},
  };
  for (Case& c : cases) {
    c.image.expandMonoTo8();
    ASSERT_EQ(c.image.bitsPerPixel, 8) << c.name;
    c.image.expandPaletteTo32(c.colour);
    ASSERT_EQ(c.image.bitsPerPixel, 32) << c.name;
    EXPECT_EQ(c.image.palette, nullptr) << c.name;
    EXPECT_EQ(pixelBytes(c.image), c.result) << c.name;
  }
}

TEST(ImageConvert, MonoRowsArePaddedToBytes) {
  // 9 pixels wide: 2 bytes a row. Row 0 has pixel 8 set (bit 0x80 of its
  // second byte), row 1 pixel 0 and pixel 7.
  Image image = makeImage(9, 2, 1, {0x00, 0x80, 0x81, 0x00});
  image.expandMonoTo8();
  EXPECT_EQ(pixelBytes(image), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 255, 0}));
  Image withPalette = makeImage(9, 1, 1, {0x00, 0x80}, {0, 0, 0, 0, 0, 1, 1, 1});
  withPalette.expandMonoTo8();
  EXPECT_EQ(pixelBytes(withPalette), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Bytes(withPalette.palette, withPalette.palette + 12), (Bytes{0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0}));
}

TEST(ImageConvert, RgbStripAndWrongFormats) {
  Image rgb = makeImage(2, 1, 24, {1, 2, 3, 4, 5, 6});
  Image copy = rgb;
  EXPECT_EQ(rgb.stripTransparency(), 1);
  EXPECT_EQ(rgb.flattenOnColour(0), 1);
  rgb.expandMonoTo8();
  rgb.expandPaletteTo32(0);
  EXPECT_TRUE(sameImage(rgb, copy)) << "conversions of another format change nothing";
  rgb.expandRgbTo32();
  EXPECT_EQ(pixelBytes(rgb), (Bytes{0, 1, 2, 3, 0, 4, 5, 6}));
  rgb.pixels[0] = 200;
  EXPECT_EQ(rgb.stripTransparency(), 0);
  EXPECT_TRUE(sameImage(rgb, copy));
}

TEST(ImageConvert, HasTransparency) {
  Bytes usedOpaque(1024, 0), unusedTransparent(1024, 0);
  unusedTransparent[4 * 200] = 1;
  struct Case {
    const char* name;
    Image image;
    bool expected;
  } cases[] = {
      {"8-bit without palette", makeImage(1, 1, 8, {0}), true},
      {"1-bit without palette", makeImage(1, 1, 1, {0}), true},
      {"1-bit, entry 1 transparent", makeImage(1, 1, 1, {0}, {0, 0, 0, 0, 5, 0, 0, 0}), true},
      {"1-bit, both opaque", makeImage(1, 1, 1, {0}, {0, 9, 9, 9, 0, 0, 0, 0}), false},
      {"8-bit, opaque palette", makeImage(1, 1, 8, {0}, usedOpaque), false},
      {"8-bit, unused transparent entry", makeImage(1, 1, 8, {0}, unusedTransparent), true},
      {"24-bit", makeImage(1, 1, 24, {0, 0, 0}), false},
      {"32-bit opaque", makeImage(2, 1, 32, {0, 1, 2, 3, 0, 1, 2, 3}), false},
      {"32-bit, last pixel T 1", makeImage(2, 1, 32, {0, 1, 2, 3, 1, 1, 2, 3}), true},
      {"empty", Image(), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.image.hasTransparency(), c.expected) << c.name;
}

TEST(ImageRecord, Assign) {
  Image source = makeImage(2, 2, 8, {1, 2, 3, 4}, Bytes(1024, 7));
  Image target = makeImage(2, 2, 8, {9, 9, 9, 9}, Bytes(1024, 0));
  unsigned char* oldPixels = target.pixels;
  unsigned char* oldPalette = target.palette;
  target.assign(source);
  EXPECT_TRUE(sameImage(target, source));
  EXPECT_EQ(target.pixels, oldPixels) << "same shape reuses the pixel buffer";
  EXPECT_EQ(target.palette, oldPalette) << "and the palette";

  Image before = target;
  target.assign(target);
  EXPECT_TRUE(sameImage(target, before)) << "assign to itself";

  target.assign(Image());
  EXPECT_TRUE(!target.pixels && !target.palette && target.width == 0 && target.bitsPerPixel == 0)
      << "an empty source empties the target";

  Image other = makeImage(3, 1, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  other.assign(source);
  EXPECT_TRUE(sameImage(other, source)) << "a different shape is re-made";
}

// Built before the allocator is told to fail.
const Image& assignSource() {
  static const Image source = makeImage(2, 1, 8, {1, 2}, Bytes(1024, 1));
  return source;
}

TEST(ImageRecord, AllocationFailureChangesNothing) {
  assignSource();
  struct Case {
    const char* name;
    Image image;
    void (*convert)(Image&);
    int allowed;  // allocations that still succeed
  } cases[] = {
      {"expandMonoTo8 pixels", makeImage(9, 2, 1, {1, 2, 3, 4}, Bytes(8, 3)), [](Image& i) { i.expandMonoTo8(); }, 0},
      {"expandMonoTo8 palette", makeImage(9, 2, 1, {1, 2, 3, 4}, Bytes(8, 3)), [](Image& i) { i.expandMonoTo8(); }, 1},
      {"expandPaletteTo32", makeImage(2, 1, 8, {1, 2}, Bytes(1024, 5)), [](Image& i) { i.expandPaletteTo32(0); }, 0},
      {"expandRgbTo32", makeImage(1, 1, 24, {1, 2, 3}), [](Image& i) { i.expandRgbTo32(); }, 0},
      {"stripTransparency", makeImage(1, 1, 32, {1, 2, 3, 4}), [](Image& i) { EXPECT_EQ(i.stripTransparency(), 2); }, 0},
      {"flattenOnColour", makeImage(1, 1, 32, {1, 2, 3, 4}), [](Image& i) { EXPECT_EQ(i.flattenOnColour(0), 2); }, 0},
      {"ensurePalette", makeImage(1, 1, 8, {1}), [](Image& i) { i.ensurePalette(0); }, 0},
      {"assign to a new shape", makeImage(1, 1, 24, {1, 2, 3}),
       [](Image& i) { i.assign(assignSource()); }, 0},
  };
  for (Case& c : cases) {
    Image before = c.image;
    {
      AllocationFailure failing(c.allowed);
      c.convert(c.image);
    }
    EXPECT_TRUE(sameImage(c.image, before)) << c.name << ": now " << describe(c.image);
  }
  // expandPaletteTo32 keeps the palette that ensurePalette added before the
  // pixel buffer failed.
  Image gray = makeImage(2, 1, 8, {0, 255});
  {
    AllocationFailure failing(1);
    gray.expandPaletteTo32(0);
  }
  EXPECT_EQ(gray.bitsPerPixel, 8);
  ASSERT_NE(gray.palette, nullptr);
  EXPECT_EQ(Bytes(gray.palette, gray.palette + 4), (Bytes{0, 255, 255, 255}));
}

TEST(ImageRecord, ReleaseTwiceIsSafeAndSizesAreChecked) {
  Image image = makeImage(2, 2, 32, Bytes(16, 1));
  image.release();
  image.release();
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(image.width, 2) << "release leaves the shape";
  // 65536 x 65536 x 4 does not fit 32 bits; the checked size refuses it
  // rather than allocate a wrapped-around small buffer.
  EXPECT_EQ(image.allocate(65536, 65536, 32, false), 2);
  EXPECT_EQ(image.allocate(-1, 1, 32, false), 1);
  EXPECT_EQ(image.allocate(1, 1, 16, false), 1);
  EXPECT_EQ(image.allocate(0, 5, 8, false), 0);
  EXPECT_NE(image.pixels, nullptr) << "a zero-area picture is not an empty Image";
}

}  // namespace
