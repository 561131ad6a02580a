#include "platform/qt/RemoteControl.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/HostPaths.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

constexpr std::size_t kMaxFileNameStem = 64;
// A line longer than any number is not ours; a sender that never ends its
// line is cut off instead of filling our memory.
constexpr qsizetype kMaxLineLength = 64;
constexpr int kProbeTimeoutMilliseconds = 200;

// The folder must be ours and closed to other users' writes: a socket file in
// it is then something only we could have put there.
bool IsUsableRuntimeDir(const char* dir) {
  if (!dir || dir[0] != '/') return false;
  struct stat st {};
  if (::stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
  return ::access(dir, W_OK | X_OK) == 0;
}

// Serialises the check-remove-listen steps of programs starting together, so
// that one of them cannot remove the socket another has just made. Advisory
// only: when the lock file cannot be made, the steps run without it.
class ListenLock {
 public:
  explicit ListenLock(const std::string& socketPath)
      : m_fd(::open((socketPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
  }
  ~ListenLock() {
    if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
  }
  ListenLock(const ListenLock&) = delete;
  ListenLock& operator=(const ListenLock&) = delete;

 private:
  int m_fd;
};

enum class SocketOwner { Live, Stale, Unknown };

SocketOwner ProbeSocket(const QString& path) {
  QLocalSocket probe;
  probe.connectToServer(path);
  if (probe.waitForConnected(kProbeTimeoutMilliseconds)) {
    probe.abort();
    return SocketOwner::Live;
  }
  // Only a refused connection proves that nobody listens; a timeout may be a
  // busy program.
  const auto error = probe.error();
  if (error == QLocalSocket::ConnectionRefusedError || error == QLocalSocket::ServerNotFoundError)
    return SocketOwner::Stale;
  return SocketOwner::Unknown;
}

// Takes the complete lines out of buffer and returns their message numbers.
std::vector<int> TakeMessages(QByteArray& buffer) {
  std::vector<int> messages;
  qsizetype start = 0;
  for (qsizetype end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n', start)) {
    const QByteArray line = buffer.mid(start, end - start);
    if (std::optional<int> message = ParseRemoteLine(std::string_view(line.constData(), line.size())))
      messages.push_back(*message);
    start = end + 1;
  }
  buffer.remove(0, start);
  return messages;
}

}  // namespace

std::string RemoteSocketFileName(std::string_view name) {
  std::string stem;
  for (char c : name) {
    if (stem.size() == kMaxFileNameStem) break;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == ' ') c = '-';
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    stem += allowed ? c : '_';
  }
  // No hidden file, and never "." or "..".
  if (stem.empty() || stem.front() == '.') stem.insert(stem.begin(), '_');
  return stem + ".sock";
}

std::string RemoteSocketDir() {
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (IsUsableRuntimeDir(runtimeDir)) return IncludeTrailingSeparator(runtimeDir);
  return PrivateTempDir();
}

std::string RemoteSocketPath(std::string_view name) {
  return JoinPath(RemoteSocketDir(), RemoteSocketFileName(name));
}

std::optional<int> ParseRemoteLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // Nine digits always fit in an int.
  if (line.empty() || line.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : line) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

void ConnectionGuard::adopt(QLocalSocket* socket) {
  openCount();  // forgets the connections gone since
  while (m_open.size() >= kMaxConnections) {
    const QPointer<QLocalSocket> oldest = m_open.front();
    m_open.pop_front();
    if (oldest) oldest->abort();
  }
  m_open.emplace_back(socket);
  auto* idle = new QTimer(socket);
  idle->setSingleShot(true);
  idle->setInterval(m_idleTimeout);
  QObject::connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
  QObject::connect(socket, &QLocalSocket::readyRead, idle, qOverload<>(&QTimer::start));
  idle->start();
}

std::size_t ConnectionGuard::openCount() {
  std::erase_if(m_open, [](const QPointer<QLocalSocket>& s) {
    return !s || s->state() == QLocalSocket::UnconnectedState;
  });
  return m_open.size();
}

RemoteControl::RemoteControl() : m_handler(std::make_shared<Handler>()) {}

RemoteControl::~RemoteControl() {
  close();
}

bool RemoteControl::listen(const std::string& name, Handler handler) {
  const std::string path = RemoteSocketPath(name);
  if (m_server && m_server->isListening() && m_server->fullServerName() == ToQt(path)) {
    *m_handler = std::move(handler);
    return true;
  }
  close();

  auto server = std::make_unique<QLocalServer>();
  const QString qtPath = ToQt(path);
  {
    ListenLock lock(path);
    if (!server->listen(qtPath)) {
      if (server->serverError() != QAbstractSocket::AddressInUseError) return false;
      if (ProbeSocket(qtPath) != SocketOwner::Stale) return false;
      // Never remove what is not a socket: the name is simply not ours then.
      struct stat st {};
      if (::lstat(path.c_str(), &st) == 0 && !S_ISSOCK(st.st_mode)) return false;
      ::unlink(path.c_str());
      if (!server->listen(qtPath)) return false;
    }
  }

  *m_handler = std::move(handler);
  m_server = std::move(server);
  QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(),
                   [this] { acceptConnections(); });
  return true;
}

void RemoteControl::close() {
  if (!m_server) return;
  // close() removes the socket file, so a later listener finds the name free.
  m_server->close();
  m_server.reset();
}

bool RemoteControl::isListening() const {
  return m_server && m_server->isListening();
}

std::string RemoteControl::socketPath() const {
  return isListening() ? m_server->fullServerName().toStdString() : std::string();
}

void RemoteControl::acceptConnections() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    auto buffer = std::make_shared<QByteArray>();
    std::weak_ptr<Handler> handler = m_handler;
    // Everything the socket holds is read before any handler runs: a handler
    // may run a nested event loop in which the socket goes away.
    auto read = [socket, buffer, handler] {
      buffer->append(socket->readAll());
      std::vector<int> messages = TakeMessages(*buffer);
      if (buffer->size() > kMaxLineLength) {
        buffer->clear();
        socket->abort();
      }
      for (int message : messages) {
        std::shared_ptr<Handler> current = handler.lock();
        if (!current || !*current) return;
        // A copy: the handler may replace itself while it runs.
        const Handler call = *current;
        current.reset();
        call(message);
      }
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, read);
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    m_connections.adopt(socket);
    // Whatever arrived before the signals were connected is read from the
    // event loop, never from inside this loop over the pending connections.
    QMetaObject::invokeMethod(
        socket,
        [socket, read] {
          const QPointer<QLocalSocket> alive(socket);
          if (socket->bytesAvailable() > 0) read();
          if (alive && socket->state() == QLocalSocket::UnconnectedState) socket->deleteLater();
        },
        Qt::QueuedConnection);
  }
}

bool RemoteControl::post(const std::string& peer, int message, int timeoutMilliseconds) {
  try {
    QLocalSocket socket;
    socket.connectToServer(ToQt(RemoteSocketPath(peer)));
    if (!socket.waitForConnected(timeoutMilliseconds)) return false;
    const QByteArray line = QByteArray::number(message) + '\n';
    if (socket.write(line) != line.size()) {
      socket.abort();
      return false;
    }
    socket.flush();
    if (socket.bytesToWrite() > 0) socket.waitForBytesWritten(timeoutMilliseconds);
    const bool written = socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMilliseconds);
    return written;
  } catch (...) {
    return false;
  }
}

}  // namespace pagemoor
