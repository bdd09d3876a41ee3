#include "presentation/timeline.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "presentation/effects.h"
#include "presentation/layout.h"
#include "presentation/player.h"
#include "presentation/res/resource_ids.h"

namespace {

// The script is one table of rows, each for a range of tick numbers written in
// units of the slow-motion factor s, so that slow motion plays the same rows at
// every tick number doubled. The rows don't overlap; ticks that fall in no row
// only count.
enum class When {
  at,        // n = a s
  between,   // a s < n < b s
  afterUpTo, // a s < n <= b s
};

enum class Scene { unchanged, base, layer };

enum class Pointer {
  none,  // the frame is kept: whatever it shows stays, the spinner goes over it
  fixed, // the frame is rebuilt and the pointer drawn at (x, y)
  glide, // the frame is rebuilt and the pointer drawn on the way from (x, y)
         // by (dx, dy) over ticks a s to b s
};

enum class Spinner { none, pale, blue };

struct Step {
  When when;
  int a, b;
  Scene scene;
  int layerId;
  Pointer pointer;
  int x, y, dx, dy;
  Spinner spinner;
  int sound; // 0 for none
};

constexpr Step steps[] = {
    // The first picture, the pointer resting in the empty part of the list.
    {When::at, 4, 0, Scene::base, 0, Pointer::fixed, 386, 278, 0, 0, Spinner::none, RES_WAVE_SHOW},
    // The pointer glides onto the first document, which is selected.
    {When::between, 10, 20, Scene::unchanged, 0, Pointer::glide, 386, 278, -83, -140, Spinner::none, 0},
    {When::at, 20, 0, Scene::layer, 102, Pointer::fixed, 303, 138, 0, 0, Spinner::none, 0},
    {When::at, 30, 0, Scene::layer, 103, Pointer::fixed, 303, 138, 0, 0, Spinner::none, RES_WAVE_SELECT},
    // The context menu opens; its erase icon turns while the pointer glides
    // down onto the entry, which is then highlighted.
    {When::at, 34, 0, Scene::layer, 104, Pointer::fixed, 303, 138, 0, 0, Spinner::pale, 0},
    {When::afterUpTo, 34, 40, Scene::unchanged, 0, Pointer::none, 0, 0, 0, 0, Spinner::pale, 0},
    {When::between, 40, 55, Scene::unchanged, 0, Pointer::glide, 303, 138, 63, 267, Spinner::pale, 0},
    {When::at, 55, 0, Scene::layer, 105, Pointer::fixed, 366, 405, 0, 0, Spinner::blue, 0},
    {When::between, 55, 70, Scene::unchanged, 0, Pointer::none, 0, 0, 0, 0, Spinner::blue, 0},
    // The confirmation box; the pointer glides onto Yes.
    {When::at, 70, 0, Scene::layer, 106, Pointer::fixed, 366, 405, 0, 0, Spinner::none, RES_WAVE_PROMPT},
    {When::between, 80, 85, Scene::unchanged, 0, Pointer::glide, 366, 405, -23, -54, Spinner::none, 0},
    {When::at, 85, 0, Scene::layer, 107, Pointer::fixed, 343, 351, 0, 0, Spinner::none, 0},
    // The progress window comes and goes; the document has gone.
    {When::at, 105, 0, Scene::layer, 108, Pointer::fixed, 343, 351, 0, 0, Spinner::none, RES_WAVE_BUSY},
    {When::at, 125, 0, Scene::layer, 109, Pointer::fixed, 343, 351, 0, 0, Spinner::none, RES_WAVE_CLOSE},
    {When::at, 130, 0, Scene::layer, 110, Pointer::fixed, 343, 351, 0, 0, Spinner::none, 0},
};

// Tick of the end question, in units of s.
constexpr int endQuestionAt = 155;
// The spinner shows frame 0 at tick 34 s and one frame more on every tick.
constexpr int spinnerStartsAt = 34;
constexpr int spinnerFrameCount = 30;
constexpr int spinnerX = 305;
constexpr int spinnerY = 398;
// The result has been shown once the step at 125 s is past; only then does the
// simulated window's close box respond.
constexpr int resultShownAt = 125;

bool holds(const Step &step, std::int32_t n, std::int32_t s) {
  switch (step.when) {
  case When::at:
    return n == step.a * s;
  case When::between:
    return step.a * s < n && n < step.b * s;
  case When::afterUpTo:
    return step.a * s < n && n <= step.b * s;
  }
  return false;
}

// The counter never wraps: a window left open for years stops counting at the
// top instead of running into signed overflow.
std::int32_t nextTick(std::int32_t n) { return n < INT32_MAX ? n + 1 : n; }

// Position along a glide. The moves run up and left as well as down and right,
// and the script floors the magnitude of each offset (386 - floor(83 k / 10 s)),
// which is what C++ division, truncating toward zero, gives for a signed delta.
int glide(int from, int delta, std::int32_t progress, std::int32_t duration) {
  return from + static_cast<int>(static_cast<std::int64_t>(delta) * progress / duration);
}

void drawSpinner(int k, std::uint32_t colour) {
  Image frame; // freed on every way out of this step
  if (!cutSpinnerFrame(spinnerStrip, k, frame))
    return;
  frame.expandPaletteTo32(0);
  frame.flattenOnColour(colour);
  framePicture.drawAt(frame, spinnerX, spinnerY, false);
}

void carryOut(const Step &step, std::int32_t n, std::int32_t s) {
  if (step.scene == Scene::base)
    scenePicture.assign(basePicture);
  else if (step.scene == Scene::layer)
    scenePicture.overlay(layerPicture(step.layerId), false);

  if (step.pointer != Pointer::none) {
    framePicture.assign(scenePicture);
    int x = step.x;
    int y = step.y;
    if (step.pointer == Pointer::glide) {
      std::int32_t progress = n - step.a * s;
      std::int32_t duration = (step.b - step.a) * s;
      x = glide(step.x, step.dx, progress, duration);
      y = glide(step.y, step.dy, progress, duration);
    }
    framePicture.drawAt(pointerSprite, x, y, false);
  }

  if (step.spinner != Spinner::none) {
    int k = (n - spinnerStartsAt * s) % spinnerFrameCount;
    drawSpinner(k, step.spinner == Spinner::pale ? paleBackdrop : blueBackdrop);
  }

  requestRepaint(false);
  if (step.sound != 0)
    playClip(step.sound);
  tick = nextTick(n);
}

void askEndQuestion(std::int32_t n) {
  // Counting on before the question opens: its modal loop keeps delivering
  // timer ticks, and those must fall into no row rather than ask again.
  tick = nextTick(n);
  if (askReplayInSlowMotion())
    restartTimeline(2);
  else
    tick = nextTick(tick);
}

} // namespace

