// The scaled windows on a screen wider than the design, with window frames:
// this program starts Qt's offscreen platform with a 1280 x 720 screen of its
// own and frame margins, so a window's title bar has a place it can be lost.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/qt/ScaledView.h"
#include "support/ScopedCommandLine.h"

namespace pagemoor {
namespace {

class WideScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { ScreenMode::instance().reset(); }
  void TearDown() override { ScreenMode::instance().reset(); }

  test::ScopedCommandLine m_commandLine{"/tmp/MAG.EXE"};
};

TEST_F(WideScreenTest, FullScreenScalesWithBarsAndAWindowComesBackWhole) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_EQ(screen->geometry(), QRect(0, 0, 1280, 720));
  QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
  ScaledView view(window);
  view.present();
  QApplication::processEvents();
  ASSERT_TRUE(view.isFullScreen());
  EXPECT_EQ(view.geometry(), screen->geometry());
  EXPECT_NEAR(view.scale(), 1.2, 0.001);
  EXPECT_EQ(view.mapFromScene(QPointF(0, 0)), QPoint(160, 0));

  // Alt+Enter twice, as a reader goes to a window and back.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    view.toggleFullScreen();
    QApplication::processEvents();
    ASSERT_FALSE(view.isFullScreen());
    EXPECT_EQ(view.size(), kDesignSize);
    EXPECT_NEAR(view.scale(), 1.0, 0.001);
    // In the middle, its title bar on the screen.
    EXPECT_EQ(view.geometry().center(), screen->availableGeometry().center());
    EXPECT_LT(view.frameGeometry().top(), view.geometry().top());
    EXPECT_TRUE(screen->availableGeometry().contains(view.frameGeometry())) << view.frameGeometry().y();
    view.toggleFullScreen();
    QApplication::processEvents();
    EXPECT_TRUE(view.isFullScreen());
    EXPECT_EQ(view.geometry(), screen->geometry());
  }
}

}  // namespace
}  // namespace pagemoor

int main(int argc, char** argv) {
  // A screen of our own, whatever platform the run asked for.
  const std::string config = std::string(PAGEMOOR_WIDE_SCREEN_CONFIG);
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
