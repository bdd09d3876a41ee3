// The timeline driven tick by tick with the real pictures, through whole runs
// at normal speed and in slow motion, each frame compared with one composed
// independently by the test from the story's tables.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

#include "literal_frames.h"
#include "presentation/player.h"
#include "presentation/timeline.h"
#include "recording_effects.h"
#include "tools/preview/resource_files.h"

namespace {

using Point = std::pair<int, int>;

// The story, in tick numbers at normal speed (every one doubles in slow motion).
const std::map<int, int> sceneSteps = {{4, 0},     {20, 102},  {30, 103},  {34, 104},  {55, 105},
                                       {70, 106},  {85, 107},  {105, 108}, {125, 109}, {130, 110}};
const std::map<int, int> soundSteps = {{4, 118}, {30, 114}, {70, 115}, {105, 116}, {125, 117}};
const std::map<int, Point> restingPointer = {
    {4, {386, 278}},  {20, {303, 138}}, {30, {303, 138}},  {34, {303, 138}},  {55, {366, 405}},
    {70, {366, 405}}, {85, {343, 351}}, {105, {343, 351}}, {125, {343, 351}}, {130, {343, 351}}};

// The three moves at normal speed, position by position.
const std::map<int, Point> glideTable = {
    {11, {378, 264}}, {12, {370, 250}}, {13, {362, 236}}, {14, {353, 222}}, {15, {345, 208}},
    {16, {337, 194}}, {17, {328, 180}}, {18, {320, 166}}, {19, {312, 152}},
    {41, {307, 155}}, {42, {311, 173}}, {43, {315, 191}}, {44, {319, 209}}, {45, {324, 227}},
    {46, {328, 244}}, {47, {332, 262}}, {48, {336, 280}}, {49, {340, 298}}, {50, {345, 316}},
    {51, {349, 333}}, {52, {353, 351}}, {53, {357, 369}}, {54, {361, 387}},
    {81, {362, 395}}, {82, {357, 384}}, {83, {353, 373}}, {84, {348, 362}}};

struct Move {
  int from, to; // ticks at normal speed
  Point start, end;
};
const Move moves[] = {{10, 20, {386, 278}, {303, 138}},
                      {40, 55, {303, 138}, {366, 405}},
                      {80, 85, {366, 405}, {343, 351}}};

// Where the pointer stands on a move at tick n, speed s: the start plus the
// floored share of the distance covered, in each direction.
Point glidePosition(const Move &move, int n, int s) {
  const double share = double(n - move.from * s) / ((move.to - move.from) * s);
  auto along = [share](int a, int b) {
    const double covered = std::floor(std::abs(b - a) * share + 1e-9);
    return a + (b > a ? 1 : -1) * static_cast<int>(covered);
  };
  return {along(move.start.first, move.end.first), along(move.start.second, move.end.second)};
}

// Where the frame is rebuilt at tick n (speed s), and with the pointer where.
bool pointerAt(int n, int s, Point &point) {
  if (n % s == 0 && restingPointer.count(n / s)) {
    point = restingPointer.at(n / s);
    return true;
  }
  for (const Move &move : moves) {
    if (move.from * s < n && n < move.to * s) {
      point = (s == 1) ? glideTable.at(n) : glidePosition(move, n, s);
      return true;
    }
  }
  return false;
}

// The spinner turns one frame per tick from tick 34 s to 69 s, on the pale menu
// until 55 s and on the blue highlight from then on.
bool spinnerAt(int n, int s, int &frame, std::uint32_t &colour) {
  if (n < 34 * s || n >= 70 * s)
    return false;
  frame = (n - 34 * s) % 30;
  colour = n < 55 * s ? paleBackdrop : blueBackdrop;
  return true;
}

std::string sourceRes() { return std::string(KOR_SOURCE_DIR) + "/presentation/res"; }

class Timeline : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    std::string error;
    loaded = loadPlayerPictures(sourceRes(), error);
    loadError = error;
  }

  void SetUp() override {
    ASSERT_TRUE(loaded) << loadError;
    std::string error;
    loadPlayerPictures(sourceRes(), error); // undo what a test broke
    scenePicture.clear();
    framePicture.clear();
    tick = 0;
    slowFactor = 1;
    resetEffects();
    expectedScene = Picture();
    expectedFrame = Picture();
  }

  // One tick, checked: the effects it asks for and the frame it leaves.
  void checkedTick() {
    const int n = tick;
    const int s = slowFactor;
    std::vector<Effect> expected;
    Point point;
    int frame = 0;
    std::uint32_t colour = 0;
    const bool rebuild = n != 0 && pointerAt(n, s, point);
    const bool spinner = n != 0 && spinnerAt(n, s, frame, colour);
    if (n == 0)
      expected.push_back({EffectKind::parkPointer, 0, 0});
    if (rebuild || spinner)
      expected.push_back({EffectKind::repaint, 0, 0});
    if (n % s == 0 && soundSteps.count(n / s))
      expected.push_back({EffectKind::clip, soundSteps.at(n / s), 0});

    if (n % s == 0 && sceneSteps.count(n / s)) {
      const int id = sceneSteps.at(n / s);
      if (id == 0)
        expectedScene = pictureOf(basePicture);
      else
        layOver(expectedScene, pictureOf(layerPicture(id)));
    }
    if (rebuild) {
      expectedFrame = expectedScene;
      paintAt(expectedFrame, pictureOf(pointerSprite), point.first, point.second);
    }
    if (spinner)
      paintAt(expectedFrame, spinnerSquare(spinnerStrip, frame, colour), 305, 398);

    recordedEffects.clear();
    onTimelineTick();
    ASSERT_EQ(describe(recordedEffects), describe(expected)) << "tick " << n << " at speed " << s;
    ASSERT_EQ(tick, n + 1) << "tick " << n << " at speed " << s;
    ASSERT_EQ(compareFrame(framePicture, expectedFrame), "") << "tick " << n << " at speed " << s;
  }

  // Checked ticks from the current one up to (not including) tick `until`.
  void playUntil(int until) {
    while (tick < until && !HasFatalFailure())
      checkedTick();
  }

  // The end question at tick 155 s, answered; returns what it asked for.
  std::vector<Effect> answerEndQuestion(bool yes, int ticksOpen) {
    replayAnswer = yes;
    ticksWhileQuestionOpen = ticksOpen;
    recordedEffects.clear();
    EXPECT_EQ(tick, 155 * slowFactor);
    onTimelineTick();
    return recordedEffects;
  }

  static bool loaded;
  static std::string loadError;
  Picture expectedScene;
  Picture expectedFrame;
};

