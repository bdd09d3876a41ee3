// Centring of the picture in the client area and the close box of the
// simulated window, which must move with the picture.
#include <gtest/gtest.h>

#include <string>

#include "presentation/layout.h"
#include "presentation/player.h"
#include "presentation/timeline.h"
#include "recording_effects.h"

namespace {

TEST(Layout, PictureIsCentredAndCutEquallyWhenTooLarge) {
  struct Case {
    int clientWidth, clientHeight;
    int x, y;
  };
  // 798 x 600 picture. An odd difference leaves the extra pixel on the right
  // (bottom) when the client is larger, and cuts it there when it is smaller.
  const Case cases[] = {
      {1280, 1024, 241, 212}, {798, 600, 0, 0},     {799, 601, 0, 0},   {800, 602, 1, 1},
      {797, 599, 0, 0},       {795, 597, -1, -1},   {640, 480, -79, -60}, {1, 1, -398, -299},
      {0, 0, -399, -300},     {1920, 1057, 561, 228},
  };
  for (const Case &c : cases) {
    const PictureOffset offset = centredOffset(c.clientWidth, c.clientHeight, 798, 600);
    EXPECT_EQ(offset.x, c.x) << c.clientWidth << "x" << c.clientHeight;
    EXPECT_EQ(offset.y, c.y) << c.clientWidth << "x" << c.clientHeight;
  }
}

class CloseBox : public ::testing::Test {
protected:
  void SetUp() override {
    resetEffects();
    scenePicture.clear();
    ASSERT_EQ(scenePicture.allocate(798, 600, 32, false), 0);
  }
  void TearDown() override {
    scenePicture.clear();
    framePicture.clear();
    tick = 0;
    slowFactor = 1;
  }
};

TEST_F(CloseBox, RespondsOnItsColumnsAndRowsOnceTheResultShows) {
  struct Case {
    const char *name;
    int speed, tickNow;
    int clientWidth, clientHeight;
    int column, row; // picture coordinates of the click
    bool hides;
  };
  const Case cases[] = {
      {"centre of the box", 1, 126, 1280, 1024, 768, 9, true},
      {"first column", 1, 126, 1280, 1024, 748, 9, true},
      {"last column", 1, 126, 1280, 1024, 788, 9, true},
      {"first row", 1, 126, 1280, 1024, 768, 1, true},
      {"last row", 1, 126, 1280, 1024, 768, 17, true},
      {"column left of the box", 1, 126, 1280, 1024, 747, 9, false},
      {"column right of the box", 1, 126, 1280, 1024, 789, 9, false},
      {"row 0", 1, 126, 1280, 1024, 768, 0, false},
      {"row 18", 1, 126, 1280, 1024, 768, 18, false},
      {"before the result, tick 125", 1, 125, 1280, 1024, 768, 9, false},
      {"slow motion, tick 250", 2, 250, 1280, 1024, 768, 9, false},
      {"slow motion, tick 251", 2, 251, 1280, 1024, 768, 9, true},
      {"long after the end", 1, 5000, 1280, 1024, 768, 9, true},
      {"client as large as the picture", 1, 126, 798, 600, 748, 1, true},
      {"client smaller, odd difference", 1, 126, 795, 597, 788, 17, true},
      {"client smaller, odd difference, past the box", 1, 126, 795, 597, 789, 17, false},
      {"client smaller, last column", 1, 126, 640, 590, 788, 17, true},
      {"client larger, odd difference", 1, 126, 801, 603, 748, 1, true},
      {"client larger, odd difference, row 0", 1, 126, 801, 603, 748, 0, false},
  };
  for (const Case &c : cases) {
    TearDown();
    SetUp();
    slowFactor = c.speed;
    tick = c.tickNow;
    ASSERT_EQ(framePicture.allocate(798, 600, 32, false), 0);
    const PictureOffset offset = centredOffset(c.clientWidth, c.clientHeight, 798, 600);
    const int x = offset.x + c.column;
    const int y = offset.y + c.row;
    ASSERT_TRUE(x >= 0 && y >= 0) << c.name << ": click outside the client area";
    onCloseBoxClick(c.clientWidth, c.clientHeight, x, y);
    EXPECT_EQ(framePicture.pixels == nullptr, c.hides) << c.name;
    EXPECT_EQ(describe(recordedEffects), c.hides ? "[repaint+erase]" : "[]") << c.name;
    EXPECT_EQ(tick, c.tickNow) << c.name;
  }
}

TEST_F(CloseBox, HiddenPictureComesBackAtTheLastLayerStepOnly) {
  // Hidden between the steps at 125 and 130 the picture returns at 130, when
  // the frame is rebuilt; hidden after 130 it stays away.
  ASSERT_EQ(pointerSprite.allocate(18, 24, 32, false), 0);
  ASSERT_EQ(layerPicture(110).allocate(798, 600, 32, false), 0);
  ASSERT_EQ(framePicture.allocate(798, 600, 32, false), 0);
  tick = 127;
  onCloseBoxClick(1280, 1024, 241 + 768, 212 + 9);
  ASSERT_EQ(framePicture.pixels, nullptr);
  for (int n = 127; n <= 130; ++n)
    onTimelineTick();
  EXPECT_NE(framePicture.pixels, nullptr);
  onCloseBoxClick(1280, 1024, 241 + 768, 212 + 9);
  for (int n = 131; n < 155; ++n)
    onTimelineTick();
  EXPECT_EQ(framePicture.pixels, nullptr);
  pointerSprite.clear();
  layerPicture(110).clear();
}

} // namespace
