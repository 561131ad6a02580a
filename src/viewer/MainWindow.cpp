#include "viewer/MainWindow.h"

#include <QCloseEvent>
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <stdexcept>

#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "console/ConsoleWindow.h"
#include "console/DebugBox2.h"
#include "console/ScriptRunner.h"
#include "hypertext/HtmlPaneWidget.h"
#include "installer/InstallWindow.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/ImageWidget.h"
#include "pictures/PictureViewerWindow.h"
#include "viewer/ViewerConsole.h"
#include "viewer/qt/ImageButtons.h"
#include "viewer/qt/LocalTime.h"
#include "viewer/qt/ScaledScreen.h"

namespace pagemoor {

namespace {

constexpr const char* kSystem = "System";

QLabel* MakeHiddenLabel(QWidget* parent, const char* name, const char* caption) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->hide();
  return label;
}

// The console button's face: a prompt in the console's lime on black.
QIcon ConsoleButtonFace() {
  QPixmap face(15, 15);
  face.fill(Qt::black);
  QPainter painter(&face);
  painter.setPen(QPen(QColor(0, 255, 0), 1.5));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.drawPolyline(QPolygonF({QPointF(2.5, 3.5), QPointF(6.5, 7.5), QPointF(2.5, 11.5)}));
  painter.drawLine(QPointF(8, 11.5), QPointF(13, 11.5));
  painter.setPen(QColor(0, 128, 0));
  painter.drawRect(0, 0, 14, 14);
  return QIcon(face);
}

QTimer* MakeScrollTimer(QObject* parent, const char* name) {
  auto* timer = new QTimer(parent);
  timer->setObjectName(QString::fromLatin1(name));
  timer->setInterval(100);
  return timer;
}

}  // namespace

