// What the extractors may write: bombs made here (entries sharing their data,
// highly compressible entries, sizes declared beyond any magazine) against a
// file system of a given size, faked through extract::SetFreeSpaceFunction,
// and a real small tmpfs when the test may mount one.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/FileIo.h"
#include "installer/ChiefUnzip.h"
#include "installer/ExtractPaths.h"
#include "installer/RarArc.h"
#include "support/FakePlatform.h"
#include "support/SmallFileSystem.h"
#include "support/TempFolder.h"
#include "support/ZipBuilder.h"
#include "unrar/RarBuilder.h"

namespace pagemoor {
namespace {

namespace fs = std::filesystem;
using test::zip::BuildZip;
using test::zip::Deflated;
using test::zip::Entry;
using test::zip::Stored;

constexpr std::uint64_t kMiB = 1 << 20;

// The file system every extraction sees while one of these lives.
class FakeFreeSpace {
 public:
  explicit FakeFreeSpace(std::uint64_t bytes) {
    s_bytes = bytes;
    extract::SetFreeSpaceFunction([](int) -> std::optional<std::uint64_t> { return s_bytes; });
  }
  ~FakeFreeSpace() { extract::SetFreeSpaceFunction(nullptr); }
  FakeFreeSpace(const FakeFreeSpace&) = delete;
  FakeFreeSpace& operator=(const FakeFreeSpace&) = delete;

 private:
  static inline std::uint64_t s_bytes = 0;
};

using test::SmallFileSystem;

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// One deflated entry of `size` zero bytes: about a thousandth of it stored.
Entry Zeros(const std::string& name, std::uint64_t size) {
  return Deflated(name, std::string(size, '\0'));
}

class ZipBoundsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unzip.TargetDirectory = target;
    unzip.OnLog = [this](const std::string& text) { logs.push_back(text); };
  }
  int run(const std::vector<Entry>& entries) {
    unzip.ZipFileName = temp.write("bomb.zip", BuildZip(entries));
    return unzip.Unzip();
  }

  test::TempFolder temp;
  test::FakePlatform fake;
  ScopedPlatform usePlatform{fake};
  std::string target = temp.file("out");
  TChiefUnzip unzip;
  std::vector<std::string> logs;
};

// Two thousand central records naming one local header: each would write the
// whole stream again. The first claimant keeps it; the others, and a record
// pointing into the middle of its data, are refused and logged (their names
// escaped), and what is written is the one file.
TEST_F(ZipBoundsTest, EntriesSharingTheirDataAreRefusedAndLogged) {
  const Entry first = Zeros("zeros.bin", 4 * kMiB);
  // A record of the same data with a name of its own (and nothing else).
  auto pointingAt = [](const Entry& e, std::string name, std::uint64_t offset) {
    Entry copy;
    copy.name = std::move(name);
    copy.method = e.method;
    copy.crc = test::zip::Crc(e.content);
    copy.size = e.content.size();
    copy.csize = e.data.size();
    copy.offset = offset;
    copy.centralOnly = true;
    return copy;
  };
  std::vector<Entry> entries = {first};
  for (int i = 0; i < 2000; ++i) entries.push_back(pointingAt(first, "copy" + std::to_string(i) + ".bin", 0));
  // A stored archive in the archive: a record may point at its inner local
  // header, inside the outer entry's data.
  const Entry innerFile = Stored("x.txt", "x");
  const Entry nested = Stored("nested.zip", BuildZip({innerFile}));
  const std::uint64_t nestedAt = 30 + first.name.size() + first.data.size();
  entries.push_back(nested);
  entries.push_back(
      pointingAt(innerFile, "inside\nZIP: Files succesfully unZiped", nestedAt + 30 + nested.name.size()));
  // Legitimate neighbours still come out: an empty file, a folder, a file.
  entries.push_back(Stored("empty.txt", ""));
  entries.push_back(test::zip::Folder("folder/"));
  entries.push_back(Stored("folder/after.txt", "after"));

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(run(entries), 4);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  EXPECT_EQ(Files(target),
            (std::vector<std::string>{"empty.txt", "folder/after.txt", "nested.zip", "zeros.bin"}));
  EXPECT_EQ(fs::file_size(target + "/zeros.bin"), 4 * kMiB);
  EXPECT_EQ(logs.size(), 2001u);
  EXPECT_TRUE(Contains(logs, "Refused entry \"copy0.bin\": its data overlaps another entry's"));
  EXPECT_TRUE(Contains(logs, "Refused entry \"copy1999.bin\": its data overlaps another entry's"));
  EXPECT_TRUE(Contains(logs,
                       "Refused entry \"inside\\nZIP: Files succesfully unZiped\": its data overlaps "
                       "another entry's"));
  for (const std::string& line : logs) EXPECT_EQ(line.find('\n'), std::string::npos) << line;
}

