#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QToolButton>
#include <algorithm>
#include <string>
#include <vector>

#include "audio/AudioEngine.h"
#include "common/HostPaths.h"
#include "console/DebugBox2.h"
#include "jukebox/JukeboxWindow.h"
#include "pictures/GifImageWidget.h"
#include "pictures/ImageWidget.h"
#include "support/SolidGif.h"
#include "support/WavFile.h"
#include "viewer/MainWindow.h"
#include "viewer/ViewerTest.h"

namespace pagemoor {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::IsSupersetOf;

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255);

// A 3 x 2 GIF of solid frames, palette indexes 0 red, 1 green, 2 blue, 3 white;
// it loops for ever.
std::string MakeGif(const std::vector<int>& colours) {
  return test::SolidColourGif(colours, 10, 0);
}

QColor Shown(const GifImageWidget* button) {
  return button->picture().pixelColor(1, 1);
}

void SendMouse(QWidget* control, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
  const QPointF at(1, 1);
  QMouseEvent event(type, at, control->mapToGlobal(at), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(control, &event);
}
void MoveOnto(QWidget* control) {
  SendMouse(control, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
}
void Press(QWidget* control) {
  SendMouse(control, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
}
void Release(QWidget* control) {
  SendMouse(control, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
}
// What the reader does: move onto the button, press and let go.
void Click(QWidget* control) {
  MoveOnto(control);
  Press(control);
  Release(control);
}

// Lets the event loop delete what was handed to it for deleting.
void DeleteLater() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::string Button(int n, const std::string& command, const std::string& more = "") {
  return "[" + std::to_string(n) + "]\r\ncommand=" + command + "\r\n" + more;
}

// The shown viewer with two commands of the test's own: "pressed" notes its
// parameter with the frame the button showed then, "test_reset" resets the
// buttons from the file it names.
class ButtonsTest : public test::ViewerTest {
 protected:
  ButtonsTest() {
    tmp.write("pictures/three.gif", MakeGif({0, 1, 2}));
    tmp.write("pictures/one.gif", MakeGif({3}));
  }

  TfrmMain& start() {
    TfrmMain& w = make();
    w.Console().AddCommand("pressed", "", [this](Sender, const std::string& params) {
      ran.push_back(params);
      GifImageWidget* b = window->button(window->lblAC()->text().toInt());
      framesWhenRun.push_back(b ? b->Frame() : 0);
      samplesWhenRun.push_back(jukeboxSample());
    });
    w.Console().AddCommand("test_reset", "", [this](Sender sender, const std::string& params) {
      window->cmdReset_Buttons(sender, params);
    });
    w.show();
    return w;
  }

  // Writes ini\<name> and resets the buttons from it as a command would.
  void reset(const std::string& text, const std::string& name = "buttons.ini") {
    tmp.write("ini/" + name, text);
    ClearIniCache();
    window->runGuarded([&] { window->Console().Execute("test_reset " + name); });
  }

  std::vector<std::string> newLines(std::size_t from) const {
    const auto& lines = window->Console().Lines();
    return {lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()};
  }

  unsigned jukeboxSample() const {
    return jukebox ? static_cast<unsigned>(jukebox->jukebox().LastSample()) : 0u;
  }

  std::vector<std::string> ran;
  std::vector<int> framesWhenRun;
  std::vector<unsigned> samplesWhenRun;
  TPlinq_Main* jukebox = nullptr;
};

TEST_F(ButtonsTest, ButtonsAreNamedPlacedAndShownAsTheirSectionsSay) {
  TfrmMain& w = start();
  const std::size_t before = w.Console().Lines().size();
  reset(Button(1, "pressed one", "file=three.gif\r\nhint=First\r\nleft=20\r\ntop=30\r\n") +
        Button(
            2, "pressed two",
            "file=THREE.GIF\r\nautosize=no\r\nstretch=yes\r\nwidth=40\r\nheight=50\r\nleft=100\r\ntop=110\r\n"
            "cursor=0\r\n") +
        Button(3, "pressed three",
               "file=missing.gif\r\nhint=Gone\r\nwidth=12\r\nheight=13\r\nleft=5\r\ntop=6\r\n"));

  EXPECT_THAT(newLines(before),
              IsSupersetOf({"System: Reset Buttons (buttons.ini)", "System: Destroy Buttons",
                            "System: Creating Buttons ...", "System: Reset Complete"}));
  const auto lines = newLines(before);
  const auto at = std::find(lines.begin(), lines.end(), "System: Reset Buttons (buttons.ini)");
  ASSERT_NE(at, lines.end());
  EXPECT_THAT(std::vector<std::string>(at, lines.end()),
              ElementsAre("System: Reset Buttons (buttons.ini)", "System: Destroy Buttons",
                          "System: Creating Buttons ...", "System: Reset Complete"));

  ASSERT_EQ(w.buttonCount(), 3);
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    GifImageWidget* b = w.button(k);
    EXPECT_EQ(b->objectName(), QStringLiteral("PMB_%1").arg(k));
    EXPECT_EQ(b->property("tag").toInt(), k);
    EXPECT_EQ(b->parentWidget(), &w);
    EXPECT_EQ(w.findChild<GifImageWidget*>(b->objectName()), b);
    EXPECT_TRUE(b->isVisible());
    EXPECT_FALSE(b->animate());
  }
  // Autosize takes the picture's size; without it the section's size stays.
  EXPECT_EQ(w.button(1)->geometry(), QRect(20, 30, 3, 2));
  EXPECT_EQ(w.button(1)->hint(), QStringLiteral("First"));
  EXPECT_EQ(Shown(w.button(1)), kRed);
  EXPECT_EQ(w.button(1)->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(w.button(2)->geometry(), QRect(100, 110, 40, 50));
  EXPECT_TRUE(w.button(2)->stretch());
  EXPECT_EQ(w.button(2)->FrameCount(), 3);
  EXPECT_EQ(w.button(2)->cursor().shape(), Qt::ArrowCursor);
  // A missing picture: the button is there with its size and hint, empty.
  EXPECT_EQ(w.button(3)->geometry(), QRect(5, 6, 12, 13));
  EXPECT_FALSE(w.button(3)->hasPicture());
  EXPECT_EQ(w.button(3)->hint(), QStringLiteral("Gone"));

  // Over the desktop picture, later buttons over earlier ones, the console button over them all.
  const QObjectList& order = w.children();
  const auto place = [&](const QObject* o) { return order.indexOf(o); };
  EXPECT_LT(place(w.imgDesktop()), place(w.button(1)));
  EXPECT_LT(place(w.button(1)), place(w.button(2)));
  EXPECT_LT(place(w.button(2)), place(w.button(3)));
  EXPECT_LT(place(w.button(3)), place(w.btnConsole()));
  EXPECT_EQ(w.childAt(21, 31), w.button(1));
}

TEST_F(ButtonsTest, TheButtonUnderTheMouseLightsAndTheOthersGoBack) {
  TfrmMain& w = start();
  reset(Button(1, "pressed one", "file=three.gif\r\nleft=0\r\ntop=100\r\n") +
        Button(2, "pressed two", "file=three.gif\r\nleft=50\r\ntop=100\r\n") +
        Button(3, "pressed three", "file=three.gif\r\nnormal=false\r\nleft=100\r\ntop=100\r\n"));
  ASSERT_EQ(w.buttonCount(), 3);
  GifImageWidget* one = w.button(1);
  GifImageWidget* two = w.button(2);
  GifImageWidget* three = w.button(3);
  EXPECT_TRUE(three->animate());

  MoveOnto(one);
  EXPECT_EQ(w.lblAC()->text(), QStringLiteral("1"));
  EXPECT_EQ(Shown(one), kGreen);
  EXPECT_EQ(Shown(two), kRed);

  MoveOnto(two);
  EXPECT_EQ(w.lblAC()->text(), QStringLiteral("2"));
  EXPECT_EQ(Shown(one), kRed);
  EXPECT_EQ(Shown(two), kGreen);

  // The animated button keeps animating and its frames are the animation's.
  three->tick();
  const int frame = three->Frame();
  MoveOnto(three);
  Press(three);
  EXPECT_EQ(three->Frame(), frame);
  Release(three);
  EXPECT_EQ(three->Frame(), frame);
  EXPECT_TRUE(three->animate());
  EXPECT_EQ(w.lblAC()->text(), QStringLiteral("3"));
  EXPECT_EQ(Shown(one), kRed);
  EXPECT_EQ(Shown(two), kRed);
  EXPECT_THAT(ran, ElementsAre("three"));
}

TEST_F(ButtonsTest, PressingShowsTheThirdFrameAndLettingGoLightsTheButtonAgain) {
  TfrmMain& w = start();
  reset(Button(1, "pressed one", "file=three.gif\r\n"));
  GifImageWidget* one = w.button(1);
  ASSERT_NE(one, nullptr);
  MoveOnto(one);
  Press(one);
  EXPECT_EQ(Shown(one), kBlue);
  EXPECT_TRUE(ran.empty());
  const int pending = fake.processEventsCount;
  Release(one);
  // The command ran while the button showed the pressed frame; the release
  // lights it again and lets pending events run.
  EXPECT_THAT(ran, ElementsAre("one"));
  EXPECT_THAT(framesWhenRun, ElementsAre(3));
  EXPECT_EQ(Shown(one), kGreen);
  EXPECT_GT(fake.processEventsCount, pending);
}

TEST_F(ButtonsTest, AClickRunsTheCommandOfTheButtonsOwnSection) {
  TfrmMain& w = start();
  std::string file;
  const std::vector<std::string> names = {"first", "second", "third", "fourth"};
  for (int k = 1; k <= 4; ++k)
    file += Button(k, "pressed " + names[static_cast<std::size_t>(k - 1)],
                   "file=three.gif\r\nleft=" + std::to_string(k * 20) + "\r\n");
  reset(file);
  ASSERT_EQ(w.buttonCount(), 4);
  for (int k : {3, 1, 4, 2}) Click(w.button(k));
  EXPECT_THAT(ran, ElementsAre("third", "first", "fourth", "second"));
}

TEST_F(ButtonsTest, AClickPlaysTheClickSoundBeforeTheCommandAndDisarmsTheHoverSound) {
  audio::AudioEngine engine;
  TPlinq_Main player(engine, nullptr, 800);
  jukebox = &player;
  TfrmMain& w = start();
  w.setJukebox(&player);
  tmp.write("sounds/click.wav", test::WavBytes(441, 1000, 1000));
  tmp.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  reset(Button(1, "pressed one", "file=three.gif\r\n"));
  w.sndLabel()->setText(QStringLiteral("1"));
  ASSERT_EQ(jukeboxSample(), 0u);

  Click(w.button(1));
  ASSERT_THAT(ran, ElementsAre("one"));
  EXPECT_NE(samplesWhenRun[0], 0u);
  EXPECT_EQ(w.sndLabel()->text(), QStringLiteral("0"));
  window.reset();  // the viewer goes before the jukebox it points to
}

TEST_F(ButtonsTest, AClickWithoutAClickSoundStillRunsTheCommand) {
  audio::AudioEngine engine;
  TPlinq_Main player(engine, nullptr, 800);
  jukebox = &player;
  TfrmMain& w = start();
  w.setJukebox(&player);
  tmp.write("ini/sounds.ini", "[start]\r\nlink_click=nothere.wav\r\n");
  reset(Button(1, "pressed one", "file=three.gif\r\n"));
  Click(w.button(1));
  EXPECT_THAT(ran, ElementsAre("one"));
  EXPECT_EQ(jukeboxSample(), 0u);
  window.reset();
}

TEST_F(ButtonsTest, ASingleFramePictureShowsThatFrameInEveryState) {
  TfrmMain& w = start();
  reset(Button(1, "pressed one", "file=one.gif\r\n") +
        Button(2, "pressed two", "file=three.gif\r\nleft=50\r\n"));
  GifImageWidget* one = w.button(1);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->FrameCount(), 1);
  MoveOnto(one);
  EXPECT_EQ(Shown(one), kWhite);
  Press(one);
  EXPECT_EQ(Shown(one), kWhite);
  Release(one);
  EXPECT_EQ(Shown(one), kWhite);
  MoveOnto(w.button(2));
  EXPECT_EQ(Shown(one), kWhite);
  EXPECT_THAT(ran, ElementsAre("one"));
}

TEST_F(ButtonsTest, ResettingTwiceGivesTheSameButtonsAndDeletesTheOldOnes) {
  TfrmMain& w = start();
  const std::string file = Button(1, "pressed one", "file=three.gif\r\nleft=11\r\ntop=12\r\n") +
                           Button(2, "pressed two", "file=one.gif\r\nleft=21\r\ntop=22\r\n");
  reset(file);
  ASSERT_EQ(w.buttonCount(), 2);
  const QPointer<GifImageWidget> oldOne = w.button(1);
  const QPointer<GifImageWidget> oldTwo = w.button(2);
  const std::vector<QRect> places = {oldOne->geometry(), oldTwo->geometry()};

  reset(file);
  ASSERT_EQ(w.buttonCount(), 2);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(w.button(k)->objectName(), QStringLiteral("PMB_%1").arg(k));
    EXPECT_EQ(w.button(k)->geometry(), places[static_cast<std::size_t>(k - 1)]);
    EXPECT_EQ(w.findChild<GifImageWidget*>(QStringLiteral("PMB_%1").arg(k)), w.button(k));
  }
  EXPECT_NE(w.button(1), oldOne.data());
  // The old controls are hidden at once and deleted by the event loop.
  ASSERT_FALSE(oldOne.isNull());
  EXPECT_FALSE(oldOne->isVisible());
  DeleteLater();
  EXPECT_TRUE(oldOne.isNull());
  EXPECT_TRUE(oldTwo.isNull());
  EXPECT_EQ(w.findChildren<GifImageWidget*>().size(), 2);
  Click(w.button(2));
  EXPECT_THAT(ran, ElementsAre("two"));
}

TEST_F(ButtonsTest, AMissingFileLeavesTheButtonsAndTheLogAsTheyWere) {
  TfrmMain& w = start();
  reset(Button(1, "pressed one", "file=three.gif\r\n"));
  GifImageWidget* one = w.button(1);
  const std::size_t lines = w.Console().Lines().size();
  for (const std::string name : {"nothere.ini", ""}) {
    SCOPED_TRACE(name);
    w.runGuarded([&] { w.cmdReset_Buttons(nullptr, name); });
    EXPECT_EQ(w.Console().Lines().size(), lines);
    ASSERT_EQ(w.buttonCount(), 1);
    EXPECT_EQ(w.button(1), one);
  }
  DeleteLater();
  Click(w.button(1));
  EXPECT_THAT(ran, ElementsAre("one"));
}

TEST_F(ButtonsTest, AFileWithoutAFirstButtonDestroysEveryButton) {
  TfrmMain& w = start();
  reset(Button(1, "pressed one", "file=three.gif\r\n"));
  const QPointer<GifImageWidget> old = w.button(1);
  const std::size_t before = w.Console().Lines().size();
  reset(Button(2, "pressed two", "file=three.gif\r\n"), "other.ini");
  EXPECT_EQ(w.buttonCount(), 0);
  EXPECT_EQ(w.button(1), nullptr);
  EXPECT_THAT(newLines(before), Contains("System: Reset Complete"));
  DeleteLater();
  EXPECT_TRUE(old.isNull());
}

TEST_F(ButtonsTest, ACursorThatIsNoNumberEndsTheResetWithNoButton) {
  TfrmMain& w = start();
  reset(Button(1, "pressed one", "file=three.gif\r\n"));
  const std::size_t before = w.Console().Lines().size();
  reset(Button(1, "pressed one", "file=three.gif\r\n") + Button(2, "pressed two", "cursor=hand\r\n"),
        "bad.ini");
  const auto lines = newLines(before);
  EXPECT_THAT(lines, Contains("System: Creating Buttons ..."));
  EXPECT_EQ(lines.back(), "System: Exception 'hand' is not a valid integer value");
  EXPECT_THAT(lines, testing::Not(Contains("System: Reset Complete")));
  EXPECT_EQ(w.buttonCount(), 0);
  EXPECT_EQ(w.buttonRecord(1), nullptr);
  DeleteLater();
  EXPECT_TRUE(w.findChildren<GifImageWidget*>().isEmpty());
}

// A button whose command replaces the buttons is still inside its own mouse
// handlers when its command has run: nothing may touch it afterwards.
TEST_F(ButtonsTest, AButtonThatResetsTheButtonsSurvivesItsOwnClick) {
  TfrmMain& w = start();
  tmp.write("ini/small.ini", Button(1, "pressed small", "file=three.gif\r\nleft=300\r\n"));
  reset(Button(1, "pressed one", "file=three.gif\r\n") +
        Button(2, "test_reset small.ini", "file=three.gif\r\nleft=50\r\n") +
        Button(3, "test_reset buttons.ini", "file=three.gif\r\nleft=100\r\n"));
  ASSERT_EQ(w.buttonCount(), 3);

  // Button 3 reads its own file again: three new buttons, the clicked one gone.
  const QPointer<GifImageWidget> third = w.button(3);
  Click(third);
  ASSERT_EQ(w.buttonCount(), 3);
  EXPECT_NE(w.button(3), third.data());
  DeleteLater();
  EXPECT_TRUE(third.isNull());

  // Button 2 leaves one button: the release of the old button 2 finds no
  // button 2 nor its record any more.
  const QPointer<GifImageWidget> second = w.button(2);
  Click(second);
  ASSERT_EQ(w.buttonCount(), 1);
  EXPECT_EQ(w.button(1)->geometry().left(), 300);
  EXPECT_EQ(Shown(w.button(1)), kRed);
  EXPECT_EQ(w.lblAC()->text(), QStringLiteral("2"));
  DeleteLater();
  EXPECT_TRUE(second.isNull());

  Click(w.button(1));
  EXPECT_THAT(ran, ElementsAre("small"));
}

// "exit now" on a button ends the reading inside the click and destroys its
// console there; the release that follows, and anything after it, meets the
// program's log with nobody listening and runs no command.
TEST_F(ButtonsTest, AButtonThatEndsTheReadingIsReleasedSafely) {
  TfrmMain& w = start();
  reset(Button(1, "exit now", "file=three.gif\r\n"));
  Click(w.button(1));
  DeleteLater();
  EXPECT_TRUE(w.shutdown().ended());
  EXPECT_FALSE(w.hasConsole());
  EXPECT_FALSE(sink.hasSubscribers());
  w.logSink().Log("Late", "nobody hears this");
  w.runConsoleLine("pressed again");
  EXPECT_TRUE(ran.empty());
}

}  // namespace
}  // namespace pagemoor
