#include "jukebox/JukeboxWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioOutput.h"
#include "platform/AnswerQueue.h"
#include "platform/Dialogs.h"
#include "platform/qt/QtPlatform.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"
#include "support/WavFile.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::TempFolder;
using testing::ElementsAre;

using test::WavBytes;

QString TextOf(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  return "<no text>";
}

// A jukebox window on an engine with the null output, on an 800-pixel screen.
class JukeboxWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetNumberedMessages();
    window = std::make_unique<TPlinq_Main>(engine, nullptr, 800);
    ASSERT_TRUE(window->created());
    out = static_cast<audio::NullOutput*>(engine.output());
  }
  void TearDown() override { window.reset(); }

  template <typename T = QWidget>
  T* child(const char* name) {
    return window->findChild<T*>(name);
  }

  FakePlatform fake;
  ScopedPlatform use{fake};
  TempFolder tmp;
  audio::AudioEngine engine;
  std::unique_ptr<TPlinq_Main> window;
  audio::NullOutput* out = nullptr;
};

TEST_F(JukeboxWindowTest, ControlsCarryTheirNamesCaptionsAndSettings) {
  EXPECT_EQ(window->objectName(), "Plinq_Main");
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Plinq (verze 1783PM)"));
  EXPECT_EQ(window->clientArea()->size(), QSize(456, 300));
  EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose));

  struct Control {
    const char* name;
    int x, y, w, h;  // x -1: not checked; w 0: position only (labels size themselves)
    const char* text;
  };
  const Control controls[] = {
      {"ListBox1", 0, 8, 305, 113, nullptr},
      {"ListBox2", 8, 8, 305, 113, nullptr},
      {"WavePaint", 8, 128, 305, 145, nullptr},
      {"SliderImage", 8, 280, 305, 17, nullptr},
      {"dxEF", 320, 0, 129, 201, "Efekty"},
      {"Label1", -1, -1, 0, 0, "Direct-X Efekty"},
      {"Echo", -1, -1, 0, 0, "Ozvěna"},
      {"Flange", -1, -1, 0, 0, "Flange"},
      {"Reverb", -1, -1, 0, 0, "Reverb"},
      {"Chorus", -1, -1, 0, 0, "Chorus"},
      {"Gargle", -1, -1, 0, 0, "Gargle"},
      {"Label2", -1, -1, 0, 0, "Softwarové Efekty"},
      {"Echos", -1, -1, 0, 0, "Ozvěna"},
      {"Flanger", -1, -1, 0, 0, "Flange"},
      {"Rotates", -1, -1, 0, 0, "Rotování"},
      {"Surround", -1, -1, 0, 0, "Surround"},
      {"Music_Volume", 376, 208, 15, 73, nullptr},
      {"Volume", 352, 280, 0, 0, "Hlasitost"},
      {"VU_Left", 408, 208, 9, 73, nullptr},
      {"VU_Right", 432, 208, 9, 73, nullptr},
      {"L", -1, -1, 0, 0, "L"},
      {"R", -1, -1, 0, 0, "R"},
      {"ID3DEF", 304, 208, 0, 0, "%TITLE% (%ARTIST%)"},
      {"ID3Mask", 136, 352, 169, 21, "%TITLE% (%ARTIST%)"},
      {"lblmusic", 8, 304, 0, 0, "lblmusic"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    QWidget* w = child(c.name);
    ASSERT_NE(w, nullptr);
    if (c.w > 0) {
      EXPECT_EQ(w->geometry(), QRect(c.x, c.y, c.w, c.h));
    } else if (c.x >= 0) {
      EXPECT_EQ(w->pos(), QPoint(c.x, c.y));
    }
    if (c.text) {
      EXPECT_EQ(TextOf(w), QString::fromUtf8(c.text));
    }
  }
  // The switches sit in the group in the table's order.
  const char* order[] = {"Label1", "Echo",  "Flange",  "Reverb",  "Chorus",  "Gargle",
                         "Label2", "Echos", "Flanger", "Rotates", "Surround"};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
    EXPECT_EQ(child(order[i])->parentWidget(), child("dxEF"));
    EXPECT_LT(child(order[i])->y(), child(order[i + 1])->y()) << order[i];
  }

  EXPECT_TRUE(window->ListBox1()->isHidden());
  EXPECT_TRUE(window->ID3DEF()->isHidden());
  QSlider* volume = window->Music_Volume();
  EXPECT_EQ(volume->orientation(), Qt::Vertical);
  EXPECT_EQ(volume->minimum(), 0);
  EXPECT_EQ(volume->maximum(), 100);
  EXPECT_EQ(volume->value(), 0);
  EXPECT_TRUE(volume->invertedAppearance());  // 0 at the top
  EXPECT_EQ(volume->tickPosition(), QSlider::NoTicks);
  for (QProgressBar* meter : {window->VU_Left(), window->VU_Right()}) {
    EXPECT_EQ(meter->orientation(), Qt::Vertical);
    EXPECT_EQ(meter->minimum(), 0);
    EXPECT_EQ(meter->maximum(), 128);
  }
  EXPECT_EQ(window->Timer1()->objectName(), "Timer1");
  EXPECT_EQ(window->Timer1()->interval(), 100);
  EXPECT_FALSE(window->Timer1()->isActive());
  EXPECT_EQ(window->Timer3()->interval(), 50);
  EXPECT_TRUE(window->Timer3()->isActive());
  EXPECT_EQ(fake.remoteListenName, kPagemoorRemoteName);
}

