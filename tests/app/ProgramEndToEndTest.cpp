// The program itself, run headless on small magazines made here: the launcher
// answered from the queue, the data package unpacked, the reading started and
// ended by a signal, and what is left behind afterwards.
#include <gtest/gtest.h>

#include <filesystem>
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

// "Zavřít" in the launcher ends the program: the launcher logs its closing
// and the termination, and the start-up's " <nil> not found" that follows is
// dismissed by the termination, so the reader sees nothing more.
TEST_F(ProgramRun, ClosingTheLauncherEndsTheProgramWithoutAMessage) {
  for (const char* answers : {"close", ""}) {
    SCOPED_TRACE(answers);
    EXPECT_EQ(finish(start({}, answers)), 0);
    EXPECT_EQ(errors().find("FATAL ERROR"), std::string::npos) << errors();
    EXPECT_EQ(errors().find("[ui] info"), std::string::npos) << errors();
    EXPECT_TRUE(logHas("System: Closing Launcher ...")) << mirrorLog();
    EXPECT_TRUE(logHas("System: Terminate ...")) << mirrorLog();
    EXPECT_FALSE(Exists(projectFolder()));
    // Nothing is left in the private temporary folder, not even the
    // launcher's log.
    EXPECT_TRUE(std::filesystem::is_empty(t.file("tmp/pagemoor-" + std::to_string(::getuid())))) << errors();
  }
}

// A magazine read from its own folder (--program) whose second part is a
// solid RAR: the RAR library comes from beside the executable, and a library
// of that name lying in the magazine's folder is never loaded.
TEST_F(ProgramRun, RarPartsUnpackFromTheMagazinesFolderWithoutLoadingItsLibraries) {
  t.write("prog/MAG.UNP",
          "[uniproject]\ndestination=pagemoor\nname=Zpravodaj 3/1999\nfiles=2\n"
          "[files]\nfile1=DATA\\DATA1.ZIP\nfile2=DATA\\DATA2.RAR\n");
  t.write("prog/DATA/DATA2.RAR", Read(std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/rar/Rar.solid.rar"));
  t.write("prog/libpagemoor-unrar.so", Read(PAGEMOOR_PLANTED_LIBRARY));
  const std::string mark = t.file("planted-library-was-loaded");
  const pid_t pid = start({}, "project:Zpravodaj 3/1999", {"PAGEMOOR_PLANTED_MARK=" + mark});
  ASSERT_TRUE(WaitFor([&] { return logHas("Starting \"Zpravodaj 3/1999\""); })) << errors();
  EXPECT_EQ(Read(projectFolder() + "texts/index.htm"), "<html><body>Vítejte</body></html>");
  // The solid archive's files, the last one needing the ones before it.
  EXPECT_TRUE(Exists(projectFolder() + "exe/test.exe"));
  EXPECT_TRUE(Exists(projectFolder() + "jpg/test.jpg"));
  EXPECT_FALSE(logHas("RAR library not found")) << mirrorLog();
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(finish(pid), 0);
  EXPECT_FALSE(Exists(mark));
  EXPECT_FALSE(Exists(projectFolder()));
}

TEST_F(ProgramRun, ForeignOrMissingProjectsEndWithTheirFatalMessage) {
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
