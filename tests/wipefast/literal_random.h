// The overwrite stream written the literal way, one double per byte: the
// oracle the fast stream is held against. Kept apart from the tool's own
// generator so that a change there cannot change the reference.
#pragma once

#include <cstddef>
#include <cstdint>

struct LiteralRandom {
  uint32_t s1, s2, s3;
  double nextUnit();
  void fill(unsigned char* buf, size_t n);
};

// The byte the literal generator makes from a combined word x.
inline int literalByte(uint32_t x) {
  double unit = (double)x * 2.3283064365e-10;
  return (int)(unit * 256.0);
}
