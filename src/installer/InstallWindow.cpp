#include "installer/InstallWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <cstring>
#include <exception>
#include <utility>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "installer/qt/DirectoryListBox.h"
#include "pictures/ImageWidget.h"
#include "platform/AnswerQueue.h"
#include "platform/Dialogs.h"
#include "platform/qt/Controls.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

constexpr int kClientWidth = 495;
constexpr int kClientHeight = 296;

constexpr const char* kOpenFilter =
    "Archives (*.RAR;*.ZIP)|*.RAR;*.ZIP|RAR Archives (*.RAR)|*.RAR|ZIP Archives (*.ZIP)|*.ZIP";

// The mount table the drive box offers volumes from; empty where there is none.
std::string MountTable() {
  QFile file("/proc/self/mounts");
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

// Clears the running extraction however it ends, an exception included.
class ExtractingScope {
 public:
  explicit ExtractingScope(std::function<void(bool)> set) : m_set(std::move(set)) { m_set(true); }
  ~ExtractingScope() { m_set(false); }
  ExtractingScope(const ExtractingScope&) = delete;
  ExtractingScope& operator=(const ExtractingScope&) = delete;

 private:
  std::function<void(bool)> m_set;
};

}  // namespace

TfrmInstall::TfrmInstall(LogSink& log, const std::string& rarLibrary, QWidget* parent)
    : QWidget(parent, kToolWindowFlags), m_log(log), m_rar(rarLibrary) {
  setObjectName("frmInstall");
  setWindowTitle(QString::fromUtf8("Instalátor"));
  SetUpBlackToolWindow(this, kClientWidth, kClientHeight);

  m_imgBack = new ImageWidget(this);
  m_imgBack->setObjectName("imgBack");
  m_imgBack->setGeometry(0, 0, kClientWidth, kClientHeight);

  MakeLabel(this, "Label2", 16, 8, QString::fromUtf8("Jméno zvoleného souboru:"), Qt::white);
  m_lblName = MakeLabel(this, "lblName", 8, 32, QString(), kLime);
  // Long paths are cut at the window's edge; the hint keeps the whole text.
  m_lblName->setFixedWidth(kClientWidth - 16);
  MakeLabel(this, "Label4", 16, 56, QString::fromUtf8("Cílová složka:"), Qt::white);
  m_lblFolder = MakeLabel(this, "lblFolder", 8, 80, QString(), kLime);
  m_lblFolder->setFixedWidth(368 - 16);
  MakeLabel(this, "Label1", 368, 80, QString::fromUtf8("Průběh rozbalování"), Qt::white);

  m_btnFile = MakeFlatButton(this, "btnFile", "Zvolit Soubor", QRect(280, 8, 113, 25), kLime);
  m_btnFile->setFocusPolicy(Qt::TabFocus);
  m_btnRozbalit = MakeFlatButton(this, "btnRozbalit", "Rozbalit", QRect(408, 8, 73, 25), kLime);
  m_btnRozbalit->setFocusPolicy(Qt::TabFocus);
  // Without a window manager there is no title bar to close the window with:
  // its own button does what the frame's close button does.
  m_btnZavrit = MakeFlatButton(this, "btnZavrit", QString::fromUtf8("Zavřít"), QRect(408, 52, 73, 25), kLime);
  m_btnZavrit->setFocusPolicy(Qt::TabFocus);
  connect(m_btnZavrit, &QPushButton::clicked, this, [this] { close(); });
  connect(m_btnFile, &QPushButton::clicked, this, [this] { btnFileClick(); });
  connect(m_btnRozbalit, &QPushButton::clicked, this, [this] {
    // A failure must not unwind through Qt's event loop.
    try {
      btnRozbalitClick();
    } catch (const std::exception& e) {
      m_log.Log("Installer", std::string("Extract failed: ") + e.what());
    }
  });

  m_drives = new QComboBox(this);
  m_drives->setObjectName("DCB1");
  m_drives->setGeometry(8, 104, 193, 19);
  m_volumes = ReaderVolumes(MountTable(), GetEnvVar("HOME"));
  for (const std::string& root : m_volumes) m_drives->addItem(ToQt(root));

  m_folders = new DirectoryListBox(this);
  m_folders->setObjectName("DLB1");
  m_folders->setGeometry(8, 136, 193, 153);

  m_checkList = new QListWidget(this);
  m_checkList->setObjectName("CheckListBox1");
  m_checkList->setGeometry(216, 104, 273, 185);

  connect(m_drives, &QComboBox::activated, this, [this](int index) {
    if (index >= 0 && index < static_cast<int>(m_volumes.size())) m_folders->setFolder(m_volumes[index]);
  });
  connect(m_folders, &DirectoryListBox::folderChanged, this, [this] { folderListChanged(); });
  folderListChanged();

  m_rar.OnError = [this](TRAR& sender, int error) { RAR1Error(sender, error); };
  m_rar.OnExtracting = [this](TRAR& sender, const RARHeaderData& eFile) { RAR1Extracting(sender, eFile); };
  m_rar.OnExtract = [this](TRAR& sender, const RARHeaderData& eFile, bool result) {
    RAR1Extract(sender, eFile, result);
  };
  m_unzip.FilesToExtract = "*.*";
  m_unzip.DontRecurse = false;
  m_unzip.OnLog = [this](const std::string& text) { m_log.Log("ZIP", text); };

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  FormCreate();
}

