// Runs a window modally over its whole screen until it closes: the picture
// viewer, the credits roll and the magazine's other full-screen windows.
#pragma once

class QEventLoop;
class QWidget;

namespace pagemoor {

class FullScreenModal {
 public:
  // Shows the window application-modal and maximized, and returns when
  // quit() is called (from the window's close event). A second call while
  // the window is up returns at once.
  void exec(QWidget& window);
  void quit();
  bool running() const { return m_loop != nullptr; }

 private:
  QEventLoop* m_loop = nullptr;
};

}  // namespace pagemoor
