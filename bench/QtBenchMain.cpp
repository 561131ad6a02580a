// main() of the benchmarks that need Qt widgets: headless when no display is set.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>

#include "pictures/qt/QtPictures.h"

int main(int argc, char** argv) {
  if (!getenv("QT_QPA_PLATFORM") && !getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  // As the program does at start-up: Qt reads the pictures ours do not.
  pagemoor::InstallQtPictureReader();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
