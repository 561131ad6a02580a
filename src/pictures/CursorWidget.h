// Cursor files as Qt cursors: one QCursor per frame of a .cur or .ani, and
// the timer that plays an animated one on the widgets it is attached to.
#pragma once

#include <QCursor>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pictures/CursorFile.h"

class QTimer;

namespace pagemoor {

// A picture as a pixmap cursor with its hot spot. Pictures stored as PNG are
// decoded here, where Qt can. Nothing when the picture is unusable.
std::optional<QCursor> CursorFromImage(const CursorImage& image);

class AnimatedCursor : public QObject {
  Q_OBJECT

 public:
  // An invalid cursor; current() is the arrow.
  explicit AnimatedCursor(QObject* parent = nullptr);
  // Invalid when a frame cannot become a cursor.
  explicit AnimatedCursor(const CursorAnimation& animation, QObject* parent = nullptr);
  ~AnimatedCursor() override;

  // Nothing-failing readers: the result is invalid when the file is missing
  // or is no cursor.
  static std::unique_ptr<AnimatedCursor> fromFile(const std::string& hostPath, QObject* parent = nullptr);
  static std::unique_ptr<AnimatedCursor> fromBytes(std::string_view bytes, QObject* parent = nullptr);

  bool isValid() const { return !m_frames.empty(); }
  bool isAnimated() const { return m_steps.size() > 1; }
  int frameCount() const { return static_cast<int>(m_frames.size()); }
  int stepCount() const { return static_cast<int>(m_steps.size()); }
  int currentStep() const { return m_step; }
  int currentFrame() const;
  // How long the current step stays on screen (0 for a still cursor).
  int currentDelayMs() const;
  QCursor current() const;
  QCursor frameCursor(int frame) const;

  // An attached widget shows the current frame and follows the animation. A
  // widget follows one animated cursor at a time: attaching it here takes it
  // away from any other. Widgets that are destroyed are forgotten, and so is a
  // widget whose cursor was set otherwise (a shape, unset) since the last
  // step: the newest setCursor wins, as anywhere else.
  void attach(QWidget* widget);
  // Stops updating the widget; its cursor stays as it is.
  void detach(QWidget* widget);
  // Takes the widget away from whichever animated cursor it follows.
  static void detachFromAny(QWidget* widget);
  int attachedCount() const;
  // True while the timer runs: animated and attached to a live widget.
  bool isRunning() const;

  // Shows the next step on every attached widget. The timer calls it; tests
  // call it to advance without waiting.
  void tick();
  // Back to the first step.
  void rewind();

 signals:
  void stepChanged(int step);

 private:
  void applyToAll();
  void forgetDestroyed();
  void forgetOverridden();
  void updateTimer();

  std::vector<QCursor> m_frames;
  std::vector<CursorAnimation::Step> m_steps;
  int m_step = 0;
  std::vector<QPointer<QWidget>> m_widgets;
  QTimer* m_timer = nullptr;
};

// One of the viewer's numbered cursors: a system shape or a cursor file.
// Copies share the file's animation.
class CursorSlot {
 public:
  CursorSlot() = default;  // the arrow
  explicit CursorSlot(Qt::CursorShape shape) : m_shape(shape) {}
  explicit CursorSlot(std::shared_ptr<AnimatedCursor> file) : m_file(std::move(file)) {}

  bool isFile() const { return m_file != nullptr; }
  Qt::CursorShape shape() const { return m_shape; }
  AnimatedCursor* file() const { return m_file.get(); }
  // What a widget showing this slot shows right now.
  QCursor cursor() const;
  // Puts the slot's cursor on the widget, taking the widget away from any
  // animation it followed before.
  void applyTo(QWidget* widget) const;

 private:
  Qt::CursorShape m_shape = Qt::ArrowCursor;
  std::shared_ptr<AnimatedCursor> m_file;
};

}  // namespace pagemoor
