#include "viewer/MainWindow.h"

#include <QCloseEvent>
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
#include <QWindowStateChangeEvent>
#include <stdexcept>

#include "app/ThinkingBoxWindow.h"
#include "app/qt/Localisation.h"
#include "common/Application.h"
#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"
#include "console/ConsoleWindow.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/ImageWidget.h"
#include "platform/qt/QtText.h"
#include "viewer/ViewerConsole.h"
#include "viewer/qt/LocalTime.h"
#include "viewer/qt/ScaledScreen.h"

namespace pagemoor {

namespace {

constexpr const char* kSystem = "System";

// Our own error page: what a load command leaves in a pane whose page is missing.
const char* const kErrorPage[] = {
    "<html>",
    "<head><title>Error</title></head>",
    "<body bgcolor=\"#000000\" text=\"#FFFFFF\" link=\"#FF0000\" vlink=\"#FF0000\" alink=\"#FF0000\">",
    "<p align=\"center\"><font color=\"#FFFF00\"><b><u>PAGEMOOR ERROR</u></b></font></p>",
    "<p>Program nebyl schopen načíst požadovaný soubor. Soubor chybí, nebo není v podporovaném "
    "textovém či HTML formátu.</p>",
    "<p align=\"center\"><a href=\"con_com:exit now\">Opustit Program</a></p>",
    "</body>",
    "</html>",
};

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
  m_surface.setPresenter(this);
  m_desktop.setPresenter(this);
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
  QStringList lines;
  for (const char* line : kErrorPage) lines << QString::fromUtf8(line);
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
    pane->OnProcessing = [this](Sender sender, bool on) {
      runGuarded([&] { htmlLeftProcessing(sender, on); });
    };
  }
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft}) {
    pane->OnHotSpotCovered = [this](Sender sender, const std::string& src) {
      runGuarded([&] { htmlMainHotSpotCovered(sender, src); });
    };
  }
  m_htmlMain->OnImageRequest = [this](Sender sender, const std::string& src, std::string& stream) {
    runGuarded([&] { htmlMainImageRequest(sender, src, stream); });
  };
  m_htmlLeft->OnImageRequest = [this](Sender sender, const std::string& src, std::string& stream) {
    runGuarded([&] { htmlLeftImageRequest(sender, src, stream); });
  };
  m_htmlTop->OnImageRequest = [this](Sender sender, const std::string& src, std::string& stream) {
    runGuarded([&] { htmlTopImageRequest(sender, src, stream); });
  };
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
  m_consoleHandlers->setCommandRegistrar([this] { registerCommands(); });
  m_scripts = std::make_unique<ScriptRunner>(m_log, [this](const std::string& line) { runConsoleLine(line); });
  // An end signal or a close arrives between a long script's lines; the
  // lines after it would run on a reading already torn down.
  m_scripts->setStopWhen([this] { return m_closing || (m_shutdown && m_shutdown->ended()); });
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

CursorSlot TfrmMain::cursorSlot(int slot) const {
  const auto it = m_cursors.find(slot);
  return it == m_cursors.end() ? CursorSlot() : it->second;
}

void TfrmMain::loadCursorInto(int slot, const std::string& path) {
  const auto resolved = ResolveExisting(path);
  if (!resolved) return;
  std::shared_ptr<AnimatedCursor> cursor = AnimatedCursor::fromFile(*resolved);
  // A file that is no cursor leaves the slot as it was.
  if (cursor && cursor->isValid()) m_cursors[slot] = CursorSlot(std::move(cursor));
}

void TfrmMain::SetUpCursors() {
  // The system's slots, as the toolkit draws them.
  m_cursors = {{0, CursorSlot(Qt::ArrowCursor)},
               {-2, CursorSlot(Qt::ArrowCursor)},
               {-11, CursorSlot(Qt::WaitCursor)},
               {-21, CursorSlot(Qt::PointingHandCursor)},
               {1, CursorSlot(Qt::PointingHandCursor)}};
  m_cursors[kNormalCursor] = cursorSlot(0);
  m_cursors[kLinkCursor] = cursorSlot(-21);
  m_cursors[kHourglassCopy] = cursorSlot(-11);

  const std::string ini = ProjectDir() + "ini\\cursors.ini";
  const std::string normal = ProjectDir() + "cursors\\" + ReadIniValue(ini, "cursors", "normal_cursor");
  const std::string link = ProjectDir() + "cursors\\" + ReadIniValue(ini, "cursors", "link_cursor");
  // A missing key names the folder itself, which is no file.
  const bool haveNormal = FileExists(normal);
  const bool haveLink = FileExists(link);
  if (haveNormal) loadCursorInto(kNormalCursor, normal);
  if (haveLink) loadCursorInto(kLinkCursor, link);
  if (haveNormal) loadCursorInto(0, normal);
  if (haveNormal) loadCursorInto(-2, normal);
  if (haveLink) loadCursorInto(1, link);
  if (haveLink) loadCursorInto(-21, link);
  applyCursors();
}