// A file that would not fit is never begun, and the extraction stops there:
// the file system keeps its space, the files after it are not tried.
TEST_F(ZipBoundsTest, AFileLargerThanTheFreeSpaceStopsTheExtraction) {
  const FakeFreeSpace space(2 * kMiB);
  EXPECT_EQ(
      run({Stored("first.txt", "first"), Zeros("texts/zeros.bin", 50 * kMiB), Stored("last.txt", "last")}),
      TChiefUnzip::kNotEnoughSpace);
  EXPECT_EQ(Files(target), (std::vector<std::string>{"first.txt"}));
  EXPECT_EQ(unzip.StopReason, "\"texts/zeros.bin\" needs 52428800 bytes, 2097152 free");
  EXPECT_EQ(logs,
            (std::vector<std::string>{"Not enough disk space: \"texts/zeros.bin\" needs 52428800 bytes, "
                                      "2097152 free; extraction stopped"}));
}

// The same bomb on a real file system of 2 MiB: refused before it is begun,
// and a file whose declared size lies (it unpacks to more) fails alone
// without filling the disk, as the decoder stops at the declared size.
TEST_F(ZipBoundsTest, OnARealSmallFileSystemNothingFillsIt) {
  const SmallFileSystem small(target, "2m");
  if (!small.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
  Entry liar = Zeros("liar.bin", 50 * kMiB);
  liar.size = 1000;
  EXPECT_EQ(run({liar, Stored("first.txt", "first"), Zeros("zeros.bin", 50 * kMiB), Stored("last.txt", "l")}),
            TChiefUnzip::kNotEnoughSpace);
  EXPECT_EQ(Files(target), (std::vector<std::string>{"first.txt"}));
  EXPECT_NE(unzip.StopReason.find("\"zeros.bin\" needs 52428800 bytes"), std::string::npos)
      << unzip.StopReason;
  const auto free = extract::FreeSpaceAt(target);
  ASSERT_TRUE(free.has_value());
  EXPECT_GT(*free, kMiB);
}

// The sizes an archive declares add up beyond 100 times its size and beyond
// 4 GiB: refused whole, before a folder is made. Up to the bound, the
// entries are tried (and these, their data being short, fail alone).
TEST_F(ZipBoundsTest, AnArchiveDeclaringFarMoreThanItsSizeIsRefusedWhole) {
  const FakeFreeSpace space(std::uint64_t{1} << 40);
  auto huge = [](const std::string& name, std::uint64_t size) {
    Entry e = Stored(name, "tiny");
    e.size = size;
    e.zip64 = true;
    return e;
  };
  const struct {
    const char* what;
    std::vector<Entry> entries;
    int result;
  } cases[] = {
      {"two of 3 GiB", {huge("a.bin", 3ull << 30), huge("b.bin", 3ull << 30)}, TChiefUnzip::kHostileArchive},
      {"one of 5 GiB", {huge("a.bin", 5ull << 30)}, TChiefUnzip::kHostileArchive},
      {"one of 16 EiB",
       {huge("a.bin", ~std::uint64_t{0}), Stored("b.txt", "b")},
       TChiefUnzip::kHostileArchive},
      {"one of 3 GiB", {huge("a.bin", 3ull << 30), Stored("b.txt", "b")}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    logs.clear();
    fs::remove_all(target);
    EXPECT_EQ(run(c.entries), c.result);
    if (c.result == TChiefUnzip::kHostileArchive) {
      EXPECT_FALSE(fs::exists(target));
      ASSERT_EQ(logs.size(), 1u);
      EXPECT_EQ(logs[0].rfind("Refused archive as hostile: its files would unpack to ", 0), 0u) << logs[0];
      EXPECT_NE(unzip.StopReason.find("more than the 4294967296 allowed"), std::string::npos)
          << unzip.StopReason;
    } else {
      EXPECT_EQ(Files(target), (std::vector<std::string>{"b.txt"}));
      EXPECT_TRUE(unzip.StopReason.empty());
    }
  }
}

TEST(OutputLimit, HundredTimesTheArchiveAtLeastFourGiB) {
  EXPECT_EQ(extract::OutputLimit(0), 4ull << 30);
  EXPECT_EQ(extract::OutputLimit(1 << 20), 4ull << 30);
  EXPECT_EQ(extract::OutputLimit(100ull << 20), 10000ull << 20);
  EXPECT_EQ(extract::OutputLimit(UINT64_MAX / 2), UINT64_MAX);
}

// --- RAR ---------------------------------------------------------------------

using test::Rar4Builder;
using test::Rar4File;

class RarBoundsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rar.LoadedDLL());
    rar.TargetDir = target;
    rar.OnError = [this](TRAR&, int error) { events.push_back("error " + std::to_string(error)); };
    rar.OnExtract = [this](TRAR&, const RARHeaderData& h, bool ok) {
      events.push_back(std::string(h.FileName) + (ok ? " ok" : " failed"));
    };
  }
  bool run(const std::string& archive) {
    rar.ArchiveName = temp.write("bomb.rar", archive);
    return rar.Extract();
  }
  static Rar4File File(const std::string& name, std::string data) {
    Rar4File f;
    f.name = name;
    f.data = std::move(data);
    return f;
  }

  test::TempFolder temp;
  std::string target = temp.file("out");
  TRAR rar{PAGEMOOR_UNRAR_LIBRARY};
  std::vector<std::string> events;
};

