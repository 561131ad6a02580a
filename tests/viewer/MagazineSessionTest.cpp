#include "viewer/MagazineSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "console/DebugBox2.h"
#include "console/ScriptRunner.h"
#include "hypertext/PageModel.h"
#include "hypertext/References.h"
#include "platform/Platform.h"
#include "support/FakePlatform.h"
#include "support/LogConsole.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

// The session against a screen that only records: what a click, a key, a
// command or the start asks of the screen, in order, with no window at all.

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::ScopedCommandLine;
using test::ScopedEnv;
using test::TempFolder;
using testing::ElementsAre;
using testing::IsEmpty;

const char* NameOf(Pane pane) {
  return pane == Pane::Main ? "Main" : pane == Pane::Left ? "Left" : "Top";
}

// A screen with panes that keep a history of the files they showed, newest
// first, as the hypertext pane does. Every request is written to `events`.
class FakeScreen : public ViewerScreen {
 public:
  struct PaneState {
    std::vector<std::string> history;  // newest first
    int index = 0;
    std::string shown;  // the file shown; "<error page>" for lines
    bool visible = false;
    int scroll = 0;
    std::string covered;
    std::optional<PanePlacement> placement;
  };

  std::map<Pane, PaneState> panes;
  std::vector<std::string> events;
  std::vector<ButtonRecord> buttons;
  std::map<int, int> frames;
  // Called at every event, so a test can look at the moment it happens.
  std::function<void(const std::string&)> onEvent;

  void event(const std::string& text) {
    events.push_back(text);
    if (onEvent) onEvent(text);
  }

  void showPageLines(Pane pane, const std::vector<std::string>& lines) override {
    panes[pane].shown = lines == MagazineSession::errorPage() ? "<error page>" : "<lines>";
    event(std::string("lines ") + NameOf(pane));
  }
  bool showPageFile(Pane pane, const std::string& path) override {
    const auto found = ResolveExisting(path);
    if (!found) return false;
    PaneState& state = panes[pane];
    state.history.insert(state.history.begin(), *found);
    state.index = 0;
    state.shown = *found;
    event(std::string("file ") + NameOf(pane) + " " + ExtractFileName(*found));
    return true;
  }
  void setPaneVisible(Pane pane, bool visible) override { panes[pane].visible = visible; }
  void placePane(Pane pane, const PanePlacement& placement) override { panes[pane].placement = placement; }
  int historyIndex(Pane pane) const override { return state(pane).index; }
  int historyCount(Pane pane) const override { return static_cast<int>(state(pane).history.size()); }
  void setHistoryIndex(Pane pane, int index) override {
    PaneState& s = panes[pane];
    s.index = index;
    s.shown = s.history.at(static_cast<std::size_t>(index));
    event(std::string("history ") + NameOf(pane) + " " + std::to_string(index));
  }
  std::string currentDocument(Pane pane) const override {
    const std::string& shown = state(pane).shown;
    return shown.starts_with("<") ? std::string() : shown;
  }
  std::string expandReference(Pane pane, const std::string& reference) const override {
    return ExpandReference(reference, currentDocument(pane), {});
  }
  std::string coveredLink(Pane pane) const override { return state(pane).covered; }
  int scrollPosition(Pane pane) const override { return state(pane).scroll; }
  void setScrollPosition(Pane pane, int position) override { panes[pane].scroll = position; }
  void loadPicture(Picture picture, const std::string& path) override {
    event(std::string("picture ") + (picture == Picture::Top ? "Top " : "Desktop ") + ExtractFileName(path));
  }
  void setPictureVisible(Picture, bool visible) override { event(visible ? "title shown" : "title hidden"); }
  void createButtons(const std::vector<ButtonRecord>& records) override {
    buttons = records;
    event("buttons " + std::to_string(records.size()));
  }
  void destroyButtons() override {
    buttons.clear();
    frames.clear();
  }
  void setButtonFrame(int number, int frame) override { frames[number] = frame; }
  void resetCursors() override { event("cursors reset"); }
  void loadCursor(int slot, const std::string& path) override {
    event("cursor " + std::to_string(slot) + " " + ExtractFileName(path));
  }
  void applyCursors() override { event("cursors applied"); }
  void startScrollTimer(ScrollTimer timer) override {
    event("timer " + std::to_string(static_cast<int>(timer)));
  }
  void stopScrollTimers() override { event("timers stopped"); }
  void playSound(const std::string& path, bool asSample) override {
    event(std::string(asSample ? "sample " : "music ") + ExtractFileName(path));
  }
  void loadMusicList(const std::string& path) override { event("music list " + ExtractFileName(path)); }
  void startJukebox() override { event("jukebox started"); }
  void pauseMusic() override { event("music paused"); }
  void resumeMusic() override { event("music resumed"); }
  void showWindowModally(ViewerWindow window) override {
    event("modal " + std::to_string(static_cast<int>(window)));
  }
  bool hasWindow(ViewerWindow) const override { return true; }
  void setInstallerArchive(const std::string& shownPath) override {
    event("archive " + ExtractFileName(shownPath));
  }
  void startSlideShow(const std::string& params) override { event("slideshow " + params); }
  void minimise() override { event("minimised"); }
  void setTitle(const std::string& title) override { event("title " + title); }
  void setConsoleButtonVisible(bool visible) override {
    event(visible ? "console button" : "no console button");
  }
  void showThinking(const std::string& text) override { event("thinking " + text); }
  void hideThinking() override { event("thinking done"); }
  void applyLanguage() override { event("language"); }
  bool fillCustomIni() override { return true; }
  void hoverSoundArmedChanged(bool armed) override { event(armed ? "armed" : "disarmed"); }
  void buttonUnderMouseChanged(int number) override { event("under mouse " + std::to_string(number)); }

