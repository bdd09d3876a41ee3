// The resampler: its numbers, its helpers, failure paths, and the whole
// operation against a literal implementation of the formulas (sample by
// sample, every fit made afresh) on random pictures and sizes.
#include <gtest/gtest.h>

#include "alloc_control.h"
#include "literal_resample.h"
#include "test_util.h"

namespace {

Image greyRow(const Bytes& values) {
  Bytes pixels;
  for (unsigned char v : values) pixels.insert(pixels.end(), {v, v, v});
  return makeImage(int(values.size()), 1, 24, pixels);
}

Bytes reds(const Image& image) {
  Bytes out;
  size_t step = image.bitsPerPixel / 8;
  size_t offset = image.bitsPerPixel == 32 ? 1 : 0;
  for (size_t p = 0; p < size_t(image.width) * size_t(image.height); ++p) out.push_back(image.pixels[p * step + offset]);
  return out;
}

TEST(Resample, GreyRows) {
  struct Case {
    const char* name;
    Bytes row;
    int width;
    Bytes expected;
  } cases[] = {
      {"same size is not a copy", {0, 85, 170, 255}, 4, {0, 64, 128, 255}},
      {"widened to 8", {0, 85, 170, 255}, 8, {0, 32, 64, 96, 128, 159, 191, 255}},
      {"two pixels to 3", {0, 255}, 3, {0, 128, 255}},
      {"two pixels to 5", {0, 255}, 5, {0, 64, 128, 191, 255}},
      {"step shrunk to 2 (supersampled)", {0, 0, 0, 0, 255, 255, 255, 255}, 2, {0, 230}},
      {"overshoot above 255 is limited", {255, 255, 0, 0}, 12, {255, 255, 255}},
      {"overshoot below 0 is limited", {0, 0, 255, 255}, 12, {0, 0, 0}},
      {"one pixel", {77}, 5, {77, 77, 77, 77, 77}},
  };
  for (const Case& c : cases) {
    Image image = greyRow(c.row);
    ASSERT_EQ(image.resample(c.width, 1), 0) << c.name;
    EXPECT_EQ(image.bitsPerPixel, 24) << c.name << ": an opaque source comes back 24-bit";
    Bytes got = reds(image);
    got.resize(c.expected.size());  // the overshoot cases look at the leading pixels
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST(Resample, TransparencyCarriesNoColour) {
  Image pair = makeImage(2, 1, 32, {0, 200, 100, 50, 255, 0, 0, 0});
  ASSERT_EQ(pair.resample(3, 1), 0);
  ASSERT_EQ(pair.bitsPerPixel, 32);
  EXPECT_EQ(Bytes(pair.pixels + 4, pair.pixels + 8), (Bytes{128, 201, 100, 50}))
      << "the transparent neighbour does not darken";

  Image clear = makeImage(3, 1, 32, {255, 9, 9, 9, 255, 9, 9, 9, 255, 9, 9, 9});
  ASSERT_EQ(clear.resample(3, 1), 0);
  EXPECT_EQ(pixelBytes(clear), (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0}));
}

TEST(Resample, OnePixelLinesAreCopied) {
  // Two-pixel lines resampled to two are themselves, so what is left to see
  // is the copying of the one-pixel lines.
  Image column = makeImage(1, 2, 24, {10, 10, 10, 20, 20, 20});
  ASSERT_EQ(column.resample(4, 2), 0);
  EXPECT_EQ(reds(column), (Bytes{10, 10, 10, 10, 20, 20, 20, 20}));
  Image row = makeImage(2, 1, 24, {10, 10, 10, 20, 20, 20});
  ASSERT_EQ(row.resample(2, 3), 0);
  EXPECT_EQ(reds(row), (Bytes{10, 20, 10, 20, 10, 20}));
}

TEST(Resample, Helpers) {
  unsigned char out[4];
  struct AverageCase {
    const char* name;
    Bytes pixels;
    Bytes expected;
  } averages[] = {
      {"one pixel reproduced", {17, 1, 2, 3}, {17, 1, 2, 3}},
      {"one transparent pixel loses its colour", {255, 1, 2, 3}, {255, 0, 0, 0}},
      {"opacity-weighted", {0, 200, 0, 0, 255, 0, 0, 0}, {128, 200, 0, 0}},
      {"mean T rounds half up", {0, 10, 10, 10, 1, 10, 10, 10}, {1, 10, 10, 10}},
  };
  for (const AverageCase& c : averages) {
    averagePixels(c.pixels.data(), c.pixels.size() / 4, out);
    EXPECT_EQ(Bytes(out, out + 4), c.expected) << c.name;
  }

  std::mt19937 rng(5);
  for (int trial = 0; trial < 2000; ++trial) {
    int y0 = int(rng() % 65026), y1 = int(rng() % 65026), y2 = int(rng() % 65026), y3 = int(rng() % 65026);
    double a, b, c, d;
    fitLine(0, y0, 1, y1, &a, &b);
    EXPECT_EQ(a, y1 - y0);
    EXPECT_EQ(b, y0);
    fitQuadratic(0, y0, 1, y1, 2, y2, &a, &b, &c);
    EXPECT_EQ(a, (y0 - 2.0 * y1 + y2) / 2);
    EXPECT_EQ(b, (-3.0 * y0 + 4.0 * y1 - y2) / 2);
    EXPECT_EQ(c, y0);
    fitQuadratic(-1, y0, 0, y1, 1, y2, &a, &b, &c);
    EXPECT_EQ(a, (y0 - 2.0 * y1 + y2) / 2);
    EXPECT_EQ(b, (y2 - y0) / 2.0);
    EXPECT_EQ(c, y1);
    // The cubic through -1, 0, 1, 2 is held to exact arithmetic in
    // resample_exact_test.cpp; other abscissae solve by elimination.
    fitCubic(0, y0, 1, y1, 2, y2, 3, y3, &a, &b, &c, &d);
    EXPECT_NEAR(a, (-y0 + 3.0 * y1 - 3.0 * y2 + y3) / 6, 1e-9);
    EXPECT_NEAR(b, (2.0 * y0 - 5.0 * y1 + 4.0 * y2 - y3) / 2, 1e-8);
    EXPECT_NEAR(c, (-11.0 * y0 + 18.0 * y1 - 9.0 * y2 + 2.0 * y3) / 6, 1e-8);
    EXPECT_NEAR(d, y0, 1e-8);
  }
  // Points on a line give exact coefficients, the higher ones 0.
  double a, b, c, d;
  for (int first : {-1, 0}) {
    fitCubic(first, 0, first + 1, 21675, first + 2, 43350, first + 3, 65025, &a, &b, &c, &d);
    EXPECT_EQ(Bytes({a == 0, b == 0, c == 21675, d == -21675.0 * first}), Bytes({1, 1, 1, 1}))
        << "line from abscissa " << first;
  }
}

TEST(Resample, PixelAt) {
  Bytes palette(1024, 0);
  palette[4] = 9, palette[5] = 8, palette[6] = 7, palette[7] = 6;
  struct Case {
    const char* name;
    Image image;
    int x, y;
    Bytes expected;
  } cases[] = {
      {"32-bit, clamped from the far corner", makeImage(2, 1, 32, {1, 2, 3, 4, 5, 6, 7, 8}), 9, 9, {5, 6, 7, 8}},
      {"24-bit, clamped from negative", makeImage(2, 1, 24, {1, 2, 3, 4, 5, 6}), -3, -3, {0, 1, 2, 3}},
      {"8-bit with palette", makeImage(1, 1, 8, {1}, palette), 0, 0, {9, 8, 7, 6}},
      {"8-bit without palette", makeImage(1, 1, 8, {55}), 0, 0, {0, 200, 200, 200}},
      {"1-bit set without palette", makeImage(9, 1, 1, {0, 0x80}), 8, 0, {0, 0, 0, 0}},
      {"1-bit clear without palette", makeImage(9, 1, 1, {0, 0x80}), 7, 0, {0, 255, 255, 255}},
      {"1-bit with palette", makeImage(2, 1, 1, {0x40}, {1, 1, 1, 1, 2, 2, 2, 2}), 1, 0, {2, 2, 2, 2}},
      {"empty", Image(), 0, 0, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    unsigned char out[4] = {99, 99, 99, 99};
    c.image.pixelAt(c.x, c.y, out);
    EXPECT_EQ(Bytes(out, out + 4), c.expected) << c.name;
  }
}

TEST(Resample, FailurePaths) {
  Image source = makeImage(5, 4, 24, Bytes(60, 40));
  Image probe = source;
  allowAllAllocations();
  ASSERT_EQ(probe.resample(3, 7), 0);
  int total = allocationsMade();  // widening, working buffers, final store, strip

  struct Case {
    const char* name;
    int allowed;
    int result;
    int bitsPerPixel;  // afterwards; 0 for empty
  } cases[] = {
      {"widening and intermediate fail", 0, 2, 24},
      {"intermediate fails after widening", 1, 2, 32},
      {"final store fails", total - 2, 2, 0},
      {"strip fails: finished at 32 bits", total - 1, 0, 32},
  };
  for (const Case& c : cases) {
    Image image = source;
    int result;
    {
      AllocationFailure failing(c.allowed);
      result = image.resample(3, 7);
    }
    EXPECT_EQ(result, c.result) << c.name;
    EXPECT_EQ(image.bitsPerPixel, c.bitsPerPixel) << c.name;
    if (c.bitsPerPixel == 0) {
      EXPECT_TRUE(!image.pixels && image.width == 0 && image.height == 0) << c.name;
    } else if (c.result == 2) {
      EXPECT_EQ(image.width, 5) << c.name << ": otherwise unchanged";
    }
  }
  Image empty;
  EXPECT_EQ(empty.resample(3, 3), 1);
  Image image = source;
  EXPECT_EQ(image.resample(0, 3), 1);
  EXPECT_TRUE(sameImage(image, source));
}

TEST(Resample, AgainstTheLiteralFormulas) {
  std::mt19937 rng(77);
  const int kDepths[] = {1, 8, 24, 32};
  for (int trial = 0; trial < 300; ++trial) {
    int width = 1 + int(rng() % 9), height = 1 + int(rng() % 9);
    // Widening, same size, shrinking a little and below three quarters.
    int newWidth = 1 + int(rng() % (3 * width + 3)), newHeight = 1 + int(rng() % (3 * height + 3));
    int bpp = kDepths[rng() % 4];
    Image image = randomImage(rng, width, height, bpp, bpp <= 8 && rng() % 2);
    if (bpp == 32)
      for (size_t p = 0; p < size_t(width) * size_t(height); ++p) {
        unsigned r = rng() % 4;
        if (r < 2) image.pixels[4 * p] = r ? 255 : 0;
      }
    std::string name = describe(image) + " to " + std::to_string(newWidth) + "x" + std::to_string(newHeight);
    Image expected = literalResample(image, newWidth, newHeight);
    ASSERT_EQ(image.resample(newWidth, newHeight), 0) << name;
    EXPECT_TRUE(sameImage(image, expected)) << name;
  }
}

}  // namespace
