// A second process for the single-instance tests.
//
//   single_instance_helper hold NAME          takes the lock and keeps it
//                                             until standard input closes
//   single_instance_helper second NAME TITLE  checks as a starting program does
//
// Each prints "first" or "running" (whether another process held the lock)
// on one line; hold prints it once it listens.
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/qt/SingleInstance.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc < 3 || (mode != "hold" && mode != "second") || (mode == "second" && argc < 4)) {
    std::fprintf(stderr, "usage: %s hold NAME | second NAME TITLE\n", argv[0]);
    return 2;
  }
  pagemoor::SingleInstance instance(argv[2]);
  const bool running = instance.isAlreadyRunning(mode == "second" ? argv[3] : "Pagemoor");
  std::printf("%s\n", running ? "running" : "first");
  std::fflush(stdout);
  if (mode == "second" || running) return 0;

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char buffer[256];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) app.quit();
  });
  return app.exec();
}
