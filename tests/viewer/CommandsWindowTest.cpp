// The viewer's command set, driven through the console as links, buttons and
// scripts drive it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioEngine.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "installer/InstallWindow.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/CreditsWindow.h"
#include "pictures/ImageWidget.h"
#include "pictures/PictureViewerWindow.h"
#include "platform/qt/QtText.h"
#include "viewer/ViewerTest.h"

namespace pagemoor {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

// A mono 8-bit WAV file of a few samples: enough for the engine to load.
std::string TinyWav() {
  auto u32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  };
  auto u16 = [](std::uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  };
  const std::string samples(64, static_cast<char>(0x80));
  std::string fmt = u16(1) + u16(1) + u32(8000) + u32(8000) + u16(1) + u16(8);
  return "RIFF" + u32(static_cast<std::uint32_t>(4 + 8 + fmt.size() + 8 + samples.size())) + "WAVE" + "fmt " +
         u32(static_cast<std::uint32_t>(fmt.size())) + fmt + "data" +
         u32(static_cast<std::uint32_t>(samples.size())) + samples;
}

class CommandsWindowTest : public test::ViewerTest {
 protected:
  ~CommandsWindowTest() override { dropAll(); }

  // As the program ends: the windows that log to the viewer's console first,
  // then the viewer, then the jukebox.
  void dropAll() {
    pictureViewer.reset();
    mailer.reset();
    installer.reset();
    credits.reset();
    window.reset();
    jukebox.reset();
  }

  // The viewer with every window it can open, the jukebox over a silent engine.
  TfrmMain& makeWithWindows() {
    dropAll();
    TfrmMain& w = make();
    jukebox = std::make_unique<TPlinq_Main>(engine, nullptr, 800);
    credits = std::make_unique<TfrmCredits>();
    installer = std::make_unique<TfrmInstall>(sink);
    mailer = std::make_unique<TfrmMailer>(sink);
    pictureViewer = std::make_unique<TfrmPV>(sink);
    w.setJukebox(jukebox.get());
    w.setWindows({pictureViewer.get(), installer.get(), mailer.get(), credits.get()});
    return w;
  }

  // Runs a command line and gives the log lines it wrote.
  std::vector<std::string> run(const std::string& line) {
    const std::size_t before = window->Console().Lines().size();
    window->Console().Execute(line);
    const auto& lines = window->Console().Lines();
    return {lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()};
  }

  std::vector<std::string> modalWindows() const {
    std::vector<std::string> names;
    for (const auto& call : fake.callsOf("modal")) names.push_back(call.caption);
    return names;
  }

  // The mirror log: the whole log, written after every line, also once the
  // console is gone.
  std::vector<std::string> mirrorLog(const std::string& path) const {
    const auto text = ReadTextFile(path);
    return text ? SplitLines(*text) : std::vector<std::string>{};
  }

  static std::string pageText(const HtmlPaneWidget* pane) { return pane->toPlainText().toStdString(); }

  audio::AudioEngine engine;
  std::unique_ptr<TPlinq_Main> jukebox;
  std::unique_ptr<TfrmCredits> credits;
  std::unique_ptr<TfrmInstall> installer;
  std::unique_ptr<TfrmMailer> mailer;
  std::unique_ptr<TfrmPV> pictureViewer;
};

// --- The table ----------------------------------------------------------------

struct TableRow {
  const char* name;
  const char* description;
};

