#include "installer/ChiefUnzip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/FileIo.h"
#include "common/Strings.h"
#include "installer/ExtractPaths.h"
#include "support/FakePlatform.h"
#include "support/LittleEndian.h"
#include "support/OutsideTools.h"
#include "support/TempFolder.h"
#include "support/ZipBuilder.h"
#include "support/ZlibBytes.h"

namespace pagemoor {
namespace {

namespace fs = std::filesystem;

using namespace test::zip;  // NOLINT: the archives of these tests are made byte by byte

// --- The test bench -----------------------------------------------------------

// Every file and folder below `root`, relative, folders with a trailing '/'.
std::set<std::string> Tree(const std::string& root) {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string rel = fs::relative(it->path(), root).string();
    if (it->is_directory() && !it->is_symlink()) rel += '/';
    out.insert(rel);
  }
  return out;
}

std::optional<std::string> RunCommand(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return std::nullopt;
  std::string out;
  char buf[65536];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (pclose(p) != 0) return std::nullopt;
  return out;
}

std::string Shell(const std::string& path) {
  return "'" + path + "'";
}

class UnzipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unzip.TargetDirectory = target;
    unzip.OnLog = [this](const std::string& text) { logs.push_back(text); };
    unzip.OnReport = [this](const UnzipReport& r) { reports.push_back(r); };
  }

  int run(const std::string& archive) {
    unzip.ZipFileName = temp.write("archive.zip", archive);
    return unzip.Unzip();
  }
  int run(const std::vector<Entry>& entries, const ArchiveOptions& options = {}) {
    return run(BuildZip(entries, options));
  }
  std::string read(const std::string& name) const { return temp.read("out/" + name); }
  std::set<std::string> tree() const { return Tree(target); }
  const UnzipReport* reportFor(const std::string& entryName) const {
    for (const UnzipReport& r : reports)
      if (r.entryName == entryName) return &r;
    return nullptr;
  }

  test::TempFolder temp;
  test::FakePlatform fake;
  ScopedPlatform usePlatform{fake};
  std::string target = temp.file("out");
  TChiefUnzip unzip;
  std::vector<std::string> logs;
  std::vector<UnzipReport> reports;
};

// --- Results of a whole run -----------------------------------------------------

TEST_F(UnzipTest, AnswersWithTheNegativeCodesWhenItCannotStart) {
  unzip.ZipFileName = "";
  EXPECT_EQ(unzip.Unzip(), TChiefUnzip::kNoArchiveOrTarget);
  unzip.ZipFileName = temp.write("x.zip", BuildZip({Stored("a", "a")}));
  unzip.TargetDirectory = "";
  EXPECT_EQ(unzip.Unzip(), TChiefUnzip::kNoArchiveOrTarget);

  unzip.TargetDirectory = target;
  unzip.ZipFileName = temp.file("missing.zip");
  EXPECT_EQ(unzip.Unzip(), TChiefUnzip::kCannotOpen);
  unzip.ZipFileName = temp.path();
  EXPECT_EQ(unzip.Unzip(), TChiefUnzip::kCannotOpen);

  EXPECT_EQ(run(""), TChiefUnzip::kNotZip);
  EXPECT_EQ(run("just some text, no archive at all"), TChiefUnzip::kNotZip);
  EXPECT_EQ(run(BuildZip({Stored("a", "a")}).substr(0, 40)), TChiefUnzip::kNotZip);  // cut short

  // The directory said to be where it is not, and a directory cut short.
  ArchiveOptions options;
  options.directoryOffset = 0x7FFFFFF0;
  EXPECT_EQ(run({Stored("a", "a")}, options), TChiefUnzip::kBadArchive);
  options.directoryOffset.reset();
  options.entryCount = 5;
  EXPECT_EQ(run({Stored("a", "a")}, options), TChiefUnzip::kBadArchive);

  temp.write("file", "in the way");
  unzip.TargetDirectory = temp.file("file/out");
  EXPECT_EQ(run({Stored("a", "a")}), TChiefUnzip::kTargetUnusable);
  EXPECT_TRUE(logs.empty());
}

