// Packing an Image as a Windows DIB: header, colour table, row order and
// padding, pixel byte order, premultiplied or flattened transparency.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_util.h"

namespace {

const uint32_t kBackdrop = 0x007FFF7F;  // COLORREF: R 0x7F, G 0xFF, B 0x7F

struct Packed {
  Bytes block;
  bool ok = false;
};

Packed pack(const Image& image, uint32_t colorRef, bool premultiply) {
  Packed out;
  unsigned char* block = image.packDib(colorRef, premultiply);
  if (!block) return out;
  out.block.assign(block, block + image.packedDibSize());
  out.ok = true;
  std::free(block);
  return out;
}

uint32_t u32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(Dib, Header) {
  Image image = makeImage(5, 3, 24, Bytes(45, 1));
  Packed p = pack(image, kBackdrop, false);
  ASSERT_TRUE(p.ok);
  ASSERT_EQ(p.block.size(), 40u + 16 * 3);
  EXPECT_EQ(u32(p.block, 0), 40u);
  EXPECT_EQ(u32(p.block, 4), 5u);
  EXPECT_EQ(u32(p.block, 8), 3u) << "positive height: bottom-up";
  EXPECT_EQ(p.block[12] | p.block[13] << 8, 1);
  EXPECT_EQ(p.block[14] | p.block[15] << 8, 24);
  for (size_t at = 16; at < 40; at += 4) EXPECT_EQ(u32(p.block, at), 0u) << "field at " << at;
}

TEST(Dib, Pixels) {
  struct Case {
    const char* name;
    Image image;
    bool premultiply;
    size_t offset;  // into the block
    Bytes expected;
  } cases[] = {
      {"24-bit R G B becomes B G R", makeImage(5, 1, 24, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}), false, 40,
       {3, 2, 1}},
      {"24-bit row padded with 0", makeImage(5, 1, 24, Bytes(15, 0xEE)), false, 40 + 15, {0}},
      {"32-bit opaque, premultiplied", makeImage(1, 1, 32, {0, 10, 20, 30}), true, 40, {30, 20, 10, 255}},
      {"32-bit opaque, flattened", makeImage(1, 1, 32, {0, 10, 20, 30}), false, 40, {30, 20, 10, 0}},
      {"32-bit transparent, premultiplied", makeImage(1, 1, 32, {255, 10, 20, 30}), true, 40, {0, 0, 0, 0}},
      {"32-bit transparent, flattened", makeImage(1, 1, 32, {255, 10, 20, 30}), false, 40, {0x7F, 0xFF, 0x7F, 0}},
      {"T 128, R 200 premultiplied", makeImage(1, 1, 32, {128, 200, 0, 0}), true, 40, {0, 0, 99, 127}},
      {"1-bit without palette: table", makeImage(1, 1, 1, {0}), false, 40, {0x80, 0x00, 0x80, 0, 0x7F, 0xFF, 0x7F, 0}},
      {"1-bit with palette: flattened and reversed", makeImage(1, 1, 1, {0}, {0, 1, 2, 3, 255, 0, 0, 0}), false, 40,
       {3, 2, 1, 0, 0x7F, 0xFF, 0x7F, 0}},
      {"8-bit ramp without palette, entry 128", makeImage(1, 1, 8, {0}), false, 40 + 4 * 128, {0x7F, 0x80, 0x7F, 0}},
      {"8-bit palette ignores premultiply", makeImage(1, 1, 8, {0}, [] {
         Bytes p(1024, 0);
         p[0] = 255;
         return p;
       }()),
       true, 40, {0x7F, 0xFF, 0x7F, 0}},
  };
  for (const Case& c : cases) {
    Packed p = pack(c.image, kBackdrop, c.premultiply);
    ASSERT_TRUE(p.ok) << c.name;
    ASSERT_GE(p.block.size(), c.offset + c.expected.size()) << c.name;
    EXPECT_EQ(Bytes(p.block.begin() + long(c.offset), p.block.begin() + long(c.offset + c.expected.size())), c.expected)
        << c.name;
  }
}

