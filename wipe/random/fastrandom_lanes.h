// The lane kernel, written once over a GCC vector type and compiled per
// instruction set (fastrandom_sse2.cpp, fastrandom_avx2.cpp,
// fastrandom_avx512.cpp).
//
// Lane l of W fills out[l*block .. (l+1)*block) from its own state; block is
// a multiple of 16. Every iteration steps all lanes 16 times and gathers
// each lane's 16 bytes: four steps pack into one 32-bit word per lane
// (byte k from step k: the x86 targets are little-endian), and four
// such words, transposed out of the four vectors, make the lane's 16 bytes.
//
// Everything here has internal linkage: each including file is compiled for
// a different instruction set, and a shared inline copy could let the linker
// hand the wider code to a processor that lacks it.
#pragma once

#include <cstring>

#include "wipe/random/fastrandom.h"

namespace {

template <typename V>
inline V stepS1(V s) { return (s << 13) ^ (((s ^ (s >> 9)) >> 6) & 0x1FFFu); }
template <typename V>
inline V stepS2(V s) { return (s << 20) ^ (((s ^ (s >> 2)) >> 7) & 0xFFFFFu); }
template <typename V>
inline V stepS3(V s) { return (s << 17) ^ (((s ^ (s >> 6)) >> 8) & 0x1FFFFu); }

// Byte source of one step, still in the top eight bits: x - 1, except that
// x = 0 stays 0. With an unsigned minimum (SSE4.1 and later) that is
// min(x - 1, x); plain SSE2 has none, so there the all-ones comparison is
// subtracted instead, which adds 1 back where x was 0.
template <typename V, bool HasUnsignedMin>
inline V topByteWord(V x) {
  if (HasUnsignedMin) {
    V less = x - 1u;
    return less < x ? less : x;
  }
  return x - 1u - (V)(x == 0u);
}

// The unpack instructions, per 128-bit block of a and b: with 32-bit
// elements, From 0 gives a0 b0 a1 b1 and From 2 gives a2 b2 a3 b3; with
// 64-bit pairs, From 0 gives (a0 a1)(b0 b1) and From 2 gives (a2 a3)(b2 b3).
template <typename V, int W, int From, int Bits>
inline V interleave(V a, V b) {
  V mask;
  for (int e = 0; e < W; ++e) {
    int at = e % 4;
    int pick = Bits == 32 ? From + at / 2 : From + at % 2;
    bool fromB = Bits == 32 ? at % 2 == 1 : at / 2 == 1;
    mask[e] = (uint32_t)(e - at + pick + (fromB ? W : 0));
  }
  return __builtin_shuffle(a, b, mask);
}

template <typename V, int W, bool HasUnsignedMin>
void fillLaneBlocksT(TausWords* lanes, unsigned char* out, size_t block) {
  V a, b, c;
  for (int l = 0; l < W; ++l) {
    a[l] = lanes[l].s1;
    b[l] = lanes[l].s2;
    c[l] = lanes[l].s3;
  }
  for (size_t i = 0; i < block; i += 16) {
    V words[4];
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q) {
      V t[4];
#pragma GCC unroll 4
      for (int k = 0; k < 4; ++k) {
        a = stepS1(a);
        b = stepS2(b);
        c = stepS3(c);
        t[k] = topByteWord<V, HasUnsignedMin>(a ^ b ^ c);
      }
      words[q] = (t[0] >> 24) | ((t[1] >> 16) & 0xFF00u) | ((t[2] >> 8) & 0xFF0000u) |
                 (t[3] & 0xFF000000u);
    }
    // A 4 x 4 transpose inside every 128-bit block: afterwards block b of
    // rows[k] holds lane 4b+k's 16 bytes, in stream order.
    V lo01 = interleave<V, W, 0, 32>(words[0], words[1]), hi01 = interleave<V, W, 2, 32>(words[0], words[1]);
    V lo23 = interleave<V, W, 0, 32>(words[2], words[3]), hi23 = interleave<V, W, 2, 32>(words[2], words[3]);
    V rows[4] = {interleave<V, W, 0, 64>(lo01, lo23), interleave<V, W, 2, 64>(lo01, lo23),
                 interleave<V, W, 0, 64>(hi01, hi23), interleave<V, W, 2, 64>(hi01, hi23)};
    for (int b = 0; b < W / 4; ++b)
      for (int k = 0; k < 4; ++k)
        std::memcpy(out + (size_t)(4 * b + k) * block + i, (const unsigned char*)&rows[k] + 16 * b, 16);
  }
  for (int l = 0; l < W; ++l) lanes[l] = TausWords{a[l], b[l], c[l]};
}

}  // namespace
