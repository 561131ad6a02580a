// The reading of one magazine: what a click, a key, a command or the start
// does. It owns the command table and its handlers, the link dispatch, the
// hover and error-page state, the pane history decisions, the image buttons'
// records and what their clicks run, and the start sequence; it shows
// everything through a ViewerScreen. No Qt: the magazine window forwards its
// widgets' events here, and the tests drive it against a fake screen.
//
// A link click runs: pane event -> hotSpotClick -> the console's Dispatch ->
// a command handler -> the screen. A page load that a command asks of the
// very pane whose event is being handled waits until the session's handling
// of that event has returned, so the pane is never reloaded beneath the
// console's dispatch of its own link.
#pragma once

#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "common/LogSink.h"
#include "console/DebugBox2.h"
#include "platform/LaunchPolicy.h"
#include "viewer/ButtonRecords.h"
#include "viewer/DisplaySurface.h"
#include "viewer/DocumentServices.h"
#include "viewer/ViewerScreen.h"

namespace pagemoor {

class ScriptRunner;
class ViewerShutdown;
struct FormControl;

// How the session reaches the console: the console of the moment, and
// whether the reading still goes on (false once the end has destroyed it).
struct SessionConsole {
  std::function<TDebugBox2&()> console;
  std::function<bool()> live;
};

class MagazineSession {
 public:
  // Own slots of the cursor table.
  static constexpr int kNormalCursor = 1679;
  static constexpr int kLinkCursor = 1680;
  static constexpr int kHourglassCopy = 1682;

  // The screen and the log outlive the session; the console may not (see
  // SessionConsole). Every line of the session goes to the log.
  MagazineSession(ViewerScreen& screen, LogSink& log, SessionConsole console);
  ~MagazineSession();
  MagazineSession(const MagazineSession&) = delete;
  MagazineSession& operator=(const MagazineSession&) = delete;

  void setLauncherChoice(const LauncherChoice& choice) { m_launcher = choice; }
  void setScripts(std::unique_ptr<ScriptRunner> scripts);
  void setShutdown(ViewerShutdown* shutdown) { m_shutdown = shutdown; }
  // The date and time the include directives insert.
  void setIncludeClock(IncludeClock clock) { m_clock = std::move(clock); }

  // --- Start ---
  // The system's cursors, then the project's from "cursors.ini".
  void setUpCursors();
  // The start sequence, run when the window is first shown.
  void start();
  void selectDisplayMode();
  // percent: how far the desktop picture has loaded; the panes show at 100.
  void desktopProgress(int percent);
  void minimised();
  void restored();

  // --- Command set (MagazineSession.cpp) ---
  // Registers the command table with the console, in its order.
  void registerCommands();
  void cmdShow(const std::string& params);
  void cmdInstall(const std::string& params);
  void cmdMessage(const std::string& params);
  void cmdRunScript(Sender sender, const std::string& params);
  void cmdLoad(Pane pane, const std::string& params);
  void cmdExit(const std::string& params);
  void cmdSlideShow(const std::string& params);
  void cmdPlay(const std::string& params);
  void cmdMinimize();
  void cmdShowDesktop();
  void cmdToggleConsole();
  void cmdGoBack(Pane pane);
  void cmdShellExecute(const std::string& params);
  void cmdFillCustomIni();
  void cmdResetButtons(const std::string& params);
  void cmdLoadTopImage(const std::string& params);
  void cmdShowTopImage(const std::string& params);
  void cmdLoadDesktop(const std::string& params);
  void cmdLoadMusicList(const std::string& params);
  // Reads the pane's section of an INI file of the project and places it.
  void setUpPane(Pane pane, const std::string& fileName);
  void runScript(const std::string& name);

