#include "platform/qt/Controls.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace pagemoor {

void SetUpBlackToolWindow(QWidget* window, int clientWidth, int clientHeight) {
  window->setAttribute(Qt::WA_QuitOnClose, false);
  window->setFixedSize(clientWidth, clientHeight);
  QPalette black = window->palette();
  black.setColor(QPalette::Window, Qt::black);
  window->setPalette(black);
  window->setAutoFillBackground(true);
}

QFont ArialFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

void SetTextColor(QWidget* widget, const QColor& color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::WindowText, color);
  p.setColor(QPalette::ButtonText, color);
  widget->setPalette(p);
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const QString& text,
                  const QColor& color, const std::optional<QFont>& font) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  if (font) label->setFont(*font);
  SetTextColor(label, color);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QPushButton* MakeFlatButton(QWidget* parent, const char* name, const QString& caption, QRect geometry,
                            const QColor& color) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setFlat(true);
  button->setFont(ArialFont(16, true));
  SetTextColor(button, color);
  button->setGeometry(geometry);
  return button;
}

}  // namespace pagemoor
