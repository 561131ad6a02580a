#include "jukebox/Playlists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "common/XmlIni.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using Entries = std::vector<std::string>;
using test::TempFolder;

// Changes the process's current folder for a scope: relative entries resolve
// against it.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::string& folder) : m_saved(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~ScopedCurrentDir() {
    std::error_code ignored;
    std::filesystem::current_path(m_saved, ignored);
  }
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::filesystem::path m_saved;
};

std::string Backslashed(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text.append(line);
    text.append("\r\n");
  }
  return text;
}

// An XML playlist item as the store writes it.
std::string Item(int n, std::string_view file, std::string_view rel, std::string_view full) {
  const std::string tag = "item_" + std::to_string(n);
  return Lines({"    <" + tag + ">", R"(      <file value=")" + std::string(file) + R"(" />)",
                R"(      <rel_path value=")" + std::string(rel) + R"(" />)",
                R"(      <full_path value=")" + std::string(full) + R"(" />)", "    </" + tag + ">"});
}

std::string XmlList(std::string_view rootAttributes, std::string_view listAttributes,
                    std::string_view items) {
  return "<XML_DEF" + std::string(rootAttributes) + ">\r\n  <playlist" + std::string(listAttributes) +
         ">\r\n" + std::string(items) + "  </playlist>\r\n</XML_DEF>\r\n";
}

// A temporary tree: cwd/ is the current folder, lists/ holds the playlists,
// prog/ is the program folder.
class Playlists : public testing::Test {
 protected:
  void SetUp() override {
    ClearIniCache();
    m_base = std::filesystem::canonical(m_tmp.path()).string() + "/";
    m_tmp.write("cwd/.keep", "");
    m_tmp.write("lists/.keep", "");
    m_tmp.write("prog/pagemoor", "");
    m_commandLine.emplace(m_base + "prog/pagemoor");
    m_cwd.emplace(m_base + "cwd");
  }
  void TearDown() override {
    m_cwd.reset();
    m_commandLine.reset();
    ClearIniCache();
  }

  // Writes a file below the temporary folder; returns its full path.
  std::string Write(std::string_view name, std::string_view bytes) {
    m_tmp.write(name, bytes);
    return m_base + std::string(name);
  }
  std::string Read(std::string_view name) { return m_tmp.read(name); }
  std::string Cwd() const { return m_base + "cwd/"; }
  std::string Prog() const { return m_base + "prog/"; }

  TempFolder m_tmp;
  std::string m_base;
  std::optional<ScopedCurrentDir> m_cwd;
  std::optional<test::ScopedCommandLine> m_commandLine;
};

// --- Full names -----------------------------------------------------------

TEST_F(Playlists, ExpandFileNameMakesNamesFullAgainstTheCurrentFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"song.mod", Cwd() + "song.mod"},
      {"music\\song.mod", Cwd() + "music/song.mod"},
      {".\\music\\..\\song.mod", Cwd() + "song.mod"},
      {"..\\lists\\a.m3u", m_base + "lists/a.m3u"},
      {"music\\", Cwd() + "music/"},
      {"/abs/x/../y.mp3", "/abs/y.mp3"},
      {"\\abs\\y.mp3", "/abs/y.mp3"},
      {"/../x", "/x"},
      // Written on another system: cannot exist here, kept as the author wrote it.
      {"C:\\MUSIC\\song.mp3", "C:\\MUSIC\\song.mp3"},
      {"c:song.mp3", "c:song.mp3"},
      {"\\\\server\\share\\a.mp3", "\\\\server\\share\\a.mp3"},
      {"", ""},
  };
  for (const auto& [name, full] : cases) EXPECT_EQ(ExpandFileName(name), full) << name;
}

// --- Plain lists ----------------------------------------------------------

TEST_F(Playlists, PlainListTakesPathLinesAndSkipsCommentsAndBlankLines) {
  Write("cwd/Music/Song.MOD", "x");
  const std::string list =
      Write("lists/list.m3u", Lines({"#EXTM3U", "#EXTINF:123,Band - Song", "music\\song.mod", "", "   ",
                                     "/abs/missing.mp3", "C:\\MUSIC\\song.mp3", "tail.xm   ", "  lead.xm"}));
  const Entries expected = {
      Cwd() + "Music/Song.MOD",  // found in its own letter case
      "/abs/missing.mp3",        // missing entries are taken
      "C:\\MUSIC\\song.mp3",    Cwd() + "tail.xm", Cwd() + "  lead.xm",
  };
  EXPECT_EQ(LoadPlaylistFile(list), expected);
}

