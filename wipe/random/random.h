// WipeRandom: the source of every overwrite byte.
//
// A combined generator of three shift-register (Tausworthe) components on
// unsigned 32-bit words S1, S2, S3. It is seeded once per run from the clock
// and never reseeded: the stream runs on from pass to pass and from file to
// file, so no two passes or files get the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct OsUtcTime;

struct WipeRandom {
  uint32_t s1 = 0, s2 = 0, s3 = 0;

  // Seeds from the current UTC time (seconds since the start of the century
  // on a calendar of 31-day months), through three steps of a 32-bit LCG.
  void seedFromClock();
  void seedFromTime(const OsUtcTime& t);
  // Sets the three components. A component seeded with 0 stays 0.
  void seed(uint32_t a, uint32_t b, uint32_t c);
  // Advances the state; returns the combined word (0 to 2^32-1).
  uint32_t nextWord();
  // Advances the state; returns a value in [0, 1).
  double nextUnit();
  // Fills buf with n fresh overwrite bytes from index 0 upward: the bytes
  // (int)(nextUnit() * 256.0) would give one at a time, made many at once by
  // fillOverwriteFast, and the state ends where n nextUnit calls leave it.
  void fill(unsigned char* buf, size_t n);
  // Advances the state as n fill bytes would, without making them: files
  // erased side by side each take their own place in the one stream.
  void skip(uint64_t n);
};

// The process-wide generator, advanced by one caller at a time.
extern WipeRandom wipeRandom;
