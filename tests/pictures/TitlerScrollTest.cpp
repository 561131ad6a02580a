#include "pictures/TitlerScroll.h"

#include <gtest/gtest.h>

#include <limits>

namespace pagemoor {
namespace {

TEST(TitlerScrollTest, TicksMoveByStep) {
  TitlerScroll scroll;
  EXPECT_EQ(scroll.offset(), 0);
  EXPECT_EQ(scroll.Step(), 1);
  scroll.tick();
  scroll.tick();
  EXPECT_EQ(scroll.offset(), 2);
  EXPECT_TRUE(scroll.setStep(5));
  scroll.tick();
  EXPECT_EQ(scroll.offset(), 7);
}

TEST(TitlerScrollTest, StepIgnoresZeroNegativeAndTheSameValue) {
  TitlerScroll scroll;
  ASSERT_TRUE(scroll.setStep(3));
  for (int ignored : {0, -1, -100, 3}) {
    SCOPED_TRACE(ignored);
    EXPECT_FALSE(scroll.setStep(ignored));
    EXPECT_EQ(scroll.Step(), 3);
  }
  scroll.tick();
  EXPECT_EQ(scroll.offset(), 3);
}

// 10 lines of 17 pixels in a control 600 pixels high: the block has left the
// top edge once the offset exceeds 170 + 600.
TEST(TitlerScrollTest, RestartsOnTheFirstPaintingPastTheBlock) {
  TitlerScroll scroll;
  for (int i = 0; i < 770; ++i) scroll.tick();
  EXPECT_EQ(scroll.restartIfPast(17, 10, 600), 770);
  scroll.tick();
  EXPECT_EQ(scroll.offset(), 771);  // ticks alone never restart
  EXPECT_EQ(scroll.restartIfPast(17, 10, 600), 0);
  EXPECT_EQ(scroll.offset(), 0);
  scroll.tick();
  EXPECT_EQ(scroll.restartIfPast(17, 10, 600), 1);
}

TEST(TitlerScrollTest, LargeStepOvershootsAndStillRestarts) {
  TitlerScroll scroll;
  scroll.setStep(500);
  scroll.tick();
  EXPECT_EQ(scroll.restartIfPast(17, 10, 600), 500);
  scroll.tick();
  EXPECT_EQ(scroll.restartIfPast(17, 10, 600), 0);
}

TEST(TitlerScrollTest, WithoutLinesTheRollRestartsBelowTheControlHeight) {
  TitlerScroll scroll;
  for (int i = 0; i < 51; ++i) scroll.tick();
  EXPECT_EQ(scroll.restartIfPast(17, 0, 50), 0);
}

TEST(TitlerScrollTest, OffsetSaturatesInsteadOfWrapping) {
  // Hidden windows do not paint, so nothing restarts the roll meanwhile.
  TitlerScroll scroll;
  scroll.setStep(std::numeric_limits<int>::max() - 1);
  scroll.tick();
  scroll.tick();
  scroll.tick();
  EXPECT_EQ(scroll.offset(), std::numeric_limits<int>::max());
  EXPECT_EQ(scroll.restartIfPast(17, 10, 600), 0);
  // Line height times line count beyond int must not wrap either.
  scroll.setStep(1000);
  scroll.tick();
  EXPECT_EQ(scroll.restartIfPast(1 << 20, 1 << 12, 600), 1000);
}

TEST(TitlerScrollTest, TextRectangleEntersFromTheBottom) {
  // Control 200 x 100 with a one-pixel border: client bottom 98.
  EXPECT_EQ(TitlerScroll::textRect(200, 100, 98, 0), (TitlerRect{2, 100, 197, 97}));
  EXPECT_EQ(TitlerScroll::textRect(200, 100, 98, 30), (TitlerRect{2, 70, 197, 97}));
  EXPECT_EQ(TitlerScroll::textRect(200, 100, 98, 250), (TitlerRect{2, -150, 197, 97}));
}

}  // namespace
}  // namespace pagemoor
