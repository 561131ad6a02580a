// The message boxes and dialogs a magazine raises belong to it:
// - each has a parent, the window the reader works in, so that a window
//   manager keeps it above that window, also above a full-screen magazine;
// - it stands in the middle of the magazine's window;
// - where the magazine's 800 x 600 design is scaled up to a large screen, the
//   box is scaled by the same factor (its text, margins, icon and buttons), so
//   that it is not a tiny box next to a big page. Where the design fits the
//   screen unscaled, or is scaled down, boxes stay as they are.
#pragma once

#include <QPointer>
#include <QShowEvent>
#include <QTimer>
#include <QWidget>

class QDialog;

namespace pagemoor {

class ScaledView;

// The scaled window the magazine (or a full-screen window over it) is shown
// in: the active one, else the one shown last. Null when none is on screen.
ScaledView* MagazineView();

// The window a new box belongs to: the active window; without one (no window
// manager has given the focus yet) the magazine's, else a visible window of
// the program. Null when the program shows none. `box` itself never counts.
QWidget* BoxOwner(const QWidget* box = nullptr);

// The factor boxes and the console are drawn at: the magazine's scale, never
// below 1.
double BoxScale();

// Scales a box that was laid out at the normal size: its font, the margins
// and spacing of its layouts, its buttons and a message box's icon. The
// window's size follows on showing. Nothing happens for a factor up to 1.
void ScaleBox(QWidget& box, double factor);

// Centres a shown box on the magazine's window (on its owner's window, or on
// the screen, when no magazine is shown), kept inside the screen.
void CentreOnMagazine(QWidget& box);

// Makes a box the magazine's: parented to `owner` (BoxOwner() when null),
// application-modal, scaled by BoxScale().
void AdoptBox(QDialog& box, QWidget* owner = nullptr);

// A dialog that centres itself on the magazine when it shows. QMessageBox
// settles its size only in its own showEvent, so the centring comes after it.
// Once closed, its owner gets the keyboard back: without a window manager
// nobody else would give it.
template <class Dialog>
class MagazineBox : public Dialog {
 public:
  using Dialog::Dialog;

 protected:
  void showEvent(QShowEvent* event) override {
    Dialog::showEvent(event);
    CentreOnMagazine(*this);
    // A window manager focuses a new dialog itself; a bare X server leaves the
    // keyboard where it was, and Enter or Escape would never reach the box.
    this->activateWindow();
  }
  void hideEvent(QHideEvent* event) override {
    Dialog::hideEvent(event);
    QWidget* owner = this->parentWidget();
    if (!owner) return;
    // A window manager hands the focus on as the box goes, and may hand it to
    // another window (openbox never to a tool window such as the console);
    // asked once that is done, the owner takes it back.
    QTimer::singleShot(0, owner->window(), [window = QPointer<QWidget>(owner->window())] {
      if (window && window->isVisible()) window->activateWindow();
    });
  }
};

// Holds a box made on the heap with a parent: the parent may go while the
// box runs (a magazine's timer closes a window), and takes the box with it.
template <class Box>
class OwnedBox {
 public:
  explicit OwnedBox(Box* box) : m_box(box) {}
  ~OwnedBox() { delete m_box.data(); }
  OwnedBox(const OwnedBox&) = delete;
  OwnedBox& operator=(const OwnedBox&) = delete;

  Box* operator->() const { return m_box.data(); }
  Box& operator*() const { return *m_box; }
  // False once the box went with its parent.
  explicit operator bool() const { return !m_box.isNull(); }

 private:
  QPointer<Box> m_box;
};

}  // namespace pagemoor
