#include "wipe/random/random.h"

#include "wipe/os/os.h"
#include "wipe/random/fastrandom.h"

WipeRandom wipeRandom;

void WipeRandom::seedFromClock() { seedFromTime(osUtcNow()); }

void WipeRandom::seedFromTime(const OsUtcTime& t) {
  // Unsigned arithmetic wraps like the 32-bit original (a year before 2000
  // or a clock far off must not become undefined behaviour).
  uint32_t d = ((uint32_t)(t.year % 100) * 12u + (uint32_t)t.month) * 31u + (uint32_t)t.day - 32u;
  uint32_t v = ((d * 24u + (uint32_t)t.hour) * 60u + (uint32_t)t.minute) * 60u + (uint32_t)t.second;
  v |= 1u;
  uint32_t r[3];
  for (uint32_t& out : r) {
    v = v * 214013u + 2531011u;
    out = (v >> 16) & 0x7FFFu;
  }
  seed(r[2], r[1], r[0]);
}

void WipeRandom::seed(uint32_t a, uint32_t b, uint32_t c) {
  s1 = (a << 4) ^ (((a >> 24) ^ (a >> 15)) & 0xFu);
  s2 = (b << 3) ^ (((b >> 26) ^ (b >> 24)) & 0x7u);
  s3 = (c << 1) ^ (((c >> 30) ^ (c >> 24)) & 0x1u);
}

uint32_t WipeRandom::nextWord() {
  s1 = (s1 << 13) ^ (((s1 >> 15) ^ (s1 >> 6)) & 0x1FFFu);
  s2 = (s2 << 20) ^ (((s2 >> 9) ^ (s2 >> 7)) & 0xFFFFFu);
  s3 = (s3 << 17) ^ (((s3 >> 14) ^ (s3 >> 8)) & 0x1FFFFu);
  return s1 ^ s2 ^ s3;
}

double WipeRandom::nextUnit() {
  // The constant is a decimal literal slightly below 2^-32, so the result
  // stays below 1 and an x that is a multiple of 2^24 yields one less than
  // its top byte. Keep it exactly as written: the byte stream depends on it.
  return (double)nextWord() * 2.3283064365e-10;
}

void WipeRandom::fill(unsigned char* buf, size_t n) {
  // The same bytes as (int)(nextUnit() * 256.0) one at a time, made many at
  // once (see fastrandom.h for why they are the same).
  TausWords w{s1, s2, s3};
  fillOverwriteFast(w, buf, n);
  s1 = w.s1;
  s2 = w.s2;
  s3 = w.s3;
}

void WipeRandom::skip(uint64_t n) {
  TausWords w = jumpAhead(TausWords{s1, s2, s3}, n);
  s1 = w.s1;
  s2 = w.s2;
  s3 = w.s3;
}
