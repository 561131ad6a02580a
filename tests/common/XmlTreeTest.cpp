#include "common/XmlTree.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace pagemoor {
namespace {

using Id = XmlTree::Id;

// Lines as the writer ends them.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text.append(line);
    text.append("\r\n");
  }
  return text;
}

// Structural equality of two trees below their roots, without recursion so
// that it works on the deep trees too.
testing::AssertionResult SameElements(const XmlTree& a, const XmlTree& b) {
  std::vector<std::pair<Id, Id>> pending{{XmlTree::kRoot, XmlTree::kRoot}};
  while (!pending.empty()) {
    auto [ia, ib] = pending.back();
    pending.pop_back();
    const XmlElement& ea = a.element(ia);
    const XmlElement& eb = b.element(ib);
    if (ia != XmlTree::kRoot) {
      if (ea.name != eb.name) return testing::AssertionFailure() << "name " << ea.name << " vs " << eb.name;
      if (ea.attributes != eb.attributes) return testing::AssertionFailure() << "attributes of " << ea.name;
      if (ea.value != eb.value || ea.cdata != eb.cdata)
        return testing::AssertionFailure()
               << "value of " << ea.name << ": [" << ea.value << "] vs [" << eb.value << "]";
    }
    if (ea.children.size() != eb.children.size())
      return testing::AssertionFailure() << "children of [" << ea.name << "]";
    for (std::size_t i = 0; i < ea.children.size(); ++i) pending.emplace_back(ea.children[i], eb.children[i]);
  }
  return testing::AssertionSuccess();
}

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// --- Writer -------------------------------------------------------------

TEST(XmlTreeWrite, PlaylistLayoutByteForByte) {
  XmlTree tree;
  const Id def = tree.addChild(XmlTree::kRoot, "XML_DEF");
  tree.appendAttribute(def, "type", "playlist");
  tree.appendAttribute(def, "data", "jukebox");
  tree.appendAttribute(def, "author", "Pagemoor");
  tree.appendAttribute(def, "version", "2803");
  const Id playlist = tree.addChild(def, "playlist");
  tree.appendAttribute(playlist, "count", "2");
  for (const char* item : {"item_1", "item_2"}) {
    const Id id = tree.addChild(playlist, item);
    for (const char* field : {"file", "rel_path", "full_path"})
      tree.appendAttribute(tree.addChild(id, field), "value", std::string(item) + "." + field);
  }

  const std::string expected = Lines({
      R"(<XML_DEF type="playlist" data="jukebox" author="Pagemoor" version="2803">)",
      R"(  <playlist count="2">)",
      R"(    <item_1>)",
      R"(      <file value="item_1.file" />)",
      R"(      <rel_path value="item_1.rel_path" />)",
      R"(      <full_path value="item_1.full_path" />)",
      R"(    </item_1>)",
      R"(    <item_2>)",
      R"(      <file value="item_2.file" />)",
      R"(      <rel_path value="item_2.rel_path" />)",
      R"(      <full_path value="item_2.full_path" />)",
      R"(    </item_2>)",
      R"(  </playlist>)",
      R"(</XML_DEF>)",
  });
  EXPECT_EQ(WriteXml(tree), expected);
  EXPECT_EQ(WrittenXmlSize(tree), expected.size());
}

TEST(XmlTreeWrite, ValuesGoOnTheirOwnLineBeforeTheChildren) {
  XmlTree tree;
  const Id text = tree.addChild(XmlTree::kRoot, "text");
  tree.setValue(text, "plain words", false);
  tree.addChild(text, "child");
  const Id code = tree.addChild(XmlTree::kRoot, "code");
  tree.appendAttribute(code, "lang", "pas");
  tree.setValue(code, "begin\\n \\t x := 1;\\n end\\N \\t", true);
  const Id empty = tree.addChild(XmlTree::kRoot, "empty");
  tree.setValue(empty, "", true);
  // The root is unnamed and has no text of its own.
  tree.setValue(XmlTree::kRoot, "ignored", false);

  const std::string expected = Lines({
      "<text>",
      "  plain words",
      "  <child />",
      "</text>",
      "<code lang=\"pas\">",
      "  <![CDATA[begin\r\n\tx := 1;\r\nend\\N \\t]]>",
      "</code>",
      "<empty />",
  });
  EXPECT_EQ(WriteXml(tree), expected);
  EXPECT_EQ(WrittenXmlSize(tree), expected.size());
  EXPECT_EQ(WriteXml(XmlTree()), "");
}