bool cutSpinnerFrame(const Image &strip, int k, Image &frame) {
  frame.clear();
  const int w = strip.width;
  // Anything but thirty stacked square 8-bit frames with a full palette would
  // have us copy a palette or pixel bytes that aren't there.
  if (strip.bitsPerPixel != 8 || !strip.palette || !strip.pixels || w <= 0 ||
      static_cast<std::int64_t>(strip.height) != static_cast<std::int64_t>(w) * spinnerFrameCount ||
      k < 0 || k >= spinnerFrameCount)
    return false;
  if (frame.allocate(w, w, 8, true) != 0)
    return false;
  const std::size_t frameBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(w);
  std::memcpy(frame.palette, strip.palette, 1024);
  std::memcpy(frame.pixels, strip.pixels + static_cast<std::size_t>(k) * frameBytes, frameBytes);
  return true;
}

void onTimelineTick() {
  const std::int32_t n = tick;
  const std::int32_t s = slowFactor;
  if (n == 0) {
    parkRealPointer();
    tick = 1;
    return;
  }
  if (n == endQuestionAt * s) {
    askEndQuestion(n);
    return;
  }
  for (const Step &step : steps) {
    if (holds(step, n, s)) {
      carryOut(step, n, s);
      return;
    }
  }
  tick = nextTick(n);
}

void restartTimeline(int factor) {
  framePicture.clear();
  slowFactor = factor;
  tick = 0;
  requestRepaint(true);
}

void onCloseBoxClick(int clientWidth, int clientHeight, int x, int y) {
  if (tick <= resultShownAt * slowFactor)
    return;
  const PictureOffset offset =
      centredOffset(clientWidth, clientHeight, scenePicture.width, scenePicture.height);
  if (!isOnCloseBox(offset, x, y))
    return;
  framePicture.clear();
  requestRepaint(true);
}
