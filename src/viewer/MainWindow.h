// The magazine's one window (TfrmMain): the desktop and title pictures, the
// three hypertext panes, the console and its button. It runs the start
// sequence when first shown; everything the reader then sees is placed by
// console commands.
//
// Object names: the window "frmMain"; "imgTop", "imgDesktop", "htmlMain",
// "htmlLeft", "htmlTop", "btnConsole", "memError", "sndLabel", "lblAC",
// "tmrMainUp", "tmrMainDown", "tmrLeftUp", "tmrLeftDown". The console's
// window is "frmDebugBox" (its own top-level window).
//
// Exceptions: every handler of ours runs through runGuarded(), which hands an
// escaping std::exception to the current application handler (logged, never
// shown) instead of letting it unwind through Qt's event dispatch.
#pragma once

#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "common/LogSink.h"
#include "console/ScriptRunner.h"
#include "hypertext/PageModel.h"
#include "pictures/CursorWidget.h"
#include "platform/LaunchPolicy.h"
#include "platform/qt/DockLayout.h"
#include "viewer/ButtonRecords.h"
#include "viewer/DisplaySurface.h"
#include "viewer/Shutdown.h"

class QLabel;
class QPlainTextEdit;
class QTimer;
class QToolButton;

namespace pagemoor {

class ConsoleWindow;
class GifImageWidget;
class HtmlPaneWidget;
class ImageWidget;
class ScaledScreen;
class TDebugBox2;
class TfrmCredits;
class TfrmInstall;
class TfrmMailer;
class TfrmPV;
class TPlinq_Main;
class TThinking_box;
class ViewerConsole;

// The windows the commands and links open; any may be null (not there).
struct ViewerWindows {
  TfrmPV* pictureViewer = nullptr;
  TfrmInstall* installer = nullptr;
  TfrmMailer* mailer = nullptr;
  TfrmCredits* credits = nullptr;
};

// How a control is docked in the window's client area.
using PaneAlign = DockSide;

class TfrmMain : public QWidget, public ShutdownHost, public ScreenPresenter {
  Q_OBJECT

 public:
  // The design size of the client area: the screen the magazine was made for.
  static constexpr int kDesignWidth = 800;
  static constexpr int kDesignHeight = 600;

  // Own slots of the cursor table.
  static constexpr int kNormalCursor = 1679;
  static constexpr int kLinkCursor = 1680;
  static constexpr int kHourglassCopy = 1682;

  // log: the program's log, which outlives the window; the console of the
  // reading subscribes to it. thinking: the start-up's thinking box; may be null.
  explicit TfrmMain(LogSink& log, TThinking_box* thinking = nullptr, QWidget* parent = nullptr);
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // --- What the start-up hands over ---
  void setLauncherChoice(const LauncherChoice& choice) { m_launcher = choice; }
  void setJukebox(TPlinq_Main* jukebox);
  TPlinq_Main* jukebox() const;
  // Also gives the picture viewer and the installer the viewer's sound player,
  // and the picture viewer the link cursor.
  void setWindows(const ViewerWindows& windows);
  const ViewerWindows& windows() const { return m_windows; }
  // The windows the localisation is applied to after the viewer, in order:
  // jukebox, mailer, picture viewer, installer, credits (null: not there).
  void setLocalisedWindows(std::vector<QWidget*> windows) { m_localised = std::move(windows); }
  // The full-screen presentation; without one the window itself goes full screen.
  void setScaledScreen(ScaledScreen* screen) { m_scaled = screen; }
  // Replaces the end of the message loop (tests).
  void setTerminate(std::function<void()> terminate) { m_terminate = std::move(terminate); }
  // Closes and destroys the jukebox at the end of a reading; the default only closes it.
  void setJukeboxDestroyer(std::function<void()> destroy) { m_destroyJukebox = std::move(destroy); }

  // --- Operations ---
  void SetUpPane(HtmlPaneWidget* pane, const std::string& fileName);
  void SelectDisplayMode();
  void SetUpCursors();
  void LogApplicationException(const std::exception& e);

  // --- Event handlers ---
  void FormCreate();
  void FormShow();
  // percent: how far the desktop picture has loaded.
  void imgDesktopProgress(int percent);
  void ApplicationEvents1Minimize();
  void ApplicationEvents1Restore();
  void ApplicationEvents1Exception(const std::exception& e);

