// main() of the test programs that create Qt widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "pictures/qt/QtPictures.h"

int main(int argc, char** argv) {
  // Test discovery runs the binary outside CTest's environment, so a run
  // without a display has to make itself headless here, before Qt starts.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // As the program does at start-up: Qt reads the pictures ours do not.
  pagemoor::InstallQtPictureReader();
  return RUN_ALL_TESTS();
}
