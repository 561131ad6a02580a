// The RAR library through its seven functions, loaded as a caller loads it.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "installer/ExtractPaths.h"
#include "support/OutsideTools.h"
#include "support/TempFolder.h"
#include "unrar/RarBuilder.h"
#include "unrar/unrar.h"

namespace pagemoor {
namespace {

namespace fs = std::filesystem;
using test::Rar4Builder;
using test::Rar4File;
using test::Rar5Builder;
using test::Rar5File;
using test::TempFolder;

const std::string kRarDir = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/rar/";
const std::string kPart1 = kRarDir + "rar4-multivolume/Rar4.multi.part01.rar";

struct Library {
  void* module = nullptr;
  void* (*open)(RAROpenArchiveData*) = nullptr;
  int (*close)(void*) = nullptr;
  int (*readHeader)(void*, RARHeaderData*) = nullptr;
  int (*processFile)(void*, int, char*, char*) = nullptr;
  void (*setChangeVolProc)(void*, CHANGEVOLPROC) = nullptr;
  void (*setProcessDataProc)(void*, PROCESSDATAPROC) = nullptr;
  void (*setPassword)(void*, char*) = nullptr;

  static const Library& get() {
    static const Library library;
    return library;
  }

 private:
  Library() {
    module = dlopen(PAGEMOOR_UNRAR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return;
    open = reinterpret_cast<decltype(open)>(dlsym(module, "RAROpenArchive"));
    close = reinterpret_cast<decltype(close)>(dlsym(module, "RARCloseArchive"));
    readHeader = reinterpret_cast<decltype(readHeader)>(dlsym(module, "RARReadHeader"));
    processFile = reinterpret_cast<decltype(processFile)>(dlsym(module, "RARProcessFile"));
    setChangeVolProc = reinterpret_cast<decltype(setChangeVolProc)>(dlsym(module, "RARSetChangeVolProc"));
    setProcessDataProc =
        reinterpret_cast<decltype(setProcessDataProc)>(dlsym(module, "RARSetProcessDataProc"));
    setPassword = reinterpret_cast<decltype(setPassword)>(dlsym(module, "RARSetPassword"));
  }
};

const Library& Lib() {
  return Library::get();
}

// An archive opened for the length of a scope.
class Archive {
 public:
  explicit Archive(const std::string& path, unsigned mode = RAR_OM_EXTRACT, unsigned commentSize = 65536)
      : m_path(path), m_comment(commentSize + 1, '\0') {
    RAROpenArchiveData data{};
    data.ArcName = m_path.data();
    data.OpenMode = mode;
    data.CmtBuf = commentSize != 0 ? m_comment.data() : nullptr;
    data.CmtBufSize = commentSize;
    m_handle = Lib().open(&data);
    openResult = data.OpenResult;
    commentState = data.CmtState;
    commentSize_ = data.CmtSize;
  }
  ~Archive() {
    if (m_handle != nullptr) Lib().close(m_handle);
  }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  void* handle() const { return m_handle; }
  std::string comment() const { return m_comment.data(); }
  // The next header; its result code.
  int next(RARHeaderData& header) {
    header = RARHeaderData{};
    header.CmtBuf = m_fileComment;
    header.CmtBufSize = sizeof m_fileComment;
    return Lib().readHeader(m_handle, &header);
  }
  int process(int operation, const std::string& dest, const char* destName = nullptr) {
    std::string path = dest;
    std::string name = destName != nullptr ? destName : "";
    return Lib().processFile(m_handle, operation, dest.empty() ? nullptr : path.data(),
                             destName != nullptr ? name.data() : nullptr);
  }
  std::string fileComment() const { return m_fileComment; }

  unsigned openResult = 0;
  unsigned commentState = 0;
  unsigned commentSize_ = 0;

 private:
  std::string m_path;
  std::vector<char> m_comment;
  char m_fileComment[1024] = {};
  void* m_handle = nullptr;
};

struct Outcome {
  std::string name;
  unsigned flags = 0;
  int code = 0;
};

struct Runs {
  unsigned openResult = 0;
  std::vector<Outcome> entries;
  int end = 0;  // what ended the headers