 private:
  const PaneState& state(Pane pane) const {
    static const PaneState none;
    const auto it = panes.find(pane);
    return it == panes.end() ? none : it->second;
  }
};

class MagazineSessionTest : public testing::Test {
 protected:
  MagazineSessionTest() {
    SetLanguageFile(nullptr);
    tmp.write("MAG.UNP", "[uniproject]\r\nname=Test Mag\r\n");
    session.registerCommands();
    session.setScripts(std::make_unique<ScriptRunner>(
        console.sink, [this](const std::string& line) {
          if (live) console.Execute(line);
        }));
    // A command of the test's own: what it saw of the screen when it ran.
    console.AddCommand("probe", "", [this](Sender, const std::string&) {
      probes.push_back(screen.panes[Pane::Main].shown.empty()
                           ? "<nothing>"
                           : ExtractFileName(screen.panes[Pane::Main].shown));
    });
    console.AddCommand("end", "", [this](Sender, const std::string&) { live = false; });
  }
  ~MagazineSessionTest() override {
    SetLanguageFile(nullptr);
    ClearIniCache();
  }

  // Events of one kind (their first word), in order.
  std::vector<std::string> eventsOf(const std::string& kind) const {
    std::vector<std::string> found;
    for (const std::string& e : screen.events)
      if (e.starts_with(kind + " ") || e == kind) found.push_back(e);
    return found;
  }
  void page(const std::string& name) { tmp.write("texts/" + name, "<p>" + name + "</p>"); }

  TempFolder tmp;
  ScopedEnv temp{"TEMP", tmp.file("tmp").c_str()};
  ScopedEnv state{"XDG_STATE_HOME", tmp.file("state").c_str()};
  ScopedCommandLine commandLine{tmp.file("MAG.EXE"), {"/develope"}};
  FakePlatform fake;
  ScopedPlatform use{fake};
  // Subscribed to the log the session writes to, as the program's console is.
  test::LogConsole console;
  bool live = true;
  FakeScreen screen;
  MagazineSession session{
      screen, console.sink, SessionConsole{[this]() -> TDebugBox2& { return console; }, [this] { return live; }}};
  std::vector<std::string> probes;
};

// --- The command table ---

TEST_F(MagazineSessionTest, RegistersTheCommandLanguageInItsOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < console.CommandCount(); ++i) names.push_back(console.CommandName(i));
  EXPECT_THAT(names,
              ElementsAre("show", "install", "message", "run_script", "load_main", "load_left", "load_top",
                          "exit", "slideshow", "play", "minimize", "show_desktop", "toggle_console",
                          "go_back_left", "go_back_top", "go_back_main", "shell_execute", "fill_custom_ini",
                          "reset_buttons", "load_top_image", "show_top_image", "load_desktop", "reset_main",
                          "reset_left", "reset_top", "load_music_list", "probe", "end"));
}

