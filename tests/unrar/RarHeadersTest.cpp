#include "unrar/RarHeaders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/FileIo.h"
#include "unrar/RarBuilder.h"

namespace pagemoor::rar {
namespace {

using test::Rar4Builder;
using test::Rar4File;
using test::Rar5Builder;
using test::Rar5File;
using test::Rar5Record;
using test::Vint;

const std::string kRarDir = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/rar/";

struct Listing {
  ReadStatus open = ReadStatus::NotRar;
  Format format = Format::Unknown;
  MainHeader main;
  std::vector<Block> blocks;
  ReadStatus last = ReadStatus::Ok;  // what ended the blocks

  std::vector<FileHeader> files() const {
    std::vector<FileHeader> out;
    for (const Block& b : blocks) {
      if (b.kind == BlockKind::File) out.push_back(b.file);
    }
    return out;
  }
  const Block* find(BlockKind kind) const {
    for (const Block& b : blocks) {
      if (b.kind == kind) return &b;
    }
    return nullptr;
  }
};

Listing ListBytes(std::string_view bytes) {
  Listing l;
  MemorySource source(bytes);
  HeaderReader reader(source);
  l.open = reader.open();
  l.format = reader.format();
  l.main = reader.main();
  if (l.open != ReadStatus::Ok) return l;
  Block block;
  while ((l.last = reader.next(block)) == ReadStatus::Ok) l.blocks.push_back(block);
  // Nothing more after the end, however often asked.
  EXPECT_EQ(reader.next(block), l.last);
  return l;
}

std::string Fixture(const std::string& name) {
  std::optional<std::string> bytes = ReadFileBytes(kRarDir + name);
  EXPECT_TRUE(bytes.has_value()) << name;
  return bytes.value_or("");
}

TEST(RarFormatTest, SignaturesTellTheFormat) {
  struct Case {
    std::string head;
    Format format;
  } cases[] = {
      {std::string("Rar!\x1a\x07\x00", 7), Format::Rar4},
      {std::string("Rar!\x1a\x07\x01\x00", 8), Format::Rar5},
      {"RE~^\x01\x02", Format::Rar14},
      {"PK\x03\x04 not rar", Format::Unknown},
      {std::string("Rar!\x1a\x07", 6), Format::Unknown},
      {"", Format::Unknown},
  };
  for (const Case& c : cases) EXPECT_EQ(DetectFormat(c.head), c.format) << c.head;
}

TEST(RarFormatTest, OpenRefusesWhatIsNoArchiveWeRead) {
  EXPECT_EQ(ListBytes("PK\x03\x04 plainly a zip").open, ReadStatus::NotRar);
  EXPECT_EQ(ListBytes("RE~^ an archive from before RAR 1.5").open, ReadStatus::NotRar);
  EXPECT_EQ(ListBytes(std::string(test::kRar4Marker)).open, ReadStatus::Truncated);
  std::string damaged = Rar4Builder().bytes();
  damaged[7] ^= 0x55;  // the main header's check value
  EXPECT_EQ(ListBytes(damaged).open, ReadStatus::BadCrc);
}

TEST(Rar4HeadersTest, ReadsTheFilesOfARar4Archive) {
  Listing l = ListBytes(Fixture("Rar4.rar"));
  ASSERT_EQ(l.open, ReadStatus::Ok);
  EXPECT_EQ(l.format, Format::Rar4);
  EXPECT_FALSE(l.main.volume);
  EXPECT_FALSE(l.main.solid);
  EXPECT_EQ(l.last, ReadStatus::End);
  std::vector<FileHeader> files = l.files();
  ASSERT_EQ(files.size(), 5u);
  struct Expected {
    std::string name;
    std::uint64_t unpSize;
    std::uint32_t crc;
    bool directory;
  } expected[] = {
      {"exe\\test.exe", 45056, 0xcfb109c8, false},
      {"jpg\\test.jpg", 40372, 0x088814e3, false},
      {"тест.txt", 15498, 0x9bd160fa, false},
      {"exe", 0, 0, true},
      {"jpg", 0, 0, true},
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(files[i].name, expected[i].name);
    EXPECT_EQ(files[i].unpSize, expected[i].unpSize);
    EXPECT_EQ(files[i].crc, expected[i].crc);
    EXPECT_EQ(files[i].directory, expected[i].directory);
    EXPECT_EQ(files[i].hostOs, kHostWindows);
    EXPECT_EQ(files[i].dosTime, 0x54938bf8u);
  }
  EXPECT_EQ(files[0].packSize, 18037u);
  EXPECT_EQ(files[0].dataOffset, 20u + 49u);
  EXPECT_EQ(files[0].unpVer, 29);
  EXPECT_EQ(files[0].method, 0x33);
  EXPECT_EQ(files[0].attributes, 0x20u);
  EXPECT_FALSE(files[0].encrypted);
}

TEST(Rar4HeadersTest, SolidVolumeAndEncryptionFlags) {
  Listing solid = ListBytes(Fixture("Rar.solid.rar"));
  EXPECT_TRUE(solid.main.solid);
  std::vector<FileHeader> files = solid.files();
  ASSERT_GE(files.size(), 2u);
  EXPECT_FALSE(files[0].solid);  // the first file starts the stream
  EXPECT_TRUE(files[1].solid);

  Listing part1 = ListBytes(Fixture("rar4-multivolume/Rar4.multi.part01.rar"));
  EXPECT_TRUE(part1.main.volume);
  EXPECT_TRUE(part1.main.firstVolume);
  EXPECT_TRUE(part1.main.newNumbering);
  ASSERT_EQ(part1.files().size(), 1u);
  EXPECT_TRUE(part1.files()[0].splitAfter);
  ASSERT_NE(part1.find(BlockKind::End), nullptr);
  EXPECT_TRUE(part1.find(BlockKind::End)->nextVolume);
  Listing part7 = ListBytes(Fixture("rar4-multivolume/Rar4.multi.part07.rar"));
  EXPECT_TRUE(part7.files()[0].splitBefore);
  EXPECT_FALSE(part7.find(BlockKind::End)->nextVolume);

  Listing mixed = ListBytes(Fixture("test_read_format_rar4_encrypted.rar"));
  std::vector<bool> encrypted;
  for (const FileHeader& f : mixed.files()) encrypted.push_back(f.encrypted);
  EXPECT_EQ(encrypted, (std::vector<bool>{false, true, false, true}));

  Listing hidden = ListBytes(Fixture("test_read_format_rar_encryption_header.rar"));
  EXPECT_EQ(hidden.open, ReadStatus::Ok);
  EXPECT_TRUE(hidden.main.encryptedHeaders);
  EXPECT_TRUE(hidden.blocks.empty());
}

TEST(Rar4HeadersTest, LargeSizesLinksAndDirectories) {
  Rar4File big;
  big.name = "big.bin";
  big.data = "x";
  big.flags = 0x8100;
  big.highPack = 0;
  big.highUnp = 2;
  big.unpSize = 5;
  Rar4File link;
  link.name = "lnk";
  link.host = kHostUnix;
  link.attributes = 0120777;
  link.data = "/etc/passwd";
  Rar4File folder;
  folder.name = "folder";
  folder.flags = 0x80e0;
  std::vector<FileHeader> files =
      ListBytes(Rar4Builder().file(big).file(link).file(folder).end().bytes()).files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].unpSize, (2ULL << 32) | 5u);
  EXPECT_EQ(files[0].packSize, 1u);
  EXPECT_TRUE(files[1].link);
  EXPECT_FALSE(files[0].link);
  EXPECT_TRUE(files[2].directory);
}

