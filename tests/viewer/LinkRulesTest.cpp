#include "viewer/LinkRules.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

std::string KindName(LinkKind kind) {
  switch (kind) {
    case LinkKind::Pane:
      return "pane";
    case LinkKind::Wave:
      return "wave";
    case LinkKind::Program:
      return "program";
    case LinkKind::Media:
      return "media";
    case LinkKind::Mail:
      return "mail";
    case LinkKind::Web:
      return "web";
    case LinkKind::Command:
      return "command";
  }
  return "?";
}

TEST(LinkRulesTest, LocalLinksHaveNoSchemeOrAFileMark) {
  struct Case {
    const char* src;
    bool local;
  };
  const Case cases[] = {
      {"page.htm", true},
      {"sub/page.htm#top", true},
      {"#anchor", true},
      {"", true},
      {"c:\\tools\\app.exe", true},  // a drive letter: colon at 2
      {":odd", true},                // colon at 1
      {"file:///d:/tools/app.exe", true},
      {"FiLe://server/x.wav", true},
      {"con_com:load_main page2.htm", false},
      {"mailto:someone", false},
      {"http://example.org/", false},
      {"https://example.org/", false},
      {"ab:c", false},  // two letters make a scheme
      {"setup.exe x:y", false},
      {"setup.exe file:y", true},  // "FILE:" anywhere counts
  };
  for (const Case& c : cases) EXPECT_EQ(IsLocalLink(c.src), c.local) << c.src;
}

TEST(LinkRulesTest, LocalLinksSplitAtTheFirstBlankElseAtTheFirstQuestionMark) {
  struct Case {
    std::string src;
    std::string file;
    std::string parameters;
  };
  const Case cases[] = {
      {"setup.exe -silent", "setup.exe", "-silent"},
      {"setup.exe?x", "setup.exe", "x"},
      {"setup.exe", "setup.exe", ""},
      {"setup.exe ", "setup.exe", ""},
      {"run.exe a b?c", "run.exe", "a b?c"},  // the blank wins over an earlier "?"
      {"run.exe?a b", "run.exe?a", "b"},      // a blank anywhere is taken first
      {"q?a?b", "q", "a?b"},
      {" lead.exe", "", "lead.exe"},
      {std::string(300, 'a'), std::string(255, 'a'), ""},  // cut before splitting
      {std::string(254, 'a') + "?b", std::string(254, 'a'), ""},
      {std::string(255, 'a') + " b", std::string(255, 'a'), ""},
  };
  for (const Case& c : cases) {
    const LocalLink link = SplitLocalLink(c.src);
    EXPECT_EQ(link.filePart, c.file) << c.src;
    EXPECT_EQ(link.parameters, c.parameters) << c.src;
  }
}

TEST(LinkRulesTest, TheCutCountsCharactersNotBytes) {
  const std::string src = std::string(254, 'a') + "\xC4\x8D" + "xyz";  // 254 letters, "č", more
  EXPECT_EQ(SplitLocalLink(src).filePart, std::string(254, 'a') + "\xC4\x8D");
}

TEST(LinkRulesTest, LocalKindsGoByTheExtensionOfTheExpandedPath) {
  struct Case {
    const char* path;
    const char* kind;
  };
  const Case cases[] = {
      {"/mag/sound.wav", "wave"},     {"/mag/SOUND.Wav", "wave"},
      {"/mag/setup.exe", "program"},  {"d:/tools/app.EXE", "program"},
      {"/mag/music.MID", "media"},    {"/mag/clip.avi", "media"},
      {"/mag/page.htm", "pane"},      {"/mag/page.htm#wav", "pane"},
      {"/mag/setup.exe.htm", "pane"}, {"/mag.exe/readme", "pane"},  // the dot belongs to a folder
      {"c:\\mag.wav\\x", "pane"},     {"c:.exe", "program"},
      {"/mag/noext", "pane"},         {"/mag/", "pane"},
  };
  for (const Case& c : cases) EXPECT_EQ(KindName(LocalLinkKind(c.path)), c.kind) << c.path;
}

