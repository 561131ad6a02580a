#include "console/ConsoleWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFontInfo>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/LogFileWriter.h"
#include "platform/Platform.h"
#include "platform/qt/ScaledView.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;

void SendKey(QWidget* target, int key, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(target, &release);
}

// One key press per character, as a keyboard without an input method sends them.
void Type(QWidget* target, const QString& text) {
  for (const QChar c : text) SendKey(target, c.toUpper().unicode(), QString(c));
}

// A character composed by an input method (a dead key, say).
void Compose(QWidget* target, const QString& text) {
  QInputMethodEvent event;
  event.setCommitString(text);
  QCoreApplication::sendEvent(target, &event);
}

std::vector<std::string> Rows(const QTableView* view) {
  std::vector<std::string> rows;
  const QAbstractItemModel* model = view->model();
  for (int row = 0; row < model->rowCount(); ++row)
    rows.push_back(model->index(row, 0).data().toString().toStdString());
  return rows;
}

struct Call {
  Sender sender;
  std::string params;
  std::string editTextDuringCall;
};

class ConsoleWindowTest : public ::testing::Test {
 protected:
  ConsoleWindowTest() {
    console.AddCommand("show", "Shows a page.", [this](Sender sender, const std::string& params) {
      calls.push_back({sender, params, edit()->text().toStdString()});
    });
    console.OnCommand = [this](Sender, const std::string& command, const std::string&,
                               const std::vector<std::string>&) { commands.push_back(command); };
  }

  QLineEdit* edit() const { return window.findChild<QLineEdit*>(QStringLiteral("edtCommand")); }
  QTableView* log() const { return window.findChild<QTableView*>(QStringLiteral("lsbLog")); }

  FakePlatform fake;
  ScopedPlatform usePlatform{fake};
  TDebugBox2 console;
  ConsoleWindow window{console};
  std::vector<Call> calls;
  std::vector<std::string> commands;
};

TEST_F(ConsoleWindowTest, IsAParentlessStayOnTopToolWindowWithOnlyACloseButton) {
  EXPECT_EQ(window.objectName(), QStringLiteral("frmDebugBox"));
  ASSERT_NE(log(), nullptr);
  ASSERT_NE(edit(), nullptr);
  EXPECT_EQ(window.parentWidget(), nullptr);
  EXPECT_EQ(console.view(), &window);

  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

  EXPECT_EQ(window.windowTitle(), QStringLiteral("Debug Box"));
  console.setCaption("Tarn-Console");
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tarn-Console"));

  EXPECT_EQ(QFontInfo(log()->font()).family(), QStringLiteral("Liberation Sans"));
  EXPECT_EQ(log()->font().pointSize(), 7);
  EXPECT_EQ(QFontInfo(edit()->font()).family(), QStringLiteral("Liberation Sans"));
  EXPECT_EQ(edit()->font().pointSize(), 8);
  EXPECT_FALSE(log()->wordWrap());

  // Starts hidden and empty, as the console is.
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(log()->model()->rowCount(), 0);
  EXPECT_TRUE(edit()->text().isEmpty());
}

TEST_F(ConsoleWindowTest, LogFillsTheWindowAboveAnEditLineDockedAtTheBottom) {
  console.setVisible(true);
  const QRect client = window.rect();
  const QRect list = log()->geometry();
  const QRect line = edit()->geometry();
  EXPECT_EQ(list.topLeft(), client.topLeft());
  EXPECT_EQ(list.width(), client.width());
  EXPECT_EQ(line.width(), client.width());
  EXPECT_EQ(line.top(), list.bottom() + 1);
  EXPECT_EQ(line.bottom(), client.bottom());
  EXPECT_LT(line.height(), list.height());
}

