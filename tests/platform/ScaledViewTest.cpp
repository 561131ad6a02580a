#include "platform/qt/ScaledView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsProxyWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "common/CommandLine.h"
#include "platform/qt/FullScreenModal.h"
#include "support/QtPump.h"
#include "support/ScopedCommandLine.h"
#include "support/ViewClicks.h"

namespace pagemoor {
namespace {

// A design-size window with one small target in its lower right corner that
// records where it was clicked; a left click on the window closes it when
// closeOnClick is set, and it refuses to close while `refuseClose` is set.
// Neither takes the press (as plain widgets do), yet both get their release.
class Target : public QWidget {
 public:
  explicit Target(std::vector<QPoint>& clicks) : m_clicks(clicks) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override { m_clicks.push_back(event->position().toPoint()); }

 private:
  std::vector<QPoint>& m_clicks;
};

class DesignWindow : public QWidget {
 public:
  DesignWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), target(new Target(targetClicks)) {
    target->setParent(this);
    target->setGeometry(700, 500, 50, 40);
  }

  std::vector<QPoint> targetClicks;
  std::vector<QPoint> windowClicks;
  Target* target;
  FullScreenModal modal;
  bool closeOnClick = false;
  bool refuseClose = false;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    windowClicks.push_back(event->position().toPoint());
    if (closeOnClick) close();
  }
  void closeEvent(QCloseEvent* event) override {
    if (refuseClose) {
      event->ignore();
      return;
    }
    QWidget::closeEvent(event);
    modal.quit();
  }
};

// A control that picks its cursor as the mouse moves over it, as a text pane
// does over its text and its links: the size-all arrows over its left half,
// the pointing hand over its right half.
class HalvesControl : public QWidget {
 public:
  explicit HalvesControl(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    setCursor(event->position().x() < width() / 2 ? Qt::SizeAllCursor : Qt::PointingHandCursor);
  }
};

// A design-size window in the cross cursor with the halves control at
// (100, 100) and, at (400, 100), a control without a cursor of its own; both
// are 200 x 100.
class CursorWindow : public QWidget {
 public:
  CursorWindow()
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
        halves(new HalvesControl(this)),
        plain(new QWidget(this)) {
    setCursor(Qt::CrossCursor);
    halves->setGeometry(100, 100, 200, 100);
    plain->setGeometry(400, 100, 200, 100);
  }

  HalvesControl* halves;
  QWidget* plain;
};

QRect screenGeometry() {
  return QGuiApplication::primaryScreen()->geometry();
}

// The scale that fits the design into `area` with its aspect ratio kept.
double fitScale(QSize area) {
  return std::min(area.width() / 800.0, area.height() / 600.0);
}

// Each test starts from the command line's mode and leaves it so.
class ScaledViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ScreenMode::instance().reset(); }
  void TearDown() override { ScreenMode::instance().reset(); }

  test::ScopedCommandLine m_commandLine{"/tmp/MAG.EXE"};
};

TEST_F(ScaledViewTest, TheDesignFillsTheViewWithItsAspectKept) {
  struct Case {
    QSize view;
    QPoint designTopLeft;  // where the design's corner lands: the bars' width or height
    double scale;
  };
  const Case cases[] = {
      {{1600, 1000}, {133, 0}, 1000.0 / 600.0},  // wide: bars at the sides
      {{800, 900}, {0, 150}, 1.0},               // tall: bars above and below
      {{400, 300}, {0, 0}, 0.5},                 // smaller than the design
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.view.width() << "x" << c.view.height());
    std::vector<QPoint> clicks;
    DesignWindow window;
    ScaledView view(window);
    view.presentWindowed();
    view.resize(c.view);
    QApplication::processEvents();
    EXPECT_NEAR(view.scale(), c.scale, 0.01);
    const QPoint corner = view.mapFromScene(QPointF(0, 0));
    EXPECT_NEAR(corner.x(), c.designTopLeft.x(), 1);
    EXPECT_NEAR(corner.y(), c.designTopLeft.y(), 1);
    const QPoint centre = view.mapFromScene(QPointF(400, 300));
    EXPECT_NEAR(centre.x(), c.view.width() / 2, 1);
    EXPECT_NEAR(centre.y(), c.view.height() / 2, 1);
    // The window keeps its design size whatever the view's.
    EXPECT_EQ(window.size(), kDesignSize);
    EXPECT_TRUE(window.isVisible());
  }
}

TEST_F(ScaledViewTest, ClicksMapBackToDesignCoordinates) {
  DesignWindow window;
  ScaledView view(window);
  view.presentWindowed();
  view.resize(1600, 1000);
  QApplication::processEvents();

  // The target's middle on the screen is its design position scaled, plus the bar.
  test::ClickViewport(view, view.mapFromScene(QPointF(725, 520)));
  ASSERT_EQ(window.targetClicks.size(), 1u);
  EXPECT_NEAR(window.targetClicks[0].x(), 25, 1);
  EXPECT_NEAR(window.targetClicks[0].y(), 20, 1);
  EXPECT_TRUE(window.windowClicks.empty());

  // Where the target would be unscaled is the window, away from the target.
  test::ClickViewport(view, QPoint(725, 520));
  EXPECT_EQ(window.targetClicks.size(), 1u);
  ASSERT_EQ(window.windowClicks.size(), 1u);
  EXPECT_NEAR(window.windowClicks[0].x(), (725 - 133) * 0.6, 1);
  EXPECT_NEAR(window.windowClicks[0].y(), 520 * 0.6, 1);

  // The black bar is nobody's.
  test::ClickViewport(view, QPoint(60, 500));
  EXPECT_EQ(window.targetClicks.size(), 1u);
  EXPECT_EQ(window.windowClicks.size(), 1u);
}

