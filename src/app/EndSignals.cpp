#include "app/EndSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include "common/HostPaths.h"

namespace pagemoor {

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr char kSignalByte = 1;
constexpr char kStopByte = 0;

std::mutex g_leftoverMutex;
std::string g_launcherLog;
std::string g_projectFolder;

// Where the handler writes: the interface thread's pipe and the watchdog's.
// Set before the handler is installed and cleared after it is removed.
int g_signalFds[2] = {-1, -1};

void OnEndSignal(int) {
  const int savedErrno = errno;
  const char byte = kSignalByte;
  for (int fd : g_signalFds) {
    if (fd < 0) continue;
    [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

// Close-on-exec pipes (a program the magazine starts must not hold them);
// the write end never blocks the handler, the read end blocks or not.
bool makePipe(int (&fds)[2], bool readBlocks) {
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  if (!readBlocks) ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  return true;
}

void closePipe(int (&fds)[2]) {
  for (int& fd : fds) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

// One byte from fd, waiting at most waitMilliseconds (negative: for ever);
// -1 on a timeout, -2 when the pipe is gone.
int readByte(int fd, int waitMilliseconds) {
  pollfd p{fd, POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&p, 1, waitMilliseconds);
  } while (ready < 0 && errno == EINTR);
  if (ready == 0) return -1;
  char byte = kStopByte;
  ssize_t n = 0;
  do {
    n = ::read(fd, &byte, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? byte : -2;
}

}  // namespace

void SetLeftover(Leftover kind, const std::string& path) {
  std::lock_guard lock(g_leftoverMutex);
  (kind == Leftover::LauncherLog ? g_launcherLog : g_projectFolder) = path;
}

void RemoveLeftovers() {
  std::string launcherLog, projectFolder;
  {
    std::lock_guard lock(g_leftoverMutex);
    launcherLog = g_launcherLog;
    projectFolder = g_projectFolder;
  }
  if (!projectFolder.empty()) DeleteTree(projectFolder);
  if (!launcherLog.empty()) ::unlink(HostPath(launcherLog).c_str());
}

void EndNow(int exitCode, const char* why) {
  RemoveLeftovers();
  const std::string line = std::string("Pagemoor: ") + why + "\n";
  [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
  ::_exit(exitCode);
}

EndSignals::EndSignals(int exitCode, std::chrono::milliseconds grace, std::chrono::milliseconds graceAnswered)
    : m_exitCode(exitCode), m_grace(grace), m_graceAnswered(graceAnswered) {
  if (!makePipe(m_interfacePipe, false)) return;
  if (!makePipe(m_watchdogPipe, true)) {
    closePipe(m_interfacePipe);
    return;
  }
  m_watchdog = std::thread([this] { watch(); });
  g_signalFds[0] = m_interfacePipe[1];
  g_signalFds[1] = m_watchdogPipe[1];
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : kEndSignals) ::sigaction(sig, &action, nullptr);
}

EndSignals::~EndSignals() {
  for (int sig : kEndSignals) ::signal(sig, SIG_DFL);
  g_signalFds[0] = g_signalFds[1] = -1;
  if (m_watchdog.joinable()) {
    const char stop = kStopByte;
    // The pipe is empty unless a signal came; one byte always fits.
    [[maybe_unused]] ssize_t n = ::write(m_watchdogPipe[1], &stop, 1);
    m_watchdog.join();
  }
  closePipe(m_interfacePipe);
  closePipe(m_watchdogPipe);
}

bool EndSignals::takeSignal() {
  bool any = false;
  char buffer[16];
  while (m_interfacePipe[0] >= 0 && ::read(m_interfacePipe[0], buffer, sizeof buffer) > 0) any = true;
  if (any) m_answered = true;
  return any;
}

void EndSignals::watch() {
  // The signals go to the other threads; this one only waits.
  sigset_t blocked;
  sigemptyset(&blocked);
  for (int sig : kEndSignals) sigaddset(&blocked, sig);
  ::pthread_sigmask(SIG_BLOCK, &blocked, nullptr);

  const int fd = m_watchdogPipe[0];
  if (readByte(fd, -1) != kSignalByte) return;
  const auto signalled = std::chrono::steady_clock::now();
  while (true) {
    const auto limit = signalled + (m_answered ? m_graceAnswered : m_grace);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) EndNow(m_exitCode, "the end signal was not answered in time; the run's files are removed");
    const int byte = readByte(fd, static_cast<int>(left));
    if (byte == kSignalByte) EndNow(m_exitCode, "a second end signal; the run's files are removed");
    if (byte == kStopByte || byte == -2) return;
  }
}

}  // namespace pagemoor
