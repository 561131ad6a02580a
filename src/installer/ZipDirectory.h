// The directory of a ZIP archive, read from the archive's bytes in memory:
// the end-of-central-directory record (with the ZIP64 end record and its
// locator when there are any), the central directory entries, and for one
// entry its local header, which tells where the entry's data starts.
//
// Sizes, CRC and attributes come from the central directory: entries written
// with a data descriptor (flag bit 3) have zeros there in the local header.
// Nothing here allocates from a size the archive declares, and every offset
// is checked against the bytes that are really there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

struct ZipEntry {
  std::string rawName;  // the bytes as stored
  std::string name;     // decoded to UTF-8
  std::uint16_t versionMadeBy = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t dosDateTime = 0;  // date in the high half, time in the low half
  std::uint32_t crc32 = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint64_t localHeaderOffset = 0;  // from the start of the bytes given
  std::uint32_t externalAttributes = 0;
  std::optional<std::int64_t> unixModTime;  // from an extended timestamp field

  // A name ending in a separator.
  bool isFolder() const;
  bool isEncrypted() const { return (flags & 0x0001) != 0; }
  // Made on Unix, where the high half of the external attributes is the mode.
  bool madeOnUnix() const { return (versionMadeBy >> 8) == 3; }
  bool isSymlink() const;
  // The Unix mode (type and permission bits); 0 when not made on Unix.
  unsigned unixMode() const { return madeOnUnix() ? externalAttributes >> 16 : 0; }
};

enum class ZipDirectoryStatus {
  Ok,
  NotZip,        // no end-of-central-directory record
  BadDirectory,  // the record points at no readable central directory
};

struct ZipDirectory {
  ZipDirectoryStatus status = ZipDirectoryStatus::NotZip;
  std::vector<ZipEntry> entries;
};

// Reads the central directory of the archive in `archive`. Bytes in front of
// the archive proper (a self-extractor's program) are allowed: stored offsets
// are then moved by their length.
ZipDirectory ReadZipDirectory(std::string_view archive);

// The entry's compressed data, found through its local header; nothing (and a
// reason in `why`) when the header or the data lie outside the archive.
std::optional<std::string_view> LocateZipEntryData(std::string_view archive, const ZipEntry& entry,
                                                   std::string* why = nullptr);

// For each entry: true when its bytes in the archive (local header and data)
// overlap those of an entry before it in the directory. Written archives never
// share bytes between entries; a directory whose records point into one
// another's data (one small deflated stream named two thousand times) is how a
// kilobyte archive unpacks to gigabytes. The first claimant keeps its bytes,
// so a file that an appending tool listed twice still arrives once. Entries
// whose local header cannot be found are left to the extraction to report.
std::vector<bool> ZipEntriesOverlappingEarlier(std::string_view archive,
                                               const std::vector<ZipEntry>& entries);

}  // namespace pagemoor
