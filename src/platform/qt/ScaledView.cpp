#include "platform/qt/ScaledView.h"

#include <QCloseEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTransform>
#include <algorithm>

#include "common/CommandLine.h"

namespace pagemoor {

ScreenMode& ScreenMode::instance() {
  static ScreenMode mode;
  return mode;
}

bool ScreenMode::windowed() const {
  return m_windowed.value_or(CurrentCommandLine().has("window"));
}

void ScreenMode::setWindowed(bool windowed) {
  const bool before = this->windowed();
  m_windowed = windowed;
  if (before != windowed) emit windowedChanged(windowed);
}

void ScreenMode::reset() {
  const bool before = windowed();
  m_windowed.reset();
  if (before != windowed()) emit windowedChanged(windowed());
}

namespace {

// On a screen of its own a window gets the release of every press on it,
// also of one that neither it nor its control took (a plain QWidget ignores
// presses). A scene gives releases only to the item that took the press, so
// the proxy takes every press: the release then reaches the control that was
// pressed, and a click on such a control or on the window itself still works.
class WindowProxy : public QGraphicsProxyWidget {
 protected:
  void mousePressEvent(QGraphicsSceneMouseEvent* event) override {
    QGraphicsProxyWidget::mousePressEvent(event);
    event->accept();
  }
  void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override {
    QGraphicsProxyWidget::mouseDoubleClickEvent(event);
    event->accept();
  }
};

}  // namespace

ScaledView::ScaledView(QWidget& content)
    : m_content(content), m_scene(new QGraphicsScene(this)), m_proxy(new WindowProxy) {
  setWindowFlag(Qt::FramelessWindowHint, false);
  setWindowTitle(content.windowTitle());
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
  // The controls inside follow the mouse without a button held.
  viewport()->setMouseTracking(true);
  m_content.resize(kDesignSize);
  // Hidden until the view is shown: a window's showing may start its work,
  // and a proxy shows a window that was never shown nor hidden.
  if (!m_content.testAttribute(Qt::WA_WState_ExplicitShowHide)) m_content.hide();
  m_proxy->setVisible(false);
  m_proxy->setWidget(&m_content);
  m_scene->addItem(m_proxy);
  m_scene->setSceneRect(0, 0, kDesignSize.width(), kDesignSize.height());
  // Alt+Enter, whichever control inside has the focus.
  for (const QKeySequence& keys :
       {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &ScaledView::toggleFullScreen);
  }
  // Another scaled window switched: follow it while on screen.
  connect(&ScreenMode::instance(), &ScreenMode::windowedChanged, this, [this](bool windowed) {
    if (isVisible() && isFullScreen() == windowed) showAs(windowed);
  });
  resize(kDesignSize);
}

ScaledView::~ScaledView() {
  followCursorOf(nullptr);
  // The window is not ours: take it out of the scene before the scene goes
  // (a proxy deletes the widget it still holds).
  m_proxy->setWidget(nullptr);
}

void ScaledView::present() {
  showAs(ScreenMode::instance().windowed());
}

void ScaledView::presentFullScreen() {
  showAs(false);
}

void ScaledView::presentWindowed() {
  showAs(true);
}

void ScaledView::toggleFullScreen() {
  const bool windowed = isFullScreen();
  showAs(windowed);
  ScreenMode::instance().setWindowed(windowed);
  // The others may have come up over this one.
  if (isVisible()) {
    raise();
    activateWindow();
  }
}

void ScaledView::showAs(bool windowed) {
  if (windowed) {
    if (isFullScreen()) {
      showNormal();
      // Back from the whole screen a window would keep its top left corner
      // there, its title bar above the screen: it goes to the middle.
      if (QScreen* s = screen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, kDesignSize, s->availableGeometry()));
    }
    resize(kDesignSize);
    show();
  } else {
    // The whole screen also where the window system does not make a window
    // full screen (no window manager, the offscreen platform).
    if (QScreen* s = screen()) setGeometry(s->geometry());
    showFullScreen();
  }
  fit();
}

double ScaledView::scale() const {
  return transform().m11();
}

