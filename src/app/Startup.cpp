#include "app/Startup.h"

#include <memory>
#include <utility>

#include "app/EndSignals.h"
#include "app/ProjectLock.h"
#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "installer/ChiefUnzip.h"
#include "installer/DataPackage.h"
#include "installer/RarArc.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"

namespace pagemoor {

void StartupView::showFatalMessage(const std::string& text) {
  ShowInfo(text);
}

std::string LauncherLogFile() {
  // The program's file name as it is, extension and all. The private folder
  // rather than the shared temporary one: other users must not read the log
  // nor plant a file of this name for us to append to.
  return PrivateTempDir() + ExtractFileName(CurrentCommandLine().programFile) + "_launcher_console";
}

void DeleteLauncherLog() {
  const std::string launcherLog = LauncherLogFile();
  if (FileExists(launcherLog)) DeleteFileAt(launcherLog);
}

Startup::Startup(StartupView& view, std::string rarLibraryPath)
    : m_view(view), m_rarLibraryPath(std::move(rarLibraryPath)) {}

int Startup::fail(const std::string& message) {
  m_view.showFatalMessage(message);
  // No reading takes the launcher's log over now: it would stay behind in the
  // private temporary folder.
  DeleteLauncherLog();
  m_outcome = StartupOutcome::Fatal;
  return kStartupExitCode;
}

int Startup::run() {
  m_settings = StartupSettings{};
  m_settings.developMode = IsDevelopMode();
  m_settings.noDx = AsciiLower(ParamStr(2)) == "/no_dx";

  m_view.setApplicationTitle(kApplicationTitle);
  // The check has already brought the running instance forward.
  if (platform().isAlreadyRunning(kApplicationTitle)) {
    m_outcome = StartupOutcome::AlreadyRunning;
    return kStartupExitCode;
  }
  // Neither the runtime folder nor the private temporary one takes the lock
  // file: a second start would run beside this one, and the log says so.
  if (const std::string problem = platform().singleInstanceProblem(); !problem.empty())
    m_settings.notes.push_back(problem);

  DeleteLauncherLog();
  // From here on the launcher's log is this run's: an end signal at any
  // moment removes it (a second instance never gets here, and the log it
  // would name is the running one's).
  SetLeftover(Leftover::LauncherLog, LauncherLogFile());
  // What readings that were killed outright (kill -9, a crash, a power cut)
  // left in the private folder; the folders of readings still running stay.
  for (std::string& line : RemoveStaleProjectFolders(PrivateTempDir()))
    m_settings.notes.push_back(std::move(line));

  if (!m_settings.developMode) m_settings.launcher = m_view.showLauncher();

  m_view.showThinking("Initializing ...");
  // A folder an earlier run left empty; one with files in it stays.
  RemoveEmptyFolder(ProjectDir());

  std::string& file = m_settings.descriptionFile;
  file = m_settings.developMode ? ChangeFileExt(CurrentCommandLine().programFile, ".UNP")
                                : m_settings.launcher.project;
  // " <nil>" has no folder and is named whole.
  const std::string name = ExtractFileName(file);
  if (!FileExists(file)) return fail("FATAL ERROR: " + name + " not found, terminating!");
  if (AsciiLower(ReadIniValue(file, "uniproject", "destination")) != "pagemoor")
    return fail("FATAL ERROR: " + name + " is not valid Pagemoor PMX file, terminating!");

  if (!unpack()) return kStartupExitCode;

  m_view.runWindows(m_settings);
  // Whatever the viewer could not delete is no reading's any more: the next
  // start-up removes it.
  SetLeftover(Leftover::ProjectFolder, {});
  ReleaseProjectFolder();
  // The viewer deletes what it unpacked; an empty folder may remain.
  RemoveEmptyFolder(ProjectDir());
  m_outcome = StartupOutcome::Finished;
  return kStartupExitCode;
}

bool Startup::unpack() {
  const std::string& file = m_settings.descriptionFile;
  auto rar = std::make_unique<TRAR>(m_rarLibraryPath);
  auto unzip = std::make_unique<TChiefUnzip>();

  if (m_settings.developMode) {
    // The count means nothing without unpacking, but it is read all the same,
    // so a missing key is written back in both modes.
    ReadIniValue(file, "uniproject", "files");
  } else {
    // Locked before the first byte is unpacked, so that another start-up
    // never takes a half-unpacked folder for a dead reading's, and registered
    // so that an end signal during the unpacking removes what is there.
    const std::string projectDir = ProjectDir();
    const bool claimed = ClaimProjectFolder(projectDir);
    if (claimed)
      SetLeftover(Leftover::ProjectFolder, projectDir);
    else
      m_settings.notes.push_back("The project folder " + projectDir + " is in use by another process");
    const UnpackResult result =
        UnpackDataPackage(file, ProgramDir(), projectDir, *rar, *unzip,
                          [this](const std::string& text) { m_view.showThinking(text); });
    // A fatal end gives the folder up; what is left of it goes with it.
    auto giveUp = [&] {
      if (!claimed) return;
      SetLeftover(Leftover::ProjectFolder, {});
      ReleaseProjectFolder();
    };
    if (!result.firstPartFound) {
      // Nothing was unpacked; the folder the claim made goes again.
      giveUp();
      if (claimed) RemoveEmptyFolder(projectDir);
      fail("FATAL ERROR: file \"" + result.firstPartValue + "\" is not valid file, terminating!");
      return false;
    }
    if (result.stopped != UnpackResult::Stop::None) {
      // Half a magazine is no magazine; and what was written is in the way
      // of a reader who frees space and starts again.
      giveUp();
      DeleteTree(ProjectDir());
      const std::string part = "file \"" + EscapeControls(result.stoppedPart) + "\"";
      fail(result.stopped == UnpackResult::Stop::NotEnoughSpace
               ? "FATAL ERROR: not enough disk space for " + part + " (" + result.stopReason +
                     "), terminating!"
               : "FATAL ERROR: " + part + " is a hostile archive (" + result.stopReason + "), terminating!");
      return false;
    }
    if (result.rarPartsWithoutLibrary > 0) {
      std::string places;
      for (const std::string& place : TRAR::LibraryCandidates())
        places += (places.empty() ? "" : ", ") + place;
      m_settings.notes.push_back("RAR library not found (" + places + "): " +
                                 std::to_string(result.rarPartsWithoutLibrary) + " RAR part(s) not unpacked");
    }
  }

  m_view.showThinking("Checking Files ...");
  m_view.showThinking("Initializing ...");
  return true;
}

}  // namespace pagemoor