  std::vector<int> codes() const {
    std::vector<int> out;
    for (const Outcome& o : entries) out.push_back(o.code);
    return out;
  }
};

// Every entry processed with one operation.
Runs ProcessAll(const std::string& archive, const std::string& dest, int operation = RAR_EXTRACT,
                const char* password = nullptr) {
  Runs run;
  Archive a(archive);
  run.openResult = a.openResult;
  if (a.handle() == nullptr) return run;
  if (password != nullptr) {
    std::string pw = password;
    Lib().setPassword(a.handle(), pw.data());
  }
  RARHeaderData h;
  while ((run.end = a.next(h)) == 0) run.entries.push_back({h.FileName, h.Flags, a.process(operation, dest)});
  return run;
}

// A folder's files and folders: relative path -> content ("/" for a folder).
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(folder)) return tree;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    std::string rel = fs::relative(item.path(), folder).string();
    tree[rel] = item.is_directory() ? "/" : ReadFileBytes(item.path().string()).value_or("<unreadable>");
  }
  return tree;
}

// What Debian's bsdtar makes of an archive.
std::map<std::string, std::string> BsdtarTree(const std::string& archive, const TempFolder& temp) {
  std::string out = temp.path() + "bsdtar";
  fs::create_directories(out);
  std::string command = "bsdtar -xf '" + archive + "' -C '" + out + "' 2> /dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return Tree(out);
}

// The three files every fixture holds, with the check values the headers
// and the fixtures' notes give.
void ExpectTheThreeFiles(const std::map<std::string, std::string>& tree) {
  struct File {
    std::string path;
    std::size_t size;
    std::uint32_t crc;
  } files[] = {
      {"exe/test.exe", 45056, 0xcfb109c8},
      {"jpg/test.jpg", 40372, 0x088814e3},
      {"тест.txt", 15498, 0x9bd160fa},
  };
  for (const File& f : files) {
    auto it = tree.find(f.path);
    ASSERT_NE(it, tree.end()) << f.path;
    EXPECT_EQ(it->second.size(), f.size) << f.path;
    EXPECT_EQ(test::TestCrc32(it->second), f.crc) << f.path;
  }
}

class UnrarApiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(Lib().module, nullptr) << dlerror(); }
  TempFolder temp;
};

TEST_F(UnrarApiTest, ExtractsWhatBsdtarExtracts) {
  REQUIRE_OUTSIDE_TOOL(test::HaveProgram("bsdtar"), "bsdtar is not installed");
  for (const char* name : {"Rar4.rar", "Rar5.rar"}) {
    SCOPED_TRACE(name);
    TempFolder work;
    Runs run = ProcessAll(kRarDir + name, work.path() + "ours");
    EXPECT_EQ(run.openResult, 0u);
    EXPECT_EQ(run.end, ERAR_END_ARCHIVE);
    for (const Outcome& o : run.entries) EXPECT_EQ(o.code, 0) << o.name;
    std::map<std::string, std::string> ours = Tree(work.path() + "ours");
    EXPECT_EQ(ours, BsdtarTree(kRarDir + name, work));
    ExpectTheThreeFiles(ours);
  }
}

