#include "viewer/MainWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ThinkingBoxWindow.h"
#include "audio/AudioEngine.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "jukebox/JukeboxWindow.h"
#include "pictures/ImageWidget.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"
#include "support/ViewClicks.h"
#include "viewer/ViewerTest.h"
#include "viewer/qt/ScaledScreen.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::ScopedCommandLine;
using test::ScopedEnv;
using test::TempFolder;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

class ThrowingPresenter : public ScreenPresenter {
 public:
  void enterFullScreen() override { throw std::runtime_error("no screen"); }
  void leaveFullScreen() override {}
};

class MainWindowTest : public test::ViewerTest {};

TEST_F(MainWindowTest, CreationBuildsTheNamedControlsWithThePanesHidden) {
  TfrmMain& w = make();
  EXPECT_EQ(w.objectName(), "frmMain");
  for (const char* name : {"imgTop", "imgDesktop", "htmlMain", "htmlLeft", "htmlTop", "btnConsole",
                           "memError", "sndLabel", "lblAC"})
    EXPECT_NE(w.findChild<QWidget*>(name), nullptr) << name;
  for (const char* name : {"tmrMainUp", "tmrMainDown", "tmrLeftUp", "tmrLeftDown"}) {
    auto* timer = w.findChild<QTimer*>(name);
    ASSERT_NE(timer, nullptr) << name;
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(timer->interval(), 100);
  }
  EXPECT_TRUE(w.htmlMain()->isHidden());
  EXPECT_TRUE(w.htmlLeft()->isHidden());
  EXPECT_TRUE(w.htmlTop()->isHidden());
  EXPECT_TRUE(w.memError()->isHidden());
  EXPECT_EQ(w.sndLabel()->text(), "sndLabel");
  EXPECT_EQ(w.lblAC()->text(), "0");
  EXPECT_EQ(w.btnConsole()->geometry(), QRect(0, 0, 17, 17));
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::black));

  EXPECT_EQ(w.htmlMain()->historyLimit(), 500);
  EXPECT_EQ(w.htmlLeft()->historyLimit(), 5000);
  EXPECT_EQ(w.htmlTop()->historyLimit(), 5000);
  EXPECT_EQ(w.htmlTop()->imageCacheSize(), 20);
  EXPECT_EQ(w.htmlMain()->visitedMemory(), 5000);

  EXPECT_EQ(w.Console().Caption(), "Tarn-Console");
  EXPECT_EQ(w.Console().Position(), TPositions::poBottomLeft);
  EXPECT_FALSE(w.Console().Visible());
  EXPECT_THAT(w.Console().Lines(), testing::Contains("System: Initiate Console (MAIN)"));

  // The title picture is docked at the top, the desktop fills the rest.
  w.imgTop()->show();
  w.realign();
  EXPECT_EQ(w.imgTop()->geometry(), QRect(0, 0, 800, 32));
  EXPECT_EQ(w.imgDesktop()->geometry(), QRect(0, 32, 800, 568));
}

