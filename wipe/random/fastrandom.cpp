#include "wipe/random/fastrandom.h"

#include "wipe/random/fastrandom_kernels.h"

namespace {

// A linear map on 32-bit words over GF(2): col[j] is the image of bit j.
struct BitMatrix {
  uint32_t col[32];
};

// Without a branch per bit: the bits of a state are random, so a branch on
// each would be mispredicted half of the time (jumps are made for every fill
// of a few KiB and every file of a batch).
uint32_t applyMatrix(const BitMatrix& m, uint32_t v) {
  uint32_t r = 0;
  for (int j = 0; j < 32; ++j) r ^= m.col[j] & (0u - ((v >> j) & 1u));
  return r;
}

BitMatrix composeMatrix(const BitMatrix& a, const BitMatrix& b) {
  BitMatrix c;
  for (int j = 0; j < 32; ++j) c.col[j] = applyMatrix(a, b.col[j]);
  return c;
}

// step^(2^i) for every i, per component: a jump of k steps is then at most
// 64 matrix applications, cheap enough to do for every buffer.
struct JumpTables {
  BitMatrix pow2[3][64];
};

JumpTables makeJumpTables() {
  JumpTables t;
  for (int j = 0; j < 32; ++j) {
    // The step matrix comes from the step itself, so the two cannot disagree.
    TausWords w{1u << j, 1u << j, 1u << j};
    stepTaus(w);
    t.pow2[0][0].col[j] = w.s1;
    t.pow2[1][0].col[j] = w.s2;
    t.pow2[2][0].col[j] = w.s3;
  }
  for (int c = 0; c < 3; ++c)
    for (int i = 1; i < 64; ++i) t.pow2[c][i] = composeMatrix(t.pow2[c][i - 1], t.pow2[c][i - 1]);
  return t;
}

const JumpTables& jumpTables() {
  static const JumpTables tables = makeJumpTables();
  return tables;
}

void fillBytewise(TausWords& w, unsigned char* buf, size_t n) {
  TausWords s = w;
  for (size_t i = 0; i < n; ++i) {
    stepTaus(s);
    buf[i] = overwriteByte(s.s1 ^ s.s2 ^ s.s3);
  }
  w = s;
}

// Below this the jumps cost more than they save.
constexpr size_t kLaneThreshold = 4096;

}  // namespace

TausWords jumpAhead(TausWords w, uint64_t steps) {
  const JumpTables& t = jumpTables();
  for (int i = 0; steps != 0; ++i, steps >>= 1) {
    if (steps & 1u) {
      w.s1 = applyMatrix(t.pow2[0][i], w.s1);
      w.s2 = applyMatrix(t.pow2[1][i], w.s2);
      w.s3 = applyMatrix(t.pow2[2][i], w.s3);
    }
  }
  return w;
}

void fillOverwriteFast(TausWords& w, unsigned char* buf, size_t n) {
  const LaneKernel& kernel = laneKernel();
  if (kernel.fill == nullptr || n < kLaneThreshold) {
    fillBytewise(w, buf, n);
    return;
  }
  // Lane l starts l*block steps into the stream, so the blocks written one
  // after another are the stream itself; the few bytes past the last block
  // continue from where the last lane stopped.
  size_t block = (n / (size_t)kernel.lanes) & ~(size_t)15;
  TausWords lanes[kMaxLanes];
  lanes[0] = w;
  for (int l = 1; l < kernel.lanes; ++l) lanes[l] = jumpAhead(lanes[l - 1], block);
  kernel.fill(lanes, buf, block);
  w = lanes[kernel.lanes - 1];
  size_t done = block * (size_t)kernel.lanes;
  fillBytewise(w, buf + done, n - done);
}
