#include "viewer/Shutdown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "common/HostPaths.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
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
using Events = std::vector<std::string>;

// Records the host's steps and the console's lines in one sequence, so the
// order between them shows. The console has an end command that logs a line
// and writes a shutdown line when it is destroyed, as the real one does.
class RecordingHost : public ShutdownHost, public ConsoleView {
 public:
  RecordingHost() : console(std::make_unique<TDebugBox2>()) {
    TDebugBox2* c = console.get();
    c->AddCommand("endcmd", "The project's end command.",
                  [c](Sender, const std::string& params) { c->Log("Test", "end command " + params); });
    c->OnDestroy = [c](Sender) { c->Log("Console", "closed"); };
    c->setView(this);
  }
  ~RecordingHost() override { console.reset(); }

  bool useDirectX() const override { return directX; }
  void restoreDesktopMode() override { events.push_back("[restoreDesktopMode]"); }
  void finaliseSurface() override { events.push_back("[finaliseSurface]"); }
  bool jukeboxExists() const override { return jukebox; }
  void shutdownAudio() override { events.push_back("[shutdownAudio]"); }
  void closeAndDestroyJukebox() override {
    events.push_back("[closeAndDestroyJukebox]");
    jukebox = false;
  }
  void destroyConsole() override {
    events.push_back("[destroyConsole]");
    console.reset();
  }
  void terminateApplication() override { events.push_back("[terminateApplication]"); }

  void lineAdded(const std::string& line) override { events.push_back(line); }
  void linesReplaced(const std::vector<std::string>&) override {}
  void setCaption(const std::string&) override {}
  void setEditText(const std::string&) override {}
  void setWindowGeometry(const ConsoleRect&) override {}
  void showWindow() override {}
  void hideWindow() override {}
  ConsoleRect screen() const override { return {0, 0, 800, 600}; }

  Events events;
  bool directX = true;
  bool jukebox = true;
  std::unique_ptr<TDebugBox2> console;
};

constexpr const char* kMainIniWithEndCommand = "[start]\r\nend_command=endcmd ran\r\n";

class ShutdownTest : public ::testing::Test {
 protected:
  // The program lives in <temp>/bin/MAG.EXE; in normal mode the project
  // folder is below the private temporary folder, which TEMP puts in <temp>.
  void start(std::vector<std::string> params = {}) {
    m_commandLine.emplace(m_temp.path() + "bin/MAG.EXE", std::move(params));
    CreateFolder(m_temp.path() + "bin");
    // Each case starts from a project folder with one data file in it.
    DeleteTree(ProjectDir());
    CreateFolder(ProjectDir());
    WriteTextFile(JoinPath(ProjectDir(), "data.bin"), "page");
    m_shutdown.emplace(*m_host.console, m_host);
  }
  void writeProjectFile(const std::string& name, const std::string& bytes) {
    CreateFolder(JoinPath(ProjectDir(), "ini"));
    ASSERT_TRUE(WriteTextFile(JoinPath(ProjectDir(), name), bytes));
  }
  bool projectFolderExists() const { return DirectoryExists(ProjectDir()); }

  TempFolder m_temp;
  ScopedEnv m_tempVariable{"TEMP", m_temp.path().c_str()};
  FakePlatform m_fake;
  ScopedPlatform m_usePlatform{m_fake};
  std::optional<ScopedCommandLine> m_commandLine;
  RecordingHost m_host;
  std::optional<ViewerShutdown> m_shutdown;
};

// --- The farewell question ------------------------------------------------

struct QuestionCase {
  const char* name;
  std::optional<std::string> endMessages;  // nothing: no end-messages file
  std::string question;
};

