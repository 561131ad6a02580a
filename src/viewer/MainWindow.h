// The magazine's one window (TfrmMain): the desktop and title pictures, the
// three hypertext panes, the console and its button. It draws what its
// MagazineSession decides (it is the session's ViewerScreen) and forwards its
// widgets' events to the session; the session runs the start sequence when
// the window is first shown.
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
#include <optional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "common/LogSink.h"
#include "hypertext/PageModel.h"
#include "pictures/CursorWidget.h"
#include "platform/qt/DockLayout.h"
#include "viewer/ButtonRecords.h"
#include "viewer/DisplaySurface.h"
#include "viewer/MagazineSession.h"
#include "viewer/Shutdown.h"
#include "viewer/ViewerScreen.h"
#include "viewer/qt/ImageButtons.h"

class QLabel;
class QPlainTextEdit;
class QTimer;
class QToolButton;
class QWindow;

namespace pagemoor {

class ConsoleWindow;
class GifImageWidget;
class HtmlPaneWidget;
class ImageWidget;
class ModalWindow;
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

// The layout's side for where the magazine asks a pane to be.
DockSide ToDockSide(PaneAlign align);

class TfrmMain : public QWidget, public ShutdownHost, public ScreenPresenter, public ViewerScreen {
  Q_OBJECT

 public:
  // The design size of the client area: the screen the magazine was made for.
  static constexpr int kDesignWidth = 800;
  static constexpr int kDesignHeight = 600;

  // Own slots of the cursor table.
  static constexpr int kNormalCursor = MagazineSession::kNormalCursor;
  static constexpr int kLinkCursor = MagazineSession::kLinkCursor;
  static constexpr int kHourglassCopy = MagazineSession::kHourglassCopy;

  // log: the program's log, which outlives the window; the console of the
  // reading subscribes to it. thinking: the start-up's thinking box; may be null.
  explicit TfrmMain(LogSink& log, TThinking_box* thinking = nullptr, QWidget* parent = nullptr);
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // What the magazine does; this window draws it and forwards its events.
  MagazineSession& session() { return *m_session; }

  // --- What the start-up hands over ---
  void setLauncherChoice(const LauncherChoice& choice) { m_session->setLauncherChoice(choice); }
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
  void SelectDisplayMode() { m_session->selectDisplayMode(); }
  void SetUpCursors() { m_session->setUpCursors(); }
  void LogApplicationException(const std::exception& e);

