// Speed of the image library's heavy operations, each timed beside what it is
// held to in the same iterations, the ratio reported as a counter:
//   resample    the 4 x 3 backdrop stretched to the screen, against the literal
//               oracle of the tests (x_oracle: how many times faster) and one
//               memset of the output buffer (x_memset)
//   frameStep   one frame of the player's heaviest step, against one memcpy of
//               the frame's bytes (x_memcpy)
//   decode      a 798 x 600 picture in format 5, compression 2, against one
//               memcpy of the decoded pixels (x_memcpy)
// The pictures are the player's committed resources; the busy decode picture
// is made here with the encoder.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "image/image.h"
#include "literal_resample.h"
#include "tools/mbm/mbm_encode.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "bench_image: %s\n", message.c_str());
  std::abort();
}

Bytes readResource(const char* name) {
  std::string path = std::string(KOR_RES_DIR) + "/" + name;
  std::ifstream in(path, std::ios::binary);
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.empty()) die("cannot read " + path);
  return data;
}

Image decoded(const Bytes& data, const char* what) {
  Image image;
  if (image.loadMbm(data.data(), data.size()) != 0) die(std::string("cannot decode ") + what);
  return image;
}

// Seconds that f takes, once.
template <typename F>
double timed(F f) {
  Clock::time_point start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool samePicture(const Image& a, const Image& b) {
  return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
         (a.palette == nullptr) == (b.palette == nullptr) && a.pixels && b.pixels &&
         std::memcmp(a.pixels, b.pixels, a.pixelBytes()) == 0;
}

// --- Resampler ---

const Image& backdrop() {
  static const Image picture = decoded(readResource("background.mbm"), "background.mbm");
  return picture;
}

Image resampled(int width, int height) {
  Image image = backdrop();
  if (image.resample(width, height) != 0) die("resample failed");
  return image;
}

// Run before any timing: a fast resampler that is not bit-identical to the
// formulas has no speed worth reporting.
void checkResampleIdentity(int width, int height) {
  static bool checked[2];
  bool& done = checked[width > 2000];
  if (done) return;
  Image fast = resampled(width, height);
  Image literal = literalResample(backdrop(), width, height);
  if (!samePicture(fast, literal))
    die("resample to " + std::to_string(width) + "x" + std::to_string(height) +
        " differs from the literal formulas");
  done = true;
}

void resample(benchmark::State& state) {
  int width = int(state.range(0)), height = int(state.range(1));
  checkResampleIdentity(width, height);
  size_t outBytes = resampled(width, height).pixelBytes();
  Bytes block(outBytes);
  double fast = 0, fill = 0;
  for (auto _ : state) {
    Image image = backdrop();
    double t = timed([&] { image.resample(width, height); });
    benchmark::DoNotOptimize(image.pixels);
    fast += t;
    fill += timed([&] { std::memset(block.data(), 0, outBytes); });
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(t);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(outBytes));
  state.counters["memset_ms"] = 1e3 * fill / double(state.iterations());
  state.counters["x_memset"] = fast / fill;
}

void resampleOracle(benchmark::State& state) {
  int width = int(state.range(0)), height = int(state.range(1));
  checkResampleIdentity(width, height);
  double literal = 0, fast = 0;
  for (auto _ : state) {
    Image expected;
    double t = timed([&] { expected = literalResample(backdrop(), width, height); });
    literal += t;
    Image image = backdrop();
    fast += timed([&] { image.resample(width, height); });
    benchmark::DoNotOptimize(expected.pixels);
    benchmark::DoNotOptimize(image.pixels);
    state.SetIterationTime(t);
  }
  state.counters["fast_ms"] = 1e3 * fast / double(state.iterations());
  state.counters["x_oracle"] = literal / fast;
}

// --- One frame of the player's heaviest step ---

constexpr int kSpinnerFrames = 30;
constexpr int kSpinnerX = 305, kSpinnerY = 398;
constexpr uint32_t kPaleBackdrop = 0xFCF8F400;  // pixel-order colour
constexpr uint32_t kBackdropColorRef = 0x007FFF7F;  // COLORREF of the window

// Frame k of the spinner strip, as the player cuts it: a square 8-bit picture
// with the strip's palette.
bool cutSpinnerFrame(const Image& strip, int k, Image& frame) {
  int w = strip.width;
  if (frame.allocate(w, w, 8, true) != 0) return false;
  size_t frameBytes = size_t(w) * size_t(w);
  std::memcpy(frame.palette, strip.palette, 1024);
  std::memcpy(frame.pixels, strip.pixels + size_t(k) * frameBytes, frameBytes);
  return true;
}

struct Player {
  Image scene, frame, pointer, spinner;
  int tick = 0;
};

// What a tick of the glide with the turning spinner does (the scene already
// built), and the paint that follows it: the frame rebuilt from the scene, the
// pointer drawn, one spinner frame cut, widened, flattened over the backdrop
// and drawn, then the frame packed as a premultiplied DIB.
void frameStep(Player& p) {
  p.frame.assign(p.scene);
  // The glide from (303, 138) by (63, 267) over 150 ticks.
  int progress = p.tick % 150;
  p.frame.drawAt(p.pointer, 303 + 63 * progress / 150, 138 + 267 * progress / 150, false);
  Image spin;
  if (cutSpinnerFrame(p.spinner, p.tick % kSpinnerFrames, spin)) {
    spin.expandPaletteTo32(0);
    spin.flattenOnColour(kPaleBackdrop);
    p.frame.drawAt(spin, kSpinnerX, kSpinnerY, false);
  }
  unsigned char* dib = p.frame.packDib(kBackdropColorRef, true);
  if (!dib) die("packDib failed");
  benchmark::DoNotOptimize(dib);
  std::free(dib);
  ++p.tick;
}

void frameStep(benchmark::State& state) {
  Player p;
  p.scene = decoded(readResource("scene-base.mbm"), "scene-base.mbm");
  p.pointer = decoded(readResource("pointer.mbm"), "pointer.mbm");
  p.spinner = decoded(readResource("spinner.mbm"), "spinner.mbm");
  if (p.scene.width != 798 || p.scene.height != 600 || p.scene.bitsPerPixel != 32 ||
      p.pointer.width != 18 || p.pointer.height != 24 || p.spinner.width != 15 ||
      p.spinner.height != 15 * kSpinnerFrames || p.spinner.bitsPerPixel != 8 || !p.spinner.palette)
    die("the committed pictures are not the shapes this step assumes");
  size_t frameBytes = p.scene.pixelBytes();  // 1,915,200
  Bytes from(frameBytes, 7), to(frameBytes);
  frameStep(p);  // the frame's buffer exists from the first tick on
  double step = 0, copy = 0;
  for (auto _ : state) {
    double t = timed([&] { frameStep(p); });
    step += t;
    copy += timed([&] { std::memcpy(to.data(), from.data(), frameBytes); });
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(t);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
  state.counters["memcpy_us"] = 1e6 * copy / double(state.iterations());
  state.counters["x_memcpy"] = step / copy;
}

// --- Decoding ---

// A 798 x 600 32-bit picture that keeps the decoder busy: runs of 1 to 34
// pixels (some partly or fully transparent), now and then one of noise;
// 192,618 bytes in format 5, compression 2.
Bytes busyPicture() {
  Image image;
  image.allocate(798, 600, 32, false);
  std::mt19937 rng(112);
  size_t count = 798u * 600u;
  unsigned char value[4] = {0, 0, 0, 0};
  for (size_t p = 0; p < count;) {
    size_t run = 1 + rng() % 34;
    bool noise = rng() % 64 == 0;
    unsigned kind = rng() % 8;
    for (unsigned char& v : value) v = static_cast<unsigned char>(rng());
    value[0] = kind < 5 ? 0 : kind < 7 ? value[0] % 255 : 255;
    for (size_t i = 0; i < run && p < count; ++i, ++p) {
      if (noise) value[1] = static_cast<unsigned char>(rng());
      std::memcpy(image.pixels + 4 * p, value, 4);
    }
  }
  int status = 0;
  Bytes data = encodeMbm(image, 5, 2, &status);
  if (status != MbmEncoded) die("cannot encode the busy picture");
  return data;
}

void decode(benchmark::State& state, const Bytes& data) {
  Image probe = decoded(data, "the decode picture");
  if (probe.width != 798 || probe.height != 600 || probe.bitsPerPixel != 32)
    die("the decode picture is not 798 x 600, 32-bit");
  size_t outBytes = probe.pixelBytes();
  Bytes from(outBytes, 7), to(outBytes);
  double load = 0, copy = 0;
  for (auto _ : state) {
    Image image;
    double t = timed([&] { image.loadMbm(data.data(), data.size()); });
    load += t;
    benchmark::DoNotOptimize(image.pixels);
    copy += timed([&] { std::memcpy(to.data(), from.data(), outBytes); });
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(t);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
  state.counters["mbm_bytes"] = double(data.size());
  state.counters["memcpy_us"] = 1e6 * copy / double(state.iterations());
  state.counters["x_memcpy"] = load / copy;
}

}  // namespace

// The oracle takes about a second at the larger size: three rounds each.
BENCHMARK(resampleOracle)->Args({1920, 1080})->Args({3840, 2160})->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(resample)->Args({1920, 1080})->Args({3840, 2160})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(frameStep)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(decode, busy, busyPicture())->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(decode, base112, readResource("scene-base.mbm"))->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