TEST_F(JukeboxWindowTest, TheMenuBarInItsOrderDrivesTheLogic) {
  auto* bar = child<QMenuBar>("MainMenu1");
  ASSERT_NE(bar, nullptr);
  std::vector<std::string> top;
  for (QAction* a : bar->actions())
    top.push_back((a->menu() ? a->menu()->objectName() : a->objectName()).toStdString() + " " +
                  a->text().toStdString());
  EXPECT_THAT(top,
              ElementsAre("Zavrit Zavřít", "Zastavit Zastavit", "Dalsi Hrát Další", "Playlist Playlist"));
  auto* playlist = child<QMenu>("Playlist");
  ASSERT_NE(playlist, nullptr);
  std::vector<std::string> items;
  for (QAction* a : playlist->actions())
    items.push_back(a->objectName().toStdString() + " " + a->text().toStdString());
  EXPECT_THAT(items, ElementsAre("Pridat Přidat", "Odebrat Odebrat", "Nacist Načíst", "Ulozit Uložit",
                                 "Vymazat Vymazat", "Nahodne Náhodný Výběr"));

  auto* nahodne = child<QAction>("Nahodne");
  EXPECT_TRUE(nahodne->isCheckable());
  EXPECT_FALSE(nahodne->isChecked());
  nahodne->trigger();
  EXPECT_TRUE(window->jukebox().Nahodne());
  EXPECT_TRUE(nahodne->isChecked());
  nahodne->trigger();
  EXPECT_FALSE(window->jukebox().Nahodne());
  EXPECT_FALSE(nahodne->isChecked());

  // "Hrát Další" plays, Timer1 follows the advance; "Zastavit" stops it.
  window->jukebox().WMDropFiles({tmp.write("a.wav", WavBytes(4410, 1000, 1000))});
  child<QAction>("Dalsi")->trigger();
  EXPECT_EQ(window->ListBox2()->currentRow(), 0);
  EXPECT_TRUE(window->Timer1()->isActive());
  child<QAction>("Zastavit")->trigger();
  EXPECT_FALSE(window->Timer1()->isActive());

  // The add dialog goes through the platform here, with the filter as it is.
  child<QAction>("Pridat")->trigger();
  EXPECT_EQ(fake.textsOf("open"), std::vector<std::string>{kOpen1Filter});

  window->show();
  ASSERT_TRUE(window->isVisible());
  child<QAction>("Zavrit")->trigger();
  EXPECT_FALSE(window->isVisible());
}

TEST(ScreenScaleTest, FactorRoundsHalvesToEven) {
  struct Case {
    int width;
    int factor;
  };
  for (const Case& c : {Case{800, 100}, Case{1024, 128}, Case{1280, 160}, Case{640, 80}, Case{804, 100},
                        Case{812, 102}, Case{796, 100}, Case{788, 98}, Case{801, 100}, Case{1920, 240}})
    EXPECT_EQ(ScreenScaleFactor(c.width), c.factor) << c.width;
}