TEST_F(Playlists, RelativeEntriesResolveAgainstTheCurrentFolderNotThePlaylists) {
  Write("lists/a.mod", "x");
  const std::string list = Write("lists/list.m3u", "a.mod\r\n");
  EXPECT_EQ(LoadPlaylistFile(list), Entries{Cwd() + "a.mod"});
  {
    ScopedCurrentDir inLists(m_base + "lists");
    EXPECT_EQ(LoadPlaylistFile(list), Entries{m_base + "lists/a.mod"});
    // The playlist's own name is relative to the current folder too.
    EXPECT_EQ(LoadPlaylistFile("LIST.M3U"), Entries{m_base + "lists/a.mod"});
  }
}

TEST_F(Playlists, MissingEmptyAndBlankFilesGiveNoEntries) {
  const std::pair<const char*, const char*> files[] = {
      {"lists/empty.m3u", ""},
      {"lists/blanks.m3u", "     "},
      {"lists/breaks.m3u", "\r\n\r\n\n"},
      {"lists/comments.m3u", "#EXTM3U\r\n#x"},
      {"lists/blank.pql", "  \r\n"},
  };
  for (const auto& [name, content] : files)
    EXPECT_EQ(LoadPlaylistFile(Write(name, content)), Entries{}) << name;
  EXPECT_EQ(LoadPlaylistFile(m_base + "lists/missing.m3u"), Entries{});
  EXPECT_EQ(LoadPlaylistFile(m_base + "lists"), Entries{});
  EXPECT_EQ(LoadPlaylistFile("C:\\LISTS\\a.m3u"), Entries{});
  EXPECT_EQ(LoadXmlPlaylist(m_base + "lists/missing.pql"), Entries{});
  EXPECT_FALSE(FileExists(m_base + "lists/missing.pql"));  // a load never creates the file
}

// --- What decides the kind -------------------------------------------------

TEST_F(Playlists, FirstCharacterDecidesTheKindNotTheExtension) {
  Write("cwd/x.mod", "x");
  const std::string xml = XmlList(R"( type="Plinq")", R"( count="1")", Item(1, "x.mod", "", Cwd()));
  const std::string ini = Lines({"[playlist]", "NumberOfEntries=1", "File1=x.mod"});
  struct Case {
    const char* name;
    std::string content;
    Entries entries;
  };
  const Case cases[] = {
      {"lists/xml.m3u", xml, {Cwd() + "x.mod"}},
      {"lists/ini.pql", ini, {Cwd() + "x.mod"}},
      {"lists/blanks.pls", "   " + ini, {Cwd() + "x.mod"}},
      {"lists/plain.pls", Lines({"x.mod", "[playlist]"}), {Cwd() + "x.mod", Cwd() + "[playlist]"}},
      // A line break is not a blank: the first line is empty and names no kind.
      {"lists/break.pls",
       "\r\n" + ini,
       {Cwd() + "[playlist]", Cwd() + "NumberOfEntries=1", Cwd() + "File1=x.mod"}},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadPlaylistFile(Write(c.name, c.content)), c.entries) << c.name;
}

// --- INI lists ------------------------------------------------------------

TEST_F(Playlists, IniListReadsNumberedEntriesAndWritesMissingKeysBack) {
  const std::string list =
      Write("lists/list.pls", Lines({"[playlist]", "File1=music\\a.mod", "File3=/abs/b.mp3", "Title3=B",
                                     "NumberOfEntries=3", "Version=2"}));
  EXPECT_EQ(LoadPlaylistFile(list), (Entries{Cwd() + "music/a.mod", "/abs/b.mp3"}));
  FlushIniWrites();
  EXPECT_NE(Read("lists/list.pls").find("File2="), std::string::npos);
}

TEST_F(Playlists, IniListCountBelowOneGivesNoEntries) {
  for (const char* count : {"0", "-2"}) {
    const std::string list = Write(
        "lists/list.pls", Lines({"[playlist]", "File1=a.mod", std::string("NumberOfEntries=") + count}));
    EXPECT_EQ(LoadPlaylistFile(list), Entries{}) << count;
  }
}

TEST_F(Playlists, CountThatIsNoIntegerFailsTheLoad) {
  const std::pair<const char*, std::string> cases[] = {
      {"lists/word.pls", Lines({"[playlist]", "NumberOfEntries=many", "File1=a.mod"})},
      {"lists/fraction.pls", Lines({"[playlist]", "NumberOfEntries=1.5"})},
      {"lists/huge.pls", Lines({"[playlist]", "NumberOfEntries=99999999999"})},
      {"lists/absent.pls", Lines({"[playlist]", "File1=a.mod"})},
      {"lists/word.pql", XmlList(R"( type="Plinq")", R"( count="two")", Item(1, "a.mod", "", ""))},
  };
  for (const auto& [name, content] : cases)
    EXPECT_THROW(LoadPlaylistFile(Write(name, content)), ConvertError) << name;
}

