// The image control of the magazine's windows: shows one picture, sizes itself
// to it or stretches it, has a hint and a cursor, and reports the mouse.
// LoadPicture fills it from a picture file.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

#include "common/LogSink.h"

namespace pagemoor {

class ImageWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ImageWidget(QWidget* parent = nullptr);

  // An empty image leaves the control without a picture.
  void setPicture(const QImage& image);
  void clearPicture();
  bool hasPicture() const { return !m_picture.isNull(); }
  const QImage& picture() const { return m_picture; }

  // Auto size: the control takes the picture's size whenever it gets one.
  void setAutoSize(bool on);
  bool autoSize() const { return m_autoSize; }
  // Stretch: the picture fills the control; otherwise it is drawn at its own
  // size from the top left corner.
  void setStretch(bool on);
  bool stretch() const { return m_stretch; }
  // Tooltip text; empty: none.
  void setHint(const QString& hint);
  QString hint() const { return toolTip(); }

  // Mouse events, positions in the control's pixels. A click is a press and a
  // release of the left button over the control; the handlers run in the
  // order press, click, release.
  using MouseHandler = std::function<void(ImageWidget* sender, Qt::MouseButton button,
                                          Qt::KeyboardModifiers modifiers, int x, int y)>;
  using MoveHandler =
      std::function<void(ImageWidget* sender, Qt::KeyboardModifiers modifiers, int x, int y)>;
  using ClickHandler = std::function<void(ImageWidget* sender)>;
  MouseHandler OnMouseDown;
  MouseHandler OnMouseUp;
  MoveHandler OnMouseMove;
  ClickHandler OnClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QImage m_picture;
  bool m_autoSize = false;
  bool m_stretch = false;
  bool m_leftPressed = false;
};

// Stands in for the outside picture library of the old system: a picture
// file into an image through DecodePicture (JPEG, GIF, PCX, TGA, cursors and
// what Qt's readers know). A null image for a file it cannot read.
QImage NViewLibLoad(const std::string& path);

// What LoadPicture made of a file: whether the control now shows the file's
// picture and, when not, why (the file could not be read, or what the
// decoder said), for a caller that shows something else instead.
struct PictureLoad {
  bool shown = false;
  std::string reason;
};

// Loads a picture file into the control through DecodePicture, logging it in
// the program's log under the control's object name: "(JPG) " + file name for
// a name ending in .jpg or .jpeg (a failure leaves the control as it was), the
// file name for anything else (a file that cannot be read leaves the control
// without a picture).
PictureLoad LoadPicture(const std::string& path, ImageWidget& image, LogSink& log);

}  // namespace pagemoor
