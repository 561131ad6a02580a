// The one interface the rest of the program uses for what the operating
// system gives: message and input boxes, file and folder dialogs, modal
// windows, pending events, the shell, registry values.
//
// Implementations: QtPlatform (real boxes and dialogs), ScriptedPlatform
// (headless: every box is written to standard error as one "[ui]" line and
// answered from a queue, everything else handed to the platform it wraps),
// HeadlessPlatform (no windows at all) and the test double under tests/support.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pagemoor {

class AnswerQueue;

// The name a running Pagemoor listens on for remote-control messages.
inline constexpr const char* kPagemoorRemoteName = "pagemoor";
// The peer the jukebox notifies at each showing.
inline constexpr const char* kCorePeerName = "Pagemoor Core";

// A window that can be shown modally. Qt windows implement it; the platform
// decides how it is shown.
class ModalWindow {
 public:
  virtual ~ModalWindow() = default;
  // The window's object name (frmInstall, frmMailer, ...) and caption.
  virtual std::string modalName() const = 0;
  virtual std::string modalCaption() const = 0;
  // Shows the window modally and returns when it closes, with its result.
  virtual int execModal() = 0;
  // Headless runs: the scripted platform hands the window its answer queue
  // when the next answer is not "close". The window takes the answers it
  // understands and returns its result; the default closes at once.
  virtual int runScripted(AnswerQueue& answers);
  // A window whose closing does something (the launcher's "Zavřít" ends the
  // program) also gets "close" and an empty queue, so a scripted run closes
  // it the way a reader does.
  virtual bool scriptedCloseRunsTheWindow() const { return false; }
};

// A file-dialog filter in the form the system's windows use:
// "Description|*.ext;*.ext2|Description 2|*.x".
struct FileDialogOptions {
  std::string caption;
  std::string filter;
  std::string initialDir;
  std::string defaultExt;
  std::string fileName;
  int filterIndex = 1;  // 1-based, as the system counts filters
};

struct FileDialogResult {
  std::string path;
  int filterIndex = 1;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Boxes and dialogs ---
  // Information box, one OK button, caption "Information".
  virtual void showInfo(const std::string& text) = 0;
  // A plain message box: no icon, one OK button, the given caption. The
  // default shows it as an information box.
  virtual void showMessage(const std::string& caption, const std::string& text);
  // Confirmation box with Yes and No, caption "Confirm"; true for Yes.
  virtual bool askYesNo(const std::string& text) = 0;
  // The same box with No as its default: for a question whose safe answer
  // must win when nobody gives one (Enter, an empty scripted queue, no
  // window system), such as letting a magazine start a program.
  virtual bool askYesNoDefaultNo(const std::string& text) = 0;
  // Input box: the text, or nothing when cancelled.
  virtual std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                              const std::string& defaultText) = 0;
  virtual std::optional<FileDialogResult> openFileDialog(const FileDialogOptions& options) = 0;
  virtual std::optional<FileDialogResult> saveFileDialog(const FileDialogOptions& options) = 0;
  virtual std::optional<std::string> folderDialog(const std::string& caption,
                                                  const std::string& initialDir) = 0;

  // Shows the window modally; returns its result (0 when closed without one).
  virtual int showModal(ModalWindow& window) = 0;

  // --- Event loop ---
  // Lets pending window events run (inside long work on the interface thread).
  virtual void processEvents() = 0;
  // Sleeps for the given milliseconds, then processes pending events.
  virtual void sleepAndProcessEvents(int milliseconds) = 0;

  // --- Shell ---
  // Opens a document or web address with the desktop's default program. Only
  // addresses of a web scheme (http, https, mailto, ftp) and file names are
  // taken; any other scheme is refused (false). What a magazine may open is
  // decided before, by LaunchPolicy.
  virtual bool openDocument(const std::string& target) = 0;
  // Starts a program from a command line in the given working folder (empty:
  // the current one) without waiting for it.
  virtual bool startProgram(const std::string& commandLine, const std::string& workingDir) = 0;

  // --- Registry values (per-user store) ---
  // rootKey is the name of a root (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE...),
  // keyPath the key's path with '\' steps.
  virtual std::string readRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                        const std::string& valueName) = 0;
  virtual void writeRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                  const std::string& valueName, const std::string& value) = 0;
  virtual void deleteRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                   const std::string& valueName) = 0;
  // Creates the key when it is missing.
  virtual void createRegistryKey(const std::string& rootKey, const std::string& keyPath) = 0;

  // --- Messages between programs (the jukebox's remote control) ---
  // Receives message numbers sent to `name` by other processes of this user
  // and hands each to the handler on the interface thread. False when the
  // name cannot be listened on. A second call replaces the handler.
  virtual bool listenForRemoteMessages(const std::string& name, std::function<void(int message)> handler);
  // Sends a message number to the program listening on `peer`; false (at once)
  // when none listens.
  virtual bool postRemoteMessage(const std::string& peer, int message);

  // --- One instance per user ---
  // True when another instance of the program runs for this user; that
  // instance is then asked to restore or raise its top-level window titled
  // exactly `title`, if it still has one. The first caller becomes the
  // running instance for the rest of the process. The default: none runs.
  virtual bool isAlreadyRunning(const std::string& title);
  // After isAlreadyRunning: why no instance could be told from another (the
  // folder for the lock file is unusable), empty when the check works.
  virtual std::string singleInstanceProblem() const { return {}; }

  // --- Scripted runs ---
  // The answer queue of a scripted run, or nullptr for an interactive one.
  virtual AnswerQueue* scriptedAnswers() { return nullptr; }
};

// The platform the program uses. Until one is set, a headless scripted
// platform answers every box with its default button.
Platform& platform();
// Sets the platform (not owned); nullptr restores the default.
void setPlatform(Platform* platform);

// Sets a platform for the life of a scope (tests).
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& p);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* m_previous;
};

}  // namespace pagemoor