  // --- Event handlers, forwarded to the session ---
  void FormCreate();
  void FormShow();
  // percent: how far the desktop picture has loaded.
  void imgDesktopProgress(int percent) { m_session->desktopProgress(percent); }
  void ApplicationEvents1Minimize() { m_session->minimised(); }
  void ApplicationEvents1Restore() { m_session->restored(); }
  void ApplicationEvents1Exception(const std::exception& e);
  void cmdReset_Buttons(Sender, const std::string& params) { m_session->cmdResetButtons(params); }
  void cmdRun_Script(Sender sender, const std::string& params) { m_session->cmdRunScript(sender, params); }
  void RunScript(const std::string& name) { m_session->runScript(name); }
  void htmlMainHotSpotClick(Sender sender, const std::string& SRC, bool& Handled);
  void htmlMainHotSpotCovered(Sender, const std::string&) { m_session->hotSpotCovered(); }
  void htmlMainRightClick(Sender sender, const std::string&) { m_session->rightClick(paneOf(sender)); }
  void htmlMainObjectClick(Sender, const FormControl& Obj, const std::string& OnClick) {
    m_session->objectClick(Obj, OnClick);
  }
  // A key typed in the window or the main pane; the key goes on to the pane.
  void htmlMainKeyPress(char32_t key) { m_session->keyPress(key); }
  void FormKeyUp() { m_session->keyUp(); }
  void imgDesktopMouseMove() { m_session->desktopMouseMove(); }
  void btnConsoleClick() { m_session->consoleButtonClick(); }
  void btnConsoleMouseMove() { m_session->consoleButtonMouseMove(); }
  void tmrMainUpTimer() { m_session->scrollTick(ScrollTimer::MainUp); }
  void tmrMainDownTimer() { m_session->scrollTick(ScrollTimer::MainDown); }
  void tmrLeftUpTimer() { m_session->scrollTick(ScrollTimer::LeftUp); }
  void tmrLeftDownTimer() { m_session->scrollTick(ScrollTimer::LeftDown); }
  void StartScrollMainUp() { m_session->startScroll(ScrollTimer::MainUp); }
  void StartScrollMainDown() { m_session->startScroll(ScrollTimer::MainDown); }
  void StartScrollLeftUp() { m_session->startScroll(ScrollTimer::LeftUp); }
  void StartScrollLeftDown() { m_session->startScroll(ScrollTimer::LeftDown); }
  // 0 none, 1 main pane, 2 left pane.
  int scrollSelector() const { return m_session->scrollSelector(); }
  bool hoverSoundArmed() const { return m_session->hoverSoundArmed(); }
  void PlaySoundFile(const std::string& path) { m_session->playSoundFile(path); }
  void htmlMainSoundRequest(Sender sender, const std::string& SRC, int, bool) {
    m_session->soundRequest(paneOf(sender), SRC);
  }
  void htmlMainImageRequest(Sender sender, const std::string& SRC, std::string& stream) {
    m_session->imageRequest(paneOf(sender), SRC, stream);
  }
  void htmlLeftImageRequest(Sender sender, const std::string& SRC, std::string& stream) {
    m_session->imageRequest(paneOf(sender), SRC, stream);
  }
  void htmlTopImageRequest(Sender sender, const std::string& SRC, std::string& stream) {
    m_session->imageRequest(paneOf(sender), SRC, stream);
  }
  std::string htmlMainInclude(Sender, const std::string& Command, const std::vector<std::string>& Params) {
    return m_session->include(Command, Params);
  }
  void htmlLeftProcessing(Sender sender, bool) { m_session->processing(paneOf(sender)); }

  // --- Image buttons: the controls are this window's, the records the session's ---
  void CreateButtons(const std::string& fileName) { m_session->createButtons(fileName); }
  void DestroyButtons() { m_session->destroyButtons(); }
  void ButtonMouseMove(GifImageWidget* button) { m_session->buttonMouseMove(m_buttons->numberOf(button)); }
  void ButtonMouseDown(GifImageWidget* button) { m_session->buttonMouseDown(m_buttons->numberOf(button)); }
  void ButtonMouseUp(GifImageWidget* button) { m_session->buttonMouseUp(m_buttons->numberOf(button)); }
  void ButtonMouseClick(GifImageWidget* button) { m_session->buttonClick(m_buttons->numberOf(button)); }
  int buttonCount() const { return m_buttons->count(); }
  // Button n, 1-based; null outside 1 ... buttonCount().
  GifImageWidget* button(int n) const;
  const ButtonRecord* buttonRecord(int n) const { return m_session->buttonRecord(n); }

  // Runs a handler; an exception that escapes it goes to the application's
  // exception handler of the moment.
  void runGuarded(const std::function<void()>& handler);
  // The top-level window showing the magazine changed its state: minimising
  // and restoring it are the application's.
  void windowStateChanged(Qt::WindowStates old, Qt::WindowStates now);

  // --- State and controls ---
  bool useDirectX() const override { return m_session->useDirectX(); }
  bool startSequenceRun() const { return m_shownOnce; }
  CursorSlot cursorSlot(int slot) const;
  PaneAlign paneAlign(const QWidget* control) const;
  // Lays the docked controls out again in the client area now, also while
  // the window is hidden (shown, Qt does it by itself).
  void realign();
  // The reader's keyboard comes to the magazine: its screen becomes the
  // active window and the main pane takes the keys, unless another control
  // of the window has them. Nothing while a modal window or box is up, the
  // screen is minimised or the reading is closing.
  void takeKeyboard();

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
  DisplaySurface& DXDraw() { return m_session->surface(); }
  DesktopDisplayMode& desktopMode() { return m_session->desktopMode(); }
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
  std::vector<std::string> errorPage() const { return MagazineSession::errorPage(); }

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

