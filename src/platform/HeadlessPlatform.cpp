#include "platform/HeadlessPlatform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/HostPaths.h"
#include "platform/LaunchPolicy.h"

extern char** environ;

namespace pagemoor {

namespace {

// A web address goes to xdg-open as it is; anything without a scheme is a
// file name, which may use the system's '\' separators and a case that only
// matches on a case-insensitive file system.
std::string HostTarget(const std::string& target) {
  if (!UrlScheme(target).empty()) return target;
  return ResolveExisting(target).value_or(HostPath(target));
}

std::string FindInPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* pathVariable = std::getenv("PATH");
  std::string_view path = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = path.find(':');
    std::string_view folder = path.substr(0, colon);
    if (folder.empty()) folder = ".";
    std::string candidate;
    candidate.append(folder).append(1, '/').append(program);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) return {};
    path.remove_prefix(colon + 1);
  }
}

// Writes all of an int to the pipe, retrying on signals (only async-signal-safe calls).
void ReportErrno(int fd, int error) {
  const char* p = reinterpret_cast<const char*>(&error);
  std::size_t left = sizeof error;
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

bool SpawnDetached(const std::string& programPath, const std::vector<std::string>& args,
                   const std::string& workingDir) {
  // Everything the children need is prepared here: between fork and exec only
  // async-signal-safe calls are allowed, as other threads (audio) may hold locks.
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const char* dir = workingDir.empty() ? nullptr : workingDir.c_str();

  // The grandchild reports a failed chdir or exec through this pipe; a
  // successful exec closes its end, and the parent reads end of file.
  int status[2];
  if (pipe2(status, O_CLOEXEC) != 0) return false;

  const pid_t child = fork();
  if (child < 0) {
    close(status[0]);
    close(status[1]);
    return false;
  }
  if (child == 0) {
    // The middle child exits at once, so the program is adopted by init and
    // reaped there, and a terminal closing does not take it along.
    close(status[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild < 0) {
      ReportErrno(status[1], errno);
      _exit(127);
    }
    if (grandchild == 0) {
      // The program starts as if from a shell, not with this thread's blocked signals.
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      if (dir && chdir(dir) != 0) {
        ReportErrno(status[1], errno);
        _exit(127);
      }
      execve(programPath.c_str(), argv.data(), environ);
      ReportErrno(status[1], errno);
      _exit(127);
    }
    _exit(0);
  }

  close(status[1]);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  do {
    got = read(status[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(status[0]);
  return got == 0;
}

void HeadlessPlatform::showInfo(const std::string& /*text*/) {}

void HeadlessPlatform::showMessage(const std::string& /*caption*/, const std::string& /*text*/) {}

bool HeadlessPlatform::askYesNo(const std::string& /*text*/) {
  return true;
}

bool HeadlessPlatform::askYesNoDefaultNo(const std::string& /*text*/) {
  return false;
}

std::optional<std::string> HeadlessPlatform::inputBox(const std::string& /*caption*/,
                                                      const std::string& /*prompt*/,
                                                      const std::string& defaultText) {
  return defaultText;
}

std::optional<FileDialogResult> HeadlessPlatform::openFileDialog(const FileDialogOptions& /*options*/) {
  return std::nullopt;
}

std::optional<FileDialogResult> HeadlessPlatform::saveFileDialog(const FileDialogOptions& /*options*/) {
  return std::nullopt;
}

std::optional<std::string> HeadlessPlatform::folderDialog(const std::string& /*caption*/,
                                                          const std::string& /*initialDir*/) {
  return std::nullopt;
}

int HeadlessPlatform::showModal(ModalWindow& /*window*/) {
  return 0;
}

void HeadlessPlatform::processEvents() {}

bool HeadlessPlatform::openDocument(const std::string& target) {
  if (target.empty()) return false;
  // xdg-open hands other schemes to whatever claims them (ssh:, smb:, file: ...).
  if (const std::string scheme = UrlScheme(target); !scheme.empty() && !IsWebScheme(scheme)) return false;
  const std::string opener = FindInPath("xdg-open");
  if (opener.empty()) return false;
  return SpawnDetached(opener, {"xdg-open", HostTarget(target)}, {});
}

bool HeadlessPlatform::startProgram(const std::string& commandLine, const std::string& workingDir) {
  const std::string dir =
      workingDir.empty() ? std::string() : ResolveExisting(workingDir).value_or(HostPath(workingDir));
  return SpawnDetached("/bin/sh", {"sh", "-c", commandLine}, dir);
}

}  // namespace pagemoor