// Mail and console links are told by their capitals; a web link only by its
// own scheme, since it goes out to the desktop.
TEST(LinkRulesTest, SchemesAreTestedInTheirOrderAndTheWebByItsRealScheme) {
  struct Case {
    const char* src;
    const char* kind;
  };
  const Case cases[] = {
      {"mailto:someone", "mail"},
      {"MailTo:someone@example.org", "mail"},
      {"http://example.org/", "web"},
      {"HTTP://EXAMPLE.ORG/", "web"},
      {"https://example.org/", "pane"},  // no "HTTP:" in it
      {"ftp://example.org/", "pane"},
      {"con_com:load_main page2.htm", "command"},
      {"CON_COM:exit now", "command"},
      {"xcon_com:whatever", "command"},         // anywhere in the link
      {"con_com:shell_execute http://x", "command"},  // its scheme is con_com
      {"http://x/?to=mailto:someone", "mail"},        // "MAILTO:" before both
      {"news:comp.lang", "pane"},
      {"Http://example.org/", "web"},
      {"http:x", "web"},
      {"x-evil://run?http:", "pane"},  // "HTTP:" in it, but not its scheme
      {"x-evil:HTTP://x", "pane"},
      {"ssh://host/?http://x", "pane"},
      {" http://x", "pane"},  // no scheme starts with a blank
  };
  for (const Case& c : cases) EXPECT_EQ(KindName(SchemeLinkKind(c.src)), c.kind) << c.src;
}

TEST(LinkRulesTest, ParametersReachTheProgramAsWordsAndNeverAsShellSyntax) {
  struct Case {
    const char* parameters;
    const char* shell;
  };
  const Case cases[] = {
      {"", ""},
      {"-silent", "-silent"},
      {"/s /d=c:\\x", "/s '/d=c:\\x'"},
      {"a  b", "a b"},
      {"\"two words\" x", "'two words' x"},
      {"\"\"", "''"},
      {"; rm -rf ~", "';' rm -rf '~'"},
      {"$(reboot)", "'$(reboot)'"},
      {"`id` it's", "'`id`' 'it'\\''s'"},
      {"a|b>c&", "'a|b>c&'"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShellParameters(c.parameters), c.shell) << c.parameters;
}

TEST(LinkRulesTest, WineCommandLineQuotesThePathAndKeepsTheBlankBeforeTheParameters) {
  EXPECT_EQ(WineCommandLine("/mag/setup.exe", "-silent"), "wine '/mag/setup.exe' -silent");
  EXPECT_EQ(WineCommandLine("/mag/setup.exe", ""), "wine '/mag/setup.exe' ");
  EXPECT_EQ(WineCommandLine("/my mag/it's.exe", "x"), "wine '/my mag/it'\\''s.exe' x");
}

TEST(LinkRulesTest, ProgramsAreFoundOnlyAsExecutableFilesOnThePath) {
  TempFolder tmp;
  tmp.write("plain/wine", "#!/bin/sh\n");  // not executable
  tmp.write("bin/wine", "#!/bin/sh\n");
  ASSERT_EQ(::chmod(tmp.file("bin/wine").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(tmp.file("dir").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(tmp.file("dir/wine").c_str(), 0755), 0);  // a folder is no program

  const std::string plain = tmp.file("plain");
  const std::string bin = tmp.file("bin");
  const std::string dir = tmp.file("dir");
  EXPECT_EQ(FindProgramOnPath("wine", plain + ":" + dir + ":" + bin), bin + "/wine");
  EXPECT_EQ(FindProgramOnPath("wine", plain + ":" + dir), std::nullopt);
  EXPECT_EQ(FindProgramOnPath("wine", ""), std::nullopt);
  EXPECT_EQ(FindProgramOnPath("", bin), std::nullopt);
}

}  // namespace
}  // namespace pagemoor
