// Clicks and moves through a scaled view, as the mouse reaches a window
// presented in it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMouseEvent>

#include "platform/qt/ScaledView.h"
#include "support/QtPump.h"

namespace pagemoor::test {

// The view a window is presented in (while its modal loop runs), or null.
inline ScaledView* ViewOf(QWidget& window) {
  QGraphicsProxyWidget* proxy = window.graphicsProxyWidget();
  if (!proxy || !proxy->scene() || proxy->scene()->views().isEmpty()) return nullptr;
  return qobject_cast<ScaledView*>(proxy->scene()->views().front());
}

// The view a window is presented in, once it is the active window, as it is
// for a reader's keys; null (and the window closed, so that its modal loop
// ends) when it does not come up.
inline ScaledView* ActiveViewOf(QWidget& window) {
  ScaledView* view = ViewOf(window);
  if (!view || !PumpUntil([&] { return QApplication::activeWindow() == view; })) {
    ADD_FAILURE() << "the window is not up in an active scaled view";
    window.close();
    return nullptr;
  }
  return view;
}

// A left click at a point of the view's viewport.
inline void ClickViewport(QGraphicsView& view, QPointF p) {
  QWidget* port = view.viewport();
  QMouseEvent press(QEvent::MouseButtonPress, p, port->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(port, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, p, port->mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(port, &release);
}

// A left click on the screen where the design point `at` is shown.
inline void ClickDesignPoint(QGraphicsView& view, QPointF at) {
  ClickViewport(view, QPointF(view.mapFromScene(at)));
}

// The mouse moves, no button held, to a point of the view's viewport.
inline void MoveInViewport(QGraphicsView& view, QPointF p) {
  QWidget* port = view.viewport();
  QMouseEvent move(QEvent::MouseMove, p, port->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(port, &move);
}

// The mouse moves to where the design point `at` is shown.
inline void MoveToDesignPoint(QGraphicsView& view, QPointF at) {
  MoveInViewport(view, QPointF(view.mapFromScene(at)));
}

}  // namespace pagemoor::test
