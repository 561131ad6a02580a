#include "viewer/qt/ScaledScreen.h"

#include <QWindowStateChangeEvent>

#include "common/CommandLine.h"
#include "viewer/MainWindow.h"

namespace pagemoor {

ScaledScreen::ScaledScreen(TfrmMain& window)
    : ScaledView(window), m_window(window), m_windowOnly(CurrentCommandLine().has("window")) {
  setObjectName(QStringLiteral("ScaledScreen"));
  m_window.setScaledScreen(this);
}

ScaledScreen::~ScaledScreen() {
  m_window.setScaledScreen(nullptr);
  // Windows shown later go back to what the command line says.
  ScreenMode::instance().reset();
}

void ScaledScreen::presentFullScreen() {
  if (m_windowOnly)
    presentWindowed();
  else
    ScaledView::presentFullScreen();
}

void ScaledScreen::changeEvent(QEvent* event) {
  ScaledView::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  // The reader's screen is how the magazine is shown: the modal windows
  // come up the same way.
  ScreenMode::instance().setWindowed(!isFullScreen());
  m_window.windowStateChanged(static_cast<QWindowStateChangeEvent*>(event)->oldState(), windowState());
}

}  // namespace pagemoor
