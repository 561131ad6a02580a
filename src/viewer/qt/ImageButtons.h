// The image buttons' controls on the magazine window: created from the
// session's records, numbered from 1, and taken away again.
//
// A button's command may destroy every button, the clicked one included
// ("reset_buttons" on a button). The clicked control is still inside its own
// mouse handler then, so controls are never deleted at once: destroy() takes
// them out of the list, hides them and leaves the deleting to the event loop.
// A control no longer in the list has number 0.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "viewer/ButtonRecords.h"

class QWidget;

namespace pagemoor {

class CursorSlot;
class GifImageWidget;

class ImageButtons {
 public:
  enum class Event { Move, Down, Click, Up };
  // What a control's mouse did; the control is null once it has been deleted.
  using Handler = std::function<void(Event event, GifImageWidget* control)>;
  using CursorOf = std::function<CursorSlot(int slot)>;

  // parent: the window; under: the control the buttons stay beneath.
  ImageButtons(QWidget* parent, QWidget* under, CursorOf cursorOf, Handler handler);

  void create(const std::vector<ButtonRecord>& records);
  void destroy();
  int count() const { return static_cast<int>(m_controls.size()); }
  // Button n, 1-based; null outside 1 ... count().
  GifImageWidget* control(int n) const;
  int numberOf(const GifImageWidget* control) const;

 private:
  QWidget* m_parent;
  QWidget* m_under;
  CursorOf m_cursorOf;
  Handler m_handler;
  std::vector<GifImageWidget*> m_controls;
};

}  // namespace pagemoor
