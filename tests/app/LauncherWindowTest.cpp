#include "app/LauncherWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "console/ConsoleWindow.h"
#include "pictures/GifImageWidget.h"
#include "platform/AnswerQueue.h"
#include "support/FakePlatform.h"
#include "support/QtPump.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;

std::string Description(const std::string& name, const std::string& author) {
  return "[uniproject]\r\ndestination=pagemoor\r\nname=" + name +
         "\r\nfiles=1\r\n[files]\r\nfile1=data.zip\r\n[projectinfo]\r\nauthor=" + author +
         "\r\ne-mail=redakce@example.cz\r\nwww=http://example.cz/\r\n";
}

// The program lies in prog/ of a scratch folder; the temporary folder and the
// state folder (the mirror log) are scratch folders too.
class LauncherTest : public ::testing::Test {
 protected:
  LauncherTest()
      : m_temp("TEMP", (m_folder.path() + "tmp/").c_str()),
        m_state("XDG_STATE_HOME", (m_folder.path() + "state").c_str()),
        m_use(m_fake) {
    CreateFolder(m_folder.file("tmp"));
  }
  ~LauncherTest() override { ClearIniCache(); }

  std::string programFile() const { return m_folder.file("prog/viewer.exe"); }
  std::string project(const std::string& file) const { return m_folder.file("prog/" + file); }
  void writeProject(const std::string& file, const std::string& name, const std::string& author = "Jana") {
    m_folder.write("prog/" + file, Description(name, author));
  }

  // Creates the launcher as the program would, with the given parameters.
  TfrmLauncher& launcher(std::vector<std::string> params = {}) {
    m_commandLine.emplace(programFile(), std::move(params));
    m_launcher = std::make_unique<TfrmLauncher>(m_log);
    m_launcher->setTerminate([this] { ++m_terminated; });
    return *m_launcher;
  }

  const std::vector<std::string>& log() const { return m_launcher->Console().Lines(); }
  bool logged(const std::string& line) const {
    return std::find(log().begin(), log().end(), line) != log().end();
  }
  void select(const QString& entry) {
    const QList<QListWidgetItem*> found = m_launcher->ListBox1()->findItems(entry, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << entry.toStdString();
    m_launcher->ListBox1()->setCurrentItem(found.front());
  }

  test::TempFolder m_folder;
  test::ScopedEnv m_temp;
  test::ScopedEnv m_state;
  test::FakePlatform m_fake;
  ScopedPlatform m_use;
  std::optional<test::ScopedCommandLine> m_commandLine;
  // The program's log: it outlives the launcher.
  LogSink m_log;
  std::unique_ptr<TfrmLauncher> m_launcher;
  int m_terminated = 0;
};

struct Element {
  const char* name;
  int x, y;           // x < 0: a hidden label
  int width, height;  // 0: sized to its text
  const char* text;
};

TEST_F(LauncherTest, LaysOutEveryElement) {
  TfrmLauncher& w = launcher();
  EXPECT_EQ(w.objectName(), "frmLauncher");
  EXPECT_EQ(w.size(), QSize(382, 364));
  EXPECT_EQ(w.windowTitle(), "Pagemoor - version 2803");

  const Element elements[] = {
      {"gifLogo", 0, 0, 382, 90, nullptr},
      {"imgShowConsole", 80, 0, 33, 41, nullptr},
      {"gifBackground", 0, 90, 382, 274, nullptr},
      {"Label1", 8, 96, 0, 0, "Prosím zvolte si projekt z nabídky:"},
      {"ListBox1", 0, 120, 383, 97, nullptr},
      {"Shape1", 8, 232, 361, 65, nullptr},
      {"Label2", 16, 240, 0, 0, "Autor:"},
      {"Label3", 16, 256, 0, 0, "E-Mail:"},
      {"Label4", 16, 272, 0, 0, "WWW:"},
      {"lblAuthor", 64, 240, 0, 0, " "},
      {"lblEmail", 64, 256, 0, 0, " "},
      {"lblWWW", 64, 272, 0, 0, " "},
      {"btnClose", 8, 336, 113, 22, "Zavřít"},
      {"btnRun", 128, 336, 129, 22, "Spustit Projekt"},
      {"GroupBox1", 264, 304, 117, 57, "Nastavení"},
      {"chkUseDX", 8, 16, 0, 0, "Použít Direct-X"},
      {"chkPlayMusic", 8, 32, 0, 0, "Přehrávat Hudbu"},
      {"lblProject", -1, -1, 0, 0, " <nil>"},
      {"lblUseDX", -1, -1, 0, 0, "1"},
      {"lblPlayMusic", -1, -1, 0, 0, "1"},
  };
  for (const Element& e : elements) {
    SCOPED_TRACE(e.name);
    QWidget* widget = w.findChild<QWidget*>(e.name);
    ASSERT_NE(widget, nullptr);
    if (e.x < 0) {
      EXPECT_TRUE(widget->isHidden());
    } else {
      EXPECT_EQ(widget->pos(), QPoint(e.x, e.y));
      if (e.width > 0) {
        EXPECT_EQ(widget->size(), QSize(e.width, e.height));
      }
    }
    if (!e.text) continue;
    const QString expected = QString::fromUtf8(e.text);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ(label->text(), expected);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_EQ(button->text(), expected);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      EXPECT_EQ(group->title(), expected);
    } else {
      ADD_FAILURE() << "no text to compare";
    }
  }
  EXPECT_TRUE(w.chkUseDX()->isChecked());
  EXPECT_TRUE(w.chkPlayMusic()->isChecked());
  EXPECT_EQ(w.chkUseDX()->parentWidget()->objectName(), "GroupBox1");

