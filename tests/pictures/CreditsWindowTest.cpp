#include "pictures/CreditsWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QFontMetrics>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "pictures/TitlerWidget.h"
#include "platform/AnswerQueue.h"
#include "platform/HeadlessPlatform.h"
#include "platform/ScriptedPlatform.h"
#include "platform/qt/ScaledView.h"
#include "support/QtPump.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"
#include "support/ViewClicks.h"

namespace pagemoor {
namespace {

using test::TempFolder;

void click(QWidget* w) {
  const QPointF at(2, 2);
  QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

bool isLime(QRgb p) {
  return qGreen(p) > 128 && qRed(p) < 100 && qBlue(p) < 100;
}

// The rows and columns of the picture where the text colour shows.
struct Ink {
  int top = -1, bottom = -1, left = -1, right = -1;
  bool any() const { return top >= 0; }
};

Ink findInk(const QImage& image) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      if (!isLime(image.pixel(x, y))) continue;
      if (ink.top < 0) ink.top = y;
      ink.bottom = y;
      if (ink.left < 0 || x < ink.left) ink.left = x;
      if (x > ink.right) ink.right = x;
    }
  return ink;
}

QImage grab(QWidget& w) {
  return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void tick(TTitler& titler, int times) {
  for (int i = 0; i < times; ++i) titler.tick();
}

TEST(TitlerTest, Defaults) {
  TTitler titler;
  EXPECT_EQ(titler.size(), QSize(50, 50));
  EXPECT_EQ(titler.Interval(), 50);
  EXPECT_TRUE(titler.timerRunning());  // from creation, shown or not
  EXPECT_EQ(titler.Step(), 1);
  EXPECT_EQ(titler.color(), QColor(Qt::black));
  EXPECT_EQ(titler.fontColor(), QColor(0, 255, 0));
  EXPECT_EQ(titler.alignment(), Qt::AlignHCenter);
  EXPECT_EQ(titler.frameWidth(), 1);
  EXPECT_TRUE(titler.testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_TRUE(titler.Titles().isEmpty());
  EXPECT_EQ(titler.offset(), 0);
}

TEST(TitlerTest, StepZeroOrLessKeepsThePreviousStep) {
  TTitler titler;
  titler.setStep(4);
  titler.setStep(0);
  titler.setStep(-2);
  EXPECT_EQ(titler.Step(), 4);
  titler.tick();
  EXPECT_EQ(titler.offset(), 4);
  titler.setInterval(20);
  EXPECT_EQ(titler.Interval(), 20);
}

TEST(TitlerTest, TitlesAreACopy) {
  TTitler titler;
  QStringList lines{"a", "b"};
  titler.setTitles(lines);
  lines.append("c");
  EXPECT_EQ(titler.Titles(), (QStringList{"a", "b"}));
}

// The restart rule with the titler's own line height and its whole height
// (border included): 10 lines in a control 600 pixels high.
TEST(TitlerTest, PaintingRestartsTheRollOnceTheBlockHasLeft) {
  TTitler titler;
  titler.resize(300, 600);
  QStringList lines;
  for (int i = 0; i < 10; ++i) lines.append("Line " + QString::number(i));
  titler.setTitles(lines);
  const int h = QFontMetrics(titler.font()).height();
  const int last = 10 * h + 600;

  tick(titler, last);
  grab(titler);
  EXPECT_EQ(titler.offset(), last);
  titler.tick();
  EXPECT_EQ(titler.offset(), last + 1);  // only a painting restarts
  grab(titler);
  EXPECT_EQ(titler.offset(), 0);
}

TEST(TitlerTest, LinesEnterAtTheBottomAndMoveUp) {
  TTitler titler;
  titler.resize(200, 100);
  titler.setTitles({"XXXX", "XXXX"});
  const int h = QFontMetrics(titler.font()).height();
  EXPECT_FALSE(findInk(grab(titler)).any());  // offset 0: nothing in sight yet

  // The text rectangle's top is height - offset in the client area, which
  // starts inside the one-pixel border; its bottom is two pixels above the
  // client's.
  tick(titler, h / 2);
  Ink ink = findInk(grab(titler));
  ASSERT_TRUE(ink.any());
  EXPECT_GE(ink.top, 1 + 100 - h / 2);
  EXPECT_LE(ink.bottom, 1 + 98 - 2);

  tick(titler, 50);
  ink = findInk(grab(titler));
  ASSERT_TRUE(ink.any());
  const int top = 1 + 100 - (h / 2 + 50);
  EXPECT_GE(ink.top, top);
  EXPECT_LT(ink.bottom, top + 2 * h);  // two lines, h apart
  EXPECT_GT(ink.bottom, top + h);
}

TEST(TitlerTest, LinesFollowTheAlignment) {
  struct Case {
    Qt::Alignment alignment;
    int minLeft, maxLeft, minRight, maxRight;  // where the ink's edges may be
  };
  // Width 200: the text rectangle spans x 3..197 of the control.
  const Case cases[] = {
      {Qt::AlignLeft, 3, 6, 0, 120},
      {Qt::AlignRight, 80, 197, 193, 197},
      {Qt::AlignHCenter, 60, 99, 100, 140},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.alignment));
    TTitler titler;
    titler.resize(200, 100);
    titler.setAlignment(c.alignment);
    titler.setTitles({"XXXXX"});
    tick(titler, 40);
    const Ink ink = findInk(grab(titler));
    ASSERT_TRUE(ink.any());
    EXPECT_GE(ink.left, c.minLeft);
    EXPECT_LE(ink.left, c.maxLeft);
    EXPECT_GE(ink.right, c.minRight);
    EXPECT_LE(ink.right, c.maxRight);
    if (c.alignment == Qt::AlignHCenter) {
      EXPECT_NEAR((ink.left + ink.right) / 2.0, 99.5, 3.0);
    }
  }
}

TEST(TitlerTest, PaintHandlersDrawBeforeAndAfterTheText) {
  TTitler titler;
  titler.resize(200, 100);
  titler.setTitles({"XXXXXXXX"});
  tick(titler, 60);
  std::vector<std::string> order;
  titler.OnPaintBefore = [&](TTitler* sender, QPainter& canvas) {
    EXPECT_EQ(sender, &titler);
    order.push_back("before");
    canvas.fillRect(0, 0, 300, 300, Qt::blue);
  };
  titler.OnPaintAfter = [&](TTitler*, QPainter& canvas) {
    order.push_back("after");
    canvas.fillRect(0, 0, 4, 4, Qt::red);
  };
  const QImage image = grab(titler);
  EXPECT_EQ(order, (std::vector<std::string>{"before", "after"}));
  const Ink ink = findInk(image);
  ASSERT_TRUE(ink.any());
  // With a handler before, the text has no background of its own: between
  // the glyphs the handler's blue shows, not the control's black.
  int blue = 0, black = 0;
  for (int y = ink.top; y <= ink.bottom; ++y)
    for (int x = ink.left; x <= ink.right; ++x) {
      blue += image.pixel(x, y) == qRgb(0, 0, 255);
      black += image.pixel(x, y) == qRgb(0, 0, 0);
    }
  EXPECT_GT(blue, 0);
  EXPECT_EQ(black, 0);
  EXPECT_EQ(QColor(image.pixel(2, 2)), QColor(Qt::red));
}

TEST(TitlerTest, ControlColourFillsTheClientArea) {
  TTitler titler;
  titler.resize(200, 100);
  titler.setColor(QColor(0, 0, 128));
  titler.setTitles({"XXXXXXXX"});
  tick(titler, 60);
  const QImage image = grab(titler);
  EXPECT_TRUE(findInk(image).any());
  EXPECT_EQ(QColor(image.pixel(5, 5)), QColor(0, 0, 128));
  EXPECT_EQ(QColor(image.pixel(198, 98)), QColor(0, 0, 128));
  EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(Qt::black));  // the border
}