TEST_F(ShutdownTest, QuestionComesFromEndMessagesAndNoKeepsTheReadingOpen) {
  const QuestionCase cases[] = {
      {"no file", std::nullopt, "Ukončit program ???"},
      {"empty file", "", "Ukončit program ???"},
      {"one line, final CR LF", "Really leave?\r\n", "Really leave?"},
      {"one line, no line end", "Really leave?", "Really leave?"},
      {"windows-1250 text", "Opravdu skon\xe8it?\n", "Opravdu skončit?"},
      {"one empty line", "\r\n", ""},
  };
  for (const QuestionCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_fake.calls.clear();
    m_fake.yesNoAnswers = {false};
    start();
    if (c.endMessages) writeProjectFile("ini/end.ini", *c.endMessages);
    writeProjectFile("ini/main.ini", kMainIniWithEndCommand);
    const std::string launcherLog = LauncherLogFile();
    ASSERT_TRUE(WriteTextFile(launcherLog, "old log"));
    m_host.events.clear();

    EXPECT_FALSE(m_shutdown->ConfirmClose());

    EXPECT_EQ(m_fake.textsOf("confirm"), std::vector<std::string>{c.question});
    // Only the farewell line: no end command, no teardown, the console alive.
    EXPECT_EQ(m_host.events, Events{"End: " + c.question});
    ASSERT_NE(m_host.console, nullptr);
    EXPECT_FALSE(FileExists(launcherLog));
    EXPECT_TRUE(projectFolderExists());
    // The user may close again later and is asked again.
    m_fake.yesNoAnswers = {false};
    EXPECT_FALSE(m_shutdown->ConfirmClose());
    EXPECT_EQ(m_fake.callsOf("confirm").size(), 2u);
  }
}

TEST_F(ShutdownTest, RandomQuestionPicksEveryLineAndNothingElse) {
  start();
  writeProjectFile("ini/end.ini", "First?\r\nSecond?\nThird?\r\n");
  m_fake.defaultYesNo = false;
  std::set<std::string> asked;
  for (int i = 0; i < 300; ++i) m_shutdown->ConfirmClose();
  for (const std::string& text : m_fake.textsOf("confirm")) asked.insert(text);
  EXPECT_EQ(asked, (std::set<std::string>{"First?", "Second?", "Third?"}));
}

// --- The window path ------------------------------------------------------

struct ConfirmCase {
  const char* name;
  bool useDirectX;
  const char* mainIni;  // nullptr: no end command
  Events events;
};

TEST_F(ShutdownTest, ConfirmedCloseLogsInOrderAndDestroysTheConsole) {
  const ConfirmCase cases[] = {
      {"DirectX, end command",
       true,
       kMainIniWithEndCommand,
       {"End: Bye?", "Test: end command ran", "System: Terminate Ask", "[destroyConsole]",
        "Console: closed"}},
      {"no DirectX, end command",
       false,
       kMainIniWithEndCommand,
       {"End: Bye?", "Test: end command ran", "System: Terminate Ask", "[restoreDesktopMode]",
        "[destroyConsole]", "Console: closed"}},
      {"no end command",
       true,
       nullptr,
       {"End: Bye?", "System: Terminate Ask", "[destroyConsole]", "Console: closed"}},
  };
  for (const ConfirmCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHost host;
    host.directX = c.useDirectX;
    start();
    ViewerShutdown shutdown(*host.console, host);
    writeProjectFile("ini/end.ini", "Bye?\n");
    if (c.mainIni) writeProjectFile("ini/main.ini", c.mainIni);
    m_fake.calls.clear();
    m_fake.yesNoAnswers = {true};

    EXPECT_TRUE(shutdown.ConfirmClose());

    EXPECT_EQ(host.events, c.events);
    EXPECT_EQ(host.console, nullptr);
    // A missing end command runs nothing, not even a bad-command box.
    EXPECT_TRUE(m_fake.callsOf("info").empty());
    // The folder goes in FormClose, not here.
    EXPECT_TRUE(projectFolderExists());
  }
}

TEST_F(ShutdownTest, WindowPathTearsDownAndRemovesTheProjectFolder) {
  start();
  writeProjectFile("ini/main.ini", kMainIniWithEndCommand);
  ASSERT_TRUE(m_shutdown->ConfirmClose());
  m_host.events.clear();

  m_shutdown->FormClose();
  EXPECT_EQ(m_host.events, (Events{"[shutdownAudio]", "[closeAndDestroyJukebox]", "[finaliseSurface]"}));
  EXPECT_FALSE(projectFolderExists());

  // The jukebox is gone already: no second audio shutdown.
  m_host.events.clear();
  m_shutdown->FormDestroy();
  EXPECT_TRUE(m_host.events.empty());
  EXPECT_FALSE(projectFolderExists());
}

