#include "platform/ForwardingPlatform.h"

#include <utility>

namespace pagemoor {

void ForwardingPlatform::showInfo(const std::string& text) {
  m_inner.showInfo(text);
}

void ForwardingPlatform::showMessage(const std::string& caption, const std::string& text) {
  m_inner.showMessage(caption, text);
}

bool ForwardingPlatform::askYesNo(const std::string& text) {
  return m_inner.askYesNo(text);
}

bool ForwardingPlatform::askYesNoDefaultNo(const std::string& text) {
  return m_inner.askYesNoDefaultNo(text);
}

std::optional<std::string> ForwardingPlatform::inputBox(const std::string& caption, const std::string& prompt,
                                                        const std::string& defaultText) {
  return m_inner.inputBox(caption, prompt, defaultText);
}

std::optional<FileDialogResult> ForwardingPlatform::openFileDialog(const FileDialogOptions& options) {
  return m_inner.openFileDialog(options);
}

std::optional<FileDialogResult> ForwardingPlatform::saveFileDialog(const FileDialogOptions& options) {
  return m_inner.saveFileDialog(options);
}

std::optional<std::string> ForwardingPlatform::folderDialog(const std::string& caption,
                                                            const std::string& initialDir) {
  return m_inner.folderDialog(caption, initialDir);
}

int ForwardingPlatform::showModal(ModalWindow& window) {
  return m_inner.showModal(window);
}

void ForwardingPlatform::processEvents() {
  m_inner.processEvents();
}

// The wrapped platform's own sleep, not the facet's default: it may wait in
// its event loop rather than block the thread.
void ForwardingPlatform::sleepAndProcessEvents(int milliseconds) {
  m_inner.sleepAndProcessEvents(milliseconds);
}

bool ForwardingPlatform::openDocument(const std::string& target) {
  return m_inner.openDocument(target);
}

bool ForwardingPlatform::startProgram(const std::string& commandLine, const std::string& workingDir) {
  return m_inner.startProgram(commandLine, workingDir);
}

std::string ForwardingPlatform::readRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                                  const std::string& valueName) {
  return m_inner.readRegistryValue(rootKey, keyPath, valueName);
}

void ForwardingPlatform::writeRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                            const std::string& valueName, const std::string& value) {
  m_inner.writeRegistryValue(rootKey, keyPath, valueName, value);
}

void ForwardingPlatform::deleteRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                             const std::string& valueName) {
  m_inner.deleteRegistryValue(rootKey, keyPath, valueName);
}

void ForwardingPlatform::createRegistryKey(const std::string& rootKey, const std::string& keyPath) {
  m_inner.createRegistryKey(rootKey, keyPath);
}

bool ForwardingPlatform::listenForRemoteMessages(const std::string& name,
                                                 std::function<void(int message)> handler) {
  return m_inner.listenForRemoteMessages(name, std::move(handler));
}

bool ForwardingPlatform::postRemoteMessage(const std::string& peer, int message) {
  return m_inner.postRemoteMessage(peer, message);
}

bool ForwardingPlatform::isAlreadyRunning(const std::string& title) {
  return m_inner.isAlreadyRunning(title);
}

std::string ForwardingPlatform::singleInstanceProblem() const {
  return m_inner.singleInstanceProblem();
}

AnswerQueue* ForwardingPlatform::scriptedAnswers() {
  return m_inner.scriptedAnswers();
}

}  // namespace pagemoor