TEST_F(UnzipTest, ExtractsFilesAndFoldersAndReportsEachEntry) {
  const std::string big(300000, 'x');
  EXPECT_EQ(run({Folder("docs/"), Deflated("docs/read me.txt", "hello, world\n"),
                 Stored("top.bin", "\x01\x02"), Deflated("deep/er/big.txt", big), Folder("empty/")}),
            3);
  EXPECT_EQ(tree(), (std::set<std::string>{"deep/", "deep/er/", "deep/er/big.txt", "docs/",
                                           "docs/read me.txt", "empty/", "top.bin"}));
  EXPECT_EQ(read("docs/read me.txt"), "hello, world\n");
  EXPECT_EQ(read("top.bin"), "\x01\x02");
  EXPECT_TRUE(read("deep/er/big.txt") == big);
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[3].entryName, "deep/er/big.txt");
  EXPECT_EQ(reports[3].path, target + "/deep/er/big.txt");
  EXPECT_EQ(reports[3].size, big.size());
  EXPECT_TRUE(reports[3].extracted);
  EXPECT_TRUE(reports[4].extracted);  // the empty folder was made
  EXPECT_TRUE(logs.empty());
  EXPECT_GE(fake.processEventsCount, 1);

  // Nothing to extract is no error.
  reports.clear();
  EXPECT_EQ(run(std::vector<Entry>{}), 0);
  EXPECT_TRUE(reports.empty());
}

// The archive shrinks to nothing while it is being extracted (a disk taken
// out, another program rewriting it): the extraction still ends normally.
TEST_F(UnzipTest, AnArchiveCutShortDuringTheExtractionDoesNotEndTheProcess) {
  const std::string big(2000000, 'y');
  ::mkdir(target.c_str(), 0755);
  temp.write("out/a.txt", "old");
  const std::string archive =
      temp.write("archive.zip", BuildZip({Stored("a.txt", "new"), Stored("b.bin", big)}));
  unzip.ZipFileName = archive;
  unzip.OnQueryOverwrite = [&](const std::string&) {
    EXPECT_EQ(::truncate(archive.c_str(), 0), 0);
    return true;
  };
  EXPECT_EQ(unzip.Unzip(), 2);
  EXPECT_EQ(read("a.txt"), "new");
  EXPECT_TRUE(read("b.bin") == big);
}

TEST_F(UnzipTest, ASecondRunStartedFromTheEventLoopIsRefused) {
  struct ReenteringPlatform : test::FakePlatform {
    TChiefUnzip* unzip = nullptr;
    std::vector<int> results;
    void processEvents() override {
      FakePlatform::processEvents();
      results.push_back(unzip->Unzip());
    }
  } platform;
  ScopedPlatform use(platform);
  platform.unzip = &unzip;
  EXPECT_EQ(run({Stored("a.txt", "a"), Stored("b.txt", "b")}), 2);
  ASSERT_FALSE(platform.results.empty());
  for (int r : platform.results) EXPECT_EQ(r, TChiefUnzip::kBusy);
  // Done: the object takes the next run.
  EXPECT_EQ(unzip.Unzip(), 2);
}

// --- Real archives from other tools ---------------------------------------------

struct FixtureCase {
  const char* file;
  int files;
  const char* reference;  // the command whose output is all files in a row
};

TEST_F(UnzipTest, RealArchivesGiveTheBytesOtherToolsGive) {
  const FixtureCase cases[] = {
      {"SHRUNK.ZIP", 2, "unzip -p"},
      {"zip2-legacy-shrink.zip", 1, "unzip -p"},
      {"imploding-4Kdict-2trees.zip", 1, "unzip -p"},
      {"imploding-8Kdict-3trees.zip", 1, "unzip -p"},
      {"zip2-legacy-implode.zip", 1, "unzip -p"},
      {"bla.zip", 2, "unzip -p"},
      {"bla-stored.zip", 2, "unzip -p"},
      {"mixed.zip", 2, "unzip -p"},
      {"test-winzip.zip", 4, "unzip -p"},
      {"Zip.deflate.zip", 3, "unzip -p"},
      {"Zip.deflate.dd.zip", 3, "bsdtar -xOf"},  // unzip refuses its version number
  };
  for (const FixtureCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string archive = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/zip/" + c.file;
    const std::string reference = c.reference;
    const std::string tool = reference.substr(0, reference.find(' '));
    REQUIRE_OUTSIDE_TOOL(test::HaveProgram(tool), tool + " is not installed");
    const auto expected = RunCommand(reference + " " + Shell(archive) + " 2>/dev/null");
    ASSERT_TRUE(expected) << reference << " failed";
    const std::string out = temp.file(std::string("fixture-") + c.file);
    unzip.ZipFileName = archive;
    unzip.TargetDirectory = out;
    reports.clear();
    EXPECT_EQ(unzip.Unzip(), c.files);
    // Our files in archive order, one after another.
    std::string all;
    for (const UnzipReport& r : reports) {
      EXPECT_TRUE(r.extracted) << r.entryName << ": " << r.message;
      if (fs::is_regular_file(r.path)) all += ReadFileBytes(r.path).value_or("<unreadable>");
    }
    EXPECT_EQ(all.size(), expected->size());
    EXPECT_TRUE(all == *expected);
  }
  EXPECT_TRUE(logs.empty());
}

