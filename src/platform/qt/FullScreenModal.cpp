#include "platform/qt/FullScreenModal.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QWidget>

#include "platform/qt/ScaledView.h"

namespace pagemoor {

void FullScreenModal::exec(QWidget& window) {
  if (m_loop) return;  // already on screen
  ScaledView view(window);
  view.setObjectName(window.objectName() + QStringLiteral("View"));
  view.setWindowModality(Qt::ApplicationModal);
  // Over the magazine: on its screen, and a window in the middle of it.
  if (QWidget* over = QApplication::activeWindow()) {
    if (over->screen()) view.setScreen(over->screen());
    if (ScreenMode::instance().windowed()) {
      QRect place(QPoint(), kDesignSize);
      place.moveCenter(over->frameGeometry().center());
      view.move(place.topLeft());
    }
  }
  QEventLoop loop;
  m_loop = &loop;
  m_view = &view;
  view.present();
  view.activateWindow();
  // The window closes itself (its close event calls quit()), or the view is
  // closed and asks the window.
  if (window.isVisible()) loop.exec();
  m_view = nullptr;
  m_loop = nullptr;
  view.hide();
  window.hide();
}

void FullScreenModal::quit() {
  if (m_loop) m_loop->quit();
}

}  // namespace pagemoor
