#include "common/MagazineFolder.h"

#include <gtest/gtest.h>

#include <string>

#include "common/HostPaths.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::ScopedCommandLine;
using test::TempFolder;

TEST(MagazineFolder, NamesEachFolderOfTheProjectInHostForm) {
  const MagazineFolder folder("/p");
  struct Case {
    std::string path;
    const char* expected;
  };
  const Case cases[] = {
      {folder.root(), "/p/"},
      {folder.file("MAG.UNP"), "/p/MAG.UNP"},
      {folder.ini("main.ini"), "/p/ini/main.ini"},
      {folder.texts("Sub\\Page.HTM"), "/p/texts/Sub/Page.HTM"},
      {folder.pictures("a.gif"), "/p/pictures/a.gif"},
      {folder.scripts("start"), "/p/scripts/start"},
      {folder.sounds("click.wav"), "/p/sounds/click.wav"},
      {folder.cursors("hand.ani"), "/p/cursors/hand.ani"},
      {folder.rars("pack.rar"), "/p/rars/pack.rar"},
      // A name a setting left out names the folder, which is no file.
      {folder.sounds(""), "/p/sounds/"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.path, c.expected);
  EXPECT_EQ(MagazineFolder("/p/").ini("a"), "/p/ini/a");
}

TEST(MagazineFolder, ByDefaultIsTheProjectBeingReadAndFindsFilesWhateverTheirCase) {
  TempFolder tmp;
  ScopedCommandLine commandLine{tmp.file("MAG.EXE"), {"/develope"}};
  tmp.write("INI/Main.INI", "[start]\r\n");
  const MagazineFolder folder;
  EXPECT_EQ(folder.root(), ProjectDir());
  EXPECT_TRUE(FileExists(folder.ini("main.ini")));
  EXPECT_FALSE(FileExists(folder.ini("")));
}

}  // namespace
}  // namespace pagemoor
