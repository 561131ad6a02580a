// Messages between programs of one user: where the old system posted window
// messages to another process's window, we connect to a local socket that the
// receiving program listens on.
//
// Location: one socket file per name in a per-user folder that nobody else can
// write: $XDG_RUNTIME_DIR when it is set and usable (an absolute path to a
// folder of ours, not writable by group or others), else PrivateTempDir().
// Sender and receiver must agree on it, so both compute it the same way.
//
// File name: the name in ASCII lower case, blanks made '-', every other byte
// outside [a-z0-9-_.] made '_', a leading '.' made '_', at most 64 bytes, then
// ".sock": "pagemoor" -> "pagemoor.sock", "Pagemoor Core" -> "pagemoor-core.sock".
//
// Protocol: a line of ASCII decimal digits ended by "\n" (a "\r" before it is
// allowed) is one message number; a sender may write one line per connection
// or many. Any other line is ignored, and so is a last line without its "\n".
// Numbers are handed on as they are; the receiver decides what it knows.
#pragma once

#include <QPointer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QLocalServer;
class QLocalSocket;

namespace pagemoor {

// The socket file name for a name, as described above.
std::string RemoteSocketFileName(std::string_view name);
// The folder the sockets live in, with a trailing separator.
std::string RemoteSocketDir();
// RemoteSocketDir() + RemoteSocketFileName(name).
std::string RemoteSocketPath(std::string_view name);
// The message number of one received line (without its "\n"), or nothing when
// the line is not a number.
std::optional<int> ParseRemoteLine(std::string_view line);

// Keeps a listener's connections few, and open only while they talk. Anyone
// of this user can connect and then say nothing, for ever, as often as they
// like: a connection that sends nothing for the idle time is closed, and one
// beyond the cap closes the oldest. The oldest goes rather than the newest,
// so that idle connections cannot lock a real sender out: a real one writes
// its line at once and is gone within milliseconds, never the oldest.
class ConnectionGuard {
 public:
  static constexpr std::size_t kMaxConnections = 16;
  static constexpr std::chrono::milliseconds kIdleTimeout{10000};

  // Applies to connections taken from now on.
  void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }
  // Watches a connection just taken from the listener.
  void adopt(QLocalSocket* socket);
  // Connections still open (tests).
  std::size_t openCount();

 private:
  std::chrono::milliseconds m_idleTimeout = kIdleTimeout;
  std::deque<QPointer<QLocalSocket>> m_open;  // oldest first
};

// Listens on one name and hands the numbers received to a handler, on the
// thread that created it (the interface thread; its event loop must run).
class RemoteControl {
 public:
  using Handler = std::function<void(int message)>;

  RemoteControl();
  ~RemoteControl();
  RemoteControl(const RemoteControl&) = delete;
  RemoteControl& operator=(const RemoteControl&) = delete;

  // Listens on the name's socket. A socket file that nobody answers on (left
  // by a crashed process) is replaced; one where a live program answers is
  // left alone and the result is false. Listening again replaces the handler
  // and keeps the socket.
  bool listen(const std::string& name, Handler handler);
  // Stops listening and removes the socket file.
  void close();
  bool isListening() const;
  // The socket file listened on, empty when not listening.
  std::string socketPath() const;
  // Its connections' limits (tests shorten the idle time).
  ConnectionGuard& connections() { return m_connections; }

  // Sends one message number to whoever listens on peer's socket: connects
  // with a short timeout, writes the line, waits until it is written and
  // disconnects. False when nobody listens or the write fails; never throws.
  static bool post(const std::string& peer, int message, int timeoutMilliseconds = 200);

 private:
  void acceptConnections();

  std::unique_ptr<QLocalServer> m_server;
  ConnectionGuard m_connections;
  // Shared with the connections, so a handler replaced while it runs stays
  // alive until it returns.
  std::shared_ptr<Handler> m_handler;
};

}  // namespace pagemoor
