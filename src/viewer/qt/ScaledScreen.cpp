#include "viewer/qt/ScaledScreen.h"

#include <QCloseEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QKeySequence>
#include <QShortcut>
#include <QWindowStateChangeEvent>

#include "common/CommandLine.h"
#include "viewer/MainWindow.h"

namespace pagemoor {

ScaledScreen::ScaledScreen(TfrmMain& window)
    : m_window(window), m_scene(new QGraphicsScene(this)), m_windowOnly(CurrentCommandLine().has("window")) {
  setObjectName(QStringLiteral("ScaledScreen"));
  setWindowFlag(Qt::FramelessWindowHint, false);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setBackgroundBrush(Qt::black);
  setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
  // Widgets repaint small pieces; the whole view is cheap at this size and
  // avoids seams at scaled edges.
  setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
  setAlignment(Qt::AlignCenter);
  setScene(m_scene);
  m_window.resize(TfrmMain::kDesignWidth, TfrmMain::kDesignHeight);
  m_window.setScaledScreen(this);
  // Hidden until the screen is shown: the window's first showing starts the reading.
  m_proxy = new QGraphicsProxyWidget;
  m_proxy->setVisible(false);
  m_proxy->setWidget(&m_window);
  m_scene->addItem(m_proxy);
  m_scene->setSceneRect(0, 0, TfrmMain::kDesignWidth, TfrmMain::kDesignHeight);
  // Alt+Enter, whichever control of the magazine has the focus.
  for (const QKeySequence& keys :
       {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &ScaledScreen::toggleFullScreen);
  }
  resize(TfrmMain::kDesignWidth, TfrmMain::kDesignHeight);
}

ScaledScreen::~ScaledScreen() {
  m_window.setScaledScreen(nullptr);
  // The window is not ours: take it out of the scene before the scene goes.
  if (m_proxy) m_proxy->setWidget(nullptr);
}

void ScaledScreen::presentFullScreen() {
  if (m_windowOnly) {
    presentWindowed();
    return;
  }
  goFullScreen();
  fit();
}

void ScaledScreen::presentWindowed() {
  if (isFullScreen()) showNormal();
  resize(TfrmMain::kDesignWidth, TfrmMain::kDesignHeight);
  show();
  fit();
}

void ScaledScreen::toggleFullScreen() {
  if (isFullScreen()) {
    showNormal();
    resize(TfrmMain::kDesignWidth, TfrmMain::kDesignHeight);
  } else {
    goFullScreen();
  }
  fit();
}

void ScaledScreen::goFullScreen() {
  showFullScreen();
}

double ScaledScreen::scale() const {
  return transform().m11();
}

void ScaledScreen::fit() {
  if (width() <= 0 || height() <= 0) return;
  fitInView(m_scene->sceneRect(), Qt::KeepAspectRatio);
}

void ScaledScreen::resizeEvent(QResizeEvent* event) {
  QGraphicsView::resizeEvent(event);
  fit();
}

void ScaledScreen::setVisible(bool visible) {
  QGraphicsView::setVisible(visible);
  if (visible && !m_window.isVisible()) m_window.show();
}

void ScaledScreen::closeEvent(QCloseEvent* event) {
  // The viewer decides whether the reading ends.
  if (m_window.isVisible() && !m_window.close()) {
    event->ignore();
    return;
  }
  event->accept();
}

void ScaledScreen::changeEvent(QEvent* event) {
  QGraphicsView::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange)
    m_window.windowStateChanged(static_cast<QWindowStateChangeEvent*>(event)->oldState(), windowState());
}

}  // namespace pagemoor
