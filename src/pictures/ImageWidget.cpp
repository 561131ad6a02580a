#include "pictures/ImageWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"
#include "pictures/JpegDecoder.h"
#include "pictures/OtherPictures.h"

namespace pagemoor {

namespace {

QImage ToQImage(const RgbaImage& rgba) {
  if (rgba.empty()) return {};
  QImage image(rgba.pixels.data(), rgba.width, rgba.height, rgba.width * 4, QImage::Format_RGBA8888);
  // The decoder's buffer goes away with it; the control keeps its own copy,
  // premultiplied because that is what painting wants.
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::optional<std::string> ReadPictureFile(const std::string& path) {
  return ReadMagazineFile(HostPath(path), FileKind::Picture);
}

// A TGA file has no signature at its start; version 2 files end with one.
bool HasTgaFooter(std::string_view bytes) {
  constexpr std::string_view kFooter("TRUEVISION-XFILE.\0", 18);
  return bytes.size() >= 26 && bytes.substr(bytes.size() - kFooter.size()) == kFooter;
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
  if (!bytes || bytes->empty()) return {};
  const std::string ext = AsciiLower(ExtractFileExt(path));
  // The extension names the format the author meant; content decides when
  // it names none we know.
  if (ext == ".pcx") return ToQImage(DecodePcx(*bytes).value_or(RgbaImage()));
  if (ext == ".tga") return ToQImage(DecodeTga(*bytes).value_or(RgbaImage()));
  QImage image;
  if (image.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size())))
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (static_cast<unsigned char>((*bytes)[0]) == 0x0A) {
    if (auto pcx = DecodePcx(*bytes)) return ToQImage(*pcx);
  }
  if (HasTgaFooter(*bytes)) {
    if (auto tga = DecodeTga(*bytes)) return ToQImage(*tga);
  }
  return {};
}

void LoadPicture(const std::string& path, ImageWidget& image, LogSink& log) {
  const std::string ext = AsciiLower(ExtractFileExt(path));
  const std::string source = image.objectName().toStdString();
  if (ext == ".jpg" || ext == ".jpeg") {
    // Whatever goes wrong with a JPEG, the control keeps the picture it had.
    try {
      log.Log(source, "(JPG) " + ExtractFileName(path));
      const auto bytes = ReadPictureFile(path);
      if (!bytes) return;
      const auto decoded = DecodeJpeg(*bytes);
      if (!decoded) return;
      image.setPicture(ToQImage(*decoded));
    } catch (const std::exception&) {
    }
    return;
  }
  log.Log(source, ExtractFileName(path));
  image.setPicture(NViewLibLoad(path));
}

}  // namespace pagemoor
