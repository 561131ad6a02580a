// Drives the modal box a call under test shows (Qt widget tests only).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace pagemoor {

// Acts once on the next modal window as soon as it shows. A window still open
// a few seconds later is closed, so that a broken test fails instead of hanging.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(QWidget*)> action) : m_action(std::move(action)) {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    m_clock.start();
    m_timer.start();
  }
  bool acted() const { return m_acted; }

 private:
  void tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (m_clock.elapsed() > 5000) {
      ADD_FAILURE() << "the modal window was left open";
      modal->close();
      return;
    }
    if (m_acted) return;
    m_acted = true;
    m_action(modal);
  }

  std::function<void(QWidget*)> m_action;
  QTimer m_timer;
  QElapsedTimer m_clock;
  bool m_acted = false;
};

}  // namespace pagemoor
