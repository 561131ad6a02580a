#include "common/IniDocument.h"

#include <gtest/gtest.h>

namespace pagemoor {
namespace {

TEST(IniDocument, ReadsValuesAsProfileFilesDo) {
  IniDocument doc(
      "; leading comment\r\n"
      "stray=before any section\r\n"
      "[Start]\r\n"
      "  Command = load_main  index.htm  \r\n"
      "Quoted=\"  spaced  \"\r\n"
      "Single='x'\r\n"
      "Mismatched=\"x'\r\n"
      "Lone=\"\r\n"
      "tabbed=\tvalue\t\r\n"
      "novalue\r\n"
      "Empty=\r\n"
      "dup=first\r\n"
      "DUP=second\r\n"
      ";hidden=1\r\n"
      "[ Spaced Section ]\r\n"
      "k=v\r\n"
      "[start]\r\n"
      "later=ignored\r\n");
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"start", "command", "load_main  index.htm"},
      {"START", "COMMAND", "load_main  index.htm"},
      {"Start", "quoted", "  spaced  "},
      {"Start", "single", "x"},
      {"Start", "mismatched", "\"x'"},
      {"Start", "lone", "\""},
      {"Start", "tabbed", "value"},
      {"Start", "novalue", ""},
      {"Start", "empty", ""},
      {"Start", "dup", "first"},
      {"Start", "later", std::nullopt},  // first of duplicate sections wins
      {"Start", ";hidden", std::nullopt},
      {"Spaced Section", "k", "v"},
      {"Start", "stray", std::nullopt},
      {"missing", "k", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(doc.value(c.section, c.key), c.expected) << c.section << "/" << c.key;
}

TEST(IniDocument, NewKeyGoesAfterTheLastKeyOfItsSection) {
  IniDocument doc(
      "[a]\r\n"
      "x=1\r\n"
      "; about section b\r\n"
      "\r\n"
      "[b]\r\n"
      "y=2\r\n");
  EXPECT_TRUE(doc.setValue("A", "new", " "));
  EXPECT_TRUE(doc.setValue("b", "z", "3"));
  EXPECT_EQ(doc.serialize(),
            "[a]\r\n"
            "x=1\r\n"
            "new= \r\n"
            "; about section b\r\n"
            "\r\n"
            "[b]\r\n"
            "y=2\r\n"
            "z=3\r\n");
}

TEST(IniDocument, NewSectionGoesAtTheEndAndAnEmptySectionTakesKeysAfterItsHeader) {
  IniDocument doc("[empty]\n[other]\nk=v");  // LF throughout, no line end at the end
  EXPECT_TRUE(doc.setValue("empty", "a", "1"));
  EXPECT_TRUE(doc.setValue("new", "b", "2"));
  EXPECT_EQ(doc.serialize(), "[empty]\na=1\n[other]\nk=v\n[new]\nb=2\n");
}

TEST(IniDocument, LineEndsOfTheFileAreKept) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"", "[s]\r\nk=v\r\n"},
      {"[s]", "[s]\r\nk=v\r\n"},
      {"[s]\n", "[s]\nk=v\n"},
      {"[s]\r\n", "[s]\r\nk=v\r\n"},
      {"[t]\nx=1\r\n[s]\n", "[t]\nx=1\r\n[s]\nk=v\r\n"},  // mixed: new lines use CR LF
      {"\xEF\xBB\xBF[s]\r\n", "\xEF\xBB\xBF[s]\r\nk=v\r\n"},
  };
  for (const Case& c : cases) {
    IniDocument doc(c.in);
    doc.setValue("s", "k", "v");
    EXPECT_EQ(doc.serialize(), c.out) << c.in;
  }
}

TEST(IniDocument, ChangingAValueKeepsEverythingElseByteForByte) {
  const std::string original =
      "; comment stays\r\n"
      "[Buttons]\r\n"
      "   Count = 3\r\n"
      "garbage line\r\n"
      "Name=old\r\n"
      "\r\n";
  IniDocument doc(original);
  EXPECT_FALSE(doc.setValue("buttons", "count", " 3"));  // no change, nothing to write
  EXPECT_TRUE(doc.setValue("BUTTONS", "name", "new"));
  EXPECT_EQ(doc.serialize(),
            "; comment stays\r\n"
            "[Buttons]\r\n"
            "   Count = 3\r\n"
            "garbage line\r\n"
            "Name=new\r\n"
            "\r\n");
  IniDocument same(original);
  EXPECT_EQ(same.serialize(), original);
}

