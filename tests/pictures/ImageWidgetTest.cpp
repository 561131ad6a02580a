#include "pictures/ImageWidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QMouseEvent>
#include <QPainter>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "support/LogConsole.h"
#include "support/TinyPictures.h"

namespace pagemoor {
namespace {

using test::TinyPcx;
using test::TinyTga;

const std::string kThirdPartyJpeg = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/jpeg/";

QByteArray Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

QImage Sample(int w, int h, QColor color) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(color);
  return image;
}

class ImageWidgetTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) { return folder.write(name, bytes); }
  std::string write(const std::string& name, const QByteArray& bytes) {
    return folder.write(name, bytes.toStdString());
  }

  void send(QEvent::Type type, QPoint at, Qt::MouseButton button) {
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, QPointF(at), QPointF(image.mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&image, &event);
  }

  test::TempFolder folder;
  test::LogConsole console;
  ImageWidget image;
};

TEST_F(ImageWidgetTest, OtherFormatsAreReadByContentOrByTheirExtension) {
  struct Case {
    const char* name;
    std::string bytes;
    QSize size;  // empty: no picture
  };
  const std::vector<Case> cases = {
      {"title.png", Encoded(Sample(5, 4, Qt::red), "PNG").toStdString(), QSize(5, 4)},
      {"title.bmp", Encoded(Sample(6, 3, Qt::blue), "BMP").toStdString(), QSize(6, 3)},
      {"upper.PNG", Encoded(Sample(2, 2, Qt::green), "PNG").toStdString(), QSize(2, 2)},
      // A PNG under the wrong name still shows: the content decides.
      {"named.gif", Encoded(Sample(3, 3, Qt::green), "PNG").toStdString(), QSize(3, 3)},
      {"back.pcx", TinyPcx(), QSize(2, 2)},
      {"back.tga", TinyTga(), QSize(2, 1)},
      {"noise.bmp", std::string("not a picture at all"), QSize()},
      {"empty.png", std::string(), QSize()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage loaded = NViewLibLoad(write(c.name, c.bytes));
    if (c.size.isValid())
      EXPECT_EQ(loaded.size(), c.size);
    else
      EXPECT_TRUE(loaded.isNull());
  }
  EXPECT_TRUE(NViewLibLoad(folder.path() + "missing.png").isNull());
}

TEST_F(ImageWidgetTest, PcxAndTgaPixelsComeThrough) {
  const QImage pcx = NViewLibLoad(write("pal.pcx", TinyPcx()));
  ASSERT_FALSE(pcx.isNull());
  EXPECT_EQ(pcx.pixelColor(0, 0), QColor(Qt::black));
  EXPECT_EQ(pcx.pixelColor(1, 0), QColor(Qt::red));
  const QImage tga = NViewLibLoad(write("two.tga", TinyTga()));
  ASSERT_FALSE(tga.isNull());
  EXPECT_EQ(tga.pixelColor(0, 0), QColor(Qt::blue));
  EXPECT_EQ(tga.pixelColor(1, 0), QColor(Qt::green));
}

TEST_F(ImageWidgetTest, LoadPictureLogsUnderTheControlsNameAndFindsTheFileWhateverItsCase) {
  image.setObjectName("imgDesktop");
  const std::string png = write("Title.PNG", Encoded(Sample(7, 5, Qt::red), "PNG"));
  LoadPicture(folder.path() + "title.png", image, console.sink);
  ASSERT_TRUE(image.hasPicture());
  EXPECT_EQ(image.picture().size(), QSize(7, 5));
  EXPECT_EQ(console.Lines().back(), "imgDesktop: title.png");

  // A file that cannot be read leaves no picture.
  LoadPicture(folder.path() + "gone.gif", image, console.sink);
  EXPECT_FALSE(image.hasPicture());
  EXPECT_EQ(console.Lines().back(), "imgDesktop: gone.gif");
}

TEST_F(ImageWidgetTest, LoadPictureDecodesJpegByExtensionAndKeepsThePictureWhenItFails) {
  image.setObjectName("imgBack");
  const std::string jpeg = folder.path() + "BACK.JPG";
  std::filesystem::copy_file(kThirdPartyJpeg + "baseline-valid.1.jpeg", jpeg);
  LoadPicture(jpeg, image, console.sink);
  ASSERT_TRUE(image.hasPicture());
  EXPECT_EQ(image.picture().size(), QSize(400, 400));
  EXPECT_EQ(console.Lines().back(), "imgBack: (JPG) BACK.JPG");

  // Broken and missing JPEGs are logged and change nothing.
  for (const std::string name : {"broken.jpeg", "missing.jpg"}) {
    SCOPED_TRACE(name);
    if (name == "broken.jpeg") write(name, std::string("\xFF\xD8\xFF\xE0 broken", 11));
    LoadPicture(folder.path() + name, image, console.sink);
    EXPECT_EQ(console.Lines().back(), "imgBack: (JPG) " + name);
    ASSERT_TRUE(image.hasPicture());
    EXPECT_EQ(image.picture().size(), QSize(400, 400));
  }
}

TEST_F(ImageWidgetTest, AutoSizeAndStretch) {
  image.resize(40, 30);
  image.setPicture(Sample(10, 8, Qt::red));
  EXPECT_EQ(image.size(), QSize(40, 30));  // no auto size: the control keeps its size

  image.setAutoSize(true);
  EXPECT_EQ(image.size(), QSize(10, 8));
  image.setPicture(Sample(12, 9, Qt::red));
  EXPECT_EQ(image.size(), QSize(12, 9));

  // Drawn at its own size, the picture covers the top left only; stretched,
  // it fills the control.
  image.setAutoSize(false);
  image.resize(24, 18);
  QImage drawn = image.grab().toImage();
  EXPECT_EQ(drawn.pixelColor(4, 4), QColor(Qt::red));
  EXPECT_NE(drawn.pixelColor(20, 15), QColor(Qt::red));
  image.setStretch(true);
  drawn = image.grab().toImage();
  EXPECT_EQ(drawn.pixelColor(20, 15), QColor(Qt::red));
}

TEST_F(ImageWidgetTest, MouseEventsComeAsPressClickRelease) {
  image.resize(20, 20);
  std::vector<std::string> events;
  image.OnMouseDown = [&](ImageWidget*, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
    events.push_back("down " + std::to_string(b == Qt::LeftButton) + " " + std::to_string(x) + "," +
                     std::to_string(y));
  };
  image.OnClick = [&](ImageWidget* sender) { events.push_back(sender == &image ? "click" : "click?"); };
  image.OnMouseUp = [&](ImageWidget*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    events.push_back("up " + std::to_string(x) + "," + std::to_string(y));
  };
  image.OnMouseMove = [&](ImageWidget*, Qt::KeyboardModifiers, int x, int y) {
    events.push_back("move " + std::to_string(x) + "," + std::to_string(y));
  };

  send(QEvent::MouseMove, QPoint(3, 4), Qt::NoButton);
  send(QEvent::MouseButtonPress, QPoint(5, 6), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, QPoint(5, 6), Qt::LeftButton);
  // Let go outside the control, or with another button: no click.
  send(QEvent::MouseButtonPress, QPoint(5, 6), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, QPoint(50, 6), Qt::LeftButton);
  send(QEvent::MouseButtonPress, QPoint(1, 1), Qt::RightButton);
  send(QEvent::MouseButtonRelease, QPoint(1, 1), Qt::RightButton);
  EXPECT_EQ(events, (std::vector<std::string>{"move 3,4", "down 1 5,6", "click", "up 5,6", "down 1 5,6",
                                              "up 50,6", "down 0 1,1", "up 1,1"}));
}

}  // namespace
}  // namespace pagemoor
