#include "pictures/ImageWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <exception>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"
#include "pictures/PictureDecoder.h"
#include "pictures/qt/QtPictures.h"

namespace pagemoor {

namespace {

std::optional<std::string> ReadPictureFile(const std::string& path) {
  return ReadMagazineFile(HostPath(path), FileKind::Picture);
}

}  // namespace

ImageWidget::ImageWidget(QWidget* parent) : QWidget(parent) {
  // Moving over the picture is reported without a button held, as image
  // buttons light up under the mouse.
  setMouseTracking(true);
}

void ImageWidget::setPicture(const QImage& image) {
  m_picture = image;
  if (m_autoSize && !m_picture.isNull()) resize(m_picture.size());
  update();
}

void ImageWidget::clearPicture() {
  m_picture = QImage();
  update();
}

void ImageWidget::setAutoSize(bool on) {
  m_autoSize = on;
  if (m_autoSize && !m_picture.isNull()) resize(m_picture.size());
}

void ImageWidget::setStretch(bool on) {
  if (m_stretch == on) return;
  m_stretch = on;
  update();
}

void ImageWidget::setHint(const QString& hint) {
  setToolTip(hint);
}

void ImageWidget::paintEvent(QPaintEvent*) {
  if (m_picture.isNull()) return;
  QPainter painter(this);
  if (m_stretch) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_picture);
  } else {
    painter.drawImage(QPoint(0, 0), m_picture);
  }
}

void ImageWidget::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton) m_leftPressed = true;
  if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
  event->accept();
}

void ImageWidget::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  // A click is a left press and release over the control; it comes before
  // the release, as the old windows raised them. The handlers may delete
  // other controls but not this one while it is being clicked.
  const bool clicked = event->button() == Qt::LeftButton && m_leftPressed && rect().contains(at);
  if (event->button() == Qt::LeftButton) m_leftPressed = false;
  if (clicked && OnClick) OnClick(this);
  if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
  event->accept();
}

void ImageWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(this, event->modifiers(), at.x(), at.y());
  event->accept();
}

QImage NViewLibLoad(const std::string& path) {
  const auto bytes = ReadPictureFile(path);
  if (!bytes) return {};
  return DecodePictureImage(*bytes, path);
}

PictureLoad LoadPicture(const std::string& path, ImageWidget& image, LogSink& log) {
  const std::string ext = AsciiLower(ExtractFileExt(path));
  const bool jpeg = ext == ".jpg" || ext == ".jpeg";
  const std::string source = image.objectName().toStdString();
  PictureLoad load;
  QImage decoded;
  // Whatever goes wrong, the caller hears why instead of the exception.
  try {
    log.Log(source, jpeg ? "(JPG) " + ExtractFileName(path) : ExtractFileName(path));
    if (const auto bytes = ReadPictureFile(path); !bytes) {
      load.reason = "the file cannot be read";
    } else if (const PictureResult result = DecodePicture(*bytes, path); !result) {
      load.reason = result.error();
    } else {
      decoded = ToQImage(result.picture().image);
      load.shown = !decoded.isNull();
      if (!load.shown) load.reason = result.picture().format + ": an empty picture";
    }
  } catch (const std::exception& e) {
    load.reason = e.what();
  }
  // A JPEG that fails keeps the control's picture; anything else leaves it
  // without one.
  if (load.shown || !jpeg) image.setPicture(decoded);
  return load;
}

}  // namespace pagemoor
