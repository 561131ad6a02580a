// The platform of an interactive run: Qt message boxes and dialogs, the
// desktop's handlers for documents and web addresses, registry values in the
// per-user file, remote-control messages through per-user local sockets
// (RemoteControl.h), one running instance per user (SingleInstance.h).
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileRegistry.h"
#include "platform/Platform.h"
#include "platform/qt/RemoteControl.h"
#include "platform/qt/SingleInstance.h"

class QWidget;

namespace pagemoor {

// "Pictures|*.jpg|All files|*.*" -> {"Pictures (*.[jJ][pP][gG])", "All files (*)"}.
// Patterns match without regard to letter case ("*.*" is every file, as on
// Windows). A description that already ends in "(...)" loses it, so that the
// patterns shown are the ones that filter. A description without patterns
// gets "*".
QStringList QtNameFilters(std::string_view filter);
// The same joined with ";;", as QFileDialog's filter argument takes it.
QString QtFileFilter(std::string_view filter);

class QtPlatform : public FileRegistryPlatform {
 public:
  // Registry values in the per-user file.
  QtPlatform() = default;
  explicit QtPlatform(std::string registryFile) : FileRegistryPlatform(std::move(registryFile)) {}

  // Message boxes (objects "msgInfo" and "msgConfirm") and the dialogs below
  // are application-modal, owned by the reader's window, centred on the
  // magazine and scaled with it (MagazineBoxes.h).
  void showInfo(const std::string& text) override;
  // A plain box (object "msgMessage"): no icon, one OK button, the caption given.
  void showMessage(const std::string& caption, const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  bool askYesNoDefaultNo(const std::string& text) override;
  // An input dialog with object name "inputBox".
  std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& defaultText) override;
  // File dialogs with object names "openFileDialog", "saveFileDialog" and "folderDialog".
  std::optional<FileDialogResult> openFileDialog(const FileDialogOptions& options) override;
  std::optional<FileDialogResult> saveFileDialog(const FileDialogOptions& options) override;
  std::optional<std::string> folderDialog(const std::string& caption, const std::string& initialDir) override;

  int showModal(ModalWindow& window) override;

  void processEvents() override;

  bool openDocument(const std::string& target) override;
  bool startProgram(const std::string& commandLine, const std::string& workingDir) override;

  // One listener per socket file; the handler runs from the event loop of the
  // thread that first listened.
  bool listenForRemoteMessages(const std::string& name, std::function<void(int message)> handler) override;
  bool postRemoteMessage(const std::string& peer, int message) override;

  // A per-user lock held for the life of this platform object, and a local
  // socket on which a later instance asks for the window titled `title`
  // (SingleInstance.h).
  bool isAlreadyRunning(const std::string& title) override;
  std::string singleInstanceProblem() const override;

 private:
  std::optional<FileDialogResult> fileDialog(const FileDialogOptions& options, bool save);

  // Socket file name -> its listener.
  std::map<std::string, std::unique_ptr<RemoteControl>> m_remoteListeners;
  std::unique_ptr<SingleInstance> m_singleInstance;
};

}  // namespace pagemoor
