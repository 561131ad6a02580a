#include "app/Startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "platform/Platform.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::ScopedCommandLine;
using test::ScopedEnv;
using test::TempFolder;
using Strings = std::vector<std::string>;
using Files = std::vector<std::pair<std::string, std::string>>;

std::string CurrentFolder() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

// Everything the sequence asks of windows, as one list of events.
class RecordingView : public StartupView {
 public:
  Strings events;
  LauncherChoice choice;
  std::function<void()> onLauncher;
  std::function<void(const StartupSettings&)> onWindows;
  StartupSettings windowSettings;
  std::string folderAtWindows;

  void setApplicationTitle(const std::string& title) override { events.push_back("title:" + title); }
  LauncherChoice showLauncher() override {
    events.push_back("launcher");
    if (onLauncher) onLauncher();
    return choice;
  }
  void showThinking(const std::string& text) override { events.push_back("think:" + text); }
  void hideThinking() override { events.push_back("hide"); }
  void runWindows(const StartupSettings& settings) override {
    events.push_back("windows");
    windowSettings = settings;
    folderAtWindows = CurrentFolder();
    if (onWindows) onWindows(settings);
  }

  Strings thinkingTexts() const {
    Strings out;
    for (const std::string& e : events)
      if (e.starts_with("think:")) out.push_back(e.substr(6));
    return out;
  }
};

// A program folder holding MAG.EXE, a private temporary folder of its own and
// a fake platform; the current folder is restored afterwards.
class StartupTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ASSERT_EQ(::chdir(m_savedFolder.c_str()), 0);
    ClearIniCache();
  }

  std::string program() const { return m_program.file("MAG.EXE"); }

  // A description file in the program folder; returns its path.
  std::string writeProject(const std::string& name, const std::string& uniproject,
                           const std::string& files = {}) {
    return m_program.write(name, "[uniproject]\r\n" + uniproject + "[files]\r\n" + files);
  }

  // Packs the files into a ZIP archive at the program folder's `name`.
  void writeZip(const std::string& name, const Files& files) {
    static int staging = 0;
    const std::string folder = "staging-" + std::to_string(++staging) + "/";
    for (const auto& [file, bytes] : files) m_temp.write(folder + file, bytes);
    const std::string archive = m_program.file(name);
    std::filesystem::create_directories(std::filesystem::path(archive).parent_path());
    const std::string command = "cd '" + m_temp.file(folder) + "' && zip -q -r -X '" + archive + "' .";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Runs the sequence in normal mode with the launcher choosing `project`.
  int runNormal(const std::string& project, Strings params = {}) {
    ScopedCommandLine line(program(), std::move(params));
    view.choice.project = project;
    m_projectDir = ProjectDir();
    Startup startup(view);
    const int code = startup.run();
    outcome = startup.outcome();
    return code;
  }

  int runWith(Strings params) {
    ScopedCommandLine line(program(), std::move(params));
    m_projectDir = ProjectDir();
    Startup startup(view);
    const int code = startup.run();
    outcome = startup.outcome();
    return code;
  }

  std::string projectDir() const { return m_projectDir; }

  TempFolder m_temp;
  TempFolder m_program;
  ScopedEnv m_tempVariable{"TEMP", m_temp.path().c_str()};
  FakePlatform fake;
  ScopedPlatform m_usePlatform{fake};
  RecordingView view;
  StartupOutcome outcome = StartupOutcome::NotRun;

 private:
  std::string m_savedFolder = CurrentFolder();
  std::string m_projectDir;
};

TEST_F(StartupTest, OnlyTheFirstTwoPositionsCountAndOnlyAsAWhole) {
  struct Case {
    Strings params;
    bool developMode;
    bool noDx;
  };
  const std::vector<Case> cases = {
      {{}, false, false},
      {{"/develope"}, true, false},
      {{"/DEVELOPE"}, true, false},
      {{"/Develope", "/NO_DX"}, true, true},
      {{"/develope", "/no_dx", "/whatever"}, true, true},
      {{"x", "/develope"}, false, false},
      {{"/no_dx"}, false, false},
      {{"/develope "}, false, false},
      {{"/develop"}, false, false},
      {{"x", "/no_dx "}, false, false},
  };
  writeProject("MAG.UNP", "destination=pagemoor\r\n");
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& p : c.params) joined += "[" + p + "]";
    SCOPED_TRACE(joined);
    view = RecordingView{};
    ScopedCommandLine line(program(), c.params);
    Startup startup(view);
    EXPECT_EQ(startup.run(), kStartupExitCode);
    EXPECT_EQ(startup.settings().developMode, c.developMode);
    EXPECT_EQ(startup.settings().noDx, c.noDx);
    // The launcher appears exactly in normal mode.
    EXPECT_EQ(view.events.size() > 1 && view.events[1] == "launcher", !c.developMode);
    EXPECT_EQ(startup.outcome(), c.developMode ? StartupOutcome::Finished : StartupOutcome::Fatal);
  }
}