  // --- Links, right click, hover, keys, scrolling (SessionEvents.cpp) ---
  // pane: the pane that raised the event; none when it came from elsewhere.
  void hotSpotClick(std::optional<Pane> pane, const std::string& src, bool& handled);
  void hotSpotCovered();
  void rightClick(std::optional<Pane> pane);
  void objectClick(const FormControl& control, const std::string& onClick);
  void keyPress(char32_t key);
  void keyUp();
  void desktopMouseMove();
  void consoleButtonClick();
  void consoleButtonMouseMove();
  void startScroll(ScrollTimer timer);
  void scrollTick(ScrollTimer timer);
  // 0 none, 1 main pane, 2 left pane.
  int scrollSelector() const { return m_scrollSelector; }
  bool hoverSoundArmed() const { return m_hoverArmed; }
  // The image button the mouse was over last; 0 before any.
  int buttonUnderMouse() const { return m_buttonUnderMouse; }

  // --- What the panes ask for (SessionEvents.cpp) ---
  // Names ending exactly in ".wav" play as a sample over the music,
  // everything else on the music channel.
  void playSoundFile(const std::string& path);
  void imageRequest(std::optional<Pane> pane, const std::string& src, std::string& stream);
  void soundRequest(std::optional<Pane> pane, const std::string& src);
  std::string include(const std::string& command, const std::vector<std::string>& params);
  void processing(std::optional<Pane> pane);

  // --- Image buttons (SessionEvents.cpp); n is 1-based ---
  void createButtons(const std::string& fileName);
  void destroyButtons();
  void buttonMouseMove(int n);
  void buttonMouseDown(int n);
  void buttonMouseUp(int n);
  void buttonClick(int n);
  int buttonCount() const { return static_cast<int>(m_buttonRecords.size()); }
  // Null outside 1 ... buttonCount().
  const ButtonRecord* buttonRecord(int n) const;

  // --- State ---
  // Our own error page: what a load leaves in a pane whose page is missing.
  static const std::vector<std::string>& errorPage();
  bool useDirectX() const { return m_useDirectX; }
  DisplaySurface& surface() { return m_surface; }
  DesktopDisplayMode& desktopMode() { return m_desktop; }

 private:
  TDebugBox2& console() { return m_console.console(); }
  // A command line of the magazine (a link, a button, a setting) run
  // through the console.
  void dispatch(const std::string& line);
  // Runs a handler of the command table. A command that ended the reading
  // inside another one (a script line) unwinds the commands around it.
  void runCommand(const std::function<void()>& handler);
  // Runs the handling of an event a pane raised; page loads it asks of that
  // pane run once it is done.
  void inPaneEvent(std::optional<Pane> pane, const std::function<void()>& handler);
  // Runs a change of the pane now, or after the event the pane is handling.
  void changePane(Pane pane, std::function<void()> change);
  void runDeferred();
  void setHoverArmed(bool armed);
  void playHoverSound();
  // Plays the project's sound named by the key of "[start]" in an INI file of
  // the project, when that file exists.
  void playConfiguredSound(const char* iniFile, const char* key);
  void stopScrolling();
  // Frame 1 on every image button whose record has "normal" set.
  void resetStateButtons();
  void startWindowsProgram(const std::string& path, const std::string& parameters);
  // Hands a web address, or a file of the magazine the reader agreed to, to
  // the desktop's default program; false when nothing went out.
  bool openForMagazine(const std::string& target);

  ViewerScreen& m_screen;
  LogSink& m_log;
  SessionConsole m_console;
  LauncherChoice m_launcher;
  std::unique_ptr<ScriptRunner> m_scripts;
  ViewerShutdown* m_shutdown = nullptr;
  // The reader's answers about the magazine's programs and files, for the
  // life of the reading.
  LaunchPolicy m_launchPolicy;
  IncludeClock m_clock;
  std::vector<ButtonRecord> m_buttonRecords;
  DisplaySurface m_surface;
  DesktopDisplayMode m_desktop;
  bool m_useDirectX = true;
  bool m_hoverArmed = false;
  int m_buttonUnderMouse = 0;
  int m_scrollSelector = 1;
  int m_commandDepth = 0;  // commands of the table running, nested
  // The panes whose events are being handled, innermost last, and the
  // changes to them that wait for that handling to end.
  std::vector<Pane> m_panesInEvent;
  std::deque<std::function<void()>> m_deferred;
};

}  // namespace pagemoor
