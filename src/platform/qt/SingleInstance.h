// One running instance per user.
//
// The running instance holds an exclusive flock on a lock file for the life
// of its process, so a crash releases it at once. The lock file and a local
// socket lie in the folder the remote-control sockets use (RemoteSocketDir():
// $XDG_RUNTIME_DIR when it is ours, else PrivateTempDir()):
//   <name>.lock    the lock
//   <name>.sock    where the running instance listens
//
// A second instance that finds the lock taken connects to the socket and
// writes the title it looks for as one UTF-8 line; the running instance
// restores (when minimised) or raises its top-level window of exactly that
// title, answers "1\n" when it found one and "0\n" when not, and closes the
// connection. The second instance then ends without a word.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/qt/RemoteControl.h"

class QLocalServer;
class QWidget;

namespace pagemoor {

inline constexpr const char* kSingleInstanceName = "pagemoor-instance";

// The visible top-level window titled exactly `title`. The application's own
// window, which Qt does not have, is stood in for by its active modal window
// when the application's display name is the title. nullptr when none.
QWidget* FindTopLevelWindow(const QString& title);
// Restores the window when minimised, else raises and activates it.
void BringToFront(QWidget* window);

class SingleInstance {
 public:
  explicit SingleInstance(std::string name = kSingleInstanceName);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when another process holds the lock; it has then been asked to
  // bring its window titled `title` forward. False makes this process the
  // running instance (it keeps the lock and listens until destroyed); later
  // calls answer false again. When the lock file cannot be made at all, no
  // instance can be told apart and the answer is false.
  bool isAlreadyRunning(const std::string& title);

  bool holdsLock() const { return m_lockFd >= 0; }
  // Whether the checking works: false when no lock file could be made in
  // the folder, so every start counts as the first.
  bool checking() const { return m_checking; }
  // The limits of the connections of second instances (tests shorten the
  // idle time).
  ConnectionGuard& connections() { return m_connections; }
  std::string lockPath() const;
  std::string socketPath() const;

  // Called with each window brought forward for a second instance (tests).
  std::function<void(QWidget* window)> onBroughtToFront;

  // Asks the instance listening on `name` to bring `title` forward: whether
  // it found such a window, or nothing when nobody answered in time.
  static std::optional<bool> notifyRunning(const std::string& name, const std::string& title,
                                           int timeoutMilliseconds = 1000);

 private:
  void listen();
  void acceptConnections();

  std::string m_name;
  int m_lockFd = -1;
  bool m_checking = true;
  std::unique_ptr<QLocalServer> m_server;
  ConnectionGuard m_connections;
};

}  // namespace pagemoor
