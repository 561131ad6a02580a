#include "app/Projects.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "console/DebugBox2.h"
#include "support/TempFolder.h"
#include "support/LogConsole.h"

namespace pagemoor {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// A description file's text.
std::string Description(const std::string& destinationLine, const std::string& name) {
  return "[uniproject]\r\n" + destinationLine + "\r\nname=" + name +
         "\r\nfiles=1\r\n[files]\r\nfile1=data.zip\r\n";
}

class ProjectsTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearIniCache(); }

  std::string pattern() const { return m_folder.path() + "*.UNP"; }
  void write(const std::string& file, const std::string& destinationLine, const std::string& name) {
    m_folder.write(file, Description(destinationLine, name));
  }

  test::TempFolder m_folder;
  test::LogConsole m_console;
};

// One folder with a file of every kind the listing must tell apart.
TEST_F(ProjectsTest, ListsOnlyVisibleDescriptionFilesOfThisSystem) {
  write("a_plain.UNP", "destination=pagemoor", "Alpha");
  write("b_lower.unp", "destination=PAGEMOOR", "Beta");
  write("c_foreign.UNP", "destination=elsewhere", "Gamma");
  write("d_nodest.UNP", "", "Delta");
  write(".e_hidden.UNP", "destination=pagemoor", "Hidden");
  write("f_other.INI", "destination=pagemoor", "Other extension");
  write("g_folder.UNP/inner.txt", "destination=pagemoor", "Folder");

  EXPECT_THAT(FindProjects(pattern(), m_console.sink), ElementsAre("Alpha", "Beta"));
  EXPECT_THAT(m_console.Lines(), ElementsAre("System: Looking for projects ..."));
}

TEST_F(ProjectsTest, KeepsTheListingOrderRatherThanSortingByName) {
  write("1.UNP", "destination=pagemoor", "Zima");
  write("2.UNP", "destination=pagemoor", "Jaro");
  write("3.UNP", "destination=pagemoor", "Podzim");

  EXPECT_THAT(FindProjects(pattern(), m_console.sink), ElementsAre("Zima", "Jaro", "Podzim"));
}

TEST_F(ProjectsTest, FileWithoutDestinationGainsTheKeyWithOneBlank) {
  write("nodest.UNP", "", "Delta");

  EXPECT_THAT(FindProjects(pattern(), m_console.sink), IsEmpty());
  EXPECT_EQ(ResolveProject(pattern(), "Delta", m_console.sink), kNoProject);
  FlushIniWrites();
  EXPECT_THAT(m_folder.read("nodest.UNP"), HasSubstr("destination= "));
  // Once written back it reads empty, so it is still not ours.
  EXPECT_THAT(FindProjects(pattern(), m_console.sink), IsEmpty());
}

TEST_F(ProjectsTest, SameNameTwiceIsListedTwiceAndBothResolveToTheLastFile) {
  write("one.UNP", "destination=pagemoor", "Magazin 5");
  write("two.UNP", "destination=Pagemoor", "MAGAZIN 5");

  const std::vector<std::string> names = FindProjects(pattern(), m_console.sink);
  ASSERT_THAT(names, ElementsAre("Magazin 5", "MAGAZIN 5"));
  for (const std::string& name : names) {
    EXPECT_EQ(ResolveProject(pattern(), name, m_console.sink), m_folder.file("two.UNP")) << name;
    const std::vector<std::string>& log = m_console.Lines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "System: Looking for project's file...");
    EXPECT_EQ(log.back(), "System: Project file: two.UNP");
  }
}

struct ResolveCase {
  const char* wanted;
  const char* expectedFile;  // nullptr: no file
};

class ResolveProjectTest : public ProjectsTest, public ::testing::WithParamInterface<ResolveCase> {};

TEST_P(ResolveProjectTest, FindsTheFileByItsNameWithoutRegardToAsciiCase) {
  write("plain.UNP", "destination=pagemoor", "Letni cislo");
  write("upper.UNP", "destination=PAGEMOOR", "Zimni cislo");
  write("foreign.UNP", "destination=elsewhere", "Cizi");
  write("nodest.UNP", "", "Bez cile");
  write(".hidden.UNP", "destination=pagemoor", "Skryte");

  const ResolveCase& c = GetParam();
  const std::string result = ResolveProject(pattern(), c.wanted, m_console.sink);
  if (c.expectedFile) {
    EXPECT_EQ(result, m_folder.file(c.expectedFile));
    EXPECT_EQ(m_console.Lines().back(), std::string("System: Project file: ") + c.expectedFile);
  } else {
    EXPECT_EQ(result, " <nil>");
    EXPECT_EQ(m_console.Lines().back(), "System: Project file:  <nil>");
  }
}

INSTANTIATE_TEST_SUITE_P(Names, ResolveProjectTest,
                         ::testing::Values(ResolveCase{"Letni cislo", "plain.UNP"},
                                           ResolveCase{"LETNI CISLO", "plain.UNP"},
                                           ResolveCase{"zimni cislo", "upper.UNP"},
                                           ResolveCase{"Cizi", nullptr}, ResolveCase{"Bez cile", nullptr},
                                           ResolveCase{"Skryte", nullptr}, ResolveCase{"Letni", nullptr},
                                           ResolveCase{"", nullptr}));

TEST_F(ProjectsTest, EmptyOrMissingFolderGivesNothing) {
  EXPECT_THAT(FindProjects(pattern(), m_console.sink), IsEmpty());
  EXPECT_EQ(ResolveProject(pattern(), "Anything", m_console.sink), kNoProject);
  const std::string missing = m_folder.file("nowhere/*.UNP");
  EXPECT_THAT(FindProjects(missing, m_console.sink), IsEmpty());
  EXPECT_FALSE(DirectoryExists(m_folder.file("nowhere")));
}

TEST(MatchingFilesTest, MatchesTheMaskWithoutRegardToCaseInByteOrder) {
  test::TempFolder folder;
  for (const char* name : {"b.unp", "A.UNP", "c.Unp", "d.UNPX", "e.UN", "unp", ".f.UNP"})
    folder.write(name, "x");
  EXPECT_THAT(MatchingFiles(folder.path() + "*.UNP"), ElementsAre("A.UNP", "b.unp", "c.Unp"));
  EXPECT_THAT(MatchingFiles(folder.path() + "?.unp*"), ElementsAre("A.UNP", "b.unp", "c.Unp", "d.UNPX"));
  EXPECT_THAT(MatchingFiles(folder.path() + "*"), Not(::testing::Contains(".f.UNP")));
}

}  // namespace
}  // namespace pagemoor
