// The MBM decoder: the format's own numbers, every result code, round trips
// through the encoder, and hostile input (prefixes, byte flips).
#include <gtest/gtest.h>

#include <memory>

#include "alloc_control.h"
#include "test_util.h"
#include "tools/mbm/mbm_encode.h"

namespace {

Bytes mbm(int32_t width, int32_t height, int format, int compression, const Bytes& payload) {
  Bytes out = {'M', 'B'};
  for (int32_t v : {width, height})
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(uint32_t(v) >> (8 * k)));
  out.push_back(static_cast<unsigned char>(format));
  out.push_back(static_cast<unsigned char>(compression));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

int load(Image& image, const Bytes& data) { return image.loadMbm(data.data(), data.size()); }

Bytes counted(unsigned count, unsigned char fill) {
  Bytes out = {static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8)};
  out.insert(out.end(), 4 * count, fill);
  return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every accepted (format, compression) pair.
const int kPairs[][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}, {2, 3},
                         {2, 4}, {3, 0}, {3, 1}, {4, 0}, {4, 1}, {5, 0}, {5, 1}, {5, 2}};

int depthOf(int format) { return format <= 1 ? 1 : format <= 3 ? 8 : format == 4 ? 24 : 32; }
bool paletteOf(int format) { return format == 0 || format == 2; }

// Makes a random picture storable in the given coding: a value that cannot
// be a literal is kept only in runs long enough for a run unit; a lone fully
// transparent 32-bit pixel gets red 0 (the one form a literal can carry).
void makeStorable(Image& image, int format, int compression) {
  size_t count = size_t(image.width) * size_t(image.height);
  if (format == 2 && compression >= 2) {
    unsigned literalBelow = compression == 2 ? 0xFF : compression == 3 ? 0x80 : 0xFE;
    size_t minRun = compression == 3 ? 3 : 4;
    for (size_t start = 0; start < count;) {
      size_t end = start + 1;
      while (end < count && image.pixels[end] == image.pixels[start]) ++end;
      if (image.pixels[start] >= literalBelow && end - start < minRun)
        for (size_t p = start; p < end; ++p) image.pixels[p] &= 0x7F;
      start = end;
    }
  }
  if (format == 5 && compression == 2) {
    for (size_t p = 0; p < count; ++p) {
      unsigned char* px = image.pixels + 4 * p;
      bool sameAsPrev = p > 0 && std::memcmp(px, px - 4, 4) == 0;
      bool sameAsNext = p + 1 < count && std::memcmp(px, px + 4, 4) == 0;
      if (px[0] == 0xFF && !sameAsPrev && !sameAsNext) px[1] = 0;
    }
  }
}

Image randomPicture(std::mt19937& rng, int32_t width, int32_t height, int format, int compression) {
  Image image = randomImage(rng, width, height, depthOf(format), paletteOf(format));
  if (format == 5) {
    // Plenty of fully transparent and opaque pixels, runs and lone ones.
    size_t count = size_t(width) * size_t(height);
    for (size_t p = 0; p < count; ++p) {
      unsigned char& t = image.pixels[4 * p];
      if (t % 3 == 0) t = 0xFF;
      else if (t % 3 == 1) t = 0;
    }
  }
  if (format == 2 && compression >= 1) {
    // Leave the top entries zero now and then, as a counted palette does.
    size_t keep = 4 * (1 + rng() % 256);
    std::memset(image.palette + keep, 0, 1024 - keep);
  }
  makeStorable(image, format, compression);
  return image;
}

TEST(MbmDecode, TransparentSceneIsSeventySixBytes) {
  Image scene;
  ASSERT_EQ(scene.allocate(798, 600, 32, false), 0);
  std::memset(scene.pixels, 0, scene.pixelBytes());
  for (size_t p = 0; p < 478800; ++p) scene.pixels[4 * p] = 0xFF;
  int status = -1;
  Bytes encoded = encodeMbm(scene, 5, 2, &status);
  ASSERT_EQ(status, MbmEncoded);
  ASSERT_EQ(encoded.size(), 76u);
  // Eight long runs of FF 00 00 00: seven of 65791 (FF 01 FF FF) and one of
  // 18263 (18263 - 256 = 0x4657).
  Bytes expected = mbm(798, 600, 5, 2, {});
  for (int i = 0; i < 7; ++i) expected = expected + Bytes{0xFF, 1, 0xFF, 0xFF, 0xFF, 0, 0, 0};
  expected = expected + Bytes{0xFF, 1, 0x57, 0x46, 0xFF, 0, 0, 0};
  EXPECT_EQ(encoded, expected);
  Image decoded;
  ASSERT_EQ(load(decoded, expected), 0);
  EXPECT_TRUE(sameImage(decoded, scene));
}

