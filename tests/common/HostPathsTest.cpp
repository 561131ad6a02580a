#include "common/HostPaths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "common/CommandLine.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::ScopedCommandLine;
using test::ScopedEnv;
using test::TempFolder;
namespace fs = std::filesystem;

TEST(HostPaths, NameHelpers) {
  EXPECT_EQ(HostPath("ini\\main.ini"), "ini/main.ini");
  EXPECT_EQ(JoinPath("/p/", "\\texts\\a.htm"), "/p/texts/a.htm");
  EXPECT_EQ(JoinPath("/p", "a"), "/p/a");
  EXPECT_EQ(IncludeTrailingSeparator("/p"), "/p/");
  EXPECT_EQ(ExcludeTrailingSeparator("/p//"), "/p");
  EXPECT_EQ(ExtractFileName("C:\\mag\\MAG.EXE"), "MAG.EXE");
  EXPECT_EQ(ExtractFileName("/x/y/mag.exe"), "mag.exe");
  EXPECT_EQ(ExtractFilePath("/x/y/mag.exe"), "/x/y/");
  EXPECT_EQ(ExtractFileExt("/x.d/song.Mp3"), ".Mp3");
  EXPECT_EQ(ExtractFileExt("/x.d/song"), "");
  EXPECT_EQ(ChangeFileExt("/x/mag.exe", ".UNP"), "/x/mag.UNP");
  EXPECT_EQ(ChangeFileExt("/x.y/mag", ".UNP"), "/x.y/mag.UNP");
}

TEST(HostPaths, LookupFallsBackToCaseInsensitiveMatchPerComponent) {
  TempFolder t;
  t.write("Ini/Main.INI", "[start]");
  t.write("Texts/Žluťoučký Kůň.htm", "x");
  t.write("two/a.txt", "lower");
  t.write("two/A.txt", "upper");

  EXPECT_EQ(ResolveExisting(t.path() + "ini\\main.ini"), t.path() + "Ini/Main.INI");
  EXPECT_EQ(ResolveExisting(t.path() + "INI/"), t.path() + "Ini/");
  EXPECT_EQ(ResolveExisting(t.path() + "texts/ŽLUŤOUČKÝ kůň.HTM"), t.path() + "Texts/Žluťoučký Kůň.htm");
  // An exact match wins; among several others the choice does not depend on listing order.
  EXPECT_EQ(ResolveExisting(t.path() + "two/a.txt"), t.path() + "two/a.txt");
  EXPECT_EQ(ResolveExisting(t.path() + "two/A.TXT"), t.path() + "two/A.txt");
  EXPECT_EQ(ResolveExisting(t.path() + "ini/missing.ini"), std::nullopt);
  EXPECT_EQ(ResolveExisting(""), std::nullopt);

  EXPECT_TRUE(FileExists(t.path() + "INI\\MAIN.ini"));
  EXPECT_FALSE(FileExists(t.path() + "ini"));
  EXPECT_TRUE(DirectoryExists(t.path() + "ini"));
  EXPECT_FALSE(DirectoryExists(t.path() + "ini/main.ini"));
}

TEST(HostPaths, LookupMatchesNamesStoredInTheOldCodePage) {
  TempFolder t;
  t.write("\x8Elu\x9D.txt", "cp1250 name");  // "Žluť.txt" as an old unpacker wrote it
  EXPECT_EQ(ResolveExisting(t.path() + "žluť.TXT"), t.path() + "\x8Elu\x9D.txt");
}

TEST(HostPaths, WritesGoToTheFileThatMatched) {
  TempFolder t;
  t.write("Ini/Main.INI", "old");
  EXPECT_EQ(ResolveForWrite(t.path() + "ini\\main.ini"), t.path() + "Ini/Main.INI");
  EXPECT_EQ(ResolveForWrite(t.path() + "INI/new.ini"), t.path() + "Ini/new.ini");
  EXPECT_EQ(ResolveForWrite(t.path() + "nofolder/new.ini"), t.path() + "nofolder/new.ini");

  EXPECT_TRUE(WriteTextFile(t.path() + "ini/MAIN.ini", "new text"));
  EXPECT_EQ(t.read("Ini/Main.INI"), "new text");
  EXPECT_TRUE(WriteTextFile(t.path() + "list.m3u", ""));
  EXPECT_EQ(t.read("list.m3u"), "");
  EXPECT_FALSE(WriteTextFile(t.path() + "nofolder/x.txt", "x"));
}

TEST(HostPaths, DeleteTreeRemovesEverythingButNeverFollowsLinks) {
  TempFolder t;
  t.write("outside/keep.txt", "keep");
  t.write("project/a.txt", "a");
  t.write("project/.hidden", "h");
  t.write("project/sub/deeper/b.txt", "b");
  t.write("project/locked/c.txt", "c");
  ::chmod(t.file("project/locked/c.txt").c_str(), 0444);
  ::chmod(t.file("project/locked").c_str(), 0555);
  fs::create_directory_symlink(t.file("outside"), t.file("project/link-to-folder"));
  fs::create_symlink(t.file("outside/keep.txt"), t.file("project/link-to-file"));

  DeleteTree(t.path() + "project\\");

  EXPECT_FALSE(fs::exists(t.file("project")));
  EXPECT_EQ(t.read("outside/keep.txt"), "keep");
}