TfrmMain::TfrmMain(LogSink& log, TThinking_box* thinking, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint), m_log(log), m_thinking(thinking) {
  setObjectName(QStringLiteral("frmMain"));
  m_session = std::make_unique<MagazineSession>(
      *this, m_log, SessionConsole{[this]() -> TDebugBox2& { return Console(); }, [this] { return m_console != nullptr; }});
  m_session->setIncludeClock({ShortDateText, LongTimeText});
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);
  resize(kDesignWidth, kDesignHeight);
  buildControls();
  buildConsole();
  // A file the magazine names but may not have is "not found" to the reader,
  // and the author learns why from this one line.
  SetFileRefusalLog([this](const std::string& line) { m_log.Log(kSystem, line); });
  m_shutdown = std::make_unique<ViewerShutdown>(*m_console, *this);
  m_session->setShutdown(m_shutdown.get());
  m_session->surface().setPresenter(this);
  m_session->desktopMode().setPresenter(this);
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* now) { keyboardWindowChanged(now); });
  runGuarded([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() {
  runGuarded([this] { m_shutdown->FormDestroy(); });
  SetFileRefusalLog({});
  destroyConsole();
  m_consoleWindow.reset();
}

void TfrmMain::buildControls() {
  m_dock = new DockLayout(this);
  m_imgTop = new ImageWidget(this);
  m_imgTop->setObjectName(QStringLiteral("imgTop"));
  m_dock->dock(m_imgTop, DockSide::Top, QRect(0, 0, kDesignWidth, 32));
  // imgTop's mouse move is htmlMainMouseMove, which does nothing.

  m_imgDesktop = new ImageWidget(this);
  m_imgDesktop->setObjectName(QStringLiteral("imgDesktop"));
  m_dock->dock(m_imgDesktop, DockSide::Client);
  // imgDesktopMouseMove belongs to the link and button handling.

  m_htmlMain = makePane("htmlMain");
  m_htmlLeft = makePane("htmlLeft");
  m_htmlTop = makePane("htmlTop");
  m_htmlMain->setHistoryLimit(500);
  m_htmlMain->setTextSelectionAllowed(false);
  for (HtmlPaneWidget* pane : {m_htmlLeft, m_htmlTop}) {
    pane->setHistoryLimit(5000);
    pane->setTextSelectionAllowed(true);
    pane->setScrollBarsShown(false);
  }
  wirePanes();
  m_buttons = std::make_unique<ImageButtons>(
      this, m_htmlMain, [this](int slot) { return cursorSlot(slot); },
      [this](ImageButtons::Event event, GifImageWidget* control) {
        runGuarded([&] {
          if (event == ImageButtons::Event::Move) ButtonMouseMove(control);
          if (event == ImageButtons::Event::Down) ButtonMouseDown(control);
          if (event == ImageButtons::Event::Click) ButtonMouseClick(control);
          if (event == ImageButtons::Event::Up) ButtonMouseUp(control);
        });
      });

  m_btnConsole = new QToolButton(this);
  m_btnConsole->setObjectName(QStringLiteral("btnConsole"));
  m_btnConsole->setAutoRaise(true);
  m_btnConsole->setGeometry(0, 0, 17, 17);
  m_btnConsole->setIcon(ConsoleButtonFace());
  m_btnConsole->setIconSize(QSize(15, 15));
  m_btnConsole->raise();
  m_btnConsole->setMouseTracking(true);
  m_btnConsole->installEventFilter(this);
  connect(m_btnConsole, &QToolButton::clicked, this, [this] { runGuarded([this] { btnConsoleClick(); }); });
  m_imgDesktop->OnMouseMove = [this](ImageWidget*, Qt::KeyboardModifiers, int, int) {
    runGuarded([this] { imgDesktopMouseMove(); });
  };

  m_memError = new QPlainTextEdit(this);
  m_memError->setObjectName(QStringLiteral("memError"));
  m_memError->hide();
  // It shows the session's error page to whoever looks for it by name.
  QStringList lines;
  for (const std::string& line : MagazineSession::errorPage()) lines << QString::fromStdString(line);
  m_memError->setPlainText(lines.join(QLatin1Char('\n')));

  m_sndLabel = MakeHiddenLabel(this, "sndLabel", "sndLabel");
  m_lblAC = MakeHiddenLabel(this, "lblAC", "0");

  m_tmrMainUp = MakeScrollTimer(this, "tmrMainUp");
  m_tmrMainDown = MakeScrollTimer(this, "tmrMainDown");
  m_tmrLeftUp = MakeScrollTimer(this, "tmrLeftUp");
  m_tmrLeftDown = MakeScrollTimer(this, "tmrLeftDown");
  connect(m_tmrMainUp, &QTimer::timeout, this, [this] { runGuarded([this] { tmrMainUpTimer(); }); });
  connect(m_tmrMainDown, &QTimer::timeout, this, [this] { runGuarded([this] { tmrMainDownTimer(); }); });
  connect(m_tmrLeftUp, &QTimer::timeout, this, [this] { runGuarded([this] { tmrLeftUpTimer(); }); });
  connect(m_tmrLeftDown, &QTimer::timeout, this, [this] { runGuarded([this] { tmrLeftDownTimer(); }); });
}

void TfrmMain::wirePanes() {
  // Every pane: links, pictures, sounds, right clicks, processing. Hover
  // sounds come from the main and left panes; includes, form objects and
  // console keys from the main pane only.
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft, m_htmlTop}) {
    pane->OnHotSpotClick = [this](Sender sender, const std::string& src, bool& handled) {
      runGuarded([&] { htmlMainHotSpotClick(sender, src, handled); });
    };
    pane->OnSoundRequest = [this](Sender sender, const std::string& src, int loop, bool terminate) {
      runGuarded([&] { htmlMainSoundRequest(sender, src, loop, terminate); });
    };
    pane->OnRightClick = [this](Sender sender, const std::string& parameters) {
      runGuarded([&] { htmlMainRightClick(sender, parameters); });
    };
    pane->OnProcessing = [this](Sender sender, bool on) { runGuarded([&] { htmlLeftProcessing(sender, on); }); };
    pane->OnImageRequest = [this](Sender sender, const std::string& src, std::string& stream) {
      runGuarded([&] { m_session->imageRequest(paneOf(sender), src, stream); });
    };
  }
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft}) {
    pane->OnHotSpotCovered = [this](Sender sender, const std::string& src) {
      runGuarded([&] { htmlMainHotSpotCovered(sender, src); });
    };
  }
  m_htmlMain->OnInclude = [this](Sender sender, const std::string& command,
                                 const std::vector<std::string>& params) {
    std::string text;
    runGuarded([&] { text = htmlMainInclude(sender, command, params); });
    return text;
  };
  m_htmlMain->OnObjectClick = [this](Sender sender, const FormControl& obj, const std::string& onClick) {
    runGuarded([&] { htmlMainObjectClick(sender, obj, onClick); });
  };
  // Console keys typed in the main pane; the pane still gets them.
  m_htmlMain->installEventFilter(this);
}

