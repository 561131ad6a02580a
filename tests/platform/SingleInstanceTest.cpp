#include "platform/qt/SingleInstance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLocalSocket>
#include <QProcess>
#include <QStringList>
#include <QWidget>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "common/Application.h"

#include "support/QtPump.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::ScopedEnv;
using test::TempFolder;

using test::PumpUntil;

// Each test in a runtime folder of its own, shared with its helper processes.
class SingleInstanceTest : public ::testing::Test {
 protected:
  // Starts the helper; the event loop of this process keeps running while
  // the helper talks to it.
  void start(QProcess& helper, const QStringList& arguments) {
    helper.start(QStringLiteral(PAGEMOOR_SINGLE_INSTANCE_HELPER), arguments);
    ASSERT_TRUE(helper.waitForStarted());
  }
  // The helper's one line, once it has printed it.
  std::string lineOf(QProcess& helper) {
    EXPECT_TRUE(PumpUntil([&] { return helper.canReadLine(); }));
    return helper.readLine().trimmed().toStdString();
  }
  // Runs "second NAME TITLE" to its end and returns its line.
  std::string runSecond(const std::string& title) {
    QProcess helper;
    start(helper, {"second", kName, QString::fromStdString(title)});
    EXPECT_TRUE(PumpUntil([&] { return helper.state() == QProcess::NotRunning; }));
    EXPECT_EQ(helper.exitCode(), 0);
    return helper.readAllStandardOutput().trimmed().toStdString();
  }

  const QString kName = QStringLiteral("instance-test");
  TempFolder m_runtime;
  ScopedEnv m_runtimeVariable{"XDG_RUNTIME_DIR", m_runtime.path().c_str()};
};

TEST_F(SingleInstanceTest, ASecondProcessEndsAndTheWindowOfThatTitleComesForward) {
  for (const bool minimised : {true, false}) {
    SCOPED_TRACE(minimised ? "minimised" : "normal");
    SingleInstance first(kName.toStdString());
    std::vector<QWidget*> broughtForward;
    first.onBroughtToFront = [&](QWidget* window) { broughtForward.push_back(window); };
    ASSERT_FALSE(first.isAlreadyRunning("Pagemoor"));
    EXPECT_TRUE(first.holdsLock());

    QWidget other;
    other.setWindowTitle("Pagemoor - Summer");
    other.show();
    QWidget window;
    window.setWindowTitle("Pagemoor");
    if (minimised)
      window.showMinimized();
    else
      window.show();

    EXPECT_EQ(runSecond("Pagemoor"), "running");
    EXPECT_EQ(broughtForward, std::vector<QWidget*>{&window});
    EXPECT_FALSE(window.isMinimized());
  }
}

TEST_F(SingleInstanceTest, NoWindowComesForwardOnceTheTitleHasChanged) {
  SingleInstance first(kName.toStdString());
  int broughtForward = 0;
  first.onBroughtToFront = [&](QWidget*) { ++broughtForward; };
  ASSERT_FALSE(first.isAlreadyRunning("Pagemoor"));
  QWidget window;
  window.setWindowTitle("Summer Magazine");
  window.showMinimized();

  // Still refused: the lock says an instance runs, whatever it shows.
  EXPECT_EQ(runSecond("Pagemoor"), "running");
  EXPECT_EQ(broughtForward, 0);
  EXPECT_TRUE(window.isMinimized());
}

TEST_F(SingleInstanceTest, TheLockLastsAsLongAsTheProcessThatTookIt) {
  for (const bool crash : {false, true}) {
    SCOPED_TRACE(crash ? "killed" : "ended");
    QProcess holder;
    start(holder, {"hold", kName});
    ASSERT_EQ(lineOf(holder), "first");

    SingleInstance second(kName.toStdString());
    EXPECT_TRUE(second.isAlreadyRunning("Pagemoor"));
    EXPECT_FALSE(second.holdsLock());

    if (crash) {
      holder.kill();  // leaves its socket file behind
    } else {
      holder.closeWriteChannel();
    }
    ASSERT_TRUE(PumpUntil([&] { return holder.state() == QProcess::NotRunning; }));

    SingleInstance next(kName.toStdString());
    EXPECT_FALSE(next.isAlreadyRunning("Pagemoor"));
    EXPECT_TRUE(next.holdsLock());
    // The new holder listens on the socket, stale file or not.
    struct stat st {};
    EXPECT_EQ(::lstat(next.socketPath().c_str(), &st), 0);
    EXPECT_EQ(runSecond("Pagemoor"), "running");
  }
}

TEST_F(SingleInstanceTest, TheLockAndSocketLieInThePrivateRuntimeFolder) {
  SingleInstance instance(kName.toStdString());
  EXPECT_EQ(instance.lockPath(), m_runtime.path() + "instance-test.lock");
  EXPECT_EQ(instance.socketPath(), m_runtime.path() + "instance-test.sock");
}

// A second instance that connects and never asks is not waited for: the
// connection goes after the idle time, and a real one is still answered.
TEST_F(SingleInstanceTest, ASilentConnectionIsClosedAfterTheIdleTime) {
  SingleInstance instance(kName.toStdString());
  instance.connections().setIdleTimeout(std::chrono::milliseconds(200));
  ASSERT_FALSE(instance.isAlreadyRunning("Pagemoor"));
  EXPECT_TRUE(instance.checking());
  QLocalSocket silent;
  silent.connectToServer(QString::fromStdString(instance.socketPath()));
  ASSERT_TRUE(silent.waitForConnected(5000));
  EXPECT_TRUE(PumpUntil([&] { return silent.state() == QLocalSocket::UnconnectedState; }));
  EXPECT_EQ(runSecond("No such window"), "running");
}

// With nowhere to put the lock file every start is the first; the instance
// says so instead of staying silent.
TEST_F(SingleInstanceTest, NoFolderForTheLockTurnsTheCheckOff) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", (m_runtime.path() + "missing").c_str());
  m_runtime.write("file", "");
  ScopedEnv temp("TEMP", (m_runtime.path() + "file/below").c_str());
  SingleInstance instance(kName.toStdString());
  EXPECT_FALSE(instance.isAlreadyRunning("Pagemoor"));
  EXPECT_FALSE(instance.checking());
  EXPECT_FALSE(instance.holdsLock());
}

TEST(FindTopLevelWindowTest, MatchesOnlyAVisibleWindowOfExactlyThatTitle) {
  QWidget hidden;
  hidden.setWindowTitle("Hidden");
  QWidget shown;
  shown.setWindowTitle("Pagemoor");
  shown.show();
  EXPECT_EQ(FindTopLevelWindow("Pagemoor"), &shown);
  for (const char* title : {"pagemoor", "Pagemoor ", "Pagemoo", "Hidden"}) {
    SCOPED_TRACE(title);
    EXPECT_EQ(FindTopLevelWindow(title), nullptr);
  }
}

TEST(FindTopLevelWindowTest, TheApplicationTitleStandsForItsModalWindow) {
  const std::string saved = ApplicationTitle();
  SetApplicationTitle("Pagemoor");
  QDialog launcher;
  launcher.setWindowTitle("Launcher");
  launcher.setWindowModality(Qt::ApplicationModal);
  launcher.show();
  EXPECT_EQ(FindTopLevelWindow("Pagemoor"), &launcher);
  // Once the application has another title, nothing answers to the old one.
  SetApplicationTitle("Summer Magazine");
  EXPECT_EQ(FindTopLevelWindow("Pagemoor"), nullptr);
  launcher.hide();
  SetApplicationTitle(saved);
}

}  // namespace
}  // namespace pagemoor
