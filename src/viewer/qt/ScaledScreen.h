// The reader's screen: the viewer's 800 x 600 design presented full screen
// through a ScaledView (scaled to fit with its aspect ratio kept, black bars
// at the sides, Alt+Enter switching to a window and back).
#pragma once

#include "platform/qt/ScaledView.h"

namespace pagemoor {

class TfrmMain;

class ScaledScreen : public ScaledView {
  Q_OBJECT

 public:
  // Takes the (parentless) window into its scene and tells it so.
  explicit ScaledScreen(TfrmMain& window);
  ~ScaledScreen() override;
  ScaledScreen(const ScaledScreen&) = delete;
  ScaledScreen& operator=(const ScaledScreen&) = delete;

  // Full screen, unless the program was started with --window.
  void presentFullScreen() override;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  TfrmMain& m_window;
  bool m_windowOnly;
};

}  // namespace pagemoor
