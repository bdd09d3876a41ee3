// Picks the widest lane kernel the processor runs. This file is compiled for
// the base instruction set, so the check itself runs everywhere.
#include "wipe/random/fastrandom_kernels.h"

static LaneKernel chooseLaneKernel() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
    return LaneKernel{fillLanesAvx512, 16, "avx512"};
  if (__builtin_cpu_supports("avx2")) return LaneKernel{fillLanesAvx2, 8, "avx2"};
  if (__builtin_cpu_supports("sse2")) return LaneKernel{fillLanesSse2, 4, "sse2"};
  return LaneKernel{nullptr, 1, "bytewise"};
}

const LaneKernel& laneKernel() {
  static const LaneKernel chosen = chooseLaneKernel();
  return chosen;
}