TEST_F(MagazineSessionTest, LoadCommandsShowTheErrorPageFirstAndThenThePageWhenItIsThere) {
  page("Page.HTM");
  struct Case {
    const char* line;
    Pane pane;
    const char* shown;  // the file name, or the error page
    const char* logged;
  };
  const Case cases[] = {
      {"load_main PAGE.htm", Pane::Main, "Page.HTM", "Main: Loading PAGE.htm"},
      {"load_left page.htm", Pane::Left, "Page.HTM", "Left: Loading page.htm"},
      {"load_top page.htm", Pane::Top, "Page.HTM", "Top: Loading page.htm"},
      {"load_main missing.htm", Pane::Main, "<error page>", "Main: Loading missing.htm"},
  };
  for (const Case& c : cases) {
    screen.events.clear();
    console.Dispatch(c.line);
    EXPECT_EQ(console.Lines().back(), c.logged) << c.line;
    ASSERT_FALSE(screen.events.empty()) << c.line;
    EXPECT_EQ(screen.events.front(), std::string("lines ") + NameOf(c.pane)) << c.line;
    const std::string& shown = screen.panes[c.pane].shown;
    EXPECT_EQ(shown.starts_with("<") ? shown : ExtractFileName(shown), c.shown) << c.line;
  }
}

TEST_F(MagazineSessionTest, GoingBackMovesOneDocumentOlderAndStopsAtTheOldest) {
  page("one.htm");
  page("two.htm");
  console.Dispatch("load_left one.htm");
  console.Dispatch("load_left two.htm");
  console.Dispatch("go_back_left");
  EXPECT_EQ(ExtractFileName(screen.panes[Pane::Left].shown), "one.htm");
  screen.events.clear();
  console.Dispatch("go_back_left");
  EXPECT_THAT(eventsOf("history"), IsEmpty());
  EXPECT_EQ(ExtractFileName(screen.panes[Pane::Left].shown), "one.htm");
}

TEST_F(MagazineSessionTest, CommandsShowWhatTheyNameOnTheScreen) {
  tmp.write("pictures/title.gif", "GIF89a");
  tmp.write("pictures/desk.jpg", "x");
  tmp.write("rars/pack.rar", "Rar!");
  tmp.write("ini/songs.ini", "[1]\r\n");
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"show cp", {"modal 0"}},
      {"show credits", {"modal 1"}},
      {"show INSTALL", {"modal 2"}},
      {"show mailer", {"modal 3"}},
      {"install PACK.RAR", {"archive pack.rar", "modal 2"}},
      {"install missing.rar", {"modal 2"}},
      {"load_top_image title.gif", {"picture Top title.gif"}},
      {"load_top_image none.gif", {}},
      {"load_desktop desk.jpg", {"picture Desktop desk.jpg"}},
      {"show_top_image ano", {"title shown"}},
      {"show_top_image ne", {"title hidden"}},
      {"slideshow a.jpg b.jpg", {"slideshow a.jpg b.jpg"}},
      {"minimize", {"minimised"}},
      {"load_music_list songs.ini", {"music list songs.ini"}},
      {"load_music_list none.ini", {}},
  };
  for (const auto& [line, expected] : cases) {
    screen.events.clear();
    console.Dispatch(line);
    EXPECT_EQ(screen.events, expected) << line;
  }
}

