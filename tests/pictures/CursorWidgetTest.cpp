// Cursor files as Qt cursors under the offscreen platform. The animation is
// driven by tick(), never by waiting for the timer.
#include "pictures/CursorWidget.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>

namespace pagemoor {
namespace {

const std::filesystem::path kCursors = std::filesystem::path(PAGEMOOR_THIRD_PARTY_DIR) / "cursors";

std::unique_ptr<AnimatedCursor> Fixture(const char* name) {
  return AnimatedCursor::fromFile((kCursors / name).string());
}

QImage ImageOf(const QCursor& cursor) {
  return cursor.pixmap().toImage().convertToFormat(QImage::Format_RGBA8888);
}

// The interval the cursor's own timer is set to: the time the current step
// stays on screen.
int TimerInterval(const AnimatedCursor& cursor) {
  const QTimer* timer = cursor.findChild<QTimer*>();
  return timer ? timer->interval() : -1;
}

// Two frames of 2x2, red then blue, shown 100 ms then 200 ms.
CursorAnimation TwoFrames() {
  CursorAnimation a;
  for (std::uint8_t blue : {0, 255}) {
    CursorImage frame;
    frame.image = RgbaImage(2, 2);
    for (int i = 0; i < 4; ++i) {
      std::uint8_t* p = frame.image.pixels.data() + i * 4;
      p[0] = static_cast<std::uint8_t>(255 - blue);
      p[2] = blue;
      p[3] = 255;
    }
    frame.hotX = 1;
    a.frames.push_back(frame);
  }
  a.steps = {{0, 100}, {1, 200}};
  return a;
}

TEST(AnimatedCursor, StillCursorKeepsSizeAndHotSpot) {
  const auto cursor = Fixture("sdl2image-sample.cur");
  ASSERT_TRUE(cursor->isValid());
  EXPECT_FALSE(cursor->isAnimated());
  EXPECT_EQ(cursor->current().pixmap().size(), QSize(23, 42));
  EXPECT_EQ(cursor->current().hotSpot(), QPoint(1, 24));
  // The top-left pixel of the picture, (252, 2, 1).
  EXPECT_EQ(ImageOf(cursor->current()).pixelColor(0, 0), QColor(252, 2, 1));

  QWidget widget;
  cursor->attach(&widget);
  EXPECT_EQ(widget.cursor().hotSpot(), QPoint(1, 24));
  EXPECT_EQ(widget.cursor().pixmap().size(), QSize(23, 42));
  EXPECT_FALSE(cursor->isRunning()) << "nothing to animate";
}

TEST(AnimatedCursor, PlaysTheFixtureInSequenceOrderWithItsDelays) {
  const auto cursor = Fixture("kimageformats-test.ani");
  ASSERT_TRUE(cursor->isValid());
  ASSERT_TRUE(cursor->isAnimated());
  EXPECT_EQ(cursor->frameCount(), 3);
  EXPECT_EQ(cursor->stepCount(), 4);
  EXPECT_FALSE(cursor->isRunning()) << "runs only while attached";

  QWidget widget;
  cursor->attach(&widget);
  EXPECT_TRUE(cursor->isRunning());

  struct Expected {
    int frame;
    int delayMs;
  };
  // Sequence 0, 1, 2, 1 at 10, 20, 10, 10 jiffies, then round again.
  const Expected expected[] = {{0, 166}, {1, 333}, {2, 166}, {1, 166}, {0, 166}, {1, 333}};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    if (i > 0) cursor->tick();
    EXPECT_EQ(cursor->currentFrame(), expected[i].frame);
    EXPECT_EQ(cursor->currentDelayMs(), expected[i].delayMs);
    EXPECT_EQ(TimerInterval(*cursor), expected[i].delayMs);
    EXPECT_EQ(ImageOf(widget.cursor()), ImageOf(cursor->frameCursor(expected[i].frame)));
    EXPECT_EQ(widget.cursor().hotSpot(), QPoint(0, 0));
  }
  // The frames really differ, or the comparison above would prove nothing.
  EXPECT_NE(ImageOf(cursor->frameCursor(0)), ImageOf(cursor->frameCursor(1)));
  EXPECT_NE(ImageOf(cursor->frameCursor(1)), ImageOf(cursor->frameCursor(2)));