  // --- Command set (MainWindowCommands.cpp) ---
  // Registers the command table with the console, in its order
  // (ConsoleInitialize's last step).
  void registerCommands();
  void CmdShow(Sender sender, const std::string& params);
  void cmdInstall(Sender sender, const std::string& params);
  void cmdMessage(Sender sender, const std::string& params);
  void cmdRun_Script(Sender sender, const std::string& params);
  void cmdLoad_Main(Sender sender, const std::string& params);
  void cmdLoad_Left(Sender sender, const std::string& params);
  void cmdLoad_Top(Sender sender, const std::string& params);
  void cmdExit(Sender sender, const std::string& params);
  void cmdSlideShow(Sender sender, const std::string& params);
  void cmdPlay(Sender sender, const std::string& params);
  void cmdMinimize(Sender sender, const std::string& params);
  void cmdShowDesktop(Sender sender, const std::string& params);
  void cmdToggle_Console(Sender sender, const std::string& params);
  void cmdLeft_Go_Back(Sender sender, const std::string& params);
  void cmdTop_Go_Back(Sender sender, const std::string& params);
  void cmdMain_Go_Back(Sender sender, const std::string& params);
  void cmdShell_Execute(Sender sender, const std::string& params);
  void cmdFillCustomIni(Sender sender, const std::string& params);
  void cmdReset_Buttons(Sender sender, const std::string& params);
  void cmdLoad_TopImage(Sender sender, const std::string& params);
  void cmdShow_TopImage(Sender sender, const std::string& params);
  void cmdLoad_Desktop(Sender sender, const std::string& params);
  void cmdSetUpMain(Sender sender, const std::string& params);
  void cmdSetUpLeft(Sender sender, const std::string& params);
  void cmdSetUpTop(Sender sender, const std::string& params);
  void cmdLoad_MusicList(Sender sender, const std::string& params);
  // Runs ProjectDir + "scripts\" + name (the name lower-cased).
  void RunScript(const std::string& name);

  // --- Links, right click, hover, keys (MainWindowLinks.cpp) ---
  void htmlMainHotSpotClick(Sender sender, const std::string& SRC, bool& Handled);
  void htmlMainHotSpotCovered(Sender sender, const std::string& SRC);
  void htmlMainRightClick(Sender sender, const std::string& Parameters);
  void htmlMainObjectClick(Sender sender, const FormControl& Obj, const std::string& OnClick);
  // A key typed in the window or the main pane; the key goes on to the pane.
  void htmlMainKeyPress(char32_t key);
  void FormKeyUp();
  void imgDesktopMouseMove();
  void btnConsoleClick();
  void btnConsoleMouseMove();
  void tmrMainUpTimer();
  void tmrMainDownTimer();
  void tmrLeftUpTimer();
  void tmrLeftDownTimer();
  void StartScrollMainUp();
  void StartScrollMainDown();
  void StartScrollLeftUp();
  void StartScrollLeftDown();
  // 0 none, 1 main pane, 2 left pane.
  int scrollSelector() const { return m_scrollSelector; }
  bool hoverSoundArmed() const;

  // --- Document services (MainWindowDocuments.cpp) ---
  // The one way a sound is played: names ending exactly in ".wav" as a
  // sample over the music, everything else on the music channel.
  void PlaySoundFile(const std::string& path);
  void htmlMainImageRequest(Sender sender, const std::string& SRC, std::string& stream);
  void htmlLeftImageRequest(Sender sender, const std::string& SRC, std::string& stream);
  void htmlTopImageRequest(Sender sender, const std::string& SRC, std::string& stream);
  void htmlMainSoundRequest(Sender sender, const std::string& SRC, int Loop, bool Terminate);
  std::string htmlMainInclude(Sender sender, const std::string& Command,
                              const std::vector<std::string>& Params);
  void htmlLeftProcessing(Sender sender, bool ProcessingOn);

  // --- Image buttons (MainWindowButtons.cpp) ---
  void CreateButtons(const std::string& fileName);
  // Destroys every image button; the count becomes 0.
  void DestroyButtons();
  void ButtonMouseMove(GifImageWidget* button);
  void ButtonMouseDown(GifImageWidget* button);
  void ButtonMouseUp(GifImageWidget* button);
  void ButtonMouseClick(GifImageWidget* button);
  int buttonCount() const { return static_cast<int>(m_buttons.size()); }
  // Button n, 1-based; null outside 1 ... buttonCount().
  GifImageWidget* button(int n) const;
  const ButtonRecord* buttonRecord(int n) const;

  // Runs a handler; an exception that escapes it goes to the application's
  // exception handler of the moment.
  void runGuarded(const std::function<void()>& handler);
  // The top-level window showing the magazine changed its state: minimising
  // and restoring it are the application's.
  void windowStateChanged(Qt::WindowStates old, Qt::WindowStates now);

  // --- State and controls ---
  bool useDirectX() const override { return m_useDirectX; }
  bool startSequenceRun() const { return m_shownOnce; }
  CursorSlot cursorSlot(int slot) const;
  PaneAlign paneAlign(const QWidget* control) const;
  // Lays the docked controls out again in the client area now, also while
  // the window is hidden (shown, Qt does it by itself).
  void realign();