TEST(TitlerTest, ClickReachesTheHandler) {
  TTitler titler;
  int clicks = 0;
  titler.OnClick = [&](TTitler* sender) {
    EXPECT_EQ(sender, &titler);
    ++clicks;
  };
  click(&titler);
  EXPECT_EQ(clicks, 1);
}

// A project in development mode, so the project folder is the test's folder.
class CreditsTest : public ::testing::Test {
 protected:
  TempFolder t;
  test::ScopedCommandLine m_commandLine{t.path() + "MAG.EXE", {"/develope"}};
  TfrmCredits frm;
};

TEST_F(CreditsTest, WindowAndRoll) {
  EXPECT_EQ(frm.objectName(), "frmCredits");
  EXPECT_EQ(frm.modalName(), "frmCredits");
  EXPECT_EQ(frm.modalCaption(), "Titulky");
  EXPECT_TRUE(frm.windowFlags() & Qt::FramelessWindowHint);
  const TTitler* roll = frm.Titler1();
  EXPECT_EQ(roll->objectName(), "Titler1");
  EXPECT_EQ(roll->color(), QColor(Qt::black));
  EXPECT_EQ(roll->fontColor(), QColor(0, 255, 0));
  EXPECT_EQ(roll->font().family(), "Arial");
  EXPECT_EQ(roll->font().pixelSize(), 15);
  EXPECT_EQ(roll->frameWidth(), 1);
  frm.resize(400, 300);
  frm.show();
  EXPECT_EQ(roll->geometry(), QRect(0, 0, 400, 300));  // fills the window
  frm.hide();
}