TEST(HostPaths, DeleteTreeOnALinkRemovesOnlyTheLink) {
  TempFolder t;
  t.write("real/file.txt", "x");
  fs::create_directory_symlink(t.file("real"), t.file("link"));
  DeleteTree(t.file("link"));
  EXPECT_FALSE(fs::is_symlink(t.file("link")));
  EXPECT_EQ(t.read("real/file.txt"), "x");
  DeleteTree(t.file("missing"));  // nothing happens
}

// `depth` nested folders "d" below root, made through descriptors so no path
// grows long. Halfway down one folder is read-only, one is closed to
// everybody (mode 0) and holds a read-only file; at the bottom lie a file and
// a link to `outside`.
void MakeDeepTree(const std::string& root, int depth, const std::string& outside) {
  ASSERT_EQ(::mkdir(root.c_str(), 0700), 0);
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  for (int level = 0; level < depth; ++level) {
    ASSERT_EQ(::mkdirat(fd, "d", 0700), 0) << level;
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(next, 0) << level;
    if (level == depth / 2) {
      const int file = ::openat(fd, "locked.txt", O_CREAT | O_WRONLY | O_CLOEXEC, 0400);
      ASSERT_GE(file, 0);
      ::close(file);
      ::fchmod(fd, 0);
    }
    if (level == depth / 2 + 1) ::fchmod(fd, 0500);
    ::close(fd);
    fd = next;
  }
  const int file = ::openat(fd, "bottom.txt", O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  ::close(file);
  ASSERT_EQ(::symlinkat(outside.c_str(), fd, "out"), 0);
  ::close(fd);
}

// A tree deeper than the process may hold descriptors (an archive of 1,200
// nested folders under the usual limit) goes whole, and the link at its
// bottom is removed without what it points to. The deletion runs in a child
// whose descriptor limit is 256.
TEST(HostPaths, DeleteTreeGoesDeeperThanTheDescriptorLimit) {
  TempFolder t;
  t.write("outside/keep.txt", "keep");
  MakeDeepTree(t.file("project"), 1200, t.file("outside"));

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{256, 256};
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(2);
    DeleteTree(t.file("project"));
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(t.file("project"))));
  EXPECT_EQ(t.read("outside/keep.txt"), "keep");
}

// Two deleters of one tree at once (the end-signal watchdog beside the
// viewer's own ending) pull folders from under each other; between them the
// tree still goes whole.
TEST(HostPaths, DeleteTreeFinishesWhileAnotherDeletesTheSameTree) {
  TempFolder t;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    for (int wide = 0; wide < 20; ++wide) {
      std::string folder = "project/w" + std::to_string(wide);
      for (int deep = 0; deep < 30; ++deep) folder += "/d";
      t.write(folder + "/f.txt", "x");
    }
    std::thread other([&] { DeleteTree(t.file("project")); });
    DeleteTree(t.file("project"));
    other.join();
    EXPECT_FALSE(fs::exists(t.file("project")));
  }
}

TEST(HostPaths, TempDirFromTheEnvironment) {
  {
    ScopedEnv temp("TEMP", "/Some/Temp");
    EXPECT_EQ(TempDir(), "/Some/Temp/");  // not lower-cased
  }
  {
    ScopedEnv temp("TEMP", nullptr);
    ScopedEnv tmpdir("TMPDIR", "/var/tmp/");
    EXPECT_EQ(TempDir(), "/var/tmp/");
  }
  ScopedEnv temp("TEMP", nullptr);
  ScopedEnv tmpdir("TMPDIR", nullptr);
  EXPECT_EQ(TempDir(), "/tmp/");
}