TEST_F(JukeboxWindowTest, ScalingMovesEveryControlAndTheWaveFollows) {
  audio::AudioEngine other;
  TPlinq_Main wide(other, nullptr, 1024);
  ASSERT_TRUE(wide.created());
  EXPECT_EQ(wide.scalePercent(), 128);
  EXPECT_EQ(wide.clientArea()->size(), QSize(584, 384));
  // Position and far edge scaled and rounded, the size their difference.
  EXPECT_EQ(wide.findChild<QWidget*>("ListBox2")->geometry(), QRect(10, 10, 391, 145));
  EXPECT_EQ(wide.findChild<QWidget*>("dxEF")->geometry(), QRect(410, 0, 165, 257));
  EXPECT_EQ(wide.findChild<QWidget*>("Echo")->geometry(), QRect(10, 41, 145, 19));
  EXPECT_EQ(wide.findChild<QWidget*>("WavePaint")->geometry(), QRect(10, 164, 391, 185));
  EXPECT_EQ(wide.font().pixelSize(), 14);
  wide.Timer3Timer();
  EXPECT_EQ(wide.waveImage().size(), QSize(391, 185));

  // 800 leaves everything as designed.
  window->ScaleToScreen(800);
  EXPECT_EQ(window->scalePercent(), 100);
  EXPECT_EQ(window->ListBox2()->geometry(), QRect(8, 8, 305, 113));
}

TEST_F(JukeboxWindowTest, DroppedFilesAreAddedAsTheyAre) {
  const std::string a = tmp.write("b.wav", WavBytes(441, 1, 1));
  const std::string list = tmp.write("a.m3u", a + "\r\n");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                QUrl::fromLocalFile(QString::fromStdString(list)), QUrl("https://example.org/c.mp3")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &drop);
  // The playlist is taken as a file, not expanded; the web address is left out.
  EXPECT_THAT(window->jukebox().ListBox1(), ElementsAre(list, a));
  ASSERT_EQ(window->ListBox2()->count(), 2);
  EXPECT_EQ(window->ListBox2()->item(0)->text(), "a.m3u");
  EXPECT_EQ(window->ListBox2()->item(1)->text(), "b.wav");
  EXPECT_EQ(window->ListBox1()->count(), 2);

  QMimeData web;
  web.setUrls({QUrl("https://example.org/c.mp3")});
  QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
  refused.ignore();
  QApplication::sendEvent(window.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(JukeboxWindowTest, ClicksOnTheTitlesAndTheSwitchesReachTheLogic) {
  Jukebox& jb = window->jukebox();
  jb.WMDropFiles(
      {tmp.write("a.wav", WavBytes(44100, 100, 100)), tmp.write("b.wav", WavBytes(44100, 200, 200))});
  QListWidget* titles = window->ListBox2();
  emit titles->itemClicked(titles->item(1));
  EXPECT_EQ(jb.pathIndex(), 1);
  EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  EXPECT_EQ(window->ListBox1()->currentRow(), 1);
  titles->setCurrentRow(0);  // as the keyboard moves it
  EXPECT_EQ(jb.pathIndex(), 0);
  EXPECT_EQ(out->render(1)[0], 100);

  child<QAbstractButton>("Echos")->click();
  EXPECT_TRUE(jb.switches().Echos);
  EXPECT_NE(jb.echoHook(), 0u);
  child<QAbstractButton>("Echos")->click();
  EXPECT_EQ(jb.echoHook(), 0u);
  child<QAbstractButton>("Surround")->click();
  EXPECT_TRUE(jb.switches().Surround);

  window->Music_Volume()->setValue(50);
  EXPECT_EQ(jb.volumePosition(), 50);
  EXPECT_EQ(out->render(1)[0], 0);
}

TEST_F(JukeboxWindowTest, TimerTicksDrawTheWaveAndSetTheMeters) {
  const auto black = [](const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; };
  window->Timer3Timer();
  const QImage& idle = window->waveImage();
  ASSERT_EQ(idle.size(), QSize(305, 145));
  EXPECT_TRUE(black(idle, 150, 72));  // a flat line at half height
  EXPECT_FALSE(black(idle, 150, 20));
  EXPECT_EQ(window->VU_Left()->value(), 0);

  Jukebox& jb = window->jukebox();
  jb.PlayFile(tmp.write("a.wav", WavBytes(44100, 16000, 8000)));
  out->render(1024);
  window->Timer3Timer();
  EXPECT_EQ(window->VU_Left()->value(), 62);
  EXPECT_EQ(window->VU_Right()->value(), 31);
  const QImage& loud = window->waveImage();
  EXPECT_TRUE(black(loud, 150, 126));
  EXPECT_FALSE(black(loud, 150, 72));

  // The advance's tick plays on once the song has ended.
  jb.WMDropFiles({tmp.file("a.wav")});
  ASSERT_TRUE(window->Timer1()->isActive());
  jb.ZastavitClick();
  jb.setTimer1Enabled(true);
  window->Timer1Timer();
  EXPECT_EQ(jb.titleIndex(), 0);
  EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
}

TEST_F(JukeboxWindowTest, ShowingCopiesTheMaskAndClosingOnlyHides) {
  window->ID3Mask()->setText("%ARTIST% - %TITLE%");
  EXPECT_EQ(window->jukebox().ID3DEF(), "%ARTIST% - %TITLE%");
  EXPECT_EQ(window->ID3DEF()->text(), "%ARTIST% - %TITLE%");
  window->show();
  EXPECT_EQ(window->ID3Mask()->text(), "%ARTIST% - %TITLE%");
  EXPECT_THAT(fake.remotePosts, ElementsAre(std::pair<std::string, int>{kCorePeerName, 1029}));

  // A remote message closes it; the window stays for the next showing.
  ASSERT_TRUE(fake.remoteHandler);
  fake.remoteHandler(1034);
  EXPECT_FALSE(window->isVisible());

  // Modally until it closes; a scripted run shows it and closes at once.
  QTimer::singleShot(0, window.get(), [this] { window->close(); });
  EXPECT_EQ(window->execModal(), 0);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(fake.remotePosts.size(), 2u);
  AnswerQueue answers;
  EXPECT_EQ(window->runScripted(answers), 0);
  EXPECT_EQ(fake.remotePosts.size(), 3u);
  EXPECT_EQ(window->modalName(), "Plinq_Main");
}

// Escape, wherever the focus is in the window, does what "Zavřít" does: the
// window goes and the music plays on.
TEST_F(JukeboxWindowTest, EscapeClosesAsZavritAndTheMusicPlaysOn) {
  window->jukebox().WMDropFiles({tmp.write("a.wav", WavBytes(44100, 1000, 1000))});
  child<QAction>("Dalsi")->trigger();
  Jukebox& jb = window->jukebox();
  ASSERT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);

  struct Case {
    const char* name;
    QWidget* target;
    Qt::KeyboardModifiers modifiers;
    bool closes;
  };
  const Case cases[] = {
      {"the window", window.get(), Qt::NoModifier, true},
      {"the play list", window->ListBox2(), Qt::NoModifier, true},
      {"the title mask", window->ID3Mask(), Qt::NoModifier, true},
      {"Shift+Escape", window->ListBox2(), Qt::ShiftModifier, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool closed = false;
    QTimer::singleShot(0, window.get(), [&] {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, c.modifiers);
      QApplication::sendEvent(c.target, &escape);
      closed = !window->isVisible();
      if (!closed) window->close();  // the showing must end either way
    });
    EXPECT_EQ(window->execModal(), 0);
    EXPECT_EQ(closed, c.closes);
    EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  }
}

