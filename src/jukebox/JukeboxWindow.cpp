#include "jukebox/JukeboxWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPolygon>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <exception>

#include "common/Strings.h"
#include "common/LogSink.h"
#include "platform/qt/MagazineBoxes.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

// Sizes of the 800-pixel-wide design.
constexpr int kClientWidth = 456;
constexpr int kClientHeight = 300;
// The old window's font (8 points at 96 dots per inch).
constexpr int kFontPixels = 11;

// Windows' MulDiv for the non-negative values of a layout: rounded, halves up.
int MulDiv(int value, int numerator, int denominator) {
  return static_cast<int>((static_cast<long long>(value) * numerator + denominator / 2) / denominator);
}

}  // namespace

// --- WaveImage ---

WaveImage::WaveImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void WaveImage::setImage(const QImage& image) {
  m_image = image;
  update();
}

void WaveImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  painter.drawImage(0, 0, m_image);
}

// --- TPlinq_Main ---

TPlinq_Main::TPlinq_Main(audio::AudioEngine& engine, LogSink* log, int screenWidth, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                              Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_audio(std::make_unique<JukeboxAudio>(engine)),
      m_jukebox(std::make_unique<Jukebox>(*m_audio, log)),
      m_log(log) {
  setObjectName("Plinq_Main");
  setWindowTitle(QString::fromUtf8("Plinq (verze 1783PM)"));
  // Closing the jukebox never ends the program.
  setAttribute(Qt::WA_QuitOnClose, false);
  QFont small = font();
  small.setPixelSize(kFontPixels);
  setFont(small);

  onTerminate = [] {
    // Queued, as the old Terminate: the program ends when its loop runs.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  };
  onMinimize = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) w->setWindowState(w->windowState() | Qt::WindowMinimized);
  };
  onRestore = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
  };

  buildControls();
  buildMenu();

  m_timer1 = new QTimer(this);
  m_timer1->setObjectName("Timer1");
  m_timer1->setInterval(100);
  connect(m_timer1, &QTimer::timeout, this, &TPlinq_Main::Timer1Timer);
  m_timer3 = new QTimer(this);
  m_timer3->setObjectName("Timer3");
  m_timer3->setInterval(50);
  connect(m_timer3, &QTimer::timeout, this, &TPlinq_Main::Timer3Timer);
  m_timer3->start();

  m_jukebox->setView(this);
  m_jukebox->setFilesDialog([this](const FileDialogOptions& options) { return runOpen1(options); });

  setAcceptDrops(true);
  m_created = m_jukebox->FormCreate(this);
  if (m_created) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    ScaleToScreen(screenWidth > 0 ? screenWidth : screen ? screen->geometry().width() : 800);
    if (screen) {
      layout()->activate();
      adjustSize();
      move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    m_jukebox->InstallMessageHook();
  }
  jukeboxChanged();
  DrawWave();
}

TPlinq_Main::~TPlinq_Main() {
  setAcceptDrops(false);
  m_timer1->stop();
  m_timer3->stop();
  m_jukebox->setView(nullptr);
  // The controls go before the logic they call.
  delete takeCentralWidget();
  delete menuBar();
}