TEST_F(ConsoleWindowTest, EnterRunsTheTypedCommandWithTheEditLineAsSender) {
  struct Case {
    const char* typed;
    int enterKey;
    const char* params;
    const char* commandAsWritten;
  };
  const Case cases[] = {
      {"CON_COM:Show jukebox", Qt::Key_Return, "jukebox", "Show"},
      {"show%20Page Two", Qt::Key_Enter, "Page Two", "show"},
      {"show", Qt::Key_Return, "", "show"},
  };
  console.setVisible(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    calls.clear();
    commands.clear();
    Type(edit(), QString::fromUtf8(c.typed));
    EXPECT_EQ(console.EditText(), c.typed);
    SendKey(edit(), c.enterKey, QStringLiteral("\r"));

    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].sender, static_cast<Sender>(edit()));
    EXPECT_EQ(calls[0].params, c.params);
    EXPECT_EQ(commands, std::vector<std::string>{c.commandAsWritten});
    // The console clears the line when the command has run.
    EXPECT_TRUE(edit()->text().isEmpty());
    EXPECT_EQ(console.EditText(), "");
    EXPECT_TRUE(window.isVisible());
  }
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ConsoleWindowTest, LinesThatRunNothingLeaveTheEditLineAsTheConsoleDecides) {
  struct Case {
    const char* typed;
    const char* leftInEditLine;
  };
  const Case cases[] = {
      {"/show comment", ""},   // a comment: cleared
      {" show x", " show x"},  // no command: kept for the user to correct
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    edit()->clear();
    console.setEditText("");
    Type(edit(), QString::fromUtf8(c.typed));
    SendKey(edit(), Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(edit()->text().toStdString(), c.leftInEditLine);
    EXPECT_EQ(console.EditText(), c.leftInEditLine);
  }
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ConsoleWindowTest, ConsoleKeysAreNeverTypedRunNothingAndHideTheWindow) {
  const QString keys[] = {QStringLiteral("`"), QStringLiteral("~"), QStringLiteral(";"),
                          QString(QChar(0x00B0))};
  for (const bool composed : {false, true}) {
    for (const QString& key : keys) {
      SCOPED_TRACE((composed ? "composed " : "pressed ") + key.toStdString());
      console.setVisible(true);
      ASSERT_TRUE(window.isVisible());
      Type(edit(), QStringLiteral("show x"));

      if (composed)
        Compose(edit(), key);
      else
        Type(edit(), key);

      EXPECT_TRUE(edit()->text().isEmpty());
      EXPECT_EQ(console.EditText(), "");
      EXPECT_TRUE(calls.empty());
      EXPECT_TRUE(commands.empty());
      EXPECT_FALSE(window.isVisible());
      EXPECT_TRUE(console.Visible());
    }
  }
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ConsoleWindowTest, EditLineAndConsoleTextMirrorEachOther) {
  // Typing, composing and deleting reach the console, non-ASCII letters intact.
  Type(edit(), QStringLiteral("load pří"));
  Compose(edit(), QStringLiteral("é"));
  EXPECT_EQ(console.EditText(), "load příé");
  SendKey(edit(), Qt::Key_Backspace, QString());
  EXPECT_EQ(console.EditText(), "load pří");

  console.setEditText("zpět");
  EXPECT_EQ(edit()->text(), QStringLiteral("zpět"));

  // Execute shows the line while its command runs, with no sender.
  console.Execute("show from link");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].sender, nullptr);
  EXPECT_EQ(calls[0].editTextDuringCall, "show from link");
  EXPECT_TRUE(edit()->text().isEmpty());
}

TEST_F(ConsoleWindowTest, NewLineIsTheLastRowSelectedInViewAndPaintedAtOnce) {
  console.setVisible(true);
  // The window is on screen once the event loop has run; after that none runs.
  QCoreApplication::processEvents();
  int paints = 0;
  struct PaintCounter : QObject {
    int& count;
    explicit PaintCounter(int& c) : count(c) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++count;
      return false;
    }
  } counter(paints);
  log()->viewport()->installEventFilter(&counter);

  for (int i = 0; i < 200; ++i) {
    const int before = paints;
    console.Log("Test", "line " + std::to_string(i));
    // No event loop runs here, as in a long operation on the interface thread.
    ASSERT_GT(paints, before) << "line " << i << " was not painted at once";
  }

  const int last = 199;
  EXPECT_EQ(log()->model()->rowCount(), 200);
  EXPECT_EQ(log()->model()->index(last, 0).data().toString(), QStringLiteral("Test: line 199"));
  EXPECT_EQ(log()->currentIndex().row(), last);
  EXPECT_EQ(log()->selectionModel()->selectedRows(), QModelIndexList{log()->model()->index(last, 0)});
  const QRect shown = log()->visualRect(log()->model()->index(last, 0));
  EXPECT_TRUE(log()->viewport()->rect().contains(shown.topLeft())) << "last row not scrolled into view";
  EXPECT_TRUE(log()->viewport()->rect().contains(QPoint(0, shown.bottom())));
}

