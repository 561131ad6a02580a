#include "installer/ChiefUnzip.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/Strings.h"
#include "installer/ExtractPaths.h"
#include "installer/ZipDirectory.h"
#include "installer/ZipMethods.h"
#include "platform/Platform.h"

namespace pagemoor {

namespace {

// Archives up to this size are read into memory; larger ones are mapped. A
// mapped file that shrinks while we read it (a disk taken out, another
// program writing it) ends the process with SIGBUS; a read copy cannot.
// Magazines and their installers' archives are far smaller than this.
constexpr std::size_t kReadWholeLimit = std::size_t{64} << 20;

// The archive's bytes: read, or mapped when large and the system lets us.
class ArchiveBytes {
 public:
  ArchiveBytes() = default;
  ArchiveBytes(const ArchiveBytes&) = delete;
  ArchiveBytes& operator=(const ArchiveBytes&) = delete;
  ~ArchiveBytes() {
    if (m_map) munmap(m_map, m_size);
  }

  bool open(const std::string& path) {
    // O_NONBLOCK: a FIFO named as the archive must not stop us at the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return false;
    }
    m_size = static_cast<std::size_t>(st.st_size);
    if (m_size > kReadWholeLimit) {
      void* map = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
      if (map != MAP_FAILED) {
        m_map = map;
        madvise(m_map, m_size, MADV_SEQUENTIAL);
      }
    }
    ::close(fd);
    if (m_map || m_size == 0) return true;
    auto read = ReadFileBytes(path, FileKind::Archive);
    if (!read) return false;
    m_copy = std::move(*read);
    return true;
  }

  std::string_view bytes() const {
    if (m_map) return {static_cast<const char*>(m_map), m_size};
    return m_copy;
  }

 private:
  void* m_map = nullptr;
  std::size_t m_size = 0;
  std::string m_copy;
};

// Lets the window breathe during long work (at once, then every 20 ms), but
// not at every block: the event loop is far slower than a block of output.
class EventPump {
 public:
  void poll() {
    const auto now = std::chrono::steady_clock::now();
    if (m_started && now - m_last < std::chrono::milliseconds(20)) return;
    m_started = true;
    platform().processEvents();
    m_last = std::chrono::steady_clock::now();
  }

 private:
  bool m_started = false;
  std::chrono::steady_clock::time_point m_last;
};

// Writes one entry's output to its file and keeps its CRC. (A writer thread
// that overlapped writing with decoding was tried: on two cores the hand-over
// of each block cost more than the writing it took off the decoder.) The
// decoders stop at the declared size already; the sink holds to it as well,
// and to what is left of the archive's output budget, so no decoder fault
// can write more.
class FileSink : public ZipSink {
 public:
  FileSink(int fd, EventPump& pump, std::uint64_t declared, std::uint64_t& budget)
      : m_fd(fd), m_pump(pump), m_left(declared), m_budget(budget) {}

  bool write(const std::uint8_t* data, std::size_t size) override {
    if (size > m_left || size > m_budget) return false;
    if (!WriteAll(m_fd, std::string_view(reinterpret_cast<const char*>(data), size))) {
      m_error = errno;
      return false;
    }
    m_left -= size;
    m_budget -= size;
    m_crc = ::crc32(m_crc, data, static_cast<uInt>(size));
    m_pump.poll();
    return true;
  }
  std::uint32_t crc() const { return static_cast<std::uint32_t>(m_crc); }
  // The file system ran full while writing.
  bool outOfSpace() const { return m_error == ENOSPC || m_error == EDQUOT; }

