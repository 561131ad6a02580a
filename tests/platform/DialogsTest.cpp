#include "platform/Dialogs.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/IniDocument.h"
#include "platform/HeadlessPlatform.h"
#include "platform/ScriptedPlatform.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::PlatformCall;

TEST(MessageBoxTest, ShowInfoAndAskYesNoUseTheSystemsCaptions) {
  FakePlatform inner;
  std::ostringstream err;
  ScriptedPlatform scripted(inner, AnswerQueue("ok, no, yes"), err);
  ScopedPlatform use(scripted);

  ShowInfo("Saved.");
  EXPECT_FALSE(AskYesNo("Quit now?"));
  EXPECT_TRUE(AskYesNo("Really?"));
  EXPECT_EQ(err.str(),
            "[ui] info: Information: Saved.\n"
            "[ui] confirm: Confirm: Quit now?\n"
            "[ui] confirm: Confirm: Really?\n");
}

TEST(MessageBoxTest, AskYesNoReturnsWhatThePlatformAnswers) {
  FakePlatform fake;
  ScopedPlatform use(fake);
  fake.yesNoAnswers = {false, true};
  EXPECT_FALSE(AskYesNo("a"));
  EXPECT_TRUE(AskYesNo("b"));
  EXPECT_EQ(fake.calls,
            (std::vector<PlatformCall>{{"confirm", "Confirm", "a"}, {"confirm", "Confirm", "b"}}));
}

class NumberedMessageTest : public ::testing::Test {
 protected:
  NumberedMessageTest() : use(fake) { ResetNumberedMessages(); }
  ~NumberedMessageTest() override { ResetNumberedMessages(); }
  std::vector<std::string> shown() const { return fake.textsOf("info"); }

  FakePlatform fake;
  ScopedPlatform use;
};

TEST_F(NumberedMessageTest, FirstDefaultForANumberIsStoredAndWinsLater) {
  ShowNumberedMessage(1, "Cannot open the page.");
  ShowNumberedMessage(1, "Another text for one.");
  ShowNumberedMessage(2, "Second.");
  ShowNumberedMessage(2, "Other second.");
  ShowNumberedMessage(1, "");
  EXPECT_EQ(shown(), (std::vector<std::string>{"Cannot open the page.", "Cannot open the page.", "Second.",
                                               "Second.", "Cannot open the page."}));
  EXPECT_EQ(fake.callsOf("info").front().caption, "Information");
}

TEST_F(NumberedMessageTest, NumberPastTheEndShowsItsDefaultWithoutStoringIt) {
  ShowNumberedMessage(2, "two, early");
  ShowNumberedMessage(2, "two, again");  // still nothing stored at 2
  ShowNumberedMessage(0, "zero");
  ShowNumberedMessage(-3, "negative");
  ShowNumberedMessage(1, "one");  // the table's first entry: not "zero", not "two, early"
  ShowNumberedMessage(1, "x");
  ShowNumberedMessage(2, "two, now stored");
  ShowNumberedMessage(2, "y");
  EXPECT_EQ(shown(), (std::vector<std::string>{"two, early", "two, again", "zero", "negative", "one", "one",
                                               "two, now stored", "two, now stored"}));
}

TEST_F(NumberedMessageTest, FormatArgumentsFillTheEntryButTheTableKeepsTheFormat) {
  ShowNumberedMessage(1, "Cannot open %s (%d%%).", {"a.txt", "40"});
  ShowNumberedMessage(1, "ignored %s", {"b.txt", "75"});
  ShowNumberedMessage(1, "ignored");
  ShowNumberedMessage(2, "Missing %s.", {});
  EXPECT_EQ(shown(), (std::vector<std::string>{"Cannot open a.txt (40%).", "Cannot open b.txt (75%).",
                                               "Cannot open %s (%d%%).", "Missing %s."}));
}

TEST(RegistryFunctionTest, SplitThePathAndCreateTheKeyFirst) {
  FakePlatform fake;
  ScopedPlatform use(fake);
  WriteRegString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Tarnwick\\Path", "C:\\mag");
  EXPECT_EQ(ReadRegString("HKEY_LOCAL_MACHINE", "software\\tarnwick\\PATH"), "C:\\mag");
  EXPECT_EQ(ReadRegString("HKEY_CURRENT_USER", "Software\\Tarnwick\\Missing"), "");
  DeleteRegValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\Tarnwick\\Path");
  EXPECT_EQ(ReadRegString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Tarnwick\\Path"), "");
  ReadRegString("HKEY_CURRENT_USER", "TopLevel");

  EXPECT_EQ(fake.calls, (std::vector<PlatformCall>{
                            {"reg-write", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick", "Path=C:\\mag"},
                            {"reg-create", "HKEY_LOCAL_MACHINE\\software\\tarnwick", ""},
                            {"reg-read", "HKEY_LOCAL_MACHINE\\software\\tarnwick", "PATH"},
                            {"reg-create", "HKEY_CURRENT_USER\\Software\\Tarnwick", ""},
                            {"reg-read", "HKEY_CURRENT_USER\\Software\\Tarnwick", "Missing"},
                            {"reg-create", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick", ""},
                            {"reg-delete", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick", "Path"},
                            {"reg-create", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick", ""},
                            {"reg-read", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick", "Path"},
                            {"reg-create", "HKEY_CURRENT_USER", ""},
                            {"reg-read", "HKEY_CURRENT_USER", "TopLevel"},
                        }));
}

TEST(RegistryFunctionTest, ReadingCreatesTheKeyInTheUsersFile) {
  test::TempFolder tmp;
  HeadlessPlatform headless(tmp.file("registry.ini"));
  ScopedPlatform use(headless);
  EXPECT_EQ(ReadRegString("HKEY_CURRENT_USER", "Software\\Tarnwick\\Issue"), "");
  const IniDocument doc(tmp.read("registry.ini"));
  EXPECT_EQ(doc.sectionNames(), std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\Tarnwick"});
  EXPECT_TRUE(doc.keyNames("HKEY_CURRENT_USER\\Software\\Tarnwick").empty()) << "no value is invented";

  WriteRegString("HKEY_CURRENT_USER", "Software\\Tarnwick\\Issue", "Spring");
  EXPECT_EQ(ReadRegString("HKEY_CURRENT_USER", "SOFTWARE\\TARNWICK\\ISSUE"), "Spring");
}

}  // namespace
}  // namespace pagemoor