// Hand-made payloads: the pixels they must give, or the result code.
TEST(MbmDecode, UnitsAndCodes) {
  Bytes palette255 = counted(255, 0x11);
  struct Case {
    const char* name;
    Bytes data;
    int result;
    Bytes pixels;  // expected pixel bytes when result is 0 (checked if not empty)
  } cases[] = {
      {"5/2 FF 00 12 34 is one pixel", mbm(1, 1, 5, 2, {0xFF, 0, 0x12, 0x34}), 0, {0xFF, 0, 0x12, 0x34}},
      {"5/2 FF 01 00 00 is a run of 256", mbm(256, 1, 5, 2, {0xFF, 1, 0, 0, 1, 2, 3, 4}), 0, {}},
      {"5/2 run of 256 into 255 pixels", mbm(255, 1, 5, 2, {0xFF, 1, 0, 0, 1, 2, 3, 4}), 6, {}},
      {"5/2 short run then literal", mbm(3, 1, 5, 2, {0xFF, 2, 9, 8, 7, 6, 1, 2, 3, 4}), 0,
       {9, 8, 7, 6, 9, 8, 7, 6, 1, 2, 3, 4}},
      {"5/2 short run one past the end", mbm(2, 1, 5, 2, {0xFF, 3, 9, 8, 7, 6}), 6, {}},
      {"5/1 run ending on the last pixel", mbm(2, 1, 5, 1, {1, 1, 2, 3, 4}), 0, {1, 2, 3, 4, 1, 2, 3, 4}},
      {"5/1 run one past the end", mbm(2, 1, 5, 1, {2, 1, 2, 3, 4}), 6, {}},
      {"4/1 run ending on the last pixel", mbm(3, 1, 4, 1, {2, 7, 8, 9}), 0, {7, 8, 9, 7, 8, 9, 7, 8, 9}},
      {"4/1 run one past the end", mbm(3, 1, 4, 1, {3, 7, 8, 9}), 6, {}},
      {"2/1 run ending on the last pixel", mbm(3, 1, 2, 1, counted(1, 0) + Bytes{2, 5}), 0, {5, 5, 5}},
      {"2/1 run one past the end", mbm(3, 1, 2, 1, counted(1, 0) + Bytes{3, 5}), 6, {}},
      {"2/2 FF 00 07 is four sevens", mbm(4, 1, 2, 2, counted(1, 0) + Bytes{0xFF, 0, 7}), 0, {7, 7, 7, 7}},
      {"2/2 run one past the end", mbm(3, 1, 2, 2, counted(1, 0) + Bytes{0xFF, 0, 7}), 6, {}},
      {"2/3 80 09 is three nines", mbm(3, 1, 2, 3, counted(1, 0) + Bytes{0x80, 9}), 0, {9, 9, 9}},
      {"2/3 FF 09 is 130 nines", mbm(130, 1, 2, 3, counted(1, 0) + Bytes{0xFF, 9}), 0, {}},
      {"2/3 run one past the end", mbm(2, 1, 2, 3, counted(1, 0) + Bytes{0x80, 9}), 6, {}},
      {"2/4 FE 00 00 07 is 260 sevens", mbm(260, 1, 2, 4, counted(1, 0) + Bytes{0xFE, 0, 0, 7}), 0, {}},
      {"2/4 FE run one past the end", mbm(259, 1, 2, 4, counted(1, 0) + Bytes{0xFE, 0, 0, 7}), 6, {}},
      {"2/4 literals", mbm(2, 1, 2, 4, counted(1, 0) + Bytes{0xFD, 0}), 0, {0xFD, 0}},
      {"3/1 pairs", mbm(3, 1, 3, 1, {0, 1, 1, 2}), 0, {1, 2, 2}},
      {"palette count 0", mbm(1, 1, 2, 1, {0, 0, 0, 1}), 6, {}},
      {"palette count 257", mbm(1, 1, 2, 1, counted(257, 0) + Bytes{0, 1}), 6, {}},
      {"palette count 256", mbm(1, 1, 2, 1, counted(256, 0) + Bytes{0, 1}), 0, {1}},
      {"magic BM", {'B', 'M', 1, 0, 0, 0, 1, 0, 0, 0, 5, 0, 1, 2, 3, 4}, 1, {}},
      {"one byte", {'M'}, 1, {}},
      {"format 6", mbm(1, 1, 6, 0, {0, 0, 0, 0}), 3, {}},
      {"negative width", mbm(-1, 1, 5, 0, {0, 0, 0, 0}), 2, {}},
      {"negative height", mbm(1, -5, 5, 0, {0, 0, 0, 0}), 2, {}},
      {"3/2", mbm(1, 1, 3, 2, {1}), 4, {}},
      {"4/2", mbm(1, 1, 4, 2, {1, 2, 3}), 4, {}},
      {"0/2", mbm(1, 1, 0, 2, Bytes(9, 0)), 4, {}},
      {"1/2", mbm(1, 1, 1, 2, {0}), 4, {}},
      {"2/5", mbm(1, 1, 2, 5, counted(1, 0) + Bytes{0}), 4, {}},
      {"5/3", mbm(1, 1, 5, 3, {0, 0, 0, 0}), 4, {}},
      {"header cut after the height", {'M', 'B', 1, 0, 0, 0, 1, 0, 0, 0, 5}, 6, {}},
      {"header cut in the width", {'M', 'B', 1, 0}, 6, {}},
      {"raw pixels one byte short", mbm(2, 1, 4, 0, {1, 2, 3, 4, 5}), 6, {}},
      {"2/0 palette cut short", mbm(1, 1, 2, 0, Bytes(1000, 0)), 6, {}},
      {"counted palette cut short", mbm(1, 1, 2, 2, counted(3, 0)), 6, {}},
      {"run cut in its unit", mbm(300, 1, 5, 2, {0xFF, 1, 44, 0, 1, 2}), 6, {}},
      {"stream ends early", mbm(5, 1, 5, 2, {0xFF, 3, 9, 8, 7, 6}), 6, {}},
      // 256 million pixels (a 1 GB buffer) that 64 bytes cannot hold.
      {"too few bytes for the pixels", mbm(16000, 16000, 5, 2, Bytes(64, 0xFF)), 6, {}},
      {"too large to address", mbm(100000, 100000, 5, 2, Bytes(64, 0xFF)), 5, {}},
      {"3/0 pixels right after the header", mbm(2, 2, 3, 0, {1, 2, 3, 4}), 0, {1, 2, 3, 4}},
      {"trailing bytes ignored", mbm(1, 1, 4, 0, {1, 2, 3, 99, 98}), 0, {1, 2, 3}},
      {"zero by n reads no units", mbm(0, 7, 5, 2, {}), 0, {}},
      {"1/1 width 9, set run of 10", mbm(9, 2, 1, 1, {0x13, 0x10}), 0, {0xFF, 0x80, 0x80, 0x00}},
      {"1/1 set run past the end", mbm(9, 1, 1, 1, {0x13}), 6, {}},
      {"1/1 clear run past the end ends it", mbm(9, 1, 1, 1, {0x12}), 0, {0, 0}},
      {"0/0 palette and rows", mbm(3, 2, 0, 0, {0, 1, 2, 3, 4, 5, 6, 7, 0xA0, 0x40}), 0, {0xA0, 0x40}},
  };
  for (const Case& c : cases) {
    Image image;
    ASSERT_EQ(image.allocate(2, 2, 24, false), 0);
    int result = load(image, c.data);
    EXPECT_EQ(result, c.result) << c.name;
    if (result == 1) {
      EXPECT_EQ(image.width, 2) << c.name << ": untouched";
      EXPECT_NE(image.pixels, nullptr) << c.name << ": untouched";
    } else if (result != 0) {
      EXPECT_TRUE(image.width == 0 && image.height == 0 && image.bitsPerPixel == 0 && !image.pixels &&
                  !image.palette)
          << c.name << ": left " << describe(image);
    } else if (!c.pixels.empty()) {
      EXPECT_EQ(pixelBytes(image), c.pixels) << c.name;
    }
  }
}