TfrmInstall::~TfrmInstall() {
  // The extractors outlive the controls their events fill.
  m_rar.OnError = nullptr;
  m_rar.OnExtracting = nullptr;
  m_rar.OnExtract = nullptr;
  m_unzip.OnLog = nullptr;
}

void TfrmInstall::setPlaySoundFile(std::function<void(const std::string& path)> play) {
  m_playSoundFile = std::move(play);
}

void TfrmInstall::FormCreate() {
  m_lblName->clear();
  m_lblName->setToolTip(QString());
  m_openDialogInitialDir = JoinPath(ProjectDir(), "rars");
}

void TfrmInstall::clickSound() {
  const std::string sound = ReadIniValue(MagazineFolder().ini("sounds.ini"), "start", "link_click");
  const std::string path = MagazineFolder().sounds(sound);
  // An empty name leaves the sounds folder itself, which is no file. The
  // player gets the file as it is on disk, whatever case the INI file used.
  if (FileExists(path) && m_playSoundFile) m_playSoundFile(ResolveExisting(path).value_or(path));
}

void TfrmInstall::btnFileClick() {
  if (m_extracting) return;
  clickSound();
  FileDialogOptions options;
  options.caption = "Open archive";
  options.filter = kOpenFilter;
  options.initialDir = m_openDialogInitialDir;
  const std::optional<FileDialogResult> chosen = platform().openFileDialog(options);
  if (!chosen) return;
  const std::string& name = chosen->path;
  const std::string ext = AsciiLower(ExtractFileExt(name));
  if (ext != ".zip" && ext != ".rar") {
    m_log.Log("RAR", "Error: File \"" + ShownPath(name) + "\" is not a valid archive");
    ShowInfo(FormatText(Translate("Spatny RAR soubor", "invalid_rar_archive"), {ShownPath(name)}));
    return;
  }
  m_lblName->setText(ToQt(name));
  m_lblName->setToolTip(ToQt(name));
}

void TfrmInstall::btnRozbalitClick() {
  if (m_extracting) return;
  clickSound();
  const std::string archive = m_lblName->text().toStdString();
  const std::string target = m_lblFolder->text().toStdString();
  if (archive.empty() || target.empty()) {
    m_log.Log("Installer", "Extract failed: No folder/file selected");
    ShowInfo(Translate("Nezvolen soubor nebo slozka", "no_file/folder_selected"));
    return;
  }
  const std::string ext = AsciiLower(ExtractFileExt(archive));
  if (ext == ".zip")
    extractZip(archive, target);
  else if (ext == ".rar")
    extractRar(archive, target);
}

void TfrmInstall::extractZip(const std::string& archive, const std::string& target) {
  ExtractingScope running([this](bool on) { setExtracting(on); });
  m_checkList->clear();
  addProgressLine(FormatText("Unziping %s to %s", {AsciiUpper(ExtractFileName(archive)), ShownPath(target)}));
  m_log.Log("ZIP", FormatText("Extract %s to %s", {ShownPath(archive), ShownPath(target)}));
  addProgressLine("Please wait ...");
  m_unzip.TargetDirectory = folder();
  // The "install" command hands the name over in capitals, which only a file
  // system that ignores letter case finds as it stands.
  m_unzip.ZipFileName = ResolveExisting(archive).value_or(archive);
  // The entries it refuses or finds damaged are logged through OnLog; the
  // closing lines are the same either way. An archive that cannot be read
  // at all is no success.
  const int result = m_unzip.Unzip();
  if (result == TChiefUnzip::kNotEnoughSpace || result == TChiefUnzip::kHostileArchive) {
    const bool noSpace = result == TChiefUnzip::kNotEnoughSpace;
    m_log.Log("ZIP", std::string(noSpace ? "Extract failed: not enough disk space: "
                                             : "Extract failed: archive refused as hostile: ") +
                             m_unzip.StopReason);
    addProgressLine("Extract failed");
    ShowInfo(noSpace ? FormatText(TranslateKey("not_enough_disk_space"), {ShownPath(target)})
                     : FormatText(TranslateKey("hostile_archive"), {AsciiUpper(ExtractFileName(archive))}));
    return;
  }
  if (result < 0) {
    m_log.Log("ZIP", FormatText("Extract failed (%s)", {std::to_string(result)}));
    addProgressLine("Extract failed");
    ShowInfo(FormatText(Translate("Spatny RAR soubor", "invalid_rar_archive"), {ShownPath(archive)}));
    return;
  }
  m_log.Log("ZIP", "Files succesfully unZiped");
  addProgressLine("Files Succesfully unZiped");
  ShowInfo(Translate("Rozbalovani Dokonceno", "extract_complete"));
}