TEST(IniDocument, KeyWithoutEqualsSignTakesAValue) {
  IniDocument doc("[s]\nflag\n");
  EXPECT_EQ(doc.value("s", "flag"), "");
  doc.setValue("s", "flag", "1");
  EXPECT_EQ(doc.serialize(), "[s]\nflag=1\n");
}

TEST(IniDocument, Windows1250FileStaysWindows1250) {
  IniDocument doc("[Menu]\r\nTitul=\x8Elu\x9Dou\xE8k\xFD\r\n");  // "Žluťoučký"
  EXPECT_EQ(doc.encoding(), TextEncoding::Windows1250);
  EXPECT_EQ(doc.value("menu", "titul"), "Žluťoučký");
  doc.setValue("Menu", "Kůň", "kůň");
  EXPECT_EQ(doc.serialize(), "[Menu]\r\nTitul=\x8Elu\x9Dou\xE8k\xFD\r\nK\xF9\xF2=k\xF9\xF2\r\n");
  EXPECT_EQ(doc.value("MENU", "KŮŇ"), "kůň");  // names compare without regard to case, diacritics too
}

TEST(IniDocument, Utf8FileStaysUtf8) {
  IniDocument doc("[Menu]\nTitul=Žluťoučký\n");
  EXPECT_EQ(doc.encoding(), TextEncoding::Utf8);
  doc.setValue("menu", "Kůň", "ó");
  EXPECT_EQ(doc.serialize(), "[Menu]\nTitul=Žluťoučký\nKůň=ó\n");
}

TEST(IniDocument, LineBreaksInNamesOrValuesCannotAddLines) {
  IniDocument doc;
  doc.setValue("s", "k", "a\r\n[evil]\nx=1\rb");
  doc.setValue("t\r\n[evil", "k", "1");
  doc.setValue("s", "key\n[evil]", "2");
  EXPECT_EQ(doc.serialize(), "[s]\r\nk=a [evil] x=1 b\r\nkey [evil]=2\r\n[t [evil]\r\nk=1\r\n");
  EXPECT_FALSE(doc.hasSection("evil"));
  EXPECT_EQ(IniDocument(doc.serialize()).value("s", "key [evil]"), "2");
}

TEST(IniDocument, NamesNoLineCanHoldAreRefused) {
  IniDocument doc("[s]\r\n");
  for (const char* key : {"[x]", ";x", "a=b", "", "  "}) EXPECT_FALSE(doc.setValue("s", key, "v")) << key;
  EXPECT_FALSE(doc.setValue("a]b", "k", "v"));
  EXPECT_FALSE(doc.addSection("a]b"));
  EXPECT_EQ(doc.serialize(), "[s]\r\n");
  // Blanks around names are not part of them, in writes and in reads.
  EXPECT_TRUE(doc.setValue(" s ", " k\t", "v"));
  EXPECT_EQ(doc.serialize(), "[s]\r\nk=v\r\n");
  EXPECT_EQ(doc.value("  S", "K "), "v");
}

TEST(IniDocument, ListsAndRemoves) {
  IniDocument doc("[a]\nx=1\ny=2\nX=3\n[b]\n[A]\nz=1\n");
  EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(doc.keyNames("A"), (std::vector<std::string>{"x", "y"}));
  EXPECT_TRUE(doc.removeKey("a", "X"));
  EXPECT_EQ(doc.value("a", "x"), "3");  // the duplicate now counts
  EXPECT_FALSE(doc.removeKey("a", "none"));
  EXPECT_TRUE(doc.addSection("c"));
  EXPECT_FALSE(doc.addSection("C"));
  EXPECT_EQ(doc.serialize(), "[a]\ny=2\nX=3\n[b]\n[A]\nz=1\n[c]\n");
}

}  // namespace
}  // namespace pagemoor
