#include "common/Strings.h"

#include <gtest/gtest.h>

namespace pagemoor {
namespace {

TEST(Strings, TrimBlanksTouchesSpacesOnly) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimControls(" \t\r\na b\r\n "), "a b");
}

TEST(Strings, LeftAndRightCountCharactersNotBytes) {
  EXPECT_EQ(LeftChars("abc", 0), "");
  EXPECT_EQ(LeftChars("abc", 2), "ab");
  EXPECT_EQ(LeftChars("abc", 9), "abc");
  EXPECT_EQ(LeftChars("žluťoučký", 4), "žluť");
  EXPECT_EQ(RightChars("abc", 5), "abc");
  EXPECT_EQ(RightChars("abc", 3), "abc");
  EXPECT_EQ(RightChars("abc", 2), "bc");
  EXPECT_EQ(RightChars("kůň", 2), "ůň");
  EXPECT_EQ(RightChars("abc", 0), "");
}

TEST(Strings, FirstWord) {
  EXPECT_EQ(FirstWord("list all"), "list");
  EXPECT_EQ(FirstWord(" list"), "");
  EXPECT_EQ(FirstWord("exit"), "exit");
  EXPECT_EQ(FirstWord(""), "");
}

TEST(Strings, ReplaceTextCases) {
  struct Case {
    const char* text;
    const char* find;
    const char* replacement;
    bool all;
    const char* expected;
  };
  const Case cases[] = {
      {"MAG.APP.EXE", ".", "_", false, "MAG_APP.EXE"},
      {"a&b&c", "&", "&amp;", true, "a&amp;b&amp;c"},  // the replacement is never searched again
      {"My Log.txt", " ", "_", false, "My_Log.txt"},
      {"Hello World", "WORLD", "there", true, "Hello there"},
      {"aAaA", "a", "b", true, "bbbb"},
      {"xyz", "", "q", true, "xyz"},
      {"", "a", "b", true, ""},
      {"abc", "abcd", "x", true, "abc"},
      {"Tx&AMP;y", "&amp;", "&", true, "Tx&y"},
      // Letters with diacritics match without regard to case; unmatched text keeps its case.
      {"ŽLUŤOUČKÝ kůň", "žluťoučký", "žlutý", true, "žlutý kůň"},
      {"Příliš ŠPATNÝ", "š", "s", true, "Přílis sPATNÝ"},
      {"{AD}pics\\{ad}", "{ad}", "/p/", true, "/p/pics\\/p/"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    ReplaceText(text, c.find, c.replacement, c.all);
    EXPECT_EQ(text, c.expected) << c.text << " / " << c.find;
  }
}

TEST(Strings, SplitTextKeepsInnerEmptyPiecesAndDropsEmptyLast) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitText("a, ,b", ","), (V{"a", "", "b"}));
  EXPECT_EQ(SplitText("a,b,", ","), (V{"a", "b"}));
  EXPECT_EQ(SplitText("a, b ", ","), (V{"a", " b "}));  // the last piece stays untrimmed
  EXPECT_EQ(SplitText(" \t", ","), V{});
  EXPECT_EQ(SplitText("one", ","), V{"one"});
  EXPECT_EQ(SplitText("aXXbXXc", "XX"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitText("aXb", "x"), V{"aXb"});  // case-sensitive
  EXPECT_EQ(SplitText(",,", ","), (V{"", ""}));
}

TEST(Strings, SplitLinesAtEveryKindOfLineEnd) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), V{"a"});
  EXPECT_EQ(SplitLines("a\n\n"), (V{"a", ""}));
  EXPECT_EQ(SplitLines("\r\n\r\n"), (V{"", ""}));
  EXPECT_EQ(SplitLines("\n\r"), (V{"", ""}));  // LF, then a lone CR
  EXPECT_EQ(SplitLines(""), V{});
}

TEST(Strings, TextToBoolYesWords) {
  for (const char* yes : {"TRUE", "true", "Yes", "1", "ano", "Ok", "pravda", "DOBRE", "on"})
    EXPECT_TRUE(TextToBool(yes)) << yes;
  for (const char* no : {"y", "2", " true", "true ", "", "no", "0", "áno"})
    EXPECT_FALSE(TextToBool(no)) << no;
}

