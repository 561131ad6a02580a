#include "pictures/PictureViewerWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/IniFile.h"
#include "pictures/ImageWidget.h"
#include "platform/AnswerQueue.h"
#include "platform/HeadlessPlatform.h"
#include "platform/ScriptedPlatform.h"
#include "platform/qt/ScaledView.h"
#include "support/FakePlatform.h"
#include "support/QtPump.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"
#include "support/ViewClicks.h"
#include "support/LogConsole.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::TempFolder;
using Strings = std::vector<std::string>;

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void click(QWidget* w, QPoint at = QPoint(1, 1), Qt::MouseButton button = Qt::LeftButton) {
  sendMouse(w, QEvent::MouseButtonPress, at, button, button);
  sendMouse(w, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}

QSize screenSize() {
  return QGuiApplication::primaryScreen()->geometry().size();
}

// Where CenterPicture puts a picture of this size: the middle of the 800 x 600
// design, whatever the real screen.
QPoint centred(QSize picture) {
  return QPoint(400 - picture.width() / 2, 300 - picture.height() / 2);
}

// A project in development mode, so the project folder is the test's folder.
class PictureViewerTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearIniCache(); }

  void writePicture(const std::string& name, QSize size, QColor color, const char* format = "PNG") {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    const std::string path = t.write("pictures/" + name, "");
    ASSERT_TRUE(image.save(QString::fromStdString(path), format));
  }

  // The picture on screen: its size and the colour of its first pixel.
  std::string onScreen() const {
    const ImageWidget* img = frm.imgBack();
    if (!img->hasPicture()) return "none";
    const QImage& p = img->picture();
    return std::to_string(p.width()) + "x" + std::to_string(p.height()) + " " +
           QColor(p.pixel(0, 0)).name().toStdString();
  }

  Strings listBox() const {
    Strings rows;
    for (int i = 0; i < frm.ListBox1()->count(); ++i)
      rows.push_back(frm.ListBox1()->item(i)->text().toStdString());
    return rows;
  }

  std::string caption() const { return frm.lblPopisek()->text().toStdString(); }

  TempFolder t;
  test::ScopedCommandLine m_commandLine{t.path() + "MAG.EXE", {"/develope"}};
  FakePlatform fake;
  ScopedPlatform usePlatform{fake};
  test::LogConsole console;
  TfrmPV frm{console.sink};
};

TEST_F(PictureViewerTest, WindowAndControls) {
  EXPECT_EQ(frm.objectName(), "frmPV");
  EXPECT_EQ(frm.modalName(), "frmPV");
  EXPECT_EQ(frm.modalCaption(), "Prohlížeč Obrázků");
  EXPECT_EQ(frm.toolTip(), "Click to continue ...");
  EXPECT_TRUE(frm.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(frm.palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_TRUE(frm.autoFillBackground());

  EXPECT_EQ(frm.imgBack()->objectName(), "imgBack");
  EXPECT_TRUE(frm.imgBack()->autoSize());
  EXPECT_EQ(frm.imgNoData()->objectName(), "imgNoData");
  EXPECT_TRUE(frm.imgNoData()->isHidden());
  EXPECT_EQ(frm.ListBox1()->objectName(), "ListBox1");
  EXPECT_TRUE(frm.ListBox1()->isHidden());

  const QLabel* label = frm.lblPopisek();
  EXPECT_EQ(label->objectName(), "lblPopisek");
  EXPECT_EQ(label->alignment(), Qt::AlignHCenter | Qt::AlignTop);
  EXPECT_FALSE(label->autoFillBackground());
  EXPECT_EQ(label->font().family(), "Arial");
  EXPECT_EQ(label->font().pixelSize(), 21);
  EXPECT_TRUE(label->font().bold());
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::yellow));
  // Laid out at the design size; the caption along the top edge, full width.
  EXPECT_EQ(frm.size(), QSize(800, 600));
  EXPECT_EQ(label->geometry().topLeft(), QPoint(0, 0));
  EXPECT_EQ(label->width(), 800);
  EXPECT_GT(label->height(), 21);
  frm.resize(640, 480);
  frm.show();
  EXPECT_EQ(label->width(), 640);
  frm.hide();
}