TEST_F(UnrarApiTest, SolidOldAndSplitArchivesHoldTheSameFiles) {
  struct Case {
    std::string archive;
    std::size_t entries;
  } cases[] = {
      {kRarDir + "Rar.solid.rar", 6},
      {kRarDir + "Rar2.rar", 5},
      {kPart1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    TempFolder work;
    Runs run = ProcessAll(c.archive, work.path());
    EXPECT_EQ(run.openResult, 0u);
    EXPECT_EQ(run.entries.size(), c.entries);
    for (const Outcome& o : run.entries) EXPECT_EQ(o.code, 0) << o.name;
    ExpectTheThreeFiles(Tree(work.path()));
  }
}

std::vector<std::string> g_volumeCalls;
std::string g_volumeAnswer;  // written into ArcName when asked, if not empty

int RecordVolumes(char* arcName, int mode) {
  g_volumeCalls.push_back(std::string(mode == RAR_VOL_ASK ? "ask " : "notify ") + arcName);
  if (mode == RAR_VOL_NOTIFY) return 1;
  if (g_volumeAnswer.empty()) return 0;
  std::strcpy(arcName, g_volumeAnswer.c_str());
  return 1;
}

std::string CopyVolume(const TempFolder& temp, int part, const std::string& as) {
  std::string from = kRarDir + "rar4-multivolume/Rar4.multi.part0" + std::to_string(part) + ".rar";
  return temp.write(as, ReadFileBytes(from).value_or(""));
}

TEST_F(UnrarApiTest, OldVolumeNamesAreFollowed) {
  // The set says "name.partN.rar", but its volumes were renamed the old way;
  // the number in the name is no volume number.
  CopyVolume(temp, 1, "set/mag2003.rar");
  for (int part = 2; part <= 7; ++part) CopyVolume(temp, part, "set/mag2003.r0" + std::to_string(part - 2));
  g_volumeCalls.clear();
  Archive a(temp.file("set/mag2003.rar"));
  ASSERT_EQ(a.openResult, 0u);
  Lib().setChangeVolProc(a.handle(), RecordVolumes);
  RARHeaderData h;
  std::vector<int> codes;
  while (a.next(h) == 0) codes.push_back(a.process(RAR_EXTRACT, temp.path() + "out"));
  EXPECT_EQ(codes, (std::vector<int>{0, 0, 0, 0, 0}));
  ExpectTheThreeFiles(Tree(temp.path() + "out"));
  std::vector<std::string> expected;
  for (int n = 0; n <= 5; ++n)
    expected.push_back("notify " + temp.path() + "set/mag2003.r0" + std::to_string(n));
  EXPECT_EQ(g_volumeCalls, expected);
}

TEST_F(UnrarApiTest, AMissingVolumeIsAskedFor) {
  for (int part = 1; part <= 3; ++part) {
    CopyVolume(temp, part, "set/Rar4.multi.part0" + std::to_string(part) + ".rar");
  }
  const std::string missing = temp.path() + "set/Rar4.multi.part04.rar";
  {
    // Nobody to ask: the file that needs it fails, and so does the rest.
    g_volumeCalls.clear();
    g_volumeAnswer.clear();
    Archive a(temp.file("set/Rar4.multi.part01.rar"));
    Lib().setChangeVolProc(a.handle(), RecordVolumes);
    RARHeaderData h;
    ASSERT_EQ(a.next(h), 0);
    EXPECT_EQ(a.process(RAR_EXTRACT, temp.path() + "out1"), 0);
    ASSERT_EQ(a.next(h), 0);
    EXPECT_STREQ(h.FileName, "jpg\\test.jpg");
    EXPECT_EQ(a.process(RAR_EXTRACT, temp.path() + "out1"), ERAR_EOPEN);
    EXPECT_EQ(a.next(h), ERAR_EOPEN);
    EXPECT_EQ(a.next(h), ERAR_END_ARCHIVE);
    EXPECT_EQ(g_volumeCalls, (std::vector<std::string>{"notify " + temp.path() + "set/Rar4.multi.part02.rar",
                                                       "notify " + temp.path() + "set/Rar4.multi.part03.rar",
                                                       "ask " + missing}));
    EXPECT_FALSE(fs::exists(temp.path() + "out1/jpg/test.jpg"));
    EXPECT_TRUE(fs::exists(temp.path() + "out1/exe/test.exe"));
  }
  {
    // The caller names the volume elsewhere; the set goes on from there.
    g_volumeCalls.clear();
    g_volumeAnswer = kRarDir + "rar4-multivolume/Rar4.multi.part04.rar";
    Archive a(temp.file("set/Rar4.multi.part01.rar"));
    Lib().setChangeVolProc(a.handle(), RecordVolumes);
    RARHeaderData h;
    std::vector<int> codes;
    while (a.next(h) == 0) codes.push_back(a.process(RAR_EXTRACT, temp.path() + "out2"));
    EXPECT_EQ(codes, (std::vector<int>{0, 0, 0, 0, 0}));
    ExpectTheThreeFiles(Tree(temp.path() + "out2"));
    ASSERT_GE(g_volumeCalls.size(), 4u);
    EXPECT_EQ(g_volumeCalls[2], "ask " + missing);
    EXPECT_EQ(g_volumeCalls[3], "notify " + g_volumeAnswer);
    g_volumeAnswer.clear();
  }
}

int g_retries = 0;

int AlwaysRetry(char*, int mode) {
  if (mode == RAR_VOL_ASK) ++g_retries;
  return 1;
}

TEST_F(UnrarApiTest, ACallerThatAlwaysRetriesDoesNotHangUs) {
  for (int part = 1; part <= 2; ++part) {
    CopyVolume(temp, part, "set/Rar4.multi.part0" + std::to_string(part) + ".rar");
  }
  g_retries = 0;
  Archive a(temp.file("set/Rar4.multi.part01.rar"));
  Lib().setChangeVolProc(a.handle(), AlwaysRetry);
  RARHeaderData h;
  ASSERT_EQ(a.next(h), 0);
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path() + "out"), 0);
  ASSERT_EQ(a.next(h), 0);
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path() + "out"), ERAR_EOPEN);
  EXPECT_GT(g_retries, 1);
}

