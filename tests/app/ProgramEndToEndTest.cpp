// The program itself, run headless on small magazines made here: the launcher
// answered from the queue, the data package unpacked, the reading started and
// ended by a signal, and what is left behind afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/FileIo.h"
#include "support/TempFolder.h"

extern char** environ;

namespace pagemoor {
namespace {

using test::TempFolder;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string Read(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return bytes ? *bytes : std::string();
}

// Waits until `done` holds; the deadline only keeps a broken run from
// hanging the test, nothing here measures speed.
template <typename F>
bool WaitFor(F done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir(t.file("run").c_str(), 0700);
    t.write("prog/MAG.UNP",
            "[uniproject]\ndestination=pagemoor\nname=Zpravodaj 3/1999\nfiles=2\n"
            "[files]\nfile1=DATA\\DATA1.ZIP\nfile2=DATA\\DATA2.ZIP\n");
    t.write("src/ini/main.ini", "[start]\nstart_command=\nend_command=\nbtnconsole_visible=true\n");
    t.write("src/texts/index.htm", "<html><body>Vítejte</body></html>");
    ::mkdir(t.file("prog/DATA").c_str(), 0755);
    const std::string zip =
        "cd '" + t.file("src") + "' && zip -qr '" + t.file("prog/DATA/DATA1.ZIP") + "' ini texts";
    ASSERT_EQ(std::system(zip.c_str()), 0);
  }

  // Starts the program with `args`; its standard error goes to a file.
  pid_t start(const std::vector<std::string>& args, const std::string& answers) {
    std::vector<std::string> env = {"PAGEMOOR_SCRIPTED_UI=1",
                                    "PAGEMOOR_ANSWERS=" + answers,
                                    "PAGEMOOR_AUDIO=null",
                                    "QT_QPA_PLATFORM=offscreen",
                                    "TEMP=" + t.file("tmp"),
                                    "XDG_STATE_HOME=" + t.file("state"),
                                    "XDG_CONFIG_HOME=" + t.file("config"),
                                    "XDG_RUNTIME_DIR=" + t.file("run"),
                                    "HOME=" + t.path(),
                                    "PATH=/usr/bin:/bin"};
    std::vector<std::string> argv = {PAGEMOOR_EXECUTABLE, "--program=" + t.file("prog/MAG.EXE")};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, t.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  // The exit code, or -1 when the program did not end by itself.
  int finish(pid_t pid) {
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string mirrorLog() const { return Read(t.file("state/pagemoor/MAG_EXE_(Tarn-Console).log")); }
  std::string projectFolder() const {
    return t.file("tmp/pagemoor-" + std::to_string(::getuid()) + "/MAG_EXE/");
  }

  TempFolder t;
};

TEST_F(ProgramRun, NormalModeUnpacksReadsAndRemovesTheProjectAtTheEnd) {
  const pid_t pid = start({}, "project:Zpravodaj 3/1999");
  ASSERT_TRUE(WaitFor([&] { return mirrorLog().find("Starting \"Zpravodaj 3/1999\"") != std::string::npos; }))
      << Read(t.file("stderr.txt"));
  // Part 1 unpacked into the private project folder; part 2 is missing and skipped.
  EXPECT_TRUE(Exists(projectFolder() + "texts/index.htm"));
  EXPECT_EQ(Read(projectFolder() + "texts/index.htm"), "<html><body>Vítejte</body></html>");
  // The description file gained the keys it lacked (the launcher's project
  // information), each with a one-blank value.
  EXPECT_NE(Read(t.file("prog/MAG.UNP")).find("[projectinfo]"), std::string::npos);

  // A second start finds the first and ends without a word.
  const pid_t second = start({}, "project:Zpravodaj 3/1999");
  EXPECT_EQ(finish(second), 0);

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(finish(pid), 0);
  const std::string log = mirrorLog();
  for (const char* line : {"System: Starting Main ...", "System: Using Direct-X", "End: Ukončit program ???",
                           "System: Terminate No Ask", "System: Shutdown Completed"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_FALSE(Exists(projectFolder()));
  EXPECT_FALSE(Exists(t.file("tmp/pagemoor-" + std::to_string(::getuid()) + "/MAG.EXE_launcher_console")));
  const std::string err = Read(t.file("stderr.txt"));
  EXPECT_NE(err.find("[ui] modal: frmLauncher: Pagemoor - version 2803"), std::string::npos) << err;
  // "exit now" asks nothing, also not when the windows close.
  EXPECT_EQ(err.find("[ui] confirm:"), std::string::npos) << err;
}

TEST_F(ProgramRun, DevelopmentModeReadsInPlaceAndLeavesTheFolder) {
  t.write("prog/ini/main.ini", "[start]\nstart_command=\n");
  const pid_t pid = start({"/develope"}, "");
  ASSERT_TRUE(WaitFor([&] { return mirrorLog().find("Starting \"Zpravodaj 3/1999\"") != std::string::npos; }))
      << Read(t.file("stderr.txt"));
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(finish(pid), 0);
  EXPECT_NE(mirrorLog().find("System: Shutdown Completed"), std::string::npos);
  EXPECT_TRUE(Exists(t.file("prog/ini/main.ini")));
  EXPECT_FALSE(Exists(projectFolder()));
  // No launcher in development mode.
  EXPECT_EQ(Read(t.file("stderr.txt")).find("frmLauncher"), std::string::npos);
}

TEST_F(ProgramRun, ForeignOrMissingProjectsEndWithTheirFatalMessage) {
  // Closed launcher: nothing chosen.
  EXPECT_EQ(finish(start({}, "close")), 0);
  EXPECT_NE(Read(t.file("stderr.txt")).find("FATAL ERROR:  <nil> not found, terminating!"), std::string::npos)
      << Read(t.file("stderr.txt"));
  // A description file of another system.
  t.write("prog/MAG.UNP", "[uniproject]\ndestination=elsewhere\nname=Cizi\n");
  EXPECT_EQ(finish(start({"/DEVELOPE"}, "")), 0);
  EXPECT_NE(
      Read(t.file("stderr.txt")).find("FATAL ERROR: MAG.UNP is not valid Pagemoor PMX file, terminating!"),
      std::string::npos)
      << Read(t.file("stderr.txt"));
  EXPECT_FALSE(Exists(projectFolder()));
}

}  // namespace
}  // namespace pagemoor