  // The embedded pictures are there: the logo at its own size, the tile
  // repeated over the rest of the window.
  auto* logo = w.findChild<GifImageWidget*>("gifLogo");
  ASSERT_TRUE(logo->hasPicture());
  EXPECT_EQ(logo->picture().size(), QSize(382, 90));
  auto* background = w.findChild<GifImageWidget*>("gifBackground");
  ASSERT_TRUE(background->hasPicture());
  EXPECT_EQ(background->picture().size(), QSize(382, 274));
  EXPECT_FALSE(w.imgShowConsole()->hasPicture());

  TDebugBox2& console = w.Console();
  EXPECT_EQ(console.Caption(), "Tarn-Console");
  EXPECT_FALSE(console.Visible());
  EXPECT_EQ(console.Position(), TPositions::poTopRight);
  ASSERT_EQ(console.CommandCount(), 1);
  EXPECT_EQ(console.CommandName(0), "list");
  EXPECT_EQ(console.CommandDescription(0), "Lists all console commands.");
}

struct HeaderCase {
  std::vector<std::string> params;
  std::vector<std::string> parameterLines;  // after "System: Parameter("
};

class LauncherHeaderTest : public LauncherTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(LauncherHeaderTest, ConsoleStartsWithTheHeaderAndHandsItOverInTheLauncherLogFile) {
  launcher(GetParam().params);
  ASSERT_GE(log().size(), 7u);
  EXPECT_THAT(std::vector<std::string>(log().begin(), log().begin() + 4),
              ElementsAre("", "<<< Tarn-Console >>>", "", "System: AppVersion: 2803"));
  EXPECT_THAT(log()[4], MatchesRegex("System: Date: .*[0-9].*"));
  EXPECT_THAT(log()[5], MatchesRegex("System: Time: [0-9]+:[0-9][0-9]:[0-9][0-9].*"));
  std::vector<std::string> parameters(log().begin() + 6, log().end() - 1);
  std::vector<std::string> wanted;
  for (const std::string& p : GetParam().parameterLines)
    wanted.push_back("System: Parameter(" + ReplacedText(p, "PROGRAM", programFile()));
  EXPECT_THAT(parameters, ElementsAreArray(wanted));
  EXPECT_EQ(log().back(), "System: Initiate Console (LAUNCHER)");

  // Both files hold the whole log, one line each.
  std::string text;
  for (const std::string& line : log()) text += line + "\r\n";
  EXPECT_EQ(TfrmLauncher::LauncherLogPath(),
            m_folder.file("tmp/pagemoor-" + std::to_string(::getuid()) + "/viewer.exe_launcher_console"));
  EXPECT_EQ(m_folder.read("tmp/pagemoor-" + std::to_string(::getuid()) + "/viewer.exe_launcher_console"),
            text);
  EXPECT_EQ(m_folder.read("state/pagemoor/VIEWER_EXE_(Tarn-Console).log"), text);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, LauncherHeaderTest,
    ::testing::Values(HeaderCase{{}, {}}, HeaderCase{{"/develope"}, {"0) = \"PROGRAM\""}},
                      HeaderCase{{"first one", "/no_dx", "last"},
                                 {"0) = \"PROGRAM\"", "1) = \"first one\"", "2) = \"/no_dx\""}}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) {
      return "With" + std::to_string(info.param.params.size()) + "Parameters";
    });

