#include "installer/DataPackage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "installer/ChiefUnzip.h"
#include "installer/RarArc.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;
using Strings = std::vector<std::string>;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kRar4 = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/rar/Rar4.rar";

std::string CurrentFolder() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

// Packs the files with Debian's zip into `archive`; `stub` goes in front of
// the archive as a self-extractor's program would (zip -A fixes the offsets).
void MakeZip(const TempFolder& t, const std::string& archive, const Files& files,
             const std::string& stub = {}) {
  static int staging = 0;
  const std::string folder = "zip-staging-" + std::to_string(++staging) + "/";
  for (const auto& [name, bytes] : files) t.write(folder + name, bytes);
  std::filesystem::create_directories(std::filesystem::path(archive).parent_path());
  const std::string zipped = t.file(folder + "out.zip");
  const std::string command = "cd '" + t.file(folder) + "' && zip -q -r -X out.zip . -x out.zip";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  if (!stub.empty()) {
    const std::string withStub = t.write(folder + "stub.bin", stub);
    ASSERT_EQ(std::system(("cat '" + zipped + "' >> '" + withStub + "' && zip -q -A '" + withStub +
                           "' && mv '" + withStub + "' '" + zipped + "'")
                              .c_str()),
              0);
  }
  std::filesystem::rename(zipped, archive);
}

// A program folder with its description file, and the project folder the
// parts unpack into (not created beforehand: the unpacking creates it).
class DataPackageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ASSERT_EQ(::chdir(m_savedFolder.c_str()), 0);
    ClearIniCache();
  }

  void describe(const std::string& text) {
    // Rewritten within the same instant the INI cache might not notice.
    ClearIniCache();
    t.write("prog/magazine.ini", text);
  }
  std::string descriptionFile() const { return t.file("prog/magazine.ini"); }

  UnpackResult unpack() {
    progress.clear();
    return UnpackDataPackage(descriptionFile(), programDir, projectDir, rar, unzip,
                             [this](const std::string& text) { progress.push_back(text); });
  }

  // The last run left the project folder current; step out before it goes.
  void removeProject() {
    ASSERT_EQ(::chdir(m_savedFolder.c_str()), 0);
    std::filesystem::remove_all(projectDir);
  }

  bool unpacked(const std::string& name) const { return FileExists(projectDir + name); }

  TempFolder t;
  std::string m_savedFolder = CurrentFolder();
  std::string programDir = t.file("prog/");
  std::string projectDir = t.file("project/");
  TRAR rar{PAGEMOOR_UNRAR_LIBRARY};
  TChiefUnzip unzip;
  Strings progress;
};

TEST_F(DataPackageTest, CountThatIsNoPositiveIntegerMeansOnePart) {
  MakeZip(t, programDir + "part1.zip", {{"one.txt", "1"}});
  MakeZip(t, programDir + "part2.zip", {{"two.txt", "2"}});
  for (const char* files :
       {"files=0\r\n", "files=abc\r\n", "files=-4\r\n", "files=2x\r\n", "files= \r\n", ""}) {
    SCOPED_TRACE(files);
    removeProject();
    describe(std::string("[uniproject]\r\n") + files + "[files]\r\nfile1=part1.zip\r\nfile2=part2.zip\r\n");
    const UnpackResult r = unpack();
    EXPECT_TRUE(r.firstPartFound);
    EXPECT_EQ(r.partCount, 1);
    EXPECT_EQ(r.partsUnpacked, 1);
    EXPECT_EQ(progress, Strings{"Extracting Data ... Part 1"});
    EXPECT_TRUE(unpacked("one.txt"));
    EXPECT_FALSE(unpacked("two.txt"));
  }
}

