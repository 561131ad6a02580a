#include "platform/FileRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/IniDocument.h"
#include "platform/HeadlessPlatform.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

constexpr const char* kMachine = "HKEY_LOCAL_MACHINE";
constexpr const char* kUser = "HKEY_CURRENT_USER";

class FileRegistryTest : public ::testing::Test {
 protected:
  IniDocument stored() const { return IniDocument(tmp.read("registry.ini")); }

  test::TempFolder tmp;
  FileRegistry registry{tmp.file("registry.ini")};
};

TEST_F(FileRegistryTest, WritesReadsAndDeletesValues) {
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "Path"), "");
  registry.write(kMachine, "SOFTWARE\\Tarnwick", "Path", "C:\\Magazines\\Spring");
  registry.write(kMachine, "SOFTWARE\\Tarnwick", "Volume", "80");
  registry.write(kUser, "SOFTWARE\\Tarnwick", "Path", "per user");

  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "Path"), "C:\\Magazines\\Spring");
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "Volume"), "80");
  EXPECT_EQ(registry.read(kUser, "SOFTWARE\\Tarnwick", "Path"), "per user");
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Other", "Path"), "");

  registry.write(kMachine, "SOFTWARE\\Tarnwick", "Path", "D:\\moved");
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "Path"), "D:\\moved");

  registry.remove(kMachine, "SOFTWARE\\Tarnwick", "Path");
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "Path"), "");
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "Volume"), "80");
  EXPECT_TRUE(registry.keyExists(kMachine, "SOFTWARE\\Tarnwick")) << "deleting a value keeps its key";
  registry.remove(kMachine, "SOFTWARE\\Tarnwick", "Path");  // already gone: nothing happens
}

TEST_F(FileRegistryTest, EachKeyIsOneSectionAndEachValueOneLine) {
  registry.write(kMachine, "SOFTWARE\\Tarnwick", "Path", "C:\\mag");
  registry.write(kMachine, "SOFTWARE\\Tarnwick\\Sound", "Volume", "80");
  registry.createKey(kUser, "Software\\Empty");

  const IniDocument doc = stored();
  EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick",
                                                          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Sound",
                                                          "HKEY_CURRENT_USER\\Software\\Empty"}));
  EXPECT_EQ(doc.value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick", "Path"), "C:\\mag");
  EXPECT_TRUE(doc.keyNames("HKEY_CURRENT_USER\\Software\\Empty").empty());
  EXPECT_NE(tmp.read("registry.ini").find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]"), std::string::npos);
  EXPECT_NE(tmp.read("registry.ini").find("Path=C:\\mag"), std::string::npos);
}

TEST_F(FileRegistryTest, NamesCompareWithoutCaseAndKeyPathsIgnoreOuterSeparators) {
  registry.write(kMachine, "SOFTWARE\\Tarnwick", "InstallPath", "C:\\mag");
  for (const char* keyPath : {"software\\tarnwick", "\\SOFTWARE\\Tarnwick\\", "SOFTWARE/Tarnwick"})
    EXPECT_EQ(registry.read("hkey_local_machine", keyPath, "INSTALLPATH"), "C:\\mag") << keyPath;

  registry.write(kMachine, "software\\TARNWICK\\", "installpath", "D:\\new");
  EXPECT_EQ(stored().sectionNames().size(), 1u) << "the same key, not a second section";
  EXPECT_EQ(stored().keyNames("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick").size(), 1u);
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "InstallPath"), "D:\\new");

  registry.remove(kMachine, "SOFTWARE\\TARNWICK", "INSTALLPATH");
  EXPECT_EQ(registry.read(kMachine, "SOFTWARE\\Tarnwick", "InstallPath"), "");
}

