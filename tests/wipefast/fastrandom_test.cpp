// The fast overwrite stream against the literal one, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "literal_random.h"
#include "wipe/random/fastrandom.h"
#include "wipe/random/fastrandom_kernels.h"

namespace {

constexpr size_t kSegment = 16u << 20;

std::string describe(const TausWords& w) {
  char text[64];
  std::snprintf(text, sizeof text, "%08x %08x %08x", w.s1, w.s2, w.s3);
  return text;
}

// Fills n bytes both ways from w and compares bytes and end states.
void expectSameStream(TausWords w, size_t n, const std::string& what) {
  std::vector<unsigned char> fast(n + 1, 0xA5), literal(n + 1, 0xA5);
  TausWords f = w;
  fillOverwriteFast(f, fast.data(), n);
  LiteralRandom lit{w.s1, w.s2, w.s3};
  lit.fill(literal.data(), n);
  size_t diff = 0;
  while (diff < n && fast[diff] == literal[diff]) ++diff;
  EXPECT_EQ(diff, n) << what << ": first differing byte";
  EXPECT_EQ(fast[n], 0xA5) << what << ": wrote past the end";
  EXPECT_EQ(describe(f), describe(TausWords{lit.s1, lit.s2, lit.s3})) << what << ": end state";
}

const TausWords kSeeds[] = {
    {0x18BE0, 0x24118, 0x52},              // the clock seeding of LCG state 1
    {0, 0, 0},                             // every byte 0, forever
    {0, 0x24118, 0x52},                    // zero components stay zero
    {0x18BE0, 0, 0},
    {0, 0x9E3779B9u, 0},
    {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},
    {0x80000000u, 0x00000001u, 0x7FFFFFFFu},
    {0xDEADBEEFu, 0x01234567u, 0x89ABCDEFu},
};

TEST(FastStream, KnownFirstBytes) {
  // Seeds 6334, 18467, 41 give these words; the combined values start
  // 0x2058038E, 0xDAEEF479, 0xFFE55504, 0xA5B17E42.
  TausWords w{0x18BE0, 0x24118, 0x52};
  unsigned char bytes[4];
  fillOverwriteFast(w, bytes, 4);
  const unsigned char expected[4] = {0x20, 0xDA, 0xFF, 0xA5};
  EXPECT_EQ(0, std::memcmp(bytes, expected, 4));
}

TEST(FastStream, MatchesLiteralOverSeedsAndLengths) {
  const size_t lengths[] = {0, 1, 2, 15, 16, 17, 127, 4095, 4096, 4097, 65535, 65536 + 13,
                            (1u << 20) + 7, 3000017};
  for (const TausWords& seed : kSeeds)
    for (size_t n : lengths) expectSameStream(seed, n, describe(seed) + " length " + std::to_string(n));
  std::mt19937 rng(7);
  for (int i = 0; i < 40; ++i) {
    TausWords seed{(uint32_t)rng(), (uint32_t)rng(), (uint32_t)rng()};
    expectSameStream(seed, 4096 + rng() % 200000, describe(seed) + " random length");
  }
}

TEST(FastStream, MatchesLiteralAroundSegmentBoundary) {
  const size_t lengths[] = {kSegment - 1, kSegment, kSegment + 1};
  const TausWords seeds[] = {kSeeds[0], kSeeds[7]};
  for (const TausWords& seed : seeds)
    for (size_t n : lengths) expectSameStream(seed, n, describe(seed) + " length " + std::to_string(n));
}

TEST(FastStream, ConsecutiveFillsAreOneStream) {
  // Passes and files continue the stream: many fills in a row must equal
  // one literal stream of their total length.
  const size_t fills[] = {kSegment, 5, kSegment, 1, 0, 100003, 4096, 3, 1u << 20};
  size_t total = 0;
  for (size_t n : fills) total += n;
  std::vector<unsigned char> literal(total), fast(total);
  LiteralRandom lit{0xDEADBEEFu, 0x01234567u, 0x89ABCDEFu};
  lit.fill(literal.data(), total);
  TausWords w{0xDEADBEEFu, 0x01234567u, 0x89ABCDEFu};
  size_t at = 0;
  for (size_t n : fills) {
    fillOverwriteFast(w, fast.data() + at, n);
    at += n;
  }
  EXPECT_TRUE(fast == literal);
  EXPECT_EQ(describe(w), describe(TausWords{lit.s1, lit.s2, lit.s3}));
}

TEST(FastStream, JumpAheadEqualsSingleSteps) {
  const uint64_t jumps[] = {0, 1, 2, 3, 31, 32, 33, 1000, 65536, 1048573};
  for (const TausWords& seed : kSeeds) {
    TausWords stepped = seed;
    uint64_t done = 0;
    for (uint64_t k : jumps) {
      for (; done < k; ++done) stepTaus(stepped);
      EXPECT_EQ(describe(jumpAhead(seed, k)), describe(stepped)) << describe(seed) << " jump " << k;
    }
  }
}

// A state whose next step gives the combined word x with all three
// components non-zero. Component 1 loses its top four bits each step, so
// only some words are reachable; pick other components until x ^ S2 ^ S3 is.
TausWords stateBefore(uint32_t x, std::mt19937& rng) {
  for (;;) {
    TausWords pre{0, (uint32_t)rng() | 1u, (uint32_t)rng() | 1u};
    TausWords post = pre;
    stepTaus(post);
    uint32_t y = x ^ post.s2 ^ post.s3;  // wanted S1 after the step
    if (y == 0) continue;
    // After a step, bits 13..31 are the old bits 0..18, and bit j below 13
    // is old bit 15+j ^ old bit 6+j; old bits 19..27 are free to choose.
    uint32_t s = y >> 13;
    for (int j = 4; j < 13; ++j) {
      uint32_t bit = ((y >> j) ^ (s >> (6 + j))) & 1u;
      s |= bit << (15 + j);
    }
    pre.s1 = s;
    TausWords check = pre;
    stepTaus(check);
    if ((check.s1 ^ check.s2 ^ check.s3) == x) return pre;
  }
}

const uint32_t kCornerWords[] = {0,          1,          0x00FFFFFFu, 0x01000000u, 0x01000001u,
                                 0x02000000u, 0x7F000000u, 0x80000000u, 0xFEFFFFFFu, 0xFF000000u,
                                 0xFF000001u, 0xFFFFFFFFu};

TEST(FastStream, ConversionCornerCases) {
  for (uint32_t x : kCornerWords)
    EXPECT_EQ((int)overwriteByte(x), literalByte(x)) << std::hex << "x = 0x" << x;
}

std::vector<LaneKernel> kernelsToTest() {
  std::vector<LaneKernel> kernels;
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) kernels.push_back(LaneKernel{fillLanesSse2, 4, "sse2"});
  if (__builtin_cpu_supports("avx2")) kernels.push_back(LaneKernel{fillLanesAvx2, 8, "avx2"});
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
    kernels.push_back(LaneKernel{fillLanesAvx512, 16, "avx512"});
  return kernels;
}

