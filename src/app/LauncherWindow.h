// The launcher window (TfrmLauncher): the first window of a normal run. It
// lists the projects beside the program, shows who made the selected one, lets
// the reader switch DirectX and music off, and either starts the chosen
// project or ends the program. Its console takes the run's first log lines
// from the program's log and hands them to the viewer's console through the
// launcher log file.
//
// After it has closed the window stays in memory, hidden: the start-up and the
// viewer read the chosen project and the two options from its hidden labels.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/LogSink.h"
#include "console/DebugBox2.h"
#include "platform/Platform.h"
#include "platform/qt/WindowModal.h"

class QCheckBox;
class QCloseEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QShowEvent;

namespace pagemoor {

class ConsoleWindow;
class GifImageWidget;
class ImageWidget;

// Object names: "frmLauncher", "gifLogo", "imgShowConsole", "gifBackground",
// "Label1" to "Label4", "ListBox1", "Shape1", "lblAuthor", "lblEmail",
// "lblWWW", "btnClose", "btnRun", "GroupBox1", "chkUseDX", "chkPlayMusic" and
// the hidden "lblProject", "lblUseDX", "lblPlayMusic".
class TfrmLauncher : public QWidget, public ModalWindow {
  Q_OBJECT

 public:
  // Sets up the console (its header is the first thing in the log), which
  // takes the lines of `log` while the window lives, and the caption.
  // Parentless: the window belongs to the whole run.
  explicit TfrmLauncher(LogSink& log, QWidget* parent = nullptr);
  ~TfrmLauncher() override;
  TfrmLauncher(const TfrmLauncher&) = delete;
  TfrmLauncher& operator=(const TfrmLauncher&) = delete;

  // What closing without a started project does: ask the application to end.
  // The default quits the running Qt application, if there is one.
  void setTerminate(std::function<void()> terminate);

  // The handlers.
  void FormCreate();
  void FormShow();
  void FormClose();
  void ListBox1Click();
  // "Spustit Projekt"; also Enter in ListBox1 and a double click on an entry.
  void btnRunClick();
  void btnCloseClick();
  void chkUseDXClick();
  void chkPlayMusicClick();
  void imgShowConsoleClick();
  void ConsoleInitialize();
  void ConsoleAdd();

  // The values the rest of the run reads once the launcher has closed.
  std::string lblProject() const;    // full path of the description file, or " <nil>"
  std::string lblUseDX() const;      // "1" or "0"
  std::string lblPlayMusic() const;  // "1" or "0"
  // True from the moment Run has found the project until the window closes.
  bool projectStarted() const { return m_projectStarted; }

  // The launcher log file (LauncherLogFile: in the private temporary folder).
  static std::string LauncherLogPath();

  TDebugBox2& Console() { return m_console; }
  ConsoleWindow* consoleWindow() const { return m_consoleWindow.get(); }
  QListWidget* ListBox1() const { return m_listBox; }
  QCheckBox* chkUseDX() const { return m_chkUseDX; }
  QCheckBox* chkPlayMusic() const { return m_chkPlayMusic; }
  QLabel* lblAuthor() const { return m_lblAuthor; }
  QLabel* lblEmail() const { return m_lblEmail; }
  QLabel* lblWWW() const { return m_lblWWW; }
  QPushButton* btnRun() const { return m_btnRun; }
  QPushButton* btnClose() const { return m_btnClose; }
  ImageWidget* imgShowConsole() const { return m_imgShowConsole; }

  // --- ModalWindow ---
  std::string modalName() const override;
  std::string modalCaption() const override;
  // Returns 1 when a project was started, else 0.
  int execModal() override;
  // Scripted runs: "nodx" clears "Použít Direct-X"; "project:NAME" selects
  // the first entry reading exactly NAME (none: no selection) and presses
  // "Spustit Projekt"; "close" (taken), any other answer or an empty queue
  // presses "Zavřít".
  int runScripted(AnswerQueue& answers) override;
  bool scriptedCloseRunsTheWindow() const override { return true; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The selected entry's row, or -1.
  int selectedRow() const;
  std::string projectPattern() const;

  LogSink& m_log;
  // The console goes after the window that shows it.
  TDebugBox2 m_console;
  std::unique_ptr<ConsoleWindow> m_consoleWindow;
  std::function<void()> m_terminate;
  bool m_projectStarted = false;
  bool m_showing = false;            // between showing and FormClose
  bool m_closedWithProject = false;  // how the last showing ended
  WindowModal m_modal;

  GifImageWidget* m_gifLogo = nullptr;
  ImageWidget* m_imgShowConsole = nullptr;
  GifImageWidget* m_gifBackground = nullptr;
  QListWidget* m_listBox = nullptr;
  QLabel* m_lblAuthor = nullptr;
  QLabel* m_lblEmail = nullptr;
  QLabel* m_lblWWW = nullptr;
  QPushButton* m_btnClose = nullptr;
  QPushButton* m_btnRun = nullptr;
  QCheckBox* m_chkUseDX = nullptr;
  QCheckBox* m_chkPlayMusic = nullptr;
  QLabel* m_lblProject = nullptr;
  QLabel* m_lblUseDX = nullptr;
  QLabel* m_lblPlayMusic = nullptr;
};

}  // namespace pagemoor