TEST_F(RarBoundsTest, AFileLargerThanTheFreeSpaceStopsTheExtraction) {
  const FakeFreeSpace space(100 * 1024);
  EXPECT_FALSE(run(Rar4Builder()
                       .file(File("first.txt", "first"))
                       .file(File("big.bin", std::string(300 * 1024, 'x')))
                       .file(File("last.txt", "last"))
                       .end()
                       .bytes()));
  EXPECT_EQ(events, (std::vector<std::string>{"first.txt ok", "big.bin failed", "error 51"}));
  EXPECT_EQ(rar.StopCode, TRAR::kNotEnoughSpace);
  EXPECT_EQ(rar.StopReason, "\"big.bin\" needs 307200 bytes, 102400 free");
  EXPECT_EQ(Files(target), (std::vector<std::string>{"first.txt"}));
  EXPECT_EQ(TRAR::ErrorTextEnglish(51), "Not enough disk space");
}

// On a real 1 MiB file system: the library never begins the file that would
// not fit, and the disk keeps its space.
TEST_F(RarBoundsTest, OnARealSmallFileSystemNothingFillsIt) {
  const SmallFileSystem small(target, "1m");
  if (!small.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
  EXPECT_FALSE(run(Rar4Builder()
                       .file(File("first.txt", "first"))
                       .file(File("big.bin", std::string(3 * kMiB, 'x')))
                       .end()
                       .bytes()));
  EXPECT_EQ(rar.StopCode, TRAR::kNotEnoughSpace) << rar.StopReason;
  EXPECT_EQ(Files(target), (std::vector<std::string>{"first.txt"}));
  EXPECT_GT(extract::FreeSpaceAt(target).value_or(0), kMiB / 2);
}

// Headers declaring far more than 100 times the archive (and 4 GiB): the
// extraction stops at the header that crosses the bound, before the library
// writes a byte of it.
TEST_F(RarBoundsTest, HeadersDeclaringFarMoreThanTheArchiveStopIt) {
  const FakeFreeSpace space(std::uint64_t{1} << 40);
  Rar4File liar = File("liar1.bin", "tiny");
  liar.unpSize = 0xF0000000u;  // 3.75 GiB
  Rar4File second = liar;
  second.name = "liar2.bin";
  EXPECT_FALSE(run(Rar4Builder().file(File("ok.txt", "ok")).file(liar).file(second).end().bytes()));
  // The first liar fails alone (its data is short); the second crosses 4 GiB.
  EXPECT_EQ(events, (std::vector<std::string>{"ok.txt ok", "liar1.bin failed", "error 12", "liar2.bin failed",
                                              "error 52"}));
  EXPECT_EQ(rar.StopCode, TRAR::kHostileArchive);
  EXPECT_NE(rar.StopReason.find("\"liar2.bin\""), std::string::npos) << rar.StopReason;
  EXPECT_EQ(Files(target), (std::vector<std::string>{"ok.txt"}));
}

}  // namespace
}  // namespace pagemoor
