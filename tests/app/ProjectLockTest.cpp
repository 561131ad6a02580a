// The project folders of readings: which ones a start-up removes as left by
// an ended process, and which ones it must leave alone.
#include "app/ProjectLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

// A process that claims `folder`, fills it and then waits to be killed.
class Claimer {
 public:
  explicit Claimer(const std::string& folder) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::close(ready[0]);
      const char ok = ClaimProjectFolder(folder) ? '1' : '0';
      const std::string file = folder + "texts.htm";
      if (FILE* f = std::fopen(file.c_str(), "w")) std::fclose(f);
      [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
      while (true) ::pause();
    }
    ::close(ready[1]);
    char ok = '0';
    if (m_pid > 0 && ::read(ready[0], &ok, 1) == 1) m_claimed = ok == '1';
    ::close(ready[0]);
  }
  ~Claimer() { kill(); }
  Claimer(const Claimer&) = delete;
  Claimer& operator=(const Claimer&) = delete;

  bool claimed() const { return m_claimed; }
  pid_t pid() const { return m_pid; }
  // Ends it as kill -9 does: nothing of it runs any more.
  void kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  bool m_claimed = false;
};

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// One private folder holding every kind of entry a start-up meets there.
TEST(ProjectLock, OnlyFoldersWhoseOwnerEndedAreRemoved) {
  TempFolder t;
  const std::string priv = t.file("pagemoor/");
  ::mkdir(priv.c_str(), 0700);
  t.write("outside/keep.txt", "keep");

  Claimer live(priv + "LIVE_EXE/");
  ASSERT_TRUE(live.claimed());
  Claimer killed(priv + "KILLED_EXE/");
  ASSERT_TRUE(killed.claimed());
  const pid_t killedPid = killed.pid();
  killed.kill();
  ASSERT_TRUE(fs::exists(priv + "KILLED_EXE/texts.htm"));
  // This process's own reading.
  ASSERT_TRUE(ClaimProjectFolder(priv + "OWN_EXE/"));
  // A folder from before the lock, or from a run killed between making the
  // folder and locking it: no owner file, no lock.
  t.write("pagemoor/OLD_EXE/ini/main.ini", "[start]\n");
  // Not folders of ours: a link to a folder elsewhere, the launcher's log.
  fs::create_directory_symlink(t.file("outside"), priv + "LINK_EXE");
  t.write("pagemoor/MAG.EXE_launcher_console", "log");

  const std::vector<std::string> removed = RemoveStaleProjectFolders(priv);

  EXPECT_EQ(removed.size(), 2u);
  EXPECT_TRUE(Contains(removed, priv + "KILLED_EXE/ left by process " + std::to_string(killedPid)));
  EXPECT_TRUE(Contains(removed, priv + "OLD_EXE/ left by an ended process"));
  EXPECT_FALSE(fs::exists(priv + "KILLED_EXE"));
  EXPECT_FALSE(fs::exists(priv + "OLD_EXE"));
  EXPECT_TRUE(fs::exists(priv + "LIVE_EXE/texts.htm"));
  EXPECT_TRUE(fs::exists(priv + "OWN_EXE"));
  EXPECT_TRUE(fs::is_symlink(priv + "LINK_EXE"));
  EXPECT_EQ(t.read("outside/keep.txt"), "keep");
  EXPECT_EQ(t.read("pagemoor/MAG.EXE_launcher_console"), "log");

  // Once its reader has gone, the live one's folder is stale too; our own
  // stays while we hold it and goes once we have given it up.
  live.kill();
  EXPECT_EQ(RemoveStaleProjectFolders(priv).size(), 1u);
  EXPECT_FALSE(fs::exists(priv + "LIVE_EXE"));
  EXPECT_TRUE(fs::exists(priv + "OWN_EXE"));
  ReleaseProjectFolder();
  EXPECT_EQ(RemoveStaleProjectFolders(priv).size(), 1u);
  EXPECT_FALSE(fs::exists(priv + "OWN_EXE"));
}

// The owner file names this process and the start time that tells it from a
// later process with the same number.
TEST(ProjectLock, TheOwnerFileNamesTheProcessAndItsStartTime) {
  TempFolder t;
  ASSERT_TRUE(ClaimProjectFolder(t.file("MAG_EXE/")));
  const std::string start = ProcessStartTime(::getpid());
  ASSERT_FALSE(start.empty());
  EXPECT_EQ(t.read(std::string("MAG_EXE/") + kProjectOwnerFile),
            std::to_string(::getpid()) + " " + start + "\n");
  ReleaseProjectFolder();

  // A folder a live process holds is not ours: the claim gives up.
  Claimer other(t.file("OTHER_EXE/"));
  ASSERT_TRUE(other.claimed());
  EXPECT_FALSE(ClaimProjectFolder(t.file("OTHER_EXE/")));
}

}  // namespace
}  // namespace pagemoor