void TPlinq_Main::buildControls() {
  m_client = new QWidget(this);
  m_client->setObjectName("ClientArea");
  m_client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(m_client);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  m_listBox1 = new QListWidget(m_client);
  m_listBox1->setObjectName("ListBox1");
  m_listBox1->setGeometry(0, 8, 305, 113);
  m_listBox1->hide();

  m_listBox2 = new QListWidget(m_client);
  m_listBox2->setObjectName("ListBox2");
  m_listBox2->setGeometry(8, 8, 305, 113);
  // A mouse click on any row, the current one too; the keyboard moves the
  // current row. A press changes the row before its click, hence the button test.
  connect(m_listBox2, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int row = m_listBox2->row(item);
    guarded([this, row] { m_jukebox->ListBox2Click(row); });
  });
  connect(m_listBox2, &QListWidget::currentRowChanged, this, [this](int row) {
    if (m_syncing || QGuiApplication::mouseButtons() != Qt::NoButton || row < 0) return;
    guarded([this, row] { m_jukebox->ListBox2Click(row); });
  });

  m_wavePaint = new WaveImage(m_client);
  m_wavePaint->setObjectName("WavePaint");
  m_wavePaint->setGeometry(8, 128, 305, 145);

  // Present, without behaviour.
  m_sliderImage = new QWidget(m_client);
  m_sliderImage->setObjectName("SliderImage");
  m_sliderImage->setGeometry(8, 280, 305, 17);

  m_dxEF = new QGroupBox(QString::fromUtf8("Efekty"), m_client);
  m_dxEF->setObjectName("dxEF");
  m_dxEF->setGeometry(320, 0, 129, 201);
  auto* label1 = new QLabel(QString::fromUtf8("Direct-X Efekty"), m_dxEF);
  label1->setObjectName("Label1");
  label1->setGeometry(8, 18, 113, 14);
  addSwitch("Echo", "Ozvěna", 32, &JukeboxSwitches::Echo, nullptr);
  addSwitch("Flange", "Flange", 47, &JukeboxSwitches::Flange, nullptr);
  addSwitch("Reverb", "Reverb", 62, &JukeboxSwitches::Reverb, nullptr);
  addSwitch("Chorus", "Chorus", 77, &JukeboxSwitches::Chorus, nullptr);
  addSwitch("Gargle", "Gargle", 92, &JukeboxSwitches::Gargle, nullptr);
  auto* label2 = new QLabel(QString::fromUtf8("Softwarové Efekty"), m_dxEF);
  label2->setObjectName("Label2");
  label2->setGeometry(8, 110, 113, 14);
  addSwitch("Echos", "Ozvěna", 124, &JukeboxSwitches::Echos, &Jukebox::EchosClick);
  addSwitch("Flanger", "Flange", 139, &JukeboxSwitches::Flanger, &Jukebox::FlangerClick);
  addSwitch("Rotates", "Rotování", 154, &JukeboxSwitches::Rotates, &Jukebox::RotatesClick);
  addSwitch("Surround", "Surround", 169, &JukeboxSwitches::Surround, nullptr);

  m_volume = new QSlider(Qt::Vertical, m_client);
  m_volume->setObjectName("Music_Volume");
  m_volume->setGeometry(376, 208, 15, 73);
  m_volume->setRange(0, 100);
  m_volume->setValue(0);
  // Position 0 at the top, as the old track bar had it; the keys follow the look.
  m_volume->setInvertedAppearance(true);
  m_volume->setInvertedControls(true);
  m_volume->setTickPosition(QSlider::NoTicks);
  connect(m_volume, &QSlider::valueChanged, this, [this](int position) {
    m_jukebox->setVolumePosition(position);
    m_jukebox->tbSoundsChange();
  });

  auto* volumeLabel = new QLabel(QString::fromUtf8("Hlasitost"), m_client);
  volumeLabel->setObjectName("Volume");
  volumeLabel->move(352, 280);
  volumeLabel->adjustSize();

  const auto meter = [this](const char* name, int left) {
    auto* bar = new QProgressBar(m_client);
    bar->setObjectName(name);
    bar->setOrientation(Qt::Vertical);
    bar->setRange(0, 128);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setGeometry(left, 208, 9, 73);
    return bar;
  };
  m_vuLeft = meter("VU_Left", 408);
  m_vuRight = meter("VU_Right", 432);
  for (const auto& [name, left] : {std::pair{"L", 409}, std::pair{"R", 433}}) {
    auto* label = new QLabel(name, m_client);
    label->setObjectName(name);
    label->move(left, 282);
    label->adjustSize();
  }

  m_id3Def = new QLabel(ToQt(m_jukebox->ID3DEF()), m_client);
  m_id3Def->setObjectName("ID3DEF");
  m_id3Def->move(304, 208);
  m_id3Def->adjustSize();
  m_id3Def->hide();

  // Below the client area, as in the old window: the mask is there but out of sight.
  m_id3Mask = new QLineEdit(ToQt(m_jukebox->ID3Mask()), m_client);
  m_id3Mask->setObjectName("ID3Mask");
  m_id3Mask->setGeometry(136, 352, 169, 21);
  connect(m_id3Mask, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!m_syncing) m_jukebox->ID3MaskChange(text.toStdString());
  });

  auto* lblmusic = new QLabel(QString::fromUtf8("lblmusic"), m_client);
  lblmusic->setObjectName("lblmusic");
  lblmusic->move(8, 304);
  lblmusic->adjustSize();
}

