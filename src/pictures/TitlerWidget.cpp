#include "pictures/TitlerWidget.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPalette>
#include <QPixmap>

namespace pagemoor {

TTitler::TTitler(QWidget* parent) : QFrame(parent) {
  // Every pixel is painted from the off-screen picture: erasing first would
  // only make the roll flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The border is drawn in the window frame colour, not the text colour.
  QPalette frame = palette();
  frame.setColor(QPalette::WindowText, Qt::black);
  setPalette(frame);
  setSingleBorder(true);
  resize(50, 50);
  m_timer.setInterval(kDefaultInterval);
  connect(&m_timer, &QTimer::timeout, this, &TTitler::tick);
  m_timer.start();
}

void TTitler::setTitles(const QStringList& titles) {
  m_titles = titles;
  update();
}

void TTitler::setInterval(int milliseconds) {
  m_timer.setInterval(milliseconds);
}

void TTitler::setStep(int step) {
  if (m_scroll.setStep(step)) update();
}

void TTitler::setColor(const QColor& color) {
  m_color = color;
  update();
}

void TTitler::setFontColor(const QColor& color) {
  m_fontColor = color;
  update();
}

void TTitler::setAlignment(Qt::Alignment alignment) {
  m_alignment = alignment & Qt::AlignHorizontal_Mask;
  update();
}

void TTitler::setSingleBorder(bool on) {
  setFrameStyle(on ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
  setLineWidth(1);
  update();
}

void TTitler::tick() {
  m_scroll.tick();
  update();
}

void TTitler::paintEvent(QPaintEvent*) {
  const QRect client = contentsRect();
  const QRect R(0, 0, client.width(), client.height());
  const qreal dpr = devicePixelRatioF();
  QPixmap bitmap(QSize(R.width() + 1, R.height() + 1) * dpr);
  bitmap.setDevicePixelRatio(dpr);
  {
    QPainter canvas(&bitmap);
    canvas.fillRect(R, m_color);
    canvas.setBackground(m_color);

    const Qt::BGMode savedMode = canvas.backgroundMode();
    if (OnPaintBefore) {
      OnPaintBefore(this, canvas);
      canvas.setBackgroundMode(Qt::TransparentMode);
    } else {
      canvas.setBackgroundMode(Qt::OpaqueMode);
    }

    canvas.setFont(font());
    canvas.setPen(m_fontColor);
    const int h = canvas.fontMetrics().height();
    const int offset = m_scroll.restartIfPast(h, static_cast<int>(m_titles.size()), height());
    const TitlerRect t = TitlerScroll::textRect(width(), height(), R.bottom() + 1, offset);
    const QRect text(QPoint(t.left, t.top), QPoint(t.right - 1, t.bottom - 1));

    // The lines one under another, h apart, so that the block is exactly as
    // tall as the restart rule reckons; only the lines in sight are drawn.
    if (text.isValid()) {
      canvas.save();
      canvas.setClipRect(text);
      const int flags = static_cast<int>(m_alignment) | Qt::AlignTop | Qt::TextExpandTabs;
      for (qsizetype i = 0; i < m_titles.size(); ++i) {
        const long long y = static_cast<long long>(t.top) + static_cast<long long>(i) * h;
        if (y + h <= text.top()) continue;
        if (y > text.bottom()) break;
        canvas.drawText(QRect(text.left(), static_cast<int>(y), text.width(), h), flags, m_titles[i]);
      }
      canvas.restore();
    }

    canvas.setBackgroundMode(savedMode);
    if (OnPaintAfter) OnPaintAfter(this, canvas);
  }
  QPainter painter(this);
  drawFrame(&painter);
  painter.drawPixmap(client.topLeft(), bitmap, QRectF(QPointF(0, 0), QSizeF(client.size()) * dpr));
}

void TTitler::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_leftPressed = true;
  QFrame::mousePressEvent(event);
}

void TTitler::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = event->button() == Qt::LeftButton && m_leftPressed && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) m_leftPressed = false;
  QFrame::mouseReleaseEvent(event);
  if (click && OnClick) OnClick(this);
}

}  // namespace pagemoor
