// The lane kernels and the choice among them, made once per process from
// what the processor offers (fastrandom_x86.cpp).
#pragma once

#include <cstddef>

#include "wipe/random/fastrandom.h"

// Fills `lanes` consecutive blocks of `block` bytes (a multiple of 16), lane
// l from lanes[l], and leaves each lane's state at the end of its block.
using LaneFill = void (*)(TausWords* lanes, unsigned char* out, size_t block);

struct LaneKernel {
  LaneFill fill;  // null: no vector unit, fill one byte at a time
  int lanes;
  const char* name;
};

constexpr int kMaxLanes = 16;

const LaneKernel& laneKernel();

void fillLanesSse2(TausWords* lanes, unsigned char* out, size_t block);
void fillLanesAvx2(TausWords* lanes, unsigned char* out, size_t block);
void fillLanesAvx512(TausWords* lanes, unsigned char* out, size_t block);