TEST(XmlTreeWrite, DeepDocumentNeedsNoRecursion) {
  constexpr std::size_t kDepth = 200000;
  std::string text;
  for (std::size_t i = 0; i < kDepth; ++i) text += "<a>";
  const XmlTree tree = ParseXml(text);
  ASSERT_EQ(tree.size(), kDepth + 1);
  EXPECT_EQ(tree.element(kDepth).parent, kDepth - 1);

  // Each level above the innermost opens and closes (4 blanks of indent per
  // level, "<a>" and "</a>" and two line ends); the innermost is "<a />".
  std::size_t expected = 0;
  for (std::size_t depth = 0; depth + 1 < kDepth; ++depth) expected += 4 * depth + 11;
  expected += 2 * (kDepth - 1) + 7;
  EXPECT_EQ(WrittenXmlSize(tree), expected);
}

// --- Tree ---------------------------------------------------------------

TEST(XmlTreePath, WalkCreatesWhatIsMissingAndTakesTheFirstExactMatch) {
  XmlTree tree = ParseXml("<a><b n=\"first\"/><b n=\"second\"/><B/></a>");
  const Id a = tree.find("a");
  ASSERT_NE(a, XmlTree::kNone);
  const Id firstB = tree.element(a).children[0];

  EXPECT_EQ(tree.find("a/b"), firstB);
  EXPECT_EQ(tree.walk("a//b/"), firstB);
  EXPECT_EQ(tree.find("A/b"), XmlTree::kNone);
  EXPECT_EQ(tree.find("a/b/c"), XmlTree::kNone);
  EXPECT_EQ(tree.size(), 5u) << "find must not create anything";

  const Id c = tree.walk("a/b/c/d");
  EXPECT_EQ(tree.element(c).name, "d");
  EXPECT_EQ(tree.find("a/b/c/d"), c);
  EXPECT_EQ(tree.size(), 7u);

  const Id capital = tree.walk("A");
  EXPECT_NE(capital, a);
  EXPECT_EQ(tree.root().children.back(), capital) << "a new element goes last";
  EXPECT_EQ(tree.walk(""), XmlTree::kRoot);
  EXPECT_EQ(tree.walk("//"), XmlTree::kRoot);
}

TEST(XmlTreePath, SetAttributeReplacesTheFirstOfThatExactName) {
  XmlTree tree = ParseXml(R"(<e x="1" X="2" x="3" />)");
  const Id e = tree.find("e");
  tree.setAttribute(e, "x", "new");
  tree.setAttribute(e, "y", "added");
  const std::vector<XmlAttribute> expected{{"x", "new"}, {"X", "2"}, {"x", "3"}, {"y", "added"}};
  EXPECT_EQ(tree.element(e).attributes, expected);
  ASSERT_NE(tree.attribute(e, "X"), nullptr);
  EXPECT_EQ(*tree.attribute(e, "X"), "2");
  EXPECT_EQ(tree.attribute(e, "Y"), nullptr);
}

// --- Tokens -------------------------------------------------------------

struct TokenCase {
  const char* name;
  std::string input;
  std::vector<XmlToken> tokens;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TokenCase& c, std::ostream* os) {
  *os << c.name;
}

class XmlTokenize : public testing::TestWithParam<TokenCase> {};

TEST_P(XmlTokenize, Cuts) {
  EXPECT_EQ(TokenizeXml(GetParam().input), GetParam().tokens);
}