TEST_F(CommandsWindowTest, TheCommandsAreRegisteredInOrderWithTheirDescriptionsAndListLast) {
  const TableRow expected[] = {
      {"show", "Zobrazí okno zadané jako parametr"},
      {"install", "Zobrazí instalátor a zadá rozbalit soubor obsažený v parametru"},
      {"message", "Zobrazí zprávu s textem v parametru"},
      {"run_script", "Spustí dávkový skript příkazů"},
      {"load_main", "Načte soubor zadaný jako parametr do hlavního textového pole"},
      {"load_left", "Načte soubor zadaný jako parametr do levého textového pole"},
      {"load_top", "Načte soubor zadaný jako parametr do horního textového pole"},
      {"exit", "Ukončí program, parametr. Použijte parametr NOW pro okamžité opuštění bez dotazu"},
      {"slideshow", "Spustí slideshow obrázků zadaných jako parametr"},
      {"play", "Přehraje zvuk nebo hudbu zadanou jako parametr"},
      {"minimize", "Minimalizuje aplikaci"},
      {"show_desktop", "Ukáže desktop"},
      {"toggle_console", "Přepne Konzoli"},
      {"go_back_left", "Přesune v levé komponentě na předchozí dokument"},
      {"go_back_top", "Přesune v horní komponentě na předchozí dokument"},
      {"go_back_main", "Přesune v hlavní komponentě na předchozí dokument"},
      {"shell_execute", "Otevře soubor zadaný v parametru ve windowsích"},
      {"fill_custom_ini", "Vyplní ini soubor údaji pro lokalizaci"},
      {"reset_buttons", "Načte znova všechny tlačítka z INI souboru"},
      {"load_top_image", "Načte obrázek titulku"},
      {"show_top_image", "Ukáže/skryje obrázek titulku"},
      {"load_desktop", "Načte obrázek plochy"},
      {"reset_main", "Nahraje nastavení textového pole MAIN na hodnoty ze souboru"},
      {"reset_left", "Nahraje nastavení textového pole LEFT na hodnoty ze souboru"},
      {"reset_top", "Nahraje nastavení textového pole TOP na hodnoty ze souboru"},
      {"load_music_list", "Nahraje seznam skladeb do jukeboxu"},
      {"list", "Lists all console commands."},
  };
  TfrmMain& w = make();
  TDebugBox2& console = w.Console();
  ASSERT_EQ(console.CommandCount(), static_cast<int>(std::size(expected)));
  std::vector<std::string> added;
  for (const std::string& line : console.Lines())
    if (line.starts_with("Console: Command added (")) added.push_back(line);
  ASSERT_EQ(added.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(console.CommandName(static_cast<int>(i)), expected[i].name);
    EXPECT_EQ(console.CommandDescription(static_cast<int>(i)), expected[i].description);
    EXPECT_EQ(added[i], "Console: Command added (" + AsciiUpper(expected[i].name) + ")");
  }
  // The registration follows the console's own start line directly.
  const auto& lines = console.Lines();
  const auto start = std::find(lines.begin(), lines.end(), "System: Initiate Console (MAIN)");
  ASSERT_NE(start, lines.end());
  EXPECT_EQ(*(start + 1), added.front());
  EXPECT_EQ(lines.back(), added.back());
}

TEST_F(CommandsWindowTest, AnUnregisteredCommandLogsTheLineThenTheBadCommandAndTellsTheUser) {
  make();
  EXPECT_THAT(run("foo bar"), ElementsAre("Console: Command FOO BAR", "Console: Bad Command (foo)"));
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Spatny prikaz konzole"));
}

// --- Windows -------------------------------------------------------------------

struct ShowCase {
  const char* line;
  std::vector<std::string> modal;  // the windows shown
  std::vector<std::string> info;   // the boxes shown
};

TEST_F(CommandsWindowTest, ShowOpensTheNamedWindowModally) {
  const ShowCase cases[] = {
      {"show cp", {"Plinq_Main"}, {}},
      {"show CP", {"Plinq_Main"}, {}},
      {"show credits", {"frmCredits"}, {}},
      {"show CREDITS", {"frmCredits"}, {}},
      {"show install", {"frmInstall"}, {}},
      {"show Mailer", {"frmMailer"}, {}},
      {"show jukebox", {}, {"Spatny parametr prikazu SHOW"}},
      {"show", {}, {"Nedostatek parametru prikazu."}},
  };
  makeWithWindows();
  for (const ShowCase& c : cases) {
    SCOPED_TRACE(c.line);
    fake.calls.clear();
    run(c.line);
    EXPECT_EQ(modalWindows(), c.modal);
    EXPECT_EQ(fake.textsOf("info"), c.info);
  }
}

TEST_F(CommandsWindowTest, ShowPutsTheBadNameIntoALocalisedMessageWithAPlaceholder) {
  SetLanguageFile(std::make_unique<LanguageFile>("[Misc]\r\nbad_parameter_for_show=No window %s here\r\n"));
  make();
  run("show Jukebox");
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("No window jukebox here"));
}

TEST_F(CommandsWindowTest, WindowsThatAreNotThereAreNotShown) {
  make();
  for (const char* line :
       {"show cp", "show credits", "show install", "show mailer", "install data.rar", "slideshow a.jpg"}) {
    SCOPED_TRACE(line);
    run(line);
  }
  EXPECT_THAT(fake.calls, IsEmpty());
}