TEST_F(FileRegistryTest, SectionNameJoinsRootAndKeyPath) {
  EXPECT_EQ(FileRegistry::sectionName(kMachine, "SOFTWARE\\Tarnwick\\"),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick");
  EXPECT_EQ(FileRegistry::sectionName(kMachine, "a/b/c"), "HKEY_LOCAL_MACHINE\\a\\b\\c");
  EXPECT_EQ(FileRegistry::sectionName(kUser, ""), "HKEY_CURRENT_USER");
  EXPECT_EQ(FileRegistry::sectionName(kUser, "\\"), "HKEY_CURRENT_USER");
}

TEST_F(FileRegistryTest, CreatingAKeyAddsItOnceAndKeepsItsValues) {
  EXPECT_FALSE(registry.keyExists(kUser, "Software\\Tarnwick"));
  registry.createKey(kUser, "Software\\Tarnwick");
  EXPECT_TRUE(registry.keyExists(kUser, "software\\tarnwick"));
  registry.write(kUser, "Software\\Tarnwick", "Name", "Anna");
  const std::string before = tmp.read("registry.ini");
  registry.createKey(kUser, "SOFTWARE\\TARNWICK");
  EXPECT_EQ(tmp.read("registry.ini"), before);
  EXPECT_EQ(registry.read(kUser, "Software\\Tarnwick", "Name"), "Anna");
}

TEST_F(FileRegistryTest, ValuesComeBackExactlyExceptLineBreaks) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"plain", "plain"},
      {"  leading", "  leading"},
      {"trailing\t", "trailing\t"},
      {"\"quoted\"", "\"quoted\""},
      {"'single'", "'single'"},
      {"\"half", "\"half"},
      {"a=b;c", "a=b;c"},
      {"Příliš žluťoučký", "Příliš žluťoučký"},
      {"one\r\ntwo\nthree\rfour", "one two three four"},
      {"\nstarts with a break", " starts with a break"},
  };
  int i = 0;
  for (const auto& [value, expected] : cases) {
    const std::string name = "v" + std::to_string(i++);
    registry.write(kUser, "Software\\Tarnwick", name, value);
    EXPECT_EQ(registry.read(kUser, "Software\\Tarnwick", name), expected) << "[" << value << "]";
  }
}

TEST_F(FileRegistryTest, EveryCallSeesWhatAnotherInstanceWrote) {
  FileRegistry other(tmp.file("registry.ini"));
  registry.write(kUser, "Software\\Tarnwick", "Name", "Anna");
  EXPECT_EQ(other.read(kUser, "Software\\Tarnwick", "Name"), "Anna");
  other.write(kUser, "Software\\Tarnwick", "Name", "Jana");
  EXPECT_EQ(registry.read(kUser, "Software\\Tarnwick", "Name"), "Jana");
}

TEST_F(FileRegistryTest, MissingOrUnusableFileReadsAsEmptyAndWritesAreDropped) {
  EXPECT_EQ(registry.read(kUser, "Software\\Tarnwick", "Name"), "");
  EXPECT_FALSE(registry.keyExists(kUser, "Software\\Tarnwick"));
  EXPECT_EQ(tmp.read("registry.ini"), "<missing>") << "a read creates no file";

  tmp.write("folder/inside", "");
  FileRegistry onFolder(tmp.file("folder"));
  onFolder.write(kUser, "Software\\Tarnwick", "Name", "Anna");
  EXPECT_EQ(onFolder.read(kUser, "Software\\Tarnwick", "Name"), "");

  FileRegistry inMissingFolder(tmp.file("missing/registry.ini"));
  inMissingFolder.write(kUser, "Software\\Tarnwick", "Name", "Anna");
  inMissingFolder.createKey(kUser, "Software\\Tarnwick");
  EXPECT_EQ(inMissingFolder.read(kUser, "Software\\Tarnwick", "Name"), "");
}

TEST_F(FileRegistryTest, DefaultFileIsInTheUsersConfigFolder) {
  tmp.write("config/.keep", "");
  test::ScopedEnv config("XDG_CONFIG_HOME", tmp.file("config").c_str());
  FileRegistry perUser;
  EXPECT_EQ(perUser.file(), tmp.path() + "config/pagemoor/registry.ini");
  perUser.write(kUser, "Software\\Tarnwick", "Name", "Anna");
  EXPECT_EQ(IniDocument(tmp.read("config/pagemoor/registry.ini"))
                .value("HKEY_CURRENT_USER\\Software\\Tarnwick", "Name"),
            "Anna");

  // The headless platform keeps its values there too.
  HeadlessPlatform headless;
  EXPECT_EQ(headless.readRegistryValue(kUser, "Software\\Tarnwick", "Name"), "Anna");
}

}  // namespace
}  // namespace pagemoor
