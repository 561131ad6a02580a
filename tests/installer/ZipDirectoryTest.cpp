#include "installer/ZipDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LittleEndian.h"
#include "support/ZipBuilder.h"

namespace pagemoor {
namespace {

using namespace test::zip;  // NOLINT: the archives of these tests are made byte by byte

// An archive that uses every part of the directory we read: a ZIP64 extra
// field, an extended timestamp, a Unicode path field, a data descriptor.
std::vector<Entry> EveryKindOfEntry() {
  Entry big = Deflated("big.txt", std::string(3000, 'z'));
  big.zip64 = true;
  Entry timed = Stored("timed.txt", "t");
  test::Put16(timed.extra, 0x5455);
  test::Put16(timed.extra, 5);
  timed.extra += '\x01';
  test::Put32(timed.extra, 1000000000);
  Entry unicode = Stored("n\x84ve.txt", "u");  // the code page name
  const std::string utf8 = "n\xc3\xa4ve.txt";
  test::Put16(unicode.extra, 0x7075);
  test::Put16(unicode.extra, static_cast<std::uint32_t>(5 + utf8.size()));
  unicode.extra += '\x01';
  test::Put32(unicode.extra, Crc(unicode.name));
  unicode.extra += utf8;
  Entry described = Stored("described.txt", "d");
  described.descriptor = true;
  described.flags = 0x0800;
  return {big, timed, unicode, described};
}

ArchiveOptions Shape(std::string prefix, bool zip64End, std::string comment = "", std::string trailer = "") {
  ArchiveOptions o;
  o.prefix = std::move(prefix);
  o.zip64End = zip64End;
  o.comment = std::move(comment);
  o.trailer = std::move(trailer);
  return o;
}

TEST(ZipDirectoryTest, ReadsEveryFieldOfTheDirectory) {
  const std::string archive = BuildZip(EveryKindOfEntry(), Shape("MZ", true));
  const ZipDirectory dir = ReadZipDirectory(archive);
  ASSERT_EQ(dir.status, ZipDirectoryStatus::Ok);
  ASSERT_EQ(dir.entries.size(), 4u);
  const ZipEntry& big = dir.entries[0];
  EXPECT_EQ(big.name, "big.txt");
  EXPECT_EQ(big.versionMadeBy, kMadeOnUnix);
  EXPECT_EQ(big.method, 8);
  EXPECT_EQ(big.dosDateTime, kDosTime);
  EXPECT_EQ(big.crc32, Crc(std::string(3000, 'z')));
  EXPECT_EQ(big.uncompressedSize, 3000u);
  EXPECT_EQ(big.localHeaderOffset, 2u);  // moved by the bytes in front
  EXPECT_EQ(big.externalAttributes, kUnixFile);
  EXPECT_EQ(LocateZipEntryData(archive, big), test::RawDeflate(std::string(3000, 'z')));
  EXPECT_EQ(dir.entries[1].unixModTime, 1000000000);
  EXPECT_EQ(dir.entries[2].rawName, "n\x84ve.txt");
  EXPECT_EQ(dir.entries[2].name, "n\xc3\xa4ve.txt");
  EXPECT_EQ(dir.entries[3].flags, 0x0808);
  EXPECT_EQ(LocateZipEntryData(archive, dir.entries[3]), "d");
}

TEST(ZipDirectoryTest, EveryCutOfAnArchiveFailsCleanlyOrReadsTheSameDirectory) {
  const std::vector<Entry> entries = EveryKindOfEntry();
  const ArchiveOptions shapes[] = {
      Shape("", false),
      Shape("", true),
      Shape("MZ\x90\x90", true),
      Shape("", false, "a comment"),
      Shape("", false, "", "appended by a mailer\n"),
  };
  for (const ArchiveOptions& shape : shapes) {
    const std::string archive = BuildZip(entries, shape);
    const ZipDirectory whole = ReadZipDirectory(archive);
    ASSERT_EQ(whole.status, ZipDirectoryStatus::Ok);
    for (std::size_t cut = 0; cut < archive.size(); ++cut) {
      // A copy of its own, so a read past the cut is a read past the buffer
      // (which the sanitizer builds catch), not into the rest of the archive.
      const std::string prefix = archive.substr(0, cut);
      const ZipDirectory dir = ReadZipDirectory(prefix);
      if (dir.status != ZipDirectoryStatus::Ok) {
        EXPECT_TRUE(dir.entries.empty() || dir.status == ZipDirectoryStatus::BadDirectory) << cut;
        continue;
      }
      // Only a cut in what follows the archive leaves its directory whole.
      ASSERT_EQ(dir.entries.size(), whole.entries.size()) << cut;
      for (std::size_t i = 0; i < dir.entries.size(); ++i) {
        EXPECT_EQ(dir.entries[i].name, whole.entries[i].name) << cut;
        const auto data = LocateZipEntryData(prefix, dir.entries[i]);
        EXPECT_EQ(data, LocateZipEntryData(archive, whole.entries[i])) << cut;
      }
    }
  }
}

TEST(ZipDirectoryTest, LocalHeadersAndDataOutsideTheArchiveAreReported) {
  const std::string archive = BuildZip({Stored("a", "abc")});
  ZipEntry entry = ReadZipDirectory(archive).entries.at(0);
  struct Case {
    const char* name;
    std::uint64_t offset;
    std::uint64_t size;
    const char* why;
  } cases[] = {
      {"header past the end", archive.size(), 3, "local header outside the archive"},
      {"header with a wrapping offset", UINT64_MAX - 10, 3, "local header outside the archive"},
      {"no header there", 1, 3, "no local header"},
      {"data past the end", 0, archive.size(), "data outside the archive"},
      {"data of a wrapping size", 0, UINT64_MAX, "data outside the archive"},
  };
  for (const Case& c : cases) {
    entry.localHeaderOffset = c.offset;
    entry.compressedSize = c.size;
    std::string why;
    EXPECT_FALSE(LocateZipEntryData(archive, entry, &why)) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
}

}  // namespace
}  // namespace pagemoor