TEST(Rar4HeadersTest, DamagedTruncatedAndImpossibleHeaders) {
  Rar4File f;
  f.name = "a.txt";
  f.data = "data";
  std::string good = Rar4Builder().file(f).end().bytes();
  const std::size_t fileHeader = 7 + 13;

  std::string badCrc = good;
  badCrc[fileHeader + 10] ^= 1;  // inside the file header
  Listing l = ListBytes(badCrc);
  EXPECT_EQ(l.last, ReadStatus::BadCrc);
  EXPECT_TRUE(l.blocks.empty());

  // A name longer than its header.
  std::string longName = good;
  longName[fileHeader + 26] = 0x7f;
  EXPECT_EQ(ListBytes(longName).last, ReadStatus::BadCrc);
  // Headers whose check value is right and whose sizes cannot be.
  std::string tooSmall = Rar4Builder().raw(test::Rar4Block(0x74, 0x8000, "short")).bytes();
  EXPECT_EQ(ListBytes(tooSmall).last, ReadStatus::Broken);
  std::string fields(25, '\0');
  fields[19] = static_cast<char>(200);  // the name's size
  std::string nameOutside = Rar4Builder().raw(test::Rar4Block(0x74, 0x8000, fields + "ab")).bytes();
  EXPECT_EQ(ListBytes(nameOutside).last, ReadStatus::Broken);

  // Every cut of the archive ends cleanly: the blocks before the cut, then
  // Truncated or End, never a block that is not all there.
  for (std::size_t cut = 20; cut < good.size(); ++cut) {
    Listing c = ListBytes(good.substr(0, cut));
    for (const Block& b : c.blocks) EXPECT_LE(b.offset + 7, cut);
    EXPECT_TRUE(c.last == ReadStatus::Truncated || c.last == ReadStatus::End) << cut;
  }
}