void TfrmMain::applyCursors() {
  cursorSlot(kNormalCursor).applyTo(this);
  cursorSlot(-2).applyTo(m_imgTop);
  cursorSlot(-2).applyTo(m_imgDesktop);
  cursorSlot(-21).applyTo(m_btnConsole);
  // The panes show the project's cursors over their text and links; where the
  // project has none, their own shapes (the I-beam over selectable text).
  const auto paneCursor = [this](int slot) -> HtmlPaneWidget::CursorSetter {
    const CursorSlot cursor = cursorSlot(slot);
    if (!cursor.isFile()) return nullptr;
    return [cursor](QWidget* viewport) { cursor.applyTo(viewport); };
  };
  m_htmlMain->setNormalCursor(paneCursor(0));
  m_htmlLeft->setNormalCursor(paneCursor(-2));
  m_htmlTop->setNormalCursor(paneCursor(-2));
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft, m_htmlTop}) pane->setLinkCursor(paneCursor(1));
}

// --- Layout ---

PaneAlign TfrmMain::paneAlign(const QWidget* control) const {
  return m_dock->side(control);
}

void TfrmMain::realign() {
  m_dock->arrange();
}

void TfrmMain::SetUpPane(HtmlPaneWidget* pane, const std::string& fileName) {
  const bool main = pane == m_htmlMain;
  const bool top = pane == m_htmlTop;
  const char* section = main ? "html_main" : top ? "html_top" : "html_left";
  const std::string file = ProjectDir() + "ini\\" + fileName;
  auto read = [&](const char* key, const char* fallback) {
    return AsciiLower(ReadIniDefault(file, section, key, fallback));
  };
  auto number = [&](const char* key) { return static_cast<int>(StrToIntDef(read(key, "1"), 1)); };

  const bool visible = TextToBool(read("visible", main ? "true" : "false"));
  const std::string align = read("align", main ? "none" : top ? "top" : "left");
  PaneAlign docking = PaneAlign::Client;
  if (align == "none") docking = PaneAlign::None;
  if (align == "top") docking = PaneAlign::Top;
  if (align == "bottom") docking = PaneAlign::Bottom;
  if (align == "left") docking = PaneAlign::Left;
  if (align == "right") docking = PaneAlign::Right;
  const int left = number("left");
  const int topEdge = number("top");
  const int width = number("width");
  const int height = number("height");

  pane->setVisible(visible);
  m_dock->dock(pane, docking, QRect(left, topEdge, width, height));
}

void TfrmMain::imgDesktopProgress(int percent) {
  const bool done = percent >= 100;
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft, m_htmlTop}) pane->setVisible(done);
}

// --- Start sequence ---

std::vector<std::string> TfrmMain::errorPage() const {
  std::vector<std::string> lines;
  for (const QString& line : m_memError->toPlainText().split(QLatin1Char('\n')))
    lines.push_back(line.toStdString());
  return lines;
}

void TfrmMain::FormShow() {
  m_logHandlerInstalled = true;
  if (m_thinking) m_thinking->ShowThinking(nullptr, "Initializing ...");

  const std::string project = IsDevelopMode() ? ChangeFileExt(ParamStr(0), ".UNP") : m_launcher.project;
  const std::string title = ReadIniValue(project, "uniproject", "name");
  SetApplicationTitle(title);

  const std::vector<std::string> page = errorPage();
  m_htmlMain->LoadDocumentLines(page);
  m_htmlLeft->LoadDocumentLines(page);
  m_htmlTop->LoadDocumentLines(page);
  setWindowTitle(ToQt(title));
  if (m_scaled) m_scaled->setWindowTitle(ToQt(title));

  m_console->Log(kSystem, "Console Initialization Completed");
  m_console->Log(kSystem, "Starting Main ...");
  m_console->Log(kSystem, "Starting \"" + title + "\"");

  SelectDisplayMode();

  // The whole start command, and whatever it starts, runs before the rest.
  const std::string mainIni = ProjectDir() + "ini\\main.ini";
  m_console->Execute(ReadIniValue(mainIni, "start", "start_command"));

  if (std::unique_ptr<LanguageFile> language = LoadLanguageFile("ini\\lang.ini")) {
    SetLanguageFile(std::move(language));
    std::vector<QWidget*> windows = {this};
    windows.insert(windows.end(), m_localised.begin(), m_localised.end());
    ApplyLanguage(windows, CurrentLanguageFile());
  }

  m_btnConsole->setVisible(TextToBool(ReadIniDefault(mainIni, "start", "btnconsole_visible", "true")));

  if (m_jukebox) {
    m_jukebox->jukebox().tbSoundsChange();
    m_jukebox->jukebox().setTimer1Enabled(true);
  }
  // The screen-wide cursor override stays at the default: every control shows its own.
  if (m_thinking) m_thinking->HideThinking();
}

void TfrmMain::SelectDisplayMode() {
  m_useDirectX = true;
  const bool noDx = AsciiLower(ParamStr(2)) == "/no_dx";
  m_useDirectX = pagemoor::SelectDisplayMode(m_surface, m_desktop, m_log, noDx, m_launcher.useDirectX);
}

// --- Application events ---

void TfrmMain::setJukebox(TPlinq_Main* jukebox) {
  m_jukebox = jukebox;
}

TPlinq_Main* TfrmMain::jukebox() const {
  return m_jukebox.data();
}

void TfrmMain::ApplicationEvents1Minimize() {
  m_log.Log(kSystem, "Minimize");
  if (m_jukebox) m_jukebox->jukebox().ZastavitClick();
}

void TfrmMain::ApplicationEvents1Restore() {
  if (m_jukebox) m_jukebox->jukebox().PlayRandom();
  m_log.Log(kSystem, "Restore");
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
  m_desktop.Restore();
}

void TfrmMain::finaliseSurface() {
  m_surface.Finalize();
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
