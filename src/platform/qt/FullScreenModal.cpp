#include "platform/qt/FullScreenModal.h"

#include <QEventLoop>
#include <QScreen>
#include <QWidget>

namespace pagemoor {

void FullScreenModal::exec(QWidget& window) {
  if (m_loop) return;  // already on screen
  window.setWindowModality(Qt::ApplicationModal);
  // The whole screen also where the window system does not maximize (the
  // offscreen platform of headless runs).
  if (QScreen* s = window.screen()) window.setGeometry(s->geometry());
  window.showMaximized();
  window.activateWindow();
  QEventLoop loop;
  m_loop = &loop;
  if (window.isVisible()) loop.exec();
  m_loop = nullptr;
}

void FullScreenModal::quit() {
  if (m_loop) m_loop->quit();
}

}  // namespace pagemoor