HtmlPaneWidget* TfrmMain::makePane(const char* name) {
  auto* pane = new HtmlPaneWidget(this);
  pane->setObjectName(QString::fromLatin1(name));
  pane->setVisitedMemory(5000);
  pane->setImageCacheSize(20);
  pane->setDefaultFontFamily(QStringLiteral("Arial"));
  pane->setFixedFontFamily(QStringLiteral("Courier New"));
  pane->setDefaultTextColor(Qt::black);
  pane->setVisitedLinkColor(Qt::blue);
  pane->setBackgroundColor(Qt::white);
  pane->setFrameShape(QFrame::NoFrame);
  pane->setHintsShown(true);
  m_dock->dock(pane, DockSide::None, QRect(1, 1, 1, 1));
  return pane;
}

void TfrmMain::buildConsole() {
  m_console = std::make_unique<TDebugBox2>();
  m_console->setCaption("Tarn-Console");
  m_console->setPosition(TPositions::poBottomLeft);
  m_console->setListCom("list");
  m_console->setListComDesc("Lists all console commands.");
  m_console->setWidth(250);
  m_console->setHeight(200);
  m_consoleHandlers = std::make_unique<ViewerConsole>(*m_console, LauncherLogFile());
  m_consoleHandlers->setDateTime(ShortDateText, LongTimeText);
  m_consoleHandlers->setCommandRegistrar([this] { m_session->registerCommands(); });
  auto scripts = std::make_unique<ScriptRunner>(m_log, [this](const std::string& line) { runConsoleLine(line); });
  // An end signal or a close arrives between a long script's lines; the
  // lines after it would run on a reading already torn down.
  scripts->setStopWhen([this] { return m_closing || (m_shutdown && m_shutdown->ended()); });
  m_session->setScripts(std::move(scripts));
  m_consoleHandlers->attach();
  m_console->subscribeTo(m_log);
  m_consoleWindow = std::make_unique<ConsoleWindow>(*m_console);
  m_console->setVisible(false);
  m_console->DoInitialize();
}

// --- Creation and cursors ---

void TfrmMain::FormCreate() {
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  m_htmlMain->hide();
  m_htmlLeft->hide();
  m_htmlTop->hide();
  SetUpCursors();
}

// --- Layout ---

DockSide ToDockSide(PaneAlign align) {
  switch (align) {
    case PaneAlign::Top: return DockSide::Top;
    case PaneAlign::Bottom: return DockSide::Bottom;
    case PaneAlign::Left: return DockSide::Left;
    case PaneAlign::Right: return DockSide::Right;
    case PaneAlign::Client: return DockSide::Client;
    case PaneAlign::None: break;
  }
  return DockSide::None;
}

PaneAlign TfrmMain::paneAlign(const QWidget* control) const {
  switch (m_dock->side(control)) {
    case DockSide::Top: return PaneAlign::Top;
    case DockSide::Bottom: return PaneAlign::Bottom;
    case DockSide::Left: return PaneAlign::Left;
    case DockSide::Right: return PaneAlign::Right;
    case DockSide::Client: return PaneAlign::Client;
    case DockSide::None: break;
  }
  return PaneAlign::None;
}

void TfrmMain::realign() {
  m_dock->arrange();
}

void TfrmMain::SetUpPane(HtmlPaneWidget* pane, const std::string& fileName) {
  if (const std::optional<Pane> which = paneOf(pane)) m_session->setUpPane(*which, fileName);
}

// --- Start sequence ---

