#include "platform/qt/QtPlatform.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <QWidget>
#include <string>
#include <thread>

#include "support/ModalDriver.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

TEST(QtMessageBoxTest, InformationBoxHasOneOkButtonAndPlainText) {
  QtPlatform p;
  ModalDriver driver([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr) << w->metaObject()->className();
    EXPECT_EQ(box->objectName(), "msgInfo");
    EXPECT_EQ(box->windowTitle(), "Information");
    EXPECT_EQ(box->text(), "Price <b>5</b> & more");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    box->button(QMessageBox::Ok)->click();
  });
  p.showInfo("Price <b>5</b> & more");
  EXPECT_TRUE(driver.acted());
}

TEST(QtMessageBoxTest, PlainMessageBoxHasTheCaptionGivenNoIconAndOneOkButton) {
  QtPlatform p;
  ModalDriver driver([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr) << w->metaObject()->className();
    EXPECT_EQ(box->objectName(), "msgMessage");
    EXPECT_EQ(box->windowTitle(), "Test Mag");
    EXPECT_EQ(box->text(), "Red <b>is</b> checked");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    box->button(QMessageBox::Ok)->click();
  });
  p.showMessage("Test Mag", "Red <b>is</b> checked");
  EXPECT_TRUE(driver.acted());
}

TEST(QtMessageBoxTest, ConfirmationBoxAnswersWithTheButtonPressed) {
  for (const auto button : {QMessageBox::Yes, QMessageBox::No}) {
    QtPlatform p;
    ModalDriver driver([button](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box) {
        ADD_FAILURE() << w->metaObject()->className();
        w->close();
        return;
      }
      EXPECT_EQ(box->objectName(), "msgConfirm");
      EXPECT_EQ(box->windowTitle(), "Confirm");
      EXPECT_EQ(box->text(), "Delete the issue?");
      EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
      EXPECT_EQ(box->buttons().size(), 2);
      EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
      box->button(button)->click();
    });
    EXPECT_EQ(p.askYesNo("Delete the issue?"), button == QMessageBox::Yes);
    EXPECT_TRUE(driver.acted());
  }
}

TEST(QtMessageBoxTest, ClosingTheConfirmationBoxMeansNo) {
  QtPlatform p;
  ModalDriver driver([](QWidget* w) { w->close(); });
  EXPECT_FALSE(p.askYesNo("Leave?"));
}

// Enter presses the default button: Yes on the ordinary box, No on the one
// that asks before a magazine starts something.
TEST(QtMessageBoxTest, EnterAnswersWithTheBoxsDefaultButton) {
  struct Case {
    bool defaultNo;
    bool answer;
  };
  for (const Case c : {Case{false, true}, Case{true, false}}) {
    QtPlatform p;
    ModalDriver driver([](QWidget* w) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QApplication::sendEvent(w, &press);
    });
    EXPECT_EQ(c.defaultNo ? p.askYesNoDefaultNo("Start it?") : p.askYesNo("Start it?"), c.answer) << c.defaultNo;
    EXPECT_TRUE(driver.acted());
  }
}

TEST(QtMessageBoxTest, BoxesStandInTheMiddleOfTheScreen) {
  QtPlatform p;
  QPoint offset(1000, 1000);
  ModalDriver driver([&offset](QWidget* w) {
    offset = w->geometry().center() - w->screen()->availableGeometry().center();
    w->close();
  });
  p.showInfo("A rather long line so that the box is wider than its minimum size.\nAnd a second line.");
  EXPECT_LE(std::abs(offset.x()), 2) << offset.x();
  EXPECT_LE(std::abs(offset.y()), 2) << offset.y();
}

