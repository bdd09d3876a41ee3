// The overwrite stream at the speed of memory.
//
// The stream is the one WipeRandom::fill makes one nextUnit() per byte:
// three shift-register components S1, S2, S3 stepped once per byte, and the
// byte taken from x = S1 ^ S2 ^ S3 as (int)(x * 2.3283064365e-10 * 256.0).
// Here the same bytes come out many at a time:
//
// - The byte is the top eight bits of x, less one when x is a non-zero
//   multiple of 2^24 (the multiplier is a little below 2^-32, so such an x
//   lands just under its integer). In integers: (x - (x != 0)) >> 24. The
//   unit tests check this against the double expression for all 2^32 x.
// - Each component step is linear over GF(2), so stepping k times is a
//   32 x 32 bit matrix power. That puts several lanes at evenly spaced points
//   of the stream; each lane fills its own block of the buffer with plain
//   steps, side by side in SIMD registers, and the blocks join up into one
//   stream.
#pragma once

#include <cstddef>
#include <cstdint>

// The three component words of the overwrite generator.
struct TausWords {
  uint32_t s1, s2, s3;
};

// One step of each component, exactly as the generator advances.
inline void stepTaus(TausWords& w) {
  w.s1 = (w.s1 << 13) ^ (((w.s1 >> 15) ^ (w.s1 >> 6)) & 0x1FFFu);
  w.s2 = (w.s2 << 20) ^ (((w.s2 >> 9) ^ (w.s2 >> 7)) & 0xFFFFFu);
  w.s3 = (w.s3 << 17) ^ (((w.s3 >> 14) ^ (w.s3 >> 8)) & 0x1FFFFu);
}

// The overwrite byte of a combined word x, without floating point.
inline unsigned char overwriteByte(uint32_t x) {
  return (unsigned char)((x - (x != 0u ? 1u : 0u)) >> 24);
}

// Fills buf[0..n) with the next n overwrite bytes and advances w by n steps,
// exactly as n single steps would.
void fillOverwriteFast(TausWords& w, unsigned char* buf, size_t n);

// The state `steps` single steps after w.
TausWords jumpAhead(TausWords w, uint64_t steps);
