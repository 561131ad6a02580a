#include "jukebox/ID3Tags.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/HostPaths.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

const std::string kMp3Dir = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/mp3/";

// A 128-byte block: "TAG", the fields zero-padded, genre last.
std::string Block(std::string_view title, std::string_view artist = "", std::string_view album = "",
                  std::string_view year = "", std::string_view comment = "", unsigned char genre = 0) {
  std::string block(TID3v1Tag::kBlockSize, '\0');
  block.replace(0, 3, "TAG");
  const auto put = [&](std::size_t offset, std::size_t length, std::string_view text) {
    block.replace(offset, std::min(length, text.size()), text.substr(0, length));
  };
  put(3, 30, title);
  put(33, 30, artist);
  put(63, 30, album);
  put(93, 4, year);
  put(97, 30, comment);
  block[127] = static_cast<char>(genre);
  return block;
}

// --- The fixture MP3 files ------------------------------------------------

struct FileCase {
  const char* file;
  bool exists;
  const char* title;
  const char* artist;
  const char* album;
  const char* year;
  const char* comment;
  bool version11;
  int track;
  int genreCode;
  const char* genre;
};
void PrintTo(const FileCase& c, std::ostream* os) {
  *os << c.file;
}

class ID3FixtureFile : public testing::TestWithParam<FileCase> {};

TEST_P(ID3FixtureFile, ReadsEveryField) {
  const FileCase& c = GetParam();
  const std::string path = kMp3Dir + c.file;
  ASSERT_TRUE(FileExists(path)) << path;
  TID3v1Tag tag;
  EXPECT_EQ(tag.ReadFromFile(path), c.exists);
  EXPECT_EQ(tag.Exists, c.exists);
  EXPECT_EQ(tag.Title, c.title);
  EXPECT_EQ(tag.Artist, c.artist);
  EXPECT_EQ(tag.Album, c.album);
  EXPECT_EQ(tag.Year, c.year);
  EXPECT_EQ(tag.Comment, c.comment);
  EXPECT_EQ(tag.Version11, c.version11);
  EXPECT_EQ(tag.Track, c.track);
  EXPECT_EQ(tag.GenreCode, c.genreCode);
  EXPECT_EQ(tag.Genre, c.genre);
}

INSTANTIATE_TEST_SUITE_P(
    Mp3, ID3FixtureFile,
    testing::Values(
        FileCase{"my_song.mp3", false, "", "", "", "", "", false, 0, 0, ""},
        FileCase{"intro_band.mp3", true, "Intro", "Band", "Fixture Album", "2003", "ID3v1.0 comment", false,
                 0, 18, "Techno"},
        FileCase{"track7.mp3", true, "Track Seven", "Band", "Fixture Album", "1999", "", true, 7, 0, "Blues"},
        FileCase{"no_genre.mp3", true, "No Genre", "Band", "", "", "", false, 0, 255, ""},
        FileCase{"underscores.mp3", true, "My_Title_", "The_Band", "", "2001", "", false, 0, 17, "Rock"},
        // windows-1250 bytes, decoded: 0x8E, 0x9D and 0x9A differ from ISO-8859-2.
        FileCase{"czech_cp1250.mp3", true, "Žluťoučký kůň", "Úpěl ďábelské ódy", "Příliš", "2002", "", false,
                 0, 80, "Folk"}));

// --- Hand-made blocks -----------------------------------------------------

struct VersionCase {
  const char* name;
  int byte125;  // -1: left as the comment put it
  int byte126;
  bool version11;
  int track;
  const char* comment;
};
void PrintTo(const VersionCase& c, std::ostream* os) {
  *os << c.name;
}

class ID3Version : public testing::TestWithParam<VersionCase> {};

