// The program on hostile archives made here: a data package too big for the
// disk or far bigger than itself ends the start-up with its fatal message and
// leaves nothing; the installer says why it stopped and never that it is done;
// entry names cannot forge log lines.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "ProgramRun.h"
#include "support/SmallFileSystem.h"
#include "support/ZipBuilder.h"
#include "unrar/RarBuilder.h"

namespace pagemoor {
namespace {

using test::Exists;
using test::Read;
using test::WaitFor;
using test::zip::BuildZip;
using test::zip::Deflated;
using test::zip::Entry;
using test::zip::Stored;

constexpr std::uint64_t kMiB = 1 << 20;

using test::SmallFileSystem;

// How many lines of the log are exactly `line` (whatever their line ends).
std::size_t CountLines(const std::string& log, const std::string& line) {
  std::size_t n = 0;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string_view one(log.data() + start, end - start);
    if (!one.empty() && one.back() == '\r') one.remove_suffix(1);
    if (one == line) ++n;
    start = end + 1;
  }
  return n;
}

std::vector<Entry> MagazineFiles() {
  return {Stored("ini/main.ini", "[start]\nstart_command=\nend_command=\n"),
          Stored("texts/index.htm", "<html><body>Vítejte</body></html>")};
}

class ArchiveBoundsRun : public test::ProgramRunner {
 protected:
  // The magazine: DATA1.ZIP with `entries`, and a second part that must
  // never be reached when the first one stops the start-up.
  void writeMagazine(const std::vector<Entry>& entries) {
    t.write("prog/MAG.UNP",
            "[uniproject]\ndestination=pagemoor\nname=Zpravodaj\nfiles=2\n"
            "[files]\nfile1=DATA\\DATA1.ZIP\nfile2=DATA\\DATA2.ZIP\n");
    t.write("prog/DATA/DATA1.ZIP", BuildZip(entries));
    t.write("prog/DATA/DATA2.ZIP", BuildZip({Stored("second.txt", "part 2")}));
  }
  void expectFatal(const std::string& message) {
    EXPECT_EQ(finish(start({}, "project:Zpravodaj")), 0);
    EXPECT_NE(errors().find("[ui] info: Information: " + message), std::string::npos) << errors();
    EXPECT_FALSE(logHas("Starting \"Zpravodaj\"")) << mirrorLog();
    // What was unpacked before the stop is gone with the project folder.
    EXPECT_FALSE(Exists(projectFolder())) << projectFolder();
  }
};

// The temporary folder on a 2 MiB file system; the data package holds 50 MiB
// of zeros packed into 50 KiB.
TEST_F(ArchiveBoundsRun, ADataPackageTooBigForTheDiskEndsTheStartUp) {
  const SmallFileSystem small(t.file("tmp"), "2m");
  if (!small.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
  std::vector<Entry> entries = MagazineFiles();
  entries.push_back(Deflated("texts/zeros.bin", std::string(50 * kMiB, '\0')));
  writeMagazine(entries);
  expectFatal(
      "FATAL ERROR: not enough disk space for file \"DATA\\DATA1.ZIP\" (\"texts/zeros.bin\" needs 52428800 "
      "bytes, ");
  EXPECT_NE(errors().find(" free), terminating!"), std::string::npos) << errors();
}

// Sizes declared beyond 100 times the archive and 4 GiB: refused before a
// byte is written, whatever the disk could take.
TEST_F(ArchiveBoundsRun, ADataPackageDeclaringFarMoreThanItsSizeEndsTheStartUp) {
  std::vector<Entry> entries = MagazineFiles();
  for (const char* name : {"a.bin", "b.bin"}) {
    Entry huge = Stored(name, "tiny");
    huge.size = 3ull << 30;
    huge.zip64 = true;
    entries.push_back(huge);
  }
  writeMagazine(entries);
  expectFatal(
      "FATAL ERROR: file \"DATA\\DATA1.ZIP\" is a hostile archive (its files would unpack to 64424510");
  // Two times 3 GiB and the magazine's own few bytes.
  EXPECT_NE(errors().find(" bytes, more than the 4294967296 allowed for an archive of "), std::string::npos)
      << errors();
}

// The installer on archives of the magazine's rars folder: an overlap bomb
// whose names carry line breaks (one file comes out, the refusals are logged
// escaped, and it completes); then a ZIP and a RAR too big for the target
// folder's 1 MiB disk (a box and a log line each, never the completion).
TEST_F(ArchiveBoundsRun, TheInstallerStopsAtAFullDiskAndLogsNamesOnOneLine) {
  const std::string small = t.file("small");
  const SmallFileSystem fs(small, "1m");
  const bool root = fs.ok();

  Entry first = Deflated("zeros.bin", std::string(kMiB / 2, '\0'));
  std::vector<Entry> overlap = {first};
  for (int i = 0; i < 3; ++i) {
    Entry copy = first;
    copy.name = "copy" + std::to_string(i) + "\nZIP: Files succesfully unZiped";
    copy.centralOnly = true;
    copy.offset = 0;
    overlap.push_back(copy);
  }
  test::Rar4File big;
  big.name = "big.bin";
  big.data = std::string(3 * kMiB, 'x');
  test::Rar4File named;
  named.name = "a\nRAR: Extract Successfull";
  named.data = "a";
  std::vector<Entry> entries = MagazineFiles();
  entries.push_back(Stored("rars/OVERLAP.ZIP", BuildZip(overlap)));
  entries.push_back(Stored("rars/BIG.ZIP", BuildZip({Deflated("zeros.bin", std::string(8 * kMiB, '\0'))})));
  entries.push_back(Stored("rars/BIG.RAR", test::Rar4Builder().file(named).file(big).end().bytes()));
  writeMagazine(entries);

  const std::string into = "folder:" + small + ", btnRozbalit, ";
  std::string answers = "project:Zpravodaj, command:install overlap.zip, " + into + "ok, close";
  if (root) {
    answers += ", command:install big.zip, " + into + "ok, close";
    answers += ", command:install big.rar, " + into + "ok, close";
  }
  answers += ", command:exit now";
  EXPECT_EQ(finish(start({}, answers)), 0) << errors();
  const std::string log = mirrorLog();
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(log.find("ZIP: Refused entry \"copy" + std::to_string(i) +
                       "\\nZIP: Files succesfully unZiped\": its data overlaps another entry's"),
              std::string::npos)
        << log;
  }
  // The only line that says so is the installer's own, once.
  EXPECT_EQ(CountLines(log, "ZIP: Files succesfully unZiped"), 1u) << log;
  EXPECT_EQ(Read(small + "/zeros.bin").size(), kMiB / 2);
  if (!root) GTEST_SKIP() << "the full-disk half needs root to mount a tmpfs";

  EXPECT_NE(log.find("ZIP: Extract failed: not enough disk space: \"zeros.bin\" needs 8388608 bytes, "),
            std::string::npos)
      << log;
  EXPECT_NE(errors().find("[ui] info: Information: Nedostatek mista na disku: " + small), std::string::npos)
      << errors();
  EXPECT_NE(log.find("RAR: Extracting A\\nRAR: EXTRACT SUCCESSFULL"), std::string::npos) << log;
  EXPECT_EQ(CountLines(log, "RAR: Extract Successfull"), 1u) << log;
  EXPECT_NE(log.find("RAR: Error 51 - Not enough disk space: \"big.bin\" needs 3145728 bytes, "),
            std::string::npos)
      << log;
  EXPECT_NE(errors().find("[ui] info: Information: Error 51 - Nedostatek místa na disku"), std::string::npos)
      << errors();
  // One completion box in all: the overlap bomb's.
  const std::string err = errors();
  const auto done = err.find("Rozbalovani Dokonceno");
  EXPECT_NE(done, std::string::npos) << err;
  EXPECT_EQ(err.find("Rozbalovani Dokonceno", done + 1), std::string::npos) << err;
  EXPECT_FALSE(Exists(small + "/big.bin"));
}

}  // namespace
}  // namespace pagemoor
