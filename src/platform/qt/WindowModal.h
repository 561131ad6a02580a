// Runs a window of normal size modally until it closes: the installer, the
// mailer and the launcher. The window asks quit() from its close handling.
#pragma once

#include <functional>

class QEventLoop;
class QWidget;

namespace pagemoor {

class WindowModal {
 public:
  // Shows the window application-modal (hidden first: modality changes only
  // while a window is hidden), runs `beforeShow` just before it appears, and
  // returns when quit() is called or the window is hidden; the window is then
  // hidden and no longer modal. False at once when the window is already up.
  bool exec(QWidget& window, const std::function<void()>& beforeShow = {});
  void quit();
  bool running() const { return m_loop != nullptr; }

 private:
  QEventLoop* m_loop = nullptr;
};

}  // namespace pagemoor
