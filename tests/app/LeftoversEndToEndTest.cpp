// The program ended by a signal at every moment of a run (the launcher, the
// unpacking, a reading whose interface thread is stuck) and killed outright:
// what stays behind in the private temporary folder afterwards.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/LittleEndian.h"

#include "ProgramRun.h"

namespace pagemoor {
namespace {

using test::Exists;
using test::Put16;
using test::Put32;
using test::Read;
using test::WaitFor;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A ZIP archive of one deflated entry of `mebibytes` MiB of zeros: a few MB
// on disk that take the unpacking long enough to be caught in the middle. The
// deflate stream is one fully flushed MiB repeated (a full flush leaves no
// reference to what came before), closed by an empty final block.
std::string ZerosZip(const std::string& name, std::uint32_t mebibytes) {
  constexpr std::uint32_t kMiB = 1 << 20;
  const std::string zeros(kMiB, '\0');
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string chunk(deflateBound(&z, kMiB) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
  z.avail_in = kMiB;
  z.next_out = reinterpret_cast<Bytef*>(chunk.data());
  z.avail_out = static_cast<uInt>(chunk.size());
  deflate(&z, Z_FULL_FLUSH);
  chunk.resize(z.total_out);
  deflateEnd(&z);

  std::string data;
  for (std::uint32_t i = 0; i < mebibytes; ++i) data += chunk;
  data += std::string("\x03\x00", 2);
  const uLong chunkCrc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(zeros.data()), kMiB);
  uLong crc = crc32(0, nullptr, 0);
  for (std::uint32_t i = 0; i < mebibytes; ++i) crc = crc32_combine(crc, chunkCrc, kMiB);
  const std::uint32_t size = mebibytes * kMiB;

  auto header = [&](std::string& out, bool central) {
    Put32(out, central ? 0x02014b50 : 0x04034b50);
    if (central) Put16(out, 20);
    Put16(out, 20);
    Put16(out, 0);
    Put16(out, 8);
    Put16(out, 0);
    Put16(out, 0x21);
    Put32(out, static_cast<std::uint32_t>(crc));
    Put32(out, static_cast<std::uint32_t>(data.size()));
    Put32(out, size);
    Put16(out, static_cast<std::uint32_t>(name.size()));
    Put16(out, 0);
    if (central) {
      Put16(out, 0);
      Put16(out, 0);
      Put16(out, 0);
      Put32(out, 0);
      Put32(out, 0);  // the local header's offset
    }
    out += name;
  };
  std::string zip;
  header(zip, false);
  zip += data;
  const std::uint32_t centralOffset = static_cast<std::uint32_t>(zip.size());
  header(zip, true);
  const std::uint32_t centralSize = static_cast<std::uint32_t>(zip.size()) - centralOffset;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, 1);
  Put16(zip, 1);
  Put32(zip, centralSize);
  Put32(zip, centralOffset);
  Put16(zip, 0);
  return zip;
}

class Leftovers : public test::ProgramRunner {
 protected:
  void SetUp() override { writeMagazine("MAG"); }

  // NAME.UNP with a small data package NAME.ZIP beside the program.
  void writeMagazine(const std::string& name) {
    t.write("prog/" + name + ".UNP", "[uniproject]\ndestination=pagemoor\nname=" + name +
                                         "\nfiles=1\n[files]\nfile1=" + name + ".ZIP\n");
    t.write("src/ini/main.ini", "[start]\nstart_command=\nend_command=\n");
    t.write("src/texts/index.htm", "<html><body>" + name + "</body></html>");
    const std::string zip =
        "cd '" + t.file("src") + "' && zip -qr '" + t.file("prog/" + name + ".ZIP") + "' ini texts";
    ASSERT_EQ(std::system(zip.c_str()), 0);
  }

