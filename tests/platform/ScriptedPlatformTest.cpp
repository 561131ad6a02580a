#include "platform/ScriptedPlatform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/HeadlessPlatform.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string Show(const std::optional<std::string>& value) {
  return value ? "=" + *value : "<none>";
}
std::string Show(const std::optional<FileDialogResult>& value) {
  return value ? "=" + value->path + "#" + std::to_string(value->filterIndex) : "<none>";
}
std::string Show(bool value) {
  return value ? "true" : "false";
}

// One box of each kind, its result written as text, so one table covers all kinds.
std::string Ask(Platform& p, const std::string& kind) {
  if (kind == "confirm") return Show(p.askYesNo("Overwrite?"));
  // The same Yes/No box, with No as its default.
  if (kind == "confirm-no") return Show(p.askYesNoDefaultNo("Start it?"));
  if (kind == "input") return Show(p.inputBox("Name", "Your name:", "Anna"));
  FileDialogOptions options{"Pick", "Text|*.txt", "/tmp", ".txt", "", 2};
  if (kind == "open") return Show(p.openFileDialog(options));
  if (kind == "save") return Show(p.saveFileDialog(options));
  if (kind == "folder") return Show(p.folderDialog("Where", "/tmp"));
  ADD_FAILURE() << "unknown kind " << kind;
  return {};
}

class ScriptedPlatformTest : public ::testing::Test {
 protected:
  ScriptedPlatform make(const char* answers) { return ScriptedPlatform(inner, AnswerQueue(answers), err); }
  std::vector<std::string> lines() const { return Lines(err.str()); }

  FakePlatform inner;
  std::ostringstream err;
};

TEST_F(ScriptedPlatformTest, WritesOneLinePerBoxWithLineBreaksEscaped) {
  ScriptedPlatform p = make("");
  p.showInfo("first\r\nsecond\nthird\rfourth");
  p.askYesNo("Delete it?");
  p.inputBox("Two\nlines", "Prompt:", "x");
  p.openFileDialog({"Open picture", "Pictures|*.jpg;*.gif", "/pics", "", "", 1});
  p.saveFileDialog({"", "Text|*.txt", "", "", "", 1});
  p.folderDialog("Choose folder", "/home/anna");
  p.openDocument("http://example.org/a b");
  p.startProgram("notes.sh\n--fast", "/tmp");

  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "[ui] info: Information: first\\nsecond\\nthird\\nfourth",
                         "[ui] confirm: Confirm: Delete it?",
                         "[ui] input: Two\\nlines: Prompt:",
                         "[ui] open: Open picture: Pictures|*.jpg;*.gif",
                         "[ui] save: : Text|*.txt",
                         "[ui] folder: Choose folder: /home/anna",
                         "[ui] shell: open: http://example.org/a b",
                         "[ui] shell: start: notes.sh\\n--fast",
                     }));
  // Shell requests in a scripted run start nothing, not even through the inner platform.
  EXPECT_TRUE(inner.calls.empty());
}

struct AnswerCase {
  std::string kind;
  const char* answers;
  std::string result;
};

