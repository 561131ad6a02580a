// The process's main routine: refuse a second instance, clear the old launcher
// log, let the user choose a project (unless in development mode), check the
// project description file, unpack the data package into the project folder,
// create the windows and run the message loop, then tidy the project folder.
//
// The decisions live here, without Qt; everything that is a window or the
// process itself goes through StartupView, so the program drives the real
// windows and the tests a recording double. Every failure is fatal: one fixed
// English message through ShowInfo, then run() returns the exit code instead
// of ending the process.
#pragma once

#include <string>
#include <vector>

#include "app/Projects.h"

namespace pagemoor {

// The application's title, and the title a second instance looks for.
inline constexpr const char* kApplicationTitle = "Pagemoor";
// The process's exit code, for a fatal end and a normal one alike.
inline constexpr int kStartupExitCode = 0;

// What the launcher leaves behind when it closes.
struct LauncherChoice {
  // Path of the chosen project description file, or kNoProject.
  std::string project = kNoProject;
  // The launcher's two options; both ticked until the user clears them.
  bool useDirectX = true;
  bool playMusic = true;
};

// What the windows of the run need to know from the start-up.
struct StartupSettings {
  bool developMode = false;
  // "/no_dx" was the second parameter: no DirectX display surface.
  bool noDx = false;
  // The project description file that was checked (and unpacked).
  std::string descriptionFile;
  LauncherChoice launcher;
  // Lines for the reading's log from the steps before it (source "System").
  std::vector<std::string> notes;
};

class StartupView {
 public:
  virtual ~StartupView() = default;

  // The application object exists; it takes this title (its own hidden
  // top-level window bears it from now on).
  virtual void setApplicationTitle(const std::string& title) = 0;
  // Shows the launcher modally and returns when it has closed.
  virtual LauncherChoice showLauncher() = 0;
  // The thinking box, centred on the screen, with a one-line text.
  virtual void showThinking(const std::string& text) = 0;
  virtual void hideThinking() = 0;
  // Creates the viewer (the main window), the jukebox, the picture viewer,
  // the installer and the mailer in that order and runs the message loop
  // until the main window closes.
  virtual void runWindows(const StartupSettings& settings) = 0;
  // Shows a fatal message before the process ends. The default is ShowInfo;
  // a view whose application is already terminating may dismiss it at once.
  virtual void showFatalMessage(const std::string& text);
};

// How a run ended.
enum class StartupOutcome { NotRun, AlreadyRunning, Fatal, Finished };

// The launcher log file of this program: a console log left by an earlier run
// that the start-up deletes. It lives in the private temporary folder.
std::string LauncherLogFile();
// Deletes it when it is there: before the launcher writes a new one, and when
// no reading (or no more reading) takes it over.
void DeleteLauncherLog();

class Startup {
 public:
  // rarLibraryPath: where the RAR extractor loads its library from; empty
  // for its own search (beside the program, then the system's).
  explicit Startup(StartupView& view, std::string rarLibraryPath = {});

  // Runs the whole sequence on the current command line and returns the
  // process's exit code.
  int run();

  StartupOutcome outcome() const { return m_outcome; }
  // The settings handed to the windows (filled as far as the run got).
  const StartupSettings& settings() const { return m_settings; }

 private:
  int fail(const std::string& message);
  // Creates the extractors, unpacks (normal mode only) and shows the
  // checking texts; false after a fatal message.
  bool unpack();

  StartupView& m_view;
  std::string m_rarLibraryPath;
  StartupSettings m_settings;
  StartupOutcome m_outcome = StartupOutcome::NotRun;
};

}  // namespace pagemoor
