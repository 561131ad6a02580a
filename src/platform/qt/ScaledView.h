// Presents one window laid out at the magazine's 800 x 600 design on the whole
// screen: scaled up (or down) to fill it with its aspect ratio kept, black bars
// at the sides. The window is drawn through the view's transform, so text is
// laid out at the design size and drawn sharp at the larger one, pictures are
// scaled smoothly, and mouse positions map back to design coordinates.
// Alt+Enter switches between full screen and a window of the design size.
// The view shows the cursor of the control under the mouse, also when that
// control changes it while the mouse rests (an animated cursor's frames, a
// pane's link cursor).
#pragma once

#include <QGraphicsView>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <optional>
#include <vector>

class QGraphicsProxyWidget;
class QGraphicsScene;

namespace pagemoor {

// The size every full-screen window of the magazine is laid out at.
inline constexpr QSize kDesignSize{800, 600};

// Whether the magazine is shown in a design-size window rather than full
// screen. Until something says otherwise it is what the --window option
// says; the reader's screen keeps it up to date, and Alt+Enter in any scaled
// window switches it for all of them, so the picture viewer or the credits
// come up the way the magazine is shown and leave it that way.
class ScreenMode : public QObject {
  Q_OBJECT

 public:
  static ScreenMode& instance();

  bool windowed() const;
  // Emits windowedChanged when the value changes.
  void setWindowed(bool windowed);
  // Back to what the command line says (the reader's screen is gone).
  void reset();

 signals:
  void windowedChanged(bool windowed);

 private:
  ScreenMode() = default;
  std::optional<bool> m_windowed;
};

class ScaledView : public QGraphicsView {
  Q_OBJECT

 public:
  // Takes the (parentless) window into its scene at the design size. The
  // window stays the caller's: the view gives it back when it goes.
  explicit ScaledView(QWidget& content);
  ~ScaledView() override;
  ScaledView(const ScaledView&) = delete;
  ScaledView& operator=(const ScaledView&) = delete;

  QWidget& content() const { return m_content; }

  // Full screen, or a window of the design size, as ScreenMode says.
  void present();
  virtual void presentFullScreen();
  // A window the size of the design.
  void presentWindowed();
  // Alt+Enter: switches this view and, through ScreenMode, every other
  // scaled window on screen.
  void toggleFullScreen();
  // The design's scale on the screen now.
  double scale() const;

  // Showing the view shows the window in it once the view is up.
  void setVisible(bool visible) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // The window inside decides whether it closes.
  void closeEvent(QCloseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showAs(bool windowed);
  void fit();
  // The control of a window in the scene under a point of the viewport (the
  // window itself where it has none), or null over the bars.
  QWidget* widgetAt(QPoint viewportPos) const;
  // Shows the control's cursor from now on, as it changes; null: none.
  void followCursorOf(QWidget* widget);
  void showFollowedCursor();

  QWidget& m_content;
  QGraphicsScene* m_scene;
  QGraphicsProxyWidget* m_proxy;
  // The control under the mouse, then its parents up to its window: a
  // control without a cursor of its own shows its parent's.
  std::vector<QPointer<QWidget>> m_underMouse;
  QMetaObject::Connection m_underMouseGone;
  QPoint m_mousePos;  // in the viewport, while the mouse is in the view
};

}  // namespace pagemoor