TEST_F(Playlists, AnAbsurdCountStopsAtTheEntriesTheFileCanHold) {
  const std::string list = Write(
      "lists/list.pls", Lines({"[playlist]", "NumberOfEntries=2000000000", "File1=a.mod", "File7=b.mod"}));
  EXPECT_EQ(LoadPlaylistFile(list), (Entries{Cwd() + "a.mod", Cwd() + "b.mod"}));
  FlushIniWrites();
  const std::string after = Read("lists/list.pls");
  EXPECT_NE(after.find("File6="), std::string::npos);  // gaps are written back as ever
  EXPECT_EQ(after.find("File8="), std::string::npos);
}

// --- XML playlists --------------------------------------------------------

TEST_F(Playlists, XmlItemTriesRelPathThenFullPathAndLeavesOutMissingFiles) {
  Write("cwd/music/a.mod", "x");
  Write("other/b.mod", "x");
  const std::string items = Item(1, "a.mod", "music\\", "\\nowhere\\") +
                            Item(2, "b.mod", "nothing\\", Backslashed(m_base + "other/")) +
                            Item(3, "gone.mod", "music\\", Backslashed(m_base + "other/")) +
                            Item(4, "A.MOD", "MUSIC", "") +  // another case, no trailing separator
                            Item(5, "b.mod", "", m_base + "other");
  const std::string list = Write("lists/list.pql", XmlList(R"( type="Plinq")", R"( count="5")", items));
  EXPECT_EQ(LoadPlaylistFile(list), (Entries{Cwd() + "music/a.mod", m_base + "other/b.mod",
                                             Cwd() + "music/a.mod", m_base + "other/b.mod"}));
}

TEST_F(Playlists, XmlTypeMustBePlinqIgnoringCase) {
  Write("cwd/a.mod", "x");
  const std::pair<const char*, Entries> cases[] = {
      {R"( type="Plinq")", {Cwd() + "a.mod"}},
      {R"( type="pLINQ")", {Cwd() + "a.mod"}},
      {R"( type="Playlist")", {}},
      {R"( type="")", {}},
  };
  for (const auto& [root, entries] : cases) {
    const std::string list =
        Write("lists/list.pql", XmlList(root, R"( count="1")", Item(1, "a.mod", "", "")));
    EXPECT_EQ(LoadPlaylistFile(list), entries) << root;
  }
}

TEST_F(Playlists, XmlDefaultsAreUsedAndWrittenIntoTheFile) {
  Write("cwd/a.mod", "x");
  Write("cwd/b.mod", "x");
  // No type and no count: "Plinq" and 1 item.
  const std::string list =
      Write("lists/list.pql", XmlList("", "", Item(1, "a.mod", "", "") + Item(2, "b.mod", "", "")));
  EXPECT_EQ(LoadPlaylistFile(list), Entries{Cwd() + "a.mod"});
  const std::string after = Read("lists/list.pql");
  EXPECT_NE(after.find(R"(<XML_DEF type="Plinq">)"), std::string::npos) << after;
  EXPECT_NE(after.find(R"(<playlist count="1">)"), std::string::npos) << after;

  const std::string none = Write("lists/none.pql", XmlList(R"( type="Plinq")", R"( count="0")", ""));
  EXPECT_EQ(LoadPlaylistFile(none), Entries{});
}

TEST_F(Playlists, SaveXmlWritesTheAttributesInTheirOrder) {
  Write("prog/a.mod", "x");
  const std::string list = m_base + "lists/saved.pql";
  SaveXmlPlaylist(list, {Prog() + "a.mod", "C:\\MUSIC\\song.mp3"});
  EXPECT_EQ(Read("lists/saved.pql"),
            Lines({
                R"(<XML_DEF type="Plinq" data="Playlist" author=")" + GetLoginName() + R"(" version="2803">)",
                R"(  <playlist count="2">)",
                R"(    <item_1>)",
                R"(      <file value="a.mod" />)",
                R"(      <rel_path value="" />)",
                R"(      <full_path value=")" + Backslashed(Prog()) + R"(" />)",
                R"(    </item_1>)",
                R"(    <item_2>)",
                R"(      <file value="song.mp3" />)",
                R"(      <rel_path value="C:\MUSIC\" />)",
                R"(      <full_path value="C:\MUSIC\" />)",
                R"(    </item_2>)",
                R"(  </playlist>)",
                R"(</XML_DEF>)",
            }));
}

