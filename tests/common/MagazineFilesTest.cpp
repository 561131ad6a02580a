#include "common/MagazineFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

// A development-mode magazine in mag/ (its program file mag/MAG.EXE, so the
// program folder is the project folder), the reader's own files in home/,
// confinement on and the refusal lines collected.
class MagazineFiles : public ::testing::Test {
 protected:
  MagazineFiles() {
    t.write("mag/texts/page.htm", "<p>page</p>");
    t.write("mag/ini/main.ini", "[start]\r\ntitle=Ours\r\n");
    t.write("home/.ssh/id_rsa", "SECRET");
    t.write("home/settings.ini", "[start]\r\ntitle=Theirs\r\n");
    ::mkfifo(t.file("mag/texts/fifo.htm").c_str(), 0600);
    ::symlink(t.file("home/.ssh/id_rsa").c_str(), t.file("mag/texts/out.htm").c_str());
    ::symlink(t.file("mag/texts/page.htm").c_str(), t.file("mag/texts/in.htm").c_str());
    ::symlink("/dev/zero", t.file("mag/texts/zero.htm").c_str());
    ::symlink(t.file("home").c_str(), t.file("mag/home").c_str());
    SetMagazineConfinement(true);
    SetFileRefusalLog([this](const std::string& line) { lines.push_back(line); });
    ClearIniCache();
  }
  ~MagazineFiles() override {
    SetFileRefusalLog({});
    SetMagazineConfinement(false);
    ClearIniCache();
  }

  TempFolder t;
  test::ScopedCommandLine commandLine{t.file("mag/MAG.EXE"), {"/develope"}};
  std::vector<std::string> lines;
};

TEST_F(MagazineFiles, OnlyRegularFilesInsideTheMagazineAreRead) {
  const std::string up = "../";
  struct Case {
    std::string path;
    std::optional<std::string> bytes;
    std::string logged;  // what the one line says, empty: no line
  } cases[] = {
      {t.file("mag/texts/page.htm"), "<p>page</p>", ""},
      {t.file("mag/TEXTS/Page.HTM"), "<p>page</p>", ""},    // the case the author wrote
      {t.file("mag/texts/in.htm"), "<p>page</p>", ""},      // a link that stays inside
      {t.file("mag/texts/nothere.htm"), std::nullopt, ""},  // missing: no news
      {t.file("mag/texts"), std::nullopt, ""},              // a folder: no news either
      {t.file("mag/texts/../../home/.ssh/id_rsa"), std::nullopt, "outside the magazine"},
      {t.file("mag/texts/out.htm"), std::nullopt, "outside the magazine"},
      {t.file("mag/home/.ssh/id_rsa"), std::nullopt, "outside the magazine"},  // through a linked folder
      {t.file("mag/texts/zero.htm"), std::nullopt, "outside the magazine"},
      {t.file("mag/texts/" + up + up + up + up + up + up + up + up + up + up + up + up + "dev/zero"),
       std::nullopt, "outside the magazine"},
      {t.file("mag/texts/fifo.htm"), std::nullopt, "not a regular file"},
  };
  for (const Case& c : cases) {
    lines.clear();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadMagazineFile(c.path, FileKind::Text), c.bytes) << c.path;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << c.path;
    if (c.logged.empty()) {
      EXPECT_TRUE(lines.empty()) << c.path << ": " << (lines.empty() ? "" : lines.front());
    } else {
      ASSERT_EQ(lines.size(), 1u) << c.path;
      EXPECT_NE(lines.front().find(c.logged), std::string::npos) << lines.front();
      EXPECT_NE(lines.front().find(HostPath(c.path)), std::string::npos) << lines.front();
    }
  }
}

// Devices and pipes are refused by what they are, also where nothing is
// confined, and the open of a FIFO nobody writes to does not wait.
TEST_F(MagazineFiles, DevicesAndPipesAreNoFilesAnywhere) {
  SetMagazineConfinement(false);
  for (const std::string& path : {std::string("/dev/zero"), t.file("mag/texts/fifo.htm")}) {
    lines.clear();
    FileRefusal why = FileRefusal::None;
    EXPECT_EQ(ReadFileBytes(path, FileKind::Sound, &why), std::nullopt) << path;
    EXPECT_EQ(why, FileRefusal::NotRegular) << path;
    EXPECT_EQ(ReadMagazineFile(path, FileKind::Sound), std::nullopt) << path;
    ASSERT_EQ(lines.size(), 1u) << path;
    EXPECT_NE(lines.front().find("not a regular file"), std::string::npos) << lines.front();
  }
}

