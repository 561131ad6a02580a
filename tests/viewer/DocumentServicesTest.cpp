#include "viewer/DocumentServices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;
using testing::HasSubstr;

TEST(DocumentServicesTest, OnlyALowerCaseWavEndingPlaysAsASample) {
  struct Case {
    const char* path;
    bool sample;
  };
  const Case cases[] = {
      {"/mag/sounds/click.wav", true}, {".wav", true},
      {"/mag/click.WAV", false},       {"/mag/click.Wav", false},
      {"/mag/tune.mp3", false},        {"/mag/wav", false},
      {"/mag/click.wav.mp3", false},   {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaysAsSample(c.path), c.sample) << c.path;
}

// A contacts file and the current folder in a temporary folder.
class IncludeTest : public testing::Test {
 protected:
  IncludeTest() {
    char here[PATH_MAX];
    if (::getcwd(here, sizeof here)) m_previous = here;
    EXPECT_EQ(::chdir(tmp.path().c_str()), 0);
    contacts = tmp.file("ini/contacts.ini");
  }
  ~IncludeTest() override {
    ClearIniCache();
    if (!m_previous.empty()) {
      EXPECT_EQ(::chdir(m_previous.c_str()), 0);
    }
  }

  std::string include(const std::string& command, const std::vector<std::string>& params = {}) {
    return IncludeText(command, params, contacts, clock);
  }
  std::string contactsText() {
    FlushIniWrites();
    return tmp.read("ini/contacts.ini");
  }

  TempFolder tmp;
  std::string contacts;
  IncludeClock clock{[] { return std::string("24.12.2024"); }, [] { return std::string("18:30:05"); }};

 private:
  std::string m_previous;
};

TEST_F(IncludeTest, TextCommandsIgnoreLetterCase) {
  struct Case {
    const char* command;
    std::string text;
  };
  const Case cases[] = {
      {"Date", "24.12.2024"},
      {"date", "24.12.2024"},
      {"DATE", "24.12.2024"},
      {"Time", "18:30:05"},
      {"time", "18:30:05"},
      {"AppVersion", "Pagemoor version: " + std::to_string(AppVersion())},
      {"appversion", "Pagemoor version: " + std::to_string(AppVersion())},
      {"AppVer", std::to_string(AppVersion())},
      {"APPVER", std::to_string(AppVersion())},
      {"Signature", ""},  // no parameters
      {"Include", ""},    // no parameters
      {"Counter", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(include(c.command), c.text) << c.command;
}

TEST_F(IncludeTest, TextCommandsAreCutTo255Characters) {
  clock.date = [] { return std::string(300, 'd'); };
  clock.time = [] { return std::string(254, 't') + "\xC4\x8D\xC4\x8D"; };  // 256 characters
  EXPECT_EQ(include("date"), std::string(255, 'd'));
  EXPECT_EQ(include("time"), std::string(254, 't') + "\xC4\x8D");

  tmp.write("ini/contacts.ini", "[ann]\r\nsignature=" + std::string(400, 's') + "\r\n");
  EXPECT_EQ(include("signature", {"USER=\"ann\""}), std::string(255, 's'));
}

TEST_F(IncludeTest, IncludeInsertsTheWholeFileFromTheCurrentFolder) {
  const std::string part = "<p>" + std::string(1000, 'x') + "</p>\n";
  tmp.write("part.htm", part);
  tmp.write("parts/Deep.htm", "deep");
  tmp.write("cp1250.htm", "\x9A\xE1rka");  // "šárka" in windows-1250

  struct Case {
    std::vector<std::string> params;
    std::string text;
  };
  const Case cases[] = {
      {{"FILE=\"part.htm\""}, part},
      {{"FILE=\"part.htm\"", "USER=\"ann\""}, part},
      {{"FILE=\"parts\\deep.htm\""}, "deep"},  // folder steps and letter case as on the original system
      {{"FILE=\"" + tmp.file("part.htm") + "\""}, part},
      {{"FILE=\"cp1250.htm\""}, "\xC5\xA1\xC3\xA1rka"},
      {{"FILE=\"missing.htm\""}, ""},
      {{"FILE=\"\""}, ""},
      {{"FILE=\"parts\""}, ""},                     // a folder
      {{"USER=\"ann\"", "FILE=\"part.htm\""}, ""},  // only the first entry counts
      {{"FILE=part.htm"}, ""},
      // A parameter whose name merely ends in FILE names no file.
      {{"PROFILE=\"part.htm\""}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(include("Include", c.params), c.text) << c.params.front();
}

TEST_F(IncludeTest, SignatureFillsThePersonsPatternFromTheAddressBook) {
  tmp.write("ini/contacts.ini",
            "[common]\r\ndefaultsignaturestyle=%firstname% (%MAIL%)\r\n"
            "[ann]\r\nsignature=%FirstName% %LastName%, %position% %firstname%\r\n"
            "firstname=Ann\r\nlastname=Lee\r\nposition=editor\r\n"
            "[2]\r\nsignature=%nickname%\r\nnickname=Bob\r\n"
            "[cy]\r\nfirstname=Cy\r\nmail=cy@example.org\r\n");
  struct Case {
    std::vector<std::string> params;
    std::string text;
  };
  const Case cases[] = {
      {{"USER=\"Ann\""}, "Ann Lee, editor Ann"},
      {{"user=\"ANN\""}, "Ann Lee, editor Ann"},
      {{"USER=\"\"Ann\"\""}, "Ann Lee, editor Ann"},  // quotation marks in the value go too
      {{"FILE=\"x\"", "USER=\"ann\""}, "Ann Lee, editor Ann"},
      {{"USER=\"2\""}, "Bob"},
      {{"USER=\"cy\""}, "Cy (cy@example.org)"},  // no own signature: the default style
  };
  for (const Case& c : cases) EXPECT_EQ(include("Signature", c.params), c.text) << c.params.front();
}

TEST_F(IncludeTest, APersonWithoutSignatureGetsTheDefaultStyleWrittenIntoTheSection) {
  tmp.write("ini/contacts.ini",
            "[common]\r\ndefaultsignaturestyle=Yours, %firstname%\r\n[cy]\r\nfirstname=Cy\r\n");
  EXPECT_EQ(BuildSignature({"USER=\"Cy\""}, contacts), "Yours, Cy");
  EXPECT_EQ(ReadIniValue(contacts, "cy", "signature"), "Yours, %firstname%");
  EXPECT_THAT(contactsText(), HasSubstr("[cy]\r\nfirstname=Cy\r\nsignature=Yours, %firstname%"));
}

TEST_F(IncludeTest, WithoutAUserTheDefaultStyleIsUsedEmptyAndNothingIsWritten) {
  const std::string book = "[common]\r\ndefaultsignaturestyle=-- %firstname%%lastname% --\r\n";
  tmp.write("ini/contacts.ini", book);
  EXPECT_EQ(BuildSignature({"NAME=\"ann\""}, contacts), "--  --");
  EXPECT_EQ(BuildSignature({}, contacts), "--  --");
  EXPECT_EQ(contactsText(), book);
}

TEST_F(IncludeTest, AMissingAddressBookGivesEmptyText) {
  EXPECT_EQ(include("Signature", {"USER=\"ann\""}), "");
}

}  // namespace
}  // namespace pagemoor