TEST_F(MainWindowTest, WithoutCursorsIniTheSystemCursorsStay) {
  TfrmMain& w = make();
  EXPECT_EQ(w.cursorSlot(TfrmMain::kNormalCursor).shape(), Qt::ArrowCursor);
  EXPECT_EQ(w.cursorSlot(TfrmMain::kLinkCursor).shape(), Qt::PointingHandCursor);
  EXPECT_EQ(w.cursorSlot(TfrmMain::kHourglassCopy).shape(), Qt::WaitCursor);
  for (int slot : {0, -2, 1, -21, TfrmMain::kNormalCursor, TfrmMain::kLinkCursor})
    EXPECT_FALSE(w.cursorSlot(slot).isFile()) << slot;
  EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, CursorsIniPutsTheProjectsCursorsIntoTheirSlots) {
  const std::string fixtures = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/cursors/";
  tmp.write("cursors/normal.cur", *ReadFileBytes(fixtures + "sdl2image-sample.cur"));
  tmp.write("cursors/link.cur", *ReadFileBytes(fixtures + "npp-drag.cur"));
  tmp.write("ini/cursors.ini", "[cursors]\r\nnormal_cursor=Normal.cur\r\nlink_cursor=link.cur\r\n");
  TfrmMain& w = make();
  for (int slot : {TfrmMain::kNormalCursor, 0, -2, TfrmMain::kLinkCursor, 1, -21})
    EXPECT_TRUE(w.cursorSlot(slot).isFile()) << slot;
  EXPECT_FALSE(w.cursorSlot(TfrmMain::kHourglassCopy).isFile());
  EXPECT_EQ(w.cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(w.cursorSlot(0).cursor().hotSpot(), QPoint(1, 24));
  EXPECT_EQ(w.cursorSlot(1).cursor().hotSpot(), QPoint(12, 11));
}

TEST_F(MainWindowTest, SetUpPaneReadsTheLayoutFileWithItsDefaults) {
  struct Case {
    const char* name;
    const char* file;  // nullptr: no file
    HtmlPaneWidget* (TfrmMain::*pane)() const;
    bool visible;
    PaneAlign align;
    QRect geometry;  // below the title picture, which is docked at the top
  };
  const Case cases[] = {
      {"missing section", "[html_main]\r\nvisible=true\r\n", &TfrmMain::htmlTop, false, PaneAlign::Top,
       QRect(0, 32, 800, 1)},
      {"no file", nullptr, &TfrmMain::htmlMain, true, PaneAlign::None, QRect(1, 1, 1, 1)},
      {"client", "[html_main]\r\nalign=Client\r\n", &TfrmMain::htmlMain, true, PaneAlign::Client,
       QRect(0, 32, 800, 568)},
      {"middle", "[html_left]\r\nvisible=YES\r\nalign=middle\r\n", &TfrmMain::htmlLeft, true,
       PaneAlign::Client, QRect(0, 32, 800, 568)},
      {"left", "[html_left]\r\nvisible=true\r\nalign=LEFT\r\nwidth=200\r\n", &TfrmMain::htmlLeft, true,
       PaneAlign::Left, QRect(0, 32, 200, 568)},
      {"not a number", "[html_main]\r\nleft=20\r\ntop=x1\r\nwidth=abc\r\nheight=300\r\n", &TfrmMain::htmlMain,
       true, PaneAlign::None, QRect(20, 1, 1, 300)},
  };
  TfrmMain& w = make();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string(c.name) + ".ini";
    if (c.file) tmp.write("ini/" + name, c.file);
    HtmlPaneWidget* pane = (w.*c.pane)();
    w.SetUpPane(pane, name);
    EXPECT_EQ(!pane->isHidden(), c.visible);
    EXPECT_EQ(w.paneAlign(pane), c.align);
    EXPECT_EQ(pane->geometry(), c.geometry);
    pane->hide();
  }
  // Every key read is written back with its default.
  const std::string section = ReadIniValue(tmp.file("ini/missing section.ini"), "html_top", "align");
  EXPECT_EQ(section, "top");
  EXPECT_EQ(ReadIniValue(tmp.file("ini/no file.ini"), "html_main", "visible"), "true");
  EXPECT_EQ(ReadIniValue(tmp.file("ini/no file.ini"), "html_main", "height"), "1");
}

TEST_F(MainWindowTest, DesktopProgressHidesThePanesUntilDone) {
  TfrmMain& w = make();
  w.imgDesktopProgress(0);
  EXPECT_TRUE(w.htmlMain()->isHidden());
  w.imgDesktopProgress(100);
  EXPECT_FALSE(w.htmlMain()->isHidden());
  EXPECT_FALSE(w.htmlLeft()->isHidden());
  EXPECT_FALSE(w.htmlTop()->isHidden());
  w.imgDesktopProgress(40);
  EXPECT_TRUE(w.htmlTop()->isHidden());
}