TEST(Rar4HeadersTest, HostileSizesAreOnlyNumbers) {
  // 512 bytes that claim a 476 MB file: the header reads, its data is simply
  // not there, and the blocks end.
  Listing l = ListBytes(Fixture("Rar.malformed_512byte.rar"));
  std::vector<FileHeader> files = l.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].unpSize, 476184576u);
  EXPECT_EQ(files[0].name, "dist\\files\\bin\\res\\common.pak");
  EXPECT_EQ(l.last, ReadStatus::End);
}

TEST(Rar4NameTest, DecodesEveryNameForm) {
  struct Case {
    const char* what;
    std::string field;
    bool unicode;
    std::string expected;
  } cases[] = {
      {"code page 852",
       "\x9f"
       "ast.txt",
       false, "čast.txt"},
      {"UTF-8 without a zero", "čaj.txt", true, "čaj.txt"},
      {"not UTF-8 after all",
       "\x9f"
       "aj",
       true, "čaj"},
      {"packed, high byte and a run of the OEM name", std::string("????.txt\0\x04UB5AB\xc0\x02", 17), true,
       "тест.txt"},
      {"packed, whole units", std::string("?\0\x00\x80\x0d\x01", 6), true, "č"},
      {"packed, a run with a correction", std::string("ABC\0\x00\xc0\x81\x20", 8), true, "abc"},
      {"packed part cut short", std::string("abc\0\x04\x40", 6), true, "abc"},
      {"empty packed part", std::string("abc\0", 4), true, "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeRar4Name(c.field, c.unicode), c.expected) << c.what;
}

TEST(Rar4NameTest, HugePackedRunsStayBounded) {
  // Each two bytes ask for a run of 129 characters; the decoder stops at a
  // sane length instead of growing with them.
  std::string field("a\0\x00", 3);
  for (int i = 0; i < 30000; ++i) field += "\xff\xff";
  EXPECT_LE(DecodeRar4Name(field, true).size(), 4u * 4096u);
}

TEST(RarCommentTest, StoredAndCompressedComments) {
  // RAR 3: a "CMT" service block before the first file.
  Listing stored = ListBytes(Rar4Builder().comment("Number of the month").end().bytes());
  const Block* cmt = stored.find(BlockKind::Service);
  ASSERT_NE(cmt, nullptr);
  EXPECT_EQ(cmt->comment.state, Comment::State::Stored);
  EXPECT_EQ(cmt->comment.text, "Number of the month");

  // The real archive packs its comments: reported as such, with what a
  // decoder needs.
  Listing packed = ListBytes(Fixture("rar3-comment-plain.rar"));
  cmt = packed.find(BlockKind::Service);
  ASSERT_NE(cmt, nullptr);
  EXPECT_EQ(cmt->comment.state, Comment::State::Compressed);
  EXPECT_EQ(cmt->comment.packed.size(), 22u);
  EXPECT_EQ(cmt->comment.unpSize, 11u);
  EXPECT_EQ(cmt->comment.crc, 0x75ec50bcu);

  // RAR 1.5 to 2.x: inside the main header, 16 bits of check value.
  Listing old = ListBytes(Rar4Builder(0x0002, test::Rar4OldComment("Old times")).end().bytes());
  EXPECT_EQ(old.main.comment.state, Comment::State::Stored);
  EXPECT_EQ(old.main.comment.text, "Old times");
  Listing oldPacked = ListBytes(Rar4Builder(0x0002, test::Rar4OldComment("packed?", 0x33, 15)).end().bytes());
  EXPECT_EQ(oldPacked.main.comment.state, Comment::State::Compressed);
  EXPECT_EQ(oldPacked.main.comment.unpVer, 15);

  // A stored comment whose check value fails is damaged, not shown.
  std::string damaged = Rar4Builder().comment("Number of the month").end().bytes();
  damaged[damaged.size() - 8] ^= 0x20;
  EXPECT_EQ(ListBytes(damaged).find(BlockKind::Service)->comment.state, Comment::State::Damaged);

  Listing rar5 = ListBytes(Rar5Builder().comment("Pět").end().bytes());
  cmt = rar5.find(BlockKind::Service);
  ASSERT_NE(cmt, nullptr);
  EXPECT_EQ(cmt->comment.state, Comment::State::Stored);
  EXPECT_EQ(cmt->comment.text, "Pět");
}

TEST(Rar5HeadersTest, ReadsTheFilesOfARar5Archive) {
  Listing l = ListBytes(Fixture("Rar5.rar"));
  ASSERT_EQ(l.open, ReadStatus::Ok);
  EXPECT_EQ(l.format, Format::Rar5);
  EXPECT_EQ(l.last, ReadStatus::End);
  std::vector<FileHeader> files = l.files();
  ASSERT_EQ(files.size(), 6u);
  std::vector<std::string> names;
  for (const FileHeader& f : files) names.push_back(f.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"exe/test.exe", "jpg/test.jpg", "тест.txt", "Empty", "exe", "jpg"}));
  EXPECT_EQ(files[0].unpSize, 45056u);
  EXPECT_EQ(files[0].packSize, 17943u);
  EXPECT_EQ(files[0].crc, 0xcfb109c8u);
  EXPECT_TRUE(files[0].hasCrc);
  EXPECT_EQ(files[0].method, 0x33);
  EXPECT_EQ(files[0].unpVer, 50);
  EXPECT_EQ(files[0].hostOs, kHostWindows);
  EXPECT_TRUE(files[0].hasMtime);
  EXPECT_EQ(files[0].dosTime, UnixTimeToDos(files[0].mtime));
  EXPECT_TRUE(files[3].directory);
  EXPECT_FALSE(files[2].directory);
}