TEST_P(ID3Version, FollowsBytes125And126) {
  const VersionCase& c = GetParam();
  std::string block = Block("t", "", "", "", "A comment of twenty-eight ch");  // 28 characters
  if (c.byte125 >= 0) block[125] = static_cast<char>(c.byte125);
  if (c.byte126 >= 0) block[126] = static_cast<char>(c.byte126);
  TID3v1Tag tag;
  ASSERT_TRUE(tag.ReadFromBlock(block));
  EXPECT_EQ(tag.Version11, c.version11);
  EXPECT_EQ(tag.Track, c.track);
  EXPECT_EQ(tag.Comment, c.comment);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ID3Version,
    testing::Values(VersionCase{"Track7", 0, 7, true, 7, "A comment of twenty-eight ch"},
                    VersionCase{"Track255", 0, 255, true, 255, "A comment of twenty-eight ch"},
                    VersionCase{"BothZero", 0, 0, false, 0, "A comment of twenty-eight ch"},
                    // A full 30-byte comment: the 30th byte is text, not a track.
                    VersionCase{"FullComment", 'x', 'y', false, 0, "A comment of twenty-eight chxy"},
                    // A control byte at the end of a 1.0 comment is stripped, not a track.
                    VersionCase{"ControlAtEnd", 'x', 7, false, 0, "A comment of twenty-eight chx"}));

struct TextCase {
  const char* name;
  std::string raw;  // the 30 bytes of the title field (shorter: zero-padded)
  std::string title;
};
void PrintTo(const TextCase& c, std::ostream* os) {
  *os << c.name;
}

class ID3Text : public testing::TestWithParam<TextCase> {};

TEST_P(ID3Text, IsCutStrippedAndDecoded) {
  TID3v1Tag tag;
  ASSERT_TRUE(tag.ReadFromBlock(Block(GetParam().raw, "Band")));
  EXPECT_EQ(tag.Title, GetParam().title);
  EXPECT_EQ(tag.Artist, "Band");  // a title of 30 bytes does not run into the artist
}