TEST_F(MainWindowTest, TheStartSequenceRunsOnceInItsOrder) {
  tmp.write("ini/main.ini", "[start]\r\nstart_command=probe Intro\r\n");
  TfrmMain& w = make();
  std::vector<std::string> seen;
  w.Console().AddCommand("probe", "", [&](Sender, const std::string& params) {
    seen.push_back(params);
    // Runs before the localisation and the console button.
    seen.push_back(CurrentLanguageFile() ? "language" : "no language");
    w.Console().Log("Test", "probe ran");
  });
  w.show();
  w.hide();
  w.show();
  EXPECT_THAT(linesAfterStart(),
              ElementsAre("System: Console Initialization Completed", "System: Starting Main ...",
                          "System: Starting \"Test Mag\"", "System: Resolution: 800x600x32",
                          "System: Using Direct-X", "Console: Command PROBE INTRO", "Test: probe ran"));
  EXPECT_THAT(seen, ElementsAre("Intro", "no language"));
  const auto& all = w.Console().Lines();
  EXPECT_EQ(std::count(all.begin(), all.end(), "System: Starting Main ..."), 1);
  EXPECT_EQ(w.windowTitle(), "Test Mag");
  for (HtmlPaneWidget* pane : {w.htmlMain(), w.htmlLeft(), w.htmlTop()}) {
    EXPECT_THAT(pane->toPlainText().toStdString(), HasSubstr("Opustit Program"));
    EXPECT_EQ(pane->CurrentDocument(), "");
    EXPECT_TRUE(pane->isHidden());
  }
  EXPECT_TRUE(w.useDirectX());
  EXPECT_TRUE(w.DXDraw().Initialized());
  EXPECT_FALSE(w.btnConsole()->isHidden());
  EXPECT_FALSE(thinking.isThinkingShown());
  EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(MainWindowTest, WithoutAStartCommandTheCaptionIsEmptyAndTheButtonMayHide) {
  tmp.write("MAG.UNP", "[uniproject]\r\n");
  tmp.write("ini/main.ini", "[start]\r\nbtnconsole_visible=no\r\n");
  TfrmMain& w = make();
  w.show();
  EXPECT_EQ(w.windowTitle(), "");
  EXPECT_TRUE(w.btnConsole()->isHidden());
  EXPECT_EQ(linesAfterStart().at(2), "System: Starting \"\"");
}

TEST_F(MainWindowTest, TheResolutionMessageIsCzechThoughTheLanguageFileTranslatesIt) {
  tmp.write("ini/lang.ini", "[Misc]\r\nresolution_change_error=Cannot change the resolution\r\n");
  TfrmMain& w = make();
  w.DXDraw().setDisplayModes({{640, 480, 16}});
  w.show();
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Nemohu zmenit rozliseni"));
  // The file is in use from then on.
  EXPECT_EQ(Translate("Nemohu zmenit rozliseni", "resolution_change_error"), "Cannot change the resolution");
}

TEST_F(MainWindowTest, NoDxUsesTheDesktopMode) {
  ScopedCommandLine noDx{tmp.file("MAG.EXE"), {"/develope", "/NO_DX"}};
  TfrmMain& w = make();
  w.show();
  EXPECT_FALSE(w.useDirectX());
  EXPECT_FALSE(w.DXDraw().Initialized());
  EXPECT_TRUE(w.desktopMode().changed());
  const auto lines = linesAfterStart();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 3, lines.begin() + 5),
              ElementsAre("System: Resolution: 800x600x16", "System: Not-Using Direct-X"));
}

