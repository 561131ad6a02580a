#include "app/LauncherWindow.h"

#include "app/Startup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QTime>
#include <exception>
#include <utility>

#include "app/Projects.h"
#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "console/ConsoleWindow.h"
#include "pictures/GifImageWidget.h"
#include "platform/AnswerQueue.h"
#include "platform/Dialogs.h"
#include "platform/qt/Controls.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

constexpr int kClientWidth = 382;
constexpr int kClientHeight = 364;
constexpr int kLogoHeight = 90;
constexpr const char* kLogoResource = ":/launcher/launcher-logo.gif";
constexpr const char* kBackgroundResource = ":/launcher/launcher-background.gif";
constexpr const char* kLogSource = "System";

// A label that only carries a value for the rest of the run.
QLabel* MakeHiddenLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->hide();
  return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, int left, int top) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setFont(ArialFont(11, false));
  SetTextColor(box, kLime);
  box->setChecked(true);
  box->move(left, top);
  box->adjustSize();
  return box;
}

std::string ResourceBytes(const char* name) {
  QFile file(QString::fromLatin1(name));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

// The locale's long time format without its time zone: the log gives the
// reader's wall clock, as the system's own clock shows it.
QString LongTimeText(const QTime& time) {
  const QLocale locale = QLocale::system();
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$")));
  format.remove(QRegularExpression(QStringLiteral("^\\s*t+\\s*")));
  return locale.toString(time, format);
}

}  // namespace