TEST(Dib, RowsBottomUpAndSizes) {
  // 3 rows of a 9-pixel 1-bit picture: 2 bytes a row, stride 4.
  Image mono = makeImage(9, 3, 1, {0xA1, 0x80, 0xB2, 0x00, 0xC3, 0x80});
  Packed p = pack(mono, 0, false);
  ASSERT_TRUE(p.ok);
  ASSERT_EQ(p.block.size(), 48u + 12);
  EXPECT_EQ(Bytes(p.block.begin() + 48, p.block.end()),
            (Bytes{0xC3, 0x80, 0, 0, 0xB2, 0x00, 0, 0, 0xA1, 0x80, 0, 0}));

  struct SizeCase {
    Image image;
    size_t size;
  } sizes[] = {
      {makeImage(9, 3, 1, Bytes(6, 0)), 48 + 12},
      {makeImage(8, 2, 1, Bytes(2, 0)), 48 + 8},
      {makeImage(3, 2, 8, Bytes(6, 0)), 1064 + 8},
      {makeImage(5, 2, 24, Bytes(30, 0)), 40 + 32},
      {makeImage(3, 2, 32, Bytes(24, 0)), 40 + 24},
      {Image(), 0},
  };
  for (const SizeCase& c : sizes) EXPECT_EQ(c.image.packedDibSize(), c.size) << describe(c.image);
  EXPECT_EQ(Image().packDib(0, true), nullptr);
}

TEST(Dib, EveryTransparencyAndColourValue) {
  // Pixel x of row y has R = x, G = 255 - x, B = x / 2 or 255 - x / 2, and T = y
  // (rows all opaque, all transparent or all of one value in between), or T
  // varying along the row (opaque, transparent and partly transparent pixels
  // side by side, and rows 4 pixels short of a multiple of 8). Checked against
  // the formulas, premultiplied and flattened.
  const unsigned colour[3] = {0x7F, 0xFF, 0x7F};
  for (bool rowsOfOneT : {true, false}) {
    int width = rowsOfOneT ? 256 : 252;
    Image image;
    ASSERT_EQ(image.allocate(width, 256, 32, false), 0);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < width; ++x) {
        unsigned char* p = image.pixels + 4 * (y * width + x);
        int t = rowsOfOneT ? y : (x % 5 == 0 ? 0 : x % 5 == 1 ? 255 : (7 * x + y) & 255);
        p[0] = static_cast<unsigned char>(t), p[1] = static_cast<unsigned char>(x);
        p[2] = static_cast<unsigned char>(255 - x), p[3] = static_cast<unsigned char>(rowsOfOneT ? x / 2 : 255 - x / 2);
      }
    for (bool premultiply : {true, false}) {
      Packed p = pack(image, kBackdrop, premultiply);
      ASSERT_TRUE(p.ok);
      int wrong = 0;
      for (int y = 0; y < 256; ++y)
        for (int x = 0; x < width; ++x) {
          const unsigned char* in = image.pixels + 4 * (y * width + x);
          const unsigned char* out = p.block.data() + 40 + 4 * ((255 - y) * width + x);
          unsigned t = in[0], a = 255 - t;
          for (int k = 0; k < 3; ++k) {
            unsigned v = in[3 - k];
            unsigned expected = premultiply ? v * a / 255 : t == 0 ? v : (colour[2 - k] * t + v * a) / 255;
            wrong += out[k] != expected;
          }
          wrong += out[3] != (premultiply ? a : 0);
        }
      EXPECT_EQ(wrong, 0) << (premultiply ? "premultiplied" : "flattened")
                          << (rowsOfOneT ? ", rows of one T" : ", T along the row");
    }
  }
}

TEST(Dib, ReverseQuadBytes) {
  Bytes quads = {1, 2, 3, 4, 5, 6, 7, 8};
  reverseQuadBytes(quads.data(), 2);
  EXPECT_EQ(quads, (Bytes{4, 3, 2, 1, 8, 7, 6, 5}));
}

}  // namespace