// "/no_dx" as the second parameter restores the desktop in FormClose too; the
// flag in ConfirmClose is the viewer's use-DirectX flag, not the parameter.
TEST_F(ShutdownTest, NoDxParameterRestoresTheDesktopOnTheWindowPath) {
  struct Case {
    std::vector<std::string> params;
    bool restoresInFormClose;
  };
  const Case cases[] = {
      {{"x", "/no_dx"}, true},   {{"x", "/NO_DX"}, true}, {{"x", "/no_dx "}, false},
      {{"x", "/no_dxx"}, false}, {{"/no_dx"}, false},     {{"x"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.params));
    RecordingHost host;
    host.directX = false;
    start(c.params);
    ViewerShutdown shutdown(*host.console, host);
    ASSERT_TRUE(shutdown.ConfirmClose());
    shutdown.FormClose();
    Events expected = {"[restoreDesktopMode]", "[destroyConsole]", "Console: closed", "[shutdownAudio]",
                       "[closeAndDestroyJukebox]"};
    if (c.restoresInFormClose) expected.push_back("[restoreDesktopMode]");
    expected.push_back("[finaliseSurface]");
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(Events(host.events.begin() + 2, host.events.end()), expected);  // after End / Terminate Ask
  }
}

// --- The "exit" command ---------------------------------------------------

struct ExitCase {
  const char* name;
  bool ask;
  bool answer;
  bool useDirectX;
  bool endMessages;
  Events events;
};

TEST_F(ShutdownTest, ExitCommandPaths) {
  const ExitCase cases[] = {
      {"exit now: no box, no end command",
       false,
       false,
       true,
       true,
       {"End: Bye?", "[shutdownAudio]", "[closeAndDestroyJukebox]", "System: Terminate No Ask",
        "[destroyConsole]", "Console: closed", "[terminateApplication]"}},
      {"exit, Yes, no DirectX, no end messages",
       true,
       true,
       false,
       false,
       {"End: Ukončit program ???", "Test: end command ran", "[shutdownAudio]", "[closeAndDestroyJukebox]",
        "System: Terminate No Ask", "[restoreDesktopMode]", "[destroyConsole]", "Console: closed",
        "[terminateApplication]"}},
      {"exit, No", true, false, false, true, {"End: Bye?"}},
  };
  for (const ExitCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHost host;
    host.directX = c.useDirectX;
    start();
    ViewerShutdown shutdown(*host.console, host);
    if (c.endMessages) writeProjectFile("ini/end.ini", "Bye?\n");
    writeProjectFile("ini/main.ini", kMainIniWithEndCommand);
    m_fake.calls.clear();
    m_fake.yesNoAnswers = {c.answer};

    shutdown.ExitProgram(c.ask);

    EXPECT_EQ(host.events, c.events);
    const std::string question = c.endMessages ? "Bye?" : "Ukončit program ???";
    EXPECT_EQ(m_fake.textsOf("confirm"),
              c.ask ? std::vector<std::string>{question} : std::vector<std::string>{});
    const bool ended = !c.ask || c.answer;
    EXPECT_EQ(projectFolderExists(), !ended);
    EXPECT_EQ(host.console == nullptr, ended);
  }
}

// An end command of "exit" runs inside the ending it belongs to: it must not
// ask again, run the end command again or tear down a second time.
struct ReentryCase {
  const char* name;
  const char* endCommand;
  bool windowPath;  // ConfirmClose rather than ExitProgram(true)
  Events events;
};

