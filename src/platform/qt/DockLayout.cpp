#include "platform/qt/DockLayout.h"

#include <QWidget>
#include <utility>

namespace pagemoor {

DockLayout::DockLayout(QWidget* parent) : QLayout(parent) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);
  // The default constraint would give a window the layout's minimum size.
  setSizeConstraint(QLayout::SetNoConstraint);
}

DockLayout::~DockLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

int DockLayout::find(const QWidget* widget) const {
  for (std::size_t i = 0; i < m_items.size(); ++i)
    if (widget && m_items[i].item->widget() == widget) return static_cast<int>(i);
  return -1;
}

void DockLayout::dock(QWidget* widget, DockSide side, const QRect& geometry) {
  if (!widget) return;
  const int index = find(widget);
  if (index < 0) {
    addChildWidget(widget);
    m_items.push_back({new QWidgetItem(widget), side, geometry});
  } else {
    m_items[static_cast<std::size_t>(index)].side = side;
    m_items[static_cast<std::size_t>(index)].requested = geometry;
  }
  // The layout passes over undocked controls, so this is the one time it
  // puts one.
  if (side == DockSide::None) widget->setGeometry(geometry);
  arrange();
}

DockSide DockLayout::side(const QWidget* widget) const {
  const int index = find(widget);
  return index < 0 ? DockSide::None : m_items[static_cast<std::size_t>(index)].side;
}

QRect DockLayout::requestedGeometry(const QWidget* widget) const {
  const int index = find(widget);
  return index < 0 ? QRect() : m_items[static_cast<std::size_t>(index)].requested;
}

void DockLayout::arrange() {
  // Qt lays a hidden window out only when it is shown; whoever docks a
  // control expects to see it in place at once.
  invalidate();
  activate();
}

void DockLayout::addItem(QLayoutItem* item) {
  m_items.push_back({item, DockSide::None, item->geometry()});
  invalidate();
}

int DockLayout::count() const {
  return static_cast<int>(m_items.size());
}

QLayoutItem* DockLayout::itemAt(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return m_items[static_cast<std::size_t>(index)].item;
}

QLayoutItem* DockLayout::takeAt(int index) {
  if (index < 0 || index >= count()) return nullptr;
  QLayoutItem* item = m_items[static_cast<std::size_t>(index)].item;
  m_items.erase(m_items.begin() + index);
  invalidate();
  return item;
}

void DockLayout::place(QLayoutItem* item, const QRect& where) {
  if (QWidget* widget = item->widget())
    widget->setGeometry(where);
  else
    item->setGeometry(where);
}

void DockLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  QRect free = rect;
  // Undocked controls are not in a pass: whoever put one there decides.
  for (DockSide pass : {DockSide::Top, DockSide::Bottom, DockSide::Left, DockSide::Right, DockSide::Client}) {
    for (const Docked& docked : m_items) {
      if (docked.side != pass) continue;
      const QRect want = docked.requested;
      const bool takesRoom = !docked.item->isEmpty();
      QRect where;
      switch (pass) {
        case DockSide::Top:
          where = QRect(free.left(), free.top(), free.width(), want.height());
          if (takesRoom) free.setTop(free.top() + want.height());
          break;
        case DockSide::Bottom:
          where = QRect(free.left(), free.bottom() + 1 - want.height(), free.width(), want.height());
          if (takesRoom) free.setBottom(free.bottom() - want.height());
          break;
        case DockSide::Left:
          where = QRect(free.left(), free.top(), want.width(), free.height());
          if (takesRoom) free.setLeft(free.left() + want.width());
          break;
        case DockSide::Right:
          where = QRect(free.right() + 1 - want.width(), free.top(), want.width(), free.height());
          if (takesRoom) free.setRight(free.right() - want.width());
          break;
        case DockSide::Client:
        case DockSide::None:
          where = free;
          break;
      }
      place(docked.item, where);
    }
  }
}

QSize DockLayout::sizeHint() const {
  int bandWidth = 0;
  int bandHeight = 0;
  QSize client(0, 0);
  QSize undocked(0, 0);
  for (const Docked& docked : m_items) {
    if (docked.item->isEmpty()) continue;
    switch (docked.side) {
      case DockSide::Top:
      case DockSide::Bottom:
        bandHeight += docked.requested.height();
        break;
      case DockSide::Left:
      case DockSide::Right:
        bandWidth += docked.requested.width();
        break;
      case DockSide::Client:
        client = client.expandedTo(docked.item->sizeHint());
        break;
      case DockSide::None: {
        const QRect at = docked.item->geometry();
        undocked = undocked.expandedTo(QSize(at.right() + 1, at.bottom() + 1));
        break;
      }
    }
  }
  return QSize(bandWidth + client.width(), bandHeight + client.height()).expandedTo(undocked);
}

QSize DockLayout::minimumSize() const {
  return QSize(0, 0);
}

Qt::Orientations DockLayout::expandingDirections() const {
  return Qt::Horizontal | Qt::Vertical;
}

}  // namespace pagemoor