// The installer is shown the archive as it lies on disk, whatever case the
// command gave.
TEST_F(CommandsWindowTest, InstallNamesAnExistingArchiveAndShowsTheInstallerEitherWay) {
  makeWithWindows();
  tmp.write("rars/data.rar", "Rar!");
  installer->lblName()->setText(QStringLiteral("before"));

  run("install missing.rar");
  EXPECT_EQ(installer->lblName()->text(), QStringLiteral("before"));
  EXPECT_THAT(modalWindows(), ElementsAre("frmInstall"));

  fake.calls.clear();
  run("install DATA.RAR");
  EXPECT_EQ(installer->lblName()->text(), ToQt(HostPath(ProjectDir()) + "rars/data.rar"));
  EXPECT_THAT(modalWindows(), ElementsAre("frmInstall"));
  EXPECT_THAT(fake.textsOf("info"), IsEmpty());

  fake.calls.clear();
  run("install");
  EXPECT_THAT(modalWindows(), IsEmpty());
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Nedostatek parametru prikazu."));
}

TEST_F(CommandsWindowTest, SlideshowShowsThePictureViewer) {
  makeWithWindows();
  tmp.write("pictures/a.jpg", "not really");
  run("slideshow a.jpg");
  EXPECT_THAT(modalWindows(), ElementsAre("frmPV"));
}

TEST_F(CommandsWindowTest, MessageShowsTheTextAsItIs) {
  make();
  run("message Hello  World, 100%");
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Hello  World, 100%"));
}

// --- Pages ----------------------------------------------------------------------

struct PaneCase {
  const char* command;
  const char* source;
  HtmlPaneWidget* (TfrmMain::*pane)() const;
};

const PaneCase kLoadCases[] = {
    {"load_main", "Main", &TfrmMain::htmlMain},
    {"load_left", "Left", &TfrmMain::htmlLeft},
    {"load_top", "Top", &TfrmMain::htmlTop},
};

TEST_F(CommandsWindowTest, LoadShowsTheErrorPageForAMissingPageAndThePageOtherwise) {
  tmp.write("texts/Page.HTM", "<html><body><p>The requested page</p></body></html>");
  TfrmMain& w = make();
  for (const PaneCase& c : kLoadCases) {
    SCOPED_TRACE(c.command);
    HtmlPaneWidget* pane = (w.*c.pane)();

    EXPECT_THAT(run(std::string(c.command) + " Missing.htm"),
                ElementsAre("Console: Command " + AsciiUpper(c.command) + " MISSING.HTM",
                            std::string(c.source) + ": Loading Missing.htm"));
    EXPECT_THAT(pageText(pane), HasSubstr("Opustit Program"));
    EXPECT_EQ(pane->CurrentDocument(), "");

    // The name is lower-cased; the file is found whatever its letter case.
    EXPECT_THAT(run(std::string(c.command) + " PAGE.htm"),
                ElementsAre("Console: Command " + AsciiUpper(c.command) + " PAGE.HTM",
                            std::string(c.source) + ": Loading PAGE.htm"));
    EXPECT_THAT(pageText(pane), HasSubstr("The requested page"));
    EXPECT_EQ(pane->CurrentDocument(), tmp.file("texts/Page.HTM"));

    // Loading a missing page after a good one puts the error page back.
    run(std::string(c.command) + " gone.htm");
    EXPECT_THAT(pageText(pane), HasSubstr("Opustit Program"));
  }
  EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(CommandsWindowTest, TheErrorPageLinkLeavesTheProgramAtOnce) {
  TfrmMain& w = make();
  std::vector<std::string> links;
  for (const std::string& line : w.errorPage())
    for (std::size_t at = line.find("href=\""); at != std::string::npos; at = line.find("href=\"", at + 1))
      links.push_back(line.substr(at + 6, line.find('"', at + 6) - at - 6));
  EXPECT_THAT(links, ElementsAre("con_com:exit now"));
}

struct GoBackCase {
  const char* command;
  HtmlPaneWidget* (TfrmMain::*pane)() const;
};

TEST_F(CommandsWindowTest, GoBackStepsToTheOlderDocumentAndStopsAtTheOldest) {
  const GoBackCase cases[] = {
      {"go_back_main", &TfrmMain::htmlMain},
      {"go_back_left", &TfrmMain::htmlLeft},
      {"go_back_top", &TfrmMain::htmlTop},
  };
  tmp.write("texts/one.htm", "<p>first page</p>");
  tmp.write("texts/two.htm", "<p>second page</p>");
  TfrmMain& w = make();
  for (const GoBackCase& c : cases) {
    SCOPED_TRACE(c.command);
    HtmlPaneWidget* pane = (w.*c.pane)();
    ASSERT_TRUE(pane->LoadDocument(tmp.file("texts/one.htm")));
    ASSERT_TRUE(pane->LoadDocument(tmp.file("texts/two.htm")));
    ASSERT_EQ(pane->HistoryIndex(), 0);

    run(c.command);
    EXPECT_EQ(pane->HistoryIndex(), 1);
    EXPECT_THAT(pageText(pane), HasSubstr("first page"));
    run(c.command);
    EXPECT_EQ(pane->HistoryIndex(), 1);
    EXPECT_THAT(pageText(pane), HasSubstr("first page"));
  }
  // The other panes' histories stay where they were.
  EXPECT_EQ(w.htmlMain()->HistoryIndex(), 1);
}

struct LayoutCase {
  const char* command;
  const char* section;
  HtmlPaneWidget* (TfrmMain::*pane)() const;
};

TEST_F(CommandsWindowTest, ResetPlacesThePaneFromItsLayoutFile) {
  const LayoutCase cases[] = {
      {"reset_main", "html_main", &TfrmMain::htmlMain},
      {"reset_left", "html_left", &TfrmMain::htmlLeft},
      {"reset_top", "html_top", &TfrmMain::htmlTop},
  };
  TfrmMain& w = make();
  int shift = 0;
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.command);
    shift += 10;
    const std::string name = std::string("Layout_") + c.section + ".ini";
    tmp.write("ini/" + name, std::string("[") + c.section + "]\r\nvisible=true\r\nalign=none\r\nleft=" +
                                 std::to_string(shift) + "\r\ntop=20\r\nwidth=300\r\nheight=200\r\n");
    HtmlPaneWidget* pane = (w.*c.pane)();
    run(std::string(c.command) + " " + name);
    EXPECT_FALSE(pane->isHidden());
    EXPECT_EQ(pane->geometry(), QRect(shift, 20, 300, 200));
    EXPECT_EQ(w.paneAlign(pane), PaneAlign::None);
  }
}