void TfrmMain::FormShow() {
  m_logHandlerInstalled = true;
  m_session->start();
  // Without a window manager nobody else gives the new window the keys,
  // and the console and scroll keys must work before the first click.
  takeKeyboard();
}

// --- The keyboard ---

void TfrmMain::takeKeyboard() {
  QWidget* screen = m_scaled ? static_cast<QWidget*>(m_scaled) : this;
  if (m_closing || !screen->isVisible() || screen->isMinimized()) return;
  if (QApplication::activeModalWidget()) return;
  screen->activateWindow();
  focusMainPane();
}

void TfrmMain::focusMainPane() {
  if (!m_htmlMain->isVisibleTo(this)) return;
  const QWidget* current = focusWidget();
  if (current && current != m_htmlMain && current->isVisibleTo(this)) return;
  m_htmlMain->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::keyboardWindowChanged(QWindow* now) {
  disconnect(m_keyboardWindowGone);
  disconnect(m_keyboardWindowHidden);
  // Nothing has the keys: the reader switched to another program (a window
  // of ours that closes says so itself, below).
  if (!now) return;
  if (now != m_keyboardWindow) {
    m_keyboardWindowBefore = m_keyboardWindow;
    m_keyboardWindow = now;
  }
  // A window that goes keeps the keyboard as far as the window system
  // knows: no focus change is ever reported for it. Its hiding is.
  m_keyboardWindowGone = connect(now, &QObject::destroyed, this, [this] { keyboardWindowLeft(); });
  m_keyboardWindowHidden = connect(now, &QWindow::visibleChanged, this, [this](bool visible) {
    if (!visible) keyboardWindowLeft();
  });
}

void TfrmMain::keyboardWindowLeft() {
  // A slideshow, the credits, a box or the console closed. A window manager
  // gives the keys back by itself (to the full-screen magazine, often, even
  // when the box came from the console); a bare X server leaves them nowhere.
  // Once the closing is over (another window may be coming up) the window
  // that had them before gets them back when it is still shown, else the
  // magazine takes them, unless a shown window has them.
  QTimer::singleShot(0, this, [this] {
    const QWindow* focused = QGuiApplication::focusWindow();
    if (focused && focused->isVisible() && focused != m_keyboardWindowBefore) return;
    QWindow* before = m_keyboardWindowBefore;
    const QWidget* screen = m_scaled ? static_cast<QWidget*>(m_scaled) : this;
    if (before && before->isVisible() && before != screen->windowHandle() &&
        before->windowState() != Qt::WindowMinimized && !QApplication::activeModalWidget()) {
      before->requestActivate();
      return;
    }
    if (!focused || !focused->isVisible()) runGuarded([this] { takeKeyboard(); });
  });
}

// --- Application events ---

void TfrmMain::setWindows(const ViewerWindows& windows) {
  m_windows = windows;
  // Their click sounds play as the viewer plays every sound.
  const QPointer<TfrmMain> self(this);
  auto play = [self](const std::string& path) {
    if (self) self->PlaySoundFile(path);
  };
  if (m_windows.pictureViewer) {
    m_windows.pictureViewer->setPlaySoundFile(play);
    m_windows.pictureViewer->setLinkCursor(cursorSlot(kLinkCursor).cursor());
  }
  if (m_windows.installer) m_windows.installer->setPlaySoundFile(play);
}

void TfrmMain::setJukebox(TPlinq_Main* jukebox) {
  m_jukebox = jukebox;
}

TPlinq_Main* TfrmMain::jukebox() const {
  return m_jukebox.data();
}

void TfrmMain::ApplicationEvents1Exception(const std::exception& e) {
  m_log.Log(kSystem, std::string("Exception: ") + e.what());
}

void TfrmMain::LogApplicationException(const std::exception& e) {
  m_log.Log(kSystem, std::string("Exception ") + e.what());
}

void TfrmMain::runGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    if (m_logHandlerInstalled)
      LogApplicationException(e);
    else
      ApplicationEvents1Exception(e);
  }
}