  // The reading's console. It is destroyed when the reading ends, and a
  // caller that may come later (a button's release after its "exit", a
  // sending whose wait ends after an end signal) logs to logSink() and runs
  // command lines through runConsoleLine(); Console() then throws.
  TDebugBox2& Console();
  bool hasConsole() const { return m_console != nullptr; }
  // Where the viewer's lines go; it outlives the window.
  LogSink& logSink() const { return m_log; }
  // Runs a command line as if typed in the console; once the reading has
  // ended nothing runs.
  void runConsoleLine(const std::string& line);
  ConsoleWindow* consoleWindow() const { return m_consoleWindow.get(); }
  DisplaySurface& DXDraw() { return m_surface; }
  DesktopDisplayMode& desktopMode() { return m_desktop; }
  ViewerShutdown& shutdown() { return *m_shutdown; }
  HtmlPaneWidget* htmlMain() const { return m_htmlMain; }
  HtmlPaneWidget* htmlLeft() const { return m_htmlLeft; }
  HtmlPaneWidget* htmlTop() const { return m_htmlTop; }
  ImageWidget* imgTop() const { return m_imgTop; }
  ImageWidget* imgDesktop() const { return m_imgDesktop; }
  QToolButton* btnConsole() const { return m_btnConsole; }
  QPlainTextEdit* memError() const { return m_memError; }
  QLabel* sndLabel() const { return m_sndLabel; }
  QLabel* lblAC() const { return m_lblAC; }
  // The error page's lines.
  std::vector<std::string> errorPage() const;

  // --- ScreenPresenter ---
  void enterFullScreen() override;
  void leaveFullScreen() override;

  // --- ShutdownHost ---
  void restoreDesktopMode() override;
  void finaliseSurface() override;
  bool jukeboxExists() const override;
  void shutdownAudio() override;
  void closeAndDestroyJukebox() override;
  void destroyConsole() override;
  void terminateApplication() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void buildControls();
  void buildConsole();
  HtmlPaneWidget* makePane(const char* name);
  void loadCursorInto(int slot, const std::string& path);
  void applyCursors();
  void wirePanes();
  // The pane a handler was raised by; null when the sender is none of the three.
  HtmlPaneWidget* paneOf(Sender sender) const;
  void imageRequest(HtmlPaneWidget* pane, const std::string& SRC, std::string& stream);
  // Plays ProjectDir + "sounds\" + the key's value in "ini\" + iniFile when that file exists.
  void playConfiguredSound(const char* iniFile, const char* key);
  // Links and hover (MainWindowLinks.cpp).
  void startWindowsProgram(const std::string& path, const std::string& parameters);
  // Hands a web address, or a file of the magazine the reader agreed to, to
  // the desktop's default program; false when nothing went out.
  bool openForMagazine(const std::string& target);
  void playHoverSound();
  void stopScrolling();
  // Frame 1 on every image button whose record has "normal" set.
  void resetStateButtons();
  void loadPage(HtmlPaneWidget* pane, const char* source, const std::string& params);
  // Runs a handler of the command table. A command that ended the reading
  // inside another one (a script line) unwinds the commands around it.
  void runCommand(void (TfrmMain::*handler)(Sender, const std::string&), Sender sender,
                  const std::string& params);
  LogSink& m_log;
  TThinking_box* m_thinking;
  LauncherChoice m_launcher;
  QPointer<TPlinq_Main> m_jukebox;
  std::vector<QWidget*> m_localised;
  ScaledScreen* m_scaled = nullptr;
  std::function<void()> m_terminate;
  std::function<void()> m_destroyJukebox;
  ViewerWindows m_windows;
  std::unique_ptr<ScriptRunner> m_scripts;
  int m_scrollSelector = 1;
  // The reader's answers about the magazine's programs and files, for the
  // life of the reading.
  LaunchPolicy m_launchPolicy{[this](std::string_view source, std::string_view text) { m_log.Log(source, text); }};
  // The image buttons in number order and their records (index n - 1).
  std::vector<GifImageWidget*> m_buttons;
  std::vector<ButtonRecord> m_buttonRecords;

  // Null once the reading has ended (destroyConsole()).
  std::unique_ptr<TDebugBox2> m_console;
  int m_commandDepth = 0;  // commands of the table running, nested
  std::unique_ptr<ViewerConsole> m_consoleHandlers;
  std::unique_ptr<ConsoleWindow> m_consoleWindow;
  std::unique_ptr<ViewerShutdown> m_shutdown;
  DisplaySurface m_surface;
  DesktopDisplayMode m_desktop;
  bool m_useDirectX = true;
  bool m_shownOnce = false;
  bool m_closing = false;
  // ApplicationEvents1Exception until the start sequence installs LogApplicationException.
  bool m_logHandlerInstalled = false;

  std::map<int, CursorSlot> m_cursors;
  // The title picture, the desktop and the panes, docked in that order.
  DockLayout* m_dock = nullptr;

  ImageWidget* m_imgTop = nullptr;
  ImageWidget* m_imgDesktop = nullptr;
  HtmlPaneWidget* m_htmlMain = nullptr;
  HtmlPaneWidget* m_htmlLeft = nullptr;
  HtmlPaneWidget* m_htmlTop = nullptr;
  QToolButton* m_btnConsole = nullptr;
  QPlainTextEdit* m_memError = nullptr;
  QLabel* m_sndLabel = nullptr;
  QLabel* m_lblAC = nullptr;
  QTimer* m_tmrMainUp = nullptr;
  QTimer* m_tmrMainDown = nullptr;
  QTimer* m_tmrLeftUp = nullptr;
  QTimer* m_tmrLeftDown = nullptr;
};

}  // namespace pagemoor