QCheckBox* TPlinq_Main::addSwitch(const char* name, const char* caption, int top,
                                  bool JukeboxSwitches::*field, void (Jukebox::*click)()) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), m_dxEF);
  box->setObjectName(name);
  box->setGeometry(8, top, 113, 15);
  connect(box, &QCheckBox::toggled, this, [this, field, click](bool on) {
    m_jukebox->switches().*field = on;
    if (click) guarded([this, click] { (m_jukebox.get()->*click)(); });
  });
  return box;
}

void TPlinq_Main::buildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  const auto item = [this](QWidget* owner, const char* name, const char* caption,
                           void (Jukebox::*handler)()) {
    auto* action = new QAction(QString::fromUtf8(caption), owner);
    action->setObjectName(name);
    owner->addAction(action);
    connect(action, &QAction::triggered, this,
            [this, handler] { guarded([this, handler] { (m_jukebox.get()->*handler)(); }); });
    return action;
  };
  item(bar, "Zavrit", "Zavřít", &Jukebox::ZavritClick);
  item(bar, "Zastavit", "Zastavit", &Jukebox::ZastavitClick);
  item(bar, "Dalsi", "Hrát Další", &Jukebox::DalsiClick);
  QMenu* playlist = bar->addMenu(QString::fromUtf8("Playlist"));
  playlist->setObjectName("Playlist");
  item(playlist, "Pridat", "Přidat", &Jukebox::PridatClick);
  item(playlist, "Odebrat", "Odebrat", &Jukebox::OdebratClick);
  item(playlist, "Nacist", "Načíst", &Jukebox::NacistClick);
  item(playlist, "Ulozit", "Uložit", &Jukebox::UlozitClick);
  item(playlist, "Vymazat", "Vymazat", &Jukebox::VymazatClick);
  m_nahodne = item(playlist, "Nahodne", "Náhodný Výběr", &Jukebox::NahodneClick);
  // The logic holds the mode; the check mark only shows it (jukeboxChanged).
  m_nahodne->setCheckable(true);
}

void TPlinq_Main::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    if (m_log) m_log->Log("Jukebox", e.what());
  }
}

void TPlinq_Main::ScaleToScreen(int screenWidth) {
  m_scale = ScreenScaleFactor(screenWidth);
  if (m_scale == 100) return;
  const int m = m_scale;
  // As the old ScaleBy: position and far edge scaled, the size their difference.
  const auto scale = [m](QWidget* w) {
    const QRect g = w->geometry();
    const int x = MulDiv(g.x(), m, 100), y = MulDiv(g.y(), m, 100);
    w->setGeometry(x, y, MulDiv(g.x() + g.width(), m, 100) - x, MulDiv(g.y() + g.height(), m, 100) - y);
  };
  m_client->setFixedSize(MulDiv(kClientWidth, m, 100), MulDiv(kClientHeight, m, 100));
  for (QWidget* parent : {m_client, static_cast<QWidget*>(m_dxEF)})
    for (QObject* child : parent->children())
      if (auto* w = qobject_cast<QWidget*>(child)) scale(w);
  QFont scaled = font();
  scaled.setPixelSize(MulDiv(kFontPixels, m, 100));
  setFont(scaled);
}

void TPlinq_Main::Timer1Timer() {
  guarded([this] { m_jukebox->Timer1Timer(); });
}

void TPlinq_Main::Timer3Timer() {
  m_jukebox->Timer3Timer(m_wavePaint->width(), m_wavePaint->height());
  DrawWave();
  const VULevel level = m_jukebox->meters();
  m_vuLeft->setValue(level.left);
  m_vuRight->setValue(level.right);
}

void TPlinq_Main::DrawWave() {
  // The bitmaps follow WavePaint's size (scaled at creation), so the whole
  // wave is drawn rather than clipped to the design's size.
  const QSize size = m_wavePaint->size();
  if (m_background.size() != size) {
    m_background = QImage(size, QImage::Format_RGB32);
    m_background.fill(Qt::white);
  }
  m_work = m_background;
  const auto& points = m_jukebox->wavePoints();
  if (!points.empty()) {
    QPolygon line;
    for (const auto& [x, y] : points) line << QPoint(x, y);
    QPainter painter(&m_work);
    painter.setPen(QPen(Qt::black, 0));
    painter.drawPolyline(line);
  }
  m_wavePaint->setImage(m_work);
}