TEST_F(ScaledViewTest, TheViewShowsTheCursorOfTheControlUnderTheMouseAsItChanges) {
  CursorWindow window;
  ScaledView view(window);
  view.presentWindowed();
  view.resize(1600, 1000);
  QApplication::processEvents();
  const auto moveTo = [&view](QPointF at) { return [&view, at] { test::MoveToDesignPoint(view, at); }; };
  struct Step {
    const char* what;
    std::function<void()> act;
    Qt::CursorShape shown;
  };
  const Step steps[] = {
      {"onto the window", moveTo({50, 50}), Qt::CrossCursor},
      {"onto the control, which picks its cursor", moveTo({150, 150}), Qt::SizeAllCursor},
      {"within the control", moveTo({250, 150}), Qt::PointingHandCursor},
      {"the control changes it under the resting mouse", [&] { window.halves->setCursor(Qt::WaitCursor); },
       Qt::WaitCursor},
      {"the window's cursor is not the control's", [&] { window.setCursor(Qt::BusyCursor); }, Qt::WaitCursor},
      {"the control without one shows the window's", [&] { window.halves->unsetCursor(); }, Qt::BusyCursor},
      {"onto the plain control", moveTo({450, 150}), Qt::BusyCursor},
      {"it shows the window's as that changes", [&] { window.setCursor(Qt::CrossCursor); }, Qt::CrossCursor},
      {"a disabled control shows its parent's",
       [&] {
         window.plain->setCursor(Qt::IBeamCursor);
         window.plain->setEnabled(false);
       },
       Qt::CrossCursor},
      {"enabled again it shows its own", [&] { window.plain->setEnabled(true); }, Qt::IBeamCursor},
      {"the control deleted under the resting mouse",
       [&] {
         delete std::exchange(window.plain, nullptr);
         QApplication::processEvents();
       },
       Qt::CrossCursor},
      {"back onto the halves control", moveTo({250, 150}), Qt::PointingHandCursor},
      {"the control hidden under the resting mouse", [&] { window.halves->hide(); }, Qt::CrossCursor},
      {"onto the bar: the view's own", moveTo({-50, 300}), Qt::ArrowCursor},
      {"the window's changes do not reach the bar", [&] { window.setCursor(Qt::WaitCursor); },
       Qt::ArrowCursor},
      {"back onto the window", moveTo({50, 50}), Qt::WaitCursor},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(view.viewport()->cursor().shape(), step.shown);
  }
}

TEST_F(ScaledViewTest, ScreenModeStartsFromTheWindowOptionAndTellsItsChanges) {
  ScreenMode& mode = ScreenMode::instance();
  EXPECT_FALSE(mode.windowed());
  CommandLine withWindow = CurrentCommandLine();
  withWindow.options["window"] = "";
  SetCommandLine(withWindow);
  EXPECT_TRUE(mode.windowed());

  std::vector<bool> changes;
  QObject receiver;
  QObject::connect(&mode, &ScreenMode::windowedChanged, &receiver,
                   [&](bool windowed) { changes.push_back(windowed); });
  mode.setWindowed(true);  // no change
  mode.setWindowed(false);
  mode.setWindowed(false);
  EXPECT_FALSE(mode.windowed());
  mode.reset();  // the option again
  EXPECT_TRUE(mode.windowed());
  EXPECT_EQ(changes, (std::vector<bool>{false, true}));
}

