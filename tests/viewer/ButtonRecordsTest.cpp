#include "viewer/ButtonRecords.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::ScopedCommandLine;
using test::TempFolder;

// A development-mode project in a temporary folder: ProjectDir() is the folder.
class ButtonRecordsTest : public testing::Test {
 protected:
  ButtonRecordsTest() { ClearIniCache(); }
  ~ButtonRecordsTest() override { ClearIniCache(); }

  std::vector<ButtonRecord> read(const std::string& text) {
    const std::string file = tmp.write("ini/buttons.ini", text);
    std::vector<ButtonRecord> records = ReadButtonRecords(file);
    FlushIniWrites();
    return records;
  }
  std::string fileText() const { return tmp.read("ini/buttons.ini"); }

  TempFolder tmp;
  ScopedCommandLine commandLine{tmp.file("MAG.EXE"), {"/develope"}};
};

std::string Section(int n, const std::string& command) {
  return "[" + std::to_string(n) + "]\r\ncommand=" + command + "\r\n";
}

TEST_F(ButtonRecordsTest, ReadsEveryKeyOfASection) {
  const auto records = read(
      "[1]\r\ncommand=load_main page2.htm\r\nfile=Next.gif\r\nhint=Next page\r\nautosize=no\r\n"
      "stretch=ano\r\nnormal=false\r\ncursor=1680\r\nheight=33\r\nwidth=44\r\nleft=-5\r\ntop=7\r\n");
  ASSERT_EQ(records.size(), 1u);
  const ButtonRecord& r = records[0];
  EXPECT_EQ(r.command, "load_main page2.htm");
  EXPECT_EQ(r.file, ProjectDir() + "pictures/Next.gif");
  EXPECT_EQ(r.hint, "Next page");
  EXPECT_FALSE(r.autosize);
  EXPECT_TRUE(r.stretch);
  EXPECT_FALSE(r.normal);
  EXPECT_EQ(r.cursor, 1680);
  EXPECT_EQ(r.height, 33);
  EXPECT_EQ(r.width, 44);
  EXPECT_EQ(r.left, -5);
  EXPECT_EQ(r.top, 7);
}

TEST_F(ButtonRecordsTest, MissingKeysGetTheirDefaultsAndAreWrittenBackInReadingOrder) {
  const auto records = read(Section(1, "message hi"));
  ASSERT_EQ(records.size(), 1u);
  const ButtonRecord& r = records[0];
  EXPECT_EQ(r.command, "message hi");
  EXPECT_EQ(r.file, ProjectDir() + "pictures/");
  EXPECT_EQ(r.hint, "");
  EXPECT_TRUE(r.autosize);
  EXPECT_FALSE(r.stretch);
  EXPECT_TRUE(r.normal);
  EXPECT_EQ(r.cursor, -21);
  EXPECT_EQ(r.height, 10);
  EXPECT_EQ(r.width, 10);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 100);
  // The section after the last button gets an empty command.
  EXPECT_EQ(fileText(),
            "[1]\r\ncommand=message hi\r\nfile= \r\nhint= \r\nautosize=true\r\nstretch=false\r\n"
            "normal=true\r\ncursor=-21\r\nheight= \r\nwidth= \r\nleft= \r\ntop= \r\n"
            "[2]\r\ncommand= \r\n");
}

TEST_F(ButtonRecordsTest, StopsAtTheFirstNumberWithoutACommand) {
  const auto records = read(Section(1, "a") + Section(2, "b") + Section(4, "d") + "file=d.gif\r\n");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].command, "a");
  EXPECT_EQ(records[1].command, "b");
  // Section 4 is neither read nor filled in.
  const std::string text = fileText();
  EXPECT_NE(text.find("[3]\r\ncommand= \r\n"), std::string::npos);
  EXPECT_NE(text.find("[4]\r\ncommand=d\r\nfile=d.gif\r\n"), std::string::npos);
  EXPECT_EQ(text.find("file=d.gif\r\nhint"), std::string::npos);
}

TEST_F(ButtonRecordsTest, NoButtonWithoutACommandInSectionOne) {
  for (const std::string& text :
       {std::string(), std::string("[1]\r\ncommand=\r\nfile=a.gif\r\n"), Section(2, "b")}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(read(text).empty());
  }
}

TEST_F(ButtonRecordsTest, AHundredButtonsAtMostAndSection101IsNeverRead) {
  std::string text;
  for (int n = 1; n <= 100; ++n) text += Section(n, "cmd" + std::to_string(n));
  const auto records = read(text);
  ASSERT_EQ(records.size(), 100u);
  EXPECT_EQ(records.front().command, "cmd1");
  EXPECT_EQ(records.back().command, "cmd100");
  EXPECT_EQ(fileText().find("[101]"), std::string::npos);
}

struct PositionCase {
  std::string value;
  int expected;  // height, width and left
  int expectedTop;
};
// Named by the value in the test list, not by the bytes of the case.
void PrintTo(const PositionCase& c, std::ostream* os) { *os << '"' << c.value << '"'; }

class ButtonPositions : public ButtonRecordsTest, public testing::WithParamInterface<PositionCase> {};

TEST_P(ButtonPositions, ValuesThatAreNoIntegerFallBack) {
  const std::string v = GetParam().value;
  const auto records =
      read(Section(1, "x") + "height=" + v + "\r\nwidth=" + v + "\r\nleft=" + v + "\r\ntop=" + v + "\r\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].height, GetParam().expected);
  EXPECT_EQ(records[0].width, GetParam().expected);
  EXPECT_EQ(records[0].left, GetParam().expected);
  EXPECT_EQ(records[0].top, GetParam().expectedTop);
}

INSTANTIATE_TEST_SUITE_P(Values, ButtonPositions,
                         testing::Values(PositionCase{"25", 25, 25}, PositionCase{"+3", 3, 3},
                                         PositionCase{"-40", -40, -40}, PositionCase{"abc", 10, 100},
                                         PositionCase{"12.5", 10, 100}, PositionCase{"0x10", 10, 100},
                                         PositionCase{"12px", 10, 100},
                                         // Beyond the 32-bit range is no integer either.
                                         PositionCase{"4294967306", 10, 100}));

class BadCursor : public ButtonRecordsTest, public testing::WithParamInterface<std::string> {};

TEST_P(BadCursor, EndsTheReadingWithAConversionError) {
  // The error in section 2 loses section 1 as well: nothing is returned.
  const std::string text = Section(1, "a") + Section(2, "b") + "cursor=" + GetParam() + "\r\n";
  tmp.write("ini/buttons.ini", text);
  EXPECT_THROW(ReadButtonRecords(tmp.file("ini/buttons.ini")), ConvertError);
}

INSTANTIATE_TEST_SUITE_P(Values, BadCursor, testing::Values("hand", "1.5", "-21x", "99999999999"));

}  // namespace
}  // namespace pagemoor