TEST_F(CommandsWindowTest, ShowDesktopMakesThePanesVisible) {
  TfrmMain& w = make();
  run("show_desktop");
  for (HtmlPaneWidget* pane : {w.htmlMain(), w.htmlLeft(), w.htmlTop()}) EXPECT_FALSE(pane->isHidden());
}

// --- Pictures ---------------------------------------------------------------------

TEST_F(CommandsWindowTest, ShowTopImageFollowsTheYesWords) {
  struct Case {
    const char* line;
    bool shown;
  };
  const Case cases[] = {
      {"show_top_image yes", true}, {"show_top_image no", false}, {"show_top_image TRUE", true},
      {"show_top_image", false},    {"show_top_image 1", true},   {"show_top_image maybe", false},
  };
  TfrmMain& w = make();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    w.imgTop()->setVisible(!c.shown);
    run(c.line);
    EXPECT_EQ(!w.imgTop()->isHidden(), c.shown);
  }
}

TEST_F(CommandsWindowTest, PictureCommandsLoadExistingPicturesAndIgnoreMissingOnes) {
  QImage image(4, 3, QImage::Format_RGB32);
  image.fill(Qt::red);
  CreateFolder(tmp.file("pictures"));
  ASSERT_TRUE(image.save(QString::fromStdString(tmp.file("pictures/Title.png")), "PNG"));
  TfrmMain& w = make();
  struct Case {
    const char* command;
    ImageWidget* (TfrmMain::*picture)() const;
  };
  const Case cases[] = {{"load_top_image", &TfrmMain::imgTop}, {"load_desktop", &TfrmMain::imgDesktop}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ImageWidget* picture = (w.*c.picture)();
    EXPECT_THAT(run(std::string(c.command) + " missing.jpg"),
                ElementsAre("Console: Command " + AsciiUpper(c.command) + " MISSING.JPG"));
    EXPECT_FALSE(picture->hasPicture());

    run(std::string(c.command) + " Title.png");
    EXPECT_TRUE(picture->hasPicture());
    EXPECT_EQ(picture->picture().size(), QSize(4, 3));
  }
  EXPECT_THAT(fake.calls, IsEmpty());
}

