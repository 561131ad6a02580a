// The magazine's boxes on a 1600 x 1200 screen, where the 800 x 600 design is
// drawn twice as large: this program starts Qt's offscreen platform with that
// screen of its own.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/qt/MagazineBoxes.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/ScaledView.h"
#include "support/ModalDriver.h"
#include "support/ScopedCommandLine.h"

namespace pagemoor {
namespace {

// What a shown box was like.
struct Seen {
  QWidget* parent = nullptr;
  QRect geometry;
  double pointSize = 0;
  // Buttons by their text, in the box's coordinates.
  std::map<QString, QRect> buttons;
  // The centre of the magazine's window then.
  QPoint centreOf;
};

Seen Look(QWidget* box) {
  Seen seen;
  seen.parent = box->parentWidget();
  seen.geometry = box->geometry();
  seen.pointSize = box->font().pointSizeF();
  if (const ScaledView* view = MagazineView()) seen.centreOf = view->geometry().center();
    for (QAbstractButton* button : box->findChildren<QAbstractButton*>())
      seen.buttons[button->text().remove('&')] = QRect(button->mapTo(box, QPoint(0, 0)), button->size());
  return seen;
}

// The boxes a magazine raises, each answered by closing it.
struct BoxKind {
  const char* name;
  std::function<void(QtPlatform&)> raise;
};

const BoxKind kBoxes[] = {
    {"information", [](QtPlatform& p) { p.showInfo("Bad Command (no_such_command)"); }},
    {"message", [](QtPlatform& p) { p.showMessage("Test Mag", "Red is checked"); }},
    {"confirmation", [](QtPlatform& p) { p.askYesNo("Delete the issue?"); }},
    {"input", [](QtPlatform& p) { p.inputBox("Name", "Your name:", "Reader"); }},
    {"open file", [](QtPlatform& p) { p.openFileDialog({}); }},
    {"folder", [](QtPlatform& p) { p.folderDialog("Where to?", {}); }},
};

Seen Raise(const BoxKind& kind) {
  QtPlatform p;
  Seen seen;
  ModalDriver driver([&seen](QWidget* w) {
    seen = Look(w);
    w->close();
  });
  kind.raise(p);
  EXPECT_TRUE(driver.acted()) << kind.name;
  return seen;
}

class LargeScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenMode::instance().reset();
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1600, 1200));
  }
  void TearDown() override { ScreenMode::instance().reset(); }

  // The magazine in a window of `size` off the screen's middle (its scale
  // follows the size), or full screen.
  void showMagazine(std::optional<QSize> size) {
    if (size) {
      m_view.presentWindowed();
      m_view.setGeometry(QRect(QPoint(100, 150), *size));
    } else {
      m_view.presentFullScreen();
    }
    m_view.activateWindow();
    QApplication::processEvents();
  }

  test::ScopedCommandLine m_commandLine{"/tmp/MAG.EXE"};
  QWidget m_page{nullptr, Qt::Window | Qt::FramelessWindowHint};
  ScaledView m_view{m_page};
};

// In a window of the design size the boxes are as Qt makes them; full screen
// (twice the design) every box and its font are about twice as large. Both
// times the box belongs to the magazine and stands in its middle.
TEST_F(LargeScreenTest, BoxesBelongToTheMagazineStandInItsMiddleAndGrowWithIt) {
  const double normalPoints = QApplication::font().pointSizeF();
  for (const BoxKind& kind : kBoxes) {
    SCOPED_TRACE(kind.name);
    showMagazine(kDesignSize);
    ASSERT_NEAR(m_view.scale(), 1.0, 0.001);
    const Seen normal = Raise(kind);
    showMagazine(std::nullopt);
    ASSERT_NEAR(m_view.scale(), 2.0, 0.001);
    const Seen large = Raise(kind);

    for (const Seen* seen : {&normal, &large}) {
      EXPECT_EQ(seen->parent, &m_view);
      const QPoint offset = seen->geometry.center() - seen->centreOf;
      EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    }
    EXPECT_EQ(normal.centreOf, QPoint(499, 449));
    EXPECT_EQ(large.centreOf, QPoint(799, 599));
    EXPECT_DOUBLE_EQ(normal.pointSize, normalPoints);
    EXPECT_DOUBLE_EQ(large.pointSize, 2 * normalPoints);
    const double wider = double(large.geometry.width()) / normal.geometry.width();
    const double taller = double(large.geometry.height()) / normal.geometry.height();
    EXPECT_GE(wider, 1.6);
    EXPECT_LE(wider, 2.2);
    EXPECT_GE(taller, 1.6);
    EXPECT_LE(taller, 2.2);
  }
}

// The reader journeys answer a box with a click at a fixed distance from its
// bottom right corner, times the magazine's scale: OK and No at 52 x 24,
// Yes at 138 x 24. The buttons must be there at every scale.
TEST_F(LargeScreenTest, ButtonsStandAtTheirScaledDistanceFromTheCorner) {
  struct Case {
    std::optional<QSize> window;
    double scale;
  };
  const Case cases[] = {{kDesignSize, 1.0}, {QSize(1024, 768), 1.28}, {std::nullopt, 2.0}};
  const struct {
    const BoxKind& kind;
    const char* button;
    QPoint fromCorner;
  } clicks[] = {{kBoxes[0], "OK", {52, 24}}, {kBoxes[2], "No", {52, 24}}, {kBoxes[2], "Yes", {138, 24}}};
  for (const Case& c : cases) {
    showMagazine(c.window);
    ASSERT_NEAR(m_view.scale(), c.scale, 0.001);
    for (const auto& click : clicks) {
      SCOPED_TRACE(testing::Message() << c.scale << " " << click.kind.name << " " << click.button);
      const Seen seen = Raise(click.kind);
      ASSERT_EQ(seen.buttons.count(click.button), 1u);
      const QPoint at(seen.geometry.width() - int(click.fromCorner.x() * c.scale),
                      seen.geometry.height() - int(click.fromCorner.y() * c.scale));
      const QRect button = seen.buttons.at(click.button);
      EXPECT_TRUE(button.adjusted(3, 3, -3, -3).contains(at))
          << at.x() << "," << at.y() << " not on " << button.x() << "," << button.y() << " " << button.width() << "x"
          << button.height();
    }
  }
}

// The console has the keyboard when a command raises a box: the box is the
// console's, so a window manager keeps it above the console, and stands in
// the middle of the magazine, not of the console.
TEST_F(LargeScreenTest, BoxOfAnotherActiveWindowStillStandsInTheMagazinesMiddle) {
  showMagazine(std::nullopt);
  QWidget console(nullptr, Qt::Tool);
  console.setGeometry(1250, 50, 300, 200);
  console.show();
  console.activateWindow();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeWindow(), &console);
  const Seen seen = Raise(kBoxes[0]);
  EXPECT_EQ(seen.parent, &console);
  EXPECT_LE((seen.geometry.center() - m_view.geometry().center()).manhattanLength(), 2);
}

}  // namespace
}  // namespace pagemoor

int main(int argc, char** argv) {
  // A screen of our own, whatever platform the run asked for.
  const std::string config = std::string(PAGEMOOR_LARGE_SCREEN_CONFIG);
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
