// The installer window (TfrmInstall): the reader picks a RAR or ZIP archive
// (normally from the project's "rars" folder) and a target folder, and
// extracts it; every step goes to the log and a progress list.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "common/LogSink.h"
#include "installer/ChiefUnzip.h"
#include "installer/RarArc.h"
#include "platform/Platform.h"
#include "platform/qt/WindowModal.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QKeyEvent;
class QLabel;
class QListWidget;
class QPushButton;

namespace pagemoor {

class ImageWidget;
class DirectoryListBox;

// Object names: "frmInstall", "imgBack", "Label1", "Label2", "Label4",
// "lblName", "lblFolder", "btnFile", "btnRozbalit", "btnZavrit", "DCB1",
// "DLB1", "CheckListBox1".
class TfrmInstall : public QWidget, public ModalWindow {
  Q_OBJECT

 public:
  // `rarLibrary` is handed to TRAR (empty: the library beside the program).
  explicit TfrmInstall(LogSink& log, const std::string& rarLibrary = {}, QWidget* parent = nullptr);
  ~TfrmInstall() override;
  TfrmInstall(const TfrmInstall&) = delete;
  TfrmInstall& operator=(const TfrmInstall&) = delete;

  // The click sound's player; the viewer provides it.
  void setPlaySoundFile(std::function<void(const std::string& path)> play);

  // The handlers.
  void FormCreate();
  void FormShow() {}
  void btnFileClick();
  void btnRozbalitClick();
  void FormClose();
  void btnFileMouseMove() {}
  void RAR1Extracting(TRAR& sender, const RARHeaderData& eFile);
  void RAR1Extract(TRAR& sender, const RARHeaderData& eFile, bool result);
  void RAR1Error(TRAR& sender, int error);

  // The target folder the folder list shows (lblFolder follows it).
  std::string folder() const;
  void setFolder(const std::string& folder);
  // True while an extraction runs (the buttons are disabled then, and the
  // window refuses to close).
  bool extracting() const { return m_extracting; }

  QLabel* lblName() const { return m_lblName; }
  QLabel* lblFolder() const { return m_lblFolder; }
  QListWidget* CheckListBox1() const { return m_checkList; }
  QComboBox* DCB1() const { return m_drives; }
  TRAR& RAR1() { return m_rar; }
  TChiefUnzip& Unzip1() { return m_unzip; }

  // --- ModalWindow ---
  std::string modalName() const override;
  std::string modalCaption() const override;
  int execModal() override;
  // Scripted runs: "btnFile" clicks btnFile (its open dialog takes the next
  // answer), "folder:PATH" moves the folder list to PATH, "btnRozbalit"
  // clicks btnRozbalit; "close" (taken), any other answer or an empty queue
  // closes the window.
  int runScripted(AnswerQueue& answers) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Escape closes the window as its close button does (refused while an
  // extraction runs).
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void clickSound();
  void setExtracting(bool on);
  // A checkable, unticked line at the end of the progress list.
  void addProgressLine(const std::string& text);
  // lblFolder and the drive box follow the folder list.
  void folderListChanged();
  void extractZip(const std::string& archive, const std::string& target);
  void extractRar(const std::string& archive, const std::string& target);

  LogSink& m_log;
  TRAR m_rar;
  TChiefUnzip m_unzip;
  std::function<void(const std::string&)> m_playSoundFile;
  ImageWidget* m_imgBack = nullptr;
  QLabel* m_lblName = nullptr;
  QLabel* m_lblFolder = nullptr;
  QPushButton* m_btnFile = nullptr;
  QPushButton* m_btnRozbalit = nullptr;
  QPushButton* m_btnZavrit = nullptr;
  QComboBox* m_drives = nullptr;
  DirectoryListBox* m_folders = nullptr;
  QListWidget* m_checkList = nullptr;
  std::vector<std::string> m_volumes;  // the drive box's roots, in its order
  std::string m_openDialogInitialDir;
  WindowModal m_modal;
  bool m_extracting = false;
};

}  // namespace pagemoor