TEST_F(UnrarApiTest, ADamagedFileFailsAloneAndIsNotLeftBehind) {
  Runs run = ProcessAll(kRarDir + "Rar4.damaged-crc.rar", temp.path());
  ASSERT_EQ(run.entries.size(), 5u);
  EXPECT_EQ(run.codes(), (std::vector<int>{0, ERAR_BAD_DATA, 0, 0, 0}));
  EXPECT_EQ(run.entries[1].name, "jpg\\test.jpg");
  std::map<std::string, std::string> tree = Tree(temp.path());
  EXPECT_EQ(tree.count("jpg/test.jpg"), 0u);
  EXPECT_EQ(test::TestCrc32(tree["exe/test.exe"]), 0xcfb109c8u);
  EXPECT_EQ(test::TestCrc32(tree["тест.txt"]), 0x9bd160fau);

  // Testing finds the same damage and writes nothing.
  TempFolder tested;
  Runs test = ProcessAll(kRarDir + "Rar4.damaged-crc.rar", tested.path(), RAR_TEST);
  EXPECT_EQ(test.codes(), (std::vector<int>{0, ERAR_BAD_DATA, 0, 0, 0}));
  EXPECT_TRUE(Tree(tested.path()).empty());
}

TEST_F(UnrarApiTest, EncryptedFilesFailOneByOne) {
  struct Case {
    std::string archive;
    std::vector<int> codes;
    std::map<std::string, std::string> plain;  // what is extracted
  } cases[] = {
      {"test_read_format_rar4_encrypted.rar",
       {0, ERAR_BAD_DATA, 0, ERAR_BAD_DATA},
       {{"a.txt", "This is from a.txt"}, {"c.txt", "This is from c.txt"}}},
      {"test_read_format_rar_encryption_partially.rar",
       {ERAR_BAD_DATA, 0},
       {{"bar.txt", "data of bar.txt\n"}}},
      {"Rar.encrypted_filesOnly.rar",
       {ERAR_BAD_DATA, ERAR_BAD_DATA, ERAR_BAD_DATA, 0, 0, 0},
       {{"Empty", "/"}, {"exe", "/"}, {"jpg", "/"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    TempFolder work;
    // A password changes nothing: neither decoder decrypts.
    Runs run = ProcessAll(kRarDir + c.archive, work.path(), RAR_EXTRACT, "password");
    EXPECT_EQ(run.codes(), c.codes);
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
      EXPECT_EQ((run.entries[i].flags & RHDF_ENCRYPTED) != 0, c.codes[i] == ERAR_BAD_DATA);
    }
    EXPECT_EQ(Tree(work.path()), c.plain);
  }
}

TEST_F(UnrarApiTest, ArchivesWeCannotReadFailToOpen) {
  std::string zip = temp.write(
      "bla.rar", ReadFileBytes(std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/zip/bla.zip").value());
  Rar4File f;
  f.name = "f";
  f.data = "x";
  Rar5File f5;
  f5.name = "f";
  struct Case {
    std::string path;
    unsigned result;
  } cases[] = {
      {kRarDir + "test_read_format_rar_encryption_header.rar", ERAR_BAD_ARCHIVE},
      {kRarDir + "Rar15.rar", ERAR_BAD_ARCHIVE},
      {zip, ERAR_BAD_ARCHIVE},
      {temp.write("empty.rar", ""), ERAR_BAD_ARCHIVE},
      {temp.write("solidset.rar", Rar4Builder(0x0001 | 0x0008).file(f).end().bytes()), ERAR_BAD_ARCHIVE},
      {temp.write("solidset5.rar", Rar5Builder(0x1 | 0x4).file(f5).end().bytes()), ERAR_BAD_ARCHIVE},
      {temp.write("old14.rar", "RE~^\x07\x00 an archive before RAR 1.5"), ERAR_BAD_ARCHIVE},
      {temp.path() + "missing.rar", ERAR_EOPEN},
      {temp.path(), ERAR_EOPEN},
  };
  for (const Case& c : cases) {
    Archive a(c.path);
    EXPECT_EQ(a.openResult, c.result) << c.path;
    EXPECT_EQ(a.handle(), nullptr) << c.path;
  }
}

TEST_F(UnrarApiTest, DataThatIsNotThereWritesNothing) {
  // The header of a 476 MB file in 512 bytes, and a file cut short.
  for (const char* name : {"Rar.malformed_512byte.rar", "test_read_format_rar_invalid1.rar"}) {
    SCOPED_TRACE(name);
    TempFolder work;
    Runs run = ProcessAll(kRarDir + name, work.path());
    EXPECT_EQ(run.openResult, 0u);
    EXPECT_EQ(run.codes(), (std::vector<int>{ERAR_EREAD}));
    EXPECT_TRUE(Tree(work.path()).empty());
  }
}

TEST_F(UnrarApiTest, ArchiveAndFileComments) {
  {
    Archive a(kRarDir + "rar3-comment-plain.rar");
    EXPECT_EQ(a.commentState, 1u);
    EXPECT_EQ(a.comment(), "RARcomment\n");
    EXPECT_EQ(a.commentSize_, 12u);
    RARHeaderData h;
    ASSERT_EQ(a.next(h), 0);
    EXPECT_EQ(h.CmtState, 1u);
    EXPECT_EQ(a.fileComment(), "Comment1v2\n");
    EXPECT_NE(h.Flags & 0x08, 0u);
  }
  {
    Archive cut(kRarDir + "rar3-comment-plain.rar", RAR_OM_LIST, 5);
    EXPECT_EQ(cut.commentState, static_cast<unsigned>(ERAR_SMALL_BUF));
    EXPECT_EQ(cut.commentSize_, 5u);
    EXPECT_EQ(cut.comment(), "RARc");
  }
  {
    Archive none(kRarDir + "rar3-comment-plain.rar", RAR_OM_LIST, 0);
    EXPECT_EQ(none.commentState, 0u);
  }
  struct Case {
    const char* what;
    std::string bytes;
    unsigned state;
    std::string text;
  } cases[] = {
      {"RAR 5 service header", Rar5Builder().comment("Číslo 5").end().bytes(), 1, "Číslo 5"},
      {"old comment in the main header", Rar4Builder(0x0002, test::Rar4OldComment("Old")).end().bytes(), 1,
       "Old"},
      {"code page 852 text",
       Rar4Builder()
           .comment("\x9f"
                    "as")
           .end()
           .bytes(),
       1, "čas"},
      {"RAR 1.5 packing", Rar4Builder(0x0002, test::Rar4OldComment("xyz", 0x33, 15)).end().bytes(),
       ERAR_UNKNOWN_FORMAT, ""},
      {"no comment", Rar4Builder().end().bytes(), 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Archive a(temp.write("c.rar", c.bytes));
    EXPECT_EQ(a.openResult, 0u);
    EXPECT_EQ(a.commentState, c.state);
    if (c.state == 1) {
      EXPECT_EQ(a.comment(), c.text);
    }
  }
}

TEST_F(UnrarApiTest, HeaderFields) {
  Archive a(kRarDir + "Rar4.rar", RAR_OM_LIST);
  RARHeaderData h;
  ASSERT_EQ(a.next(h), 0);
  EXPECT_STREQ(h.ArcName, (kRarDir + "Rar4.rar").c_str());
  EXPECT_STREQ(h.FileName, "exe\\test.exe");
  EXPECT_EQ(h.Flags, 0u);
  EXPECT_EQ(h.PackSize, 18037u);
  EXPECT_EQ(h.UnpSize, 45056u);
  EXPECT_EQ(h.HostOS, 2u);
  EXPECT_EQ(h.FileCRC, 0xcfb109c8u);
  EXPECT_EQ(h.FileTime, 0x54938bf8u);
  EXPECT_EQ(h.UnpVer, 29u);
  EXPECT_EQ(h.Method, 0x33u);
  EXPECT_EQ(h.FileAttr, 0x20u);
  ASSERT_EQ(a.next(h), 0);
  ASSERT_EQ(a.next(h), 0);
  EXPECT_STREQ(h.FileName, "тест.txt");
  ASSERT_EQ(a.next(h), 0);
  EXPECT_STREQ(h.FileName, "exe");
  EXPECT_EQ(h.Flags, static_cast<unsigned>(RHDF_DIRECTORY));

  struct FlagCase {
    std::string archive;
    std::size_t entry;
    std::string name;
    unsigned flags;
  } flagCases[] = {
      {kRarDir + "Rar.solid.rar", 1, "exe\\test.exe", RHDF_SOLID},
      {kPart1, 0, "exe\\test.exe", RHDF_SPLITAFTER},
      {kRarDir + "Rar5.rar", 1, "jpg\\test.jpg", 0},  // RAR 5's "/" shown as "\" too
      {kRarDir + "test_read_format_rar4_encrypted.rar", 1, "b.txt", RHDF_ENCRYPTED},
  };
  for (const FlagCase& c : flagCases) {
    Archive b(c.archive, RAR_OM_LIST);
    RARHeaderData header;
    for (std::size_t i = 0; i <= c.entry; ++i) ASSERT_EQ(b.next(header), 0) << c.archive;
    EXPECT_EQ(header.FileName, c.name) << c.archive;
    EXPECT_EQ(header.Flags, c.flags) << c.archive;
  }
}

TEST_F(UnrarApiTest, LongNamesAreCutInTheHeaderNotOnDisk) {
  // Four folder steps of 60 two-byte characters: 483 bytes of name.
  std::string step;
  for (int i = 0; i < 60; ++i) step += "č";
  std::string name = step + "/" + step + "/" + step + "/" + step + "/end.txt";
  Rar5File f;
  f.name = name;
  f.data = "deep";
  Archive a(temp.write("long.rar", Rar5Builder().file(f).end().bytes()));
  RARHeaderData h;
  ASSERT_EQ(a.next(h), 0);
  std::size_t length = std::strlen(h.FileName);
  EXPECT_LE(length, 259u);
  EXPECT_GE(length, 258u);
  EXPECT_TRUE(IsValidUtf8(h.FileName));
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path() + "out"), 0);
  EXPECT_EQ(ReadFileBytes(temp.path() + "out/" + name).value_or(""), "deep");
}

TEST_F(UnrarApiTest, NamesThatLeaveTheTargetAreRefused) {
  auto file = [](const std::string& name, const std::string& data) {
    Rar4File f;
    f.name = name;
    f.data = data;
    return f;
  };
  std::string rar4 = Rar4Builder()
                         .file(file("..\\..\\climbed.txt", "evil"))
                         .file(file("/abs.txt", "evil"))
                         .file(file("C:\\drive.txt", "evil"))
                         .file(file("sub\\..\\..\\up.txt", "evil"))
                         .file(file("sub\\ok.txt", "good"))
                         .end()
                         .bytes();
  Rar5File climb5;
  climb5.name = "../climbed5.txt";
  climb5.data = "evil";
  Rar5File ok5;
  ok5.name = "ok5.txt";
  ok5.data = "good";
  std::string rar5 = Rar5Builder().file(climb5).file(ok5).end().bytes();

  const std::string target = temp.path() + "a/b/";
  Runs run4 = ProcessAll(temp.write("climb.rar", rar4), target);
  EXPECT_EQ(run4.codes(), (std::vector<int>{ERAR_ECREATE, ERAR_ECREATE, ERAR_ECREATE, ERAR_ECREATE, 0}));
  Runs run5 = ProcessAll(temp.write("climb5.rar", rar5), target);
  EXPECT_EQ(run5.codes(), (std::vector<int>{ERAR_ECREATE, 0}));
  std::map<std::string, std::string> tree = Tree(temp.path());
  EXPECT_EQ(tree.count("climbed.txt"), 0u);
  EXPECT_EQ(tree.count("a/climbed5.txt"), 0u);
  EXPECT_EQ(tree.count("a/up.txt"), 0u);
  EXPECT_EQ(tree["a/b/sub/ok.txt"], "good");
  EXPECT_EQ(tree["a/b/ok5.txt"], "good");
  EXPECT_FALSE(fs::exists("/abs.txt") && ReadFileBytes("/abs.txt").value_or("") == "evil");
}

TEST_F(UnrarApiTest, LinksAreNeverMade) {
  Rar4File link4;
  link4.name = "link4";
  link4.host = 3;
  link4.attributes = 0120777;
  link4.data = "/etc/passwd";
  Rar4File after;
  after.name = "after.txt";
  after.data = "after";
  Rar5File link5;
  link5.name = "link5";
  link5.extra = test::Rar5Record(5, test::Vint(1) + test::Vint(0) + test::Vint(11) + "/etc/passwd");
  Rar5File after5;
  after5.name = "after5.txt";
  after5.data = "after";
  Runs run4 = ProcessAll(temp.write("l4.rar", Rar4Builder().file(link4).file(after).end().bytes()),
                         temp.path() + "out");
  Runs run5 = ProcessAll(temp.write("l5.rar", Rar5Builder().file(link5).file(after5).end().bytes()),
                         temp.path() + "out");
  EXPECT_EQ(run4.codes(), (std::vector<int>{ERAR_ECREATE, 0}));
  EXPECT_EQ(run5.codes(), (std::vector<int>{ERAR_ECREATE, 0}));
  EXPECT_FALSE(fs::exists(fs::symlink_status(temp.path() + "out/link4")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(temp.path() + "out/link5")));
  EXPECT_EQ(ReadFileBytes(temp.path() + "out/after.txt").value_or(""), "after");
}

TEST_F(UnrarApiTest, StoredPermissionsAndTimes) {
  auto file = [](const std::string& name, std::uint8_t host, std::uint32_t attributes) {
    Rar4File f;
    f.name = name;
    f.data = "content";
    f.host = host;
    f.attributes = attributes;
    return f;
  };
  Rar5File timed;
  timed.name = "timed5.txt";
  timed.data = "t";
  timed.mtime = 1600000000;
  struct Case {
    std::string name;
    unsigned mode;  // permission bits and setuid/setgid/sticky
  } cases[] = {
      {"unix.sh", 0755},
      {"private.txt", 0600},
      {"readonly.txt", 0444},
  };
  std::string archive = Rar4Builder()
                            .file(file("unix.sh", 3, 0100000 | 04000 | 02000 | 01000 | 0755))
                            .file(file("private.txt", 3, 0100600))
                            .file(file("readonly.txt", 2, 0x21))
                            .end()
                            .bytes();
  mode_t oldMask = umask(022);
  Runs run = ProcessAll(temp.write("modes.rar", archive), temp.path() + "out");
  Runs run5 = ProcessAll(temp.write("t5.rar", Rar5Builder().file(timed).end().bytes()), temp.path() + "out");
  umask(oldMask);
  EXPECT_EQ(run.codes(), (std::vector<int>{0, 0, 0}));
  for (const Case& c : cases) {
    struct stat st {};
    ASSERT_EQ(stat((temp.path() + "out/" + c.name).c_str(), &st), 0) << c.name;
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
    EXPECT_EQ(st.st_mtime, extract::DosDateTimeToTime(0x54938bf8)) << c.name;
  }
  struct stat st {};
  ASSERT_EQ(stat((temp.path() + "out/timed5.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000000);
}

std::vector<int> g_blocks;
int g_stopAfter = -1;  // blocks to let through before answering -1

int RecordBlocks(unsigned char*, int size) {
  g_blocks.push_back(size);
  if (g_stopAfter >= 0 && static_cast<int>(g_blocks.size()) > g_stopAfter) return -1;
  return 1;
}

TEST_F(UnrarApiTest, TheDataCallbackSeesEveryBlockAndCanStop) {
  g_blocks.clear();
  g_stopAfter = -1;
  Archive a(kRarDir + "Rar5.rar");
  Lib().setProcessDataProc(a.handle(), RecordBlocks);
  RARHeaderData h;
  ASSERT_EQ(a.next(h), 0);
  ASSERT_EQ(a.process(RAR_TEST, ""), 0);
  long long total = 0;
  for (int b : g_blocks) {
    EXPECT_GT(b, 0);
    EXPECT_LE(b, 64 * 1024);
    total += b;
  }
  EXPECT_EQ(total, h.UnpSize);

  g_blocks.clear();
  g_stopAfter = 0;
  ASSERT_EQ(a.next(h), 0);
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path()), ERAR_UNKNOWN);
  EXPECT_EQ(g_blocks.size(), 1u);
  EXPECT_FALSE(fs::exists(temp.path() + "jpg/test.jpg"));
  g_stopAfter = -1;
  // The next file is not disturbed.
  ASSERT_EQ(a.next(h), 0);
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path()), 0);
}

TEST_F(UnrarApiTest, SkippingKeepsASolidDecoderInStep) {
  // Skip by RAR_SKIP, skip by reading the next header: either way the
  // third file decodes right.
  for (bool explicitSkip : {true, false}) {
    TempFolder work;
    Archive a(kRarDir + "Rar.solid.rar");
    RARHeaderData h;
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(a.next(h), 0);
      if (explicitSkip) {
        EXPECT_EQ(a.process(RAR_SKIP, work.path()), 0);
      }
    }
    ASSERT_EQ(a.next(h), 0);
    EXPECT_STREQ(h.FileName, "jpg\\test.jpg");
    EXPECT_EQ(a.process(RAR_EXTRACT, work.path()), 0);
    std::map<std::string, std::string> tree = Tree(work.path());
    EXPECT_EQ(tree.size(), 2u);  // jpg and jpg/test.jpg
    EXPECT_EQ(test::TestCrc32(tree["jpg/test.jpg"]), 0x088814e3u);
  }
}

TEST_F(UnrarApiTest, MisuseIsRefusedWithoutACrash) {
  RARHeaderData h{};
  char path[] = "/tmp";
  EXPECT_EQ(Lib().open(nullptr), nullptr);
  RAROpenArchiveData noName{};
  EXPECT_EQ(Lib().open(&noName), nullptr);
  EXPECT_EQ(noName.OpenResult, static_cast<unsigned>(ERAR_EOPEN));
  EXPECT_EQ(Lib().readHeader(nullptr, &h), ERAR_BAD_ARCHIVE);
  EXPECT_EQ(Lib().processFile(nullptr, RAR_EXTRACT, path, nullptr), ERAR_BAD_ARCHIVE);
  EXPECT_EQ(Lib().close(nullptr), ERAR_ECLOSE);
  Lib().setChangeVolProc(nullptr, RecordVolumes);
  Lib().setProcessDataProc(nullptr, RecordBlocks);
  Lib().setPassword(nullptr, path);

  Archive a(kRarDir + "test_read_format_rar4_encrypted.rar");
  Lib().setPassword(a.handle(), nullptr);
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path()), ERAR_BAD_ARCHIVE);  // no header read yet
  EXPECT_EQ(Lib().readHeader(a.handle(), nullptr), ERAR_BAD_ARCHIVE);
  while (a.next(h) == 0) {
  }
  EXPECT_EQ(a.next(h), ERAR_END_ARCHIVE);
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path()), ERAR_BAD_ARCHIVE);
  EXPECT_TRUE(Tree(temp.path()).empty());

  RAROpenArchiveData data{};
  std::string name = kRarDir + "Rar4.rar";
  data.ArcName = name.data();
  void* handle = Lib().open(&data);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Lib().close(handle), 0);
  EXPECT_EQ(Lib().close(handle), ERAR_ECLOSE);
}