TEST_F(ShutdownTest, AnEndCommandOfExitDoesNotStartASecondEnding) {
  const ReentryCase cases[] = {
      {"exit: end command exit",
       "exit",
       false,
       {"End: Bye?", "[shutdownAudio]", "[closeAndDestroyJukebox]", "System: Terminate No Ask",
        "[destroyConsole]", "Console: closed", "[terminateApplication]"}},
      {"exit: end command exit now",
       "exit now",
       false,
       {"End: Bye?", "[shutdownAudio]", "[closeAndDestroyJukebox]", "System: Terminate No Ask",
        "[destroyConsole]", "Console: closed", "[terminateApplication]"}},
      {"window: end command exit now",
       "exit now",
       true,
       {"End: Bye?", "System: Terminate Ask", "[destroyConsole]", "Console: closed"}},
  };
  for (const ReentryCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHost host;
    start();
    ViewerShutdown shutdown(*host.console, host);
    host.console->AddCommand("exit", "Ends the reading.", [&shutdown](Sender, const std::string& params) {
      shutdown.ExitProgram(AsciiLower(params) != "now");
    });
    writeProjectFile("ini/end.ini", "Bye?\n");
    writeProjectFile("ini/main.ini", std::string("[start]\r\nend_command=") + c.endCommand + "\r\n");
    m_fake.calls.clear();
    m_fake.defaultYesNo = true;

    if (c.windowPath)
      EXPECT_TRUE(shutdown.ConfirmClose());
    else
      shutdown.ExitProgram(true);

    EXPECT_EQ(m_fake.textsOf("confirm"), std::vector<std::string>{"Bye?"});
    EXPECT_EQ(host.events, c.events);
    EXPECT_TRUE(shutdown.ended());
  }
}

TEST_F(ShutdownTest, OnceEndedFurtherRequestsOnlyAskTheApplicationToEndAndARefusalKeepsTheWayOpen) {
  RecordingHost host;
  start();
  ViewerShutdown shutdown(*host.console, host);
  writeProjectFile("ini/end.ini", "Bye?\n");
  m_fake.yesNoAnswers = {false};
  shutdown.ExitProgram(true);
  EXPECT_FALSE(shutdown.ended());
  EXPECT_EQ(host.events, Events{"End: Bye?"});

  shutdown.ExitProgram(false);
  EXPECT_TRUE(shutdown.ended());
  host.events.clear();
  m_fake.calls.clear();

  // A second "exit" or an end signal after the end asks nothing and tears
  // nothing down again; only the application is asked again to end. A close
  // request is let through without a question.
  shutdown.ExitProgram(true);
  shutdown.ExitProgram(false);
  EXPECT_TRUE(shutdown.ConfirmClose());
  EXPECT_EQ(host.events, (Events{"[terminateApplication]", "[terminateApplication]"}));
  EXPECT_TRUE(m_fake.calls.empty());
}

TEST_F(ShutdownTest, FormDestroyDeletesAgainAndStopsAudioOnlyWithAJukebox) {
  for (const bool jukebox : {true, false}) {
    SCOPED_TRACE(jukebox ? "jukebox alive" : "jukebox gone");
    RecordingHost host;
    start();
    ViewerShutdown shutdown(*host.console, host);
    shutdown.ExitProgram(false);
    // What the first deletion could not remove (a file still open then).
    CreateFolder(ProjectDir());
    WriteTextFile(JoinPath(ProjectDir(), "music.mp3"), "still playing");
    host.jukebox = jukebox;
    host.events.clear();

    shutdown.FormDestroy();

    EXPECT_EQ(host.events, jukebox ? Events{"[shutdownAudio]"} : Events{});
    EXPECT_FALSE(projectFolderExists());
    // Everything gone already: nothing happens.
    shutdown.FormDestroy();
    EXPECT_FALSE(projectFolderExists());
  }
}

// --- Development mode -----------------------------------------------------

TEST_F(ShutdownTest, DevelopmentModeLeavesTheProjectFolderOnBothPaths) {
  for (const bool windowPath : {true, false}) {
    SCOPED_TRACE(windowPath ? "window" : "exit");
    RecordingHost host;
    start({"/DEVELOPE"});
    ASSERT_EQ(ProjectDir(), m_temp.path() + "bin/");
    ViewerShutdown shutdown(*host.console, host);
    writeProjectFile("ini/main.ini", kMainIniWithEndCommand);

    if (windowPath) {
      ASSERT_TRUE(shutdown.ConfirmClose());
      shutdown.FormClose();
    } else {
      shutdown.ExitProgram(true);
    }
    shutdown.FormDestroy();

    // The end command came from the program's own folder.
    EXPECT_NE(std::find(host.events.begin(), host.events.end(), "Test: end command ran"), host.events.end());
    EXPECT_TRUE(FileExists(m_temp.path() + "bin/data.bin"));
    EXPECT_TRUE(FileExists(m_temp.path() + "bin/ini/main.ini"));
  }
}

}  // namespace
}  // namespace pagemoor