TEST_F(CreditsTest, FormShowLoadsTheCreditsFileLineByLine) {
  frm.Titler1()->setTitles({"kept"});
  frm.FormShow();  // no file: the roll keeps its lines
  EXPECT_EQ(frm.Titler1()->Titles(), QStringList{"kept"});

  // Blank lines stay; an 8-bit file is windows-1250.
  t.write("INI/Credits.ini",
          "Redakce\r\n\r\nP\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2\r\n[not a section]\r\n");
  frm.FormShow();
  EXPECT_EQ(frm.Titler1()->Titles(),
            (QStringList{"Redakce", "", QString::fromUtf8("Příliš žluťoučký kůň"), "[not a section]"}));
  EXPECT_TRUE(frm.Titler1()->isEnabled());
}

TEST_F(CreditsTest, EmptyCreditsAreABlackScreenThatAClickCloses) {
  t.write("ini/credits.ini", "");
  frm.Titler1()->setTitles({"old"});
  bool blank = false;
  QSize rollSize;
  bool scaledToTheScreen = false;
  QMetaObject::invokeMethod(
      &frm,
      [&] {
        ScaledView* view = test::ViewOf(frm);
        if (!view) {
          ADD_FAILURE() << "the window is not shown through a scaled view";
          frm.close();
          return;
        }
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        test::PumpUntil([&] { return view->size() == screen; });  // the full-screen size
        QCoreApplication::processEvents();                        // the layout
        const double scale = std::min(screen.width() / 800.0, screen.height() / 600.0);
        scaledToTheScreen = view->isFullScreen() && std::abs(view->scale() - scale) < 0.01;
        tick(*frm.Titler1(), 300);
        const QImage image = grab(*frm.Titler1());
        rollSize = image.size();
        blank = true;
        for (int y = 0; y < image.height(); ++y)
          for (int x = 0; x < image.width(); ++x) blank = blank && image.pixel(x, y) == qRgb(0, 0, 0);
        // On the screen, in the roll's middle: the roll itself takes no press.
        test::ClickDesignPoint(*view, QPointF(400, 300));
        if (frm.isVisible()) {
          ADD_FAILURE() << "the click did not close the window";
          frm.close();
        }
      },
      Qt::QueuedConnection);
  EXPECT_EQ(frm.execModal(), 0);  // returns: the click closed it
  EXPECT_TRUE(frm.Titler1()->Titles().isEmpty());
  // The roll's width and speed are those of the 800 x 600 design.
  EXPECT_EQ(rollSize, QSize(800, 600));
  EXPECT_TRUE(scaledToTheScreen);
  EXPECT_TRUE(blank);
  EXPECT_FALSE(frm.isVisible());
}

// Escape closes the roll on the screen as a click on it does; another key
// leaves it rolling.
TEST_F(CreditsTest, EscapeClosesTheRoll) {
  t.write("ini/credits.ini", "Redakce\r\n");
  bool upAfterOtherKey = false;
  QMetaObject::invokeMethod(
      &frm,
      [&] {
        ScaledView* view = test::ActiveViewOf(frm);
        if (!view) return;
        QTest::keyClick(view, Qt::Key_Space);
        upAfterOtherKey = frm.isVisible();
        QTest::keyClick(view, Qt::Key_Escape);
        if (frm.isVisible()) {
          ADD_FAILURE() << "Escape did not close the window";
          frm.close();
        }
      },
      Qt::QueuedConnection);
  EXPECT_EQ(frm.execModal(), 0);
  EXPECT_TRUE(upAfterOtherKey);
  EXPECT_FALSE(frm.isVisible());
}

TEST_F(CreditsTest, ScriptedRunLoadsTheCreditsAndTakesAClick) {
  t.write("ini/credits.ini", "Autor\n");
  for (const char* answers : {"click, yes", "yes"}) {
    SCOPED_TRACE(answers);
    HeadlessPlatform headless;
    std::ostringstream err;
    ScriptedPlatform scripted(headless, AnswerQueue(answers), err);
    EXPECT_EQ(scripted.showModal(frm), 0);
    EXPECT_EQ(err.str(), "[ui] modal: frmCredits: Titulky\n");
    EXPECT_EQ(frm.Titler1()->Titles(), QStringList{"Autor"});
    ASSERT_EQ(scripted.scriptedAnswers()->size(), 1u);
    EXPECT_EQ(scripted.scriptedAnswers()->front().word, "yes");
  }
}

}  // namespace
}  // namespace pagemoor
