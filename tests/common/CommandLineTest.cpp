#include "common/CommandLine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace pagemoor {
namespace {

TEST(CommandLine, OurOptionsAreTakenOffBeforeThePositions) {
  struct Case {
    std::vector<std::string> argv;
    std::string env;
    std::string programFile;
    std::vector<std::string> params;
    std::vector<std::string> unknown;
  };
  const Case cases[] = {
      {{"pagemoor"}, "", "/opt/bin/pagemoor", {}, {}},
      {{"pagemoor", "/develope", "/no_dx"}, "", "/opt/bin/pagemoor", {"/develope", "/no_dx"}, {}},
      {{"pagemoor", "--program=/cd/MAG.EXE", "/develope"}, "", "/cd/MAG.EXE", {"/develope"}, {}},
      {{"pagemoor", "/develope", "--program=/cd/MAG.EXE", "/no_dx"},
       "",
       "/cd/MAG.EXE",
       {"/develope", "/no_dx"},
       {}},
      {{"pagemoor"}, "/env/mag.exe", "/env/mag.exe", {}, {}},
      {{"pagemoor", "--program=/opt/x.exe"}, "/env/mag.exe", "/opt/x.exe", {}, {}},  // the option wins
      {{"pagemoor", "--frobnicate", "/develope"}, "", "/opt/bin/pagemoor", {"/develope"}, {"--frobnicate"}},
      {{"pagemoor", "--version=3"}, "", "/opt/bin/pagemoor", {}, {"--version=3"}},  // a flag takes no value
      {{"pagemoor", "/develope", "--window", "/no_dx"}, "", "/opt/bin/pagemoor", {"/develope", "/no_dx"}, {}},
      {{"pagemoor", "--window=1"}, "", "/opt/bin/pagemoor", {}, {"--window=1"}},
      {{"pagemoor", "--program"}, "", "/opt/bin/pagemoor", {}, {"--program"}},  // needs one
      {{"pagemoor", "--", "--version"}, "", "/opt/bin/pagemoor", {"--version"}, {}},
      {{"pagemoor", "-x", "/"}, "", "/opt/bin/pagemoor", {"-x", "/"}, {}},
      {{"pagemoor", "--program=/a/../b/./M.EXE"}, "", "/b/M.EXE", {}, {}},
  };
  for (const Case& c : cases) {
    CommandLine cl = ParseCommandLine(c.argv, "/opt/bin/pagemoor", c.env);
    EXPECT_EQ(cl.programFile, c.programFile) << c.argv.back();
    EXPECT_EQ(cl.params, c.params) << c.argv.back();
    EXPECT_EQ(cl.unknownOptions, c.unknown) << c.argv.back();
  }
}

TEST(CommandLine, ValueMayFollowOnlyWhereTheOptionAllowsIt) {
  using Options = std::map<std::string, std::string>;
  struct Case {
    std::vector<std::string> argv;
    Options options;
    std::vector<std::string> params;
    std::vector<std::string> unknown;
  };
  const Case cases[] = {
      {{"pagemoor", "--remote", "1026"}, {{"remote", "1026"}}, {}, {}},
      {{"pagemoor", "--remote=1026", "/develope"}, {{"remote", "1026"}}, {"/develope"}, {}},
      {{"pagemoor", "--remote", "1026", "/develope"}, {{"remote", "1026"}}, {"/develope"}, {}},
      // The parser takes any text; whether it is a message number is the program's business.
      {{"pagemoor", "/develope", "--remote", "x"}, {{"remote", "x"}}, {"/develope"}, {}},
      {{"pagemoor", "--remote="}, {{"remote", ""}}, {}, {}},
      {{"pagemoor", "--remote"}, {}, {}, {"--remote"}},
      // Another option is not swallowed as the value.
      {{"pagemoor", "--remote", "--version"}, {{"version", ""}}, {}, {"--remote"}},
      {{"pagemoor", "--remote", "--", "1026"}, {}, {"1026"}, {"--remote"}},
      // Only options that allow it take the next argument.
      {{"pagemoor", "--program", "/cd/MAG.EXE"}, {}, {"/cd/MAG.EXE"}, {"--program"}},
      {{"pagemoor", "--version", "1026"}, {{"version", ""}}, {"1026"}, {}},
  };
  for (const Case& c : cases) {
    const CommandLine cl = ParseCommandLine(c.argv, "/opt/bin/pagemoor", "");
    std::string label;
    for (const std::string& a : c.argv) label += a + " ";
    EXPECT_EQ(cl.options, c.options) << label;
    EXPECT_EQ(cl.params, c.params) << label;
    EXPECT_EQ(cl.unknownOptions, c.unknown) << label;
  }
}

TEST(CommandLine, RelativeProgramFileIsMadeAbsolute) {
  CommandLine cl = ParseCommandLine({"pagemoor", "--program=mag/MAG.EXE"}, "/x", "");
  ASSERT_FALSE(cl.programFile.empty());
  EXPECT_EQ(cl.programFile.front(), '/');
  EXPECT_TRUE(cl.programFile.ends_with("/mag/MAG.EXE"));
}

TEST(CommandLine, CurrentCommandLineAnswersParamStr) {
  const CommandLine saved = CurrentCommandLine();
  SetCommandLine(ParseCommandLine({"pagemoor", "--version", "/DEVELOPE", "/no_dx"}, "/p/MAG.EXE", ""));
  EXPECT_EQ(ParamCount(), 2u);
  EXPECT_EQ(ParamStr(0), "/p/MAG.EXE");
  EXPECT_EQ(ParamStr(1), "/DEVELOPE");
  EXPECT_EQ(ParamStr(3), "");
  EXPECT_TRUE(IsDevelopMode());
  EXPECT_TRUE(CurrentCommandLine().has("version"));
  EXPECT_FALSE(CurrentCommandLine().has("help"));
  SetCommandLine(saved);
}

}  // namespace
}  // namespace pagemoor
