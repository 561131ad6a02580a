#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioEngine.h"
#include "common/Application.h"
#include "common/IniFile.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "support/WavFile.h"
#include "viewer/ViewerTest.h"

namespace pagemoor {
namespace {

using test::ScopedEnv;
using test::WavBytes;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Not;

// The viewer with a jukebox on the null output. The sounds: link_click and
// back_click in sounds.ini, link_on_move and back_click_error in main.ini;
// each plays only once its file is written with sound(). Names ending in
// ".wav" play as samples, the error sound ("error.WAV") on the music channel,
// so a test can tell which of the two back sounds played.
class LinksWindowTest : public test::ViewerJukeboxTest {
 protected:
  LinksWindowTest() {
    tmp.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\nback_click=back.wav\r\n");
    tmp.write("ini/main.ini", "[start]\r\nlink_on_move=hover.wav\r\nback_click_error=error.WAV\r\n");
    tmp.write("texts/index.htm", "<html><body><p>Index</p></body></html>");
    tmp.write("texts/page.htm", "<html><body><p>Page</p></body></html>");
    tmp.write("texts/page2.htm", "<html><body><p>Page 2</p></body></html>");
  }
  bool click(HtmlPaneWidget* pane, const std::string& src) {
    bool handled = true;  // the handler must set it either way
    window->htmlMainHotSpotClick(pane, src, handled);
    return handled;
  }
  // True when the action played a sample.
  bool playsSample(const std::function<void()>& action) {
    const audio::Handle before = sample();
    action();
    return sample() != before && sample() != 0;
  }
  std::vector<std::string> log() const { return window->Console().Lines(); }
  std::string mainIni() {
    FlushIniWrites();
    return tmp.read("ini/main.ini");
  }
};

// --- Link activation ---

TEST_F(LinksWindowTest, TheClickSoundPlaysFirstThenTheCommandRuns) {
  sound("sounds/click.wav");
  TfrmMain& w = open();
  struct Case {
    const char* src;
    const char* params;
  };
  const Case cases[] = {
      {"con_com:probe page2.htm", "page2.htm"},
      {"CON_COM:probe now", "now"},
      {"Con_Com:probe a%20b", "a b"},
      {"con_com:probe", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> ran;
    bool soundedBefore = false;
    const audio::Handle before = sample();
    w.Console().AddCommand("probe", "", [&](Sender, const std::string& params) {
      ran.push_back(params);
      soundedBefore = sample() != before && sample() != 0;
    });
    EXPECT_TRUE(click(w.htmlMain(), c.src)) << c.src;
    EXPECT_THAT(ran, ElementsAre(c.params)) << c.src;
    EXPECT_TRUE(soundedBefore) << c.src;
    w.Console().ClearCommands();
  }
}

TEST_F(LinksWindowTest, EveryLinkClicksAndPagesAndUnknownSchemesAreLeftToThePane) {
  sound("sounds/click.wav");
  for (const char* media : {"texts/music.MID", "texts/clip.avi", "media/Clip.Avi"}) tmp.write(media, "RIFF");
  // The reader lets each of the three media files open, once in the reading.
  fake.yesNoAnswers = {true, true, true};
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/index.htm"));
  w.htmlLeft()->LoadDocument(tmp.file("texts/index.htm"));
  struct Case {
    const char* src;
    bool handled;
    std::string opened;  // the shell's open request, empty for none
  };
  const Case cases[] = {
      {"page.htm", false, ""},
      {"page.htm#top", false, ""},
      {"#top", false, ""},
      {"readme.txt", false, ""},
      {"https://example.org/", false, ""},
      {"ftp://example.org/", false, ""},
      {"news:comp.lang", false, ""},
      // "HTTP:" in a link of another scheme does not make it a web address.
      {"x-evil://run?http:", false, ""},
      {"ssh://host/?http://x", false, ""},
      {"http://example.org/a b", true, "http://example.org/a b"},
      {"HTTP://EXAMPLE.ORG/", true, "HTTP://EXAMPLE.ORG/"},
      {"music.MID", true, tmp.file("texts/music.MID")},
      {"clip.avi", true, tmp.file("texts/clip.avi")},
      {"../media/Clip.Avi?x", true, tmp.file("media/Clip.Avi")},
  };
  for (HtmlPaneWidget* pane : {w.htmlMain(), w.htmlLeft(), w.htmlTop()}) {
    for (const Case& c : cases) {
      fake.calls.clear();
      bool handled = !c.handled;
      EXPECT_TRUE(playsSample([&] { handled = click(pane, c.src); })) << c.src;
      EXPECT_EQ(handled, c.handled) << c.src;
      if (c.opened.empty()) {
        EXPECT_THAT(fake.textsOf("shell-open"), IsEmpty()) << c.src;
      }
      if (c.opened.empty() || pane == w.htmlTop()) continue;  // the top pane shows no page here
      EXPECT_THAT(fake.textsOf("shell-open"), ElementsAre(c.opened)) << c.src;
    }
  }
  EXPECT_THAT(fake.callsOf("shell-start"), IsEmpty());
  EXPECT_EQ(fake.yesNoAnswers.size(), 0u) << "one question for each media file";
}

TEST_F(LinksWindowTest, MailtoLogsTheAddressInCapitalsAndShowsTheMailer) {
  TfrmMain& w = open();
  TfrmMailer mailer(sink);
  w.setWindows({nullptr, nullptr, &mailer, nullptr});
  EXPECT_TRUE(click(w.htmlMain(), "mailto:someone@example.org"));
  EXPECT_EQ(log().back(), "Mailer: Link: MAILTO:SOMEONE@EXAMPLE.ORG");
  ASSERT_EQ(fake.callsOf("modal").size(), 1u);
  EXPECT_EQ(fake.callsOf("modal").front().caption, mailer.modalName());

  // Without a mailer the link is still taken and logged.
  w.setWindows({});
  fake.calls.clear();
  EXPECT_TRUE(click(w.htmlLeft(), "x mailTo:Ann"));
  EXPECT_EQ(log().back(), "Mailer: Link: X MAILTO:ANN");
  EXPECT_THAT(fake.calls, IsEmpty());
}

// A folder on PATH with or without an executable "wine".
class ProgramLinkTest : public LinksWindowTest {
 protected:
  void wine(bool installed) {
    tmp.write("bin/wine", "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod(tmp.file("bin/wine").c_str(), installed ? 0755 : 0644), 0);
  }
  ScopedEnv path{"PATH", tmp.file("bin").c_str()};
};

TEST_F(ProgramLinkTest, ProgramsStartThroughWineWithTheirParametersInTheirFolder) {
  wine(true);
  tmp.write("texts/setup.exe", "MZ");
  tmp.write("bin/Tool.EXE", "MZ");
  // One yes for each of the two programs.
  fake.yesNoAnswers = {true, true};
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/index.htm"));
  const std::string setup = "wine '" + tmp.file("texts/setup.exe") + "' ";
  struct Case {
    const char* src;
    std::string commandLine;
    std::string folder;
  };
  const Case cases[] = {
      {"setup.exe -silent", setup + "-silent", tmp.file("texts/")},
      {"setup.exe?x", setup + "x", tmp.file("texts/")},
      {"setup.exe", setup, tmp.file("texts/")},
      {"setup.exe a \"b c\"", setup + "a 'b c'", tmp.file("texts/")},
      // Nothing in a link reaches the shell as syntax.
      {"setup.exe ;touch pwned", setup + "';touch' pwned", tmp.file("texts/")},
      {"setup.exe $(id)", setup + "'$(id)'", tmp.file("texts/")},
      {"../bin/Tool.EXE /s", "wine '" + tmp.file("bin/Tool.EXE") + "' /s", tmp.file("bin/")},
  };
  for (const Case& c : cases) {
    fake.calls.clear();
    fake.workingDirs.clear();
    EXPECT_TRUE(click(w.htmlMain(), c.src)) << c.src;
    EXPECT_THAT(fake.textsOf("shell-start"), ElementsAre(c.commandLine)) << c.src;
    EXPECT_THAT(fake.workingDirs, ElementsAre(c.folder)) << c.src;
  }
  EXPECT_EQ(fake.yesNoAnswers.size(), 0u) << "one question for each program";
}

// A program starts only when it is the magazine's own file and the reader
// said yes; a no holds for the rest of the reading.
TEST_F(ProgramLinkTest, NoProgramStartsWithoutTheReadersYes) {
  wine(true);
  tmp.write("texts/setup.exe", "MZ");
  // A folder beside the project, not in its TEMP.
  std::optional<ScopedEnv> systemTemp(std::in_place, "TEMP", nullptr);
  test::TempFolder elsewhere;
  systemTemp.reset();
  elsewhere.write("evil.exe", "MZ");
  ASSERT_EQ(::symlink(elsewhere.file("evil.exe").c_str(), tmp.file("texts/link.exe").c_str()), 0);
  fake.yesNoAnswers = {false};
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/index.htm"));
  w.htmlLeft()->LoadDocument(tmp.file("texts/index.htm"));
  const std::string setup = tmp.file("texts/setup.exe");

  EXPECT_TRUE(click(w.htmlMain(), "setup.exe -silent"));
  EXPECT_THAT(fake.textsOf("confirm"),
              ElementsAre("Casopis chce spustit program " + setup + " s parametry -silent. Povolit?"));
  EXPECT_EQ(log().back(), "Shell: The reader refused: " + setup + " -silent");
  EXPECT_TRUE(click(w.htmlLeft(), "../texts/SETUP.EXE"));
  EXPECT_EQ(fake.callsOf("confirm").size(), 1u) << "the no is remembered";
  EXPECT_EQ(log().back(), "Shell: Not started, the reader said no: " + setup);

  // Outside the project, by a drive, a link out of it or folder steps: refused unasked.
  const std::string up = "../../" + ExtractFileName(ExcludeTrailingSeparator(elsewhere.path())) + "/evil.exe";
  struct Case {
    std::string src;
    std::string path;
  };
  const Case refused[] = {{"file:///d:/tools/app.exe", "d:/tools/app.exe"},
                          {"link.exe", tmp.file("texts/link.exe")},
                          {up, elsewhere.file("evil.exe")}};  // the pane takes the steps
  for (const Case& c : refused) {
    EXPECT_TRUE(click(w.htmlMain(), c.src)) << c.src;
    EXPECT_EQ(log().back(), "Shell: Refused (not a file of the magazine): " + c.path) << c.src;
  }
  EXPECT_EQ(fake.callsOf("confirm").size(), 1u);
  EXPECT_THAT(fake.callsOf("shell-start"), IsEmpty());
}

TEST_F(ProgramLinkTest, WithoutWineNothingStartsAndTheLogSaysWhy) {
  wine(false);
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/index.htm"));
  EXPECT_TRUE(click(w.htmlMain(), "setup.exe -silent"));
  EXPECT_EQ(log().back(), "Shell: Wine is not installed: cannot start " + tmp.file("texts/setup.exe"));
  EXPECT_THAT(fake.callsOf("shell-start"), IsEmpty());
}

TEST_F(LinksWindowTest, WaveLinksArePlayedWithoutTheExistenceTest) {
  sound("texts/sound.wav");
  sound("texts/loud.WAV");
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/index.htm"));
  bool handled = false;
  EXPECT_TRUE(playsSample([&] { handled = click(w.htmlMain(), "sound.wav"); }));
  EXPECT_TRUE(handled);
  EXPECT_FALSE(musicPlays());
  // ".WAV" in capitals goes to the music channel.
  EXPECT_TRUE(click(w.htmlMain(), "loud.WAV"));
  EXPECT_TRUE(musicPlays());
  // A missing sound is still the jukebox's to handle: the link is taken.
  EXPECT_TRUE(click(w.htmlMain(), "gone.wav"));
  EXPECT_EQ(sample(), 0u);
}

// --- Going back ---

TEST_F(LinksWindowTest, RightClickAtTheOldestDocumentPlaysTheErrorSoundAndStillRunsTheCommand) {
  sound("sounds/back.wav");
  sound("sounds/error.WAV");
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/page.htm"));
  EXPECT_FALSE(playsSample([&] { w.htmlMainRightClick(w.htmlMain(), "link|image|word"); }));
  EXPECT_TRUE(musicPlays());
  EXPECT_EQ(w.htmlMain()->CurrentDocument(), tmp.file("texts/page.htm"));
  EXPECT_EQ(ReadIniValue(tmp.file("ini/main.ini"), "right_click", "page.htm"), "go_back_main");
}

TEST_F(LinksWindowTest, RightClickWithAnOlderDocumentPlaysTheBackSoundAndGoesBack) {
  sound("sounds/back.wav");
  sound("sounds/error.WAV");
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/page.htm"));
  w.htmlMain()->LoadDocument(tmp.file("texts/page2.htm"));
  EXPECT_TRUE(playsSample([&] { w.htmlMainRightClick(w.htmlMain(), ""); }));
  EXPECT_FALSE(musicPlays());
  EXPECT_EQ(w.htmlMain()->CurrentDocument(), tmp.file("texts/page.htm"));
}

TEST_F(LinksWindowTest, EachPaneWritesItsOwnDefaultCommandUnderThePagesFileName) {
  TfrmMain& w = open();
  struct Case {
    HtmlPaneWidget* (TfrmMain::*pane)() const;
    const char* page;
    const char* command;
  };
  const Case cases[] = {
      {&TfrmMain::htmlMain, "texts/page.htm", "go_back_main"},
      {&TfrmMain::htmlLeft, "texts/page2.htm", "go_back_left"},
      {&TfrmMain::htmlTop, "texts/index.htm", "go_back_top"},
  };
  for (const Case& c : cases) {
    HtmlPaneWidget* pane = (w.*c.pane)();
    pane->LoadDocument(tmp.file(c.page));
    w.htmlMainRightClick(pane, "");
    EXPECT_EQ(ReadIniValue(tmp.file("ini/main.ini"), "right_click", ExtractFileName(c.page)), c.command);
  }
}

TEST_F(LinksWindowTest, ThePagesRightClickCommandReplacesGoingBack) {
  tmp.write("ini/main.ini", "[right_click]\r\npage.htm=load_left index.htm\r\n");
  TfrmMain& w = open();
  w.htmlLeft()->LoadDocument(tmp.file("texts/page2.htm"));
  w.htmlLeft()->LoadDocument(tmp.file("texts/page.htm"));
  w.htmlMainRightClick(w.htmlLeft(), "");
  EXPECT_EQ(w.htmlLeft()->CurrentDocument(), tmp.file("texts/index.htm"));
  EXPECT_EQ(log().back(), "Left: Loading index.htm");
}

TEST_F(LinksWindowTest, RightClickOnTheErrorPageRunsTheDefaultWithoutWritingAKey) {
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/page2.htm"));
  w.htmlMain()->LoadDocument(tmp.file("texts/page.htm"));
  w.htmlMain()->LoadDocumentLines(w.errorPage());
  w.htmlMainRightClick(w.htmlMain(), "");
  EXPECT_EQ(w.htmlMain()->CurrentDocument(), tmp.file("texts/page2.htm"));
  EXPECT_THAT(mainIni(), Not(testing::HasSubstr("right_click")));
}

// --- Form objects ---

TEST_F(LinksWindowTest, FormObjectsShowTheirMessageInAPlainBox) {
  TfrmMain& w = open();
  SetApplicationTitle("Test Mag");
  struct Case {
    const char* kind;
    const char* value;
    bool checked;
    const char* onclick;
    const char* message;  // nullptr: none
  };
  const Case cases[] = {
      {"checkbox", "Red", true, "display", "Red is checked"},
      {"checkbox", "Red", false, "display", "Red is unchecked"},
      {"radio", "Blue", false, "display", "Blue is checked"},
      {"radio", "Blue", true, "display", "Blue is checked"},
      {"button", "Go", false, "display", nullptr},
      {"text", "abc", false, "display", nullptr},
      {"checkbox", "Red", true, "Display", "Display"},  // "display" is exact
      {"button", "Go", false, "Thanks for reading!", "Thanks for reading!"},
      {"checkbox", "Red", true, "", nullptr},
  };
  for (const Case& c : cases) {
    fake.calls.clear();
    FormControl control;
    control.kind = c.kind;
    control.value = c.value;
    control.checked = c.checked;
    control.onclick = c.onclick;
    w.htmlMainObjectClick(w.htmlMain(), control, c.onclick);
    if (c.message)
      EXPECT_THAT(fake.calls, ElementsAre(test::PlatformCall{"message", "Test Mag", c.message})) << c.onclick;
    else
      EXPECT_THAT(fake.calls, IsEmpty()) << c.kind << " " << c.onclick;
  }
  SetApplicationTitle("");
}

// --- Keys and the console button ---

TEST_F(LinksWindowTest, TheConsoleKeysShowTheConsoleFromTheMainPaneAndTheWindow) {
  TfrmMain& w = open();
  struct Case {
    char32_t key;
    bool shows;
  };
  const Case cases[] = {
      {U'`', true},  {U'~', true},  {U';', true},   {U'\u00B0', true},
      {U'a', false}, {U':', false}, {U'\'', false}, {U'\u00B4', false},
  };
  for (QWidget* target : {static_cast<QWidget*>(w.htmlMain()), static_cast<QWidget*>(&w)}) {
    for (const Case& c : cases) {
      w.Console().setVisible(false);
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(static_cast<char16_t>(c.key))));
      QApplication::sendEvent(target, &press);
      EXPECT_EQ(w.Console().Visible(), c.shows) << static_cast<int>(c.key);
    }
  }
  w.Console().setVisible(false);
}

TEST_F(LinksWindowTest, TheConsoleButtonClicksTogglesTheConsoleAndDisarmsTheHoverSound) {
  sound("sounds/click.wav");
  TfrmMain& w = open();
  w.imgDesktopMouseMove();
  ASSERT_TRUE(w.hoverSoundArmed());
  EXPECT_TRUE(playsSample([&] { w.btnConsoleClick(); }));
  EXPECT_TRUE(w.Console().Visible());
  EXPECT_FALSE(w.hoverSoundArmed());
  w.btnConsoleClick();
  EXPECT_FALSE(w.Console().Visible());
}

// --- Hover sound ---

TEST_F(LinksWindowTest, OneHoverSoundPerVisitToTheDesktopPicture) {
  sound("sounds/hover.wav");
  TfrmMain& w = open();
  // Not armed at the start.
  EXPECT_FALSE(playsSample([&] { w.htmlMainHotSpotCovered(w.htmlMain(), "a.htm"); }));

  w.imgDesktopMouseMove();
  EXPECT_EQ(w.sndLabel()->text(), "1");
  EXPECT_TRUE(playsSample([&] { w.htmlMainHotSpotCovered(w.htmlMain(), "a.htm"); }));
  EXPECT_EQ(w.sndLabel()->text(), "0");
  EXPECT_FALSE(playsSample([&] { w.htmlMainHotSpotCovered(w.htmlLeft(), "b.htm"); }));
  EXPECT_FALSE(playsSample([&] { w.htmlMainHotSpotCovered(w.htmlMain(), ""); }));
  EXPECT_FALSE(playsSample([&] { w.btnConsoleMouseMove(); }));

  // Back over the desktop: the next link, or leaving one, or the console button sounds.
  w.imgDesktopMouseMove();
  EXPECT_TRUE(playsSample([&] { w.htmlMainHotSpotCovered(w.htmlLeft(), ""); }));
  w.imgDesktopMouseMove();
  EXPECT_TRUE(playsSample([&] { w.btnConsoleMouseMove(); }));
}

TEST_F(LinksWindowTest, AMissingHoverSoundStillDisarms) {
  TfrmMain& w = open();
  w.imgDesktopMouseMove();
  w.htmlMainHotSpotCovered(w.htmlMain(), "a.htm");
  EXPECT_FALSE(w.hoverSoundArmed());
  EXPECT_THAT(fake.calls, IsEmpty());
}

// --- Timer scrolling ---

TEST_F(LinksWindowTest, TimersScrollOnePixelPerTickUntilAKeyIsReleased) {
  std::string body;
  for (int i = 0; i < 200; ++i) body += "<p>Line " + std::to_string(i) + "</p>\n";
  tmp.write("texts/long.htm", "<html><body>" + body + "</body></html>");
  tmp.write("texts/long2.htm", "<html><body>" + body + "</body></html>");
  tmp.write("ini/panes.ini",
            "[html_main]\r\nvisible=true\r\nalign=none\r\nleft=200\r\ntop=0\r\nwidth=400\r\nheight=300\r\n"
            "[html_left]\r\nvisible=true\r\nalign=none\r\nleft=0\r\ntop=0\r\nwidth=200\r\nheight=300\r\n");
  TfrmMain& w = open();
  w.show();
  w.SetUpPane(w.htmlMain(), "panes.ini");
  w.SetUpPane(w.htmlLeft(), "panes.ini");
  w.htmlMain()->LoadDocument(tmp.file("texts/long.htm"));
  w.htmlLeft()->LoadDocument(tmp.file("texts/long2.htm"));
  QApplication::processEvents();
  w.htmlMain()->setScrollPosition(50);
  w.htmlLeft()->setScrollPosition(50);
  ASSERT_EQ(w.htmlMain()->ScrollPosition(), 50);
  auto* mainDown = w.findChild<QTimer*>("tmrMainDown");
  auto* leftUp = w.findChild<QTimer*>("tmrLeftUp");

  w.StartScrollMainDown();
  EXPECT_EQ(w.scrollSelector(), 1);
  EXPECT_TRUE(mainDown->isActive());
  w.tmrMainDownTimer();
  w.tmrMainDownTimer();
  EXPECT_EQ(w.htmlMain()->ScrollPosition(), 52);
  w.tmrMainUpTimer();
  EXPECT_EQ(w.htmlMain()->ScrollPosition(), 51);
  w.tmrLeftUpTimer();  // not the left pane's turn
  EXPECT_EQ(w.htmlLeft()->ScrollPosition(), 50);

  w.StartScrollLeftUp();
  EXPECT_EQ(w.scrollSelector(), 2);
  w.tmrLeftUpTimer();
  w.tmrMainDownTimer();
  EXPECT_EQ(w.htmlLeft()->ScrollPosition(), 49);
  EXPECT_EQ(w.htmlMain()->ScrollPosition(), 51);

  // Any key released on the window stops it all.
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QApplication::sendEvent(&w, &release);
  EXPECT_EQ(w.scrollSelector(), 0);
  EXPECT_FALSE(mainDown->isActive());
  EXPECT_FALSE(leftUp->isActive());
  w.tmrLeftUpTimer();
  EXPECT_EQ(w.htmlLeft()->ScrollPosition(), 49);

  // So does the mouse over the desktop picture.
  w.StartScrollMainDown();
  w.imgDesktopMouseMove();
  EXPECT_EQ(w.scrollSelector(), 0);
  EXPECT_FALSE(mainDown->isActive());
}

}  // namespace
}  // namespace pagemoor
