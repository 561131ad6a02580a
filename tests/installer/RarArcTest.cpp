// The RAR component with the real library and real archives.
#include "installer/RarArc.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/FileIo.h"
#include "support/TempFolder.h"
#include "unrar/RarBuilder.h"

namespace pagemoor {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

const std::string kRarDir = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/rar/";

// The component's events as lines, in order.
struct Events {
  std::vector<std::string> lines;

  void attach(TRAR& rar) {
    rar.OnError = [this](TRAR&, int error) { lines.push_back("error " + std::to_string(error)); };
    rar.OnComment = [this](TRAR&, const std::string& text) { lines.push_back("comment " + text); };
    rar.OnExtracting = [this](TRAR&, const RARHeaderData& h) {
      lines.push_back(std::string("extracting ") + h.FileName);
    };
    rar.OnExtract = [this](TRAR&, const RARHeaderData& h, bool ok) {
      lines.push_back(std::string("extract ") + h.FileName + (ok ? " ok" : " failed"));
    };
  }
};

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) files.push_back(fs::relative(item.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class RarArcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rar.LoadedDLL());
    events.attach(rar);
    rar.TargetDir = temp.path() + "out";
  }
  TRAR rar{PAGEMOOR_UNRAR_LIBRARY};
  Events events;
  TempFolder temp;
};

TEST(RarArcLibraryTest, WithoutTheLibraryEveryExtractReports50) {
  for (const std::string path : {"/nonexistent/libpagemoor-unrar.so", "libz.so.1"}) {
    SCOPED_TRACE(path);
    TRAR rar(path);
    EXPECT_FALSE(rar.LoadedDLL());
    Events events;
    events.attach(rar);
    rar.ArchiveName = kRarDir + "Rar4.rar";
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(events.lines, (std::vector<std::string>{"error 50"}));
  }
}

TEST_F(RarArcTest, NoArchiveNameIs13) {
  EXPECT_FALSE(rar.Extract());
  EXPECT_EQ(events.lines, (std::vector<std::string>{"error 13"}));
}

TEST_F(RarArcTest, OpenFailuresReportTheirCode) {
  struct Case {
    std::string archive;
    std::string line;
  } cases[] = {
      {kRarDir + "Rar15.rar", "error 13"},
      {kRarDir + "test_read_format_rar_encryption_header.rar", "error 13"},
      {temp.path() + "missing.rar", "error 15"},
  };
  for (const Case& c : cases) {
    events.lines.clear();
    rar.ArchiveName = c.archive;
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(events.lines, (std::vector<std::string>{c.line})) << c.archive;
  }
  EXPECT_FALSE(fs::exists(rar.TargetDir));
}

TEST_F(RarArcTest, ADamagedFileIsReportedAndTheRestExtracted) {
  rar.ArchiveName = kRarDir + "Rar4.damaged-crc.rar";
  EXPECT_FALSE(rar.Extract());
  EXPECT_EQ(events.lines, (std::vector<std::string>{
                              "extracting exe\\test.exe",
                              "extract exe\\test.exe ok",
                              "extracting jpg\\test.jpg",
                              "extract jpg\\test.jpg failed",
                              "error 12",
                              "extracting тест.txt",
                              "extract тест.txt ok",
                              "extracting exe",
                              "extract exe ok",
                              "extracting jpg",
                              "extract jpg ok",
                          }));
  EXPECT_EQ(Files(rar.TargetDir), (std::vector<std::string>{"exe/test.exe", "тест.txt"}));
}

TEST_F(RarArcTest, TheCommentComesFirst) {
  rar.ArchiveName = kRarDir + "rar3-comment-plain.rar";
  EXPECT_TRUE(rar.Extract());
  ASSERT_FALSE(events.lines.empty());
  EXPECT_EQ(events.lines.front(), "comment RARcomment\n");
  EXPECT_EQ(Files(rar.TargetDir), (std::vector<std::string>{"file1.txt", "file2.txt"}));
}