TEST_F(LauncherTest, EveryNewLineRewritesTheLauncherLogFileWithTheWholeLog) {
  launcher();
  // The start-up deletes a file left from an earlier run; the next line
  // brings the whole log back, header included.
  ASSERT_TRUE(DeleteFileAt(TfrmLauncher::LauncherLogPath()));
  m_launcher->Console().Log("System", "After deletion");
  std::string text;
  for (const std::string& line : log()) text += line + "\r\n";
  EXPECT_THAT(text, StartsWith("\r\n<<< Tarn-Console >>>\r\n"));
  EXPECT_EQ(m_folder.read("tmp/pagemoor-" + std::to_string(::getuid()) + "/viewer.exe_launcher_console"),
            text);
}

TEST_F(LauncherTest, FormShowListsTheProjectsBesideTheProgramAndLogs) {
  writeProject("a.UNP", "Zimni cislo");
  writeProject("b.UNP", "Letni cislo");
  m_folder.write("prog/c.UNP", "[uniproject]\r\ndestination=elsewhere\r\nname=Cizi\r\n");
  TfrmLauncher& w = launcher();
  m_launcher->ListBox1()->addItem("left from before");

  w.FormShow();
  w.FormShow();

  QStringList entries;
  for (int i = 0; i < w.ListBox1()->count(); ++i) entries << w.ListBox1()->item(i)->text();
  EXPECT_EQ(entries, QStringList({"Zimni cislo", "Letni cislo"}));
  EXPECT_EQ(w.ListBox1()->currentRow(), -1);
  EXPECT_THAT(std::vector<std::string>(log().end() - 2, log().end()),
              ElementsAre("System: Looking for projects ...", "System: Starting Launcher ..."));
}

TEST_F(LauncherTest, ClickingAnEntryShowsItsDetailsButChoosesNothing) {
  writeProject("a.UNP", "Zimni cislo", "Jana Novakova");
  m_folder.write("prog/b.UNP", "[uniproject]\r\ndestination=pagemoor\r\nname=Bez udaju\r\n");
  TfrmLauncher& w = launcher();
  w.FormShow();

  select("Zimni cislo");
  EXPECT_EQ(w.lblAuthor()->text(), "Jana Novakova");
  EXPECT_EQ(w.lblEmail()->text(), "redakce@example.cz");
  EXPECT_EQ(w.lblWWW()->text(), "http://example.cz/");
  EXPECT_EQ(w.lblProject(), " <nil>");
  EXPECT_EQ(log().back(), "System: Project file: a.UNP");

  // Missing details read empty (and are written back as blanks).
  select("Bez udaju");
  EXPECT_EQ(w.lblAuthor()->text(), "");
  EXPECT_EQ(w.lblWWW()->text(), "");

  select("Zimni cislo");
  w.ListBox1()->clearSelection();
  EXPECT_EQ(w.lblAuthor()->text(), "");
  EXPECT_EQ(w.lblEmail()->text(), "");
  EXPECT_EQ(w.lblWWW()->text(), "");
  EXPECT_EQ(w.lblProject(), " <nil>");
}

TEST_F(LauncherTest, RunWithoutASelectionSaysSoAndStaysOpen) {
  TfrmLauncher& w = launcher();
  w.FormShow();
  ASSERT_EQ(w.ListBox1()->count(), 0);

  w.btnRun()->click();

  EXPECT_THAT(m_fake.textsOf("info"), ElementsAre("Nebyl zvolen žádný projekt"));
  EXPECT_FALSE(logged("System: Closing Launcher ..."));
  EXPECT_EQ(m_terminated, 0);
  EXPECT_EQ(w.lblProject(), " <nil>");
}