TEST(MbmDecode, LongRunsFillTheirPixels) {
  struct Case {
    const char* name;
    Bytes data;
    size_t pixelSize;
    Bytes pixel;
  } cases[] = {
      {"5/2 long run 256", mbm(256, 1, 5, 2, {0xFF, 1, 0, 0, 1, 2, 3, 4}), 4, {1, 2, 3, 4}},
      {"2/3 run 130", mbm(130, 1, 2, 3, counted(1, 0) + Bytes{0xFF, 9}), 1, {9}},
      {"2/4 run 260", mbm(260, 1, 2, 4, counted(1, 0) + Bytes{0xFE, 0, 0, 7}), 1, {7}},
      {"2/4 run 65795", mbm(65795, 1, 2, 4, counted(1, 0) + Bytes{0xFE, 0xFF, 0xFF, 7}), 1, {7}},
  };
  for (const Case& c : cases) {
    Image image;
    ASSERT_EQ(load(image, c.data), 0) << c.name;
    size_t count = size_t(image.width) * size_t(image.height);
    size_t wrong = 0;
    for (size_t p = 0; p < count; ++p)
      wrong += std::memcmp(image.pixels + p * c.pixelSize, c.pixel.data(), c.pixelSize) != 0;
    EXPECT_EQ(wrong, 0u) << c.name;
  }
}