TEST_F(RarArcTest, OnlyTheFilesAskedFor) {
  // The name as the headers give it, for RAR 4 and RAR 5 alike.
  for (const char* archive : {"Rar4.rar", "Rar5.rar"}) {
    SCOPED_TRACE(archive);
    TempFolder work;
    events.lines.clear();
    rar.TargetDir = work.path();
    rar.ArchiveName = kRarDir + archive;
    rar.FilesToExtract = {"jpg\\test.jpg"};
    EXPECT_TRUE(rar.Extract());
    EXPECT_EQ(events.lines,
              (std::vector<std::string>{"extracting jpg\\test.jpg", "extract jpg\\test.jpg ok"}));
    EXPECT_EQ(Files(work.path()), (std::vector<std::string>{"jpg/test.jpg"}));
  }
}

TEST_F(RarArcTest, StopEndsAfterTheCurrentFile) {
  rar.ArchiveName = kRarDir + "Rar.solid.rar";
  rar.OnExtract = [this](TRAR& sender, const RARHeaderData& h, bool ok) {
    events.lines.push_back(std::string("extract ") + h.FileName + (ok ? " ok" : " failed"));
    sender.Stop = true;
  };
  EXPECT_TRUE(rar.Extract());
  EXPECT_FALSE(rar.Stop);
  EXPECT_EQ(events.lines, (std::vector<std::string>{"extracting тест.txt", "extract тест.txt ok"}));
  EXPECT_EQ(Files(rar.TargetDir), (std::vector<std::string>{"тест.txt"}));
}

TEST_F(RarArcTest, ProcessDataGetsBlocksAndARunningTotal) {
  rar.ArchiveName = kRarDir + "Rar4.rar";
  std::vector<std::pair<int, int>> blocks;  // size, position
  rar.OnProcessData = [&](TRAR&, const unsigned char* addr, int size, int position) {
    EXPECT_NE(addr, nullptr);
    blocks.emplace_back(size, position);
    return 1;
  };
  EXPECT_TRUE(rar.Extract());
  ASSERT_FALSE(blocks.empty());
  int total = 0;
  for (const auto& [size, position] : blocks) {
    total += size;
    EXPECT_EQ(position, total);
  }
  EXPECT_EQ(total, 45056 + 40372 + 15498);

  // Every Extract counts from zero.
  int first = blocks.front().first;
  blocks.clear();
  rar.TargetDir = temp.path() + "again";
  EXPECT_TRUE(rar.Extract());
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks.front().second, first);
}

TEST_F(RarArcTest, AnErrorOtherThanCrcOrCreateEndsTheLoop) {
  rar.ArchiveName = kRarDir + "Rar4.rar";
  rar.OnProcessData = [](TRAR&, const unsigned char*, int, int) { return -1; };
  EXPECT_FALSE(rar.Extract());
  EXPECT_EQ(events.lines,
            (std::vector<std::string>{"extracting exe\\test.exe", "extract exe\\test.exe failed",
                                      "error " + std::to_string(ERAR_UNKNOWN)}));
}

TEST_F(RarArcTest, APasswordIsAskedForEncryptedFilesOnly) {
  rar.ArchiveName = kRarDir + "test_read_format_rar4_encrypted.rar";
  std::vector<std::string> asked;
  rar.OnReqPassword = [&](TRAR&, const RARHeaderData& h, std::string& password) {
    asked.push_back(h.FileName);
    password = "password";
  };
  EXPECT_FALSE(rar.Extract());
  EXPECT_EQ(asked, (std::vector<std::string>{"b.txt", "d.txt"}));
  EXPECT_EQ(std::count(events.lines.begin(), events.lines.end(), "error 12"), 2);
  EXPECT_EQ(Files(rar.TargetDir), (std::vector<std::string>{"a.txt", "c.txt"}));
}

TEST_F(RarArcTest, ANestedExtractReturnsFalseAtOnce) {
  rar.ArchiveName = kRarDir + "Rar4.rar";
  std::vector<bool> nested;
  rar.OnExtracting = [&](TRAR& sender, const RARHeaderData&) { nested.push_back(sender.Extract()); };
  EXPECT_TRUE(rar.Extract());
  EXPECT_EQ(nested, std::vector<bool>(5, false));
  EXPECT_EQ(Files(rar.TargetDir).size(), 3u);
}