  cursor->rewind();
  EXPECT_EQ(cursor->currentStep(), 0);
  EXPECT_EQ(ImageOf(widget.cursor()), ImageOf(cursor->frameCursor(0)));
}

TEST(AnimatedCursor, DestroyedWidgetsAreForgotten) {
  AnimatedCursor cursor(TwoFrames());
  ASSERT_TRUE(cursor.isAnimated());
  auto first = std::make_unique<QWidget>();
  auto second = std::make_unique<QWidget>();
  cursor.attach(first.get());
  cursor.attach(second.get());
  cursor.attach(second.get());  // twice is once
  EXPECT_EQ(cursor.attachedCount(), 2);

  first.reset();
  EXPECT_EQ(cursor.attachedCount(), 1);
  EXPECT_TRUE(cursor.isRunning());
  cursor.tick();
  EXPECT_EQ(ImageOf(second->cursor()), ImageOf(cursor.frameCursor(1)));

  second.reset();
  EXPECT_EQ(cursor.attachedCount(), 0);
  EXPECT_FALSE(cursor.isRunning()) << "nobody left to show it";
  cursor.tick();  // nothing to update, nothing to crash on
}

TEST(AnimatedCursor, DetachStopsUpdatingAndTheTimer) {
  AnimatedCursor cursor(TwoFrames());
  QWidget widget;
  cursor.attach(&widget);
  ASSERT_TRUE(cursor.isRunning());
  cursor.detach(&widget);
  EXPECT_FALSE(cursor.isRunning());
  cursor.tick();
  EXPECT_EQ(ImageOf(widget.cursor()), ImageOf(cursor.frameCursor(0))) << "kept its last frame";
}

TEST(AnimatedCursor, AWidgetWhoseCursorIsSetOtherwiseStopsFollowing) {
  AnimatedCursor cursor(TwoFrames());
  QWidget following;
  QWidget shaped;
  QWidget parent;
  parent.setCursor(Qt::CrossCursor);
  QWidget unset(&parent);
  for (QWidget* widget : {&following, &shaped, &unset}) cursor.attach(widget);
  shaped.setCursor(Qt::IBeamCursor);
  unset.unsetCursor();
  cursor.tick();
  EXPECT_EQ(ImageOf(following.cursor()), ImageOf(cursor.frameCursor(1)));
  EXPECT_EQ(shaped.cursor().shape(), Qt::IBeamCursor);
  EXPECT_EQ(unset.cursor().shape(), Qt::CrossCursor) << "its parent's again";
  EXPECT_EQ(cursor.attachedCount(), 1);

  // Back to the first step, the same; attached again, a widget follows again.
  following.setCursor(Qt::WaitCursor);
  cursor.attach(&shaped);
  cursor.rewind();
  EXPECT_EQ(following.cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(ImageOf(shaped.cursor()), ImageOf(cursor.frameCursor(0)));
  EXPECT_EQ(cursor.attachedCount(), 1);
}

TEST(AnimatedCursor, AWidgetFollowsOneAnimationAtATime) {
  AnimatedCursor first(TwoFrames());
  AnimatedCursor second(TwoFrames());
  second.tick();  // on its blue frame
  QWidget widget;
  first.attach(&widget);
  second.attach(&widget);
  EXPECT_EQ(first.attachedCount(), 0);
  EXPECT_FALSE(first.isRunning());
  first.tick();
  EXPECT_EQ(ImageOf(widget.cursor()), ImageOf(second.frameCursor(1)));

  // A slot holding a system shape takes the widget away from the animation.
  CursorSlot(Qt::PointingHandCursor).applyTo(&widget);
  EXPECT_EQ(second.attachedCount(), 0);
  EXPECT_EQ(widget.cursor().shape(), Qt::PointingHandCursor);
  second.tick();
  EXPECT_EQ(widget.cursor().shape(), Qt::PointingHandCursor);
}

TEST(AnimatedCursor, SlotsHoldAShapeOrACursorFile) {
  const CursorSlot arrow;
  EXPECT_FALSE(arrow.isFile());
  EXPECT_EQ(arrow.cursor().shape(), Qt::ArrowCursor);

  const CursorSlot file(std::make_shared<AnimatedCursor>(TwoFrames()));
  ASSERT_TRUE(file.isFile());
  QWidget widget;
  file.applyTo(&widget);
  EXPECT_EQ(file.file()->attachedCount(), 1);
  EXPECT_EQ(widget.cursor().hotSpot(), QPoint(1, 0));
  file.file()->tick();
  EXPECT_EQ(ImageOf(widget.cursor()), ImageOf(file.cursor()));
  EXPECT_EQ(ImageOf(file.cursor()), ImageOf(file.file()->frameCursor(1)));
}

TEST(AnimatedCursor, PngPicturesAreDecodedHere) {
  QImage picture(5, 7, QImage::Format_ARGB32);
  picture.fill(QColor(10, 200, 30));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(picture.save(&buffer, "PNG"));
  CursorAnimation animation;
  animation.frames.push_back({.image = {}, .hotX = 4, .hotY = 9, .png = png.toStdString()});
  animation.steps = {{0, 0}};

  const AnimatedCursor cursor(animation);
  ASSERT_TRUE(cursor.isValid());
  EXPECT_EQ(cursor.current().pixmap().size(), QSize(5, 7));
  EXPECT_EQ(cursor.current().hotSpot(), QPoint(4, 6)) << "hot spot kept inside the picture";
  EXPECT_EQ(ImageOf(cursor.current()).pixelColor(2, 2), QColor(10, 200, 30));
}

TEST(AnimatedCursor, WhatIsNoCursorIsInvalid) {
  CursorAnimation brokenPng;
  brokenPng.frames.push_back({.image = {}, .hotX = 0, .hotY = 0, .png = "\x89PNG but not really"});
  brokenPng.steps = {{0, 0}};
  struct Case {
    const char* name;
    std::unique_ptr<AnimatedCursor> cursor;
  };
  Case cases[] = {
      {"text", AnimatedCursor::fromBytes("not a cursor")},
      {"empty", AnimatedCursor::fromBytes("")},
      {"missing file", AnimatedCursor::fromFile("/nonexistent/folder/arrow.cur")},
      {"undecodable PNG", std::make_unique<AnimatedCursor>(brokenPng)},
      {"made invalid", std::make_unique<AnimatedCursor>()},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.cursor->isValid());
    EXPECT_EQ(c.cursor->current().shape(), Qt::ArrowCursor);
    QWidget widget;
    c.cursor->attach(&widget);
    EXPECT_FALSE(c.cursor->isRunning());
    c.cursor->tick();
  }
}

}  // namespace
}  // namespace pagemoor