void TfrmInstall::extractRar(const std::string& archive, const std::string& target) {
  ExtractingScope running([this](bool on) { setExtracting(on); });
  m_checkList->clear();
  m_log.Log("RAR",
                FormatText("Extract %s to %s", {AsciiUpper(ExtractFileName(archive)), ShownPath(target)}));
  m_rar.ArchiveName = ResolveExisting(archive).value_or(archive);
  m_rar.TargetDir = folder();
  m_rar.Extract();
}

void TfrmInstall::FormClose() {
  clickSound();
  hide();
  m_modal.quit();
}

void TfrmInstall::RAR1Extracting(TRAR&, const RARHeaderData& eFile) {
  const std::string name(eFile.FileName, ::strnlen(eFile.FileName, sizeof eFile.FileName));
  addProgressLine(name);
  m_log.Log("RAR", FormatText("Extracting %s", {EscapeControls(AsciiUpper(name))}));
  platform().processEvents();
}

void TfrmInstall::RAR1Extract(TRAR&, const RARHeaderData&, bool result) {
  if (QListWidgetItem* last = m_checkList->item(m_checkList->count() - 1))
    last->setCheckState(result ? Qt::Checked : Qt::Unchecked);
  m_log.Log("RAR", result ? "Extract Successfull" : "Extract Failed");
}

void TfrmInstall::RAR1Error(TRAR& sender, int error) {
  const std::string code = std::to_string(error);
  std::string english = TRAR::ErrorTextEnglish(error);
  // Which file and how much: the reader (or whoever reads the log) can act on it.
  if ((error == TRAR::kNotEnoughSpace || error == TRAR::kHostileArchive) && !sender.StopReason.empty())
    english += ": " + sender.StopReason;
  m_log.Log("RAR", FormatText("Error %d - %s", {code, english}));
  ShowInfo(FormatText("Error %d - %s", {code, TRAR::ErrorTextCzech(error)}));
}

std::string TfrmInstall::folder() const {
  return m_folders->folder();
}

void TfrmInstall::setFolder(const std::string& folder) {
  m_folders->setFolder(folder);
  // The label may have been changed by hand; the list is what counts.
  folderListChanged();
}

void TfrmInstall::setExtracting(bool on) {
  m_extracting = on;
  m_btnFile->setEnabled(!on);
  m_btnRozbalit->setEnabled(!on);
  m_btnZavrit->setEnabled(!on);
}

void TfrmInstall::addProgressLine(const std::string& text) {
  auto* line = new QListWidgetItem(ToQt(text), m_checkList);
  line->setFlags(line->flags() | Qt::ItemIsUserCheckable);
  line->setCheckState(Qt::Unchecked);
  m_checkList->scrollToItem(line);
}

void TfrmInstall::folderListChanged() {
  const std::string current = m_folders->folder();
  m_lblFolder->setText(ToQt(current));
  m_lblFolder->setToolTip(ToQt(current));
  const int volume = VolumeOf(m_volumes, current);
  if (volume >= 0) m_drives->setCurrentIndex(volume);
}

// --- ModalWindow ---

std::string TfrmInstall::modalName() const {
  return objectName().toStdString();
}

std::string TfrmInstall::modalCaption() const {
  return windowTitle().toStdString();
}

int TfrmInstall::execModal() {
  m_modal.exec(*this, [this] { FormShow(); });
  return 0;
}

int TfrmInstall::runScripted(AnswerQueue& answers) {
  FormShow();
  for (;;) {
    const Answer& next = answers.front();
    if (next.is("btnfile")) {
      answers.pop();
      btnFileClick();
    } else if (next.is("btnrozbalit")) {
      answers.pop();
      btnRozbalitClick();
    } else if (next.is("folder")) {
      const std::string wanted = next.value.value_or(std::string());
      answers.pop();
      // A script's typo would otherwise unpack into whatever folder was current.
      if (!m_folders->setFolder(wanted)) m_log.Log("Installer", "Folder not found: " + wanted);
    } else {
      break;
    }
  }
  if (answers.front().is("close")) answers.pop();
  FormClose();
  return 0;
}

void TfrmInstall::closeEvent(QCloseEvent* event) {
  // Both extractors let window events run while they work; the window must
  // stay until they are done with it.
  if (m_extracting) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TfrmInstall::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace pagemoor