void TfrmMain::windowStateChanged(Qt::WindowStates old, Qt::WindowStates now) {
  const bool wasMinimized = old.testFlag(Qt::WindowMinimized);
  const bool isMinimized = now.testFlag(Qt::WindowMinimized);
  if (!wasMinimized && isMinimized) runGuarded([this] { ApplicationEvents1Minimize(); });
  if (wasMinimized && !isMinimized) runGuarded([this] { ApplicationEvents1Restore(); });
}

// --- Qt events ---

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_shownOnce || event->spontaneous()) return;
  m_shownOnce = true;
  runGuarded([this] { FormShow(); });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (m_closing) {
    event->accept();
    return;
  }
  bool allowed = false;
  runGuarded([&] { allowed = m_shutdown->ConfirmClose(); });
  if (!allowed) {
    event->ignore();
    return;
  }
  m_closing = true;
  runGuarded([this] { m_shutdown->FormClose(); });
  event->accept();
  if (m_scaled) m_scaled->close();
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
  // FormKeyDown does nothing; the window's key presses are the console keys.
  const QString text = event->text();
  if (text.size() == 1) runGuarded([&] { htmlMainKeyPress(text.at(0).unicode()); });
  QWidget::keyPressEvent(event);
}

void TfrmMain::keyReleaseEvent(QKeyEvent* event) {
  runGuarded([this] { FormKeyUp(); });
  QWidget::keyReleaseEvent(event);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_htmlMain && event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent*>(event)->text();
    if (text.size() == 1) runGuarded([&] { htmlMainKeyPress(text.at(0).unicode()); });
  }
  if (watched == m_btnConsole && event->type() == QEvent::MouseMove)
    runGuarded([this] { btnConsoleMouseMove(); });
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && !m_scaled)
    windowStateChanged(static_cast<QWindowStateChangeEvent*>(event)->oldState(), windowState());
}

// --- ScreenPresenter ---

void TfrmMain::enterFullScreen() {
  if (m_scaled)
    m_scaled->presentFullScreen();
  else
    showFullScreen();
}

void TfrmMain::leaveFullScreen() {
  if (m_scaled)
    m_scaled->presentWindowed();
  else if (isFullScreen())
    showNormal();
}

// --- ShutdownHost ---

void TfrmMain::restoreDesktopMode() {
  m_session->desktopMode().Restore();
}

void TfrmMain::finaliseSurface() {
  m_session->surface().Finalize();
}

bool TfrmMain::jukeboxExists() const {
  return !m_jukebox.isNull();
}

void TfrmMain::shutdownAudio() {
  if (m_jukebox) m_jukebox->jukebox().ShutdownAudio();
}

void TfrmMain::closeAndDestroyJukebox() {
  if (!m_jukebox) return;
  m_jukebox->close();
  if (m_destroyJukebox) m_destroyJukebox();
  m_jukebox = nullptr;
}

TDebugBox2& TfrmMain::Console() {
  if (!m_console) throw std::logic_error("the reading has ended and its console with it");
  return *m_console;
}

void TfrmMain::runConsoleLine(const std::string& line) {
  if (m_console) m_console->Execute(line);
}

void TfrmMain::destroyConsole() {
  if (!m_console) return;
  // The reading may end inside one of the console's own commands; the
  // console finishes nothing of that line once it is gone. It writes its
  // closing lines as it goes and leaves the program's log, so every later
  // line (a sending that still waits logs when its wait ends) meets the log
  // and no console. Its window stays until the viewer goes.
  std::unique_ptr<TDebugBox2> console = std::move(m_console);
  console.reset();
  m_consoleHandlers.reset();
}

void TfrmMain::terminateApplication() {
  // The reading has ended: the windows that close with the application must
  // not ask the farewell question again. exit() rather than quit(), which
  // would first send every window a close request.
  m_closing = true;
  // A sending still waits for its server with the window's events let in:
  // closing the mail form ends that wait now instead of at its time-out.
  if (m_windows.mailer) m_windows.mailer->close();
  if (m_terminate) {
    m_terminate();
  } else {
    QCoreApplication::exit(0);
    // exit() ends only loops that run; an end in the start command comes
    // before the message loop has started, which then ends at once.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  }
}

}  // namespace pagemoor
