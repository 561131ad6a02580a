// The program itself, run headless on small magazines made here: the launcher
// answered from the queue, the data package unpacked, the reading started and
// ended by a signal, and what is left behind afterwards.
#include <gtest/gtest.h>

#include <string>

#include "ProgramRun.h"

namespace pagemoor {
namespace {

using test::Exists;
using test::Read;
using test::WaitFor;

class ProgramRun : public test::ProgramRunner {
 protected:
  void SetUp() override {
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