TEST_F(StartupTest, FatalChecksShowOneMessageAndCreateNoWindows) {
  struct Case {
    const char* label;
    Strings params;
    std::string project;  // the launcher's value; a name is taken in the program folder
    std::string description;
    std::string expected;
  };
  const std::string sub = m_program.file("sub/x.unp");
  const std::vector<Case> cases = {
      {"no project chosen", {}, kNoProject, "", "FATAL ERROR:  <nil> not found, terminating!"},
      {"chosen file gone", {}, sub, "", "FATAL ERROR: x.unp not found, terminating!"},
      {"development file missing", {"/develope"}, "", "", "FATAL ERROR: MAG.UNP not found, terminating!"},
      {"wrong destination",
       {},
       "p.unp",
       "destination=other\r\nfiles=1\r\n",
       "FATAL ERROR: p.unp is not valid Pagemoor PMX file, terminating!"},
      {"no destination",
       {"/develope"},
       "MAG.UNP",
       "name=Mag\r\n",
       "FATAL ERROR: MAG.UNP is not valid Pagemoor PMX file, terminating!"},
      {"first part missing",
       {},
       "p.unp",
       "destination=pagemoor\r\nfiles=2\r\n",
       "FATAL ERROR: file \"parts\\one.zip\" is not valid file, terminating!"},
  };
  writeZip("two.zip", {{"two.txt", "2"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    view = RecordingView{};
    fake.calls.clear();
    std::string project = c.project;
    if (!c.description.empty()) {
      project = writeProject(c.project, c.description, "file1=parts\\one.zip\r\nfile2=two.zip\r\n");
    }
    view.choice.project = project;
    EXPECT_EQ(runWith(c.params), kStartupExitCode);
    EXPECT_EQ(outcome, StartupOutcome::Fatal);
    EXPECT_EQ(fake.textsOf("info"), Strings{c.expected});
    EXPECT_EQ(std::count(view.events.begin(), view.events.end(), "windows"), 0);
    // Nothing was unpacked, not even the part that is there.
    EXPECT_FALSE(FileExists(JoinPath(projectDir(), "two.txt")));
    if (!c.description.empty()) std::filesystem::remove(project);
  }
}

TEST_F(StartupTest, AMissingDestinationIsWrittenBackAsOneBlank) {
  const std::string file = writeProject("MAG.UNP", "name=Mag\r\n");
  runWith({"/develope"});
  EXPECT_EQ(ReadIniValue(file, "uniproject", "destination"), "");
  EXPECT_NE(m_program.read("MAG.UNP").find("destination= "), std::string::npos);
}

TEST_F(StartupTest, DestinationIsComparedWithoutCase) {
  writeProject("MAG.UNP", "destination=PageMOOR\r\n");
  EXPECT_EQ(runWith({"/develope"}), kStartupExitCode);
  EXPECT_EQ(outcome, StartupOutcome::Finished);
  EXPECT_TRUE(fake.textsOf("info").empty());
}

TEST_F(StartupTest, AnotherInstanceEndsTheRunSilently) {
  fake.alreadyRunning = true;
  const std::string log =
      m_temp.write("pagemoor-" + std::to_string(::getuid()) + "/MAG.EXE_launcher_console", "x");
  writeProject("MAG.UNP", "destination=pagemoor\r\n");
  EXPECT_EQ(runWith({"/develope"}), kStartupExitCode);
  EXPECT_EQ(outcome, StartupOutcome::AlreadyRunning);
  EXPECT_EQ(view.events, Strings{"title:Pagemoor"});
  EXPECT_EQ(fake.textsOf("instance"), Strings{"Pagemoor"});
  EXPECT_TRUE(fake.textsOf("info").empty());
  EXPECT_TRUE(FileExists(log));
}

TEST_F(StartupTest, TheOldLauncherLogIsGoneBeforeTheLauncherShows) {
  const std::string lowerProgram = m_program.write("mag.exe", "");
  ScopedCommandLine line(lowerProgram);
  const std::string log = LauncherLogFile();
  EXPECT_EQ(log, PrivateTempDir() + "mag.exe_launcher_console");
  WriteTextFile(log, "old run\r\n");
  bool goneAtLauncher = false;
  view.onLauncher = [&] { goneAtLauncher = !FileExists(log); };
  Startup startup(view);
  startup.run();
  EXPECT_TRUE(goneAtLauncher);
}

TEST_F(StartupTest, NormalModeUnpacksEveryPartInOrderThenRunsTheWindowsInTheProjectFolder) {
  writeZip("data/one.zip", {{"ini/main.ini", "[a]\r\n"}});
  writeZip("two.zip", {{"texts/page.htm", "<p>"}});
  const std::string file =
      writeProject("p.unp", "destination=pagemoor\r\nfiles=2\r\n", "file1=data/one.zip\r\nfile2=two.zip\r\n");
  view.choice.useDirectX = false;
  view.onWindows = [&](const StartupSettings&) {
    EXPECT_TRUE(FileExists(JoinPath(projectDir(), "ini/main.ini")));
    EXPECT_TRUE(FileExists(JoinPath(projectDir(), "texts/page.htm")));
  };
  EXPECT_EQ(runNormal(file, {"/x", "/no_dx"}), kStartupExitCode);
  EXPECT_EQ(outcome, StartupOutcome::Finished);
  EXPECT_EQ(view.events, (Strings{"title:Pagemoor", "launcher", "think:Initializing ...",
                                  "think:Extracting Data ... Part 1", "think:Extracting Data ... Part 2",
                                  "think:Checking Files ...", "think:Initializing ...", "windows"}));
  EXPECT_EQ(IncludeTrailingSeparator(view.folderAtWindows), projectDir());
  EXPECT_EQ(view.windowSettings.descriptionFile, file);
  EXPECT_FALSE(view.windowSettings.launcher.useDirectX);
  EXPECT_TRUE(view.windowSettings.noDx);
  EXPECT_FALSE(view.windowSettings.developMode);
  EXPECT_TRUE(fake.textsOf("info").empty());
  // The viewer did not delete the files, so the folder stays.
  EXPECT_TRUE(DirectoryExists(projectDir()));
}

TEST_F(StartupTest, APartCountThatIsNoNumberOrBelowOneUnpacksExactlyTheFirstPart) {
  writeZip("one.zip", {{"one.txt", "1"}});
  writeZip("two.zip", {{"two.txt", "2"}});
  for (const char* files : {"files=0\r\n", "files=abc\r\n", "files=-3\r\n", ""}) {
    SCOPED_TRACE(files);
    view = RecordingView{};
    DeleteTree(NormalProjectDir());
    const std::string file = writeProject("p.unp", std::string("destination=pagemoor\r\n") + files,
                                          "file1=one.zip\r\nfile2=two.zip\r\n");
    runNormal(file);
    EXPECT_EQ(view.thinkingTexts(), (Strings{"Initializing ...", "Extracting Data ... Part 1",
                                             "Checking Files ...", "Initializing ..."}));
    EXPECT_TRUE(FileExists(JoinPath(projectDir(), "one.txt")));
    EXPECT_FALSE(FileExists(JoinPath(projectDir(), "two.txt")));
  }
}

TEST_F(StartupTest, AMissingLaterPartIsSkippedButItsProgressIsShown) {
  writeZip("one.zip", {{"one.txt", "1"}});
  writeZip("three.zip", {{"three.txt", "3"}});
  const std::string file = writeProject("p.unp", "destination=pagemoor\r\nfiles=3\r\n",
                                        "file1=one.zip\r\nfile2=two.zip\r\nfile3=three.zip\r\n");
  runNormal(file);
  EXPECT_EQ(outcome, StartupOutcome::Finished);
  EXPECT_EQ(view.thinkingTexts(),
            (Strings{"Initializing ...", "Extracting Data ... Part 1", "Extracting Data ... Part 2",
                     "Extracting Data ... Part 3", "Checking Files ...", "Initializing ..."}));
  EXPECT_TRUE(FileExists(JoinPath(projectDir(), "one.txt")));
  EXPECT_TRUE(FileExists(JoinPath(projectDir(), "three.txt")));
  EXPECT_TRUE(fake.textsOf("info").empty());
}

TEST_F(StartupTest, AnEmptyProjectFolderFromAnEarlierRunIsRemovedAndMadeAgain) {
  writeZip("one.zip", {{"one.txt", "1"}});
  const std::string file = writeProject("p.unp", "destination=pagemoor\r\n", "file1=one.zip\r\n");
  {
    ScopedCommandLine line(program());
    ASSERT_TRUE(CreateFolder(NormalProjectDir()));
    // A mode nobody's mkdir gives: still there afterwards means never removed.
    ASSERT_EQ(::chmod(ExcludeTrailingSeparator(NormalProjectDir()).c_str(), 0701), 0);
  }
  runNormal(file);
  struct stat st {};
  ASSERT_EQ(::stat(ExcludeTrailingSeparator(projectDir()).c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0777, 0701u);
  EXPECT_TRUE(FileExists(JoinPath(projectDir(), "one.txt")));
}

// A folder with files that no running reading holds was left by one that
// was killed: it goes before anything is unpacked, and the log says so.
TEST_F(StartupTest, ALeftoverProjectFolderOfAnEndedReadingIsRemoved) {
  writeZip("one.zip", {{"one.txt", "1"}});
  const std::string file = writeProject("p.unp", "destination=pagemoor\r\n", "file1=one.zip\r\n");
  {
    ScopedCommandLine line(program());
    ASSERT_TRUE(CreateFolder(NormalProjectDir()));
    WriteTextFile(JoinPath(NormalProjectDir(), "old.txt"), "old");
  }
  runNormal(file);
  EXPECT_FALSE(FileExists(JoinPath(projectDir(), "old.txt")));
  EXPECT_TRUE(FileExists(JoinPath(projectDir(), "one.txt")));
  EXPECT_EQ(view.windowSettings.notes,
            (Strings{"Removed the project folder " + projectDir() + " left by an ended process"}));
}

TEST_F(StartupTest, TheProjectFolderIsRemovedAfterTheLoopOnlyWhenEmpty) {
  writeZip("one.zip", {{"one.txt", "1"}});
  const std::string file = writeProject("p.unp", "destination=pagemoor\r\n", "file1=one.zip\r\n");
  for (const bool viewerEmptiesIt : {true, false}) {
    SCOPED_TRACE(viewerEmptiesIt);
    view = RecordingView{};
    view.onWindows = [&](const StartupSettings&) {
      // As the end of a reading does: the contents go, the folder may stay.
      if (viewerEmptiesIt) DeleteFileAt(JoinPath(projectDir(), "one.txt"));
    };
    runNormal(file);
    EXPECT_EQ(DirectoryExists(projectDir()), !viewerEmptiesIt);
  }
}

TEST_F(StartupTest, DevelopmentModeUsesTheProgramFolderInPlace) {
  const std::string file =
      writeProject("MAG.UNP", "destination=pagemoor\r\nfiles=2\r\n", "file1=one.zip\r\n");
  const std::string before = CurrentFolder();
  EXPECT_EQ(runWith({"/develope"}), kStartupExitCode);
  EXPECT_EQ(outcome, StartupOutcome::Finished);
  EXPECT_EQ(view.events, (Strings{"title:Pagemoor", "think:Initializing ...", "think:Checking Files ...",
                                  "think:Initializing ...", "windows"}));
  EXPECT_EQ(view.folderAtWindows, before);
  EXPECT_EQ(view.windowSettings.descriptionFile, file);
  EXPECT_TRUE(view.windowSettings.developMode);
  // The launcher never ran, so its options keep their defaults.
  EXPECT_TRUE(view.windowSettings.launcher.useDirectX);
  EXPECT_TRUE(view.windowSettings.launcher.playMusic);
  EXPECT_TRUE(DirectoryExists(m_program.path()));
  ScopedCommandLine line(program());
  EXPECT_FALSE(DirectoryExists(NormalProjectDir()));
}

}  // namespace
}  // namespace pagemoor