TfrmLauncher::TfrmLauncher(LogSink& log, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_log(log) {
  setObjectName("frmLauncher");
  // Closing the launcher must not end the application by itself: closing
  // without a project asks through the terminate callback, and after a Run
  // the start-up goes on.
  SetUpBlackToolWindow(this, kClientWidth, kClientHeight);
  m_terminate = [] {
    if (QCoreApplication::instance()) QCoreApplication::quit();
  };

  // Back to front: the tiled background, the logo, the console's click area
  // over the logo, then the controls.
  m_gifBackground = new GifImageWidget(this);
  m_gifBackground->setObjectName("gifBackground");
  m_gifBackground->setGeometry(0, kLogoHeight, kClientWidth, kClientHeight - kLogoHeight);
  if (m_gifBackground->LoadFromBytes(ResourceBytes(kBackgroundResource))) {
    const QImage tile = m_gifBackground->picture();
    QImage tiled(m_gifBackground->size(), QImage::Format_RGB32);
    QPainter painter(&tiled);
    painter.fillRect(tiled.rect(), QBrush(tile));
    painter.end();
    m_gifBackground->setPicture(tiled);
  }

  m_gifLogo = new GifImageWidget(this);
  m_gifLogo->setObjectName("gifLogo");
  m_gifLogo->setAutoSize(true);
  m_gifLogo->setGeometry(0, 0, kClientWidth, kLogoHeight);
  m_gifLogo->LoadFromBytes(ResourceBytes(kLogoResource));

  m_imgShowConsole = new ImageWidget(this);
  m_imgShowConsole->setObjectName("imgShowConsole");
  m_imgShowConsole->setGeometry(80, 0, 33, 41);
  m_imgShowConsole->OnClick = [this](ImageWidget*) { imgShowConsoleClick(); };

  MakeLabel(this, "Label1", 8, 96, QString::fromUtf8("Prosím zvolte si projekt z nabídky:"), Qt::black,
            ArialFont(16, true));

  m_listBox = new QListWidget(this);
  m_listBox->setObjectName("ListBox1");
  m_listBox->setGeometry(0, 120, 383, 97);
  m_listBox->setFont(ArialFont(11, false));
  m_listBox->setSelectionMode(QAbstractItemView::SingleSelection);
  m_listBox->setUniformItemSizes(true);
  // Mouse and keyboard both move the selection; either shows the entry's details.
  connect(m_listBox, &QListWidget::itemSelectionChanged, this, [this] { ListBox1Click(); });
  // Enter on the chosen entry and a double click on one start it, as
  // "Spustit Projekt" does. Not the list's activation: a style may activate
  // on a single click, which must only choose.
  connect(m_listBox, &QListWidget::itemDoubleClicked, this, [this] { btnRunClick(); });
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* enter = new QShortcut(QKeySequence(key), m_listBox);
    enter->setContext(Qt::WidgetShortcut);
    connect(enter, &QShortcut::activated, this, [this] { btnRunClick(); });
  }

  auto* shape = new QFrame(this);
  shape->setObjectName("Shape1");
  shape->setFrameStyle(QFrame::Box | QFrame::Plain);
  shape->setLineWidth(1);
  SetTextColor(shape, Qt::white);
  shape->setGeometry(8, 232, 361, 65);

  MakeLabel(this, "Label2", 16, 240, QStringLiteral("Autor:"), Qt::black, ArialFont(13, false));
  MakeLabel(this, "Label3", 16, 256, QStringLiteral("E-Mail:"), Qt::black, ArialFont(13, false));
  MakeLabel(this, "Label4", 16, 272, QStringLiteral("WWW:"), Qt::black, ArialFont(13, false));
  m_lblAuthor = MakeLabel(this, "lblAuthor", 64, 240, QStringLiteral(" "), Qt::black, ArialFont(13, true));
  m_lblEmail = MakeLabel(this, "lblEmail", 64, 256, QStringLiteral(" "), Qt::black, ArialFont(13, true));
  m_lblWWW = MakeLabel(this, "lblWWW", 64, 272, QStringLiteral(" "), Qt::black, ArialFont(13, true));
  // Long values end at the outline's right edge.
  for (QLabel* value : {m_lblAuthor, m_lblEmail, m_lblWWW}) value->setFixedWidth(8 + 361 - 64 - 4);

  m_btnClose =
      MakeFlatButton(this, "btnClose", QString::fromUtf8("Zavřít"), QRect(8, 336, 113, 22), Qt::black);
  m_btnRun =
      MakeFlatButton(this, "btnRun", QStringLiteral("Spustit Projekt"), QRect(128, 336, 129, 22), Qt::black);
  connect(m_btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
  connect(m_btnRun, &QPushButton::clicked, this, [this] { btnRunClick(); });

  auto* group = new QGroupBox(QString::fromUtf8("Nastavení"), this);
  group->setObjectName("GroupBox1");
  group->setFont(ArialFont(15, false));
  SetTextColor(group, Qt::white);
  group->setGeometry(264, 304, 117, 57);
  m_chkUseDX = MakeCheckBox(group, "chkUseDX", QString::fromUtf8("Použít Direct-X"), 8, 16);
  m_chkPlayMusic = MakeCheckBox(group, "chkPlayMusic", QString::fromUtf8("Přehrávat Hudbu"), 8, 32);
  // toggled, not clicked: a box changed from code counts as well.
  connect(m_chkUseDX, &QCheckBox::toggled, this, [this] { chkUseDXClick(); });
  connect(m_chkPlayMusic, &QCheckBox::toggled, this, [this] { chkPlayMusicClick(); });

  m_lblProject = MakeHiddenLabel(this, "lblProject", QString::fromLatin1(kNoProject));
  m_lblUseDX = MakeHiddenLabel(this, "lblUseDX", QStringLiteral("1"));
  m_lblPlayMusic = MakeHiddenLabel(this, "lblPlayMusic", QStringLiteral("1"));

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  // The console: hidden, in its default corner, with only the log side.
  m_console.setCaption("Tarn-Console");
  m_console.setListCom("list");
  m_console.setListComDesc("Lists all console commands.");
  m_console.OnInitialize = [this](Sender) { ConsoleInitialize(); };
  m_console.OnAdd = [this](Sender) { ConsoleAdd(); };
  m_console.subscribeTo(m_log);
  m_consoleWindow = std::make_unique<ConsoleWindow>(m_console);
  m_console.DoInitialize();

  FormCreate();
}

TfrmLauncher::~TfrmLauncher() {
  // The log files are not rewritten while the window goes.
  m_console.OnAdd = nullptr;
  m_console.OnInitialize = nullptr;
}

void TfrmLauncher::setTerminate(std::function<void()> terminate) {
  m_terminate = std::move(terminate);
}

// --- Handlers ---

void TfrmLauncher::FormCreate() {
  setWindowTitle(ToQt("Pagemoor - version " + std::to_string(AppVersion())));
}

void TfrmLauncher::FormShow() {
  m_listBox->clear();
  for (const std::string& name : FindProjects(projectPattern(), m_log)) {
    auto* item = new QListWidgetItem(ToQt(name), m_listBox);
    item->setSizeHint(QSize(0, 13));
  }
  m_listBox->setFocus(Qt::OtherFocusReason);
  m_log.Log(kLogSource, "Starting Launcher ...");
}

void TfrmLauncher::ListBox1Click() {
  const int row = selectedRow();
  try {
    if (row >= 0) {
      const std::string entry = m_listBox->item(row)->text().toStdString();
      const std::string file = ResolveProject(projectPattern(), entry, m_log);
      m_lblProject->setText(ToQt(file));
      m_lblAuthor->setText(ToQt(ReadIniValue(file, "projectinfo", "author")));
      m_lblEmail->setText(ToQt(ReadIniValue(file, "projectinfo", "e-mail")));
      m_lblWWW->setText(ToQt(ReadIniValue(file, "projectinfo", "www")));
      // Selecting only shows the details; the project is chosen by Run.
      m_projectStarted = false;
      m_lblProject->setText(QString::fromLatin1(kNoProject));
      return;
    }
  } catch (const std::exception&) {
    // Whatever went wrong, the details below are cleared.
  }
  m_lblProject->setText(QString::fromLatin1(kNoProject));
  m_lblAuthor->clear();
  m_lblEmail->clear();
  m_lblWWW->clear();
}

void TfrmLauncher::btnRunClick() {
  const int row = selectedRow();
  if (row < 0) {
    ShowInfo("Nebyl zvolen žádný projekt");
    return;
  }
  const std::string entry = m_listBox->item(row)->text().toStdString();
  const std::string file = ResolveProject(projectPattern(), entry, m_log);
  m_lblProject->setText(ToQt(file));
  // The file may have gone, or been renamed inside, since the list was filled.
  if (file == kNoProject) return;
  m_log.Log(kLogSource, "Starting project " + ExtractFileName(file));
  m_projectStarted = true;
  FormClose();
}

void TfrmLauncher::btnCloseClick() {
  m_projectStarted = false;
  FormClose();
}

void TfrmLauncher::FormClose() {
  m_log.Log(kLogSource, "Closing Launcher ...");
  if (!m_projectStarted) {
    m_log.Log(kLogSource, "Terminate ...");
    if (m_terminate) m_terminate();
  }
  m_closedWithProject = m_projectStarted;
  m_projectStarted = false;
  m_showing = false;
  hide();
  m_modal.quit();
}

void TfrmLauncher::chkUseDXClick() {
  m_lblUseDX->setText(m_chkUseDX->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TfrmLauncher::chkPlayMusicClick() {
  m_lblPlayMusic->setText(m_chkPlayMusic->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TfrmLauncher::imgShowConsoleClick() {
  m_console.setVisible(!m_console.Visible());
}

void TfrmLauncher::ConsoleInitialize() {
  m_console.AddLine("");
  m_console.AddLine("<<< Tarn-Console >>>");
  m_console.AddLine("");
  m_console.Log(kLogSource, "AppVersion: " + std::to_string(AppVersion()));
  const QLocale locale = QLocale::system();
  m_console.Log(kLogSource,
                "Date: " + locale.toString(QDate::currentDate(), QLocale::ShortFormat).toStdString());
  m_console.Log(kLogSource, "Time: " + LongTimeText(QTime::currentTime()).toStdString());
  // Index 0 is the program itself; the last parameter is left out.
  const std::size_t count = ParamCount();
  for (std::size_t i = 0; i < count; ++i)
    m_console.Log(kLogSource, "Parameter(" + std::to_string(i) + ") = \"" + ParamStr(i) + "\"");
  m_console.Log(kLogSource, "Initiate Console (LAUNCHER)");
}

void TfrmLauncher::ConsoleAdd() {
  // A log file that cannot be written must not stop the launcher.
  try {
    m_console.SaveToFile(LauncherLogPath());
  } catch (const ConsoleFileError&) {
  }
  try {
    m_console.SaveLog();
  } catch (const ConsoleFileError&) {
  }
}

// --- Values and helpers ---

std::string TfrmLauncher::lblProject() const {
  return m_lblProject->text().toStdString();
}

std::string TfrmLauncher::lblUseDX() const {
  return m_lblUseDX->text().toStdString();
}

std::string TfrmLauncher::lblPlayMusic() const {
  return m_lblPlayMusic->text().toStdString();
}

std::string TfrmLauncher::LauncherLogPath() {
  return LauncherLogFile();
}

int TfrmLauncher::selectedRow() const {
  const QList<QListWidgetItem*> selected = m_listBox->selectedItems();
  return selected.isEmpty() ? -1 : m_listBox->row(selected.front());
}

std::string TfrmLauncher::projectPattern() const {
  return ProgramDir() + "*.UNP";
}

// --- ModalWindow ---

std::string TfrmLauncher::modalName() const {
  return objectName().toStdString();
}

std::string TfrmLauncher::modalCaption() const {
  return windowTitle().toStdString();
}

int TfrmLauncher::execModal() {
  if (m_modal.running()) return 0;  // already up
  m_modal.exec(*this, [this] {
    m_showing = true;
    m_closedWithProject = false;
    FormShow();
  });
  return m_closedWithProject ? 1 : 0;
}

int TfrmLauncher::runScripted(AnswerQueue& answers) {
  m_showing = true;
  m_closedWithProject = false;
  FormShow();
  while (m_showing) {
    const Answer& next = answers.front();
    if (next.is("nodx")) {
      answers.pop();
      m_chkUseDX->setChecked(false);
    } else if (next.is("project")) {
      const QString wanted = ToQt(next.value.value_or(std::string()));
      answers.pop();
      m_listBox->clearSelection();
      const QList<QListWidgetItem*> found = m_listBox->findItems(wanted, Qt::MatchExactly);
      if (!found.isEmpty()) m_listBox->setCurrentItem(found.front());
      btnRunClick();
    } else {
      if (next.is("close")) answers.pop();
      btnCloseClick();
    }
  }
  return m_closedWithProject ? 1 : 0;
}

void TfrmLauncher::showEvent(QShowEvent* event) {
  m_showing = true;
  QWidget::showEvent(event);
}

void TfrmLauncher::closeEvent(QCloseEvent* event) {
  // The window's close box. Run and "Zavřít" have closed it already when
  // they only hide it, so it is not closed twice.
  if (m_showing) FormClose();
  event->accept();
}

}  // namespace pagemoor