TEST_F(UnzipTest, RealArchivesKeepTheirNamesAndTimes) {
  // Folders that end in '\', names from Unicode path fields (the stored
  // byte 0xFC would be "Ř" in code page 852; the field says "³").
  unzip.ZipFileName = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/zip/test-winzip.zip";
  EXPECT_EQ(unzip.Unzip(), 4);
  EXPECT_EQ(tree(), (std::set<std::string>{"doc.txt.gz", "doc2.txt", "ä/", "ä/³zip.zip", "ä/ü.txt"}));
  EXPECT_EQ(read("doc2.txt"), "");

  // The UTF-8 flag, and data descriptors with zeros in the local headers.
  unzip.ZipFileName = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/zip/Zip.deflate.dd.zip";
  EXPECT_EQ(unzip.Unzip(), 3);
  EXPECT_TRUE(fs::is_regular_file(target + "/тест.txt"));

  // The same modification times as unzip sets.
  const std::string archive = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/zip/bla.zip";
  const std::string theirs = temp.file("theirs");
  REQUIRE_OUTSIDE_TOOL(test::HaveProgram("unzip"), "unzip is not installed");
  ASSERT_TRUE(RunCommand("unzip -qo " + Shell(archive) + " -d " + Shell(theirs)));
  unzip.ZipFileName = archive;
  EXPECT_EQ(unzip.Unzip(), 2);
  for (const char* name : {"test1.xml", "test2.xml"}) {
    struct stat ours {
    }, other{};
    ASSERT_EQ(stat((target + "/" + name).c_str(), &ours), 0);
    ASSERT_EQ(stat((theirs + "/" + name).c_str(), &other), 0);
    EXPECT_EQ(ours.st_mtime, other.st_mtime) << name;
  }
}

TEST_F(UnzipTest, EntriesOfOtherMethodsAreNotExtracted) {
  const struct {
    const char* file;
    const char* message;
  } cases[] = {
      {"moby.zip", "unsupported method 7"},
      {"lorem-ipsum-deflate64.zip", "unsupported method 9"},
      {"zip2-legacy-reduce.zip", "unsupported method 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    reports.clear();
    unzip.ZipFileName = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/zip/" + c.file;
    EXPECT_EQ(unzip.Unzip(), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports[0].extracted);
    EXPECT_EQ(reports[0].message, c.message);
  }
  EXPECT_TRUE(tree().empty());

  // Encrypted entries neither.
  reports.clear();
  Entry secret = Stored("secret.txt", "12 bytes of cipher");
  secret.flags = 0x01;
  EXPECT_EQ(run({secret, Stored("plain.txt", "plain")}), 1);
  EXPECT_EQ(tree(), std::set<std::string>{"plain.txt"});
  ASSERT_NE(reportFor("secret.txt"), nullptr);
  EXPECT_EQ(reportFor("secret.txt")->message, "encrypted");
}

// --- Which entries, and where ----------------------------------------------------

TEST_F(UnzipTest, TheMaskPicksFilesByTheirNameInAnyCase) {
  const std::vector<Entry> entries = {Stored("readme", "r"),    Stored("a.txt", "a"),
                                      Stored("B.TXT", "b"),     Stored("abc.doc", "c"),
                                      Stored("abcd.doc", "d"),  Folder("dir/"),
                                      Stored("dir/x.Txt", "x"), Stored("sub.txt/inner.bin", "i")};
  using Names = std::set<std::string>;
  const Names all = {"readme", "a.txt", "B.TXT", "abc.doc", "abcd.doc", "dir/x.Txt", "sub.txt/inner.bin"};
  const struct {
    const char* mask;
    Names files;
  } cases[] = {
      {"*.*", all},
      {"*", all},
      {"", all},
      {"*.txt", {"a.txt", "B.TXT", "dir/x.Txt"}},
      {"A.TXT", {"a.txt"}},
      {"a?c.*", {"abc.doc"}},
      {"?.*", {"a.txt", "B.TXT", "dir/x.Txt"}},
      {"readme.*", {"readme"}},
      {"*.doc", {"abc.doc", "abcd.doc"}},
      {"*.zip", {}},
  };
  const std::string archive = BuildZip(entries);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    unzip.FilesToExtract = c.mask;
    unzip.TargetDirectory = temp.file("mask" + std::to_string(n++));
    reports.clear();
    EXPECT_EQ(run(archive), static_cast<int>(c.files.size()));
    Names extracted;
    for (const UnzipReport& r : reports)
      if (r.extracted && !r.entryName.ends_with('/')) extracted.insert(r.entryName);
    EXPECT_EQ(extracted, c.files);
  }
}

