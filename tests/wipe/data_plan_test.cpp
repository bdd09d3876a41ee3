// The data of a pass: which stream bytes a segment's runs get. Which runs
// a real sparse file has is tested through the pass writer (pass_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "wipe/erase/data_plan.h"
#include "wipe/erase/erase.h"
#include "wipe/random/random.h"

namespace {
constexpr uint64_t S = kSegmentSize;
using Runs = std::vector<std::pair<uint64_t, uint64_t>>;  // offset, length
}  // namespace

// Every written byte is the one the whole segment would have had at its
// place, and the generator ends where filling the whole segment leaves it.
TEST(DataPlan, FillGivesEachByteItsPlaceInTheStream) {
  struct Case {
    uint64_t start;
    size_t span;
    Runs pieces;
    const char* what;
  } cases[] = {
      {0, 100000, {{0, 100000}}, "one piece, the whole segment"},
      {S, 100000, {}, "a hole: nothing made, the stream still moves on"},
      {0, 100000, {{0, 1}, {99999, 1}}, "the first and the last byte"},
      {2 * S, 300000, {{2 * S + 4096, 8192}, {2 * S + 65536, 100000}, {2 * S + 200000, 100000}},
       "holes before, between, none after"},
      {0, 9000, {{17, 4500}, {4600, 300}}, "pieces shorter than a lane block, odd offsets"},
  };
  for (const Case& c : cases) {
    SegmentPlan plan;
    plan.start = c.start;
    plan.span = c.span;
    for (const auto& p : c.pieces) {
      plan.pieces.push_back({p.first, (size_t)p.second});
      plan.dataBytes += (size_t)p.second;
    }
    WipeRandom r, whole;
    r.seed(6334, 18467, 41);
    whole = r;
    std::vector<unsigned char> all(c.span), buf(plan.dataBytes + 1, 0);
    whole.fill(all.data(), all.size());
    fillSegment(r, plan, buf.data());
    size_t used = 0;
    for (const DataPiece& p : plan.pieces) {
      EXPECT_TRUE(std::equal(buf.begin() + used, buf.begin() + used + p.length,
                             all.begin() + (p.offset - c.start)))
          << c.what << ": piece at " << p.offset;
      used += p.length;
    }
    EXPECT_EQ(std::make_tuple(r.s1, r.s2, r.s3), std::make_tuple(whole.s1, whole.s2, whole.s3)) << c.what;
  }
}