void ScaledView::fit() {
  const QSize area = viewport()->size();
  if (area.isEmpty()) return;
  // Not fitInView: it keeps a margin of two pixels on every side, a black
  // frame around the design and a scale a little short of the screen's.
  const double factor =
      std::min(double(area.width()) / kDesignSize.width(), double(area.height()) / kDesignSize.height());
  setTransform(QTransform::fromScale(factor, factor));
  centerOn(m_scene->sceneRect().center());
}

void ScaledView::resizeEvent(QResizeEvent* event) {
  QGraphicsView::resizeEvent(event);
  fit();
}

void ScaledView::setVisible(bool visible) {
  QGraphicsView::setVisible(visible);
  if (visible && !m_content.isVisible()) m_content.show();
}

// A proxy takes a control's cursor only when the mouse enters the control:
// a change while the mouse stays on it would never reach the screen. The view
// follows the control under the mouse itself and shows its cursor on the
// viewport and the proxy alike, so that the scene's own cursor handling on
// the next move agrees.
void ScaledView::mouseMoveEvent(QMouseEvent* event) {
  QGraphicsView::mouseMoveEvent(event);
  m_mousePos = event->position().toPoint();
  // While a button is held the pressed control keeps the mouse and its cursor.
  if (event->buttons() != Qt::NoButton && !m_underMouse.empty() && m_underMouse.front())
    showFollowedCursor();
  else
    followCursorOf(widgetAt(m_mousePos));
}

bool ScaledView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Leave) followCursorOf(nullptr);
  return QGraphicsView::viewportEvent(event);
}

bool ScaledView::eventFilter(QObject* watched, QEvent* event) {
  const bool followed = std::any_of(
      m_underMouse.begin(), m_underMouse.end(),
      [watched](const QPointer<QWidget>& w) { return static_cast<QObject*>(w.data()) == watched; });
  if (followed) {
    switch (event->type()) {
      case QEvent::CursorChange:
      case QEvent::EnabledChange:
        showFollowedCursor();
        break;
      // The control under the resting mouse went: whatever is there now.
      case QEvent::Hide:
        followCursorOf(widgetAt(m_mousePos));
        break;
      default:
        break;
    }
  }
  return QGraphicsView::eventFilter(watched, event);
}

QWidget* ScaledView::widgetAt(QPoint viewportPos) const {
  const QList<QGraphicsItem*> hit = items(viewportPos);
  if (hit.isEmpty()) return nullptr;
  auto* proxy = qgraphicsitem_cast<QGraphicsProxyWidget*>(hit.front());
  QWidget* window = proxy ? proxy->widget() : nullptr;
  if (!window || !window->isVisible()) return nullptr;
  const QPoint at = proxy->mapFromScene(mapToScene(viewportPos)).toPoint();
  if (!window->rect().contains(at)) return nullptr;
  QWidget* child = window->childAt(at);
  return child ? child : window;
}

void ScaledView::followCursorOf(QWidget* widget) {
  if (!widget || m_underMouse.empty() || m_underMouse.front() != widget) {
    for (const QPointer<QWidget>& w : m_underMouse)
      if (w) w->removeEventFilter(this);
    m_underMouse.clear();
    disconnect(m_underMouseGone);
    for (QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
      w->installEventFilter(this);
      m_underMouse.emplace_back(w);
    }
    // A control deleted under the resting mouse: once it is gone from its
    // parent, whatever is there now.
    if (widget)
      m_underMouseGone = connect(
          widget, &QObject::destroyed, this,
          [this] {
            if (!m_underMouse.empty() && !m_underMouse.front()) followCursorOf(widgetAt(m_mousePos));
          },
          Qt::QueuedConnection);
  }
  showFollowedCursor();
}

void ScaledView::showFollowedCursor() {
  if (m_underMouse.empty() || !m_underMouse.front()) return;
  // A disabled control shows the cursor of its nearest enabled parent.
  QWidget* widget = m_underMouse.front();
  while (!widget->isWindow() && !widget->isEnabled()) widget = widget->parentWidget();
  const QCursor cursor = widget->cursor();
  if (QGraphicsProxyWidget* proxy = widget->window()->graphicsProxyWidget())
    if (!proxy->hasCursor() || !(proxy->cursor() == cursor)) proxy->setCursor(cursor);
  if (!(viewport()->cursor() == cursor)) viewport()->setCursor(cursor);
}

void ScaledView::closeEvent(QCloseEvent* event) {
  if (m_content.isVisible() && !m_content.close()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace pagemoor