TEST_F(MainWindowTest, ExceptionsAreLoggedAndNeverShown) {
  tmp.write("ini/main.ini", "[start]\r\nstart_command=probe\r\n");
  TfrmMain& w = make();
  bool probed = false;
  w.Console().AddCommand("probe", "", [&](Sender, const std::string&) { probed = true; });

  // Before the first showing, the early handler logs with a colon.
  w.runGuarded([] { throw std::runtime_error("early"); });
  EXPECT_EQ(w.Console().Lines().back(), "System: Exception: early");

  // A surface that fails ends the start sequence at the display mode.
  ThrowingPresenter failing;
  w.DXDraw().setPresenter(&failing);
  w.show();
  EXPECT_EQ(w.Console().Lines().back(), "System: Exception no screen");
  EXPECT_FALSE(probed);
  EXPECT_TRUE(thinking.isThinkingShown());
  thinking.HideThinking();

  // Once shown, a failing handler is logged without the colon.
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &w,
                   [&] { w.runGuarded([] { throw std::logic_error("late"); }); });
  timer.start(0);
  QApplication::processEvents();
  EXPECT_EQ(w.Console().Lines().back(), "System: Exception late");
  EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(MainWindowTest, MinimisingStopsTheJukeboxAndRestoringPlaysAgain) {
  audio::AudioEngine engine;
  TPlinq_Main jukebox(engine, nullptr, 800);
  TfrmMain& w = make();
  w.setJukebox(&jukebox);
  w.show();
  EXPECT_TRUE(jukebox.jukebox().Timer1Enabled());
  w.setWindowState(Qt::WindowMinimized);
  EXPECT_FALSE(jukebox.jukebox().Timer1Enabled());
  EXPECT_EQ(w.Console().Lines().back(), "System: Minimize");
  w.setWindowState(Qt::WindowNoState);
  EXPECT_EQ(w.Console().Lines().back(), "System: Restore");
  window.reset();  // the viewer goes before the jukebox it points to
}

TEST_F(MainWindowTest, TheConsoleWritesItsShutdownLinesWhenTheViewerGoes) {
  TfrmMain& w = make();
  std::vector<std::string> last;
  TDebugBox2& console = w.Console();
  console.OnAdd = [&](Sender) { last = console.Lines(); };
  window.reset();
  ASSERT_GE(last.size(), 4u);
  EXPECT_EQ(last[last.size() - 4], "System: Initiate Shutdown");
  EXPECT_EQ(last.back(), "System: Shutdown Completed");
}

// --- Full-screen presentation ---

class ScaledScreenTest : public MainWindowTest {};

TEST_F(ScaledScreenTest, TheDesignIsScaledWithItsAspectKept) {
  TfrmMain& w = make();
  ScaledScreen screen(w);
  screen.show();
  screen.presentWindowed();
  screen.resize(1600, 1000);
  QApplication::processEvents();
  EXPECT_NEAR(screen.scale(), 1000.0 / 600.0, 0.01);
  // The design's centre stays in the centre; the bars are at the sides.
  const QPointF centre = screen.mapToScene(QPoint(800, 500));
  EXPECT_NEAR(centre.x(), 400, 1.0);
  EXPECT_NEAR(centre.y(), 300, 1.0);
  EXPECT_LT(screen.mapToScene(QPoint(50, 500)).x(), 0);
}

