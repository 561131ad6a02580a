// Presents the viewer's 800 x 600 design on the whole screen: scaled up (or
// down) to fill it with its aspect ratio kept, black bars at the sides. The
// widgets are drawn through the view's transform, so text is laid out at the
// design size and drawn sharp at the larger one, and mouse positions map back
// to design coordinates. Alt+Enter switches between full screen and a window.
#pragma once

#include <QGraphicsView>

class QGraphicsProxyWidget;
class QGraphicsScene;

namespace pagemoor {

class TfrmMain;

class ScaledScreen : public QGraphicsView {
  Q_OBJECT

 public:
  // Takes the (parentless) window into its scene and tells it so.
  explicit ScaledScreen(TfrmMain& window);
  ~ScaledScreen() override;
  ScaledScreen(const ScaledScreen&) = delete;
  ScaledScreen& operator=(const ScaledScreen&) = delete;

  // Full screen, unless the program was started with --window.
  void presentFullScreen();
  // A window the size of the design.
  void presentWindowed();
  void toggleFullScreen();
  // The design's scale on the screen now.
  double scale() const;

  // Showing the screen shows the magazine in it once the screen is up (its
  // first showing starts it, and that may take the screen full screen).
  void setVisible(bool visible) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void fit();
  void goFullScreen();

  TfrmMain& m_window;
  QGraphicsScene* m_scene;
  QGraphicsProxyWidget* m_proxy;
  bool m_windowOnly;
};

}  // namespace pagemoor
