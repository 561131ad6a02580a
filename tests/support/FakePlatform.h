// A platform for tests: records every request and answers from programmed
// queues, with registry values in memory.
//
//   FakePlatform fake;
//   ScopedPlatform use(fake);
//   fake.yesNoAnswers = {false};
//   ... code under test ...
//   EXPECT_EQ(fake.callsOf("confirm").size(), 1u);
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace pagemoor::test {

struct PlatformCall {
  // info, message, confirm, input, open, save, folder, modal, shell-open, shell-start,
  // reg-read, reg-write, reg-delete, reg-create, instance.
  std::string kind;
  // The box's caption, the window's name, the registry key (ROOT\PATH).
  std::string caption;
  // The message, prompt, filter, folder, window caption, shell target or
  // command line, registry value name (reg-write: NAME=VALUE), the title the
  // single-instance check looks for.
  std::string text;

  bool operator==(const PlatformCall&) const = default;
};

class FakePlatform : public Platform {
 public:
  // Programmed answers, used front first; when a queue is empty the default
  // below applies.
  std::deque<bool> yesNoAnswers;
  bool defaultYesNo = true;
  // askYesNoDefaultNo takes its answers from yesNoAnswers too (it is the
  // same box) and answers No when they run out.
  std::deque<std::optional<std::string>> inputAnswers;      // nullopt: Cancel; default: the default text
  std::deque<std::optional<FileDialogResult>> openAnswers;  // default: Cancel
  std::deque<std::optional<FileDialogResult>> saveAnswers;  // default: Cancel
  std::deque<std::optional<std::string>> folderAnswers;     // default: Cancel
  std::deque<int> modalResults;                             // default: onModal, else 0
  std::function<int(ModalWindow&)> onModal;
  bool shellResult = true;
  // Returned by scriptedAnswers(); nullptr makes the run interactive.
  AnswerQueue* answers = nullptr;

  // Remote-control messages: every post as (peer, message), answered with
  // remotePostResult; the last listen's name and handler, so a test can fire
  // a message with remoteHandler(1025). listenForRemoteMessages answers
  // remoteListenResult.
  std::vector<std::pair<std::string, int>> remotePosts;
  bool remotePostResult = true;
  std::function<void(int)> remoteHandler;
  std::string remoteListenName;
  bool remoteListenResult = true;

  // The single-instance check answers alreadyRunning; each call's title is
  // recorded as an "instance" call.
  bool alreadyRunning = false;

  std::vector<PlatformCall> calls;
  int processEventsCount = 0;
  int sleepCount = 0;
  long long sleptMilliseconds = 0;
  // The working folders of startProgram, in call order.
  std::vector<std::string> workingDirs;

  // The recorded calls of one kind.
  std::vector<PlatformCall> callsOf(const std::string& kind) const;
  // The texts of the recorded calls of one kind.
  std::vector<std::string> textsOf(const std::string& kind) const;

  // The in-memory registry, looked at without recording a call.
  std::optional<std::string> registryValue(const std::string& rootKey, const std::string& keyPath,
                                           const std::string& valueName) const;
  bool registryKeyExists(const std::string& rootKey, const std::string& keyPath) const;

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
  AnswerQueue* scriptedAnswers() override { return answers; }

 private:
  // Folded key name -> folded value name -> value; names compare without case.
  std::map<std::string, std::map<std::string, std::string>> m_registry;
};

}  // namespace pagemoor::test
