// Eight lanes in 256-bit registers, for processors with AVX2.
#include "wipe/random/fastrandom_kernels.h"
#include "wipe/random/fastrandom_lanes.h"

typedef uint32_t Lanes8 __attribute__((vector_size(32)));

void fillLanesAvx2(TausWords* lanes, unsigned char* out, size_t block) {
  fillLaneBlocksT<Lanes8, 8, true>(lanes, out, block);
}