TEST(Strings, SplitPath) {
  auto p = SplitPath("SOFTWARE\\Tarnwick\\reg");
  EXPECT_EQ(p.folder, "SOFTWARE\\Tarnwick\\");
  EXPECT_EQ(p.name, "reg");
  p = SplitPath("reg");
  EXPECT_EQ(p.folder, "");
  EXPECT_EQ(p.name, "reg");
  p = SplitPath("/tmp/x/");
  EXPECT_EQ(p.folder, "/tmp/x/");
  EXPECT_EQ(p.name, "");
}

TEST(Strings, CaseConversions) {
  EXPECT_EQ(AsciiLower("ŽLUŤOUČKÝ Kůň"), "ŽluŤouČkÝ kůň");  // ASCII letters only
  EXPECT_EQ(AsciiUpper("mag.exe"), "MAG.EXE");
  EXPECT_EQ(FoldCase("žluťoučký kůň ÿ ß"), "ŽLUŤOUČKÝ KŮŇ Ÿ ß");
  EXPECT_EQ(FoldCase("ąćęłńóśźż ĺľŕăőű"), "ĄĆĘŁŃÓŚŹŻ ĹĽŔĂŐŰ");
  // Invalid bytes stay, and the length never changes.
  std::string bad = "a\xE8z\xFF";
  EXPECT_EQ(FoldCase(bad), "A\xE8Z\xFF");
  EXPECT_TRUE(SameText("Section", "SECTION"));
  EXPECT_FALSE(SameText("Section", "Sectio"));
  EXPECT_TRUE(StartsWithText("CON_COM:load", "con_com:"));
  EXPECT_TRUE(EndsWithText("song.MP3", ".mp3"));
}

TEST(Strings, IntegerParsing) {
  long long v = 0;
  EXPECT_TRUE(TryParseInt(" 42 ", v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(TryParseInt("-3", v));
  EXPECT_EQ(v, -3);
  for (const char* bad : {"", "abc", "1.5", "12a", "99999999999999999999999", " "})
    EXPECT_FALSE(TryParseInt(bad, v)) << bad;
  EXPECT_EQ(StrToIntDef("abc", 1), 1);

  EXPECT_EQ(StrToInt(" 7"), 7);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  for (const char* bad : {"", "x1", "2147483648"}) EXPECT_THROW(StrToInt(bad), ConvertError) << bad;
  try {
    StrToInt("abc");
  } catch (const ConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(Strings, FormatText) {
  EXPECT_EQ(FormatText("File %s doesn't exist", {"/x/a.mp3"}), "File /x/a.mp3 doesn't exist");
  EXPECT_EQ(FormatText("%d%% of %s", {"50", "it"}), "50% of it");
  EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and %s");
  EXPECT_EQ(FormatText("100%", {}), "100%");
}

TEST(Strings, EscapeControlsKeepsOneLogLine) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain/name.txt", "plain/name.txt"},
      {"a\nRAR: Extract Successfull", "a\\nRAR: Extract Successfull"},
      {"cr\rtab\t", "cr\\rtab\\t"},
      {std::string("nul\0"
                   "bell\x07"
                   "esc\x1b"
                   "[2Jdel\x7f",
                   20),
       "nul\\x00bell\\x07esc\\x1b[2Jdel\\x7f"},
      {"říše/žluťoučký kůň.htm", "říše/žluťoučký kůň.htm"},  // UTF-8 stays whole
      {"dos\\path\\file", "dos\\path\\file"},                // backslashes are no controls
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace pagemoor

TEST(Masks, WildcardsByCharacterAndDosDotRule) {
  struct Case {
    const char* name;
    const char* mask;
    bool plain;  // MatchesMask
    bool dos;    // MatchesDosMask
  };
  const Case cases[] = {
      {"MAG.UNP", "*.unp", true, true},
      {"mag.unp.bak", "*.UNP", false, false},
      {"README", "*.*", false, true},
      {"README", "readme.*", false, true},
      {"readme.txt", "READ?E.*", true, true},
      {"čtení.txt", "?tení.txt", true, true},    // one character, two bytes
      {"ČTENÍ.TXT", "čtení.txt", false, false},  // only ASCII letters fold
      {"a.b.c", "*.c", true, true},
      {"anything", "", false, true},
      {"", "*", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pagemoor::MatchesMask(c.name, c.mask), c.plain) << c.name << " / " << c.mask;
    EXPECT_EQ(pagemoor::MatchesDosMask(c.name, c.mask), c.dos) << c.name << " / " << c.mask;
  }
}
