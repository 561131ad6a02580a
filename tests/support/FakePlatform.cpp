#include "support/FakePlatform.h"

#include <utility>

#include "common/Strings.h"
#include "platform/FileRegistry.h"

namespace pagemoor::test {

namespace {

template <typename T>
std::optional<T> Next(std::deque<T>& queue) {
  if (queue.empty()) return std::nullopt;
  T value = std::move(queue.front());
  queue.pop_front();
  return value;
}

// Same key naming as the file registry, so tests see the paths the product uses.
std::string KeyName(const std::string& rootKey, const std::string& keyPath) {
  return FileRegistry::sectionName(rootKey, keyPath);
}

}  // namespace

std::vector<PlatformCall> FakePlatform::callsOf(const std::string& kind) const {
  std::vector<PlatformCall> out;
  for (const PlatformCall& c : calls)
    if (c.kind == kind) out.push_back(c);
  return out;
}

std::vector<std::string> FakePlatform::textsOf(const std::string& kind) const {
  std::vector<std::string> out;
  for (const PlatformCall& c : calls)
    if (c.kind == kind) out.push_back(c.text);
  return out;
}

std::optional<std::string> FakePlatform::registryValue(const std::string& rootKey, const std::string& keyPath,
                                                       const std::string& valueName) const {
  const auto key = m_registry.find(FoldCase(KeyName(rootKey, keyPath)));
  if (key == m_registry.end()) return std::nullopt;
  const auto value = key->second.find(FoldCase(valueName));
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

bool FakePlatform::registryKeyExists(const std::string& rootKey, const std::string& keyPath) const {
  return m_registry.count(FoldCase(KeyName(rootKey, keyPath))) != 0;
}

void FakePlatform::showInfo(const std::string& text) {
  calls.push_back({"info", "Information", text});
}

void FakePlatform::showMessage(const std::string& caption, const std::string& text) {
  calls.push_back({"message", caption, text});
}

bool FakePlatform::askYesNo(const std::string& text) {
  calls.push_back({"confirm", "Confirm", text});
  return Next(yesNoAnswers).value_or(defaultYesNo);
}

bool FakePlatform::askYesNoDefaultNo(const std::string& text) {
  calls.push_back({"confirm", "Confirm", text});
  return Next(yesNoAnswers).value_or(false);
}

std::optional<std::string> FakePlatform::inputBox(const std::string& caption, const std::string& prompt,
                                                  const std::string& defaultText) {
  calls.push_back({"input", caption, prompt});
  return Next(inputAnswers).value_or(std::optional<std::string>(defaultText));
}

std::optional<FileDialogResult> FakePlatform::openFileDialog(const FileDialogOptions& options) {
  calls.push_back({"open", options.caption, options.filter});
  return Next(openAnswers).value_or(std::nullopt);
}

std::optional<FileDialogResult> FakePlatform::saveFileDialog(const FileDialogOptions& options) {
  calls.push_back({"save", options.caption, options.filter});
  return Next(saveAnswers).value_or(std::nullopt);
}

std::optional<std::string> FakePlatform::folderDialog(const std::string& caption,
                                                      const std::string& initialDir) {
  calls.push_back({"folder", caption, initialDir});
  return Next(folderAnswers).value_or(std::nullopt);
}

int FakePlatform::showModal(ModalWindow& window) {
  calls.push_back({"modal", window.modalName(), window.modalCaption()});
  if (std::optional<int> result = Next(modalResults)) return *result;
  return onModal ? onModal(window) : 0;
}

void FakePlatform::processEvents() {
  ++processEventsCount;
}

void FakePlatform::sleepAndProcessEvents(int milliseconds) {
  ++sleepCount;
  sleptMilliseconds += milliseconds;
  ++processEventsCount;
}

bool FakePlatform::openDocument(const std::string& target) {
  calls.push_back({"shell-open", "", target});
  return shellResult;
}

bool FakePlatform::startProgram(const std::string& commandLine, const std::string& workingDir) {
  calls.push_back({"shell-start", "", commandLine});
  workingDirs.push_back(workingDir);
  return shellResult;
}

std::string FakePlatform::readRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                            const std::string& valueName) {
  calls.push_back({"reg-read", KeyName(rootKey, keyPath), valueName});
  return registryValue(rootKey, keyPath, valueName).value_or(std::string());
}

void FakePlatform::writeRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                      const std::string& valueName, const std::string& value) {
  calls.push_back({"reg-write", KeyName(rootKey, keyPath), valueName + "=" + value});
  m_registry[FoldCase(KeyName(rootKey, keyPath))][FoldCase(valueName)] = value;
}

void FakePlatform::deleteRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                       const std::string& valueName) {
  calls.push_back({"reg-delete", KeyName(rootKey, keyPath), valueName});
  const auto key = m_registry.find(FoldCase(KeyName(rootKey, keyPath)));
  if (key != m_registry.end()) key->second.erase(FoldCase(valueName));
}

void FakePlatform::createRegistryKey(const std::string& rootKey, const std::string& keyPath) {
  calls.push_back({"reg-create", KeyName(rootKey, keyPath), ""});
  m_registry[FoldCase(KeyName(rootKey, keyPath))];
}

bool FakePlatform::listenForRemoteMessages(const std::string& name,
                                           std::function<void(int message)> handler) {
  remoteListenName = name;
  remoteHandler = std::move(handler);
  return remoteListenResult;
}

bool FakePlatform::postRemoteMessage(const std::string& peer, int message) {
  remotePosts.emplace_back(peer, message);
  return remotePostResult;
}

bool FakePlatform::isAlreadyRunning(const std::string& title) {
  calls.push_back({"instance", "", title});
  return alreadyRunning;
}

}  // namespace pagemoor::test