// --- Sound and music --------------------------------------------------------------

TEST_F(CommandsWindowTest, PlayLogsTwiceAndHandsTheLowerCasedFileToTheJukebox) {
  tmp.write("sounds/click.wav", TinyWav());
  makeWithWindows();

  EXPECT_THAT(run("play Click.WAV"), ElementsAre("Console: Command PLAY CLICK.WAV",
                                                 "Sound: Playing Click.WAV", "Sound: Play click.wav"));
  EXPECT_NE(jukebox->jukebox().LastSample(), 0u);

  // Not tested for existence here: the jukebox says the music is missing.
  EXPECT_THAT(run("play Song.MP3"), ElementsAre("Console: Command PLAY SONG.MP3", "Sound: Playing Song.MP3",
                                                "Sound: Play song.mp3"));
  ASSERT_EQ(fake.textsOf("info").size(), 1u);
  EXPECT_THAT(fake.textsOf("info")[0], HasSubstr(HostPath(ProjectDir()) + "sounds/song.mp3"));
}

TEST_F(CommandsWindowTest, TheWindowsHandedOverPlayTheirClickSoundsThroughTheViewer) {
  tmp.write("sounds/click.wav", TinyWav());
  tmp.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  struct Case {
    const char* name;
    std::function<void()> click;
  };
  const Case cases[] = {
      {"picture viewer", [this] { pictureViewer->imgBackClick(); }},
      {"installer", [this] { installer->btnFileClick(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeWithWindows();
    ASSERT_EQ(jukebox->jukebox().LastSample(), 0u);
    c.click();
    EXPECT_NE(jukebox->jukebox().LastSample(), 0u);
  }
}

TEST_F(CommandsWindowTest, LoadMusicListReplacesTheJukeboxListWhenTheFileExists) {
  makeWithWindows();
  const std::string first = tmp.write("music/one.mp3", "x");
  const std::string second = tmp.write("music/two.mp3", "y");
  tmp.write("ini/music.m3u", first + "\r\n" + second + "\r\n");
  jukebox->jukebox().WMDropFiles({tmp.write("music/old.mp3", "z")});

  EXPECT_THAT(run("load_music_list nothing.m3u"),
              ElementsAre("Console: Command LOAD_MUSIC_LIST NOTHING.M3U", "Sound: LoadList (nothing.m3u)"));
  EXPECT_THAT(jukebox->jukebox().ListBox1(), ElementsAre(tmp.file("music/old.mp3")));

  EXPECT_THAT(run("load_music_list music.m3u"),
              ElementsAre("Console: Command LOAD_MUSIC_LIST MUSIC.M3U", "Sound: LoadList (music.m3u)"));
  EXPECT_THAT(jukebox->jukebox().ListBox1(), ElementsAre(first, second));
  EXPECT_EQ(jukebox->jukebox().ListBox2().size(), 2u);
}

// --- Scripts ----------------------------------------------------------------------

TEST_F(CommandsWindowTest, RunScriptRunsEveryLineInOrderThroughTheConsole) {
  tmp.write("texts/a.htm", "<p>script page</p>");
  tmp.write("scripts/intro.txt", "load_main a.htm\r\n; a comment\r\nplay click.wav\r\nmessage done\r\n");
  TfrmMain& w = make();

  const std::vector<std::string> lines = run("run_script INTRO.TXT");

  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "Console: Command RUN_SCRIPT INTRO.TXT");
  EXPECT_THAT(lines[1], testing::StartsWith("System: Running Script "));
  EXPECT_THAT(lines[1], HasSubstr("intro.txt"));
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 2, lines.end()),
              ElementsAre("Console: Command LOAD_MAIN A.HTM", "Main: Loading a.htm",
                          "Console: Command PLAY CLICK.WAV", "Sound: Playing click.wav",
                          "Sound: Play click.wav", "Console: Command MESSAGE DONE", "System: Ending Script"));
  EXPECT_THAT(pageText(w.htmlMain()), HasSubstr("script page"));
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("done"));
}

TEST_F(CommandsWindowTest, RunScriptWithoutANameTellsTheUserAndLogsNothing) {
  make();
  EXPECT_THAT(run("run_script"), ElementsAre("Console: Command RUN_SCRIPT "));
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Nedostatek parametru prikazu."));
}

// --- Ending the reading -----------------------------------------------------------