TEST_F(JukeboxWindowTest, TheAddDialogMatchesExtensionsInAnyCase) {
  const QStringList filters = QtNameFilters(kOpen1Filter);
  ASSERT_EQ(filters.size(), 5);
  EXPECT_EQ(filters[2], "Streaming Files (*.[wW][aA][vV] *.[mM][pP]3)");
  EXPECT_EQ(filters[4], "All files (*)");
  // QFileSystemModel filters by these wildcards with the file system's case.
  const auto matches = [&filters](int filter, const QString& name) {
    const QString patterns = filters[filter].section('(', 1).chopped(1);
    for (const QString& p : patterns.split(' '))
      if (QRegularExpression::fromWildcard(p, Qt::CaseSensitive).match(name).hasMatch()) return true;
    return false;
  };
  for (const char* name : {"SONG.MP3", "song.mp3", "Song.Mp3", "TEMPO.MTM", "list.PQL", "list.pql"})
    EXPECT_TRUE(matches(0, name)) << name;
  EXPECT_FALSE(matches(0, "song.mp4"));
  EXPECT_FALSE(matches(1, "song.mp3"));
  EXPECT_TRUE(matches(3, "list.m3u"));

  const std::unique_ptr<QFileDialog> dialog = window->makeOpen1Dialog();
  EXPECT_EQ(dialog->objectName(), "Open1");
  // The jukebox's box: a window manager keeps it above the jukebox.
  EXPECT_EQ(dialog->parentWidget(), window.get());
  EXPECT_TRUE(dialog->isWindow());
  EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
  EXPECT_EQ(dialog->nameFilters(), filters);
  EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
  EXPECT_TRUE(dialog->selectedNameFilter().startsWith("All Supported Files"));
}

}  // namespace
}  // namespace pagemoor