class ScriptedAnswerTest : public ScriptedPlatformTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ScriptedAnswerTest, TakesOneFittingAnswerWithoutComplaint) {
  ScriptedPlatform p = make(GetParam().answers);
  EXPECT_EQ(Ask(p, GetParam().kind), GetParam().result);
  EXPECT_EQ(lines().size(), 1u) << err.str();
  EXPECT_TRUE(p.scriptedAnswers()->empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ScriptedAnswerTest,
    ::testing::Values(
        // An empty queue presses the default button.
        AnswerCase{"confirm", "", "true"}, AnswerCase{"input", "", "=Anna"}, AnswerCase{"open", "", "<none>"},
        AnswerCase{"save", "", "<none>"}, AnswerCase{"folder", "", "<none>"},
        // Confirm.
        AnswerCase{"confirm", "yes", "true"}, AnswerCase{"confirm", "ok", "true"},
        AnswerCase{"confirm", "No", "false"}, AnswerCase{"confirm", "cancel", "false"},
        AnswerCase{"confirm", "close", "false"},
        // The box whose default is No: an empty queue starts nothing.
        AnswerCase{"confirm-no", "", "false"}, AnswerCase{"confirm-no", "yes", "true"},
        AnswerCase{"confirm-no", "ok", "true"}, AnswerCase{"confirm-no", "no", "false"},
        AnswerCase{"confirm-no", "close", "false"},
        // Input.
        AnswerCase{"input", "text:Jana Nováková", "=Jana Nováková"}, AnswerCase{"input", "text:", "="},
        AnswerCase{"input", "text:a\\, b", "=a, b"}, AnswerCase{"input", "ok", "=Anna"},
        AnswerCase{"input", "cancel", "<none>"}, AnswerCase{"input", "close", "<none>"},
        // File dialogs keep the filter they were opened with.
        AnswerCase{"open", "file:/data/a.txt", "=/data/a.txt#2"}, AnswerCase{"open", "cancel", "<none>"},
        AnswerCase{"open", "close", "<none>"}, AnswerCase{"save", "file:C:\\out\\b.txt", "=C:\\out\\b.txt#2"},
        AnswerCase{"save", "cancel", "<none>"},
        // Folder.
        AnswerCase{"folder", "file:/srv", "=/srv"}, AnswerCase{"folder", "text:/srv/x", "=/srv/x"},
        AnswerCase{"folder", "cancel", "<none>"}, AnswerCase{"folder", "close", "<none>"}));

class ScriptedUnexpectedTest : public ScriptedPlatformTest,
                               public ::testing::WithParamInterface<AnswerCase> {};

// The case's answers are "WRONG,ok": the wrong one is used up and reported, the
// box takes its default, and the next answer is left for the next box.
TEST_P(ScriptedUnexpectedTest, ReportsTheAnswerAndTakesTheDefault) {
  ScriptedPlatform p = make(GetParam().answers);
  EXPECT_EQ(Ask(p, GetParam().kind), GetParam().result);
  const std::string wrong =
      std::string(GetParam().answers).substr(0, std::string(GetParam().answers).find(','));
  ASSERT_EQ(lines().size(), 2u) << err.str();
  EXPECT_EQ(lines()[1], "[ui] error: unexpected answer \"" + wrong + "\" for " + GetParam().kind);
  ASSERT_EQ(p.scriptedAnswers()->size(), 1u);
  EXPECT_TRUE(p.scriptedAnswers()->front().is("ok"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ScriptedUnexpectedTest,
    ::testing::Values(AnswerCase{"confirm", "text:yes,ok", "true"},
                      AnswerCase{"confirm", "file:/x,ok", "true"}, AnswerCase{"input", "yes,ok", "=Anna"},
                      AnswerCase{"input", "file:/x,ok", "=Anna"}, AnswerCase{"open", "text:/x,ok", "<none>"},
                      AnswerCase{"open", "yes,ok", "<none>"}, AnswerCase{"open", "file:,ok", "<none>"},
                      AnswerCase{"save", "no,ok", "<none>"}, AnswerCase{"folder", "project:X,ok", "<none>"}));

// A Yes/No box with No as its default writes the line any Yes/No box writes,
// and an answer that does not fit it counts as No, not as the usual Yes.
TEST_F(ScriptedPlatformTest, TheBoxThatDefaultsToNoSaysNoToAWrongAnswer) {
  ScriptedPlatform p = make("link:Start, yes");
  EXPECT_FALSE(p.askYesNoDefaultNo("Start\nit?"));
  EXPECT_EQ(lines(), (std::vector<std::string>{"[ui] confirm: Confirm: Start\\nit?",
                                               "[ui] error: unexpected answer \"link:Start\" for confirm"}));
  ASSERT_EQ(p.scriptedAnswers()->size(), 1u);
  EXPECT_TRUE(p.askYesNoDefaultNo("Again?"));
  EXPECT_TRUE(p.scriptedAnswers()->empty());
}

TEST_F(ScriptedPlatformTest, InformationBoxTakesAnyOneAnswer) {
  ScriptedPlatform p = make("no, file:/x, ok");
  p.showInfo("one");
  p.showInfo("two");
  EXPECT_EQ(lines().size(), 2u) << "no error for any answer: " << err.str();
  ASSERT_EQ(p.scriptedAnswers()->size(), 1u);
  p.showInfo("three");
  p.showInfo("empty queue");
  EXPECT_TRUE(p.scriptedAnswers()->empty());
  EXPECT_EQ(lines().size(), 4u);
}

TEST_F(ScriptedPlatformTest, PlainMessageBoxWritesItsCaptionAndTakesAnyOneAnswer) {
  ScriptedPlatform p = make("no, ok");
  p.showMessage("Test Mag", "Red\nis checked");
  p.showMessage("", "empty caption");
  p.showMessage("Test Mag", "empty queue");
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "[ui] message: Test Mag: Red\\nis checked",
                         "[ui] message: : empty caption",
                         "[ui] message: Test Mag: empty queue",
                     }));
  EXPECT_TRUE(p.scriptedAnswers()->empty());
  EXPECT_TRUE(inner.calls.empty());
}