struct ExitCase {
  const char* line;
  std::optional<bool> answer;  // nothing: not asked
  bool ends;
};

TEST_F(CommandsWindowTest, ExitNowEndsWithoutAskingAndExitAloneAsks) {
  const ExitCase cases[] = {
      {"exit now", std::nullopt, true},
      {"exit NOW", std::nullopt, true},
      {"con_com:exit now", std::nullopt, true},
      {"exit", true, true},
      {"exit", false, false},
      {"exit later", true, true},
  };
  for (const ExitCase& c : cases) {
    SCOPED_TRACE(std::string(c.line) + (c.answer ? (*c.answer ? " / yes" : " / no") : ""));
    fake.calls.clear();
    if (c.answer) fake.yesNoAnswers = {*c.answer};
    TfrmMain& w = make();
    int terminated = 0;
    w.setTerminate([&] { ++terminated; });
    const std::string mirror = w.Console().MirrorLogPath();

    w.Console().Execute(c.line);

    EXPECT_EQ(fake.callsOf("confirm").size(), c.answer ? 1u : 0u);
    EXPECT_EQ(terminated, c.ends ? 1 : 0);
    const std::vector<std::string> log = mirrorLog(mirror);
    ASSERT_FALSE(log.empty());
    if (c.ends) {
      // The console's closing lines come right after the end and are the last.
      const auto end = std::find(log.begin(), log.end(), "System: Terminate No Ask");
      ASSERT_NE(end, log.end());
      EXPECT_EQ(*(end + 1), "System: Initiate Shutdown");
      EXPECT_EQ(log.back(), "System: Shutdown Completed");
    } else {
      EXPECT_THAT(log.back(), testing::StartsWith("End: "));
    }
    window.reset();
    // The viewer going writes no second set of closing lines.
    const std::vector<std::string> after = mirrorLog(mirror);
    EXPECT_EQ(std::count(after.begin(), after.end(), "System: Shutdown Completed"), 1);
  }
}

TEST_F(CommandsWindowTest, ExitInAScriptStopsTheScriptThere) {
  tmp.write("scripts/leave.txt", "message before\r\nexit now\r\nmessage after\r\nexit\r\n");
  tmp.write("scripts/outer.txt", "run_script leave.txt\r\nmessage outer after\r\n");
  for (const char* line : {"run_script leave.txt", "run_script outer.txt"}) {
    SCOPED_TRACE(line);
    fake.calls.clear();
    TfrmMain& w = make();
    int terminated = 0;
    w.setTerminate([&] { ++terminated; });
    const std::string mirror = w.Console().MirrorLogPath();

    w.Console().Execute(line);

    EXPECT_EQ(terminated, 1);
    EXPECT_THAT(fake.textsOf("info"), ElementsAre("before"));
    EXPECT_THAT(fake.callsOf("confirm"), IsEmpty());
    const std::vector<std::string> log = mirrorLog(mirror);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "System: Shutdown Completed");
    EXPECT_EQ(std::count(log.begin(), log.end(), "Console: Command MESSAGE AFTER"), 0);
    window.reset();
  }
}

TEST_F(CommandsWindowTest, AnEndCommandOfExitDoesNotAskOrEndASecondTime) {
  tmp.write("ini/main.ini", "[start]\r\nend_command=exit\r\n");
  tmp.write("ini/end.ini", "Leave?\r\n");
  TfrmMain& w = make();
  int terminated = 0;
  w.setTerminate([&] { ++terminated; });
  const std::string mirror = w.Console().MirrorLogPath();
  fake.yesNoAnswers = {true};

  w.Console().Execute("exit");

  EXPECT_THAT(fake.textsOf("confirm"), ElementsAre("Leave?"));
  EXPECT_EQ(terminated, 1);
  const std::vector<std::string> log = mirrorLog(mirror);
  EXPECT_EQ(std::count(log.begin(), log.end(), "End: Leave?"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "System: Terminate No Ask"), 1);
}

// --- The shell, the window, the console ---------------------------------------------

TEST_F(CommandsWindowTest, ShellExecuteOpensTheTargetUnchangedAfterMinimising) {
  TfrmMain& w = make();
  w.show();
  fake.calls.clear();

  EXPECT_THAT(run("shell_execute http://example.org/A Page.html"),
              ElementsAre("Console: Command SHELL_EXECUTE HTTP://EXAMPLE.ORG/A PAGE.HTML",
                          "Shell: Execute http://example.org/A Page.html", "System: Minimize"));
  EXPECT_THAT(fake.textsOf("shell-open"), ElementsAre("http://example.org/A Page.html"));
  EXPECT_TRUE(w.isMinimized());
  EXPECT_THAT(fake.textsOf("info"), IsEmpty());
}

