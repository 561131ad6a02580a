#include "pictures/CreditsWindow.h"

#include <QCloseEvent>
#include <QFont>
#include <QKeySequence>
#include <QPalette>
#include <QShortcut>
#include <QShowEvent>
#include <QStringList>
#include <QVBoxLayout>
#include <optional>

#include "common/HostPaths.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "pictures/TitlerWidget.h"
#include "platform/AnswerQueue.h"
#include "platform/qt/ScaledView.h"

namespace pagemoor {

TfrmCredits::TfrmCredits(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_titler(new TTitler(this)) {
  setObjectName("frmCredits");
  setWindowTitle("Titulky");
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);

  m_titler->setObjectName("Titler1");
  m_titler->setColor(Qt::black);
  m_titler->setSingleBorder(true);
  QFont font("Arial");
  font.setPixelSize(15);
  m_titler->setFont(font);
  m_titler->setFontColor(QColor(0, 255, 0));
  m_titler->OnClick = [this](TTitler*) { Titler1Click(); };

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_titler);
  resize(kDesignSize);

  // Escape closes the roll as a click on it does. A window shortcut: the
  // roll takes no keyboard focus, and it also reaches the window inside the
  // scaled view.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] { Titler1Click(); });
}

TfrmCredits::~TfrmCredits() = default;

void TfrmCredits::FormShow() {
  if (const std::optional<std::string> text = ReadTextFile(MagazineFolder().ini("credits.ini"))) {
    QStringList lines;
    for (const std::string& line : SplitLines(*text)) lines.append(QString::fromStdString(line));
    m_titler->setTitles(lines);
  }
  m_titler->setEnabled(true);
}

void TfrmCredits::Titler1Click() {
  close();
}

std::string TfrmCredits::modalName() const {
  return objectName().toStdString();
}

std::string TfrmCredits::modalCaption() const {
  return windowTitle().toStdString();
}

int TfrmCredits::execModal() {
  m_modal.exec(*this);
  return 0;
}

int TfrmCredits::runScripted(AnswerQueue& answers) {
  FormShow();
  if (answers.front().is("click")) answers.pop();
  return 0;
}

void TfrmCredits::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Not for the window system's own showings (restoring from minimized).
  if (!event->spontaneous()) FormShow();
}

void TfrmCredits::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  m_modal.quit();
}

}  // namespace pagemoor