  // A run a failed check left running is ended with the test.
  void TearDown() override {
    for (pid_t pid : m_started) {
      if (::waitpid(pid, nullptr, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
      }
    }
  }
  pid_t run(const std::vector<std::string>& args, const std::string& answers,
            const std::vector<std::string>& extraEnv = {}) {
    const pid_t pid = start(args, answers, extraEnv);
    m_started.push_back(pid);
    return pid;
  }

  std::string privateFolder() const { return t.file("tmp/pagemoor-" + std::to_string(::getuid()) + "/"); }
  std::string launcherLog() const { return privateFolder() + programName + "_launcher_console"; }
  std::string folderOf(const std::string& program) const {
    std::string name = program;
    name[name.find('.')] = '_';
    return privateFolder() + name + "/";
  }
  std::string logOf(const std::string& program) const {
    std::string name = program;
    name[name.find('.')] = '_';
    return Read(t.file("state/pagemoor/" + name + "_(Tarn-Console).log"));
  }
  bool privateFolderEmpty() const { return fs::is_empty(privateFolder()); }

  // Sends SIGTERM `count` times (apart, so that they do not merge into one
  // pending signal) and returns how long the program took to
  // end and its exit code (-1 when it did not end by itself in 30 s).
  std::pair<Clock::duration, int> endBySignal(pid_t pid, int count = 1) {
    const auto sent = Clock::now();
    for (int i = 0; i < count; ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
      EXPECT_EQ(::kill(pid, SIGTERM), 0);
    }
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
    const auto took = Clock::now() - sent;
    if (!ended) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return {took, -1};
    }
    return {took, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }

  std::vector<pid_t> m_started;
};

// The reader sits at the launcher (the real one: no scripted answers close
// it) when the session ends: the launcher closes as "Zavřít" does, and
// neither its log nor a project folder stays.
TEST_F(Leftovers, ASignalAtTheLauncherClosesItAndLeavesNothing) {
  const pid_t pid = run({}, "", {"PAGEMOOR_SCRIPTED_UI=0"});
  ASSERT_TRUE(WaitFor([&] { return logHas("Starting Launcher ..."); })) << errors();
  ASSERT_TRUE(Exists(launcherLog()));
  EXPECT_EQ(endBySignal(pid).second, 0) << errors();
  EXPECT_TRUE(logHas("System: Closing Launcher ...")) << mirrorLog();
  EXPECT_TRUE(logHas("System: Terminate ...")) << mirrorLog();
  EXPECT_FALSE(Exists(launcherLog()));
  EXPECT_FALSE(Exists(projectFolder()));
  EXPECT_TRUE(privateFolderEmpty()) << errors();
}

// A signal while a large data package is being unpacked: the partial folder
// (and the launcher's log) go, and the reading never starts.
TEST_F(Leftovers, ASignalDuringTheUnpackingRemovesThePartialFolder) {
  t.write("prog/MAG.ZIP", ZerosZip("sounds/big.wav", 1024));
  const pid_t pid = run({}, "project:MAG");
  const std::string partial = projectFolder() + "sounds/big.wav";
  ASSERT_TRUE(WaitFor([&] { return Exists(partial); })) << errors();
  EXPECT_EQ(endBySignal(pid).second, 0) << errors();
  EXPECT_NE(errors().find("Pagemoor: ended by a signal before the reading"), std::string::npos) << errors();
  EXPECT_FALSE(logHas("Starting Main")) << mirrorLog();
  EXPECT_FALSE(Exists(projectFolder()));
  EXPECT_FALSE(Exists(launcherLog()));
  EXPECT_TRUE(privateFolderEmpty()) << errors();
}

// The interface thread is stuck (as in a page the layout engine chews on for
// an hour) and takes no events: the watchdog removes the project folder and
// ends the program with the usual exit code, well before the stall ends. A
// second signal does so at once. The end is due within 2 s of the signal;
// the bound here leaves a loaded machine a second more.
TEST_F(Leftovers, ASignalEndsAStuckReadingAndRemovesItsFolder) {
  struct Case {
    int signals;
    const char* why;
  };
  for (const Case& c : {Case{1, "Pagemoor: the end signal was not answered in time"},
                        Case{2, "Pagemoor: a second end signal"}}) {
    SCOPED_TRACE(c.signals);
    ::unlink(t.file("stderr.txt").c_str());
    const pid_t pid = run({}, "project:MAG", {"PAGEMOOR_TEST_STALL_MS=60000"});
    ASSERT_TRUE(WaitFor([&] {
      return errors().find("[test] the interface thread stalls") != std::string::npos;
    })) << errors();
    ASSERT_TRUE(Exists(projectFolder() + "texts/index.htm"));
    const auto [took, code] = endBySignal(pid, c.signals);
    EXPECT_EQ(code, 0) << errors();
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_NE(errors().find(c.why), std::string::npos) << errors();
    EXPECT_FALSE(Exists(projectFolder()));
    EXPECT_FALSE(Exists(launcherLog()));
    EXPECT_TRUE(privateFolderEmpty()) << errors();
  }
}

// A reading killed outright (kill -9) leaves its whole project; the next
// start-up, of any magazine, removes it and says so, while the folder of a
// reading that still runs (another magazine, started with a runtime folder
// of its own, so its single-instance check does not stop the others) stays.
TEST_F(Leftovers, AKilledReadingsFolderGoesAtTheNextStartButALiveOneStays) {
  writeMagazine("LIVE");
  writeMagazine("NEXT");
  ::mkdir(t.file("run-live").c_str(), 0700);
  ::mkdir(t.file("run-next").c_str(), 0700);

  programName = "LIVE.EXE";
  const pid_t live = run({}, "project:LIVE", {"XDG_RUNTIME_DIR=" + t.file("run-live")});
  programName = "MAG.EXE";
  const pid_t killed = run({}, "project:MAG");
  ASSERT_TRUE(WaitFor([&] { return logOf("LIVE.EXE").find("Starting \"LIVE\"") != std::string::npos; }))
      << errors();
  ASSERT_TRUE(WaitFor([&] { return logHas("Starting \"MAG\""); })) << errors();
  ASSERT_EQ(::kill(killed, SIGKILL), 0);
  ::waitpid(killed, nullptr, 0);
  ASSERT_TRUE(Exists(folderOf("MAG.EXE") + "texts/index.htm"));

  programName = "NEXT.EXE";
  const pid_t next = run({}, "project:NEXT", {"XDG_RUNTIME_DIR=" + t.file("run-next")});
  ASSERT_TRUE(WaitFor([&] { return logOf("NEXT.EXE").find("Starting \"NEXT\"") != std::string::npos; }))
      << errors();
  const std::string log = logOf("NEXT.EXE");
  EXPECT_NE(log.find("System: Removed the project folder " + folderOf("MAG.EXE") + " left by process " +
                     std::to_string(killed)),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("LIVE_EXE"), std::string::npos) << log;
  EXPECT_FALSE(Exists(folderOf("MAG.EXE")));
  EXPECT_TRUE(Exists(folderOf("LIVE.EXE") + "texts/index.htm"));
  EXPECT_TRUE(Exists(folderOf("NEXT.EXE") + "texts/index.htm"));

  EXPECT_EQ(endBySignal(next).second, 0) << errors();
  EXPECT_EQ(endBySignal(live).second, 0) << errors();
  EXPECT_FALSE(Exists(folderOf("LIVE.EXE")));
  EXPECT_FALSE(Exists(folderOf("NEXT.EXE")));
}

}  // namespace
}  // namespace pagemoor