TEST_F(ScriptedPlatformTest, ScriptedAnswersIsTheQueueTheBoxesUse) {
  ScriptedPlatform p = make("");
  ASSERT_NE(p.scriptedAnswers(), nullptr);
  p.scriptedAnswers()->push("no");
  EXPECT_FALSE(p.askYesNo("Continue?"));
}

class FakeWindow : public ModalWindow {
 public:
  std::string modalName() const override { return "frmInstall"; }
  std::string modalCaption() const override { return "Install\nissue"; }
  int execModal() override {
    ++execCount;
    return -1;
  }
  int runScripted(AnswerQueue& answers) override {
    ++runCount;
    seenFront = answers.front().text;
    if (answers.front().is("project")) return static_cast<int>(answers.take().value->size());
    return 0;
  }
  int execCount = 0;
  int runCount = 0;
  std::string seenFront;
};

// A window that leaves scripted runs to the default.
class PlainWindow : public ModalWindow {
 public:
  std::string modalName() const override { return "frmPlain"; }
  std::string modalCaption() const override { return ""; }
  int execModal() override { return -1; }
};

TEST_F(ScriptedPlatformTest, ModalWindowClosesAtOnceOnAnEmptyQueueOrClose) {
  ScriptedPlatform p = make("");
  FakeWindow window;
  EXPECT_EQ(p.showModal(window), 0);
  p.scriptedAnswers()->push("close");
  p.scriptedAnswers()->push("yes");
  EXPECT_EQ(p.showModal(window), 0);

  EXPECT_EQ(window.runCount, 0);
  EXPECT_EQ(window.execCount, 0);
  ASSERT_EQ(p.scriptedAnswers()->size(), 1u) << "only the close is taken";
  EXPECT_TRUE(p.scriptedAnswers()->front().is("yes"));
  EXPECT_EQ(lines(), (std::vector<std::string>{"[ui] modal: frmInstall: Install\\nissue",
                                               "[ui] modal: frmInstall: Install\\nissue"}));
}

TEST_F(ScriptedPlatformTest, ModalWindowTakesItsOwnAnswers) {
  ScriptedPlatform p = make("project:Spring, yes");
  FakeWindow window;
  EXPECT_EQ(p.showModal(window), 6);
  EXPECT_EQ(window.runCount, 1);
  EXPECT_EQ(window.seenFront, "project:Spring");
  EXPECT_EQ(window.execCount, 0);
  EXPECT_TRUE(p.scriptedAnswers()->front().is("yes"));

  PlainWindow plain;
  EXPECT_EQ(p.showModal(plain), 0);
  EXPECT_EQ(lines().back(), "[ui] modal: frmPlain: ");
  EXPECT_EQ(p.scriptedAnswers()->size(), 1u) << "the default run takes nothing";
}