// A box belongs to the window that was active when it came; that window may
// go while the box is open and take the box with it. The question then counts
// as not answered, and nothing is freed twice.
TEST(QtMessageBoxTest, BoxWhoseWindowGoesCountsAsUnanswered) {
  struct Case {
    const char* name;
    std::function<bool(QtPlatform&)> answered;
  };
  const Case cases[] = {
      {"confirmation", [](QtPlatform& p) { return p.askYesNo("Leave?"); }},
      {"input", [](QtPlatform& p) { return p.inputBox("Name", "Your name:", "Reader").has_value(); }},
      {"save", [](QtPlatform& p) { return p.saveFileDialog({}).has_value(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* window = new QWidget;
    window->show();
    window->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), window);
    QtPlatform p;
    QPointer<QWidget> box;
    ModalDriver driver([&box, window](QWidget* w) {
      box = w;
      EXPECT_EQ(w->parentWidget(), window);
      delete window;
    });
    EXPECT_FALSE(c.answered(p));
    EXPECT_TRUE(driver.acted());
    EXPECT_TRUE(box.isNull());
  }
}

TEST(QtInputBoxTest, ReturnsTheTypedTextOrNothingOnCancel) {
  QtPlatform p;
  {
    ModalDriver driver([](QWidget* w) {
      auto* dialog = qobject_cast<QInputDialog*>(w);
      if (!dialog) {
        ADD_FAILURE() << w->metaObject()->className();
        w->close();
        return;
      }
      EXPECT_EQ(dialog->objectName(), "inputBox");
      EXPECT_EQ(dialog->windowTitle(), "Your name");
      EXPECT_EQ(dialog->labelText(), "Name:");
      EXPECT_EQ(dialog->textValue(), "Anna");
      dialog->setTextValue(QString::fromUtf8("Jana Nováková"));
      dialog->accept();
    });
    EXPECT_EQ(p.inputBox("Your name", "Name:", "Anna"), "Jana Nováková");
  }
  {
    ModalDriver driver([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_EQ(p.inputBox("Your name", "Name:", "Anna"), std::nullopt);
  }
}

TEST(QtFileFilterTest, ConvertsTheSystemsFilterToQtsForm) {
  const std::vector<std::pair<std::string, QString>> cases = {
      {"", ""},
      {"Text|*.txt", "Text (*.[tT][xX][tT])"},
      {"Pictures|*.jpg;*.gif|Text|*.txt", "Pictures (*.[jJ][pP][gG] *.[gG][iI][fF]);;Text (*.[tT][xX][tT])"},
      {" Pictures | *.jpg ; *.gif ;|", "Pictures (*.[jJ][pP][gG] *.[gG][iI][fF])"},
      {"All files|*.*", "All files (*)"},
      {"Pictures (*.jpg)|*.jpg;*.mp3", "Pictures (*.[jJ][pP][gG] *.[mM][pP]3)"},
      {"Only a description", "Only a description (*)"},
      {"|*.txt", "*.txt (*.[tT][xX][tT])"},
      {"Písně|*.mp3", QString::fromUtf8("Písně (*.[mM][pP]3)")},
  };
  for (const auto& [filter, expected] : cases) EXPECT_EQ(QtFileFilter(filter), expected) << filter;
  EXPECT_EQ(QtNameFilters("A|*.a|B|*.b"), (QStringList{"A (*.[aA])", "B (*.[bB])"}));
}

class QtFileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A desktop theme may put up its own dialog, which the test cannot reach.
    if (QGuiApplication::platformName() != "offscreen") GTEST_SKIP() << "needs the offscreen platform";
  }
  test::TempFolder tmp;
};

TEST_F(QtFileDialogTest, OpenDialogHonoursTheFilterIndexBothWays) {
  tmp.write("A.TXT", "a");
  QtPlatform p;
  QString preselected;
  ModalDriver driver([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    if (!dialog) {
      ADD_FAILURE() << w->metaObject()->className();
      w->close();
      return;
    }
    EXPECT_EQ(dialog->objectName(), "openFileDialog");
    EXPECT_EQ(dialog->windowTitle(), "Open a text");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->nameFilters(),
              (QStringList{"Pictures (*.[jJ][pP][gG] *.[gG][iI][fF])", "Text (*.[tT][xX][tT])"}));
    EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
    preselected = dialog->selectedNameFilter();
    dialog->selectNameFilter("Text (*.[tT][xX][tT])");
    // selectFile leaves the name field alone while it has the focus.
    if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
    dialog->selectFile(QString::fromStdString(tmp.file("A.TXT")));
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept is protected; it checks the file
  });
  const auto result =
      p.openFileDialog({"Open a text", "Pictures|*.jpg;*.gif|Text|*.txt", tmp.path(), "", "", 1});
  // The dialog names a filter by its description once the patterns are hidden.
  EXPECT_EQ(preselected, "Pictures");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->path, tmp.file("A.TXT"));
  EXPECT_EQ(result->filterIndex, 2);
}

