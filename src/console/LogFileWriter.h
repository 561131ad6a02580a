// Keeps log files equal to a growing list of lines without rewriting them.
//
// A console saves its whole log after every line. Rewriting the file each
// time is quadratic over a long reading; when the file still holds exactly
// what we wrote last time and the log has only grown since, appending the new
// lines gives the same file.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagemoor {

class ConsoleFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LogFileWriter {
 public:
  LogFileWriter() = default;
  ~LogFileWriter();
  LogFileWriter(const LogFileWriter&) = delete;
  LogFileWriter& operator=(const LogFileWriter&) = delete;

  // Makes the file hold lines (each followed by CR LF). generation tells
  // whether lines are the continuation of what was written before: a
  // different generation means the list was replaced. Throws ConsoleFileError.
  void write(const std::string& path, const std::vector<std::string>& lines, std::uint64_t generation);

  // Forget what was written (the next write rewrites).
  void reset();

 private:
  // What the file holds after our last write. The file stays open for
  // appending: the log grows by a line at a time, tens of thousands of times.
  struct Written {
    std::uint64_t generation = 0;
    std::size_t lines = 0;
    std::uint64_t dev = 0, ino = 0;
    std::int64_t size = 0;
    int fd = -1;
  };
  void forget(const std::string& path);
  std::map<std::string, Written> m_files;
};

}  // namespace pagemoor