TEST_F(UnzipTest, DontRecurseDropsTheFolderPart) {
  unzip.DontRecurse = true;
  EXPECT_EQ(
      run({Folder("a/"), Stored("a/b/one.txt", "1"), Stored("two.txt", "2"), Stored("c\\three.txt", "3")}),
      3);
  EXPECT_EQ(tree(), (std::set<std::string>{"one.txt", "two.txt", "three.txt"}));
  EXPECT_EQ(read("three.txt"), "3");
}

TEST_F(UnzipTest, NamesAreDecodedAndMayBeLong) {
  Entry cp852 = Stored("p\xfd\xa1li\xe7.txt", "cp852");
  Entry utf8 = Stored("žluťoučký.txt", "utf-8");
  utf8.flags = 0x0800;
  // Info-ZIP's Unicode path field, bound to the stored name by its CRC; a
  // field whose CRC does not match that name is ignored.
  auto unicodePath = [](std::string_view raw, std::string_view name) {
    std::string f;
    Put16(f, 0x7075);
    Put16(f, static_cast<std::uint32_t>(5 + name.size()));
    f += '\x01';
    Put32(f, Crc(raw));
    f += name;
    return f;
  };
  Entry field = Stored("k\x85n.txt", "field");
  field.extra = unicodePath(field.name, "kůň.txt");
  Entry stale = Stored("stale.txt", "stale");
  stale.extra = unicodePath("renamed.txt", "wrong.txt");
  const std::string longName =
      std::string(100, 'a') + "/" + std::string(100, 'b') + "\\" + std::string(100, 'c');
  unzip.TargetDirectory = temp.file(std::string(150, 't') + "/" + std::string(150, 'u'));

  EXPECT_EQ(run({cp852, utf8, field, stale, Stored("dir\\sub\\file.txt", "dos"), Stored(longName, "long")}),
            6);
  const std::string out = unzip.TargetDirectory + "/";
  EXPECT_EQ(ReadFileBytes(out + "příliš.txt"), "cp852");
  EXPECT_EQ(ReadFileBytes(out + "žluťoučký.txt"), "utf-8");
  EXPECT_EQ(ReadFileBytes(out + "kůň.txt"), "field");
  EXPECT_EQ(ReadFileBytes(out + "stale.txt"), "stale");
  EXPECT_EQ(ReadFileBytes(out + "dir/sub/file.txt"), "dos");
  EXPECT_EQ(
      ReadFileBytes(out + std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c')),
      "long");
}

TEST_F(UnzipTest, ReadsZip64RecordsDataDescriptorsAndArchivesBehindAProgram) {
  const std::string text = "line of text\n" + std::string(5000, 'z');
  Entry a = Deflated("a.txt", text);
  a.zip64 = true;
  Entry b = Stored("b.txt", "b");
  b.descriptor = true;
  Entry c = Deflated("c.txt", text);
  c.descriptor = true;
  auto options = [](std::string prefix, bool zip64End, std::string comment = "", std::string trailer = "") {
    ArchiveOptions o;
    o.prefix = std::move(prefix);
    o.zip64End = zip64End;
    o.comment = std::move(comment);
    o.trailer = std::move(trailer);
    return o;
  };
  const std::string program = "MZ" + std::string(3000, '\x90');
  // A comment may look like an empty archive's end record.
  const std::string trick = "see PK\x05\x06" + std::string(18, '\0') + " for more";
  const ArchiveOptions cases[] = {
      options("", false),     options("", true),         options(program, false),
      options(program, true), options("", false, trick), options("", false, "", "appended by a mailer\n"),
  };
  int n = 0;
  for (const ArchiveOptions& options : cases) {
    SCOPED_TRACE(n);
    unzip.TargetDirectory = temp.file("case" + std::to_string(n++));
    EXPECT_EQ(run({a, b, c}, options), 3);
    EXPECT_TRUE(ReadFileBytes(unzip.TargetDirectory + "/a.txt") == text);
    EXPECT_EQ(ReadFileBytes(unzip.TargetDirectory + "/b.txt"), "b");
    EXPECT_TRUE(ReadFileBytes(unzip.TargetDirectory + "/c.txt") == text);
  }
  EXPECT_TRUE(logs.empty());
}

// --- Hostile and damaged archives ------------------------------------------------

TEST_F(UnzipTest, NamesThatClimbOutAreRefusedAndLogged) {
  const std::vector<std::string> refused = {
      "../../x.txt", "a/../../b.txt",    "..\\..\\evil.txt", temp.file("abs.txt"),
      "\\root.txt",  "C:\\autoexec.bat", "c:evil.txt",       std::string("nul\0/../../x.txt", 16),
  };
  std::vector<Entry> entries;
  for (const std::string& name : refused) entries.push_back(Stored(name, "evil"));
  entries.push_back(Stored("ok.txt", "ok"));
  // "../../x.txt" from here would land in the temporary folder itself.
  unzip.TargetDirectory = temp.file("deep/out");
  EXPECT_EQ(run(entries), 1);
  EXPECT_EQ(Tree(temp.path()),
            (std::set<std::string>{"archive.zip", "deep/", "deep/out/", "deep/out/ok.txt"}));
  ASSERT_EQ(logs.size(), refused.size());
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_EQ(logs[i], "Refused entry \"" + EscapeControls(refused[i]) + "\": outside the target folder");
    EXPECT_FALSE(reports[i].extracted);
  }
}