 private:
  int m_fd;
  EventPump& m_pump;
  std::uint64_t m_left;
  std::uint64_t& m_budget;
  uLong m_crc = ::crc32(0, nullptr, 0);
  int m_error = 0;
};

// The last part of an entry name, the folder's own name for a folder entry.
std::string_view LeafName(std::string_view name) {
  while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.remove_suffix(1);
  const std::size_t cut = name.find_last_of("/\\");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

std::time_t EntryTime(const ZipEntry& e) {
  if (e.unixModTime) return static_cast<std::time_t>(*e.unixModTime);
  return extract::DosDateTimeToTime(e.dosDateTime);
}

// Permission bits only: a Unix mode when the entry has one, else the DOS
// read-only attribute; 0 keeps the mode the file was created with.
unsigned EntryMode(const ZipEntry& e) {
  if (e.madeOnUnix() && (e.unixMode() & 0777) != 0) return e.unixMode() & 0777;
  if ((e.externalAttributes & 0x01) != 0) return 0444;
  return 0;
}

std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace

int TChiefUnzip::Unzip() {
  if (m_running) return kBusy;
  StopReason.clear();
  if (ZipFileName.empty() || TargetDirectory.empty()) return kNoArchiveOrTarget;
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(m_running);

  // The settings of this run: a callback may change the fields meanwhile.
  const std::string mask = FilesToExtract;
  const bool dontRecurse = DontRecurse;

  ArchiveBytes archive;
  if (!archive.open(ZipFileName)) return kCannotOpen;
  const std::string_view bytes = archive.bytes();
  const ZipDirectory dir = ReadZipDirectory(bytes);
  if (dir.status == ZipDirectoryStatus::NotZip) return kNotZip;
  if (dir.status != ZipDirectoryStatus::Ok) return kBadArchive;

  auto log = [&](const std::string& text) {
    if (OnLog) OnLog(text);
  };
  auto report = [&](const UnzipReport& r) {
    if (OnReport) OnReport(r);
  };

  // Which entries would write a file, and how much in all: a bomb is refused
  // before its first byte lands on the disk.
  const std::vector<bool> overlapping = ZipEntriesOverlappingEarlier(bytes, dir.entries);
  std::uint64_t budget = extract::OutputLimit(bytes.size());
  {
    std::uint64_t declared = 0;
    for (std::size_t i = 0; i < dir.entries.size(); ++i) {
      const ZipEntry& e = dir.entries[i];
      if (overlapping[i] || e.isFolder() || e.isSymlink() || e.isEncrypted() ||
          !IsSupportedZipMethod(e.method) || !MatchesDosMask(LeafName(e.name), mask))
        continue;
      declared = e.uncompressedSize > UINT64_MAX - declared ? UINT64_MAX : declared + e.uncompressedSize;
    }
    if (declared > budget) {
      StopReason = "its files would unpack to " + std::to_string(declared) + " bytes, more than the " +
                   std::to_string(budget) + " allowed for an archive of " + std::to_string(bytes.size()) +
                   " bytes";
      log("Refused archive as hostile: " + StopReason);
      return kHostileArchive;
    }
  }

  extract::TargetFolder target(TargetDirectory);
  if (!target.ok()) return kTargetUnusable;

  EventPump pump;
  ZipDecoder decoder;
  std::vector<std::pair<std::vector<std::string>, std::time_t>> folders;
  auto stampFolders = [&] {
    // Last, as writing their files changed their times.
    for (const auto& [components, mtime] : folders) target.setFolderTime(components, mtime);
  };
  auto noSpace = [&](const ZipEntry& e, std::optional<std::uint64_t> free) {
    StopReason = "\"" + EscapeControls(e.name) + "\" needs " + std::to_string(e.uncompressedSize) + " bytes";
    if (free) StopReason += ", " + std::to_string(*free) + " free";
    log("Not enough disk space: " + StopReason + "; extraction stopped");
    stampFolders();
    return kNotEnoughSpace;
  };
  int extracted = 0;
  for (std::size_t i = 0; i < dir.entries.size(); ++i) {
    const ZipEntry& e = dir.entries[i];
    const std::string shownName = EscapeControls(e.name);
    pump.poll();
    const bool folder = e.isFolder();
    if (folder && dontRecurse) continue;
    if (!MatchesDosMask(LeafName(e.name), mask)) continue;

    UnzipReport r;
    r.entryName = e.name;
    r.size = e.uncompressedSize;
    if (overlapping[i]) {
      r.message = "overlaps another entry";
      log("Refused entry \"" + shownName + "\": its data overlaps another entry's");
      report(r);
      continue;
    }
    auto components = extract::SafeEntryComponents(e.name);
    if (!components) {
      r.message = "outside the target folder";
      log("Refused entry \"" + shownName + "\": outside the target folder");
      report(r);
      continue;
    }
    if (dontRecurse) components = std::vector<std::string>{components->back()};
    r.path = target.hostPath(*components);

    if (e.isSymlink()) {
      r.message = "symbolic link not created";
      log("Skipped entry \"" + shownName + "\": symbolic link");
      report(r);
      continue;
    }
    if (folder) {
      if (target.makeFolders(*components)) {
        r.extracted = true;
        folders.emplace_back(*components, EntryTime(e));
      } else {
        r.message = "cannot create folder";
        log("Cannot create folder \"" + EscapeControls(r.path) + "\"");
      }
      report(r);
      continue;
    }
    if (e.isEncrypted()) {
      r.message = "encrypted";
      report(r);
      continue;
    }
    if (!IsSupportedZipMethod(e.method)) {
      r.message = "unsupported method " + std::to_string(e.method);
      report(r);
      continue;
    }
    std::string why;
    const auto data = LocateZipEntryData(bytes, e, &why);
    if (!data) {
      r.message = why;
      log("Damaged entry \"" + shownName + "\": " + why);
      report(r);
      continue;
    }
    if (OnQueryOverwrite && target.fileExists(*components) && !OnQueryOverwrite(r.path)) {
      r.message = "existing file kept";
      report(r);
      continue;
    }
    // A file that cannot fit is never begun: the reader's disk is not filled
    // to the last byte for a file that would be removed again anyway.
    if (const std::optional<std::uint64_t> free = target.freeSpace(); free && e.uncompressedSize > *free) {
      r.message = "not enough disk space";
      report(r);
      return noSpace(e, free);
    }
    const int fd = target.createFile(*components);
    if (fd < 0) {
      const std::string error = std::strerror(errno);
      r.message = "cannot create file: " + error;
      log("Cannot create \"" + EscapeControls(r.path) + "\": " + error);
      report(r);
      continue;
    }
    FileSink sink(fd, pump, e.uncompressedSize, budget);
    const ZipDecodeResult result =
        decoder.decode(e.method, e.flags, AsBytes(*data), e.uncompressedSize, sink);
    if (result.status != ZipDecodeStatus::Ok || sink.crc() != e.crc32) {
      ::close(fd);
      target.removeFile(*components);
      if (sink.outOfSpace()) {
        r.message = "not enough disk space";
        report(r);
        return noSpace(e, target.freeSpace());
      }
      r.message = result.status != ZipDecodeStatus::Ok ? DescribeZipDecodeStatus(result.status) : "CRC error";
      log("Damaged entry \"" + shownName + "\": " + r.message + ", file removed");
      report(r);
      continue;
    }
    extract::ApplyFileTimes(fd, EntryTime(e));
    extract::ApplyFileMode(fd, EntryMode(e));
    ::close(fd);
    ++extracted;
    r.extracted = true;
    report(r);
  }
  stampFolders();
  return extracted;
}

}  // namespace pagemoor