TEST_F(ScaledViewTest, AltEnterSwitchesEveryScaledWindowAndTheSharedMode) {
  DesignWindow first;
  DesignWindow second;
  ScaledView under(first);
  ScaledView over(second);
  under.present();
  over.present();
  ASSERT_TRUE(under.isFullScreen());
  ASSERT_TRUE(over.isFullScreen());

  std::vector<QKeySequence> keys;
  QShortcut* altEnter = nullptr;
  for (QShortcut* shortcut : over.findChildren<QShortcut*>()) {
    keys.push_back(shortcut->key());
    EXPECT_EQ(shortcut->context(), Qt::WindowShortcut);
    altEnter = shortcut;
  }
  std::sort(keys.begin(), keys.end());
  std::vector<QKeySequence> expected{QKeySequence(Qt::ALT | Qt::Key_Return),
                                     QKeySequence(Qt::ALT | Qt::Key_Enter)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(keys, expected);
  ASSERT_NE(altEnter, nullptr);

  emit altEnter->activated();
  EXPECT_FALSE(over.isFullScreen());
  EXPECT_EQ(over.size(), kDesignSize);
  EXPECT_FALSE(under.isFullScreen());
  EXPECT_EQ(under.size(), kDesignSize);
  EXPECT_TRUE(ScreenMode::instance().windowed());

  emit altEnter->activated();
  EXPECT_TRUE(over.isFullScreen());
  EXPECT_TRUE(under.isFullScreen());
  EXPECT_FALSE(ScreenMode::instance().windowed());

  // A hidden view does not come up because another switched.
  under.hide();
  over.toggleFullScreen();
  EXPECT_FALSE(under.isVisible());
}

TEST_F(ScaledViewTest, ViewGivesTheWindowBackWhenItGoes) {
  DesignWindow window;
  {
    ScaledView view(window);
    view.present();
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(window.graphicsProxyWidget(), nullptr);
  }
  EXPECT_EQ(window.graphicsProxyWidget(), nullptr);
  EXPECT_FALSE(window.testAttribute(Qt::WA_DontShowOnScreen));
}

// FullScreenModal presents the window through a ScaledView until it closes.
class FullScreenModalTest : public ScaledViewTest {
 protected:
  // Runs the modal with `inside` called once its loop runs; false when the
  // loop had to be ended by the test.
  bool run(DesignWindow& window, const std::function<void(ScaledView&)>& inside) {
    bool ended = true;
    QMetaObject::invokeMethod(
        &window,
        [&] {
          ScaledView* view = window.modal.view();
          if (!view) {
            ADD_FAILURE() << "no view while the modal runs";
            return;
          }
          inside(*view);
          if (window.modal.running() && window.isVisible()) {
            ended = false;
            window.refuseClose = false;
            window.close();
          }
        },
        Qt::QueuedConnection);
    window.modal.exec(window);
    return ended;
  }
};

TEST_F(FullScreenModalTest, FullScreenScaledOrADesignSizeWindowAsTheMagazine) {
  for (bool windowed : {false, true}) {
    SCOPED_TRACE(windowed ? "windowed" : "full screen");
    ScreenMode::instance().setWindowed(windowed);
    DesignWindow window;
    window.closeOnClick = true;
    bool fullScreen = !windowed;
    QSize viewSize;
    double scale = 0;
    QPoint designCorner;
    const bool ended = run(window, [&](ScaledView& view) {
      // The window system's full-screen geometry arrives as an event.
      if (!windowed) test::PumpUntil([&] { return view.size() == screenGeometry().size(); });
      fullScreen = view.isFullScreen();
      viewSize = view.size();
      scale = view.scale();
      designCorner = view.mapFromScene(QPointF(0, 0));
      EXPECT_EQ(view.windowModality(), Qt::ApplicationModal);
      EXPECT_TRUE(view.isVisible());
      EXPECT_EQ(window.size(), kDesignSize);
      test::ClickViewport(view, view.mapFromScene(QPointF(10, 10)));  // closes the window
    });
    EXPECT_TRUE(ended);
    EXPECT_EQ(fullScreen, !windowed);
    const QSize expectedSize = windowed ? kDesignSize : screenGeometry().size();
    EXPECT_EQ(viewSize, expectedSize);
    EXPECT_NEAR(scale, fitScale(expectedSize), 0.01);
    EXPECT_NEAR(designCorner.x(), (expectedSize.width() - 800 * fitScale(expectedSize)) / 2, 1);
    EXPECT_NEAR(designCorner.y(), (expectedSize.height() - 600 * fitScale(expectedSize)) / 2, 1);
    ASSERT_EQ(window.windowClicks.size(), 1u);
    EXPECT_NEAR(window.windowClicks[0].x(), 10, 1);
    EXPECT_NEAR(window.windowClicks[0].y(), 10, 1);
    // Over: the view is gone, the window hidden and free again.
    EXPECT_FALSE(window.modal.running());
    EXPECT_EQ(window.modal.view(), nullptr);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.graphicsProxyWidget(), nullptr);
  }
}

TEST_F(FullScreenModalTest, ClosingTheViewAsksTheWindow) {
  DesignWindow window;
  window.refuseClose = true;
  bool stillUp = false;
  const bool ended = run(window, [&](ScaledView& view) {
    view.close();  // refused by the window: the loop goes on
    stillUp = view.isVisible() && window.isVisible() && window.modal.running();
    window.refuseClose = false;
    view.close();
  });
  EXPECT_TRUE(stillUp);
  EXPECT_TRUE(ended);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(FullScreenModalTest, RunsAgainAfterClosingAndNotTwiceAtOnce) {
  DesignWindow window;
  window.closeOnClick = true;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    bool nestedReturned = false;
    const bool ended = run(window, [&](ScaledView& view) {
      EXPECT_TRUE(window.isVisible());
      window.modal.exec(window);  // already on screen: returns at once
      nestedReturned = true;
      test::ClickViewport(view, view.mapFromScene(QPointF(400, 300)));
    });
    EXPECT_TRUE(nestedReturned);
    EXPECT_TRUE(ended);
    EXPECT_EQ(window.windowClicks.size(), static_cast<size_t>(round + 1));
  }
}

}  // namespace
}  // namespace pagemoor
