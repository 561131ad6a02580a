#include "jukebox/Titles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/HostPaths.h"
#include "common/Strings.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

const std::string kThirdParty = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A 128-byte ID3v1 block with a title and an artist.
std::string TagBlock(std::string_view title, std::string_view artist) {
  std::string block(128, '\0');
  block.replace(0, 3, "TAG");
  block.replace(3, title.size(), title);
  block.replace(33, artist.size(), artist);
  return block;
}

class Titles : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_engine.Init(-1, 44100, 0)); }

  // A test file's path; a missing file fails the test that names it.
  std::string Fixture(const std::string& name) {
    const std::string path = kThirdParty + name;
    if (!FileExists(path)) m_missing = path;
    return path;
  }

  audio::AudioEngine m_engine;
  std::string m_missing;
};

#define ASSERT_FIXTURES_PRESENT() ASSERT_TRUE(m_missing.empty()) << "test file missing: " << m_missing

TEST_F(Titles, ModulesAreNamedByTheirNameAndTheirFilesExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"music/tecnoballz.mod", "tecnoballz (MOD)"},
      // An XM inside: the title still shows the extension the file has.
      {"music/area1-game2.mod", "area1-game (MOD)"},
      {"music/mario_is_a_weenie.xm", "Mario is a Weenie (XM)"},
      {"music/gd-giirm.s3m", "Goose in Israel (S3M)"},
      {"music/sorcerer.it", "The Sorcerer's Apprentice (IT)"},
      {"music/TEMPO.MTM", "Tempo Testing (MTM)"},
  };
  for (const auto& [file, title] : cases) {
    const std::string path = Fixture(file);
    ASSERT_FIXTURES_PRESENT();
    EXPECT_EQ(ModuleTitle(m_engine, path), title) << file;
    EXPECT_EQ(TitleOf(m_engine, path, kDefaultTitleMask), title) << file;
  }
}

TEST_F(Titles, FilesThatAreNoNamedModuleHaveNoModuleTitle) {
  for (const char* file : {"music/slice_me_nice.xm", "mp3/intro_band.mp3", "wav/sound_red_gem.wav"}) {
    const std::string path = Fixture(file);
    ASSERT_FIXTURES_PRESENT();
    EXPECT_EQ(ModuleTitle(m_engine, path), " ") << file;
  }
  EXPECT_EQ(ModuleTitle(m_engine, kThirdParty + "music/missing.mod"), " ");
  audio::AudioEngine notStarted;
  const std::string path = Fixture("music/tecnoballz.mod");
  ASSERT_FIXTURES_PRESENT();
  EXPECT_EQ(ModuleTitle(notStarted, path), " ");
}

TEST_F(Titles, TitleOfFallsFromModuleToTagToFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"mp3/intro_band.mp3", "Intro (Band)"},
      // The file name stays as it is; only mask results lose their underscores.
      {"mp3/my_song.mp3", "my_song.mp3"},
      {"mp3/underscores.mp3", "My Title  (The Band)"},
      {"mp3/no_genre.mp3", "No Genre (Band)"},
      {"mp3/czech_cp1250.mp3", "Žluťoučký kůň (Úpěl ďábelské ódy)"},
      {"wav/sound_red_gem.wav", "sound_red_gem.wav"},
      // The name is all blanks and there is no tag.
      {"music/slice_me_nice.xm", "slice_me_nice.xm"},
  };
  for (const auto& [file, title] : cases) {
    const std::string path = Fixture(file);
    ASSERT_FIXTURES_PRESENT();
    EXPECT_EQ(TitleOf(m_engine, path, kDefaultTitleMask), title) << file;
  }
  EXPECT_EQ(TitleOf(m_engine, kThirdParty + "mp3/missing.mp3", kDefaultTitleMask), " ");
}

TEST_F(Titles, MaskIsLowerCasedAndFilledInOrder) {
  const std::string path = Fixture("mp3/intro_band.mp3");
  ASSERT_FIXTURES_PRESENT();
  const std::pair<std::string, std::string> cases[] = {
      {"Song: %TITLE%", "song: Intro"},
      {"%Year% - %ALBUM% [%genre%]", "2003 - Fixture Album [Techno]"},
      {"%comment%|%title%%title%", "ID3v1.0 comment|IntroIntro"},
      {"%file%", ReplacedText(path, "_", " ")},
      {"No Placeholders_Here", "no placeholders here"},
      {"%unknown% %TiTlE", "%unknown% %title"},
      {"", ""},
  };
  for (const auto& [mask, title] : cases) EXPECT_EQ(TagTitle(path, mask), title) << mask;
  // A mask that comes out empty leaves the file name.
  EXPECT_EQ(TitleOf(m_engine, path, ""), "intro_band.mp3");
}

TEST_F(Titles, TagTitleWithoutTagIsABlank) {
  const std::string path = Fixture("mp3/my_song.mp3");
  ASSERT_FIXTURES_PRESENT();
  EXPECT_EQ(TagTitle(path, kDefaultTitleMask), " ");
  EXPECT_EQ(TagTitle(kThirdParty + "mp3/missing.mp3", kDefaultTitleMask), " ");
}

TEST_F(Titles, GenreBeyondTheTableFillsNothing) {
  const std::string path = Fixture("mp3/no_genre.mp3");
  ASSERT_FIXTURES_PRESENT();
  EXPECT_EQ(TagTitle(path, "%genre%"), "");
  EXPECT_EQ(TitleOf(m_engine, path, "%genre%"), "no_genre.mp3");
}

TEST_F(Titles, BlankModuleNameFallsThroughToTheTag) {
  const std::string xm = Fixture("music/slice_me_nice.xm");
  ASSERT_FIXTURES_PRESENT();
  TempFolder tmp;
  const std::string tagged = tmp.write("slice_me_nice.xm", ReadBytes(xm) + TagBlock("Sliced", "Nice_Band"));
  ASSERT_EQ(ModuleTitle(m_engine, tagged), " ");
  EXPECT_EQ(TitleOf(m_engine, tagged, kDefaultTitleMask), "Sliced (Nice Band)");
}

TEST_F(Titles, ModuleNameIsTrimmedAndLosesUnderscoresOnlyInTitleOf) {
  const std::string mod = Fixture("music/tecnoballz.mod");
  ASSERT_FIXTURES_PRESENT();
  std::string bytes = ReadBytes(mod);
  ASSERT_GE(bytes.size(), 20u);
  bytes.replace(0, 20, std::string("  cool_tune         ", 20));
  TempFolder tmp;
  // The extension's case does not matter; the tag at the end is never asked.
  const std::string renamed = tmp.write("Cool.Mod", bytes + TagBlock("Tagged", "Band"));
  EXPECT_EQ(ModuleTitle(m_engine, renamed), "cool_tune (MOD)");
  EXPECT_EQ(TitleOf(m_engine, renamed, kDefaultTitleMask), "cool tune (MOD)");
}

}  // namespace
}  // namespace pagemoor
