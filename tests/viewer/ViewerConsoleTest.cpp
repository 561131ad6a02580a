#include "viewer/ViewerConsole.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "console/DebugBox2.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::ScopedCommandLine;
using test::ScopedEnv;
using test::TempFolder;
using testing::ElementsAre;

// A console with the viewer's handlers, a fixed clock and the mirror log in
// the temporary folder.
class ViewerConsoleTest : public testing::Test {
 protected:
  ViewerConsoleTest() : handlers(console, tmp.file("viewer_launcher_console")) {
    SetLanguageFile(nullptr);
    handlers.setDateTime([] { return "24.12.2003"; }, [] { return "18:05:09"; });
    handlers.attach();
  }

  TempFolder tmp;
  ScopedEnv state{"XDG_STATE_HOME", tmp.file("state").c_str()};
  FakePlatform fake;
  ScopedPlatform use{fake};
  TDebugBox2 console;
  ViewerConsole handlers;
};

TEST_F(ViewerConsoleTest, WithoutALauncherLogWritesTheHeaderWithTheParameters) {
  ScopedCommandLine commandLine("/mags/MAG.EXE", {"/develope", "/no_dx", "last"});
  console.DoInitialize();
  const std::vector<std::string> expected = {"",
                                             "<<< Tarn-Console >>>",
                                             "",
                                             "System: AppVersion: 2803",
                                             "System: Date: 24.12.2003",
                                             "System: Time: 18:05:09",
                                             "System: Parameter(0) = \"/mags/MAG.EXE\"",
                                             "System: Parameter(1) = \"/develope\"",
                                             "System: Parameter(2) = \"/no_dx\"",
                                             "",
                                             "System: Initiate Console (MAIN)"};
  std::vector<std::string> head(console.Lines().begin(), console.Lines().begin() + expected.size());
  EXPECT_EQ(head, expected);
}

TEST_F(ViewerConsoleTest, TheLauncherLogReplacesTheHeader) {
  tmp.write("viewer_launcher_console", "\r\n<<< Tarn-Console >>>\r\nSystem: Starting Launcher ...\r\n");
  console.AddLine("dropped");
  handlers.ConsoleInitialize();
  EXPECT_THAT(console.Lines(), ElementsAre("", "<<< Tarn-Console >>>", "System: Starting Launcher ...", "",
                                           "System: Initiate Console (MAIN)"));
}

TEST_F(ViewerConsoleTest, CommandsAreLoggedInCapitalsAndAddedCommandsNamed) {
  console.AddCommand("Load_Main", "", [](Sender, const std::string&) {});
  console.AddCommand("exit", "", [](Sender, const std::string&) {});
  console.Execute("load_main Intro.htm");
  console.Execute("exit");
  EXPECT_THAT(console.Lines(),
              ElementsAre("Console: Command added (LOAD_MAIN)", "Console: Command added (EXIT)",
                          "Console: Command LOAD_MAIN INTRO.HTM", "Console: Command EXIT "));
}

TEST_F(ViewerConsoleTest, ABadCommandIsLoggedAfterItsLineAndShownAsAMessage) {
  console.Execute("foo bar");
  EXPECT_THAT(console.Lines(), ElementsAre("Console: Command FOO BAR", "Console: Bad Command (foo)"));
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Spatny prikaz konzole"));

  // A localised text takes the command where it has a place for it.
  SetLanguageFile(std::make_unique<LanguageFile>("[Misc]\nbad_console_command=Unknown: %s\n"));
  handlers.ConsoleBadCommand("zap", "");
  SetLanguageFile(nullptr);
  EXPECT_EQ(fake.textsOf("info").back(), "Unknown: zap");
}

TEST_F(ViewerConsoleTest, EveryLineRewritesTheMirrorLog) {
  console.Log("System", "one");
  console.Log("System", "two");
  const auto mirror = ReadTextFile(console.MirrorLogPath());
  ASSERT_TRUE(mirror.has_value());
  EXPECT_EQ(*mirror, "System: one\r\nSystem: two\r\n");
}

TEST_F(ViewerConsoleTest, DestroyingTheConsoleWritesTheShutdownLines) {
  std::vector<std::string> lines;
  {
    TDebugBox2 ending;
    ViewerConsole endingHandlers(ending, tmp.file("none"));
    endingHandlers.setDateTime([] { return "1.1.2004"; }, [] { return "0:00:01"; });
    endingHandlers.attach();
    ending.OnAdd = [&](Sender) { lines = ending.Lines(); };
  }
  EXPECT_THAT(lines, ElementsAre("System: Initiate Shutdown", "System: Shutdown Time:0:00:01",
                                 "System: Shutdown Date:1.1.2004", "System: Shutdown Completed"));
}

}  // namespace
}  // namespace pagemoor