TEST(MbmDecode, ShortCountedPaletteLeavesTheRestOpaqueBlack) {
  Image image;
  ASSERT_EQ(load(image, mbm(1, 1, 2, 2, counted(255, 0x11) + Bytes{3})), 0);
  EXPECT_EQ(paletteBytesOf(image)[4 * 254], 0x11);
  EXPECT_EQ(Bytes(image.palette + 1020, image.palette + 1024), (Bytes{0, 0, 0, 0}));
}

TEST(MbmDecode, ShortDataIsRefusedBeforeAllocating) {
  allowAllAllocations();
  Image image;
  EXPECT_EQ(load(image, mbm(16000, 16000, 5, 2, Bytes(64, 0xFF))), 6);
  EXPECT_EQ(allocationsMade(), 0);
}

TEST(MbmDecode, ZeroWidthBillionRowsIsCheap) {
  // A picture with no pixels may still claim a billion rows; nothing may walk
  // them one by one (found by the fuzzer).
  Image image;
  ASSERT_EQ(load(image, mbm(0, 1000000000, 1, 0, {})), 0);
  image.expandMonoTo8();
  EXPECT_EQ(image.bitsPerPixel, 8);
  unsigned char* block = image.packDib(0, false);
  ASSERT_NE(block, nullptr);
  std::free(block);
  Image target = makeImage(2, 2, 32, Bytes(16, 0));
  EXPECT_EQ(target.drawAt(image, 0, 0, false), 0);
}

TEST(MbmDecode, NullDataLeavesTheImage) {
  Image image;
  image.allocate(3, 3, 8, false);
  EXPECT_EQ(image.loadMbm(nullptr, 100), -1);
  EXPECT_EQ(image.width, 3);
}

TEST(MbmDecode, AllocationFailureGivesFiveAndAnEmptyImage) {
  std::mt19937 rng(7);
  for (const auto& pair : kPairs) {
    Image source = randomPicture(rng, 13, 5, pair[0], pair[1]);
    Bytes data = encodeMbm(source, pair[0], pair[1]);
    int needed = paletteOf(pair[0]) ? 2 : 1;  // palette, pixels
    for (int allowed = 0; allowed < needed; ++allowed) {
      Image image;
      image.allocate(2, 2, 8, true);
      int result;
      {
        AllocationFailure failing(allowed);
        result = load(image, data);
      }
      EXPECT_EQ(result, 5) << pair[0] << "/" << pair[1] << " allowed " << allowed;
      EXPECT_TRUE(!image.pixels && !image.palette && image.width == 0) << pair[0] << "/" << pair[1];
    }
  }
}

TEST(MbmRoundTrip, EveryFormatAndCompression) {
  std::mt19937 rng(12345);
  const int32_t sizes[][2] = {{1, 1}, {0, 4}, {5, 0}, {7, 1}, {8, 3}, {9, 4}, {17, 11}, {64, 40}, {300, 7}};
  for (const auto& pair : kPairs) {
    for (const auto& size : sizes) {
      for (int trial = 0; trial < 3; ++trial) {
        Image source = randomPicture(rng, size[0], size[1], pair[0], pair[1]);
        int status = -1;
        Bytes data = encodeMbm(source, pair[0], pair[1], &status);
        std::string name = std::to_string(pair[0]) + "/" + std::to_string(pair[1]) + " " + describe(source);
        ASSERT_EQ(status, MbmEncoded) << name;
        Image decoded;
        ASSERT_EQ(load(decoded, data), 0) << name;
        EXPECT_TRUE(sameImage(decoded, source)) << name;
      }
    }
  }
}