TEST_F(CommandsWindowTest, ShellExecuteWithoutATargetTellsTheUser) {
  TfrmMain& w = make();
  w.show();
  fake.calls.clear();
  EXPECT_THAT(run("shell_execute"), ElementsAre("Console: Command SHELL_EXECUTE ", "Shell: Execute ",
                                                "Shell: Not enough parameters for EXECUTE"));
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Malo parametru pro SHELL_EXECUTE"));
  EXPECT_THAT(fake.textsOf("shell-open"), IsEmpty());
  EXPECT_FALSE(w.isMinimized());
}

// A shell command hands out web addresses, and the magazine's own files once
// the reader said yes; nothing else. The window is minimised only when
// something goes out.
TEST_F(CommandsWindowTest, ShellExecuteOpensOnlyWebAddressesAndTheMagazinesFilesAfterYes) {
  tmp.write("docs/readme.txt", "hi");
  tmp.write("tools/run.desktop", "[Desktop Entry]\nExec=id\n");
  TfrmMain& w = make();
  w.show();
  fake.calls.clear();
  fake.yesNoAnswers = {false, true};
  const std::string scheme = "Shell: Refused (only http, https, mailto and ftp addresses go out): ";
  const std::string notOurs = "Shell: Refused (not a file of the magazine): ";
  const std::string desktop = tmp.file("tools/run.desktop");
  struct Case {
    std::string params;
    std::string lastLine;
  };
  const Case refused[] = {
      {"file:///usr/bin/id", scheme + "file:///usr/bin/id"},
      {"ssh://host/", scheme + "ssh://host/"},
      {"smb://server/share", scheme + "smb://server/share"},
      {"x-evil://run?http:", scheme + "x-evil://run?http:"},
      {"/usr/bin/id", notOurs + "/usr/bin/id"},
      {"../../../../../../etc/passwd", notOurs + tmp.file("../../../../../../etc/passwd")},
      {"tools/run.desktop", "Shell: The reader refused: " + desktop},
      {"TOOLS\\Run.Desktop", "Shell: Not started, the reader said no: " + desktop},
  };
  for (const Case& c : refused) {
    const std::vector<std::string> lines = run("shell_execute " + c.params);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), c.lastLine) << c.params;
    EXPECT_FALSE(w.isMinimized()) << c.params;
  }
  EXPECT_THAT(fake.textsOf("shell-open"), IsEmpty());
  EXPECT_THAT(fake.textsOf("confirm"),
              ElementsAre("Casopis chce otevrit soubor " + desktop + " programem, ktery k nemu patri. Povolit?"));

  EXPECT_EQ(run("shell_execute docs\\readme.txt").back(), "System: Minimize");
  EXPECT_THAT(fake.textsOf("shell-open"), ElementsAre(tmp.file("docs/readme.txt")));
  EXPECT_EQ(fake.callsOf("confirm").size(), 2u);
  EXPECT_TRUE(w.isMinimized());
}

TEST_F(CommandsWindowTest, MinimizeMinimisesTheWindow) {
  TfrmMain& w = make();
  w.show();
  run("minimize");
  EXPECT_TRUE(w.isMinimized());
}

TEST_F(CommandsWindowTest, ToggleConsoleFlipsItsVisibility) {
  TfrmMain& w = make();
  ASSERT_FALSE(w.Console().Visible());
  run("toggle_console");
  EXPECT_TRUE(w.Console().Visible());
  run("toggle_console");
  EXPECT_FALSE(w.Console().Visible());
}

TEST_F(CommandsWindowTest, FillCustomIniWritesTheLocalisationFileBesideTheProgram) {
  make();
  EXPECT_THAT(run("fill_custom_ini"),
              ElementsAre("Console: Command FILL_CUSTOM_INI ", "Shell: Fill Custom INI"));
  const auto written = ReadTextFile(ProgramDir() + "Custom.ini");
  ASSERT_TRUE(written.has_value());
  EXPECT_THAT(*written, HasSubstr("frmMain"));
}

}  // namespace
}  // namespace pagemoor