TEST(Rar5HeadersTest, ExtraRecordsAndFlags) {
  Rar5File encrypted;
  encrypted.name = "secret";
  encrypted.data = "0123456789abcdef";
  encrypted.extra = Rar5Record(1, std::string(40, '\0'));
  Rar5File link;
  link.name = "link";
  link.extra = Rar5Record(5, Vint(1) + Vint(0) + Vint(4) + "/etc");
  Rar5File timed;
  timed.name = "timed";
  timed.data = "t";
  // 2020-09-13 12:26:40 UTC as a Windows file time.
  std::string fileTime;
  test::PutLe(fileTime, (1600000000ULL + 11644473600ULL) * 10000000ULL, 8);
  timed.extra = Rar5Record(3, Vint(0x2) + fileTime);
  Rar5File unixLink;
  unixLink.name = "ulink";
  unixLink.host = 1;
  unixLink.attributes = 0120777;
  Rar5File split;
  split.name = "part";
  split.data = "p";
  split.headerFlags = 0x10;
  split.compression = 0x40 | (3 << 7);
  std::vector<FileHeader> files = ListBytes(Rar5Builder(0x1 | 0x4)
                                                .file(encrypted)
                                                .file(link)
                                                .file(timed)
                                                .file(unixLink)
                                                .file(split)
                                                .end(1)
                                                .bytes())
                                      .files();
  ASSERT_EQ(files.size(), 5u);
  EXPECT_TRUE(files[0].encrypted);
  EXPECT_TRUE(files[1].link);
  EXPECT_FALSE(files[2].link);
  EXPECT_TRUE(files[2].hasMtime);
  EXPECT_EQ(files[2].mtime, 1600000000);
  EXPECT_TRUE(files[3].link);
  EXPECT_EQ(files[3].hostOs, kHostUnix);
  EXPECT_TRUE(files[4].splitAfter);
  EXPECT_TRUE(files[4].solid);
  EXPECT_EQ(files[4].method, 0x33);
}