bool Timeline::loaded = false;
std::string Timeline::loadError;

TEST(TimelineStory, GlideTablesFollowTheFlooredMoves) {
  for (const auto &[n, point] : glideTable) {
    const Move &move = n < 20 ? moves[0] : n < 55 ? moves[1] : moves[2];
    EXPECT_EQ(glidePosition(move, n, 1), point) << "tick " << n;
  }
  // In slow motion each position is reached at twice the tick, with positions
  // between; the pointer on tick 21 is at (382, 271).
  EXPECT_EQ(glidePosition(moves[0], 21, 2), Point(382, 271));
  for (const auto &[n, point] : glideTable) {
    const Move &move = n < 20 ? moves[0] : n < 55 ? moves[1] : moves[2];
    EXPECT_EQ(glidePosition(move, 2 * n, 2), point) << "slow tick " << 2 * n;
  }
}

TEST_F(Timeline, SpinnerFramesAndBackdropsAreTellApart) {
  // The frame comparison finds a wrong frame index or backdrop only if the
  // squares differ: the pale and blue squares always do, and neighbours mostly.
  int alike = 0;
  for (int k = 0; k < 30; ++k) {
    const Picture pale = spinnerSquare(spinnerStrip, k, paleBackdrop);
    ASSERT_EQ(pale.width, 15) << "frame " << k;
    EXPECT_NE(pale.pixels, spinnerSquare(spinnerStrip, k, blueBackdrop).pixels) << "frame " << k;
    alike += pale.pixels == spinnerSquare(spinnerStrip, (k + 1) % 30, paleBackdrop).pixels;
  }
  EXPECT_LE(alike, 3);
}

TEST_F(Timeline, WholeRunAtNormalSpeedThenNoKeepsTheLastPicture) {
  playUntil(155);
  ASSERT_FALSE(HasFatalFailure());
  const Picture last = expectedFrame;
  EXPECT_EQ(describe(answerEndQuestion(false, 0)), "[question]");
  EXPECT_EQ(tick, 157);
  // Afterwards every tick only counts and the last frame stays.
  for (int i = 0; i < 400; ++i)
    onTimelineTick();
  EXPECT_EQ(describe(recordedEffects), "[question]");
  EXPECT_EQ(tick, 557);
  EXPECT_EQ(compareFrame(framePicture, last), "");
}

