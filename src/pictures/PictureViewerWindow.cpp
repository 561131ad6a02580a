#include "pictures/PictureViewerWindow.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPalette>
#include <QResizeEvent>
#include <QShortcut>
#include <utility>

#include "common/HostPaths.h"
#include "pictures/ImageWidget.h"
#include "platform/AnswerQueue.h"
#include "platform/qt/QtText.h"
#include "platform/qt/ScaledView.h"

namespace pagemoor {

TfrmPV::TfrmPV(LogSink& log, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_log(log),
      m_slideshow(*this, log),
      m_imgBack(new ImageWidget(this)),
      m_lblPopisek(new QLabel(this)),
      m_imgNoData(new ImageWidget(this)),
      m_listBox(new QListWidget(this)) {
  setObjectName("frmPV");
  setWindowTitle(QString::fromUtf8("Prohlížeč Obrázků"));
  setToolTip("Click to continue ...");
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);

  m_imgBack->setObjectName("imgBack");
  m_imgBack->setAutoSize(true);
  // The window takes this hint whenever it is activated, so it is the
  // window's own; a localisation may change either.
  m_imgBack->setHint(toolTip());
  m_imgBack->OnClick = [this](ImageWidget*) { imgBackClick(); };

  m_lblPopisek->setObjectName("lblPopisek");
  m_lblPopisek->setTextFormat(Qt::PlainText);
  m_lblPopisek->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  m_lblPopisek->setAutoFillBackground(false);
  // The pixel size is the character height: the em without internal leading.
  QFont captionFont("Arial");
  captionFont.setPixelSize(21);
  captionFont.setBold(true);
  m_lblPopisek->setFont(captionFont);
  QPalette yellow = m_lblPopisek->palette();
  yellow.setColor(QPalette::WindowText, Qt::yellow);
  m_lblPopisek->setPalette(yellow);
  // The caption line lies over the top of the window; a click there is a
  // click on the window.
  m_lblPopisek->setAttribute(Qt::WA_TransparentForMouseEvents);

  m_imgNoData->setObjectName("imgNoData");
  m_imgNoData->setAutoSize(true);
  m_imgNoData->setPicture(QImage(kNoDataResource));
  m_imgNoData->hide();

  m_listBox->setObjectName("ListBox1");
  m_listBox->hide();

  for (QWidget* w :
       {static_cast<QWidget*>(m_imgBack), static_cast<QWidget*>(m_imgNoData), m_listBox->viewport()}) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }
  m_lblPopisek->raise();
  resize(kDesignSize);
  placeCaptionLine();

  // Escape ends the show as its closing click does. A window shortcut, since
  // nothing on this window takes the keyboard focus; it also reaches the
  // window inside the scaled view.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] { m_slideshow.endShow(); });
}

TfrmPV::~TfrmPV() = default;

void TfrmPV::cmdSlideShow(Sender sender, const std::string& params) {
  m_slideshow.cmdSlideShow(sender, params);
}

void TfrmPV::imgBackClick() {
  m_slideshow.imgBackClick();
}

void TfrmPV::setPlaySoundFile(std::function<void(const std::string& path)> play) {
  m_slideshow.PlaySoundFile = std::move(play);
}

void TfrmPV::setLinkCursor(const QCursor& cursor) {
  for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_imgBack),
                     static_cast<QWidget*>(m_imgNoData), static_cast<QWidget*>(m_listBox)})
    w->setCursor(cursor);
}

std::string TfrmPV::modalName() const {
  return objectName().toStdString();
}

std::string TfrmPV::modalCaption() const {
  return windowTitle().toStdString();
}

int TfrmPV::execModal() {
  if (m_modal.running()) return 0;  // already on screen
  m_showing = true;
  m_modal.exec(*this);
  m_showing = false;
  return 0;
}

int TfrmPV::runScripted(AnswerQueue& answers) {
  m_showing = true;
  while (m_showing && answers.front().is("click")) {
    answers.pop();
    imgBackClick();
  }
  if (m_showing && answers.front().is("close")) answers.pop();
  m_showing = false;
  return 0;
}

void TfrmPV::setCaptionLine(const std::string& text) {
  m_lblPopisek->setText(ToQt(text));
}

void TfrmPV::listChanged(const std::vector<std::string>& names) {
  m_listBox->clear();
  for (const std::string& name : names) m_listBox->addItem(ToQt(name));
}

void TfrmPV::positionChanged(int index) {
  m_listBox->setCurrentRow(index);
}

bool TfrmPV::ShowPicture(const std::string& path) {
  const bool shown = FileExists(path) && loadPicture(path);
  CenterPicture();
  return shown;
}

bool TfrmPV::loadPicture(const std::string& path) {
  const PictureLoad load = LoadPicture(path, *m_imgBack, m_log);
  // The show puts the no-data picture up; the log says what was wrong with
  // the file, which the screen cannot.
  if (!load.shown)
    m_log.Log(m_imgBack->objectName().toStdString(),
              "cannot show " + ExtractFileName(path) + " (" + load.reason + ")");
  return load.shown;
}

void TfrmPV::showNoData() {
  m_imgBack->setPicture(m_imgNoData->picture());
}

void TfrmPV::clearPicture() {
  m_imgBack->clearPicture();
}

void TfrmPV::CenterPicture() {
  // The screen is the 800 x 600 design the window is laid out at; the view
  // scales it to the real screen.
  m_imgBack->move(kDesignSize.width() / 2 - m_imgBack->width() / 2,
                  kDesignSize.height() / 2 - m_imgBack->height() / 2);
}

void TfrmPV::showModal() {
  platform().showModal(*this);
}

void TfrmPV::closeWindow() {
  m_showing = false;
  close();
}

bool TfrmPV::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) setToolTip(m_imgBack->hint());
  return QWidget::event(event);
}

bool TfrmPV::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == m_imgBack)
      m_imgBack->setHint(toolTip());
    else if (watched == m_imgNoData)
      m_imgNoData->setHint(toolTip());
    else if (watched == m_listBox->viewport())
      m_listBox->setToolTip(toolTip());
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmPV::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_leftPressed = true;
  QWidget::mousePressEvent(event);
}

void TfrmPV::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      event->button() == Qt::LeftButton && m_leftPressed && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) m_leftPressed = false;
  QWidget::mouseReleaseEvent(event);
  if (click) imgBackClick();
}

void TfrmPV::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeCaptionLine();
}

void TfrmPV::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  m_showing = false;
  m_modal.quit();
}

void TfrmPV::placeCaptionLine() {
  m_lblPopisek->setGeometry(0, 0, width(), QFontMetrics(m_lblPopisek->font()).height());
}

}  // namespace pagemoor