TEST_F(DataPackageTest, MissingLaterPartsAreSkippedButAnnounced) {
  MakeZip(t, programDir + "part1.zip", {{"one.txt", "1"}});
  MakeZip(t, programDir + "part3.zip", {{"three.txt", "3"}});
  describe("[uniproject]\r\nfiles=3\r\n[files]\r\nfile1=part1.zip\r\nfile2=part2.zip\r\nfile3=part3.zip\r\n");
  const UnpackResult r = unpack();
  EXPECT_TRUE(r.firstPartFound);
  EXPECT_EQ(r.firstPartValue, "part1.zip");
  EXPECT_EQ(r.partCount, 3);
  EXPECT_EQ(r.partsUnpacked, 2);
  EXPECT_EQ(progress, (Strings{"Extracting Data ... Part 1", "Extracting Data ... Part 2",
                               "Extracting Data ... Part 3"}));
  EXPECT_EQ(t.read("project/one.txt"), "1");
  EXPECT_EQ(t.read("project/three.txt"), "3");

  // Two parts named, the second missing and without even a key.
  removeProject();
  describe("[uniproject]\r\nfiles=2\r\n[files]\r\nfile1=part1.zip\r\n");
  const UnpackResult two = unpack();
  EXPECT_EQ(two.partCount, 2);
  EXPECT_EQ(two.partsUnpacked, 1);
  EXPECT_EQ(progress, (Strings{"Extracting Data ... Part 1", "Extracting Data ... Part 2"}));
  EXPECT_TRUE(unpacked("one.txt"));
}

// A part that is a FIFO or a device is no archive: neither extractor may open
// it and wait for a writer that never comes; the parts around it unpack.
TEST_F(DataPackageTest, APartThatIsNoRegularFileIsPassedOverWithoutWaiting) {
  MakeZip(t, programDir + "part1.zip", {{"one.txt", "1"}});
  MakeZip(t, programDir + "part4.zip", {{"four.txt", "4"}});
  ASSERT_EQ(::mkfifo((programDir + "part2.zip").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (programDir + "part3.rar").c_str()), 0);
  describe("[uniproject]\r\nfiles=4\r\n[files]\r\nfile1=part1.zip\r\nfile2=part2.zip\r\n"
           "file3=part3.rar\r\nfile4=part4.zip\r\n");
  const UnpackResult r = unpack();
  EXPECT_EQ(r.stopped, UnpackResult::Stop::None);
  EXPECT_EQ(t.read("project/one.txt"), "1");
  EXPECT_EQ(t.read("project/four.txt"), "4");
}

// A count far beyond any data package stops at part 999: the parts there are
// unpacked, and the description file gains a bounded number of empty keys.
TEST_F(DataPackageTest, ACountBeyondAnyPackageStopsAtPart999) {
  MakeZip(t, programDir + "part1.zip", {{"one.txt", "1"}});
  MakeZip(t, programDir + "part2.zip", {{"two.txt", "2"}});
  describe("[uniproject]\r\nfiles=2000000000\r\n[files]\r\nfile1=part1.zip\r\nfile2=part2.zip\r\n");
  const UnpackResult r = unpack();
  EXPECT_EQ(r.partCount, 999);
  EXPECT_EQ(r.partsUnpacked, 2);
  ASSERT_EQ(progress.size(), 999u);
  EXPECT_EQ(progress.back(), "Extracting Data ... Part 999");
  EXPECT_TRUE(unpacked("one.txt"));
  EXPECT_TRUE(unpacked("two.txt"));
  const std::string description = t.read("prog/magazine.ini");
  EXPECT_NE(description.find("file999="), std::string::npos);
  EXPECT_EQ(description.find("file1000="), std::string::npos);
}

TEST_F(DataPackageTest, ZipAndRarPartsAreBothUnpackedAndTheProjectBecomesCurrent) {
  MakeZip(t, programDir + "data/text.zip", {{"texts/intro.txt", "Vítejte"}});
  std::filesystem::copy_file(kRar4, programDir + "data/pictures.rar");
  describe("[uniproject]\r\nfiles=2\r\n[files]\r\nfile1=data\\text.zip\r\nfile2=data\\pictures.rar\r\n");
  const UnpackResult r = unpack();
  EXPECT_EQ(r.partsUnpacked, 2);
  EXPECT_EQ(t.read("project/texts/intro.txt"), "Vítejte");
  EXPECT_TRUE(unpacked("exe/test.exe"));
  ASSERT_TRUE(unpacked("jpg/test.jpg"));
  EXPECT_EQ(std::filesystem::file_size(projectDir + "jpg/test.jpg"), 40372u);
  EXPECT_EQ(CurrentFolder() + "/", projectDir);
}

