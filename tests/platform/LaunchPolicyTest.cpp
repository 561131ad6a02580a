#include "platform/LaunchPolicy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/IniLang.h"
#include "platform/ScriptedPlatform.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using testing::ElementsAre;
using testing::IsEmpty;

std::string Real(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : "<no such file " + path + ">";
}

TEST(LaunchPolicyTest, TheSchemeIsReadAsUrlsWriteIt) {
  struct Case {
    const char* text;
    const char* scheme;
  };
  const Case cases[] = {
      {"http://x", "http"},        {"HTTP://X", "http"},        {"Mailto:anna", "mailto"},
      {"x-evil://run?http:", "x-evil"}, {"vnd.a+b-c:x", "vnd.a+b-c"}, {"ab:c", "ab"},
      {"C:\\tools\\app.exe", ""},  // a drive letter
      {"1ab:x", ""},               // a scheme starts with a letter
      {"a b:x", ""},               {"-x:y", ""}, {" http://x", ""}, {"page.htm", ""}, {"", ""},
      {":x", ""},                  {"run?http://x", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UrlScheme(c.text), c.scheme) << c.text;
}

// A project folder with files of every kind the magazine may name, and things
// outside it that it must not reach.
class LaunchPolicyFolderTest : public ::testing::Test {
 protected:
  LaunchPolicyFolderTest() {
    tmp.write("project/Docs/ReadMe.TXT", "read me");
    tmp.write("project/texts/setup.exe", "MZ");
    tmp.write("project/start.desktop", "[Desktop Entry]\nExec=id\n");
    tmp.write("project/sub/.keep", "");
    tmp.write("outside/secret.txt", "secret");
    EXPECT_EQ(::symlink(tmp.file("outside/secret.txt").c_str(), tmp.file("project/escape.txt").c_str()), 0);
    EXPECT_EQ(::symlink("Docs/ReadMe.TXT", tmp.file("project/inner.txt").c_str()), 0);
    EXPECT_EQ(::symlink(tmp.file("outside").c_str(), tmp.file("project/out").c_str()), 0);
  }
  std::string project() const { return tmp.file("project/"); }

  test::TempFolder tmp;
};

TEST_F(LaunchPolicyFolderTest, TargetsAreSortedByTheirRealSchemeAndFilesMustBeTheMagazines) {
  struct Case {
    std::string target;
    const char* kind;  // web, file, refused
    std::string text;  // web: the address; file: the real path
  };
  const std::string readMe = Real(tmp.file("project/Docs/ReadMe.TXT"));
  const Case cases[] = {
      {"http://example.org/a b", "web", "http://example.org/a b"},
      {"HTTP://x", "web", "HTTP://x"},
      {"http:x", "web", "http:x"},
      {"https://example.org/", "web", "https://example.org/"},
      {"mailto:", "web", "mailto:"},
      {"FTP://example.org/", "web", "FTP://example.org/"},
      // Another scheme never goes out, whatever it carries.
      {"x-evil://run?http:", "refused", ""},
      {"file:///usr/bin/id", "refused", ""},
      {"ssh://host/", "refused", ""},
      {"smb://server/share", "refused", ""},
      {"news:comp.lang", "refused", ""},
      // Files: relative to the project, in any letter case, with either separator.
      {"Docs/ReadMe.TXT", "file", readMe},
      {"docs\\readme.txt", "file", readMe},
      {"sub/../Docs/ReadMe.TXT", "file", readMe},
      {project() + "Docs/ReadMe.TXT", "file", readMe},
      {"inner.txt", "file", readMe},  // a link that stays inside
      {"start.desktop", "file", Real(tmp.file("project/start.desktop"))},
      // ... and never outside it.
      {"../outside/secret.txt", "refused", ""},
      {"Docs/../../outside/secret.txt", "refused", ""},
      {"escape.txt", "refused", ""},
      {"out/secret.txt", "refused", ""},
      {tmp.file("outside/secret.txt"), "refused", ""},
      {"/usr/bin/id", "refused", ""},
      {"C:\\Windows\\notepad.exe", "refused", ""},
      {"missing.txt", "refused", ""},
      {"sub", "refused", ""},  // a folder is no document
      {"", "refused", ""},
  };
  for (const Case& c : cases) {
    const ShellTarget sorted = ClassifyShellTarget(c.target, project());
    const char* kind = sorted.kind == ShellTarget::Kind::Web    ? "web"
                       : sorted.kind == ShellTarget::Kind::File ? "file"
                                                                : "refused";
    EXPECT_STREQ(kind, c.kind) << c.target;
    if (sorted.kind != ShellTarget::Kind::Refused) {
      EXPECT_EQ(sorted.text, c.text) << c.target;
    }
  }
}

// The policy with a fake platform and the log it writes.
class LaunchConsentTest : public LaunchPolicyFolderTest {
 protected:
  std::vector<std::string> log;
  LaunchPolicy policy{[this](std::string_view source, std::string_view text) {
    log.push_back(std::string(source) + ": " + std::string(text));
  }};
  FakePlatform fake;
  ScopedPlatform use{fake};
};

TEST_F(LaunchConsentTest, WebAddressesGoOutWithoutAQuestionAndOtherSchemesWithOneLogLine) {
  EXPECT_EQ(policy.documentToOpen("HTTP://example.org/", project()), "HTTP://example.org/");
  EXPECT_EQ(policy.documentToOpen("mailto:anna@example.org", project()), "mailto:anna@example.org");
  EXPECT_THAT(log, IsEmpty());
  EXPECT_EQ(policy.documentToOpen("x-evil://run?http:", project()), std::nullopt);
  EXPECT_EQ(policy.documentToOpen("/usr/bin/id", project()), std::nullopt);
  EXPECT_THAT(log, ElementsAre("Shell: Refused (only http, https, mailto and ftp addresses go out): x-evil://run?http:",
                               "Shell: Refused (not a file of the magazine): /usr/bin/id"));
  EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(LaunchConsentTest, AFileOpensAfterYesAskedOnceInTheReading) {
  const std::string readMe = Real(tmp.file("project/Docs/ReadMe.TXT"));
  fake.yesNoAnswers = {true};
  EXPECT_EQ(policy.documentToOpen("Docs/ReadMe.TXT", project()), readMe);
  // The same file by another name is the same file: no second question.
  EXPECT_EQ(policy.documentToOpen("docs\\readme.txt", project()), readMe);
  EXPECT_THAT(fake.textsOf("confirm"),
              ElementsAre("Casopis chce otevrit soubor " + readMe + " programem, ktery k nemu patri. Povolit?"));
  EXPECT_THAT(log, ElementsAre("Shell: The reader allowed: " + readMe));
}

TEST_F(LaunchConsentTest, NoIsRememberedAndNothingGoesOut) {
  const std::string exe = Real(tmp.file("project/texts/setup.exe"));
  fake.yesNoAnswers = {false, true, true};
  EXPECT_EQ(policy.programToStart(tmp.file("project/texts/setup.exe"), "-silent", project()), std::nullopt);
  EXPECT_EQ(policy.programToStart(tmp.file("project/TEXTS/SETUP.EXE"), "", project()), std::nullopt);
  EXPECT_EQ(policy.documentToOpen("texts/setup.exe", project()), std::nullopt);
  EXPECT_EQ(fake.callsOf("confirm").size(), 1u);
  EXPECT_THAT(log, ElementsAre("Shell: The reader refused: " + exe + " -silent",
                               "Shell: Not started, the reader said no: " + exe,
                               "Shell: Not started, the reader said no: " + exe));
  // Another file is another question.
  EXPECT_TRUE(policy.documentToOpen("start.desktop", project()));
  EXPECT_EQ(fake.callsOf("confirm").size(), 2u);
}

TEST_F(LaunchConsentTest, TheQuestionNamesTheProgramAndItsParametersOncePerProgram) {
  const std::string exe = Real(tmp.file("project/texts/setup.exe"));
  fake.yesNoAnswers = {true};
  EXPECT_EQ(policy.programToStart(tmp.file("project/texts/setup.exe"), "-silent \"a b\"", project()), exe);
  EXPECT_EQ(policy.programToStart(tmp.file("project/texts/setup.exe"), "", project()), exe);
  EXPECT_THAT(fake.textsOf("confirm"),
              ElementsAre("Casopis chce spustit program " + exe + " s parametry -silent \"a b\". Povolit?"));
  EXPECT_THAT(log, ElementsAre("Shell: The reader allowed: " + exe + " -silent \"a b\""));

  // A program outside the project is not even asked about.
  EXPECT_EQ(policy.programToStart("d:/tools/app.exe", "", project()), std::nullopt);
  EXPECT_EQ(policy.programToStart(tmp.file("project/escape.txt"), "", project()), std::nullopt);
  EXPECT_EQ(fake.callsOf("confirm").size(), 1u);
  EXPECT_EQ(log.back(), "Shell: Refused (not a file of the magazine): " + tmp.file("project/escape.txt"));
}

TEST_F(LaunchConsentTest, TheQuestionIsInTheMagazinesLanguage) {
  SetLanguageFile(std::make_unique<LanguageFile>(
      "[Misc]\nconfirm_start_program=Run %s?\nconfirm_open_document=Open %s?*|*Sure?\n"));
  fake.yesNoAnswers = {false, false};
  policy.programToStart(tmp.file("project/texts/setup.exe"), "", project());
  policy.documentToOpen("start.desktop", project());
  SetLanguageFile(nullptr);
  EXPECT_THAT(fake.textsOf("confirm"),
              ElementsAre("Run " + Real(tmp.file("project/texts/setup.exe")) + "?",
                          "Open " + Real(tmp.file("project/start.desktop")) + "?\r\nSure?"));
}

// A scripted run: the question is an ordinary "[ui] confirm" line; with no
// answer left it is No, and each program is asked about once.
TEST_F(LaunchPolicyFolderTest, AScriptedRunAsksOnTheQueueAndAnEmptyQueueSaysNo) {
  FakePlatform inner;
  std::ostringstream err;
  ScriptedPlatform scripted(inner, AnswerQueue("yes"), err);
  ScopedPlatform use(scripted);
  std::vector<std::string> log;
  LaunchPolicy policy([&](std::string_view source, std::string_view text) {
    log.push_back(std::string(source) + ": " + std::string(text));
  });
  const std::string exe = Real(tmp.file("project/texts/setup.exe"));
  const std::string desktop = Real(tmp.file("project/start.desktop"));
  EXPECT_EQ(policy.programToStart(tmp.file("project/texts/setup.exe"), "", project()), exe);
  EXPECT_EQ(policy.documentToOpen("start.desktop", project()), std::nullopt);
  EXPECT_EQ(policy.documentToOpen("start.desktop", project()), std::nullopt);
  EXPECT_EQ(err.str(), "[ui] confirm: Confirm: Casopis chce spustit program " + exe +
                           ". Povolit?\n"
                           "[ui] confirm: Confirm: Casopis chce otevrit soubor " +
                           desktop + " programem, ktery k nemu patri. Povolit?\n");
  EXPECT_THAT(log, ElementsAre("Shell: The reader allowed: " + exe, "Shell: The reader refused: " + desktop,
                               "Shell: Not started, the reader said no: " + desktop));
  EXPECT_THAT(inner.calls, IsEmpty());
}

}  // namespace
}  // namespace pagemoor
