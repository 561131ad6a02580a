#include "installer/ExtractPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace pagemoor::extract {
namespace {

using Components = std::vector<std::string>;

struct NameCase {
  const char* name;
  std::optional<Components> expected;  // nullopt: refused
};

TEST(SafeEntryComponents, SplitsHarmlessNamesAndRefusesThoseThatClimbOut) {
  const NameCase cases[] = {
      {"readme.txt", Components{"readme.txt"}},
      {"texts/page.htm", Components{"texts", "page.htm"}},
      {"texts\\page.htm", Components{"texts", "page.htm"}},
      {"a\\b/c", Components{"a", "b", "c"}},
      {"folder/", Components{"folder"}},
      {"a//./b", Components{"a", "b"}},
      {"..name/x..y", Components{"..name", "x..y"}},
      {"", std::nullopt},
      {".", std::nullopt},
      {"./", std::nullopt},
      {"../x", std::nullopt},
      {"a/../../x", std::nullopt},
      {"a\\..\\..\\x", std::nullopt},
      {"a/..", std::nullopt},
      {"/etc/passwd", std::nullopt},
      {"\\windows\\win.ini", std::nullopt},
      {"C:\\autoexec.bat", std::nullopt},
      {"c:x", std::nullopt},
      {std::string_view("a\0b", 3).data(), Components{"a"}},  // C string: stops at the NUL
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(SafeEntryComponents(c.name), c.expected) << "name: \"" << c.name << "\"";
  }
  EXPECT_EQ(SafeEntryComponents(std::string_view("a\0/../b", 7)), std::nullopt);
}

TEST(TargetFolder, MakesTheTargetWithItsParentsAndWritesBelowIt) {
  test::TempFolder temp;
  TargetFolder target(temp.path() + "one/two");  // no trailing separator
  ASSERT_TRUE(target.ok());
  EXPECT_EQ(target.path(), temp.path() + "one/two/");
  Components entry{"sub", "deeper", "file.txt"};
  EXPECT_EQ(target.hostPath(entry), temp.path() + "one/two/sub/deeper/file.txt");
  EXPECT_FALSE(target.fileExists(entry));
  int fd = target.createFile(entry);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "data", 4), 4);
  close(fd);
  EXPECT_TRUE(target.fileExists(entry));
  EXPECT_EQ(temp.read("one/two/sub/deeper/file.txt"), "data");
  EXPECT_TRUE(target.removeFile(entry));
  EXPECT_EQ(temp.read("one/two/sub/deeper/file.txt"), "<missing>");
  EXPECT_FALSE(TargetFolder("").ok());
}

TEST(TargetFolder, OverwritesReadOnlyFilesButNeverWritesThroughLinks) {
  test::TempFolder temp;
  std::string outside = temp.write("outside.txt", "keep me");
  TargetFolder target(temp.path() + "target");
  ASSERT_TRUE(target.ok());

  // A read-only file of an earlier extraction is replaced.
  std::string old = temp.write("target/old.txt", "old");
  chmod(old.c_str(), 0444);
  int fd = target.createFile({"old.txt"});
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "new", 3), 3);
  close(fd);
  EXPECT_EQ(temp.read("target/old.txt"), "new");

  // A link to a file outside is replaced by a file; the outside file stays.
  ASSERT_EQ(symlink(outside.c_str(), temp.file("target/link.txt").c_str()), 0);
  fd = target.createFile({"link.txt"});
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "inside", 6), 6);
  close(fd);
  struct stat st {};
  ASSERT_EQ(lstat(temp.file("target/link.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));

  // A hard link to the outside file is not written through either.
  ASSERT_EQ(link(outside.c_str(), temp.file("target/hard.txt").c_str()), 0);
  fd = target.createFile({"hard.txt"});
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "x", 1), 1);
  close(fd);

  // A folder step that is a link to a folder outside is refused.
  temp.write("elsewhere/placeholder", "");
  ASSERT_EQ(symlink(temp.file("elsewhere").c_str(), temp.file("target/dir").c_str()), 0);
  EXPECT_LT(target.createFile({"dir", "planted.txt"}), 0);
  EXPECT_FALSE(target.makeFolders({"dir", "sub"}));
  EXPECT_FALSE(target.fileExists({"dir", "placeholder"}));

  EXPECT_EQ(temp.read("outside.txt"), "keep me");
  EXPECT_EQ(temp.read("elsewhere/planted.txt"), "<missing>");
  EXPECT_EQ(temp.read("elsewhere/sub"), "<missing>");
}

TEST(TargetFolder, AFileInTheWayOfAFolderStepFailsCleanly) {
  test::TempFolder temp;
  temp.write("target/texts", "a file, not a folder");
  TargetFolder target(temp.path() + "target");
  EXPECT_LT(target.createFile({"texts", "page.htm"}), 0);
  EXPECT_FALSE(target.makeFolders({"texts"}));
  EXPECT_TRUE(target.makeFolders({"pictures", "buttons"}));
  struct stat st {};
  EXPECT_EQ(stat(temp.file("target/pictures/buttons").c_str(), &st), 0);
}

TEST(FileAttributes, TimesModesAndDosDates) {
  test::TempFolder temp;
  TargetFolder target(temp.path());
  int fd = target.createFile({"f.txt"});
  ASSERT_GE(fd, 0);
  std::time_t when =
      DosDateTimeToTime((((2003 - 1980) << 9 | 7 << 5 | 14) << 16) | (13 << 11 | 45 << 5 | 30 / 2));
  ApplyFileTimes(fd, when);
  ApplyFileMode(fd, 04755);  // setuid is dropped
  close(fd);
  struct stat st {};
  ASSERT_EQ(stat(temp.file("f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, when);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  std::tm local{};
  localtime_r(&when, &local);
  EXPECT_EQ(local.tm_year + 1900, 2003);
  EXPECT_EQ(local.tm_mon + 1, 7);
  EXPECT_EQ(local.tm_mday, 14);
  EXPECT_EQ(local.tm_hour, 13);
  EXPECT_EQ(local.tm_min, 45);
  EXPECT_EQ(local.tm_sec, 30);
  // A date of all zeros (no clock) is 1 January 1980, not garbage.
  std::time_t zero = DosDateTimeToTime(0);
  localtime_r(&zero, &local);
  EXPECT_EQ(local.tm_year + 1900, 1980);
  EXPECT_EQ(local.tm_mon, 0);
  EXPECT_EQ(local.tm_mday, 1);
}

}  // namespace
}  // namespace pagemoor::extract