TEST_F(Playlists, SaveXmlRelPathIsTheFolderRelativeToTheProgramFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {Prog() + "a.mod", ""},
      {Prog() + "music/sub/a.mod", "music\\sub\\"},
      {m_base + "other/a.mod", "..\\other\\"},
      {m_base + "a.mod", "..\\"},
      {"C:\\MUSIC\\a.mp3", "C:\\MUSIC\\"},
  };
  Entries entries;
  for (const auto& c : cases) entries.push_back(c.first);
  const std::string list = m_base + "lists/saved.pql";
  SaveXmlPlaylist(list, entries);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string item = "XML_DEF/playlist/item_" + std::to_string(i + 1);
    EXPECT_EQ(XmlReadValue(list, item + "/rel_path", "value"), cases[i].second) << cases[i].first;
    EXPECT_EQ(XmlReadValue(list, item + "/full_path", "value"), Backslashed(ExtractFilePath(cases[i].first)));
    EXPECT_EQ(XmlReadValue(list, item + "/file", "value"), ExtractFileName(cases[i].first));
  }
}

TEST_F(Playlists, SavedXmlLoadsBackFromTheProgramFolderOrByItsFullPaths) {
  const Entries entries = {Write("prog/a.mod", "x"), Write("prog/music/b.xm", "x"), Write("other/c.it", "x")};
  const std::string list = m_base + "lists/saved.pql";
  SaveXmlPlaylist(list, entries);
  EXPECT_EQ(LoadPlaylistFile(list), entries);  // from cwd/ most rel_paths miss and full_path finds
  ScopedCurrentDir inProgram(Prog());
  EXPECT_EQ(LoadPlaylistFile(list), entries);
}

TEST_F(Playlists, SavingFewerItemsLeavesTheRestButLoadsOnlyTheCount) {
  Entries five;
  for (int i = 1; i <= 5; ++i) five.push_back(Write("prog/" + std::to_string(i) + ".mod", "x"));
  const std::string list = m_base + "lists/saved.pql";
  SaveXmlPlaylist(list, five);
  const Entries three(five.begin(), five.begin() + 3);
  SaveXmlPlaylist(list, three);
  const std::string after = Read("lists/saved.pql");
  EXPECT_NE(after.find(R"(<playlist count="3">)"), std::string::npos) << after;
  EXPECT_NE(after.find("<item_4>"), std::string::npos);
  EXPECT_NE(after.find(R"(<file value="5.mod" />)"), std::string::npos);
  EXPECT_EQ(LoadPlaylistFile(list), three);
}

TEST_F(Playlists, SaveXmlThatCannotWriteThrows) {
  EXPECT_THROW(SaveXmlPlaylist(m_base + "no/such/folder/x.pql", {Prog() + "a.mod"}), XmlWriteError);
}

// --- Plain saving and the add dialog --------------------------------------------

TEST_F(Playlists, SavePlainWritesFullPathsEachEndedByCrLf) {
  Write("lists/saved.m3u", "old content that must go\r\nand more\r\n");
  EXPECT_TRUE(SavePlainPlaylist(m_base + "lists/saved.m3u", {"/a/b.mod", "/c d/é.mp3"}));
  EXPECT_EQ(Read("lists/saved.m3u"), "/a/b.mod\r\n/c d/é.mp3\r\n");
  EXPECT_TRUE(SavePlainPlaylist(m_base + "lists/empty.m3u", {}));
  EXPECT_EQ(Read("lists/empty.m3u"), "");
  EXPECT_FALSE(SavePlainPlaylist(m_base + "no/such/folder/x.m3u", {"/a"}));
}

TEST_F(Playlists, ExpandPlaylistFilesSkipsMissingExpandsListsAndKeepsTheRest) {
  Write("cwd/in-list.mod", "x");
  const Entries files = {
      m_base + "missing.mod",
      Write("x.wav", "x"),
      Write("lists/one.m3u", Lines({"in-list.mod", "/abs/gone.mp3"})),
      Write("lists/BAD.PLS", Lines({"[playlist]", "NumberOfEntries=x", "File1=never.mod"})),
      Write("lists/two.PQL", XmlList(R"( type="Plinq")", R"( count="1")", Item(1, "in-list.mod", "", ""))),
      Write("notalist.txt", "in-list.mod"),
      Write("after.mod", "x"),
  };
  EXPECT_EQ(ExpandPlaylistFiles(files), (Entries{
                                            m_base + "x.wav",
                                            Cwd() + "in-list.mod",
                                            "/abs/gone.mp3",
                                            Cwd() + "in-list.mod",
                                            m_base + "notalist.txt",
                                            m_base + "after.mod",
                                        }));
}

}  // namespace
}  // namespace pagemoor
