#include "common/XmlIni.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text.append(line);
    text.append("\r\n");
  }
  return text;
}

// --- Value encoding -----------------------------------------------------

struct CodingCase {
  std::string in;
  std::string out;
};
void PrintTo(const CodingCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.in);
}

class XmlValueEncode : public testing::TestWithParam<CodingCase> {};
TEST_P(XmlValueEncode, Stores) {
  EXPECT_EQ(EncodeXmlValue(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, XmlValueEncode,
    testing::Values(CodingCase{"a&amp;b<c", "a&amp;b&lt;c"}, CodingCase{"a&b&c", "a&amp;b&amp;c"},
                    CodingCase{"A&AMP;B", "A&amp;B"}, CodingCase{R"("q" > p)", "&quot;q&quot; &gt; p"},
                    CodingCase{"&lt;", "&amp;lt;"}, CodingCase{"  keep | blanks  ", "  keep | blanks  "}));

class XmlValueDecode : public testing::TestWithParam<CodingCase> {};
TEST_P(XmlValueDecode, Returns) {
  EXPECT_EQ(DecodeXmlValue(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Cases, XmlValueDecode,
                         testing::Values(CodingCase{"a&amp;b&lt;c", "a&b<c"},
                                         CodingCase{"one|two||", "one\r\ntwo\r\n\r\n"},
                                         CodingCase{"  x  ", "x"}, CodingCase{"\tx ", "\tx"},
                                         CodingCase{" |x", "\r\nx"}, CodingCase{"&amp;lt;", "&lt;"},
                                         CodingCase{"&LT;&Gt;&QUOT;&AMP;", "<>\"&"}));

TEST(XmlValuePlaceholders, ExpandInBothDirectionsAndNeverComeBack) {
  const std::string programDir = ProgramDir();
  ASSERT_FALSE(programDir.empty());
  EXPECT_EQ(EncodeXmlValue("{ad}music\\a.mod"), programDir + "music\\a.mod");
  EXPECT_EQ(EncodeXmlValue("{CD}"), CurrentDriveRoot());
  EXPECT_EQ(DecodeXmlValue("{Ad}x|{cd}"), programDir + "x\r\n" + CurrentDriveRoot());
  EXPECT_EQ(EncodeXmlValue(programDir), programDir);
}

// --- Files --------------------------------------------------------------

class XmlIni : public testing::Test {
 protected:
  TempFolder tmp;
  const std::string list = tmp.file("list.xml");
};

TEST_F(XmlIni, WritesAPlaylistExactly) {
  XmlWriteValue(list, "XML_DEF", "type", "playlist");
  XmlWriteValue(list, "XML_DEF", "data", "jukebox");
  XmlWriteValue(list, "XML_DEF", "author", "Pagemoor");
  XmlWriteValue(list, "XML_DEF", "version", "2803");
  XmlWriteValue(list, "XML_DEF/playlist", "count", "0");
  XmlWriteValue(list, "XML_DEF/playlist/item_1/file", "value", "Intro.mod");
  XmlWriteValue(list, "XML_DEF/playlist/item_1/rel_path", "value", "music\\Intro.mod");
  XmlWriteValue(list, "XML_DEF/playlist/item_1/full_path", "value", "{ad}music\\Intro.mod");
  XmlWriteValue(list, "XML_DEF/playlist", "count", "1");

  const std::string fullPath = ProgramDir() + "music\\Intro.mod";
  const std::string expected = Lines({
      R"(<XML_DEF type="playlist" data="jukebox" author="Pagemoor" version="2803">)",
      R"(  <playlist count="1">)",
      R"(    <item_1>)",
      R"(      <file value="Intro.mod" />)",
      R"(      <rel_path value="music\Intro.mod" />)",
      R"(      <full_path value=")" + fullPath + R"(" />)",
      R"(    </item_1>)",
      R"(  </playlist>)",
      R"(</XML_DEF>)",
  });
  EXPECT_EQ(tmp.read("list.xml"), expected);

  EXPECT_EQ(XmlReadValue(list, "XML_DEF/playlist", "count"), "1");
  EXPECT_EQ(XmlReadValue(list, "XML_DEF/playlist/item_1/full_path", "value"), fullPath);
  EXPECT_EQ(tmp.read("list.xml"), expected) << "reading what is there writes nothing";
}

TEST_F(XmlIni, StoresEncodedAndReadsDecoded) {
  XmlWriteValue(list, "a/b", "v", "a&amp;b<c");
  EXPECT_EQ(tmp.read("list.xml"), Lines({"<a>", R"(  <b v="a&amp;b&lt;c" />)", "</a>"}));
  EXPECT_EQ(XmlReadValue(list, "a/b", "v"), "a&b<c");

  tmp.write("list.xml", R"(<a v="one|two" />)");
  EXPECT_EQ(XmlReadValue(list, "a", "v"), "one\r\ntwo");
}

TEST_F(XmlIni, MissingAttributeGivesTheDefaultAndStoresIt) {
  EXPECT_EQ(XmlReadValue(list, "settings/jukebox", "volume", "1"), "1");
  EXPECT_EQ(tmp.read("list.xml"), Lines({"<settings>", R"(  <jukebox volume="1" />)", "</settings>"}));
  EXPECT_EQ(XmlReadValue(list, "settings/jukebox", "volume", "5"), "1");

  // The default goes in as given; only the result is decoded.
  EXPECT_EQ(XmlReadValue(list, "settings", "title", "a&b|c"), "a&b\r\nc");
  EXPECT_EQ(tmp.read("list.xml"),
            Lines({R"(<settings title="a&b|c">)", R"(  <jukebox volume="1" />)", "</settings>"}));

  EXPECT_EQ(XmlReadValue(list, "settings/mixer", "mute"), "");
  EXPECT_EQ(tmp.read("list.xml"), Lines({R"(<settings title="a&b|c">)", R"(  <jukebox volume="1" />)",
                                         R"(  <mixer mute="" />)", "</settings>"}));
}

TEST_F(XmlIni, ReadingAnExistingAttributeLeavesTheFileAlone) {
  const std::string original = "<settings>\n\t<jukebox volume=\"7\"/>\n</settings>\n";
  tmp.write("list.xml", original);
  EXPECT_EQ(XmlReadValue(list, "settings/jukebox", "volume", "1"), "7");
  EXPECT_EQ(tmp.read("list.xml"), original);
}

TEST_F(XmlIni, NamesAreCaseSensitive) {
  XmlWriteValue(list, "Config/item", "v", "upper");
  XmlWriteValue(list, "config/item", "v", "lower");
  XmlWriteValue(list, "config/item", "V", "attr");
  EXPECT_EQ(tmp.read("list.xml"), Lines({
                                      "<Config>",
                                      R"(  <item v="upper" />)",
                                      "</Config>",
                                      "<config>",
                                      R"(  <item v="lower" V="attr" />)",
                                      "</config>",
                                  }));
  EXPECT_EQ(XmlReadValue(list, "Config/item", "v"), "upper");
  EXPECT_EQ(XmlReadValue(list, "config/item", "V"), "attr");
}

TEST_F(XmlIni, WriteReplacesTheFirstMatchInPlace) {
  tmp.write("list.xml", R"(<e x="1" y="2" x="3" />)");
  XmlWriteValue(list, "e", "x", "9");
  EXPECT_EQ(tmp.read("list.xml"), Lines({R"(<e x="9" y="2" x="3" />)"}));
}

TEST_F(XmlIni, ReadsFilesWithAnyLineEnds) {
  for (const char* lineEnd : {"\n", "\r", "\r\n"}) {
    SCOPED_TRACE(testing::PrintToString(lineEnd));
    // A line break inside a tag must separate the name from the attribute.
    const std::string text = std::string("<list>") + lineEnd + "\t<item" + lineEnd + "\t\tvalue=\"x\"/>" +
                             lineEnd + "\t<code><![CDATA[a" + lineEnd + "b]]></code>" + lineEnd + "</list>";
    tmp.write("list.xml", text);
    EXPECT_EQ(XmlReadValue(list, "list/item", "value"), "x");
    XmlWriteValue(list, "list", "n", "1");
    EXPECT_EQ(tmp.read("list.xml"), Lines({
                                        R"(<list n="1">)",
                                        R"(  <item value="x" />)",
                                        "  <code>",
                                        "    <![CDATA[a",
                                        "b]]>",
                                        "  </code>",
                                        "</list>",
                                    }));
  }
}

TEST_F(XmlIni, KeepsTheFileEncoding) {
  // c with caron is E8 and z with caron 9E in windows-1250.
  tmp.write("list.xml",
            "<t name=\"\xE8"
            "aj\" />");
  EXPECT_EQ(XmlReadValue(list, "t", "name"),
            "\xC4\x8D"
            "aj");
  XmlWriteValue(list, "t", "other", "\xC5\xBE");
  EXPECT_EQ(tmp.read("list.xml"),
            "<t name=\"\xE8"
            "aj\" other=\"\x9E\" />\r\n");

  const std::string fresh = tmp.file("fresh.xml");
  XmlWriteValue(fresh, "t", "name",
                "\xC4\x8D"
                "aj");
  EXPECT_EQ(tmp.read("fresh.xml"),
            "<t name=\"\xC4\x8D"
            "aj\" />\r\n");

  tmp.write("bom.xml", "\xEF\xBB\xBF<t a=\"1\" />");
  XmlWriteValue(tmp.file("bom.xml"), "t", "b", "\xC4\x8D");
  EXPECT_EQ(tmp.read("bom.xml"), "\xEF\xBB\xBF<t a=\"1\" b=\"\xC4\x8D\" />\r\n");
}

TEST_F(XmlIni, FindsTheFileWithoutRegardToCase) {
  tmp.write("Lists/Play.XML", R"(<p count="3" />)");
  const std::string asked = tmp.file("lists/play.xml");
  EXPECT_EQ(XmlReadValue(asked, "p", "count"), "3");
  XmlWriteValue(asked, "p", "count", "4");
  EXPECT_EQ(tmp.read("Lists/Play.XML"), Lines({R"(<p count="4" />)"}));
  EXPECT_FALSE(std::filesystem::exists(tmp.file("lists")));
}

TEST_F(XmlIni, EmptyFileReadsAsAnEmptyDocument) {
  tmp.write("list.xml", "");
  EXPECT_EQ(XmlReadValue(list, "cfg", "v", "1"), "1");
  EXPECT_EQ(tmp.read("list.xml"), Lines({R"(<cfg v="1" />)"}));
}

TEST_F(XmlIni, GarbageNeverStopsTheCaller) {
  const std::vector<std::string> garbage{
      std::string("\0\0\0", 3),  "<<<<", "<![CDATA[", "</a></b>", std::string("\xFF\xFE<\0a\0>\0", 8),
      "\x80\x81\x82 > < = \" /",
  };
  for (const std::string& bytes : garbage) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    tmp.write("list.xml", bytes);
    EXPECT_EQ(XmlReadValue(list, "cfg", "v", "1"), "1");
    EXPECT_EQ(XmlReadValue(list, "cfg", "v", "2"), "1") << "the default was stored";
    XmlWriteValue(list, "cfg", "v", "3");
    EXPECT_EQ(XmlReadValue(list, "cfg", "v", "4"), "3");
  }
}

TEST_F(XmlIni, DeepNestingIsNotWrittenBack) {
  // Read back, 200000 open tags would need some 80 GB of indent.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  tmp.write("list.xml", deep);
  EXPECT_EQ(XmlReadValue(list, "cfg", "v", "1"), "1");
  EXPECT_EQ(tmp.read("list.xml"), deep);
  EXPECT_THROW(XmlWriteValue(list, "cfg", "v", "1"), XmlWriteError);
}

TEST_F(XmlIni, UnwritableTargetsFailWritesButNotReads) {
  tmp.write("plain", "not a folder");
  std::filesystem::create_directory(tmp.file("folder"));
  for (const std::string& target :
       {tmp.file("plain/list.xml"), tmp.file("folder"), tmp.file("nowhere/list.xml")}) {
    SCOPED_TRACE(target);
    EXPECT_THROW(XmlWriteValue(target, "cfg", "v", "1"), XmlWriteError);
    EXPECT_EQ(XmlReadValue(target, "cfg", "v", "d&amp;"), "d&");
  }
  EXPECT_FALSE(std::filesystem::exists(tmp.file("nowhere")));
}

TEST_F(XmlIni, PathWithoutElementIsRefused) {
  for (const char* path : {"", "/", "//"}) {
    SCOPED_TRACE(path);
    EXPECT_THROW(XmlWriteValue(list, path, "v", "1"), XmlWriteError);
    EXPECT_EQ(XmlReadValue(list, path, "v", "1"), "1");
    EXPECT_FALSE(std::filesystem::exists(list));
  }
}

TEST_F(XmlIni, ReadOnlyFilesStillRead) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  const std::string original = R"(<cfg a="1" />)";
  const std::string file = tmp.write("ro/list.xml", original);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(tmp.file("ro").c_str(), 0555), 0);

  EXPECT_EQ(XmlReadValue(file, "cfg", "a", "x"), "1");
  EXPECT_EQ(XmlReadValue(file, "cfg", "b", "2"), "2");
  EXPECT_THROW(XmlWriteValue(file, "cfg", "a", "3"), XmlWriteError);
  EXPECT_EQ(tmp.read("ro/list.xml"), original);
}

TEST_F(XmlIni, UnreadableFileIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  const std::string original = R"(<cfg a="1" />)";
  tmp.write("list.xml", original);
  ASSERT_EQ(::chmod(list.c_str(), 0200), 0);

  EXPECT_THROW(XmlWriteValue(list, "cfg", "b", "2"), XmlWriteError);
  EXPECT_EQ(XmlReadValue(list, "cfg", "a", "d"), "d");
  ASSERT_EQ(::chmod(list.c_str(), 0644), 0);
  EXPECT_EQ(tmp.read("list.xml"), original);
}

}  // namespace
}  // namespace pagemoor