TEST_F(LauncherTest, RunStartsTheFileFoundLastForTheSelectedName) {
  writeProject("one.UNP", "Magazin 5");
  writeProject("two.UNP", "MAGAZIN 5");
  TfrmLauncher& w = launcher();
  w.FormShow();
  select("Magazin 5");

  w.btnRun()->click();

  EXPECT_EQ(w.lblProject(), project("two.UNP"));
  EXPECT_THAT(std::vector<std::string>(log().end() - 3, log().end()),
              ElementsAre("System: Project file: two.UNP", "System: Starting project two.UNP",
                          "System: Closing Launcher ..."));
  EXPECT_EQ(m_terminated, 0);
  EXPECT_THAT(m_fake.callsOf("info"), IsEmpty());
}

TEST_F(LauncherTest, RunForAProjectThatHasGoneStaysOpen) {
  writeProject("a.UNP", "Zimni cislo");
  TfrmLauncher& w = launcher();
  w.FormShow();
  select("Zimni cislo");
  ASSERT_TRUE(DeleteFileAt(project("a.UNP")));

  w.btnRun()->click();

  EXPECT_EQ(w.lblProject(), " <nil>");
  EXPECT_EQ(log().back(), "System: Project file:  <nil>");
  EXPECT_EQ(m_terminated, 0);
  EXPECT_THAT(m_fake.callsOf("info"), IsEmpty());
}

TEST_F(LauncherTest, CheckBoxesSetTheHiddenOptionLabels) {
  TfrmLauncher& w = launcher();
  const struct {
    QCheckBox* box;
    std::string (TfrmLauncher::*label)() const;
  } options[] = {{w.chkUseDX(), &TfrmLauncher::lblUseDX}, {w.chkPlayMusic(), &TfrmLauncher::lblPlayMusic}};
  for (const auto& option : options) {
    SCOPED_TRACE(option.box->objectName().toStdString());
    option.box->click();
    EXPECT_EQ((w.*option.label)(), "0");
    option.box->setChecked(true);
    EXPECT_EQ((w.*option.label)(), "1");
  }
  // Each box drives its own label only.
  w.chkUseDX()->setChecked(false);
  EXPECT_EQ(w.lblPlayMusic(), "1");
}

TEST_F(LauncherTest, ClosingWithoutAProjectAsksTheApplicationToEnd) {
  writeProject("a.UNP", "Zimni cislo");
  TfrmLauncher& w = launcher();
  // Once with "Zavřít", once with the window's close box, each after choosing an entry.
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "btnClose" : "close box");
    m_terminated = 0;
    w.show();
    w.FormShow();
    select("Zimni cislo");
    if (way == 0)
      w.btnClose()->click();
    else
      w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_THAT(std::vector<std::string>(log().end() - 2, log().end()),
                ElementsAre("System: Closing Launcher ...", "System: Terminate ..."));
    EXPECT_EQ(m_terminated, 1);
    EXPECT_EQ(w.lblProject(), " <nil>");
  }
}