TEST_F(Timeline, YesReplaysInSlowMotionAndYesAgainStaysSlow) {
  playUntil(155);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(describe(answerEndQuestion(true, 3)), "[question, repaint+erase]");
  EXPECT_EQ(tick, 0);
  EXPECT_EQ(slowFactor, 2);
  EXPECT_EQ(framePicture.pixels, nullptr);
  expectedFrame = Picture();
  playUntil(310);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(describe(answerEndQuestion(true, 0)), "[question, repaint+erase]");
  EXPECT_EQ(slowFactor, 2);
  EXPECT_EQ(tick, 0);
}

TEST_F(Timeline, QuestionAskedOnceWhileTicksArriveAndCountedAfterNo) {
  const int ticksOpen[] = {0, 1, 36, 2000};
  for (int open : ticksOpen) {
    SetUp();
    tick = 1;
    for (int n = 1; n < 155; ++n)
      onTimelineTick();
    const std::vector<Effect> asked = answerEndQuestion(false, open);
    EXPECT_EQ(describe(asked), "[question]") << open << " ticks while open";
    EXPECT_EQ(tick, 155 + 1 + open + 1) << open << " ticks while open";
  }
}

TEST_F(Timeline, WholeRunInSlowMotion) {
  slowFactor = 2;
  playUntil(310);
  ASSERT_FALSE(HasFatalFailure());
  // The first blue spinner frame at this speed is frame 12.
  int frame = -1;
  std::uint32_t colour = 0;
  ASSERT_TRUE(spinnerAt(110, 2, frame, colour));
  EXPECT_EQ(frame, 12);
  EXPECT_EQ(colour, blueBackdrop);
  EXPECT_EQ(describe(answerEndQuestion(false, 0)), "[question]");
  EXPECT_EQ(tick, 312);
}

TEST_F(Timeline, RestartStartsOverAtNormalSpeed) {
  struct Case {
    const char *name;
    int speed;
    int restartAt;
  };
  const Case cases[] = {
      {"while the spinner turns on the kept frame", 1, 37},
      {"while the pointer glides past the spinner", 1, 45},
      {"while the spinner turns on blue", 1, 60},
      {"in slow motion, during the confirmation", 2, 150},
      {"after the question was answered No", 1, 170},
  };
  for (const Case &c : cases) {
    SetUp();
    slowFactor = c.speed;
    playUntil(std::min(c.restartAt, 155 * c.speed));
    if (tick < c.restartAt) {
      answerEndQuestion(false, 0);
      while (tick < c.restartAt)
        onTimelineTick();
    }
    ASSERT_FALSE(HasFatalFailure()) << c.name;
    recordedEffects.clear();
    restartTimeline(1);
    EXPECT_EQ(describe(recordedEffects), "[repaint+erase]") << c.name;
    EXPECT_EQ(framePicture.pixels, nullptr) << c.name;
    EXPECT_EQ(tick, 0) << c.name;
    EXPECT_EQ(slowFactor, 1) << c.name;
    // Parked pointer on the next tick, background alone until the first
    // picture at tick 4, then the whole story again from its start.
    expectedFrame = Picture();
    playUntil(155);
    ASSERT_FALSE(HasFatalFailure()) << c.name;
  }
}

TEST_F(Timeline, MissingPicturesLeaveTheirStepsEmptyAndTheScriptGoesOn) {
  struct Case {
    const char *name;
    Image *picture;
    int width, height, bits; // what the broken picture becomes; 0 bits: empty
  };
  const Case cases[] = {
      {"no spinner strip", &spinnerStrip, 0, 0, 0},
      {"spinner strip one row short", &spinnerStrip, 15, 449, 8},
      {"spinner strip of 32 bits", &spinnerStrip, 15, 450, 32},
      {"spinner strip without palette", &spinnerStrip, 15, 450, 8},
      {"no pointer", &pointerSprite, 0, 0, 0},
      {"no base picture", &basePicture, 0, 0, 0},
      {"layer 104 of another size", &layerPictures[104 - firstLayerId], 797, 600, 32},
  };
  for (const Case &c : cases) {
    SetUp();
    c.picture->clear();
    if (c.bits != 0) {
      ASSERT_EQ(c.picture->allocate(c.width, c.height, c.bits, c.picture == &spinnerStrip && c.height == 449), 0);
    }
    playUntil(155);
    ASSERT_FALSE(HasFatalFailure()) << c.name;
    EXPECT_EQ(describe(answerEndQuestion(false, 0)), "[question]") << c.name;
  }
}

} // namespace
