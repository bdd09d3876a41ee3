// Every combined word x: the integer byte equals the double expression.
//
// 2^32 evaluations, split across the processor's threads; a few seconds on
// an ordinary machine, so it runs as its own test rather than inside the
// sanitizer builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "literal_random.h"
#include "wipe/random/fastrandom.h"

TEST(Conversion, EveryWordGivesTheLiteralByte) {
  unsigned threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
  std::atomic<uint64_t> mismatches{0}, firstBad{~0ull}, checked{0};
  const uint64_t total = 1ull << 32;
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      uint64_t lo = total * t / threads, hi = total * (t + 1) / threads;
      uint64_t bad = 0, first = ~0ull;
      for (uint64_t v = lo; v < hi; ++v) {
        uint32_t x = (uint32_t)v;
        if ((int)overwriteByte(x) != literalByte(x)) {
          if (bad++ == 0) first = v;
        }
      }
      mismatches += bad;
      checked += hi - lo;
      uint64_t cur = firstBad.load();
      while (first < cur && !firstBad.compare_exchange_weak(cur, first)) {}
    });
  }
  for (std::thread& th : pool) th.join();
  EXPECT_EQ(checked.load(), total);
  EXPECT_EQ(mismatches.load(), 0u) << std::hex << "first bad x = 0x" << firstBad.load();
}
