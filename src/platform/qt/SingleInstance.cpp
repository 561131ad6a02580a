#include "platform/qt/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <cerrno>
#include <memory>
#include <utility>

#include "common/Application.h"
#include "common/HostPaths.h"
#include "platform/qt/QtText.h"
#include "platform/qt/RemoteControl.h"

namespace pagemoor {

namespace {

// A title is one line; anything longer is not a request of ours.
constexpr qsizetype kMaxRequestLength = 4096;

}  // namespace

QWidget* FindTopLevelWindow(const QString& title) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isWindow() && widget->isVisible() && widget->windowTitle() == title) return widget;
  }
  // While a modal window (the launcher) runs, the application's window is
  // what the user sees of the program.
  if (ToQt(ApplicationTitle()) == title) return QApplication::activeModalWidget();
  return nullptr;
}

void BringToFront(QWidget* window) {
  if (!window) return;
  if (window->isMinimized()) {
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
  } else {
    window->raise();
    window->activateWindow();
  }
}

SingleInstance::SingleInstance(std::string name) : m_name(std::move(name)) {}

SingleInstance::~SingleInstance() {
  if (m_server) m_server->close();
  m_server.reset();
  if (m_lockFd >= 0) {
    // Closing releases the lock; the lock file stays for the next instance.
    ::close(m_lockFd);
  }
}

std::string SingleInstance::lockPath() const {
  return RemoteSocketDir() + m_name + ".lock";
}

std::string SingleInstance::socketPath() const {
  return RemoteSocketPath(m_name);
}

bool SingleInstance::isAlreadyRunning(const std::string& title) {
  if (m_lockFd >= 0) return false;
  const int fd = ::open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    m_checking = false;
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    if (!held) return false;
    // The holder may still be starting and not listen yet; it runs all the
    // same, so this process ends whether or not anyone answered.
    notifyRunning(m_name, title);
    return true;
  }
  m_lockFd = fd;
  listen();
  return false;
}

void SingleInstance::listen() {
  const std::string path = socketPath();
  // Whoever holds the lock owns the socket name: a file left there is a
  // crashed holder's. Never remove what is not a socket, though.
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return;
    ::unlink(path.c_str());
  }
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(ToQt(path))) return;
  m_server = std::move(server);
  QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(),
                   [this] { acceptConnections(); });
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    auto buffer = std::make_shared<QByteArray>();
    auto read = [this, socket, buffer] {
      buffer->append(socket->readAll());
      const qsizetype end = buffer->indexOf('\n');
      if (end < 0) {
        if (buffer->size() > kMaxRequestLength) socket->abort();
        return;
      }
      QByteArray line = buffer->left(end);
      if (line.endsWith('\r')) line.chop(1);
      buffer->clear();
      QWidget* window = FindTopLevelWindow(QString::fromUtf8(line));
      if (window) {
        BringToFront(window);
        if (onBroughtToFront) onBroughtToFront(window);
      }
      socket->write(window ? "1\n" : "0\n");
      socket->flush();
      socket->disconnectFromServer();
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, read);
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    m_connections.adopt(socket);
    if (socket->bytesAvailable() > 0) QMetaObject::invokeMethod(socket, read, Qt::QueuedConnection);
  }
}

std::optional<bool> SingleInstance::notifyRunning(const std::string& name, const std::string& title,
                                                  int timeoutMilliseconds) {
  QLocalSocket socket;
  socket.connectToServer(ToQt(RemoteSocketPath(name)));
  if (!socket.waitForConnected(timeoutMilliseconds)) return std::nullopt;
  QByteArray line = QByteArray::fromStdString(title);
  line.replace('\n', ' ');
  line.append('\n');
  if (socket.write(line) != line.size()) return std::nullopt;
  if (!socket.waitForBytesWritten(timeoutMilliseconds) && socket.bytesToWrite() > 0) return std::nullopt;
  QByteArray answer;
  while (!answer.contains('\n')) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMilliseconds)) break;
    answer.append(socket.readAll());
  }
  socket.abort();
  if (answer.startsWith("1\n")) return true;
  if (answer.startsWith("0\n")) return false;
  return std::nullopt;
}

}  // namespace pagemoor
