#include "pictures/GifImageWidget.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QMetaObject>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "support/SolidGif.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255);

using test::SolidFrame;

std::string makeGif(const std::vector<SolidFrame>& frames, std::optional<int> loop) {
  return test::SolidGif(frames, loop);
}

QColor shown(const GifImageWidget& w) {
  return w.picture().pixelColor(1, 1);
}

// Red, green, blue for ever: the file every test starts from unless it needs another.
const std::string kThreeFrames = makeGif({{0, 20}, {1, 30}, {2, 40}}, 0);

TEST(GifImageWidget, LoadsAFileFoundWhateverTheCaseOfItsName) {
  test::TempFolder folder;
  folder.write("Pics/Anim.GIF", kThreeFrames);
  GifImageWidget w;
  w.setAutoSize(true);
  ASSERT_TRUE(w.LoadFromFile(folder.file("pics/anim.gif")));
  EXPECT_EQ(w.FrameCount(), 3);
  EXPECT_EQ(w.Frame(), 1);
  ASSERT_TRUE(w.hasPicture());
  EXPECT_EQ(shown(w), kRed);
  EXPECT_EQ(w.size(), QSize(3, 2));
}

TEST(GifImageWidget, WhatCannotBeLoadedLeavesNoPicture) {
  test::TempFolder folder;
  folder.write("broken.gif", "GIF89a and then nothing of use");
  for (const std::string& name : {std::string("missing.gif"), std::string("broken.gif"), std::string("")}) {
    GifImageWidget w;
    ASSERT_TRUE(w.LoadFromBytes(kThreeFrames));
    w.setAnimate(true);
    EXPECT_FALSE(w.LoadFromFile(folder.file(name))) << name;
    EXPECT_FALSE(w.hasPicture()) << name;
    EXPECT_EQ(w.FrameCount(), 0) << name;
    EXPECT_EQ(w.Frame(), 0) << name;
    EXPECT_EQ(w.pendingDelayMs(), -1) << name;
    w.setFrame(1);
    w.tick();
    EXPECT_FALSE(w.hasPicture()) << name;
  }
}

TEST(GifImageWidget, ShowsTheFrameAskedForAndIgnoresNumbersOutsideTheFile) {
  GifImageWidget w;
  ASSERT_TRUE(w.LoadFromBytes(kThreeFrames));
  struct Step {
    int asked;
    int frame;
    QColor colour;
  };
  for (const Step& s : {Step{3, 3, kBlue}, Step{0, 3, kBlue}, Step{4, 3, kBlue}, Step{-1, 3, kBlue},
                        Step{1, 1, kRed}, Step{2, 2, kGreen}}) {
    w.setFrame(s.asked);
    EXPECT_EQ(w.Frame(), s.frame) << "asked " << s.asked;
    EXPECT_EQ(shown(w), s.colour) << "asked " << s.asked;
  }
}

TEST(GifImageWidget, AnimatesAtTheFilesDelaysWithShortOnesAtATenthOfASecond) {
  // 0 and 1 hundredth as browsers show them; 2 hundredths is the file's own.
  GifImageWidget w;
  ASSERT_TRUE(w.LoadFromBytes(makeGif({{0, 0}, {1, 1}, {2, 2}, {3, 150}}, 0)));
  EXPECT_EQ(w.pendingDelayMs(), -1);
  w.setAnimate(true);
  EXPECT_TRUE(w.animate());
  const std::vector<std::pair<QColor, int>> expected = {
      {kRed, 100}, {kGreen, 100}, {kBlue, 20}, {kWhite, 1500}, {kRed, 100}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(shown(w), expected[i].first) << "step " << i;
    EXPECT_EQ(w.pendingDelayMs(), expected[i].second) << "step " << i;
    w.tick();
  }
  w.setAnimate(false);
  EXPECT_EQ(w.pendingDelayMs(), -1);
  const int frame = w.Frame();
  w.tick();
  EXPECT_EQ(w.Frame(), frame);
}

