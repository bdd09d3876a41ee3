// Processors without a lane kernel here: one byte at a time.
#include "wipe/random/fastrandom_kernels.h"

const LaneKernel& laneKernel() {
  static const LaneKernel bytewise{nullptr, 1, "bytewise"};
  return bytewise;
}