TEST(FastStream, EveryKernelHandlesTheCornerWords) {
  // Each lane starts at a crafted state, so the corner word is the first
  // byte of every lane, in every kernel the processor can run.
  std::mt19937 rng(11);
  for (const LaneKernel& k : kernelsToTest()) {
    for (uint32_t x : kCornerWords) {
      const size_t block = 64;
      TausWords lanes[kMaxLanes], starts[kMaxLanes];
      for (int l = 0; l < k.lanes; ++l) starts[l] = lanes[l] = stateBefore(x, rng);
      std::vector<unsigned char> out(block * k.lanes);
      k.fill(lanes, out.data(), block);
      for (int l = 0; l < k.lanes; ++l) {
        unsigned char expected[block];
        LiteralRandom lit{starts[l].s1, starts[l].s2, starts[l].s3};
        lit.fill(expected, block);
        EXPECT_EQ(0, std::memcmp(expected, out.data() + l * block, block))
            << k.name << std::hex << " x = 0x" << x << " lane " << l;
        EXPECT_EQ(describe(lanes[l]), describe(TausWords{lit.s1, lit.s2, lit.s3}))
            << k.name << " lane " << l;
      }
    }
  }
}

TEST(FastStream, MultipleOf2To24InsideALongFill) {
  // Find where the stream itself hits a non-zero multiple of 2^24 and fill
  // across that point, so the corrected byte lands mid-lane.
  TausWords w{0xDEADBEEFu, 0x01234567u, 0x89ABCDEFu};
  TausWords s = w;
  size_t at = 0;
  for (;; ++at) {
    stepTaus(s);
    uint32_t x = s.s1 ^ s.s2 ^ s.s3;
    if (x != 0 && (x & 0xFFFFFFu) == 0) break;
    ASSERT_LT(at, 1u << 28) << "no multiple of 2^24 found";
  }
  const size_t before[] = {0, 1, 17, 4096, 1u << 20};
  for (size_t b : before) {
    size_t start = at >= b ? at - b : 0;
    expectSameStream(jumpAhead(w, start), b + 1 + (1u << 20), "hit at " + std::to_string(at) + " offset " + std::to_string(b));
  }
}

}  // namespace
