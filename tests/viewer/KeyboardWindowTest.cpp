// The viewer read from the keyboard: keys delivered through the window
// system to the reader's screen (never to a chosen widget), as a reader's
// keys arrive, with no click before them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>
#include <memory>
#include <string>
#include <vector>

#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "support/QtPump.h"
#include "viewer/ViewerTest.h"
#include "viewer/qt/ScaledScreen.h"

namespace pagemoor {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// The start command shows only the main pane; links.htm has a console
// command link and a page link, and its right click runs "probe back".
class KeyboardWindowTest : public test::ViewerTest {
 protected:
  KeyboardWindowTest() {
    tmp.write("ini/main.ini",
              "[start]\r\nstart_command=reset_main layout.ini\r\n"
              "[right_click]\r\nlinks.htm=probe back\r\n");
    tmp.write("ini/layout.ini", "[html_main]\r\nvisible=true\r\nleft=10\r\ntop=40\r\nwidth=600\r\nheight=400\r\n");
    tmp.write("texts/links.htm",
              "<html><body><p><a href=\"con_com:probe link\">Command</a></p>"
              "<p><a href=\"other.htm\">Other page</a></p></body></html>");
    tmp.write("texts/other.htm", "<html><body><p>Other</p></body></html>");
  }
  ~KeyboardWindowTest() override { screen.reset(); }  // the screen goes before its window

  // The reader's screen up with the magazine started in it.
  TfrmMain& present() {
    TfrmMain& w = make();
    screen = std::make_unique<ScaledScreen>(w);
    screen->presentWindowed();
    EXPECT_TRUE(test::PumpUntil([this] { return screen->isActiveWindow(); }));
    w.Console().AddCommand("probe", "", [this](Sender, const std::string& params) { ran.push_back(params); });
    return w;
  }
  // A key as the window system hands it to the screen's window.
  void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    QWindow* target = screen->windowHandle();
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent event(type, key, modifiers, text);
      QApplication::sendEvent(target, &event);
    }
  }

  std::unique_ptr<ScaledScreen> screen;
  std::vector<std::string> ran;
};

TEST_F(KeyboardWindowTest, TheMainPaneHasTheKeysAsSoonAsTheMagazineIsUp) {
  TfrmMain& w = present();
  EXPECT_TRUE(w.htmlMain()->hasFocus());
  press(Qt::Key_Semicolon, Qt::NoModifier, QStringLiteral(";"));
  EXPECT_TRUE(w.Console().Visible());
  w.Console().setVisible(false);
}

TEST_F(KeyboardWindowTest, TabEnterAndTheBackKeysTakeTheClicksWayThroughTheSession) {
  TfrmMain& w = present();
  ASSERT_TRUE(w.htmlMain()->LoadDocument(tmp.file("texts/links.htm")));
  struct Case {
    std::vector<int> keys;
    Qt::KeyboardModifiers modifiers;  // of the last key
    std::vector<std::string> ran;     // what "probe" was run with
    const char* document;             // the main pane's document after the keys
  };
  const Case cases[] = {
      // The console command link runs as a click runs it.
      {{Qt::Key_Tab, Qt::Key_Return}, Qt::NoModifier, {"link"}, "links.htm"},
      // A page link: the pane follows it.
      {{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}, Qt::NoModifier, {}, "other.htm"},
      // Back as a right click: the page's own command.
      {{Qt::Key_Backspace}, Qt::NoModifier, {"back"}, "links.htm"},
      {{Qt::Key_Left}, Qt::AltModifier, {"back"}, "links.htm"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(w.htmlMain()->LoadDocument(tmp.file("texts/links.htm")));
    ran.clear();
    for (std::size_t i = 0; i < c.keys.size(); ++i)
      press(c.keys[i], i + 1 == c.keys.size() ? c.modifiers : Qt::NoModifier);
    EXPECT_EQ(ran, c.ran) << c.document;
    EXPECT_EQ(w.htmlMain()->CurrentDocument(), tmp.file(std::string("texts/") + c.document));
  }
}

TEST_F(KeyboardWindowTest, BackspaceGoesBackInTheMainPaneHistory) {
  TfrmMain& w = present();
  ASSERT_TRUE(w.htmlMain()->LoadDocument(tmp.file("texts/other.htm")));
  ASSERT_TRUE(w.htmlMain()->LoadDocument(tmp.file("texts/links.htm")));
  ASSERT_TRUE(w.htmlMain()->LoadDocument(tmp.file("texts/other.htm")));
  press(Qt::Key_Backspace);
  EXPECT_EQ(w.htmlMain()->CurrentDocument(), tmp.file("texts/links.htm"));
  EXPECT_THAT(ran, IsEmpty());
}

TEST_F(KeyboardWindowTest, TheKeysComeBackToThePaneWhenAWindowOrTheConsoleCloses) {
  TfrmMain& w = present();
  QWidget box;
  box.resize(200, 100);
  box.show();
  box.activateWindow();
  ASSERT_TRUE(test::PumpUntil([&] { return box.isActiveWindow(); }));
  box.hide();
  EXPECT_TRUE(test::PumpUntil([&] { return w.htmlMain()->hasFocus(); }));
  press(Qt::Key_Semicolon, Qt::NoModifier, QStringLiteral(";"));
  EXPECT_TRUE(w.Console().Visible());

  // The console took the keys; closed, they are the page's again.
  ASSERT_TRUE(test::PumpUntil([&] { return !screen->isActiveWindow(); }));
  w.Console().setVisible(false);
  EXPECT_TRUE(test::PumpUntil([&] { return w.htmlMain()->hasFocus(); }));
}

}  // namespace
}  // namespace pagemoor