using K = XmlTokenKind;
const std::vector<TokenCase> kTokenCases = {
    TokenCase{"Tags",
              R"(<a x="1"><b/><c /></a>)",
              {{K::OpenTag, R"(a x="1")"}, {K::EmptyTag, "b/"}, {K::EmptyTag, "c /"}, {K::CloseTag, "/a"}}},
    TokenCase{"TextIsTrimmedAndFlattened",
              "\t \r\n one \r\n\ttwo \x01<a>",
              {{K::Text, "one   two"}, {K::OpenTag, "a"}}},
    TokenCase{"TagIsTrimmedAndFlattened", "< a\r\n\tx=\"1\" \r\n>", {{K::OpenTag, "a  x=\"1\""}}},
    TokenCase{"CDataKeepsBlanksAndMarksBreaks",
              "<a><![CDATA[ one\r\n\ttwo <b> ]]></a>",
              {{K::OpenTag, "a"}, {K::CData, " one\\n \\t two <b> "}, {K::CloseTag, "/a"}}},
    TokenCase{"CDataMarkerInAnyCase", "<![cData[x]]>", {{K::CData, "x"}}},
    TokenCase{
        "UnterminatedCDataTakesTheRest", "<a><![CDATA[rest <b>", {{K::OpenTag, "a"}, {K::CData, "rest <b>"}}},
    TokenCase{"LessThanWithoutTagEndIsDropped",
              "<a>x<y< z",
              {{K::OpenTag, "a"}, {K::Text, "x"}, {K::Text, "y"}, {K::Text, "z"}}},
    TokenCase{"FinalText", "<a/> tail ", {{K::EmptyTag, "a/"}, {K::Text, "tail"}}},
    TokenCase{
        "TagEndsAtTheFirstGreaterThan", "<a x=\"<\">\">", {{K::OpenTag, "a x=\"<\""}, {K::Text, "\">"}}},
    TokenCase{"DeclarationIsAnOpeningTag",
              "<?xml version=\"1.0\"?><!-- c -->",
              {{K::OpenTag, "?xml version=\"1.0\"?"}, {K::OpenTag, "!-- c --"}}},
    TokenCase{"EmptyTagText", "<>< / >", {{K::OpenTag, ""}, {K::CloseTag, "/"}}},
    TokenCase{"NothingButLayout", " \r\n\t ", {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, XmlTokenize, testing::ValuesIn(kTokenCases), CaseName<TokenCase>);

// --- Reading ------------------------------------------------------------

struct TagCase {
  const char* name;
  std::string document;
  std::string elementName;
  std::vector<XmlAttribute> attributes;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TagCase& c, std::ostream* os) {
  *os << c.name;
}

class XmlReadTag : public testing::TestWithParam<TagCase> {};

TEST_P(XmlReadTag, GivesNameAndAttributes) {
  const XmlTree tree = ParseXml(GetParam().document);
  ASSERT_EQ(tree.root().children.size(), 1u);
  const XmlElement& e = tree.element(tree.root().children[0]);
  EXPECT_EQ(e.name, GetParam().elementName);
  EXPECT_EQ(e.attributes, GetParam().attributes);
}

const std::vector<TagCase> kTagCases = {
    TagCase{"Plain", R"(<a x="1" y="two words">)", "a", {{"x", "1"}, {"y", "two words"}}},
    TagCase{"BlanksAroundEquals", R"(<a  x = "1"   y ="2">)", "a", {{"x", "1"}, {"y", "2"}}},
    TagCase{"ValueHoldsEqualsAndLessThan", R"(<a f="x=<y" />)", "a", {{"f", "x=<y"}}},
    TagCase{"EmptyElementWithoutBlank", "<br/>", "br", {}},
    TagCase{"EmptyElementWithAttributes", R"(<file value="a.mod"/>)", "file", {{"value", "a.mod"}}},
    TagCase{"NameRunsUpToTheEquals", R"(<a x="1" y z="3">)", "a", {{"x", "1"}, {"y z", "3"}}},
    TagCase{"StopsAtMissingEquals", R"(<a x="1" flag>)", "a", {{"x", "1"}}},
    TagCase{"StopsAtMissingQuote", R"(<a x="1" y="2>)", "a", {{"x", "1"}}},
    TagCase{"ValueIsBetweenTheNextTwoQuotes", R"(<a x=1 y="2">)", "a", {{"x", "2"}}},
    TagCase{"NoBlankNoAttributes", R"(<a="1">)", R"(a="1")", {}},
    TagCase{"NameWithLineBreakAfterIt", "<a\r\nx=\"1\">", "a", {{"x", "1"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, XmlReadTag, testing::ValuesIn(kTagCases), CaseName<TagCase>);

TEST(XmlRead, ClosingTagsEndTheCurrentElementWhateverTheirName) {
  const XmlTree tree = ParseXml("</stray><a><b></c><d/></a></a></a><e/><f><g>");
  EXPECT_EQ(WriteXml(tree), Lines({
                                "<a>",
                                "  <b />",
                                "  <d />",
                                "</a>",
                                "<e />",
                                "<f>",
                                "  <g />",
                                "</f>",
                            }));
}

TEST(XmlRead, LastTextOrCDataBecomesTheValue) {
  const XmlTree tree = ParseXml(
      "<a>one<![CDATA[two]]></a>"
      "<b><![CDATA[one]]>two<c/></b>"
      "<d>one<e/>two</d>");
  EXPECT_EQ(tree.element(tree.find("a")).value, "two");
  EXPECT_TRUE(tree.element(tree.find("a")).cdata);
  EXPECT_EQ(tree.element(tree.find("b")).value, "two");
  EXPECT_FALSE(tree.element(tree.find("b")).cdata);
  EXPECT_EQ(tree.element(tree.find("d")).value, "two");
}

TEST(XmlRead, CDataRoundTripsItsLineBreaksAndTabs) {
  const std::string document = Lines({"<script>", "  <![CDATA[if x then", "\tgo;", "]]>", "</script>"});
  const XmlTree tree = ParseXml(document);
  const XmlElement& script = tree.element(tree.find("script"));
  EXPECT_EQ(script.value, "if x then\\n \\t go;\\n ");
  EXPECT_TRUE(script.cdata);
  EXPECT_EQ(WriteXml(tree), document);
}

TEST(XmlRead, WhatTheWriterWritesReadsBackTheSame) {
  XmlTree tree;
  const Id doc = tree.addChild(XmlTree::kRoot, "doc");
  tree.appendAttribute(doc, "path", R"(C:\mag\a&amp;b.mod)");
  tree.appendAttribute(doc, "cmp", "a<b");
  tree.appendAttribute(doc, "empty", "");
  tree.setValue(tree.addChild(doc, "note"), "some text & more", false);
  const Id code = tree.addChild(doc, "code");
  tree.setValue(code, "line\\n \\t indented", true);
  tree.addChild(tree.addChild(tree.addChild(doc, "x"), "y"), "z");
  tree.addChild(XmlTree::kRoot, "second");

  const std::string written = WriteXml(tree);
  const XmlTree reread = ParseXml(written);
  EXPECT_TRUE(SameElements(tree, reread));
  EXPECT_EQ(WriteXml(reread), written);
}

struct BadCase {
  const char* name;
  std::string input;
  std::string written;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.name;
}

class XmlReadMalformed : public testing::TestWithParam<BadCase> {};

TEST_P(XmlReadMalformed, GivesATree) {
  const XmlTree tree = ParseXml(GetParam().input);
  EXPECT_EQ(WriteXml(tree), GetParam().written);
}

const std::vector<BadCase> kBadCases = {
    BadCase{"Empty", "", ""},
    BadCase{"OnlyText", "just words", ""},
    BadCase{"LoneLessThan", "<", ""},
    BadCase{"LoneGreaterThan", ">", ""},
    BadCase{"LoneCDataStart", "<![CDATA[", ""},
    BadCase{"CDataStartCutShort", "<![CDA", ""},
    BadCase{"UnfinishedTag", "<a", ""},
    BadCase{"UnfinishedTagAfterElement", "<a>x<b", Lines({"<a>", "  b", "</a>"})},
    BadCase{"UnterminatedCData", "<a><![CDATA[open", Lines({"<a>", "  <![CDATA[open]]>", "</a>"})},
    BadCase{"ClosingOnly", "</a></b></c>", ""},
    BadCase{"Declaration", R"(<?xml version="1.0"?><r/>)",
            Lines({R"(<?xml version="1.0">)", "  <r />", "</?xml>"})},
    BadCase{"Comment", "<!-- note --><r/>", Lines({"<!-->", "  <r />", "</!-->"})},
    BadCase{"ControlBytes", std::string("\0<a\0b>\x01\0</a>", 12), Lines({std::string("<a\0b />", 7)})},
    BadCase{"Brackets", "<<<>>>", Lines({"<<<>", "  >>", "</<<>"})},
};

INSTANTIATE_TEST_SUITE_P(Cases, XmlReadMalformed, testing::ValuesIn(kBadCases), CaseName<BadCase>);

}  // namespace
}  // namespace pagemoor
