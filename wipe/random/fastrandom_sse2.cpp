// Four lanes in 128-bit registers (SSE2: every x86-64, most i686).
#include "wipe/random/fastrandom_kernels.h"
#include "wipe/random/fastrandom_lanes.h"

typedef uint32_t Lanes4 __attribute__((vector_size(16)));

void fillLanesSse2(TausWords* lanes, unsigned char* out, size_t block) {
  fillLaneBlocksT<Lanes4, 4, false>(lanes, out, block);
}