TEST(GifImageWidget, PlaysAsManyRoundsAsTheLoopCountSays) {
  struct Case {
    const char* name;
    std::optional<int> loop;
    int rounds;  // 0: for ever
  };
  for (const Case& c : {Case{"no loop extension", std::nullopt, 1}, Case{"loop count 1", 1, 1},
                        Case{"loop count 2", 2, 2}, Case{"for ever", 0, 0}}) {
    GifImageWidget w;
    ASSERT_TRUE(w.LoadFromBytes(makeGif({{0, 5}, {1, 5}, {2, 5}}, c.loop)));
    w.setAnimate(true);
    std::vector<int> frames = {w.Frame()};
    for (int i = 0; i < 20 && w.animate(); ++i) {
      w.tick();
      frames.push_back(w.Frame());
    }
    if (c.rounds == 0) {
      EXPECT_TRUE(w.animate()) << c.name;
      EXPECT_EQ(frames.size(), 21u) << c.name;
      continue;
    }
    std::vector<int> expected;
    for (int round = 0; round < c.rounds; ++round) expected.insert(expected.end(), {1, 2, 3});
    expected.push_back(3);  // the tick that ends the last round leaves the last frame
    EXPECT_EQ(frames, expected) << c.name;
    EXPECT_FALSE(w.animate()) << c.name;
    EXPECT_EQ(w.pendingDelayMs(), -1) << c.name;
    EXPECT_EQ(shown(w), kBlue) << c.name;

    // Switched on again at the last frame: the rounds start over.
    w.setAnimate(true);
    w.tick();
    EXPECT_EQ(w.Frame(), 1) << c.name;
    EXPECT_TRUE(w.animate()) << c.name;
  }
}

TEST(GifImageWidget, ChoosingAFrameWhileAnimatingGoesOnFromThere) {
  GifImageWidget w;
  ASSERT_TRUE(w.LoadFromBytes(kThreeFrames));
  w.setAnimate(true);
  w.setFrame(3);
  EXPECT_EQ(w.pendingDelayMs(), 400);
  w.tick();
  EXPECT_EQ(w.Frame(), 1);
  EXPECT_EQ(shown(w), kRed);
}

TEST(GifImageWidget, ASingleFrameDoesNotAnimate) {
  GifImageWidget w;
  ASSERT_TRUE(w.LoadFromBytes(makeGif({{1, 10}}, 0)));
  w.setAnimate(true);
  EXPECT_EQ(w.FrameCount(), 1);
  EXPECT_EQ(w.pendingDelayMs(), -1);
  w.tick();
  EXPECT_EQ(w.Frame(), 1);
  EXPECT_EQ(shown(w), kGreen);
}

TEST(GifImageWidget, TheTimerDrivesTheAnimation) {
  GifImageWidget w;
  ASSERT_TRUE(w.LoadFromBytes(kThreeFrames));
  w.setAnimate(true);
  auto* timer = w.findChild<QTimer*>();
  ASSERT_NE(timer, nullptr);
  ASSERT_TRUE(timer->isActive());
  // The timer's signal, sent now instead of after the delay.
  ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
  EXPECT_EQ(w.Frame(), 2);
  EXPECT_EQ(w.pendingDelayMs(), 300);
}

TEST(GifImageWidget, LoadingWhileAnimatingAnimatesTheNewFile) {
  GifImageWidget w;
  ASSERT_TRUE(w.LoadFromBytes(kThreeFrames));
  w.setAnimate(true);
  w.tick();
  ASSERT_TRUE(w.LoadFromBytes(makeGif({{3, 70}, {0, 70}}, 0)));
  EXPECT_EQ(w.Frame(), 1);
  EXPECT_EQ(shown(w), kWhite);
  EXPECT_EQ(w.pendingDelayMs(), 700);
}

}  // namespace
}  // namespace pagemoor
