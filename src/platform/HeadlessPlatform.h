// The platform when there is no window system: core tests and tools. Boxes
// take their default button at once, there are no events to process, and the
// shell requests really start xdg-open or /bin/sh, detached from this process.
#pragma once

#include <string>
#include <vector>

#include "platform/FileRegistry.h"
#include "platform/Platform.h"

namespace pagemoor {

class HeadlessPlatform : public FileRegistryPlatform {
 public:
  // Registry values in the per-user file.
  HeadlessPlatform() = default;
  explicit HeadlessPlatform(std::string registryFile) : FileRegistryPlatform(std::move(registryFile)) {}

  void showInfo(const std::string& text) override;
  void showMessage(const std::string& caption, const std::string& text) override;
  bool askYesNo(const std::string& text) override;           // Yes
  bool askYesNoDefaultNo(const std::string& text) override;  // No
  std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& defaultText) override;  // the default text
  std::optional<FileDialogResult> openFileDialog(const FileDialogOptions& options) override;  // Cancel
  std::optional<FileDialogResult> saveFileDialog(const FileDialogOptions& options) override;  // Cancel
  std::optional<std::string> folderDialog(const std::string& caption,
                                          const std::string& initialDir) override;  // Cancel

  // Without a window system the window cannot be shown: it counts as closed.
  int showModal(ModalWindow& window) override;

  // No window system, no events: sleeping is a plain sleep.
  void processEvents() override;

  bool openDocument(const std::string& target) override;
  bool startProgram(const std::string& commandLine, const std::string& workingDir) override;
};

// Runs the program at programPath with the arguments (argv[0] included) in
// workingDir (empty: the current folder), detached: it belongs to its own
// session and is never waited for, and leaves no zombie behind. False when it
// could not be started (missing program, unusable folder).
bool SpawnDetached(const std::string& programPath, const std::vector<std::string>& args,
                   const std::string& workingDir);

}  // namespace pagemoor