TEST_F(RarArcTest, VolumesAreAnnounced) {
  rar.ArchiveName = kRarDir + "rar4-multivolume/Rar4.multi.part01.rar";
  std::vector<std::string> volumes;
  rar.OnVolumeChange = [&](TRAR&, const std::string& name, int mode) {
    volumes.push_back(std::to_string(mode) + " " + fs::path(name).filename().string());
    return 1;
  };
  EXPECT_TRUE(rar.Extract());
  std::vector<std::string> expected;
  for (int part = 2; part <= 7; ++part)
    expected.push_back("1 Rar4.multi.part0" + std::to_string(part) + ".rar");
  EXPECT_EQ(volumes, expected);
  EXPECT_EQ(Files(rar.TargetDir).size(), 3u);
}

TEST_F(RarArcTest, AClimbingNameIsRefusedAndTheRestExtracted) {
  test::Rar4File climb;
  climb.name = "..\\..\\outside.txt";
  climb.data = "evil";
  test::Rar4File ok;
  ok.name = "inside.txt";
  ok.data = "good";
  rar.ArchiveName = temp.write("climb.rar", test::Rar4Builder().file(climb).file(ok).end().bytes());
  rar.TargetDir = temp.path() + "a/b";
  EXPECT_FALSE(rar.Extract());
  EXPECT_EQ(events.lines,
            (std::vector<std::string>{"extracting ..\\..\\outside.txt", "extract ..\\..\\outside.txt failed",
                                      "error 16", "extracting inside.txt", "extract inside.txt ok"}));
  EXPECT_FALSE(fs::exists(temp.path() + "outside.txt"));
  EXPECT_EQ(ReadFileBytes(temp.path() + "a/b/inside.txt").value_or(""), "good");
}

TEST_F(RarArcTest, NoTargetMeansTheCurrentFolder) {
  rar.ArchiveName = kRarDir + "test_read_format_rar_encryption_partially.rar";
  rar.TargetDir.clear();
  fs::create_directories(temp.path() + "here");
  std::string cwd = fs::current_path();
  ASSERT_EQ(chdir((temp.path() + "here").c_str()), 0);
  bool result = rar.Extract();
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  EXPECT_FALSE(result);  // foo.txt is encrypted
  EXPECT_EQ(ReadFileBytes(temp.path() + "here/bar.txt").value_or(""), "data of bar.txt\n");
}

TEST(RarArcTextTest, ErrorTextsInBothLanguages) {
  struct Case {
    int code;
    std::string english;
    std::string czech;
  } cases[] = {
      {10, "End of archive", "Konec archivu"},
      {11, "Not enough memory to initialize data structures",
       "Nedostatek paměti pro inicializaci datové oblasti"},
      {12, "CRC error, data damaged", "Špatný kontrolní součet. Data jsou pravděpodobně poškozena"},
      {13, "File is not valid RAR archive", "Soubor není RAR archivem"},
      {14, "Unknown comment format", "Neznámý formát komentáře"},
      {15, "File open error", "Chyba při otevírání souboru"},
      {16, "File create error", "Chyba při vytváření souboru"},
      {17, "File close error", "Chyba při zavírání souboru"},
      {18, "Read error", "Chyba při čtení"},
      {19, "Write error", "Chyba při zápisu"},
      {20, "Buffer is too small for comment", "Komentář je moc velký na aktuální zásobník, nebude kompletní"},
      {50, "UNRAR.dll not found", "UNRAR.dll nenalezen"},
      {0, "Unknown error", "Chyba"},
      {21, "Unknown error", "Chyba"},
      {-1, "Unknown error", "Chyba"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TRAR::ErrorTextEnglish(c.code), c.english) << c.code;
    EXPECT_EQ(TRAR::ErrorTextCzech(c.code), c.czech) << c.code;
  }
}

}  // namespace
}  // namespace pagemoor