INSTANTIATE_TEST_SUITE_P(
    Titles, ID3Text,
    testing::Values(TextCase{"CutAtFirstZero", std::string("Intro\0junk", 10), "Intro"},
                    TextCase{"TrailingBlanksAndControls", "Intro \t\x01  \x1f", "Intro"},
                    TextCase{"LeadingBlanksStay", "  Intro", "  Intro"},
                    TextCase{"InnerControlsStay", "In\ttro", "In\ttro"}, TextCase{"BlanksOnly", "      ", ""},
                    TextCase{"FullThirtyBytes", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123",
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"},
                    TextCase{"Utf8Stays", "P\xC5\x99\xC3\xADli\xC5\xA1", "Příliš"},
                    TextCase{"Windows1250", "P\xF8\xEDli\x9A \x8Elu\x9Dou\xE8k\xFD", "Příliš Žluťoučký"}));

TEST(ID3Genre, TableKeepsItsOwnNamesAndEndsAt148) {
  const std::pair<int, const char*> cases[] = {
      {0, "Blues"},
      {17, "Rock"},
      {18, "Techno"},
      {80, "Folk"},
      {133, "Negerpunk"},
      {140, "Contemporary Ch?"},
      {141, "Cristian Rock"},
      {147, "Synthpop"},
      {148, ""},
      {255, ""},
      {-1, ""},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(GenreName(code), name) << code;

  TID3v1Tag tag;
  ASSERT_TRUE(tag.ReadFromBlock(Block("t", "", "", "", "", 255)));
  EXPECT_EQ(tag.GenreCode, 255);
  EXPECT_EQ(tag.Genre, "");
  ASSERT_TRUE(tag.ReadFromBlock(Block("t", "", "", "", "", 147)));
  EXPECT_EQ(tag.Genre, "Synthpop");
}

TEST(ID3Block, WithoutTagMarkerOrOfAnotherSizeHasNoTag) {
  std::string lowerMarker = Block("Intro");
  lowerMarker[2] = 'g';
  std::string id3v2 = Block("Intro");
  id3v2.replace(0, 3, "ID3");
  for (const std::string& block :
       {lowerMarker, id3v2, Block("Intro").substr(0, 127), Block("Intro") + "x", std::string()}) {
    TID3v1Tag tag;
    EXPECT_FALSE(tag.ReadFromBlock(block));
    EXPECT_FALSE(tag.Exists);
    EXPECT_EQ(tag.Title, "");
  }
}

TEST(ID3Block, AReadReplacesWhatTheLastOneFound) {
  TID3v1Tag tag;
  std::string v11 = Block("Old", "Artist", "Album", "1990", "c", 5);
  v11[126] = 3;
  ASSERT_TRUE(tag.ReadFromBlock(v11));
  ASSERT_TRUE(tag.Version11);

  EXPECT_TRUE(tag.ReadFromBlock(Block("New")));
  EXPECT_EQ(tag.Artist, "");
  EXPECT_FALSE(tag.Version11);
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(tag.Genre, "Blues");

  ASSERT_TRUE(tag.ReadFromBlock(v11));
  EXPECT_FALSE(tag.ReadFromBytes("short"));
  EXPECT_EQ(tag.Title, "");
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(tag.GenreCode, 0);
}

// --- Whole files, bytes and streams -----------------------------------------

TEST(ID3Block, EveryCutOfATagHasNoTag) {
  // A whole file whose tag ends it, cut anywhere: only the whole has the tag.
  const std::string block =
      Block("Title", "Artist", "Album", "1999", std::string(28, 'c') + '\0' + '\x07', 17);
  const std::string file = std::string(200, 'x') + block;
  TID3v1Tag whole;
  ASSERT_TRUE(whole.ReadFromBytes(file));
  EXPECT_EQ(whole.Track, 7);
  for (std::size_t cut = 0; cut < file.size(); ++cut) {
    TID3v1Tag tag;
    EXPECT_FALSE(tag.ReadFromBytes(file.substr(0, cut))) << cut;
    EXPECT_FALSE(tag.Exists) << cut;
    if (cut < block.size()) {
      EXPECT_FALSE(tag.ReadFromBlock(block.substr(0, cut))) << cut;
    }
  }
}

TEST(ID3Bytes, ReadsTheLast128Bytes) {
  TID3v1Tag tag;
  EXPECT_TRUE(tag.ReadFromBytes(Block("Exactly")));
  EXPECT_EQ(tag.Title, "Exactly");
  EXPECT_TRUE(tag.ReadFromBytes(std::string(1000, '\xFF') + Block("After audio")));
  EXPECT_EQ(tag.Title, "After audio");
  // A tag followed by anything is no longer at the end.
  EXPECT_FALSE(tag.ReadFromBytes(Block("Not last") + "x"));
  EXPECT_FALSE(tag.ReadFromBytes(Block("Cut").substr(1)));
}

TEST(ID3Stream, ReadsTheBlockEndingAtTheGivenSize) {
  const std::string bytes = std::string(10, 'a') + Block("First") + Block("Second");
  std::istringstream stream(bytes);
  TID3v1Tag tag;
  EXPECT_TRUE(tag.ReadFromStream(stream, bytes.size()));
  EXPECT_EQ(tag.Title, "Second");
  EXPECT_TRUE(tag.ReadFromStream(stream, 10 + TID3v1Tag::kBlockSize));
  EXPECT_EQ(tag.Title, "First");
  EXPECT_FALSE(tag.ReadFromStream(stream, 127));
  // A size beyond the stream's end reads nothing.
  EXPECT_FALSE(tag.ReadFromStream(stream, bytes.size() + 5));
}

TEST(ID3File, ShortMissingAndOtherCaseFiles) {
  TempFolder tmp;
  TID3v1Tag tag;
  const std::string tagged = tmp.write("Tagged.MP3", std::string(3, '\0') + Block("In a file"));
  EXPECT_TRUE(tag.ReadFromFile(tagged));
  EXPECT_EQ(tag.Title, "In a file");
  // Magazines name their files in any letter case.
  EXPECT_TRUE(tag.ReadFromFile(tmp.file("tagged.mp3")));
  EXPECT_EQ(tag.Title, "In a file");

  EXPECT_FALSE(tag.ReadFromFile(tmp.write("short.mp3", Block("Short").substr(0, 127))));
  EXPECT_FALSE(tag.ReadFromFile(tmp.write("empty.mp3", "")));
  EXPECT_FALSE(tag.ReadFromFile(tmp.file("missing.mp3")));
  EXPECT_FALSE(tag.ReadFromFile(tmp.path()));
  EXPECT_FALSE(tag.Exists);
}

}  // namespace
}  // namespace pagemoor