// A file one byte over its kind's cap is refused before anything is read;
// one exactly at the cap is read whole. The files are sparse: no disk is used.
TEST_F(MagazineFiles, EachKindHasItsSizeCap) {
  for (FileKind kind : {FileKind::Text, FileKind::Picture}) {
    const std::size_t cap = FileSizeCap(kind);
    for (const std::size_t size : {cap, cap + 1}) {
      const std::string path = t.file("mag/pictures/big.bin");
      t.write("mag/pictures/big.bin", "");
      ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
      lines.clear();
      const std::optional<std::string> bytes = ReadMagazineFile(path, kind);
      if (size == cap) {
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(bytes->size(), cap);
        EXPECT_TRUE(lines.empty());
      } else {
        EXPECT_EQ(bytes, std::nullopt);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines.front().find("larger than " + std::to_string(cap >> 20) + " MB"), std::string::npos)
            << lines.front();
      }
    }
  }
  EXPECT_EQ(FileSizeCap(FileKind::Text), 16u << 20);
  EXPECT_EQ(FileSizeCap(FileKind::Picture), 64u << 20);
  EXPECT_EQ(FileSizeCap(FileKind::Sound), 256u << 20);
}

// What the reader picked is the reader's to read, wherever it lies; a file
// the reader saves to counts before it exists.
TEST_F(MagazineFiles, TheReadersOwnChoiceIsReadFromAnywhere) {
  const std::string secret = t.file("home/.ssh/id_rsa");
  EXPECT_EQ(WhereIs(secret), PlaceOfFile::Outside);
  AllowReaderChoice(t.file("home/.ssh"));
  EXPECT_EQ(ReadMagazineFile(secret, FileKind::Text), "SECRET");
  EXPECT_EQ(WhereIs(t.file("home/settings.ini")), PlaceOfFile::Outside);
  AllowReaderChoice(t.file("home/list.m3u"));
  t.write("home/list.m3u", "a.mp3\r\n");
  EXPECT_EQ(WhereIs(t.file("home/list.m3u")), PlaceOfFile::Inside);
  EXPECT_TRUE(lines.empty());
}

// A line of the log per refusal: a name with a line break cannot forge a
// second line.
TEST_F(MagazineFiles, ARefusalIsOneLineOfTheLog) {
  ::mkfifo(t.file("mag/texts/a\nSystem: forged").c_str(), 0600);
  EXPECT_EQ(ReadTextFile(t.file("mag/texts/a\nSystem: forged")), std::nullopt);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines.front().find('\n'), std::string::npos) << lines.front();
  EXPECT_NE(lines.front().find("a\\x0aSystem: forged"), std::string::npos) << lines.front();
}

// Lines from before the reading's log exists reach it when it is set.
TEST_F(MagazineFiles, RefusalsBeforeTheLogWaitForIt) {
  SetFileRefusalLog({});
  EXPECT_EQ(ReadTextFile(t.file("mag/texts/out.htm")), std::nullopt);
  EXPECT_TRUE(lines.empty());
  SetFileRefusalLog([this](const std::string& line) { lines.push_back(line); });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines.front().find("out.htm"), std::string::npos) << lines.front();
}

// An INI file that leads out of the magazine is neither read nor written: the
// keys a read writes back would otherwise land in the reader's own file. A
// device or pipe as an INI file reads as empty and is never written either.
// Each file's refusal is logged once, not once per key.
TEST_F(MagazineFiles, IniFilesLeadingOutAreNeitherReadNorWritten) {
  ::symlink(t.file("home/settings.ini").c_str(), t.file("mag/ini/linked.ini").c_str());
  ::mkfifo(t.file("mag/ini/fifo.ini").c_str(), 0600);
  struct Case {
    std::string file;
    std::string logged;
  } cases[] = {
      {t.file("mag/ini/linked.ini"), "outside the magazine"},
      {t.file("mag/home/new.ini"), "outside the magazine"},  // a new file in a folder that leads out
      {t.file("mag/ini/fifo.ini"), "not a regular file"},
  };
  for (const Case& c : cases) {
    lines.clear();
    EXPECT_EQ(ReadIniValue(c.file, "start", "title"), "") << c.file;
    EXPECT_EQ(ReadIniDefault(c.file, "start", "colour", "blue"), "blue") << c.file;
    EXPECT_EQ(ReadIniValue(c.file, "start", "width"), "") << c.file;
    FlushIniWrites();
    ASSERT_EQ(lines.size(), 1u) << c.file;
    EXPECT_NE(lines.front().find(c.logged), std::string::npos) << lines.front();
  }
  EXPECT_EQ(t.read("home/settings.ini"), "[start]\r\ntitle=Theirs\r\n");
  EXPECT_EQ(t.read("home/new.ini"), "<missing>");
  // The magazine's own file is read and written back as always.
  EXPECT_EQ(ReadIniValue(t.file("mag/ini/main.ini"), "start", "title"), "Ours");
  EXPECT_EQ(ReadIniValue(t.file("mag/ini/main.ini"), "start", "width"), "");
  EXPECT_EQ(t.read("mag/ini/main.ini"), "[start]\r\ntitle=Ours\r\nwidth= \r\n");
}

}  // namespace
}  // namespace pagemoor