TEST_F(ConsoleWindowTest, LongLinesScrollSidewaysAndKeepTheReadersPlace) {
  console.setVisible(true);
  QScrollBar* sideways = log()->horizontalScrollBar();
  for (int i = 0; i < 30; ++i) console.AddLine("short");
  EXPECT_EQ(sideways->maximum(), 0);

  const std::string longLine = "System: " + std::string(300, 'W') + " end";
  console.AddLine(longLine);
  const int needed = log()->fontMetrics().horizontalAdvance(QString::fromStdString(longLine));
  EXPECT_GE(log()->columnWidth(0), needed);
  EXPECT_GE(sideways->maximum(), needed - log()->viewport()->width());

  sideways->setValue(sideways->maximum() / 2);
  const int place = sideways->value();
  ASSERT_GT(place, 0);
  console.AddLine("another short line");
  EXPECT_EQ(sideways->value(), place);

  // A loaded log is measured afresh: no room is left for the long line.
  test::TempFolder folder;
  console.LoadFromFile(folder.write("short.log", "one\r\ntwo\r\n"));
  EXPECT_EQ(sideways->maximum(), 0);
}

TEST_F(ConsoleWindowTest, LoadingTheLogReplacesTheRows) {
  console.Log("System", "before");
  console.Log("System", "also before");
  test::TempFolder folder;

  console.LoadFromFile(folder.write("old.log", "Old: one\r\nOld: two\r\nOld: three\r\n"));
  EXPECT_EQ(Rows(log()), (std::vector<std::string>{"Old: one", "Old: two", "Old: three"}));
  EXPECT_EQ(log()->currentIndex().row(), 2);

  console.Log("System", "after");
  EXPECT_EQ(Rows(log()).back(), "System: after");
  EXPECT_EQ(log()->currentIndex().row(), 3);

  EXPECT_THROW(console.LoadFromFile(folder.file("missing.log")), ConsoleFileError);
  EXPECT_TRUE(Rows(log()).empty());
  EXPECT_FALSE(log()->currentIndex().isValid());
}

TEST(ConsoleWindowAttachTest, ShowsWhatTheConsoleHeldBeforeTheWindowCame) {
  TDebugBox2 console;
  console.setCaption("Tarn-Console");
  console.Log("System", "Initiate Console (MAIN)");
  console.AddLine("");
  console.setEditText("half typed");

  ConsoleWindow window(console);
  const auto* log = window.findChild<QTableView*>(QStringLiteral("lsbLog"));
  EXPECT_EQ(Rows(log), (std::vector<std::string>{"System: Initiate Console (MAIN)", ""}));
  EXPECT_EQ(log->currentIndex().row(), 1);
  EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("edtCommand"))->text(), QStringLiteral("half typed"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tarn-Console"));
}

TEST_F(ConsoleWindowTest, VisibleConsoleSitsInItsCornerOfTheScreen) {
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  const ConsoleRect s = window.screen();
  EXPECT_EQ(QRect(s.x, s.y, s.width, s.height), available);

  struct Case {
    TPositions position;
    bool right, bottom;
  };
  const Case cases[] = {
      {TPositions::poTopLeft, false, false},
      {TPositions::poBottomLeft, false, true},
      {TPositions::poTopRight, true, false},
      {TPositions::poBottomRight, true, true},
  };
  auto corner = [&](const Case& c, int width, int height) {
    return QRect(c.right ? available.right() + 1 - width : available.left(),
                 c.bottom ? available.bottom() + 1 - height : available.top(), width, height);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.position));
    console.setVisible(false);
    console.setWidth(300);
    console.setHeight(180);
    console.setPosition(c.position);
    console.setVisible(true);
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.frameGeometry(), corner(c, 300, 180));

    // Resizing a shown console keeps it in its corner.
    console.setWidth(260);
    console.setHeight(150);
    EXPECT_EQ(window.frameGeometry(), corner(c, 260, 150));
  }
}

