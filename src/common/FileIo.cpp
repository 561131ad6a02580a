#include "common/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

std::optional<std::string> ReadFileBytes(std::string_view hostPath) {
  int fd = ::open(std::string(hostPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
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
