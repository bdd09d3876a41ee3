#include "literal_random.h"

// Out of line on purpose: the tool calls its generator once per byte through
// a function in another file, and the benchmark should see that cost.
double LiteralRandom::nextUnit() {
  s1 = (s1 << 13) ^ (((s1 >> 15) ^ (s1 >> 6)) & 0x1FFFu);
  s2 = (s2 << 20) ^ (((s2 >> 9) ^ (s2 >> 7)) & 0xFFFFFu);
  s3 = (s3 << 17) ^ (((s3 >> 14) ^ (s3 >> 8)) & 0x1FFFFu);
  return (double)(s1 ^ s2 ^ s3) * 2.3283064365e-10;
}

void LiteralRandom::fill(unsigned char* buf, size_t n) {
  for (size_t i = 0; i < n; ++i) buf[i] = (unsigned char)(int)(nextUnit() * 256.0);
}
