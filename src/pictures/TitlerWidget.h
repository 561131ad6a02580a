// TTitler: a panel that scrolls a list of lines upwards without end, moved on
// by its own timer. Each tick repaints the whole panel through an off-screen
// picture copied in one step, without erasing first, so the roll does not
// flicker. The arithmetic is TitlerScroll's.
#pragma once

#include <QColor>
#include <QFrame>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "pictures/TitlerScroll.h"

class QMouseEvent;
class QPainter;
class QPaintEvent;

namespace pagemoor {

class TTitler;

// Called with the off-screen canvas: OnPaintBefore after the background is
// filled and before the text, OnPaintAfter after the text.
using TTitlerPaintEvent = std::function<void(TTitler* Sender, QPainter& Canvas)>;

class TTitler : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kDefaultInterval = 50;

  // Black, lime text, centred, a single border, 50 x 50; the timer runs from
  // here on, visible or not.
  explicit TTitler(QWidget* parent = nullptr);

  const QStringList& Titles() const { return m_titles; }
  void setTitles(const QStringList& titles);  // a copy; repaints

  // Milliseconds between ticks.
  int Interval() const { return m_timer.interval(); }
  void setInterval(int milliseconds);
  bool timerRunning() const { return m_timer.isActive(); }

  // Pixels per tick; 0 or less, or the current value, is ignored.
  int Step() const { return m_scroll.Step(); }
  void setStep(int step);

  QColor color() const { return m_color; }
  void setColor(const QColor& color);
  QColor fontColor() const { return m_fontColor; }
  void setFontColor(const QColor& color);
  // Horizontal alignment of the lines: left, right or centred.
  Qt::Alignment alignment() const { return m_alignment; }
  void setAlignment(Qt::Alignment alignment);
  void setSingleBorder(bool on);

  // The scroll offset in pixels (0: the first line is about to enter at the
  // bottom edge).
  int offset() const { return m_scroll.offset(); }

  // One timer tick: the lines move up by Step, and the panel repaints.
  void tick();

  TTitlerPaintEvent OnPaintBefore;
  TTitlerPaintEvent OnPaintAfter;
  std::function<void(TTitler* Sender)> OnClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QStringList m_titles;
  TitlerScroll m_scroll;
  QTimer m_timer;
  QColor m_color = Qt::black;
  QColor m_fontColor = QColor(0, 255, 0);
  Qt::Alignment m_alignment = Qt::AlignHCenter;
  bool m_leftPressed = false;
};

}  // namespace pagemoor
