// The entries of an open archive as the library shows them: one entry per
// file or folder, a file split over volumes being one entry with several
// parts. Volumes are read one at a time, when an entry or a part that lies
// beyond the ones read so far is asked for; the following volume is found
// by its name (name.part2.rar or name.r00) or, when it is missing, through
// the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "unrar/RarHeaders.h"

namespace pagemoor::rar {

struct Volume {
  std::string path;
  std::unique_ptr<FileSource> source;
};

struct Part {
  std::size_t volume = 0;
  std::uint64_t dataOffset = 0;
  std::uint64_t packSize = 0;
};

struct Entry {
  FileHeader header;  // of its first part
  std::size_t volume = 0;
  std::vector<Part> parts;
  bool complete = false;  // the last part is known
  // The check value of the whole file: the last part carries it.
  std::uint32_t crc = 0;
  bool hasCrc = false;
  Comment comment;  // a file comment stored after it
};

class Catalog {
 public:
  // A following volume is missing: the caller may name another path to try,
  // or nothing to give up.
  using AskVolume = std::function<std::optional<std::string>(const std::string& expected)>;
  // A following volume was opened; false stops.
  using NotifyVolume = std::function<bool(const std::string& path)>;

  // Opens the archive and reads its first volume. 0, or ERAR_EOPEN when the
  // file cannot be opened, ERAR_BAD_ARCHIVE when it is no archive we read.
  int open(const std::string& path);
  void setVolumeHandlers(AskVolume ask, NotifyVolume notify);

  Format format() const { return m_format; }
  const MainHeader& main() const { return m_main; }
  const Comment& archiveComment() const { return m_comment; }

  // Makes entry `index` known. 0, ERAR_END_ARCHIVE when there is no such
  // entry, or the error that ended the reading there.
  int need(std::size_t index);
  // Makes every part of entry `index` known; 0 or an error (ERAR_EOPEN for a
  // volume that cannot be had).
  int complete(std::size_t index);
  // Reads every volume there is.
  void readAll();

  // An entry stays where it is while more volumes are read.
  const Entry& entry(std::size_t index) const { return m_entries[index]; }
  std::size_t entryCount() const { return m_entries.size(); }
  const std::vector<Volume>& volumes() const { return m_volumes; }

 private:
  enum class Next { None, Needed, IfThere };
  // Reads the blocks of the last volume in m_volumes.
  void readVolume(HeaderReader& reader);
  // Opens the following volume; false when there is none to be had.
  bool openNextVolume();
  void addFile(const Block& block, std::size_t volume);

  std::vector<Volume> m_volumes;
  std::deque<Entry> m_entries;  // references stay valid as it grows
  Format m_format = Format::Unknown;
  MainHeader m_main;
  Comment m_comment;
  Next m_next = Next::None;
  int m_stop = 0;  // why the entries end: ERAR_END_ARCHIVE or an error
  AskVolume m_ask;
  NotifyVolume m_notify;
};

}  // namespace pagemoor::rar