TEST_F(ScaledScreenTest, AltEnterTogglesAndTheWindowOptionKeepsAWindow) {
  TfrmMain& w = make();
  ScaledScreen screen(w);
  screen.show();
  EXPECT_TRUE(w.startSequenceRun());
  EXPECT_TRUE(w.DXDraw().Initialized());
  EXPECT_TRUE(screen.isFullScreen());  // the start sequence initialised the surface
  std::vector<QKeySequence> keys;
  for (QShortcut* shortcut : screen.findChildren<QShortcut*>()) {
    keys.push_back(shortcut->key());
    EXPECT_EQ(shortcut->context(), Qt::WindowShortcut);
  }
  EXPECT_THAT(keys, testing::UnorderedElementsAre(QKeySequence(Qt::ALT | Qt::Key_Return),
                                                  QKeySequence(Qt::ALT | Qt::Key_Enter)));
  // The modal full-screen windows come up the way the reader's screen is.
  EXPECT_FALSE(ScreenMode::instance().windowed());
  screen.toggleFullScreen();
  EXPECT_FALSE(screen.isFullScreen());
  EXPECT_TRUE(ScreenMode::instance().windowed());
  screen.toggleFullScreen();
  EXPECT_TRUE(screen.isFullScreen());
  EXPECT_FALSE(ScreenMode::instance().windowed());
  // Alt+Enter in one of them takes the reader's screen along.
  ScreenMode::instance().setWindowed(true);
  EXPECT_FALSE(screen.isFullScreen());
  EXPECT_EQ(screen.size(), QSize(800, 600));
  ScreenMode::instance().setWindowed(false);
  EXPECT_TRUE(screen.isFullScreen());
  w.DXDraw().Finalize();
  EXPECT_FALSE(screen.isFullScreen());
  EXPECT_TRUE(ScreenMode::instance().windowed());

  test::ScopedCommandLine windowed{tmp.file("MAG.EXE"), {"/develope"}};
  CommandLine withWindow = CurrentCommandLine();
  withWindow.options["window"] = "";
  SetCommandLine(withWindow);
  auto other = std::make_unique<TfrmMain>(sink);
  ScaledScreen windowOnly(*other);
  windowOnly.presentFullScreen();
  EXPECT_FALSE(windowOnly.isFullScreen());
  EXPECT_TRUE(windowOnly.isVisible());
}

