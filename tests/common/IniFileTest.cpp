#include "common/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override { ClearIniCache(); }
  void TearDown() override { SetIniWriteBackScheduler(nullptr); }
  TempFolder t;
};

TEST_F(IniFile, MissingKeyReadsEmptyAndIsWrittenBackOnce) {
  const std::string file = t.write("main.ini", "[start]\r\ncommand=run_script start.txt\r\n");
  EXPECT_EQ(ReadIniValue(file, "start", "command"), "run_script start.txt");
  EXPECT_EQ(ReadIniValue(file, "start", "title"), "");
  EXPECT_EQ(t.read("main.ini"), "[start]\r\ncommand=run_script start.txt\r\ntitle= \r\n");
  EXPECT_EQ(ReadIniValue(file, "START", "TITLE"), "");
  EXPECT_EQ(t.read("main.ini"), "[start]\r\ncommand=run_script start.txt\r\ntitle= \r\n");
}

TEST_F(IniFile, MissingKeyWithDefaultWritesTheDefault) {
  const std::string file = t.write("sounds.ini", "[sounds]\r\nclick=\r\n");
  EXPECT_EQ(ReadIniDefault(file, "sounds", "enabled", "true"), "true");
  EXPECT_EQ(ReadIniDefault(file, "sounds", "click", "click.wav"), "click.wav");  // empty counts as missing
  EXPECT_EQ(ReadIniDefault(file, "sounds", "enabled", "false"), "true");
  EXPECT_EQ(t.read("sounds.ini"), "[sounds]\r\nclick=click.wav\r\nenabled=true\r\n");
}

TEST_F(IniFile, ReadingFromAMissingFileCreatesIt) {
  const std::string file = t.file("new.ini");
  EXPECT_EQ(ReadIniValue(file, "buttons", "count"), "");
  EXPECT_EQ(t.read("new.ini"), "[buttons]\r\ncount= \r\n");
  EXPECT_EQ(ReadIniValue(t.file("nofolder/x.ini"), "a", "b"), "");
  EXPECT_FALSE(fs::exists(t.file("nofolder")));
}

TEST_F(IniFile, EmptyNamesTouchNothing) {
  const std::string file = t.write("a.ini", "[s]\r\n");
  EXPECT_EQ(ReadIniValue(file, "", "k"), "");
  EXPECT_EQ(ReadIniValue(file, "s", ""), "");
  EXPECT_EQ(ReadIniValue("", "s", "k"), "");
  EXPECT_EQ(ReadIniDefault(file, "s", "", "dflt"), "dflt");
  EXPECT_EQ(ReadIniDefault("", "s", "k", "dflt"), "dflt");
  EXPECT_FALSE(WriteIniValue(file, "", "k", "v"));
  EXPECT_EQ(t.read("a.ini"), "[s]\r\n");
}

TEST_F(IniFile, PathsAreFoundWithoutRegardToCaseAndEitherSeparator) {
  t.write("Ini/Main.INI", "[Start]\nCommand=x\n");
  EXPECT_EQ(ReadIniValue(t.path() + "ini\\main.ini", "start", "command"), "x");
  WriteIniValue(t.path() + "INI\\MAIN.ini", "start", "other", "y");
  EXPECT_EQ(t.read("Ini/Main.INI"), "[Start]\nCommand=x\nother=y\n");
  EXPECT_FALSE(fs::exists(t.file("INI")));
}

TEST_F(IniFile, EditsOnDiskAreSeenAtTheNextRead) {
  const std::string file = t.write("main.ini", "[s]\nk=one\n");
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "one");
  t.write("main.ini", "[s]\nk=two\n");  // same size
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "two");
  t.write("main.ini", "[s]\nk=three\n");
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "three");
  fs::remove(file);
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "");
  EXPECT_EQ(t.read("main.ini"), "[s]\r\nk= \r\n");
}

TEST_F(IniFile, ReadOnlyFileOrFolderIsReadButNeverWritten) {
  const std::string file = t.write("ro.ini", "[s]\nk=v\n");
  ::chmod(file.c_str(), 0444);
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "v");
  EXPECT_EQ(ReadIniValue(file, "s", "missing"), "");
  EXPECT_EQ(ReadIniDefault(file, "s", "other", "d"), "d");
  EXPECT_FALSE(WriteIniValue(file, "s", "k", "changed"));
  EXPECT_EQ(t.read("ro.ini"), "[s]\nk=v\n");
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "v");  // the failed write left no changed copy behind

  t.write("cd/disc.ini", "[s]\nk=v\n");
  ::chmod(t.file("cd").c_str(), 0555);
  EXPECT_EQ(ReadIniValue(t.file("cd/disc.ini"), "s", "missing"), "");
  EXPECT_EQ(ReadIniValue(t.file("cd/other.ini"), "s", "missing"), "");
  ::chmod(t.file("cd").c_str(), 0755);
  EXPECT_EQ(t.read("cd/disc.ini"), "[s]\nk=v\n");
  EXPECT_FALSE(fs::exists(t.file("cd/other.ini")));
}

