// Sixteen lanes in 512-bit registers, for processors with AVX-512 (F, VL).
#include "wipe/random/fastrandom_kernels.h"
#include "wipe/random/fastrandom_lanes.h"

typedef uint32_t Lanes16 __attribute__((vector_size(64)));

void fillLanesAvx512(TausWords* lanes, unsigned char* out, size_t block) {
  fillLaneBlocksT<Lanes16, 16, true>(lanes, out, block);
}