TEST(MbmEncode, RefusesWhatItCannotStore) {
  Image gray = makeImage(3, 1, 8, {1, 255, 2});
  Image indexed = makeImage(3, 1, 8, {1, 255, 2}, Bytes(1024, 0));
  Image lone = makeImage(2, 1, 32, {0xFF, 9, 1, 2, 0, 1, 2, 3});
  struct Case {
    const char* name;
    const Image& image;
    int format, compression, status;
  } cases[] = {
      {"format 6", gray, 6, 0, MbmBadCodes},
      {"3/2", gray, 3, 2, MbmBadCodes},
      {"format 2 without palette", gray, 2, 0, MbmWrongImage},
      {"format 3 with palette", indexed, 3, 0, MbmWrongImage},
      {"format 5 of an 8-bit picture", gray, 5, 0, MbmWrongImage},
      {"lone 255 in 2/2", indexed, 2, 2, MbmUnrepresentable},
      {"lone 255 in 2/3", indexed, 2, 3, MbmUnrepresentable},
      {"lone 255 in 2/4", indexed, 2, 4, MbmUnrepresentable},
      {"lone 255 in 2/1 is fine", indexed, 2, 1, MbmEncoded},
      {"empty picture", Image(), 5, 0, MbmWrongImage},
  };
  for (const Case& c : cases) {
    int status = -1;
    Bytes data = encodeMbm(c.image, c.format, c.compression, &status);
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(data.empty(), c.status != MbmEncoded) << c.name;
  }
  // The one lossy case: a lone fully transparent pixel keeps its G and B.
  Image decoded;
  ASSERT_EQ(load(decoded, encodeMbm(lone, 5, 2)), 0);
  EXPECT_EQ(pixelBytes(decoded), (Bytes{0xFF, 0, 1, 2, 0, 1, 2, 3}));
}

// Hostile input: no prefix of a valid resource decodes (it always lacks
// data), and random corruption gives a code, never a read outside the bytes
// (the _san build of this test runs under AddressSanitizer; each input sits in
// a heap block of exactly its size).
TEST(MbmHostile, PrefixesAndByteFlips) {
  std::mt19937 rng(99);
  for (const auto& pair : kPairs) {
    Image source = randomPicture(rng, 21, 6, pair[0], pair[1]);
    Bytes data = encodeMbm(source, pair[0], pair[1]);
    ASSERT_FALSE(data.empty());
    std::string name = std::to_string(pair[0]) + "/" + std::to_string(pair[1]);
    for (size_t length = 0; length < data.size(); ++length) {
      // A heap block of exactly the prefix (new[0] is a real, empty block).
      std::unique_ptr<unsigned char[]> prefix(new unsigned char[length]);
      std::memcpy(prefix.get(), data.data(), length);
      Image image;
      int result = image.loadMbm(prefix.get(), length);
      EXPECT_EQ(result, length < 2 ? 1 : 6) << name << " prefix " << length;
    }
    for (int trial = 0; trial < 400; ++trial) {
      Bytes corrupt = data;
      int flips = 1 + static_cast<int>(rng() % 3);
      for (int f = 0; f < flips; ++f) corrupt[rng() % corrupt.size()] ^= static_cast<unsigned char>(1 + rng() % 255);
      Image image;
      int result = image.loadMbm(corrupt.data(), corrupt.size());
      ASSERT_TRUE(result >= 0 && result <= 6) << name << " result " << result;
      if (result == 0) {
        ASSERT_NE(image.pixels, nullptr) << name;
        EXPECT_TRUE(image.bitsPerPixel == 1 || image.bitsPerPixel == 8 || image.bitsPerPixel == 24 ||
                    image.bitsPerPixel == 32)
            << name;
      } else if (result != 1) {
        EXPECT_TRUE(!image.pixels && !image.palette && image.width == 0) << name << " result " << result;
      }
    }
  }
}

}  // namespace
