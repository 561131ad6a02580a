// A platform that hands every request to the platform it wraps. A wrapper
// derives from it and overrides only the facets it changes, so a service
// added to the Platform later reaches the wrapped platform without every
// wrapper having to learn it (ScriptedPlatform answers boxes, dialogs, modal
// windows and the shell itself and passes on the rest).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace pagemoor {

class ForwardingPlatform : public Platform {
 public:
  // The wrapped platform is not owned and must outlive this one.
  explicit ForwardingPlatform(Platform& inner) : m_inner(inner) {}

  Platform& inner() const { return m_inner; }

  void showInfo(const std::string& text) override;
  void showMessage(const std::string& caption, const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  bool askYesNoDefaultNo(const std::string& text) override;
  std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& defaultText) override;

  std::optional<FileDialogResult> openFileDialog(const FileDialogOptions& options) override;
  std::optional<FileDialogResult> saveFileDialog(const FileDialogOptions& options) override;
  std::optional<std::string> folderDialog(const std::string& caption, const std::string& initialDir) override;

  int showModal(ModalWindow& window) override;

  void processEvents() override;
  void sleepAndProcessEvents(int milliseconds) override;

  bool openDocument(const std::string& target) override;
  bool startProgram(const std::string& commandLine, const std::string& workingDir) override;

  std::string readRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                const std::string& valueName) override;
  void writeRegistryValue(const std::string& rootKey, const std::string& keyPath,
                          const std::string& valueName, const std::string& value) override;
  void deleteRegistryValue(const std::string& rootKey, const std::string& keyPath,
                           const std::string& valueName) override;
  void createRegistryKey(const std::string& rootKey, const std::string& keyPath) override;

  bool listenForRemoteMessages(const std::string& name, std::function<void(int message)> handler) override;
  bool postRemoteMessage(const std::string& peer, int message) override;

  bool isAlreadyRunning(const std::string& title) override;
  std::string singleInstanceProblem() const override;

  AnswerQueue* scriptedAnswers() override;

 private:
  Platform& m_inner;
};

}  // namespace pagemoor