TEST(Rar5HeadersTest, MainHeaderEncryptionAndEnd) {
  Listing set = ListBytes(Rar5Builder(0x1 | 0x4).end(1).bytes());
  EXPECT_TRUE(set.main.volume);
  EXPECT_TRUE(set.main.solid);
  EXPECT_TRUE(set.main.firstVolume);
  ASSERT_NE(set.find(BlockKind::End), nullptr);
  EXPECT_TRUE(set.find(BlockKind::End)->nextVolume);

  std::string crypt =
      std::string(test::kRar5Signature) + test::Rar5Header(Vint(4) + Vint(0) + Vint(0) + Vint(0));
  Listing hidden = ListBytes(crypt + "\x01\x02\x03 random");
  EXPECT_EQ(hidden.open, ReadStatus::Ok);
  EXPECT_TRUE(hidden.main.encryptedHeaders);
  EXPECT_TRUE(hidden.blocks.empty());

  // A file header before any main header is no archive.
  Rar5File f;
  f.name = "x";
  EXPECT_EQ(ListBytes(std::string(test::kRar5Signature) +
                      test::Rar5Header(Vint(2) + Vint(0) + Vint(0x4) + Vint(0) + Vint(0) + Vint(0) + Vint(0) +
                                       Vint(1) + "x"))
                .open,
            ReadStatus::Broken);
}

TEST(Rar5HeadersTest, DamagedAndImpossibleHeaders) {
  Rar5File f;
  f.name = "a.txt";
  f.data = "data";
  std::string good = Rar5Builder().file(f).end().bytes();
  std::string badCrc = good;
  badCrc[good.size() - 14] ^= 1;  // in the file name
  EXPECT_EQ(ListBytes(badCrc).last, ReadStatus::BadCrc);

  // A header size beyond what a RAR 5 header may have.
  std::string huge = std::string(test::kRar5Signature) + test::Rar5Header(Vint(1) + Vint(0) + Vint(0));
  huge += std::string("\0\0\0\0", 4) + Vint(3ULL << 20);
  EXPECT_EQ(ListBytes(huge).last, ReadStatus::Broken);
  // A number of more than 64 bits.
  std::string endless = std::string(test::kRar5Signature) + test::Rar5Header(Vint(1) + Vint(0) + Vint(0));
  endless += test::Rar5Header(std::string(12, '\xff') + "\x01");
  EXPECT_EQ(ListBytes(endless).last, ReadStatus::Broken);
  // A name longer than the header.
  std::string body = Vint(2) + Vint(0) + Vint(0) + Vint(0) + Vint(0) + Vint(0) + Vint(0) + Vint(200) + "ab";
  EXPECT_EQ(ListBytes(Rar5Builder().raw(test::Rar5Header(body)).bytes()).last, ReadStatus::Broken);

  for (std::size_t cut = 8; cut < good.size(); ++cut) {
    Listing c = ListBytes(good.substr(0, cut));
    EXPECT_TRUE(c.open != ReadStatus::Ok || c.last == ReadStatus::Truncated || c.last == ReadStatus::End)
        << cut;
  }
}