// The reader's screen over a page in htmlMain and one in htmlLeft, which
// allows text to be selected, with the project's cursor files.
class ScreenCursorsTest : public ScaledScreenTest {
 protected:
  void cursorFile(const std::string& name, const char* fixture) {
    tmp.write("cursors/" + name,
              *ReadFileBytes(std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/cursors/" + fixture));
  }

  // The window on a screen of 1600 x 1000 with both panes on it, each over
  // half of the design.
  TfrmMain& present() {
    const std::string page =
        tmp.write("texts/cursors.htm",
                  "<html><body><p>Plain words here</p><p><a href=\"page.htm\">A link</a></p></body></html>");
    TfrmMain& w = make();
    screen = std::make_unique<ScaledScreen>(w);
    screen->presentWindowed();
    screen->resize(1600, 1000);
    QApplication::processEvents();
    const QRect areas[] = {{20, 60, 360, 200}, {420, 60, 360, 200}};
    HtmlPaneWidget* panes[] = {w.htmlMain(), w.htmlLeft()};
    for (int i = 0; i < 2; ++i) {
      panes[i]->setGeometry(areas[i]);
      panes[i]->show();
      EXPECT_TRUE(panes[i]->LoadDocument(page));
    }
    QApplication::processEvents();
    return w;
  }

  // The mouse onto the middle of the text as the pane shows it.
  void moveOnto(HtmlPaneWidget* pane, const QString& text) {
    const QTextCursor found = pane->document()->find(text);
    ASSERT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor start(pane->document());
    start.setPosition(found.selectionStart());
    QTextCursor end(pane->document());
    end.setPosition(found.selectionEnd());
    const QPoint middle((pane->cursorRect(start).left() + pane->cursorRect(end).left()) / 2,
                        pane->cursorRect(start).center().y());
    test::MoveToDesignPoint(*screen, QPointF(pane->viewport()->mapTo(window.get(), middle)));
  }

  QCursor onScreen() const { return screen->viewport()->cursor(); }

  ~ScreenCursorsTest() override { screen.reset(); }  // the screen goes before its window

  std::unique_ptr<ScaledScreen> screen;
};

// Whether two cursors look alike: one shape, or one picture at one hot spot.
testing::AssertionResult SameCursor(const QCursor& shown, const QCursor& expected) {
  const bool same = shown.shape() == expected.shape() &&
                    (shown.shape() != Qt::BitmapCursor ||
                     (shown.hotSpot() == expected.hotSpot() &&
                      shown.pixmap().toImage().convertToFormat(QImage::Format_RGBA8888) ==
                          expected.pixmap().toImage().convertToFormat(QImage::Format_RGBA8888)));
  if (same) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "shape " << shown.shape() << " hot spot " << shown.hotSpot().x()
                                     << "," << shown.hotSpot().y() << " where shape " << expected.shape()
                                     << " hot spot " << expected.hotSpot().x() << ","
                                     << expected.hotSpot().y() << " was expected";
}

TEST_F(ScreenCursorsTest, OverPageTextTheProjectsNormalCursorStepsOnTheScreenAndOverLinksItsLinkCursor) {
  cursorFile("busy.ani", "kimageformats-test.ani");
  cursorFile("link.cur", "npp-drag.cur");
  tmp.write("ini/cursors.ini", "[cursors]\r\nnormal_cursor=busy.ani\r\nlink_cursor=link.cur\r\n");
  TfrmMain& w = present();
  struct Case {
    HtmlPaneWidget* pane;
    int normalSlot;
  };
  for (const Case& c : {Case{w.htmlMain(), 0}, Case{w.htmlLeft(), -2}}) {
    SCOPED_TRACE(c.pane->objectName().toStdString());
    AnimatedCursor& normal = *w.cursorSlot(c.normalSlot).file();
    moveOnto(c.pane, "Plain words");
    EXPECT_TRUE(SameCursor(c.pane->viewport()->cursor(), normal.current()));
    EXPECT_TRUE(SameCursor(onScreen(), normal.current()));
    // Its frames step on the screen while the mouse rests.
    for (int step = 0; step < 2; ++step) {
      const int frame = normal.currentFrame();
      normal.tick();
      ASSERT_NE(normal.currentFrame(), frame);
      EXPECT_TRUE(SameCursor(onScreen(), normal.current())) << "step " << step;
    }
    moveOnto(c.pane, "A link");
    EXPECT_TRUE(SameCursor(onScreen(), w.cursorSlot(1).cursor()));
    EXPECT_EQ(onScreen().hotSpot(), QPoint(12, 11));
    moveOnto(c.pane, "Plain words");
    EXPECT_TRUE(SameCursor(onScreen(), normal.current()));
  }
}

TEST_F(ScreenCursorsTest, AnAnimatedLinkCursorStepsOverLinksAndWithoutANormalCursorThePanesShapesShow) {
  cursorFile("link.ani", "kimageformats-test.ani");
  tmp.write("ini/cursors.ini", "[cursors]\r\nlink_cursor=link.ani\r\n");
  TfrmMain& w = present();
  AnimatedCursor& link = *w.cursorSlot(1).file();
  struct Case {
    HtmlPaneWidget* pane;
    Qt::CursorShape overText;
  };
  for (const Case& c : {Case{w.htmlMain(), Qt::ArrowCursor}, Case{w.htmlLeft(), Qt::IBeamCursor}}) {
    SCOPED_TRACE(c.pane->objectName().toStdString());
    moveOnto(c.pane, "A link");
    EXPECT_TRUE(SameCursor(onScreen(), link.current()));
    link.tick();
    EXPECT_TRUE(SameCursor(onScreen(), link.current())) << "a step while the mouse rests";
    moveOnto(c.pane, "Plain words");
    EXPECT_EQ(c.pane->viewport()->cursor().shape(), c.overText);
    EXPECT_EQ(onScreen().shape(), c.overText);
    link.tick();
    EXPECT_EQ(c.pane->viewport()->cursor().shape(), c.overText) << "the link's animation let go of the pane";
    EXPECT_EQ(onScreen().shape(), c.overText);
  }
}

}  // namespace
}  // namespace pagemoor
