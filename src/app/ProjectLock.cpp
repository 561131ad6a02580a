#include "app/ProjectLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string_view>
#include <thread>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// How long a claim waits for a lock held by someone else: a start-up that is
// removing the folder as stale holds it only while it deletes.
constexpr auto kClaimWait = std::chrono::seconds(1);

int g_claimedFd = -1;

std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n", pos);
    if (start == std::string_view::npos) break;
    std::size_t end = text.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    out.emplace_back(text.substr(start, end - start));
    pos = end;
  }
  return out;
}

struct Owner {
  long pid = 0;
  std::string startTime;
};

std::optional<Owner> readOwner(int folderFd) {
  const int fd = ::openat(folderFd, kProjectOwnerFile, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  char buffer[64] = {};
  ssize_t n = -1;
  // Only a small regular file is ours: the archive may have put anything there.
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  const std::vector<std::string> parts = words(std::string_view(buffer, static_cast<std::size_t>(n)));
  long long pid = 0;
  if (parts.size() != 2 || !TryParseInt(parts[0], pid) || pid <= 0) return std::nullopt;
  return Owner{static_cast<long>(pid), parts[1]};
}

bool ownerAlive(const Owner& owner) {
  const std::string now = ProcessStartTime(owner.pid);
  return !now.empty() && now == owner.startTime;
}

void writeOwner(int folderFd) {
  const int fd =
      ::openat(folderFd, kProjectOwnerFile, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const long pid = static_cast<long>(::getpid());
  WriteAll(fd, std::to_string(pid) + " " + ProcessStartTime(pid) + "\n");
  ::close(fd);
}

bool sameFolder(int fd, const std::string& path) {
  struct stat held, named;
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

std::vector<std::string> folderNames(int folderFd) {
  std::vector<std::string> names;
  const int listFd = ::dup(folderFd);
  if (listFd < 0) return names;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return names;
  }
  while (dirent* e = ::readdir(dir)) {
    std::string_view n = e->d_name;
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(dir);
  return names;
}

}  // namespace

std::string ProcessStartTime(long pid) {
  // Read by hand: a /proc file gives its size as 0.
  const int fd = ::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[1024];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n <= 0) return {};
  const std::string_view stat(buffer, static_cast<std::size_t>(n));
  // The command name in parentheses may hold blanks and parentheses itself;
  // the fields after its last ')' start with field 3.
  const std::size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string_view::npos) return {};
  const std::vector<std::string> fields = words(stat.substr(nameEnd + 1));
  constexpr std::size_t kStartTime = 22 - 3;
  return fields.size() > kStartTime ? fields[kStartTime] : std::string();
}

bool ClaimProjectFolder(const std::string& folder) {
  ReleaseProjectFolder();
  const std::string path = ExcludeTrailingSeparator(HostPath(folder));
  // A stale-folder removal running in another start-up can delete the folder
  // between our making it and locking it: then it is made anew.
  for (int attempt = 0; attempt < 5; ++attempt) {
    ::mkdir(path.c_str(), 0700);
    const int fd = ::open(path.c_str(), kFolderFlags);
    if (fd < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + kClaimWait;
    int lockError = 0;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      lockError = errno;
      if (lockError != EWOULDBLOCK || std::chrono::steady_clock::now() > deadline) break;
      lockError = 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (lockError == EWOULDBLOCK) {
      // A live process reads from it.
      ::close(fd);
      return false;
    }
    if (!sameFolder(fd, path)) {
      ::close(fd);
      continue;
    }
    // Without flock (lockError set) the owner file alone tells.
    writeOwner(fd);
    g_claimedFd = fd;
    return true;
  }
  return false;
}

void ReleaseProjectFolder() {
  if (g_claimedFd < 0) return;
  // The owner file is ours; without it an emptied folder is empty again.
  ::unlinkat(g_claimedFd, kProjectOwnerFile, 0);
  ::close(g_claimedFd);
  g_claimedFd = -1;
}

std::vector<std::string> RemoveStaleProjectFolders(const std::string& privateFolder) {
  std::vector<std::string> removed;
  const std::string base = ExcludeTrailingSeparator(HostPath(privateFolder));
  const int baseFd = ::open(base.c_str(), kFolderFlags);
  if (baseFd < 0) return removed;
  for (const std::string& name : folderNames(baseFd)) {
    struct stat st;
    if (::fstatat(baseFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) continue;
    const int fd = ::openat(baseFd, name.c_str(), kFolderFlags);
    if (fd < 0) continue;
    const std::optional<Owner> owner = readOwner(fd);
    bool stale = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      stale = true;
    } else if (errno != EWOULDBLOCK) {
      // No flock on this file system: the owner file decides, and a folder
      // without one is kept, since nothing says its owner has gone.
      stale = owner && !ownerAlive(*owner);
    }
    if (stale) {
      // Still holding the lock, so a start-up that wants this folder waits
      // until it is gone and then makes it afresh.
      const std::string path = base + "/" + name + "/";
      DeleteTree(path);
      removed.push_back("Removed the project folder " + path + " left by " +
                        (owner ? "process " + std::to_string(owner->pid) : std::string("an ended process")));
    }
    ::close(fd);
  }
  ::close(baseFd);
  return removed;
}

}  // namespace pagemoor