// Enter on the chosen entry and a double click on an entry start the
// project as "Spustit Projekt" does; a single click only chooses, and Enter
// with nothing chosen says so as the button does.
TEST_F(LauncherTest, EnterAndADoubleClickOnTheListStartTheProject) {
  writeProject("a.UNP", "Zimni cislo");
  writeProject("b.UNP", "Letni cislo");
  struct Case {
    const char* name;
    bool choose;  // "Letni cislo" chosen first
    std::function<void(QListWidget& list)> gesture;
    const char* started;  // the project file, or null: the launcher stays
  };
  const auto entryCentre = [](QListWidget& list, const QString& entry) {
    return list.visualItemRect(list.findItems(entry, Qt::MatchExactly).front()).center();
  };
  const Case cases[] = {
      {"Return", true, [](QListWidget& list) { QTest::keyClick(&list, Qt::Key_Return); }, "b.UNP"},
      {"keypad Enter", true,
       [](QListWidget& list) { QTest::keyClick(&list, Qt::Key_Enter, Qt::KeypadModifier); }, "b.UNP"},
      {"double click", false,
       [&](QListWidget& list) {
         // As the window system delivers one: a click, then a press that
         // comes with the double click, then its release.
         const QPoint at = entryCentre(list, "Letni cislo");
         QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
         QTest::mousePress(list.viewport(), Qt::LeftButton, {}, at);
         QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
         QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, at);
       },
       "b.UNP"},
      {"single click", false,
       [&](QListWidget& list) {
         QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, entryCentre(list, "Letni cislo"));
       },
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TfrmLauncher& w = launcher();
    w.show();
    w.FormShow();
    w.activateWindow();
    ASSERT_TRUE(test::PumpUntil([&] { return QApplication::focusWidget() == w.ListBox1(); }));
    if (c.choose) select("Letni cislo");
    c.gesture(*w.ListBox1());
    if (c.started) {
      EXPECT_EQ(w.lblProject(), project(c.started));
      EXPECT_TRUE(logged("System: Starting project " + std::string(c.started)));
      EXPECT_FALSE(w.isVisible());
    } else {
      EXPECT_FALSE(w.projectStarted());
      EXPECT_FALSE(logged("System: Closing Launcher ..."));
      EXPECT_TRUE(w.isVisible());
    }
    EXPECT_THAT(m_fake.callsOf("info"), IsEmpty());
  }

  // Enter with no entry chosen: the button's message, and the launcher stays.
  TfrmLauncher& w = launcher();
  w.show();
  w.FormShow();
  w.activateWindow();
  ASSERT_TRUE(test::PumpUntil([&] { return QApplication::focusWidget() == w.ListBox1(); }));
  w.ListBox1()->clearSelection();
  QTest::keyClick(w.ListBox1(), Qt::Key_Return);
  EXPECT_THAT(m_fake.textsOf("info"), ElementsAre("Nebyl zvolen žádný projekt"));
  EXPECT_FALSE(w.projectStarted());
  EXPECT_TRUE(w.isVisible());
  w.hide();
}

TEST_F(LauncherTest, ImageOverTheLogoTogglesTheConsole) {
  TfrmLauncher& w = launcher();
  w.imgShowConsoleClick();
  EXPECT_TRUE(w.Console().Visible());
  EXPECT_TRUE(w.consoleWindow()->isVisible());
  w.imgShowConsoleClick();
  EXPECT_FALSE(w.Console().Visible());
  EXPECT_FALSE(w.consoleWindow()->isVisible());
}

TEST_F(LauncherTest, ShownModallyRunReturnsWithTheProject) {
  writeProject("a.UNP", "Zimni cislo");
  TfrmLauncher& w = launcher();
  QTimer::singleShot(0, &w, [&] {
    select("Zimni cislo");
    w.btnRun()->click();
  });
  EXPECT_EQ(w.execModal(), 1);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.lblProject(), project("a.UNP"));
  EXPECT_EQ(m_terminated, 0);
}

struct ScriptCase {
  const char* answers;
  int result;
  const char* project;  // file under prog/, or nullptr for none
  const char* useDX;
  int terminated;
  std::size_t answersLeft;
  std::size_t infoBoxes;
};

class LauncherScriptTest : public LauncherTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(LauncherScriptTest, AnswersDriveTheWindow) {
  writeProject("a.UNP", "Zimni cislo");
  writeProject("b.UNP", "Letni cislo");
  TfrmLauncher& w = launcher();
  const ScriptCase& c = GetParam();
  AnswerQueue answers(c.answers);

  EXPECT_EQ(w.runScripted(answers), c.result);

  EXPECT_EQ(w.lblProject(), c.project ? project(c.project) : std::string(" <nil>"));
  EXPECT_EQ(w.lblUseDX(), c.useDX);
  EXPECT_EQ(m_terminated, c.terminated);
  EXPECT_EQ(answers.size(), c.answersLeft);
  EXPECT_EQ(m_fake.callsOf("info").size(), c.infoBoxes);
  EXPECT_TRUE(logged("System: Closing Launcher ..."));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LauncherScriptTest,
    ::testing::Values(ScriptCase{"project:Letni cislo", 1, "b.UNP", "1", 0, 0, 0},
                      ScriptCase{"nodx, project:Zimni cislo, ok", 1, "a.UNP", "0", 0, 1, 0},
                      ScriptCase{"project:zimni cislo, close", 0, nullptr, "1", 1, 0, 1},
                      ScriptCase{"nodx, close, ok", 0, nullptr, "0", 1, 1, 0},
                      ScriptCase{"ok", 0, nullptr, "1", 1, 1, 0}, ScriptCase{"", 0, nullptr, "1", 1, 0, 0}));

}  // namespace
}  // namespace pagemoor