TEST_F(UnzipTest, LinkEntriesAreNotCreatedAndNothingIsWrittenThroughThem) {
  temp.write("victim.txt", "safe");
  unzip.TargetDirectory = temp.file("deep/out");
  EXPECT_EQ(run({Link("link", "../.."), Stored("link/escape.txt", "evil"), Link("file", "../../victim.txt"),
                 Stored("file", "data")}),
            2);
  EXPECT_EQ(Tree(temp.path() + "deep"),
            (std::set<std::string>{"out/", "out/file", "out/link/", "out/link/escape.txt"}));
  EXPECT_EQ(temp.read("victim.txt"), "safe");
  EXPECT_EQ(logs, (std::vector<std::string>{"Skipped entry \"link\": symbolic link",
                                            "Skipped entry \"file\": symbolic link"}));

  // Links already in the target are not followed either.
  const std::string out = unzip.TargetDirectory;
  fs::remove_all(out);
  fs::create_directories(out);
  fs::create_directory(temp.file("elsewhere"));
  fs::create_directory_symlink(temp.file("elsewhere"), out + "/folder");
  fs::create_symlink(temp.file("victim.txt"), out + "/victim.txt");
  logs.clear();
  EXPECT_EQ(run({Stored("folder/x.txt", "evil"), Stored("victim.txt", "replaced")}), 1);
  EXPECT_TRUE(fs::is_empty(temp.file("elsewhere")));
  EXPECT_EQ(temp.read("victim.txt"), "safe");
  EXPECT_FALSE(fs::is_symlink(out + "/victim.txt"));
  EXPECT_EQ(ReadFileBytes(out + "/victim.txt"), "replaced");
  EXPECT_EQ(logs.size(), 1u);  // the file that could not be made
}

