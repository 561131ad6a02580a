#include "common/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

namespace pagemoor {

namespace {

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::size_t FileSizeCap(FileKind kind) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  switch (kind) {
    case FileKind::Text:
      return 16 * kMiB;
    case FileKind::Picture:
    case FileKind::Attachment:
      return 64 * kMiB;
    case FileKind::Sound:
    case FileKind::Archive:
      return 256 * kMiB;
  }
  return 16 * kMiB;
}

std::optional<std::string> ReadFileBytes(std::string_view hostPath, FileKind kind, FileRefusal* refusal) {
  FileRefusal ignored;
  FileRefusal& why = refusal ? *refusal : ignored;
  why = FileRefusal::Unreadable;
  const std::string path(hostPath);
  const std::size_t cap = FileSizeCap(kind);
  // A look before the open: opening some devices already does something
  // (a terminal, a tape), so what is plainly no regular file is never opened.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  if (!S_ISREG(st.st_mode)) {
    why = FileRefusal::NotRegular;
    return std::nullopt;
  }
  // The file may have been swapped since the look: the descriptor is what
  // counts, and O_NONBLOCK keeps a FIFO put there from stopping us at the open.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  auto refuse = [&](FileRefusal reason) -> std::optional<std::string> {
    ::close(fd);
    why = reason;
    return std::nullopt;
  };
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return refuse(FileRefusal::Unreadable);
  if (!S_ISREG(st.st_mode)) return refuse(FileRefusal::NotRegular);
  if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > cap) return refuse(FileRefusal::TooLarge);
  std::string data;
  data.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  // One byte past the cap is enough to know the file outgrew it.
  while (data.size() <= cap) {
    const std::size_t want = std::min(sizeof buffer, cap + 1 - data.size());
    ssize_t n = ::read(fd, buffer, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return refuse(FileRefusal::Unreadable);
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  if (data.size() > cap) return refuse(FileRefusal::TooLarge);
  ::close(fd);
  why = FileRefusal::None;
  return data;
}

bool WriteFileAtomic(std::string_view hostPath, std::string_view bytes, std::string* error) {
  std::string target(hostPath);
  struct stat st;
  bool exists = ::lstat(target.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    // Write through the link to the file it names, keeping the link.
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved)) {
      target = resolved;
      exists = ::stat(target.c_str(), &st) == 0;
    } else {
      exists = false;
    }
  }
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return fail(error, target);
    }
    // A file without write permission is read-only, even to the administrator,
    // as it was on the system magazines came from.
    if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
      errno = EACCES;
      return fail(error, target);
    }
  }

  std::size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

  struct stat folderStat;
  if (::stat(folder.empty() ? "." : folder.c_str(), &folderStat) == 0 && (folderStat.st_mode & 0222) == 0) {
    errno = EACCES;
    return fail(error, folder);
  }

  static thread_local std::mt19937_64 random{std::random_device{}()};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "." + name + ".tmp" + std::to_string(random() % 1000000000ULL);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return fail(error, temp);
  }
  if (fd < 0) return fail(error, temp);
  if (exists) ::fchmod(fd, st.st_mode & 07777);
  if (!WriteAll(fd, bytes)) {
    fail(error, temp);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  if (::close(fd) != 0) {
    fail(error, temp);
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    fail(error, target);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace pagemoor