TEST_F(IniFile, AFileThatCannotBeReadIsNeverWrittenOver) {
  if (::getuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string file = t.write("secret.ini", "[s]\nk=v\n");
  ::chmod(file.c_str(), 0200);
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "");
  ::chmod(file.c_str(), 0600);
  EXPECT_EQ(t.read("secret.ini"), "[s]\nk=v\n");
}

TEST_F(IniFile, WritesAreAtomicAndKeepPermissionsAndLinks) {
  const std::string file = t.write("data/a.ini", "[s]\n");
  ::chmod(file.c_str(), 0640);
  fs::create_symlink(file, t.file("link.ini"));
  for (int i = 0; i < 20; ++i) WriteIniValue(t.file("link.ini"), "s", "k" + std::to_string(i), "v");
  EXPECT_TRUE(fs::is_symlink(t.file("link.ini")));
  EXPECT_EQ(ReadIniValue(file, "s", "k19"), "v");
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Nothing but the file itself is left in its folder.
  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(t.file("data"))) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(IniFile, LengthLimits) {
  const std::string file = t.file("limits.ini");
  WriteIniValue(file, "s", "long", std::string(12000, 'v'));
  EXPECT_EQ(ReadIniValue(file, "s", "long").size(), 9999u);
  const std::string longKey(300, 'k');
  WriteIniValue(file, "s", longKey, "x");
  EXPECT_EQ(ReadIniValue(file, "s", std::string(255, 'k')), "x");
  EXPECT_NE(t.read("limits.ini").find(std::string(255, 'k') + "=x"), std::string::npos);
  EXPECT_EQ(t.read("limits.ini").find(std::string(256, 'k')), std::string::npos);
}

TEST_F(IniFile, WriteCreatesFileSectionAndKey) {
  const std::string file = t.file("Custom.ini");
  EXPECT_TRUE(WriteIniValue(file, "frmMain", "frmMain.Caption", "Můj časopis"));
  EXPECT_TRUE(WriteIniValue(file, "Misc", "bad_console_command", "Spatny prikaz konzole"));
  EXPECT_TRUE(WriteIniValue(file, "frmMain", "frmMain.Caption", "Jiný"));
  EXPECT_EQ(t.read("Custom.ini"),
            "[frmMain]\r\nfrmMain.Caption=Jiný\r\n[Misc]\r\nbad_console_command=Spatny prikaz konzole\r\n");
}

TEST_F(IniFile, DeferredWriteBacksAreWrittenOnceAtTheFlush) {
  int scheduled = 0;
  SetIniWriteBackScheduler([&] { ++scheduled; });
  const std::string file = t.write("buttons.ini", "[b1]\r\nimage=a.gif\r\n");
  EXPECT_EQ(ReadIniValue(file, "b1", "image"), "a.gif");
  EXPECT_EQ(scheduled, 0);
  EXPECT_EQ(ReadIniValue(file, "b1", "left"), "");
  EXPECT_EQ(ReadIniDefault(file, "b2", "top", "10"), "10");
  EXPECT_EQ(ReadIniDefault(file, "b2", "top", "20"), "10");  // reads see what waits
  EXPECT_EQ(scheduled, 1);
  EXPECT_EQ(t.read("buttons.ini"), "[b1]\r\nimage=a.gif\r\n");
  FlushIniWrites();
  EXPECT_EQ(t.read("buttons.ini"), "[b1]\r\nimage=a.gif\r\nleft= \r\n[b2]\r\ntop=10\r\n");
  ReadIniValue(file, "b1", "width");
  EXPECT_EQ(scheduled, 2);  // a new round after the flush
}

TEST_F(IniFile, DeferredWriteBacksKeepAnEditMadeMeanwhile) {
  SetIniWriteBackScheduler([] {});
  const std::string file = t.write("main.ini", "[s]\nk=v\n");
  ReadIniValue(file, "s", "missing");
  ReadIniValue(file, "s", "alsoMissing");
  // The author saves the file before the flush, giving one of the keys a value.
  t.write("main.ini", "[s]\nk=edited\nalsoMissing=given\n");
  EXPECT_EQ(ReadIniValue(file, "s", "k"), "edited");
  FlushIniWrites();
  EXPECT_EQ(t.read("main.ini"), "[s]\nk=edited\nalsoMissing=given\nmissing= \n");
}

TEST_F(IniFile, AnExplicitWriteTakesPendingWriteBacksAlong) {
  SetIniWriteBackScheduler([] {});
  const std::string file = t.file("new.ini");
  ReadIniValue(file, "s", "a");
  EXPECT_EQ(t.read("new.ini"), "<missing>");
  WriteIniValue(file, "s", "b", "1");
  EXPECT_EQ(t.read("new.ini"), "[s]\r\na= \r\nb=1\r\n");
}

TEST_F(IniFile, PendingWriteBacksToAReadOnlyFileAreDropped) {
  SetIniWriteBackScheduler([] {});
  const std::string file = t.write("ro.ini", "[s]\n");
  ::chmod(file.c_str(), 0444);
  ReadIniValue(file, "s", "a");
  FlushIniWrites();
  EXPECT_EQ(t.read("ro.ini"), "[s]\n");
  EXPECT_EQ(ReadIniDefault(file, "s", "a", "d"), "d");
}

}  // namespace
}  // namespace pagemoor