// The kind comes from the content: parts were renamed freely.
TEST_F(DataPackageTest, ExtractorIsChosenByContentNotByName) {
  struct Case {
    const char* name;
    const char* kind;  // zip, zip-with-stub, rar
  };
  const Case cases[] = {
      {"DATA.001", "zip"}, {"data.rar", "zip"}, {"setup.exe", "zip-with-stub"},
      {"DATA.002", "rar"}, {"data.zip", "rar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.kind);
    std::filesystem::remove_all(programDir);
    removeProject();
    const std::string part = programDir + c.name;
    const std::string kind = c.kind;
    if (kind == "rar") {
      std::filesystem::create_directories(programDir);
      std::filesystem::copy_file(kRar4, part);
    } else {
      MakeZip(t, part, {{"inside.txt", "zip"}},
              kind == "zip-with-stub" ? std::string(1024, 'M') : std::string());
    }
    describe(std::string("[uniproject]\r\nfiles=1\r\n[files]\r\nfile1=") + c.name + "\r\n");
    std::vector<int> rarErrors;
    rar.OnError = [&](TRAR&, int error) { rarErrors.push_back(error); };
    EXPECT_EQ(unpack().partsUnpacked, 1);
    EXPECT_TRUE(unpacked(kind == "rar" ? "jpg/test.jpg" : "inside.txt"));
    // A ZIP part that went through the RAR reader first would show the
    // reader a "not a RAR archive" box at start-up.
    EXPECT_TRUE(rarErrors.empty());
  }
}

TEST_F(DataPackageTest, MissingFirstPartStopsBeforeAnythingIsDone) {
  MakeZip(t, programDir + "part2.zip", {{"two.txt", "2"}});
  describe("[uniproject]\r\nfiles=2\r\n[files]\r\nfile1=Data\\Part1.zip\r\nfile2=part2.zip\r\n");
  const UnpackResult r = unpack();
  EXPECT_FALSE(r.firstPartFound);
  EXPECT_EQ(r.firstPartValue, "Data\\Part1.zip");
  EXPECT_EQ(r.partsUnpacked, 0);
  EXPECT_TRUE(progress.empty());
  EXPECT_FALSE(DirectoryExists(projectDir));
  EXPECT_EQ(CurrentFolder(), m_savedFolder);

  // No file1 at all names the program folder, which is no part either.
  describe("[uniproject]\r\nfiles=1\r\n");
  EXPECT_FALSE(unpack().firstPartFound);
  EXPECT_FALSE(DirectoryExists(projectDir));
}

// Magazine authors wrote the names with '\' steps and any case; and a deep
// program folder gives paths longer than the old 255-character limit.
TEST_F(DataPackageTest, BackslashStepsAnyCaseAndLongPathsWork) {
  std::string deep = "prog/";
  while (t.file(deep).size() < 300) deep += "a-rather-long-folder-name-for-the-program/";
  programDir = t.file(deep);
  projectDir = t.file(deep + "Project Folder/");
  ASSERT_GT(programDir.size() + std::string("data/part1.zip").size(), 255u);
  MakeZip(t, programDir + "data/part1.zip", {{"docs/readme.txt", "long"}});
  t.write(deep + "magazine.ini", "[uniproject]\r\nfiles=1\r\n[files]\r\nfile1=DATA\\Part1.ZIP\r\n");
  const UnpackResult r = UnpackDataPackage(programDir + "magazine.ini", programDir, projectDir, rar, unzip,
                                           [this](const std::string& text) { progress.push_back(text); });
  EXPECT_TRUE(r.firstPartFound);
  EXPECT_EQ(r.partsUnpacked, 1);
  EXPECT_EQ(t.read(deep + "Project Folder/docs/readme.txt"), "long");
  EXPECT_EQ(CurrentFolder() + "/", projectDir);
}

}  // namespace
}  // namespace pagemoor