TEST_F(PictureViewerTest, NoDataPictureIsTheRedSignOnBlack) {
  const QImage p = frm.imgNoData()->picture().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(p.size(), QSize(320, 220));
  auto isRed = [&](int x, int y) {
    const QColor c(p.pixel(x, y));
    return c.red() > 180 && c.green() < 60 && c.blue() < 60;
  };
  auto isBlack = [&](int x, int y) {
    const QColor c(p.pixel(x, y));
    return c.red() < 40 && c.green() < 40 && c.blue() < 40;
  };
  EXPECT_TRUE(isRed(160, 84));     // the centre disc
  EXPECT_TRUE(isBlack(160, 100));  // the gap between the disc and the lower blade
  EXPECT_TRUE(isRed(160, 130));    // the lower blade
  EXPECT_TRUE(isBlack(160, 40));   // between the two upper blades
  for (QPoint corner : {QPoint(0, 0), QPoint(319, 0), QPoint(0, 219), QPoint(319, 219)})
    EXPECT_TRUE(isBlack(corner.x(), corner.y()));
  int redInText = 0;
  for (int y = 155; y < 210; ++y)
    for (int x = 0; x < 320; ++x) redInText += isRed(x, y);
  EXPECT_GT(redInText, 500);  // the words
}

TEST_F(PictureViewerTest, ShowRunsThroughTheWindow) {
  t.write("ini/main.ini", "[pictures]\r\na.png=První\r\nb.png=Druhý\r\n");
  t.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  t.write("sounds/click.wav", "RIFF");
  writePicture("a.png", QSize(40, 30), Qt::red);
  writePicture("B.PNG", QSize(61, 21), Qt::green);  // the command lower-cases the name
  writePicture("c.png", QSize(10, 10), Qt::blue);
  int sounds = 0;
  frm.setPlaySoundFile([&](const std::string&) { ++sounds; });

  Strings seen;
  fake.onModal = [&](ModalWindow& window) {
    EXPECT_EQ(&window, static_cast<ModalWindow*>(&frm));
    seen.push_back(onScreen() + " " + caption());
    EXPECT_EQ(frm.imgBack()->pos(), centred(QSize(40, 30)));
    EXPECT_EQ(listBox(), (Strings{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(frm.ListBox1()->currentRow(), 1);

    click(frm.imgBack());
    seen.push_back(onScreen() + " " + caption());
    EXPECT_EQ(frm.imgBack()->pos(), centred(QSize(61, 21)));
    EXPECT_EQ(frm.ListBox1()->currentRow(), 2);

    click(&frm, QPoint(2, 598));  // the window, away from the picture
    seen.push_back(onScreen() + " " + caption());
    return 0;
  };
  frm.cmdSlideShow(nullptr, "a.png|b.png|c.png");

  EXPECT_EQ(seen, (Strings{"40x30 #ff0000 První", "61x21 #00ff00 Druhý", "none "}));
  EXPECT_EQ(fake.callsOf("modal").size(), 1u);
  EXPECT_EQ(sounds, 2);
  EXPECT_TRUE(listBox().empty());
  EXPECT_EQ(console.Lines(), (Strings{"Slideshow: a.png|b.png|c.png", "imgBack: a.png", "imgBack: b.png"}));
}

TEST_F(PictureViewerTest, UpperCaseJpegExtensionIsDecodedAsJpeg) {
  writePicture("PHOTO.JPG", QSize(33, 17), Qt::white, "JPG");
  fake.onModal = [&](ModalWindow&) {
    EXPECT_EQ(frm.imgBack()->picture().size(), QSize(33, 17));
    EXPECT_EQ(frm.imgBack()->pos(), centred(QSize(33, 17)));
    return 0;
  };
  frm.cmdSlideShow(nullptr, "Photo.JPG|x");
  EXPECT_EQ(console.Lines(), (Strings{"Slideshow: photo.jpg|x", "imgBack: (JPG) photo.jpg"}));
}

TEST_F(PictureViewerTest, MissingPictureShowsTheNoDataPicture) {
  writePicture("a.png", QSize(40, 30), Qt::red);
  fake.onModal = [&](ModalWindow&) {
    click(frm.imgBack());
    EXPECT_TRUE(frm.imgBack()->picture() == frm.imgNoData()->picture());
    EXPECT_EQ(frm.imgBack()->pos(), centred(QSize(320, 220)));
    return 0;
  };
  frm.cmdSlideShow(nullptr, "a.png|gone.png|x");
  EXPECT_EQ(fake.callsOf("modal").size(), 1u);
}

// A file that is there but cannot be decoded counts as a missing one,
// whether it opens the show or comes with a click: the no-data picture under
// the picture's caption, and a line in the log that says why. A file that
// decodes shows, whatever its name says.
TEST_F(PictureViewerTest, UndecodablePictureShowsTheNoDataPictureAndTheLogSaysWhy) {
  writePicture("good.png", QSize(40, 30), Qt::red);
  writePicture("whole.jpg", QSize(64, 48), Qt::blue, "JPG");
  const std::string jpeg = t.read("pictures/whole.jpg");
  t.write("ini/main.ini", "[pictures]\r\nbad.jpg=Poškozený\r\nbad.png=Poškozený\r\nbad.gif=Poškozený\r\n");
  struct Case {
    const char* name;
    const char* file;
    std::function<void()> make;
    const char* seen;     // what the slide shows: "nodata" or the picture
    const char* logLine;  // the line that says why; null: none
  };
  const Case cases[] = {
      // Cut inside its header: no scan data to show at all.
      {"truncated JPEG", "bad.jpg", [&] { t.write("pictures/bad.jpg", jpeg.substr(0, 100)); }, "nodata",
       "imgBack: cannot show bad.jpg (JPEG: damaged or unsupported data)"},
      {"garbage bytes", "bad.png", [&] { t.write("pictures/bad.png", "this is no picture at all"); }, "nodata",
       "imgBack: cannot show bad.png (no reader knows this picture)"},
      {"empty file", "bad.gif", [&] { t.write("pictures/bad.gif", ""); }, "nodata",
       "imgBack: cannot show bad.gif (the file is empty)"},
      {"a PNG called .jpg", "bad.jpg", [&] { writePicture("bad.jpg", QSize(20, 10), Qt::green); },
       "20x10 #00ff00", nullptr},
  };
  for (const Case& c : cases) {
    for (const bool first : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (first ? ", first picture" : ", after a click"));
      c.make();
      const std::size_t mark = console.Lines().size();
      std::string seen;
      std::string captionSeen;
      fake.onModal = [&](ModalWindow&) {
        if (!first) click(frm.imgBack());
        const bool noData = frm.imgBack()->picture() == frm.imgNoData()->picture();
        seen = noData ? "nodata" : onScreen();
        captionSeen = caption();
        if (noData) {
          EXPECT_EQ(frm.imgBack()->pos(), centred(QSize(320, 220)));
        }
        return 0;
      };
      frm.cmdSlideShow(nullptr, first ? std::string(c.file) + "|good.png|x" : "good.png|" + std::string(c.file) + "|x");
      EXPECT_EQ(seen, c.seen);
      EXPECT_EQ(captionSeen, "Poškozený");
      Strings why;
      for (std::size_t i = mark; i < console.Lines().size(); ++i)
        if (console.Lines()[i].find("cannot show") != std::string::npos) why.push_back(console.Lines()[i]);
      EXPECT_EQ(why, c.logLine ? Strings{c.logLine} : Strings{});
    }
  }
}

TEST_F(PictureViewerTest, CenterPictureTakesIntegerHalvesOfTheDesignScreen) {
  // Odd sizes on both sides; neither the window's own size nor the real
  // screen's plays a part.
  frm.resize(300, 200);
  frm.imgBack()->setPicture(QImage(101, 51, QImage::Format_RGB32));
  frm.CenterPicture();
  EXPECT_EQ(frm.imgBack()->pos(), QPoint(400 - 50, 300 - 25));
}

TEST_F(PictureViewerTest, WindowClickIsALeftPressAndReleaseInside) {
  writePicture("a.png", QSize(40, 30), Qt::red);
  writePicture("b.png", QSize(20, 20), Qt::green);
  struct Case {
    const char* name;
    std::function<void()> gesture;
    bool advances;
  };
  const Case cases[] = {
      {"left click", [&] { click(&frm, QPoint(5, 5)); }, true},
      {"right click", [&] { click(&frm, QPoint(5, 5), Qt::RightButton); }, false},
      {"released outside",
       [&] {
         sendMouse(&frm, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
         sendMouse(&frm, QEvent::MouseButtonRelease, QPoint(-5, -5), Qt::LeftButton, Qt::NoButton);
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.onModal = [&](ModalWindow&) {
      frm.resize(200, 200);
      c.gesture();
      EXPECT_EQ(frm.ListBox1()->currentRow(), c.advances ? 2 : 1);
      return 0;
    };
    frm.cmdSlideShow(nullptr, "a.png|b.png|c.png");
  }
}

TEST_F(PictureViewerTest, HintFollowsTheWindow) {
  // Activation gives the window imgBack's hint...
  frm.imgBack()->setHint("Klikni pro pokračování");
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&frm, &activate);
  EXPECT_EQ(frm.toolTip(), "Klikni pro pokračování");

  // ...and moving over a control gives it the window's.
  frm.setToolTip("Dál");
  QWidget* targets[] = {frm.imgBack(), frm.imgNoData(), frm.ListBox1()->viewport()};
  for (QWidget* target : targets)
    sendMouse(target, QEvent::MouseMove, QPoint(1, 1), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(frm.imgBack()->hint(), "Dál");
  EXPECT_EQ(frm.imgNoData()->hint(), "Dál");
  EXPECT_EQ(frm.ListBox1()->toolTip(), "Dál");
}

TEST_F(PictureViewerTest, LinkCursorOverTheWindowAndItsControls) {
  frm.setLinkCursor(QCursor(Qt::PointingHandCursor));
  for (QWidget* w : {static_cast<QWidget*>(&frm), static_cast<QWidget*>(frm.imgBack()),
                     static_cast<QWidget*>(frm.imgNoData()), static_cast<QWidget*>(frm.ListBox1())}) {
    SCOPED_TRACE(w->objectName().toStdString());
    EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor);
  }
}

TEST_F(PictureViewerTest, ModalLoopEndsAtTheClosingClick) {
  writePicture("a.png", QSize(40, 30), Qt::red);
  writePicture("b.png", QSize(20, 20), Qt::green);
  Strings seen;
  bool scaledToTheScreen = false;
  fake.onModal = [&](ModalWindow& window) {
    // Clicks arrive on the screen once the window is up and its loop runs:
    // on the picture, then on the black around it.
    QMetaObject::invokeMethod(
        &frm,
        [&] {
          ScaledView* view = test::ViewOf(frm);
          if (!view) {
            ADD_FAILURE() << "the window is not shown through a scaled view";
            frm.close();
            return;
          }
          test::PumpUntil([&] { return view->size() == screenSize(); });
          const double scale = std::min(screenSize().width() / 800.0, screenSize().height() / 600.0);
          scaledToTheScreen = frm.isVisible() && view->isFullScreen() && view->size() == screenSize() &&
                              frm.size() == QSize(800, 600) && std::abs(view->scale() - scale) < 0.01;
          test::ClickDesignPoint(*view, QRectF(frm.imgBack()->geometry()).center());
          seen.push_back(onScreen());
          test::ClickDesignPoint(*view, QPointF(5, 595));
          seen.push_back(onScreen());
          if (frm.isVisible()) {
            ADD_FAILURE() << "the closing click did not close the window";
            frm.close();
          }
        },
        Qt::QueuedConnection);
    return window.execModal();
  };
  frm.cmdSlideShow(nullptr, "a.png|b.png|c.png");
  EXPECT_TRUE(scaledToTheScreen);
  EXPECT_EQ(seen, (Strings{"20x20 #00ff00", "none"}));
  EXPECT_FALSE(frm.isVisible());
}

// Escape on the screen ends the show as its closing click does, without the
// click's sound: the window goes and takes the list and the picture with it.
// Another key leaves the show up.
TEST_F(PictureViewerTest, EscapeEndsTheShowAsTheClosingClickDoes) {
  t.write("ini/main.ini", "[pictures]\r\na.png=První\r\n");
  t.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  t.write("sounds/click.wav", "RIFF");
  writePicture("a.png", QSize(40, 30), Qt::red);
  writePicture("b.png", QSize(20, 20), Qt::green);
  int sounds = 0;
  frm.setPlaySoundFile([&](const std::string&) { ++sounds; });
  bool upAfterOtherKey = false;
  fake.onModal = [&](ModalWindow& window) {
    QMetaObject::invokeMethod(
        &frm,
        [&] {
          ScaledView* view = test::ActiveViewOf(frm);
          if (!view) return;
          QTest::keyClick(view, Qt::Key_Space);
          upAfterOtherKey = frm.isVisible() && onScreen() == "40x30 #ff0000";
          QTest::keyClick(view, Qt::Key_Escape);
          if (frm.isVisible()) {
            ADD_FAILURE() << "Escape did not close the window";
            frm.close();
          }
        },
        Qt::QueuedConnection);
    return window.execModal();
  };
  frm.cmdSlideShow(nullptr, "a.png|b.png|c.png");
  EXPECT_TRUE(upAfterOtherKey);
  EXPECT_FALSE(frm.isVisible());
  EXPECT_EQ(onScreen(), "none");
  EXPECT_EQ(caption(), "");
  EXPECT_TRUE(listBox().empty());
  EXPECT_EQ(sounds, 0);
}

// Headless runs answer the window from the queue: "click" is one click.
TEST(PictureViewerScriptedTest, AnswersClickTheWindow) {
  struct Case {
    const char* answers;
    int position;       // after the show; -1: ended by its closing click
    Strings remaining;  // words left for whoever asks next
  };
  const Case cases[] = {
      {"", 1, {}},
      {"yes", 1, {"yes"}},
      {"close, yes", 1, {"yes"}},
      {"click, yes", 2, {"yes"}},
      {"click, close, yes", 2, {"yes"}},
      {"click, click, yes", -1, {"yes"}},
      {"click, click, click", -1, {"click"}},
  };
  TempFolder t;
  test::ScopedCommandLine commandLine{t.path() + "MAG.EXE", {"/develope"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    HeadlessPlatform headless;
    std::ostringstream err;
    ScriptedPlatform scripted(headless, AnswerQueue(c.answers), err);
    ScopedPlatform use(scripted);
    test::LogConsole console;
    TfrmPV frm(console.sink);
    frm.cmdSlideShow(nullptr, "a.png|b.png|c.png");
    EXPECT_EQ(err.str(), "[ui] modal: frmPV: Prohlížeč Obrázků\n");
    EXPECT_EQ(frm.slideshow().position(), c.position);
    Strings remaining;
    AnswerQueue& queue = *scripted.scriptedAnswers();
    while (!queue.empty()) remaining.push_back(queue.take().word);
    EXPECT_EQ(remaining, c.remaining);
  }
}

}  // namespace
}  // namespace pagemoor