TEST_F(ScriptedPlatformTest, EventsSleepAndRegistryGoToTheInnerPlatform) {
  ScriptedPlatform p = make("");
  p.processEvents();
  p.sleepAndProcessEvents(3);
  p.createRegistryKey("HKEY_CURRENT_USER", "Software\\Tarnwick");
  p.writeRegistryValue("HKEY_CURRENT_USER", "Software\\Tarnwick", "Path", "C:\\mag");
  EXPECT_EQ(p.readRegistryValue("HKEY_CURRENT_USER", "Software\\Tarnwick", "path"), "C:\\mag");
  p.deleteRegistryValue("HKEY_CURRENT_USER", "Software\\Tarnwick", "Path");
  EXPECT_EQ(p.readRegistryValue("HKEY_CURRENT_USER", "Software\\Tarnwick", "Path"), "");

  EXPECT_EQ(inner.processEventsCount, 2);
  EXPECT_EQ(inner.sleptMilliseconds, 3);
  EXPECT_EQ(inner.callsOf("reg-create").size(), 1u);
  EXPECT_EQ(inner.callsOf("reg-delete").size(), 1u);
  EXPECT_TRUE(err.str().empty()) << "registry use is not a box: " << err.str();
}

TEST(ScriptedUiRequestedTest, OnlyOneSwitchesItOn) {
  const std::vector<std::pair<const char*, bool>> cases = {{"1", true},    {"0", false},  {"", false},
                                                           {"yes", false}, {" 1", false}, {nullptr, false}};
  for (const auto& [value, expected] : cases) {
    test::ScopedEnv env(kScriptedUiVariable, value);
    EXPECT_EQ(ScriptedUiRequested(), expected) << (value ? value : "<unset>");
  }
}

TEST(PlatformAccessTest, DefaultIsScriptedAndScopesRestoreWhatWasSet) {
  Platform& initial = platform();
  ASSERT_NE(initial.scriptedAnswers(), nullptr) << "a box in a headless run must not wait";

  FakePlatform outer;
  FakePlatform nested;
  {
    ScopedPlatform useOuter(outer);
    EXPECT_EQ(&platform(), &outer);
    {
      ScopedPlatform useNested(nested);
      EXPECT_EQ(&platform(), &nested);
    }
    EXPECT_EQ(&platform(), &outer);
  }
  EXPECT_EQ(&platform(), &initial);

  setPlatform(&outer);
  EXPECT_EQ(&platform(), &outer);
  setPlatform(nullptr);
  EXPECT_EQ(&platform(), &initial);
}

// --- The headless platform under the scripted one ---

