#include "app/ThinkingBoxWindow.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include "common/Strings.h"

namespace pagemoor {

namespace {

constexpr int kBarPanelHeight = 24;
// The margins the size rule adds around the text.
constexpr int kExtraWidth = 12;
constexpr int kExtraHeight = 6;

// A fixed-pitch face every desktop here has; the size rule counts characters,
// so the face must have one advance for all of them.
QFont ThinkingFont() {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(12);
  return font;
}

void MakeLoweredPanel(QFrame* panel) {
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  panel->setLineWidth(1);
}

}  // namespace

TThinking_box::TThinking_box(QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_thinkMsg(new QLabel(this)),
      m_barPanel(new QFrame(this)),
      m_bar(new QProgressBar(m_barPanel)) {
  setObjectName(QStringLiteral("Thinking_box"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(kDesignWidth, kDesignHeight);

  // Button-face background and black text, also while disabled: the box
  // takes no input but must not look greyed out.
  QPalette colours = palette();
  const QColor face = colours.color(QPalette::Active, QPalette::Button);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colours.setColor(group, QPalette::Window, face);
    colours.setColor(group, QPalette::WindowText, Qt::black);
    colours.setColor(group, QPalette::Text, Qt::black);
  }
  setPalette(colours);
  setAutoFillBackground(true);
  setFont(ThinkingFont());

  m_thinkMsg->setObjectName(QStringLiteral("think_msg"));
  MakeLoweredPanel(m_thinkMsg);
  m_thinkMsg->setAlignment(Qt::AlignCenter);
  m_thinkMsg->setTextFormat(Qt::PlainText);
  m_thinkMsg->setText(QStringLiteral("You should not see this"));
  m_thinkMsg->setMinimumSize(0, 0);
  m_thinkMsg->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

  m_barPanel->setObjectName(QStringLiteral("barpanel"));
  MakeLoweredPanel(m_barPanel);
  m_barPanel->setFixedHeight(kBarPanelHeight);
  m_bar->setObjectName(QStringLiteral("bar"));
  m_bar->setGeometry(61, 6, 150, 13);
  m_bar->setRange(0, 100);
  m_bar->setTextVisible(false);
  m_barPanel->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_thinkMsg, 1);
  layout->addWidget(m_barPanel);
  // The size rule decides the size, not the layout's minimum.
  layout->setSizeConstraint(QLayout::SetNoConstraint);

  const QFontMetrics metrics(m_thinkMsg->font());
  m_cw = metrics.horizontalAdvance(QLatin1Char('8'));
  m_ch = metrics.height();

  setEnabled(false);
}

TThinking_box::~TThinking_box() = default;

QRect TThinking_box::thinkingGeometry(const QWidget* anchor, const std::string& text) const {
  const int width = static_cast<int>(CharCount(text)) * m_cw + kExtraWidth;
  const int height = m_ch + kExtraHeight;
  int x = 0;
  int y = 0;
  if (anchor) {
    // C++ division truncates toward zero, as the rule asks.
    const QPoint origin = anchor->mapToGlobal(QPoint(0, 0));
    x = (anchor->width() - width) / 2 + origin.x();
    y = (anchor->height() - height) / 2 + origin.y();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    x = (area.width() - width) / 2 + area.x();
    y = (area.height() - height) / 2 + area.y();
  }
  return QRect(x, y, width, height);
}

void TThinking_box::ShowThinking(QWidget* anchor, const std::string& text) {
  const QRect box = thinkingGeometry(anchor, text);
  m_barPanel->hide();
  setGeometry(box);
  m_thinkMsg->setText(QString::fromStdString(text));
  show();
  raise();
  repaint();
  m_shown = true;
}

void TThinking_box::HideThinking() {
  hide();
  m_barPanel->hide();
  m_shown = false;
}

}  // namespace pagemoor