TEST(HostPaths, ProjectFolderLivesInAPrivateFolder) {
  TempFolder t;
  ScopedEnv temp("TEMP", t.path().c_str());
  ScopedCommandLine cl("/media/cd/mag.app.exe", {});
  const std::string priv = t.path() + "pagemoor-" + std::to_string(::getuid()) + "/";
  EXPECT_EQ(ProjectDir(), priv + "MAG_APP.EXE/");
  struct stat st;
  ASSERT_EQ(::lstat(priv.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ProgramDir(), "/media/cd/");
}

TEST(HostPaths, DevelopModeUsesTheProgramFolder) {
  struct Case {
    std::vector<std::string> params;
    bool develop;
  };
  const Case cases[] = {
      {{"/develope"}, true}, {{"/DEVELOPE", "/no_dx"}, true}, {{"/no_dx", "/develope"}, false},
      {{}, false},           {{"/develop"}, false},
  };
  TempFolder t;
  ScopedEnv temp("TEMP", t.path().c_str());
  for (const Case& c : cases) {
    ScopedCommandLine cl("/home/r/mag/MAG.EXE", c.params);
    EXPECT_EQ(IsDevelopMode(), c.develop);
    EXPECT_EQ(ProjectDir() == "/home/r/mag/", c.develop);
    EXPECT_EQ(NormalProjectDir(), PrivateTempDir() + "MAG_EXE/");
  }
}

TEST(HostPaths, UnsafePrivateFolderIsRefused) {
  TempFolder t;
  const std::string name = "pagemoor-" + std::to_string(::getuid());
  // Planted by someone else as a link to a folder of their choosing.
  TempFolder elsewhere;
  fs::create_directory_symlink(elsewhere.path(), t.file(name));
  {
    ScopedEnv temp("TEMP", t.path().c_str());
    std::string used = PrivateTempDir();
    EXPECT_NE(used, t.path() + name + "/");
    EXPECT_EQ(used.rfind(t.path(), 0), 0u);
    struct stat st;
    ASSERT_EQ(::lstat(ExcludeTrailingSeparator(used).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(PrivateTempDir(), used);  // the same for the rest of the run
  }
  // A folder that others can write to.
  TempFolder t2;
  ASSERT_EQ(::mkdir(t2.file(name).c_str(), 0700), 0);
  ::chmod(t2.file(name).c_str(), 0777);
  ScopedEnv temp("TEMP", t2.path().c_str());
  EXPECT_NE(PrivateTempDir(), t2.path() + name + "/");
}

TEST(HostPaths, PrivateFolderIsPrivateEvenWhenTheTemporaryFolderIsMissing) {
  TempFolder t;
  const std::string temp = t.path() + "not/made/yet/";
  ScopedEnv env("TEMP", temp.c_str());
  const std::string used = PrivateTempDir();
  EXPECT_EQ(used, temp + "pagemoor-" + std::to_string(::getuid()) + "/");
  struct stat st;
  ASSERT_EQ(::lstat(ExcludeTrailingSeparator(used).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(HostPaths, PrivateFolderOwnedBySomebodyElseIsRefused) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  TempFolder t;
  const std::string name = "pagemoor-0";
  ASSERT_EQ(::mkdir(t.file(name).c_str(), 0700), 0);
  ASSERT_EQ(::chown(t.file(name).c_str(), 65534, 65534), 0);
  ScopedEnv temp("TEMP", t.path().c_str());
  EXPECT_NE(PrivateTempDir(), t.path() + name + "/");
}

TEST(HostPaths, XdgFoldersAreCreatedOnDemand) {
  TempFolder t;
  ScopedEnv state("XDG_STATE_HOME", (t.path() + "state").c_str());
  ScopedEnv config("XDG_CONFIG_HOME", (t.path() + "config").c_str());
  EXPECT_EQ(StateDir(), t.path() + "state/pagemoor/");
  EXPECT_TRUE(fs::is_directory(t.file("state/pagemoor")));
  EXPECT_EQ(ConfigDir(), t.path() + "config/pagemoor/");
  EXPECT_TRUE(fs::is_directory(t.file("config/pagemoor")));

  ScopedEnv relative("XDG_STATE_HOME", "relative/path");  // ignored, as the XDG rules say
  ScopedEnv home("HOME", (t.path() + "home").c_str());
  EXPECT_EQ(StateDir(), t.path() + "home/.local/state/pagemoor/");
}

TEST(HostPaths, EnvironmentAndUser) {
  ScopedEnv shortValue("PAGEMOOR_TEST_VAR", std::string(499, 'x').c_str());
  EXPECT_EQ(GetEnvVar("PAGEMOOR_TEST_VAR").size(), 499u);
  ScopedEnv longValue("PAGEMOOR_TEST_VAR", std::string(500, 'x').c_str());
  EXPECT_EQ(GetEnvVar("PAGEMOOR_TEST_VAR"), "");
  EXPECT_EQ(GetEnvVar("PAGEMOOR_SURELY_UNSET"), "");
  EXPECT_FALSE(GetLoginName().empty());
  EXPECT_EQ(CurrentDriveRoot(), "/");
  EXPECT_EQ(AppVersion(), 2803);
}

TEST(HostPaths, FolderLifeCycle) {
  TempFolder t;
  EXPECT_TRUE(CreateFolder(t.path() + "MAG_EXE\\"));
  EXPECT_FALSE(CreateFolder(t.path() + "MAG_EXE"));  // exists
  t.write("MAG_EXE/x", "x");
  EXPECT_FALSE(RemoveEmptyFolder(t.path() + "mag_exe"));
  EXPECT_TRUE(DeleteFileAt(t.path() + "mag_exe/X"));
  EXPECT_TRUE(RemoveEmptyFolder(t.path() + "mag_exe/"));
  EXPECT_FALSE(fs::exists(t.file("MAG_EXE")));
}

}  // namespace
}  // namespace pagemoor
