// Letting Qt's event loop deliver in tests of sockets and other processes.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <functional>

namespace pagemoor::test {

// Lets the event loop deliver until done() holds; false when it never did.
// The deadline only keeps a broken test from hanging; nothing here measures
// speed.
inline bool PumpUntil(const std::function<bool()>& done) {
  QDeadlineTimer deadline(10000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

}  // namespace pagemoor::test
