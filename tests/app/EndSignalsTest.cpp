// The end signals' watchdog, in child processes that stand for a run: one
// whose interface thread never takes the signal up, one that takes it up and
// then hangs, and one that ends as it should.
#include "app/EndSignals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

enum class Interface { NeverAnswers, AnswersThenHangs, EndsItself };

struct Case {
  Interface interface;
  int exitCode;
  bool folderRemoved;
  // When the process ended, counted from the signal.
  std::chrono::milliseconds notBefore;
  std::chrono::milliseconds notAfter;
};

TEST(EndSignals, TheWatchdogEndsARunWhoseInterfaceDoesNotFinish) {
  // Grace 300 ms, 1.5 s once answered; the upper bounds leave a loaded
  // machine room, the lower ones tell the two graces apart.
  const Case cases[] = {
      {Interface::NeverAnswers, 7, true, 250ms, 1400ms},
      {Interface::AnswersThenHangs, 7, true, 1400ms, 4000ms},
      {Interface::EndsItself, 3, false, 0ms, 1400ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.interface));
    TempFolder t;
    t.write("project/texts/index.htm", "x");
    t.write("launcher_console", "log");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      EndSignals signals(7, 300ms, 1500ms);
      SetLeftover(Leftover::ProjectFolder, t.file("project/"));
      SetLeftover(Leftover::LauncherLog, t.file("launcher_console"));
      ::raise(SIGTERM);
      if (c.interface != Interface::NeverAnswers) {
        while (!signals.takeSignal()) std::this_thread::sleep_for(10ms);
      }
      if (c.interface == Interface::EndsItself) ::_exit(3);  // the run removes its files itself
      std::this_thread::sleep_for(60s);
      ::_exit(9);
    }
    const auto sent = Clock::now();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
    EXPECT_GE(took, c.notBefore);
    EXPECT_LE(took, c.notAfter);
    EXPECT_EQ(!fs::exists(t.file("project")), c.folderRemoved);
    EXPECT_EQ(!fs::exists(t.file("launcher_console")), c.folderRemoved);
  }
}

}  // namespace
}  // namespace pagemoor