// Where the magazine is drawn larger than its design, the console grows with
// it: its size and fonts by the magazine's scale, still in its corner; a
// magazine at its design size or smaller leaves it as it was.
TEST_F(ConsoleWindowTest, ConsoleGrowsWithTheMagazinesScale) {
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  const double logPoints = log()->font().pointSizeF();
  const double editPoints = edit()->font().pointSizeF();
  struct Case {
    QSize magazine;
    double factor;
  };
  const Case cases[] = {{QSize(1600, 1200), 2.0}, {QSize(640, 480), 1.0}, {QSize(1200, 900), 1.5}, {{}, 1.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.factor);
    QWidget page(nullptr, Qt::Window | Qt::FramelessWindowHint);
    std::optional<ScaledView> view;
    if (c.magazine.isValid()) {
      view.emplace(page);
      view->show();
      view->resize(c.magazine);
      QApplication::processEvents();
    }
    console.setVisible(false);
    console.setWidth(200);
    console.setHeight(120);
    console.setPosition(TPositions::poBottomRight);
    console.setVisible(true);
    const QSize size(int(200 * c.factor), int(120 * c.factor));
    EXPECT_EQ(window.frameGeometry(), QRect(available.bottomRight() - QPoint(size.width(), size.height()) +
                                                QPoint(1, 1), size));
    EXPECT_DOUBLE_EQ(log()->font().pointSizeF(), logPoints * c.factor);
    EXPECT_DOUBLE_EQ(edit()->font().pointSizeF(), editPoints * c.factor);
    EXPECT_EQ(console.Width(), 200);
    console.setVisible(false);
  }
}

TEST_F(ConsoleWindowTest, ShownWindowTypesIntoTheEditLine) {
  console.setVisible(true);
  EXPECT_EQ(window.focusWidget(), edit());
}

TEST_F(ConsoleWindowTest, CloseButtonOnlyHidesTheWindow) {
  console.setVisible(true);
  QPointer<ConsoleWindow> alive(&window);

  EXPECT_TRUE(window.close());
  QCoreApplication::processEvents();

  ASSERT_TRUE(alive);
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(console.Visible());
  EXPECT_EQ(console.view(), &window);
  console.setVisible(true);
  EXPECT_TRUE(window.isVisible());
}

TEST(ConsoleWindowLifetimeTest, WindowClosedFirstDetachesFromTheConsole) {
  TDebugBox2 console;
  { ConsoleWindow window(console); }
  EXPECT_EQ(console.view(), nullptr);
  console.Log("System", "still logging");
  console.setVisible(true);
  EXPECT_EQ(console.Lines().back(), "System: still logging");
}

TEST(ConsoleWindowLifetimeTest, WindowOutlivesTheConsoleAndKeepsItsLines) {
  FakePlatform fake;
  ScopedPlatform usePlatform(fake);
  auto console = std::make_unique<TDebugBox2>();
  TDebugBox2* going = console.get();
  console->OnDestroy = [going](Sender) { going->Log("System", "Terminate"); };
  ConsoleWindow window(*console);
  console->setVisible(true);
  console->Log("System", "Running");

  console.reset();

  auto* edit = window.findChild<QLineEdit*>(QStringLiteral("edtCommand"));
  // Lines written while the console goes are still shown.
  EXPECT_EQ(Rows(window.findChild<QTableView*>(QStringLiteral("lsbLog"))),
            (std::vector<std::string>{"System: Running", "System: Terminate"}));
  // Keys no longer reach the gone console.
  Type(edit, QStringLiteral("list"));
  SendKey(edit, Qt::Key_Return, QStringLiteral("\r"));
  Type(edit, QStringLiteral("`"));
  EXPECT_TRUE(fake.calls.empty());
}

}  // namespace
}  // namespace pagemoor
