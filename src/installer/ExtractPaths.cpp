#include "installer/ExtractPaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace pagemoor::extract {

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Keeps errno across the cleanup of a failed call.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : m_saved(errno) {}
  ~ErrnoKeeper() { errno = m_saved; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

 private:
  int m_saved;
};

}  // namespace

std::optional<std::vector<std::string>> SafeEntryComponents(std::string_view entryName) {
  if (entryName.empty() || IsSeparator(entryName.front())) return std::nullopt;
  if (entryName.find('\0') != std::string_view::npos) return std::nullopt;
  if (entryName.size() >= 2 && IsAsciiLetter(entryName[0]) && entryName[1] == ':') return std::nullopt;
  std::vector<std::string> components;
  std::size_t start = 0;
  while (start <= entryName.size()) {
    std::size_t end = start;
    while (end < entryName.size() && !IsSeparator(entryName[end])) ++end;
    std::string_view part = entryName.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") components.emplace_back(part);
    start = end + 1;
  }
  if (components.empty()) return std::nullopt;
  return components;
}

std::string JoinComponents(const std::vector<std::string>& components) {
  std::string joined;
  for (const std::string& c : components) {
    if (!joined.empty()) joined += '/';
    joined += c;
  }
  return joined;
}

namespace {

// Opens (and with `create` makes) the first `count` components as folders
// below `base`, one step at a time, never through a link. Returns a new
// descriptor (a duplicate of `base` for count 0) or -1 with errno set.
int WalkFolders(int base, const std::vector<std::string>& components, std::size_t count, bool create) {
  int current = fcntl(base, F_DUPFD_CLOEXEC, 0);
  for (std::size_t i = 0; i < count && current >= 0; ++i) {
    const char* name = components[i].c_str();
    int next = openat(current, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (mkdirat(current, name, 0777) == 0 || errno == EEXIST) {
        next = openat(current, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
    }
    ErrnoKeeper keep;
    close(current);
    current = next;
  }
  return current;
}

}  // namespace

TargetFolder::TargetFolder(const std::string& path) : m_path(path) {
  if (path.empty()) return;
  if (m_path.back() != '/') m_path += '/';
  // The target itself is the reader's choice: make it with its parents, as
  // "mkdir -p" would, and follow links on the way there.
  for (std::size_t slash = m_path.find('/', 1); slash != std::string::npos;
       slash = m_path.find('/', slash + 1)) {
    mkdir(m_path.substr(0, slash).c_str(), 0777);
  }
  m_fd = open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

TargetFolder::~TargetFolder() {
  if (m_fd >= 0) close(m_fd);
}

std::string TargetFolder::hostPath(const std::vector<std::string>& components) const {
  return m_path + JoinComponents(components);
}

int TargetFolder::openParent(const std::vector<std::string>& components, bool create) const {
  if (m_fd < 0 || components.empty()) {
    errno = EINVAL;
    return -1;
  }
  return WalkFolders(m_fd, components, components.size() - 1, create);
}

bool TargetFolder::makeFolders(const std::vector<std::string>& components) {
  if (m_fd < 0) return false;
  int fd = WalkFolders(m_fd, components, components.size(), true);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool TargetFolder::fileExists(const std::vector<std::string>& components) const {
  int parent = openParent(components, false);
  if (parent < 0) return false;
  struct stat st {};
  bool exists =
      fstatat(parent, components.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode);
  close(parent);
  return exists;
}

int TargetFolder::createFile(const std::vector<std::string>& components) {
  int parent = openParent(components, true);
  if (parent < 0) return -1;
  const char* name = components.back().c_str();
  // Whatever stands there goes first: a read-only file, a link (never
  // followed), a file with other hard links (never written through). The new
  // file is then created exclusively, so a link slipped in meanwhile fails.
  unlinkat(parent, name, 0);
  int fd = openat(parent, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  ErrnoKeeper keep;
  close(parent);
  return fd;
}

bool TargetFolder::removeFile(const std::vector<std::string>& components) {
  int parent = openParent(components, false);
  if (parent < 0) return false;
  bool removed = unlinkat(parent, components.back().c_str(), 0) == 0;
  close(parent);
  return removed;
}

void TargetFolder::setFolderTime(const std::vector<std::string>& components, std::time_t mtime) {
  if (m_fd < 0) return;
  int fd = WalkFolders(m_fd, components, components.size(), false);
  if (fd < 0) return;
  ApplyFileTimes(fd, mtime);
  close(fd);
}

std::optional<std::uint64_t> TargetFolder::freeSpace() const {
  if (m_fd < 0) return std::nullopt;
  return FreeSpace(m_fd);
}

namespace {

std::optional<std::uint64_t> StatvfsFreeSpace(int folderFd) {
  struct statvfs st {};
  if (fstatvfs(folderFd, &st) != 0) return std::nullopt;
  // f_bavail, not f_bfree: the blocks kept for root are not ours to fill.
  const std::uint64_t unit = st.f_frsize != 0 ? st.f_frsize : st.f_bsize;
  const std::uint64_t blocks = st.f_bavail;
  if (unit != 0 && blocks > UINT64_MAX / unit) return UINT64_MAX;
  return blocks * unit;
}

FreeSpaceFunction g_freeSpace = &StatvfsFreeSpace;

}  // namespace

std::optional<std::uint64_t> FreeSpace(int folderFd) {
  return g_freeSpace(folderFd);
}

std::optional<std::uint64_t> FreeSpaceAt(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::uint64_t> free = FreeSpace(fd);
  close(fd);
  return free;
}

void SetFreeSpaceFunction(FreeSpaceFunction function) {
  g_freeSpace = function != nullptr ? function : &StatvfsFreeSpace;
}

std::uint64_t OutputLimit(std::uint64_t archiveSize) {
  const std::uint64_t scaled =
      archiveSize > UINT64_MAX / kOutputRatio ? UINT64_MAX : archiveSize * kOutputRatio;
  return std::max(scaled, kOutputFloor);
}

void ApplyFileTimes(int fd, std::time_t mtime) {
  struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
  (void)futimens(fd, times);
}

void ApplyFileMode(int fd, unsigned mode) {
  if (mode == 0) return;
  // Permission bits only: an archive never hands out setuid, setgid or sticky.
  (void)fchmod(fd, static_cast<mode_t>(mode & 0777));
}

std::time_t DosDateTimeToTime(std::uint32_t dosDateTime) {
  std::uint32_t date = dosDateTime >> 16;
  std::uint32_t time = dosDateTime & 0xFFFF;
  std::tm tm{};
  tm.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
  // A zero month or day (archives made without a clock) counts as the first.
  if (tm.tm_mon < 0) tm.tm_mon = 0;
  if (tm.tm_mday == 0) tm.tm_mday = 1;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

}  // namespace pagemoor::extract