TEST_F(UnzipTest, ArchivesMadeByZipInEveryForm) {
  const std::string src = temp.file("src");
  const std::string text = "some text, some more text\n" + std::string(70000, 't');
  temp.write("src/docs/readme.txt", text);
  temp.write("src/run.sh", "#!/bin/sh\n");
  fs::permissions(src + "/run.sh", fs::perms(0750));
  fs::create_directories(src + "/empty");
  fs::create_symlink("/etc/passwd", src + "/passwd");
  REQUIRE_OUTSIDE_TOOL(test::HaveProgram("zip"), "zip is not installed");
  const std::vector<std::string> linkLog = {"Skipped entry \"passwd\": symbolic link"};
  const struct {
    const char* what;
    const char* command;  // run in src; %s is the archive
    std::vector<std::string> logs;
  } cases[] = {
      {"deflated", "zip -qry %s .", linkLog},
      {"stored", "zip -0 -qry %s .", linkLog},
      {"ZIP64 records", "zip -fz -qry %s .", linkLog},
      // zip cannot store a link into a pipe.
      {"streamed with data descriptors", "zip -qr - docs empty run.sh | cat > %s", {}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string archive = temp.file("made" + std::to_string(n) + ".zip");
    std::string command = c.command;
    command.replace(command.find("%s"), 2, Shell(archive));
    ASSERT_TRUE(RunCommand("cd " + Shell(src) + " && " + command)) << command;
    unzip.ZipFileName = archive;
    unzip.TargetDirectory = temp.file("made" + std::to_string(n++));
    logs.clear();
    EXPECT_EQ(unzip.Unzip(), 2);
    EXPECT_EQ(Tree(unzip.TargetDirectory),
              (std::set<std::string>{"docs/", "docs/readme.txt", "empty/", "run.sh"}));
    EXPECT_TRUE(ReadFileBytes(unzip.TargetDirectory + "/docs/readme.txt") == text);
    EXPECT_EQ(fs::status(unzip.TargetDirectory + "/run.sh").permissions(), fs::perms(0750));
    EXPECT_EQ(logs, c.logs);
  }
}

struct DamageCase {
  const char* what;
  Entry entry;
  const char* message;
};

Entry With(Entry e, void (*change)(Entry&)) {
  change(e);
  return e;
}

TEST_F(UnzipTest, ADamagedEntryLeavesNoFileAndTheOthersAreExtracted) {
  const std::string text(20000, 'q');
  const DamageCase cases[] = {
      {"wrong CRC, stored", With(Stored("f", "data"), [](Entry& e) { e.crc = 0x12345678; }), "CRC error"},
      {"wrong CRC, deflated", With(Deflated("f", text), [](Entry& e) { e.crc = 1; }), "CRC error"},
      {"declared larger", With(Deflated("f", text), [](Entry& e) { e.size = 20001; }),
       "less data than declared"},
      {"declared smaller", With(Deflated("f", text), [](Entry& e) { e.size = 19999; }),
       "more data than declared"},
      // (An absurd declared size refuses the whole archive: ArchiveBoundsTest.)
      {"stored sizes differ", With(Stored("f", "abc"), [](Entry& e) { e.size = 10; }), "truncated data"},
      {"cut deflate stream", With(Deflated("f", text), [](Entry& e) { e.data.resize(e.data.size() / 2); }),
       "truncated data"},
      {"garbage deflate stream",
       With(Deflated("f", text), [](Entry& e) { e.data = std::string(64, '\xff'); }), "data error"},
      {"cut shrunk stream", With(Stored("f", text), [](Entry& e) { e.method = 1, e.data = "\x41\x82"; }),
       "truncated data"},
      {"imploded without trees", With(Stored("f", text), [](Entry& e) { e.method = 6, e.data = "\x05"; }),
       "truncated data"},
      {"data beyond the end", With(Stored("f", text), [](Entry& e) { e.csize = 1u << 30; }),
       "data outside the archive"},
      {"absurd compressed size",
       With(Stored("f", text), [](Entry& e) { e.zip64 = true, e.csize = ~std::uint64_t{0} >> 1; }),
       "data outside the archive"},
      {"header beyond the end", With(Stored("f", text), [](Entry& e) { e.offset = 0x7FFFFFF0; }),
       "local header outside the archive"},
      {"no header there", With(Stored("f", text), [](Entry& e) { e.offset = 7; }), "no local header"},
  };
  int n = 0;
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.what);
    unzip.TargetDirectory = temp.file("damage" + std::to_string(n++));
    reports.clear();
    logs.clear();
    EXPECT_EQ(run({c.entry, Stored("after.txt", "fine")}), 1);
    EXPECT_EQ(Tree(unzip.TargetDirectory), std::set<std::string>{"after.txt"});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[0].extracted);
    EXPECT_EQ(reports[0].message, c.message);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(logs[0].starts_with("Damaged entry \"f\": " + std::string(c.message))) << logs[0];
  }
}

