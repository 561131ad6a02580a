// Docks a window's controls to its edges the way the magazine's window was
// designed: each docked control takes a band of what is left of the client
// area, top bands first, then bottom, left and right ones, each kind in the
// order the controls were added; client controls fill what remains, and
// controls docked nowhere keep the geometry last set on them: the layout
// never moves them, so a control placed by hand stays where it was put.
//
//   auto* dock = new DockLayout(window);
//   dock->dock(title, DockSide::Top, QRect(0, 0, 800, 32));   // 32 high, full width
//   dock->dock(desktop, DockSide::Client);                     // the rest
//   dock->dock(pane, DockSide::None, QRect(10, 40, 300, 200)); // just there
//
// A hidden control takes no room, but it is still put where its band would
// be, so it appears in place when shown. Showing, hiding, adding or resizing
// lays the window out again (Qt does it when the window is visible; a
// change through this class does it at once, shown or not).
#pragma once

#include <QLayout>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace pagemoor {

enum class DockSide { None, Top, Bottom, Left, Right, Client };

class DockLayout : public QLayout {
 public:
  // Lays out `parent` (null: set it on a widget later). No margins, no
  // spacing, and no size constraint on the window: the design decides its
  // size, not its controls.
  explicit DockLayout(QWidget* parent = nullptr);
  ~DockLayout() override;
  DockLayout(const DockLayout&) = delete;
  DockLayout& operator=(const DockLayout&) = delete;

  // Docks the widget at `side`. `geometry` is its band's thickness (its
  // height at the top or bottom, its width at the left or right) or, docked
  // nowhere, the place it is put at now; a client widget ignores it. A
  // widget already in the layout keeps its place in the order. Lays out at
  // once.
  void dock(QWidget* widget, DockSide side, const QRect& geometry = QRect());
  // Where the widget is docked: None also when it is not in this layout.
  DockSide side(const QWidget* widget) const;
  // The geometry last given for the widget (empty when it is not in this layout).
  QRect requestedGeometry(const QWidget* widget) const;
  // Lays the items out in the parent's rectangle now, also while it is hidden.
  void arrange();

  // --- QLayout ---
  // A plain added item is docked nowhere: it stays where it is.
  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  void setGeometry(const QRect& rect) override;
  // Room for every shown band at its thickness around the largest client
  // hint, and for the undocked items where they stand.
  QSize sizeHint() const override;
  // The bands may be squeezed to nothing, so no minimum.
  QSize minimumSize() const override;
  Qt::Orientations expandingDirections() const override;

 private:
  struct Docked {
    QLayoutItem* item;
    DockSide side;
    QRect requested;
  };

  // The widget's entry, or -1.
  int find(const QWidget* widget) const;
  // Puts the item at `place`: a widget exactly there (hidden or not), as the
  // design gives sizes that need no adjusting to the widget's hints.
  static void place(QLayoutItem* item, const QRect& place);

  std::vector<Docked> m_items;
};

}  // namespace pagemoor