  // --- ViewerScreen (MainWindowScreen.cpp) ---
  void showPageLines(Pane pane, const std::vector<std::string>& lines) override;
  bool showPageFile(Pane pane, const std::string& path) override;
  void setPaneVisible(Pane pane, bool visible) override;
  void placePane(Pane pane, const PanePlacement& placement) override;
  int historyIndex(Pane pane) const override;
  int historyCount(Pane pane) const override;
  void setHistoryIndex(Pane pane, int index) override;
  std::string currentDocument(Pane pane) const override;
  std::string expandReference(Pane pane, const std::string& reference) const override;
  std::string coveredLink(Pane pane) const override;
  int scrollPosition(Pane pane) const override;
  void setScrollPosition(Pane pane, int position) override;
  void loadPicture(Picture picture, const std::string& path) override;
  void setPictureVisible(Picture picture, bool visible) override;
  void createButtons(const std::vector<ButtonRecord>& records) override;
  void destroyButtons() override;
  void setButtonFrame(int number, int frame) override;
  void resetCursors() override;
  void loadCursor(int slot, const std::string& path) override;
  void applyCursors() override;
  void startScrollTimer(ScrollTimer timer) override;
  void stopScrollTimers() override;
  void playSound(const std::string& path, bool asSample) override;
  void loadMusicList(const std::string& path) override;
  void startJukebox() override;
  void pauseMusic() override;
  void resumeMusic() override;
  void showWindowModally(ViewerWindow window) override;
  bool hasWindow(ViewerWindow window) const override;
  void setInstallerArchive(const std::string& shownPath) override;
  void startSlideShow(const std::string& params) override;
  void minimise() override;
  void setTitle(const std::string& title) override;
  void setConsoleButtonVisible(bool visible) override;
  void showThinking(const std::string& text) override;
  void hideThinking() override;
  void applyLanguage() override;
  bool fillCustomIni() override;
  void hoverSoundArmedChanged(bool armed) override;
  void buttonUnderMouseChanged(int number) override;

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
  void wirePanes();
  // The main pane takes the keys when no shown control of the window has them.
  void focusMainPane();
  // Follows the window that has the keyboard; when it closes (or nothing
  // has the keys any more) the magazine takes them back.
  void keyboardWindowChanged(QWindow* now);
  void keyboardWindowLeft();
  HtmlPaneWidget* paneWidget(Pane pane) const;
  // The window a command shows; null when it is not there.
  ModalWindow* modalWindow(ViewerWindow window) const;
  // The pane a handler was raised by; none when the sender is none of the three.
  std::optional<Pane> paneOf(Sender sender) const;

  LogSink& m_log;
  TThinking_box* m_thinking;
  QPointer<TPlinq_Main> m_jukebox;
  std::vector<QWidget*> m_localised;
  ScaledScreen* m_scaled = nullptr;
  std::function<void()> m_terminate;
  std::function<void()> m_destroyJukebox;
  ViewerWindows m_windows;
  std::unique_ptr<MagazineSession> m_session;
  std::unique_ptr<ImageButtons> m_buttons;

  // Null once the reading has ended (destroyConsole()).
  std::unique_ptr<TDebugBox2> m_console;
  std::unique_ptr<ViewerConsole> m_consoleHandlers;
  std::unique_ptr<ConsoleWindow> m_consoleWindow;
  std::unique_ptr<ViewerShutdown> m_shutdown;
  bool m_shownOnce = false;
  bool m_closing = false;
  // ApplicationEvents1Exception until the start sequence installs LogApplicationException.
  bool m_logHandlerInstalled = false;

  // The window with the keyboard going away or hiding.
  QMetaObject::Connection m_keyboardWindowGone;
  QMetaObject::Connection m_keyboardWindowHidden;
  // The window that has the keys, and the one that had them before it: a box
  // asked from the console gives them back to the console, not the magazine.
  QPointer<QWindow> m_keyboardWindow;
  QPointer<QWindow> m_keyboardWindowBefore;

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
