// Runs a window modally over its whole screen until it closes: the picture
// viewer, the credits roll and the magazine's other full-screen windows.
#pragma once

class QEventLoop;
class QWidget;

namespace pagemoor {

class ScaledView;

class FullScreenModal {
 public:
  // Lays the window out at the 800 x 600 design and shows it application-
  // modal through a ScaledView: scaled to the whole screen, or in a window of
  // the design size while the magazine is shown in a window. Returns when
  // quit() is called (from the window's close event); the view is gone then
  // and the window hidden and the caller's again. A second call while the
  // window is up returns at once.
  void exec(QWidget& window);
  void quit();
  bool running() const { return m_loop != nullptr; }
  // The view the window is shown in while running, else null.
  ScaledView* view() const { return m_view; }

 private:
  QEventLoop* m_loop = nullptr;
  ScaledView* m_view = nullptr;
};

}  // namespace pagemoor
