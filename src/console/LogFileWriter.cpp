#include "console/LogFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/FileIo.h"

namespace pagemoor {

namespace {

constexpr std::size_t kMaxOpenFiles = 8;

std::string joinLines(const std::vector<std::string>& lines, std::size_t from) {
  std::size_t size = 0;
  for (std::size_t i = from; i < lines.size(); ++i) size += lines[i].size() + 2;
  std::string bytes;
  bytes.reserve(size);
  for (std::size_t i = from; i < lines.size(); ++i) bytes.append(lines[i]).append("\r\n");
  return bytes;
}

}  // namespace

LogFileWriter::~LogFileWriter() {
  reset();
}

void LogFileWriter::reset() {
  for (auto& [path, w] : m_files)
    if (w.fd >= 0) ::close(w.fd);
  m_files.clear();
}

void LogFileWriter::forget(const std::string& path) {
  auto it = m_files.find(path);
  if (it == m_files.end()) return;
  if (it->second.fd >= 0) ::close(it->second.fd);
  m_files.erase(it);
}

void LogFileWriter::write(const std::string& path, const std::vector<std::string>& lines,
                          std::uint64_t generation) {
  struct stat st;
  auto it = m_files.find(path);
  // The file is still what we left: the same file, of the size we made it.
  const bool unchanged = it != m_files.end() && it->second.fd >= 0 && it->second.generation == generation &&
                         it->second.lines <= lines.size() && ::stat(path.c_str(), &st) == 0 &&
                         static_cast<std::uint64_t>(st.st_dev) == it->second.dev &&
                         static_cast<std::uint64_t>(st.st_ino) == it->second.ino &&
                         st.st_size == it->second.size;
  if (unchanged) {
    Written& w = it->second;
    if (w.lines == lines.size()) return;
    const std::string bytes = joinLines(lines, w.lines);
    if (!WriteAll(w.fd, bytes)) {
      const int e = errno;
      forget(path);  // whatever the file holds now, the next write rewrites it
      throw ConsoleFileError("Cannot write " + path + ": " + std::strerror(e));
    }
    w.size += static_cast<std::int64_t>(bytes.size());
    w.lines = lines.size();
    return;
  }

  forget(path);
  std::string error;
  if (!WriteFileAtomic(path, joinLines(lines, 0), &error)) throw ConsoleFileError("Cannot write " + error);
  if (m_files.size() >= kMaxOpenFiles) reset();
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;  // written; the next line rewrites again
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return;
  }
  m_files[path] = Written{generation,
                          lines.size(),
                          static_cast<std::uint64_t>(st.st_dev),
                          static_cast<std::uint64_t>(st.st_ino),
                          st.st_size,
                          fd};
}

}  // namespace pagemoor
