// The groups of operating-system services that make up the Platform
// (Platform.h): message boxes, file dialogs, modal windows, the event loop,
// the shell, registry values, messages between programs and the
// one-instance check. Each is a small interface of its own, so an
// implementation states per group what it does, and a group with a sensible
// answer for every platform (no channel between programs, one instance
// always allowed, sleeping as a plain sleep before the events) has it here
// and is overridden only where a platform does better.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pagemoor {

class AnswerQueue;

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

// --- Message and input boxes ---
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
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
};

// --- File and folder dialogs ---
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  virtual std::optional<FileDialogResult> openFileDialog(const FileDialogOptions& options) = 0;
  virtual std::optional<FileDialogResult> saveFileDialog(const FileDialogOptions& options) = 0;
  virtual std::optional<std::string> folderDialog(const std::string& caption,
                                                  const std::string& initialDir) = 0;
};

// --- Modal windows ---
class ModalWindows {
 public:
  virtual ~ModalWindows() = default;
  // Shows the window modally; returns its result (0 when closed without one).
  virtual int showModal(ModalWindow& window) = 0;
};

// --- Event loop ---
class EventLoop {
 public:
  virtual ~EventLoop() = default;
  // Lets pending window events run (inside long work on the interface thread).
  virtual void processEvents() = 0;
  // Sleeps for the given milliseconds, then processes pending events. The
  // default sleeps the thread and calls processEvents().
  virtual void sleepAndProcessEvents(int milliseconds);
};

// --- Shell ---
class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a document or web address with the desktop's default program. Only
  // addresses of a web scheme (http, https, mailto, ftp) and file names are
  // taken; any other scheme is refused (false). What a magazine may open is
  // decided before, by LaunchPolicy.
  virtual bool openDocument(const std::string& target) = 0;
  // Starts a program from a command line in the given working folder (empty:
  // the current one) without waiting for it.
  virtual bool startProgram(const std::string& commandLine, const std::string& workingDir) = 0;
};

// --- Registry values (per-user store) ---
// rootKey is the name of a root (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE...),
// keyPath the key's path with '\' steps.
class RegistryValues {
 public:
  virtual ~RegistryValues() = default;
  virtual std::string readRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                        const std::string& valueName) = 0;
  virtual void writeRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                  const std::string& valueName, const std::string& value) = 0;
  virtual void deleteRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                   const std::string& valueName) = 0;
  // Creates the key when it is missing.
  virtual void createRegistryKey(const std::string& rootKey, const std::string& keyPath) = 0;
};

// --- Messages between programs (the jukebox's remote control) ---
// The defaults are those of a platform without a channel between programs:
// it neither listens nor delivers.
class ProgramMessages {
 public:
  virtual ~ProgramMessages() = default;
  // Receives message numbers sent to `name` by other processes of this user
  // and hands each to the handler on the interface thread. False when the
  // name cannot be listened on. A second call replaces the handler.
  virtual bool listenForRemoteMessages(const std::string& name, std::function<void(int message)> handler);
  // Sends a message number to the program listening on `peer`; false (at once)
  // when none listens.
  virtual bool postRemoteMessage(const std::string& peer, int message);
};

// --- One instance per user ---
// The defaults are those of a platform that cannot see other processes: every
// instance runs.
class InstanceCheck {
 public:
  virtual ~InstanceCheck() = default;
  // True when another instance of the program runs for this user; that
  // instance is then asked to restore or raise its top-level window titled
  // exactly `title`, if it still has one. The first caller becomes the
  // running instance for the rest of the process.
  virtual bool isAlreadyRunning(const std::string& title);
  // After isAlreadyRunning: why no instance could be told from another (the
  // folder for the lock file is unusable), empty when the check works.
  virtual std::string singleInstanceProblem() const { return {}; }
};

}  // namespace pagemoor