TEST_F(UnrarApiTest, DamagedHeadersAndOverlongData) {
  Rar4File good;
  good.name = "good.txt";
  good.data = "good";
  Rar4File bad = good;
  bad.name = "bad.txt";
  std::string bytes = Rar4Builder().file(good).file(bad).end().bytes();
  bytes[7 + 13 + 32 + 8 + 4 + 10] ^= 0x40;  // the second file header
  Archive a(temp.write("badheader.rar", bytes));
  RARHeaderData h;
  ASSERT_EQ(a.next(h), 0);
  EXPECT_EQ(a.process(RAR_EXTRACT, temp.path() + "out"), 0);
  EXPECT_EQ(a.next(h), ERAR_BAD_DATA);
  EXPECT_EQ(a.next(h), ERAR_END_ARCHIVE);

  // A stored RAR 5 file with more data than its header declares.
  Rar5File longer;
  longer.name = "longer.txt";
  longer.data = "0123456789";
  longer.unpSize = 5;
  longer.fileFlags = 0;
  g_blocks.clear();
  g_stopAfter = -1;
  Archive b(temp.write("longer.rar", Rar5Builder().file(longer).end().bytes()));
  Lib().setProcessDataProc(b.handle(), RecordBlocks);
  ASSERT_EQ(b.next(h), 0);
  EXPECT_EQ(b.process(RAR_EXTRACT, temp.path() + "out5"), ERAR_BAD_DATA);
  // Not a byte beyond the declared size was passed on.
  int passed = 0;
  for (int block : g_blocks) passed += block;
  EXPECT_LE(passed, 5);
  EXPECT_TRUE(Tree(temp.path() + "out5").empty());
}

TEST_F(UnrarApiTest, DestinationNameAndCurrentFolder) {
  Archive a(kRarDir + "Rar4.rar");
  RARHeaderData h;
  ASSERT_EQ(a.next(h), 0);
  const std::string renamed = temp.path() + "renamed/test.bin";
  EXPECT_EQ(a.process(RAR_EXTRACT, "", renamed.c_str()), 0);
  EXPECT_EQ(test::TestCrc32(ReadFileBytes(renamed).value_or("")), 0xcfb109c8u);

  // No destination: the current folder.
  std::string cwd = fs::current_path();
  fs::create_directories(temp.path() + "here");
  ASSERT_EQ(chdir((temp.path() + "here").c_str()), 0);
  ASSERT_EQ(a.next(h), 0);
  int code = Lib().processFile(a.handle(), RAR_EXTRACT, nullptr, nullptr);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(test::TestCrc32(ReadFileBytes(temp.path() + "here/jpg/test.jpg").value_or("")), 0x088814e3u);
}

}  // namespace
}  // namespace pagemoor
