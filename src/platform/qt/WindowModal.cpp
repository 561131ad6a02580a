#include "platform/qt/WindowModal.h"

#include <QEventLoop>
#include <QWidget>

namespace pagemoor {

bool WindowModal::exec(QWidget& window, const std::function<void()>& beforeShow) {
  if (m_loop) return false;
  if (window.isVisible()) window.hide();
  window.setWindowModality(Qt::ApplicationModal);
  if (beforeShow) beforeShow();
  window.show();
  window.raise();
  window.activateWindow();
  QEventLoop loop;
  m_loop = &loop;
  if (window.isVisible()) loop.exec();
  m_loop = nullptr;
  window.hide();
  window.setWindowModality(Qt::NonModal);
  return true;
}

void WindowModal::quit() {
  if (m_loop) m_loop->quit();
}

}  // namespace pagemoor