// --- What the files get ----------------------------------------------------------

TEST_F(UnzipTest, FilesGetTheirStoredTimeAndPermissionBits) {
  Entry exec = Stored("run.sh", "#!/bin/sh\n");
  exec.attributes = 0100750u << 16;
  Entry setuid = Stored("suid", "x");
  setuid.attributes = 0104755u << 16;
  Entry readOnly = Stored("ro.txt", "r");
  readOnly.madeBy = kMadeOnDos;
  readOnly.attributes = 0x21;
  Entry dos = Stored("dos.txt", "d");
  dos.madeBy = kMadeOnDos;
  dos.attributes = 0x20;
  Entry stamped = Stored("ut.txt", "u");
  Put16(stamped.extra, 0x5455);
  Put16(stamped.extra, 5);
  stamped.extra += '\x01';
  Put32(stamped.extra, 1000000000);
  EXPECT_EQ(run({exec, setuid, readOnly, dos, stamped, Folder("dir/"), Stored("dir/in.txt", "in")}), 6);

  auto mode = [&](const std::string& name) {
    struct stat st {};
    EXPECT_EQ(stat((target + "/" + name).c_str(), &st), 0) << name;
    return st.st_mode & 07777;
  };
  auto mtime = [&](const std::string& name) {
    struct stat st {};
    EXPECT_EQ(stat((target + "/" + name).c_str(), &st), 0) << name;
    return st.st_mtime;
  };
  EXPECT_EQ(mode("run.sh"), 0750u);
  EXPECT_EQ(mode("suid"), 0755u);
  EXPECT_EQ(mode("ro.txt") & 0222, 0u);
  EXPECT_NE(mode("dos.txt") & 0200, 0u);

  std::tm local{};
  local.tm_year = 101;
  local.tm_mon = 1;
  local.tm_mday = 3;
  local.tm_hour = 4;
  local.tm_min = 5;
  local.tm_sec = 6;
  local.tm_isdst = -1;
  const std::time_t stored = std::mktime(&local);
  EXPECT_EQ(mtime("run.sh"), stored);
  EXPECT_EQ(mtime("ut.txt"), 1000000000);
  EXPECT_EQ(mtime("dir"), stored);  // stamped after its file was written
}

TEST_F(UnzipTest, ExistingFilesAreOverwrittenUnlessTheCallbackKeepsThem) {
  const std::vector<Entry> entries = {Stored("keep.txt", "fresh"), Stored("ro.txt", "fresh"),
                                      Stored("other.txt", "fresh")};
  temp.write("out/keep.txt", "old");
  temp.write("out/ro.txt", "old");
  fs::permissions(target + "/ro.txt", fs::perms::owner_read);
  std::vector<std::string> asked;
  unzip.OnQueryOverwrite = [&](const std::string& path) {
    asked.push_back(path);
    return path.ends_with("ro.txt");
  };
  EXPECT_EQ(run(entries), 2);
  EXPECT_EQ(asked, (std::vector<std::string>{target + "/keep.txt", target + "/ro.txt"}));
  EXPECT_EQ(read("keep.txt"), "old");
  EXPECT_EQ(read("ro.txt"), "fresh");
  EXPECT_EQ(read("other.txt"), "fresh");
  ASSERT_NE(reportFor("keep.txt"), nullptr);
  EXPECT_FALSE(reportFor("keep.txt")->extracted);
  EXPECT_EQ(reportFor("keep.txt")->message, "existing file kept");

  // Without the callback every file is replaced.
  unzip.OnQueryOverwrite = nullptr;
  temp.write("out/other.txt", "old");
  EXPECT_EQ(run(entries), 3);
  EXPECT_EQ(read("keep.txt"), "fresh");
  EXPECT_EQ(read("other.txt"), "fresh");
}

}  // namespace
}  // namespace pagemoor