TEST_F(QtFileDialogTest, SaveDialogPreselectsTheFilterAndAddsTheDefaultExtension) {
  QtPlatform p;
  QString preselected;
  ModalDriver driver([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    if (!dialog) {
      ADD_FAILURE() << w->metaObject()->className();
      w->close();
      return;
    }
    EXPECT_EQ(dialog->objectName(), "saveFileDialog");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    preselected = dialog->selectedNameFilter();
    if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
    dialog->selectFile(QString::fromStdString(tmp.file("letter")));
    static_cast<QDialog*>(dialog)->accept();
  });
  const auto result = p.saveFileDialog({"Save", "Pictures|*.jpg|Text|*.txt", tmp.path(), ".txt", "", 2});
  EXPECT_EQ(preselected, "Text");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->path, tmp.file("letter.txt"));
  EXPECT_EQ(result->filterIndex, 2);
}

TEST_F(QtFileDialogTest, CancelledDialogsGiveNothing) {
  QtPlatform p;
  {
    ModalDriver driver([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(p.openFileDialog({"Open", "Text|*.txt", tmp.path(), "", "", 1}));
    EXPECT_TRUE(driver.acted());
  }
  {
    ModalDriver driver([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(p.folderDialog("Folder", tmp.path()));
    EXPECT_TRUE(driver.acted());
  }
}

class CountingWindow : public ModalWindow {
 public:
  std::string modalName() const override { return "frmTest"; }
  std::string modalCaption() const override { return "Test"; }
  int execModal() override { return ++execCount * 10; }
  int execCount = 0;
};

TEST(QtPlatformTest, ShowModalRunsTheWindowsOwnLoop) {
  QtPlatform p;
  CountingWindow window;
  EXPECT_EQ(p.showModal(window), 10);
  EXPECT_EQ(window.execCount, 1);
  EXPECT_EQ(p.scriptedAnswers(), nullptr);
}

TEST(QtPlatformTest, ProcessEventsRunsPendingEventsAndSleepWaitsFirst) {
  QtPlatform p;
  int ran = 0;
  QTimer::singleShot(0, [&ran] { ++ran; });
  p.processEvents();
  EXPECT_EQ(ran, 1);

  QTimer::singleShot(0, [&ran] { ++ran; });
  QElapsedTimer clock;
  clock.start();
  p.sleepAndProcessEvents(30);
  EXPECT_GE(clock.elapsed(), 30);
  EXPECT_EQ(ran, 2);
}

TEST(QtPlatformTest, RegistryValuesLiveInTheGivenFile) {
  test::TempFolder tmp;
  QtPlatform p(tmp.file("registry.ini"));
  p.createRegistryKey("HKEY_CURRENT_USER", "Software\\Tarnwick");
  p.writeRegistryValue("HKEY_CURRENT_USER", "Software\\Tarnwick", "Name", "Anna");
  EXPECT_EQ(p.readRegistryValue("HKEY_CURRENT_USER", "SOFTWARE\\TARNWICK", "name"), "Anna");
  EXPECT_NE(tmp.read("registry.ini").find("Name=Anna"), std::string::npos);
  p.deleteRegistryValue("HKEY_CURRENT_USER", "Software\\Tarnwick", "Name");
  EXPECT_EQ(p.readRegistryValue("HKEY_CURRENT_USER", "Software\\Tarnwick", "Name"), "");
}

TEST(QtPlatformTest, StartProgramRunsTheCommandLineInTheWorkingFolder) {
  test::TempFolder tmp;
  tmp.write("work/.keep", "");
  QtPlatform p(tmp.file("registry.ini"));
  ASSERT_TRUE(p.startProgram("pwd > out.txt", tmp.file("work")));
  std::string text;
  for (int i = 0; i < 500 && (text = tmp.read("work/out.txt")).find('\n') == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(text, tmp.file("work") + "\n");
}

}  // namespace
}  // namespace pagemoor
