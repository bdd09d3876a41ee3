// Overwrite bytes per second: the literal per-byte generator against the
// fast stream, on one 16 MiB segment per iteration.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/wipefast/literal_random.h"
#include "wipe/random/fastrandom.h"
#include "wipe/random/fastrandom_kernels.h"

namespace {

constexpr size_t kSegment = 16u << 20;

void literalSegment(benchmark::State& state) {
  std::vector<unsigned char> buf(kSegment, 1);
  LiteralRandom lit{0x18BE0, 0x24118, 0x52};
  for (auto _ : state) {
    lit.fill(buf.data(), buf.size());
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kSegment);
}

void fastSegment(benchmark::State& state) {
  std::vector<unsigned char> buf(kSegment, 1);
  TausWords w{0x18BE0, 0x24118, 0x52};
  for (auto _ : state) {
    fillOverwriteFast(w, buf.data(), buf.size());
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kSegment);
  state.SetLabel(laneKernel().name);
}

// Each kernel on its own, for the processors that lack the wider one.
void kernelSegment(benchmark::State& state, LaneKernel k) {
  std::vector<unsigned char> buf(kSegment, 1);
  TausWords lanes[kMaxLanes];
  for (int l = 0; l < k.lanes; ++l) lanes[l] = jumpAhead(TausWords{0x18BE0, 0x24118, 0x52}, l * 1000003u);
  for (auto _ : state) {
    k.fill(lanes, buf.data(), kSegment / (size_t)k.lanes);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kSegment);
}

}  // namespace

BENCHMARK(literalSegment)->Unit(benchmark::kMillisecond);
BENCHMARK(fastSegment)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernelSegment, sse2, LaneKernel{fillLanesSse2, 4, "sse2"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernelSegment, avx2, LaneKernel{fillLanesAvx2, 8, "avx2"})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