TEST(HeadlessPlatformTest, BoxesTakeTheirDefaultButtonAndWindowsAreNotShown) {
  test::TempFolder tmp;
  HeadlessPlatform p(tmp.file("registry.ini"));
  p.showInfo("hello");
  EXPECT_TRUE(p.askYesNo("Sure?"));
  EXPECT_FALSE(p.askYesNoDefaultNo("Start it?"));
  EXPECT_EQ(p.inputBox("Name", "Your name:", "Anna"), "Anna");
  EXPECT_FALSE(p.openFileDialog({"Open", "Text|*.txt", "", "", "", 1}));
  EXPECT_FALSE(p.saveFileDialog({"Save", "Text|*.txt", "", "", "", 1}));
  EXPECT_FALSE(p.folderDialog("Folder", "/"));
  FakeWindow window;
  EXPECT_EQ(p.showModal(window), 0);
  EXPECT_EQ(window.execCount + window.runCount, 0);
  EXPECT_EQ(p.scriptedAnswers(), nullptr);

  const auto start = std::chrono::steady_clock::now();
  p.sleepAndProcessEvents(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

// Waits for a file a detached program writes, until it holds `lines` whole
// lines; the program runs on its own schedule and may write a line at a time.
std::string WaitForFile(const test::TempFolder& tmp, const std::string& name, std::size_t lines = 1) {
  for (int i = 0; i < 500; ++i) {
    std::string text = tmp.read(name);
    if (text != "<missing>" && !text.empty() && text.back() == '\n' &&
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= lines)
      return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return tmp.read(name);
}

bool HasUnreapedChild() {
  errno = 0;
  return !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
}

TEST(HeadlessPlatformTest, StartProgramRunsTheCommandLineDetachedInTheWorkingFolder) {
  test::TempFolder tmp;
  tmp.write("work/.keep", "");
  HeadlessPlatform p(tmp.file("registry.ini"));
  ASSERT_TRUE(p.startProgram("pwd > out.txt; echo \"$0\" 'two words' >> out.txt", tmp.file("work")));
  EXPECT_EQ(WaitForFile(tmp, "work/out.txt", 2), tmp.file("work") + "\nsh two words\n");
  EXPECT_FALSE(HasUnreapedChild()) << "the program must not stay our child";

  EXPECT_FALSE(p.startProgram("true", tmp.file("no such folder")));
  EXPECT_FALSE(HasUnreapedChild());
}

TEST(HeadlessPlatformTest, OpenDocumentHandsUrlsAndResolvedFilesToXdgOpen) {
  test::TempFolder tmp;
  tmp.write("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/../opened.txt\"\n");
  ASSERT_EQ(chmod(tmp.file("bin/xdg-open").c_str(), 0755), 0);
  tmp.write("Docs/ReadMe.TXT", "hi");
  test::ScopedEnv path("PATH", (tmp.file("bin") + ":/usr/bin:/bin").c_str());
  HeadlessPlatform p(tmp.file("registry.ini"));

  ASSERT_TRUE(p.openDocument("https://example.org/a?b=c"));
  EXPECT_EQ(WaitForFile(tmp, "opened.txt"), "https://example.org/a?b=c\n");
  // The system's names use '\' and were written on a case-insensitive file system.
  ASSERT_TRUE(p.openDocument(tmp.path() + "docs\\readme.txt"));
  for (int i = 0; i < 500 && tmp.read("opened.txt").find("ReadMe") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(tmp.read("opened.txt"), "https://example.org/a?b=c\n" + tmp.path() + "Docs/ReadMe.TXT\n");
  EXPECT_FALSE(HasUnreapedChild());

  test::ScopedEnv noOpener("PATH", tmp.file("nothing").c_str());
  EXPECT_FALSE(p.openDocument("https://example.org/"));
}

// xdg-open hands any scheme to whatever claims it; only web addresses and
// file names reach it from us, whatever the scheme's letter case.
TEST(HeadlessPlatformTest, OpenDocumentRefusesEveryOtherScheme) {
  test::TempFolder tmp;
  tmp.write("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/../opened.txt\"\n");
  ASSERT_EQ(chmod(tmp.file("bin/xdg-open").c_str(), 0755), 0);
  test::ScopedEnv path("PATH", (tmp.file("bin") + ":/usr/bin:/bin").c_str());
  HeadlessPlatform p(tmp.file("registry.ini"));
  for (const char* target : {"file:///usr/bin/id", "ssh://host/", "SMB://server/share", "x-evil://run?http:",
                             "apt:hello", "vnd.ms-x:y"})
    EXPECT_FALSE(p.openDocument(target)) << target;
  for (const char* target : {"HTTP://example.org/", "mailto:anna@example.org", "ftp://example.org/"})
    EXPECT_TRUE(p.openDocument(target)) << target;
  // Each xdg-open runs on its own schedule: the order of the lines is theirs.
  std::vector<std::string> opened = Lines(WaitForFile(tmp, "opened.txt", 3));
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened, (std::vector<std::string>{"HTTP://example.org/", "ftp://example.org/", "mailto:anna@example.org"}));
}

}  // namespace
}  // namespace pagemoor