TEST_F(MagazineSessionTest, ResettingAPaneReadsItsSectionWithThePanesOwnDefaults) {
  tmp.write("ini/panes.ini",
            "[html_main]\r\nvisible=false\r\nalign=client\r\nleft=5\r\ntop=6\r\nwidth=300\r\nheight=x\r\n"
            "[html_left]\r\nalign=RIGHT\r\nwidth=120\r\n");
  struct Case {
    const char* line;
    Pane pane;
    bool visible;
    PaneAlign align;
    int left, top, width, height;
  };
  const Case cases[] = {
      {"reset_main panes.ini", Pane::Main, false, PaneAlign::Client, 5, 6, 300, 1},
      {"reset_left panes.ini", Pane::Left, false, PaneAlign::Right, 1, 1, 120, 1},
      {"reset_top panes.ini", Pane::Top, false, PaneAlign::Top, 1, 1, 1, 1},
      {"reset_main none.ini", Pane::Main, true, PaneAlign::None, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    screen.panes[c.pane].placement.reset();
    console.Dispatch(c.line);
    ASSERT_TRUE(screen.panes[c.pane].placement) << c.line;
    const PanePlacement& p = *screen.panes[c.pane].placement;
    EXPECT_EQ(p.visible, c.visible) << c.line;
    EXPECT_EQ(p.align, c.align) << c.line;
    EXPECT_EQ((std::vector<int>{p.left, p.top, p.width, p.height}),
              (std::vector<int>{c.left, c.top, c.width, c.height}))
        << c.line;
  }
}

TEST_F(MagazineSessionTest, ACommandLineAfterTheEndOfTheReadingDoesNothing) {
  page("page.htm");
  live = false;
  console.Dispatch("load_main page.htm");
  console.Dispatch("show cp");
  EXPECT_THAT(screen.events, IsEmpty());
}

// --- Links ---

TEST_F(MagazineSessionTest, LinksAreToldApartAndOnlyPagesAreLeftToThePane) {
  tmp.write("sounds/click.wav", "RIFF");
  tmp.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  tmp.write("texts/tune.wav", "RIFF");
  page("index.htm");
  console.Dispatch("load_main index.htm");
  struct Case {
    const char* link;
    bool handled;
    std::vector<std::string> events;  // after the click sound
    const char* logged;               // the console's last line, or null
  };
  const Case cases[] = {
      {"other.htm", false, {}, nullptr},
      {"#anchor", false, {}, nullptr},
      {"tune.wav", true, {"sample tune.wav"}, nullptr},
      {"mailto:someone@example.org", true, {"modal 3"}, "Mailer: Link: MAILTO:SOMEONE@EXAMPLE.ORG"},
      {"con_com:show cp", true, {"modal 0"}, nullptr},
      {"x-other:thing", false, {}, nullptr},
  };
  for (const Case& c : cases) {
    screen.events.clear();
    bool handled = !c.handled;
    session.hotSpotClick(Pane::Main, c.link, handled);
    EXPECT_EQ(handled, c.handled) << c.link;
    ASSERT_FALSE(screen.events.empty()) << c.link;
    EXPECT_EQ(screen.events.front(), "sample click.wav") << c.link;
    EXPECT_EQ(std::vector<std::string>(screen.events.begin() + 1, screen.events.end()), c.events) << c.link;
    if (c.logged) {
      EXPECT_EQ(console.Lines().back(), c.logged) << c.link;
    }
  }
}

TEST_F(MagazineSessionTest, AWebLinkGoesToTheDesktopAsItWasGiven) {
  bool handled = false;
  session.hotSpotClick(Pane::Left, "http://example.org/a?b=c", handled);
  EXPECT_TRUE(handled);
  EXPECT_THAT(fake.textsOf("shell-open"), ElementsAre("http://example.org/a?b=c"));
}

TEST_F(MagazineSessionTest, ALinksCommandLeavesWhatTheReaderIsTypingInTheConsole) {
  console.setEditText("half typ");
  bool handled = false;
  session.hotSpotClick(Pane::Main, "con_com:show cp", handled);
  EXPECT_THAT(screen.events, ElementsAre("modal 0"));
  EXPECT_EQ(console.EditText(), "half typ");
}

TEST_F(MagazineSessionTest, APaneReloadedByItsOwnLinkChangesOnlyAfterTheLinksCommandsHaveRun) {
  page("old.htm");
  page("new.htm");
  tmp.write("scripts/go", "load_main new.htm\r\nprobe\r\n");
  struct Case {
    Pane clicked;
    const char* seenByTheNextLine;
  };
  // From another pane the load is at once; from the main pane itself it waits.
  const Case cases[] = {{Pane::Left, "new.htm"}, {Pane::Main, "old.htm"}};
  for (const Case& c : cases) {
    console.Dispatch("load_main old.htm");
    probes.clear();
    bool handled = false;
    session.hotSpotClick(c.clicked, "con_com:run_script go", handled);
    EXPECT_THAT(probes, ElementsAre(c.seenByTheNextLine)) << NameOf(c.clicked);
    EXPECT_EQ(ExtractFileName(screen.panes[Pane::Main].shown), "new.htm") << NameOf(c.clicked);
  }
}

TEST_F(MagazineSessionTest, AReloadWaitingForItsPaneIsDroppedWhenTheReadingEndsMeanwhile) {
  page("old.htm");
  page("new.htm");
  tmp.write("scripts/go", "load_main new.htm\r\nend\r\n");
  console.Dispatch("load_main old.htm");
  bool handled = false;
  session.hotSpotClick(Pane::Main, "con_com:run_script go", handled);
  EXPECT_EQ(ExtractFileName(screen.panes[Pane::Main].shown), "old.htm");
}

TEST_F(MagazineSessionTest, ARightClickPlaysItsSoundAndRunsThePagesCommandOrGoesBack) {
  tmp.write("sounds/back.wav", "RIFF");
  tmp.write("sounds/oldest.wav", "RIFF");
  tmp.write("ini/sounds.ini", "[start]\r\nback_click=back.wav\r\n");
  tmp.write("ini/main.ini",
            "[start]\r\nback_click_error=oldest.wav\r\n[right_click]\r\nspecial.htm=show cp\r\n");
  page("one.htm");
  page("two.htm");
  page("special.htm");
  struct Case {
    Pane pane;
    std::vector<const char*> loaded;
    std::vector<std::string> events;  // after the loads
  };
  const Case cases[] = {
      {Pane::Top, {"one.htm"}, {"sample oldest.wav"}},
      {Pane::Top, {"one.htm", "two.htm"}, {"sample back.wav", "history Top 1"}},
      {Pane::Main, {"one.htm", "special.htm"}, {"sample back.wav", "modal 0"}},
  };
  for (const Case& c : cases) {
    screen.panes.erase(c.pane);
    const std::string load = c.pane == Pane::Main ? "load_main " : "load_top ";
    for (const char* name : c.loaded) console.Dispatch(load + name);
    screen.events.clear();
    session.rightClick(c.pane);
    EXPECT_EQ(screen.events, c.events) << NameOf(c.pane) << " " << c.loaded.size();
  }
  // The default command was written under the page's name: the author finds it.
  EXPECT_EQ(ReadIniValue(tmp.file("ini/main.ini"), "right_click", "one.htm"), "go_back_top");
}

TEST_F(MagazineSessionTest, FormObjectsShowTheirMessage) {
  FormControl box;
  box.kind = "checkbox";
  box.value = "Tea";
  session.objectClick(box, "display");
  box.checked = true;
  session.objectClick(box, "display");
  FormControl radio;
  radio.kind = "radio";
  radio.value = "Red";
  session.objectClick(radio, "display");
  FormControl text;
  text.kind = "text";
  session.objectClick(text, "display");
  session.objectClick(text, "");
  session.objectClick(text, "Hello");
  EXPECT_THAT(fake.textsOf("message"),
              ElementsAre("Tea is unchecked", "Tea is checked", "Red is checked", "Hello"));
}

// --- Hover, keys, scrolling ---

TEST_F(MagazineSessionTest, OneHoverSoundPerVisitToTheDesktop) {
  tmp.write("sounds/hover.wav", "RIFF");
  tmp.write("ini/main.ini", "[start]\r\nlink_on_move=hover.wav\r\n");
  session.hotSpotCovered();
  EXPECT_THAT(screen.events, IsEmpty());
  session.desktopMouseMove();
  session.hotSpotCovered();
  session.hotSpotCovered();
  session.consoleButtonMouseMove();
  EXPECT_THAT(eventsOf("sample"), ElementsAre("sample hover.wav"));
  EXPECT_FALSE(session.hoverSoundArmed());
  session.desktopMouseMove();
  session.consoleButtonMouseMove();
  EXPECT_THAT(eventsOf("sample"), ElementsAre("sample hover.wav", "sample hover.wav"));
  // The window's label follows every change.
  EXPECT_THAT(eventsOf("armed"), ElementsAre("armed", "armed"));
  EXPECT_THAT(eventsOf("disarmed"), ElementsAre("disarmed", "disarmed"));
}

TEST_F(MagazineSessionTest, TheConsoleKeysShowTheConsoleAndItsButtonTogglesIt) {
  for (char32_t key : {U'a', U'\r'}) session.keyPress(key);
  EXPECT_FALSE(console.Visible());
  for (char32_t key : {U'`', U'~', U';', U'\u00B0'}) {
    console.setVisible(false);
    session.keyPress(key);
    EXPECT_TRUE(console.Visible());
  }
  session.desktopMouseMove();
  session.consoleButtonClick();
  EXPECT_FALSE(console.Visible());
  EXPECT_FALSE(session.hoverSoundArmed());
}

TEST_F(MagazineSessionTest, TimersScrollOnlyThePaneTheyWereStartedForUntilAKeyIsReleased) {
  session.startScroll(ScrollTimer::MainDown);
  EXPECT_EQ(session.scrollSelector(), 1);
  for (ScrollTimer tick :
       {ScrollTimer::MainDown, ScrollTimer::MainDown, ScrollTimer::LeftDown, ScrollTimer::MainUp})
    session.scrollTick(tick);
  EXPECT_EQ(screen.panes[Pane::Main].scroll, 1);
  EXPECT_EQ(screen.panes[Pane::Left].scroll, 0);
  session.startScroll(ScrollTimer::LeftUp);
  session.scrollTick(ScrollTimer::LeftUp);
  session.scrollTick(ScrollTimer::MainDown);
  EXPECT_EQ(screen.panes[Pane::Left].scroll, -1);
  EXPECT_EQ(screen.panes[Pane::Main].scroll, 1);
  session.keyUp();
  EXPECT_EQ(session.scrollSelector(), 0);
  session.scrollTick(ScrollTimer::LeftUp);
  EXPECT_EQ(screen.panes[Pane::Left].scroll, -1);
  EXPECT_THAT(eventsOf("timer"), ElementsAre("timer 1", "timer 2"));
  EXPECT_THAT(eventsOf("timers"), ElementsAre("timers stopped"));
}

// --- What the panes ask for ---

TEST_F(MagazineSessionTest, ThePicturesFolderWinsOverThePicturesBesideThePage) {
  page("index.htm");
  tmp.write("texts/a.gif", "beside");
  tmp.write("texts/b.gif", "only beside");
  tmp.write("pictures/a.gif", "project");
  console.Dispatch("load_main index.htm");
  std::string stream = "old";
  session.imageRequest(Pane::Main, "a.gif", stream);
  EXPECT_EQ(stream, "project");
  session.imageRequest(Pane::Main, "b.gif", stream);
  EXPECT_EQ(stream, "only beside");
  session.imageRequest(Pane::Main, "none.gif", stream);
  EXPECT_EQ(stream, "");
  stream = "old";
  session.imageRequest(std::nullopt, "a.gif", stream);
  EXPECT_EQ(stream, "");
}

TEST_F(MagazineSessionTest, SoundsPlayAsSamplesOnlyWhenTheirNameEndsInLowerCaseWav) {
  for (const char* name : {"a.wav", "b.WAV", "c.mp3"}) session.playSoundFile(tmp.file(name));
  EXPECT_THAT(screen.events, ElementsAre("sample a.wav", "music b.WAV", "music c.mp3"));
}

TEST_F(MagazineSessionTest, ProcessingLogsTheCoveredLinkUnderThePanesName) {
  screen.panes[Pane::Left].covered = "page.htm";
  session.processing(Pane::Left);
  session.processing(Pane::Top);  // nothing covered: nothing logged
  session.processing(std::nullopt);
  EXPECT_THAT(console.Lines(), ElementsAre("Left: page.htm"));
}

// --- Image buttons ---

class SessionButtonsTest : public MagazineSessionTest {
 protected:
  SessionButtonsTest() {
    tmp.write("ini/buttons.ini",
              "[1]\r\ncommand=probe\r\n[2]\r\ncommand=reset_buttons other.ini\r\nnormal=false\r\n"
              "[3]\r\ncommand=show cp\r\n");
    tmp.write("ini/other.ini", "[1]\r\ncommand=show credits\r\n");
    console.Dispatch("reset_buttons buttons.ini");
  }
};

TEST_F(SessionButtonsTest, TheMouseLightsTheStateButtonUnderItAndDimsTheOthers) {
  ASSERT_EQ(screen.buttons.size(), 3u);
  session.buttonMouseMove(3);
  EXPECT_EQ(screen.frames, (std::map<int, int>{{1, 1}, {3, 2}}));
  EXPECT_EQ(session.buttonUnderMouse(), 3);
  session.buttonMouseDown(1);
  EXPECT_EQ(screen.frames[1], 3);
  session.buttonMouseMove(2);  // an animated button keeps its frames
  EXPECT_EQ(screen.frames, (std::map<int, int>{{1, 1}, {3, 1}}));
  session.desktopMouseMove();
  EXPECT_EQ(screen.frames, (std::map<int, int>{{1, 1}, {3, 1}}));
  EXPECT_THAT(eventsOf("under"), ElementsAre("under mouse 3", "under mouse 2"));
}

TEST_F(SessionButtonsTest, AClickRunsTheButtonsCommandEvenWhenItDestroysTheButtons) {
  session.buttonClick(3);
  EXPECT_THAT(eventsOf("modal"), ElementsAre("modal 0"));
  // Button 2's command replaces every button, its own record included.
  session.buttonClick(2);
  ASSERT_EQ(screen.buttons.size(), 1u);
  EXPECT_EQ(screen.buttons[0].command, "show credits");
  // The release after it finds no button 2 any more.
  session.buttonMouseUp(2);
  session.buttonClick(2);
  EXPECT_THAT(eventsOf("modal"), ElementsAre("modal 0"));
  EXPECT_EQ(fake.processEventsCount, 0);
  EXPECT_THAT(console.Lines(), testing::Contains("System: Reset Buttons (other.ini)"));
}

TEST_F(SessionButtonsTest, AResetWithAMissingFileKeepsTheButtons) {
  console.Dispatch("reset_buttons none.ini");
  EXPECT_EQ(session.buttonCount(), 3);
  EXPECT_EQ(screen.buttons.size(), 3u);
}

// --- The start ---

TEST_F(MagazineSessionTest, TheStartShowsTheErrorPagesRunsTheStartCommandAndThenTheRest) {
  tmp.write("ini/main.ini", "[start]\r\nstart_command=probe\r\nbtnconsole_visible=ne\r\n");
  screen.onEvent = [this](const std::string& e) {
    if (e == "console button" || e == "no console button") probes.push_back("button");
  };
  session.start();
  EXPECT_THAT(probes, ElementsAre("<error page>", "button"));
  EXPECT_THAT(screen.events,
              ElementsAre("thinking Initializing ...", "lines Main", "lines Left", "lines Top",
                          "title Test Mag", "no console button", "jukebox started", "thinking done"));
  EXPECT_THAT(console.Lines(),
              testing::IsSupersetOf({"System: Console Initialization Completed", "System: Starting Main ...",
                                     "System: Starting \"Test Mag\""}));
}

TEST_F(MagazineSessionTest, TheProjectsCursorsGoIntoTheirSlots) {
  tmp.write("cursors/arrow.cur", "x");
  tmp.write("cursors/hand.ani", "x");
  struct Case {
    const char* ini;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"", {"cursors reset", "cursors applied"}},
      {"[cursors]\r\nnormal_cursor=arrow.cur\r\nlink_cursor=none.ani\r\n",
       {"cursors reset", "cursor 1679 arrow.cur", "cursor 0 arrow.cur", "cursor -2 arrow.cur",
        "cursors applied"}},
      {"[cursors]\r\nnormal_cursor=ARROW.CUR\r\nlink_cursor=hand.ani\r\n",
       {"cursors reset", "cursor 1679 ARROW.CUR", "cursor 1680 hand.ani", "cursor 0 ARROW.CUR",
        "cursor -2 ARROW.CUR", "cursor 1 hand.ani", "cursor -21 hand.ani", "cursors applied"}},
  };
  for (const Case& c : cases) {
    tmp.write("ini/cursors.ini", c.ini);
    ClearIniCache();
    screen.events.clear();
    session.setUpCursors();
    EXPECT_EQ(screen.events, c.events) << c.ini;
  }
}

TEST_F(MagazineSessionTest, PanesShowWhenTheDesktopPictureHasLoaded) {
  for (int percent : {0, 99}) {
    session.desktopProgress(percent);
    for (Pane pane : kPanes) EXPECT_FALSE(screen.panes[pane].visible) << percent;
  }
  session.desktopProgress(100);
  for (Pane pane : kPanes) EXPECT_TRUE(screen.panes[pane].visible);
}

}  // namespace
}  // namespace pagemoor