std::unique_ptr<QFileDialog> TPlinq_Main::makeOpen1Dialog() {
  // The jukebox's own box: above it, centred on the magazine and scaled with it.
  auto dialog = std::make_unique<MagazineBox<QFileDialog>>();
  dialog->setObjectName("Open1");
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFiles);
  // The descriptions only, as the old dialog listed them; the patterns
  // spelled for every letter case would only clutter them.
  dialog->setOption(QFileDialog::HideNameFilterDetails, true);
  const QStringList filters = QtNameFilters(kOpen1Filter);
  dialog->setNameFilters(filters);
  dialog->selectNameFilter(filters.front());
  AdoptBox(*dialog, this);
  return dialog;
}

std::optional<std::vector<std::string>> TPlinq_Main::runOpen1(const FileDialogOptions& options) {
  // Scripted runs and tests answer the dialog through their platform (one
  // file); the desktop gets the real dialog with several files.
  if (!dynamic_cast<QtPlatform*>(&platform())) return Jukebox::PlatformFilesDialog(options);
  const std::unique_ptr<QFileDialog> dialog = makeOpen1Dialog();
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> files;
  for (const QString& file : dialog->selectedFiles()) files.push_back(file.toStdString());
  return files;
}

// --- JukeboxView ---

void TPlinq_Main::jukeboxChanged() {
  m_syncing = true;
  if (m_shownListsVersion != m_jukebox->listsVersion()) {
    m_shownListsVersion = m_jukebox->listsVersion();
    for (const auto& [widget, texts] :
         {std::pair{m_listBox1, &m_jukebox->ListBox1()}, std::pair{m_listBox2, &m_jukebox->ListBox2()}}) {
      widget->clear();
      for (const std::string& text : *texts) widget->addItem(ToQt(text));
    }
  }
  m_listBox1->setCurrentRow(m_jukebox->pathIndex());
  m_listBox2->setCurrentRow(m_jukebox->titleIndex());
  m_nahodne->setChecked(m_jukebox->Nahodne());
  if (m_jukebox->Timer1Enabled() != m_timer1->isActive()) {
    if (m_jukebox->Timer1Enabled())
      m_timer1->start();
    else
      m_timer1->stop();
  }
  const QString def = ToQt(m_jukebox->ID3DEF());
  if (m_id3Def->text() != def) m_id3Def->setText(def);
  const QString mask = ToQt(m_jukebox->ID3Mask());
  if (m_id3Mask->text() != mask) m_id3Mask->setText(mask);
  m_syncing = false;
}

void TPlinq_Main::closeWindow() {
  close();
}

void TPlinq_Main::minimizeApplication() {
  if (onMinimize) onMinimize();
}

void TPlinq_Main::restoreApplication() {
  if (onRestore) onRestore();
}

void TPlinq_Main::terminateApplication() {
  if (onTerminate) onTerminate();
}

// --- Events ---

void TPlinq_Main::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Not for the window system's own showings (restoring from minimized).
  if (!event->spontaneous()) guarded([this] { m_jukebox->FormShow(); });
}

void TPlinq_Main::closeEvent(QCloseEvent* event) {
  // Never refused: the window only hides.
  event->accept();
  if (m_modalLoop) m_modalLoop->quit();
}

void TPlinq_Main::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    guarded([this] { m_jukebox->ZavritClick(); });
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void TPlinq_Main::dragEnterEvent(QDragEnterEvent* event) {
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
}

void TPlinq_Main::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  if (paths.empty()) return;
  event->acceptProposedAction();
  guarded([this, &paths] { m_jukebox->WMDropFiles(paths); });
}

// --- ModalWindow ---

std::string TPlinq_Main::modalName() const {
  return objectName().toStdString();
}

std::string TPlinq_Main::modalCaption() const {
  return windowTitle().toStdString();
}

int TPlinq_Main::execModal() {
  if (m_modalLoop) return 0;  // already up
  // Modality changes only while the window is hidden.
  if (isVisible()) hide();
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
  QEventLoop loop;
  m_modalLoop = &loop;
  if (isVisible()) loop.exec();
  m_modalLoop = nullptr;
  hide();
  setWindowModality(Qt::NonModal);
  return 0;
}

int TPlinq_Main::runScripted(AnswerQueue&) {
  guarded([this] { m_jukebox->FormShow(); });
  return 0;
}

}  // namespace pagemoor