// Every cut of an archive lists what the whole archive lists up to the cut,
// each block with its header all there, and then ends cleanly: Truncated,
// End, or what ended the whole archive (a damaged or encrypted one).
TEST(RarTruncationTest, EveryCutListsTheBlocksBeforeItAndEndsCleanly) {
  std::vector<std::string> archives;
  for (const char* name :
       {"Rar4.rar", "Rar5.rar", "Rar15.rar", "Rar2.rar", "Rar.solid.rar", "rar3-comment-plain.rar",
        "Rar4.damaged-crc.rar", "test_read_format_rar4_encrypted.rar",
        "test_read_format_rar_encryption_header.rar"})
    archives.push_back(Fixture(name));
  // Built ones with the fields real archives above do not all have: 64-bit
  // sizes, Unicode names, comments in service blocks, RAR 5 extra records.
  Rar4File large;
  large.name = "large.txt";
  large.data = "data";
  large.flags = 0x8000 | 0x0100 | 0x0200;
  Rar4File unicode;
  unicode.name = std::string("nazov\0\x00\x00\x61", 9);
  unicode.flags = 0x8000 | 0x0200;
  archives.push_back(Rar4Builder().file(large).file(unicode).comment("a note").end().bytes());
  Rar5File timed;
  timed.name = "timed.txt";
  timed.data = "data";
  timed.mtime = 1000000000;
  timed.extra = Rar5Record(3, Vint(0x3) + std::string("\x00\xca\x9a\x3b", 4)) + Rar5Record(5, Vint(3) + "to");
  archives.push_back(Rar5Builder(0x1).file(timed).comment("a note").end(0x1).bytes());

  for (std::size_t a = 0; a < archives.size(); ++a) {
    const std::string_view archive(archives[a]);
    const Listing whole = ListBytes(archive);
    ASSERT_EQ(whole.open, ReadStatus::Ok) << a;
    for (std::size_t cut = 0; cut < archive.size(); ++cut) {
      const Listing c = ListBytes(archive.substr(0, cut));
      if (c.open != ReadStatus::Ok) {
        EXPECT_TRUE(c.open == ReadStatus::NotRar || c.open == ReadStatus::Truncated) << a << " " << cut;
        continue;
      }
      EXPECT_TRUE(c.last == ReadStatus::Truncated || c.last == ReadStatus::End || c.last == whole.last)
          << a << " " << cut;
      ASSERT_LE(c.blocks.size(), whole.blocks.size()) << a << " " << cut;
      for (std::size_t i = 0; i < c.blocks.size(); ++i) {
        EXPECT_EQ(c.blocks[i].offset, whole.blocks[i].offset) << a << " " << cut;
        EXPECT_EQ(c.blocks[i].file.name, whole.blocks[i].file.name) << a << " " << cut;
        EXPECT_LE(c.blocks[i].file.dataOffset, cut) << a << " " << cut;
      }
    }
  }
}

TEST(RarVolumeNameTest, BothNamingSchemes) {
  struct Case {
    std::string path;
    bool newNumbering;
    std::string next;
  } cases[] = {
      {"/m/mag.part1.rar", true, "/m/mag.part2.rar"},
      {"/m/mag.part01.rar", true, "/m/mag.part02.rar"},
      {"/m/mag.part09.rar", true, "/m/mag.part10.rar"},
      {"/m/mag.part9.rar", true, "/m/mag.part10.rar"},
      {"/m/mag.part99.rar", true, "/m/mag.part100.rar"},
      {"/m/MAG.PART1.RAR", true, "/m/MAG.PART2.RAR"},
      {"/m2/mag.rar", true, "/m2/mag.r00"},  // no number: the old scheme
      {"/m/mag.rar", false, "/m/mag.r00"},
      {"/m/MAG.RAR", false, "/m/MAG.R00"},
      {"/m/mag.r00", false, "/m/mag.r01"},
      {"/m/mag.r09", false, "/m/mag.r10"},
      {"/m/mag.r99", false, "/m/mag.s00"},
      {"/m.d/mag", false, "/m.d/mag.r00"},
  };
  for (const Case& c : cases) EXPECT_EQ(NextVolumeName(c.path, c.newNumbering), c.next) << c.path;
}

}  // namespace
}  // namespace pagemoor::rar
