#include "installer/ZipDirectory.h"

#include <zlib.h>

#include <algorithm>
#include <iterator>
#include <map>

#include "common/ByteReader.h"
#include "common/Encoding.h"

namespace pagemoor {

namespace {

constexpr std::uint32_t kLocalHeaderSig = 0x04034b50;
constexpr std::uint32_t kCentralSig = 0x02014b50;
constexpr std::uint32_t kEndSig = 0x06054b50;
constexpr std::uint32_t kZip64EndSig = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSig = 0x07064b50;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;

constexpr std::uint16_t kExtraZip64 = 0x0001;
constexpr std::uint16_t kExtraTimestamp = 0x5455;
constexpr std::uint16_t kExtraUnicodePath = 0x7075;

// True when `size` bytes from `at` lie inside the bytes.
bool Fits(std::string_view b, std::uint64_t at, std::uint64_t size) {
  return ByteReader(b).at(at, size).ok();
}

bool SignatureAt(std::string_view b, std::uint64_t at, std::uint32_t sig) {
  ByteReader r = ByteReader(b).at(at, 4);
  return r.u32le() == sig && r.ok();
}

// The end-of-central-directory record, at most 64 KB of comment away from
// the end: the one whose comment ends exactly at the end (a comment may hold
// the signature too), else the last one whose comment fits (something was
// appended to the archive).
std::optional<std::size_t> FindEndRecord(std::string_view b) {
  if (b.size() < kEndSize) return std::nullopt;
  const std::size_t last = b.size() - kEndSize;
  const std::size_t first = last > 0xFFFF ? last - 0xFFFF : 0;
  std::optional<std::size_t> fitting;
  for (std::size_t pos = last + 1; pos-- > first;) {
    if (b[pos] != 'P' || !SignatureAt(b, pos, kEndSig)) continue;
    ByteReader record = ByteReader(b).at(pos, kEndSize);
    record.skip(20);
    const std::size_t length = kEndSize + record.u16le();
    if (length == b.size() - pos) return pos;
    if (length < b.size() - pos && !fitting) fitting = pos;
  }
  return fitting;
}

struct DirectoryPlace {
  std::uint64_t entries = 0;
  std::uint64_t size = 0;
  std::uint64_t offset = 0;
  std::uint64_t recordPos = 0;  // where the (ZIP64) end record really is
  bool zip64 = false;
};

// The ZIP64 end record, when a locator stands right before the end record.
void ReadZip64End(std::string_view b, std::size_t endPos, DirectoryPlace& place) {
  if (endPos < kZip64LocatorSize) return;
  const std::size_t locator = endPos - kZip64LocatorSize;
  ByteReader l = ByteReader(b).at(locator, kZip64LocatorSize);
  if (l.u32le() != kZip64LocatorSig) return;
  l.skip(4);  // the disk with the record
  std::uint64_t record = l.u64le();
  // Without extensible data the record sits right before the locator; that
  // place also holds when bytes were put in front of the archive.
  if (!SignatureAt(b, record, kZip64EndSig) || !Fits(b, record, kZip64EndSize)) {
    if (locator < kZip64EndSize) return;
    record = locator - kZip64EndSize;
    if (!SignatureAt(b, record, kZip64EndSig)) return;
  }
  ByteReader r = ByteReader(b).at(record, kZip64EndSize);
  r.skip(32);  // signature, sizes, versions and disk numbers
  place.entries = r.u64le();
  place.size = r.u64le();
  place.offset = r.u64le();
  if (!r.ok()) return;
  place.recordPos = record;
  place.zip64 = true;
}

struct ExtraFields {
  std::optional<std::int64_t> modTime;
  std::optional<std::string> unicodeName;
};

// Walks the extra fields of a central directory entry; ZIP64 values replace
// the 32-bit fields that are all ones.
ExtraFields ReadExtraFields(std::string_view extra, ZipEntry& e, std::uint32_t size32, std::uint32_t csize32,
                            std::uint32_t offset32) {
  ExtraFields out;
  ByteReader fields(extra);
  while (fields.remaining() >= 4) {
    const std::uint16_t id = fields.u16le();
    const std::uint16_t len = fields.u16le();
    if (len > fields.remaining()) break;
    ByteReader data = fields.sub(len);
    if (id == kExtraZip64) {
      auto take = [&](std::uint64_t& field) {
        if (data.canRead(8)) field = data.u64le();
      };
      if (size32 == 0xFFFFFFFF) take(e.uncompressedSize);
      if (csize32 == 0xFFFFFFFF) take(e.compressedSize);
      if (offset32 == 0xFFFFFFFF) take(e.localHeaderOffset);
    } else if (id == kExtraTimestamp) {
      const std::uint8_t present = data.u8();
      const auto modTime = static_cast<std::int32_t>(data.u32le());
      if (data.ok() && (present & 0x01) != 0) out.modTime = modTime;
    } else if (id == kExtraUnicodePath) {
      // Version 1, the CRC of the stored name (so a renaming tool that kept
      // the field cannot mislead us), then the name in UTF-8.
      const std::uint8_t version = data.u8();
      const std::uint32_t storedCrc = data.u32le();
      if (data.ok() && version == 1) {
        const std::uint32_t crc = static_cast<std::uint32_t>(::crc32(
            0, reinterpret_cast<const Bytef*>(e.rawName.data()), static_cast<uInt>(e.rawName.size())));
        const std::string_view name = data.rest();
        if (crc == storedCrc && IsValidUtf8(name)) out.unicodeName = std::string(name);
      }
    }
  }
  return out;
}

}  // namespace

bool ZipEntry::isFolder() const {
  return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\');
}

bool ZipEntry::isSymlink() const {
  return (unixMode() & 0170000) == 0120000;
}

ZipDirectory ReadZipDirectory(std::string_view b) {
  ZipDirectory dir;
  const auto endPos = FindEndRecord(b);
  if (!endPos) return dir;
  dir.status = ZipDirectoryStatus::BadDirectory;

  const std::size_t e = *endPos;
  DirectoryPlace place;
  ByteReader record = ByteReader(b).at(e, kEndSize);
  record.skip(10);  // signature, disk numbers and the count on this disk
  place.entries = record.u16le();
  place.size = record.u32le();
  place.offset = record.u32le();
  place.recordPos = e;
  ReadZip64End(b, e, place);

  // Where the directory is said to be, or else right before the end record
  // (bytes in front of the archive shift every stored offset by as much).
  std::uint64_t bias = 0;
  if (!(Fits(b, place.offset, place.size) &&
        (place.size == 0 || SignatureAt(b, place.offset, kCentralSig)))) {
    if (place.size > place.recordPos) return dir;
    const std::uint64_t start = place.recordPos - place.size;
    if (start <= place.offset || (place.size != 0 && !SignatureAt(b, start, kCentralSig))) return dir;
    bias = start - place.offset;
  }
  const std::uint64_t start = place.offset + bias;

  // An entry that starts inside the declared directory is read whole even
  // when it runs past its end: the stored size is a count writers get wrong.
  ByteReader directory = ByteReader(b).from(start);
  while (directory.position() < place.size && SignatureAt(directory.rest(), 0, kCentralSig)) {
    ByteReader c = directory.sub(kCentralSize);
    c.skip(4);
    ZipEntry entry;
    entry.versionMadeBy = c.u16le();
    c.skip(2);  // version needed
    entry.flags = c.u16le();
    entry.method = c.u16le();
    const std::uint16_t time = c.u16le();
    entry.dosDateTime = (static_cast<std::uint32_t>(c.u16le()) << 16) | time;
    entry.crc32 = c.u32le();
    const std::uint32_t csize32 = c.u32le();
    const std::uint32_t size32 = c.u32le();
    const std::size_t nameLen = c.u16le();
    const std::size_t extraLen = c.u16le();
    const std::size_t commentLen = c.u16le();
    c.skip(4);  // disk number and internal attributes
    entry.externalAttributes = c.u32le();
    const std::uint32_t offset32 = c.u32le();
    entry.rawName = std::string(directory.bytes(nameLen));
    const std::string_view extraBytes = directory.bytes(extraLen);
    directory.skip(commentLen);
    if (!directory.ok() || !c.ok()) return dir;
    entry.compressedSize = csize32;
    entry.uncompressedSize = size32;
    entry.localHeaderOffset = offset32;
    const ExtraFields extra = ReadExtraFields(extraBytes, entry, size32, csize32, offset32);
    entry.unixModTime = extra.modTime;
    if ((entry.flags & 0x0800) != 0 && IsValidUtf8(entry.rawName))
      entry.name = entry.rawName;
    else if (extra.unicodeName)
      entry.name = *extra.unicodeName;
    else
      entry.name = Cp852ToUtf8(entry.rawName);
    entry.localHeaderOffset =
        entry.localHeaderOffset > UINT64_MAX - bias ? UINT64_MAX : entry.localHeaderOffset + bias;
    dir.entries.push_back(std::move(entry));
  }
  // Fewer entries than the end record counts: the directory is damaged. (More
  // is fine: the 16-bit count wraps in archives of 65536 entries and more.)
  if (dir.entries.size() < place.entries && (place.zip64 || place.entries != 0xFFFF)) return dir;
  dir.status = ZipDirectoryStatus::Ok;
  return dir;
}

std::optional<std::string_view> LocateZipEntryData(std::string_view b, const ZipEntry& entry,
                                                   std::string* why) {
  auto fail = [&](const char* reason) -> std::optional<std::string_view> {
    if (why) *why = reason;
    return std::nullopt;
  };
  const std::uint64_t at = entry.localHeaderOffset;
  ByteReader header = ByteReader(b).at(at, kLocalHeaderSize);
  if (!header.ok()) return fail("local header outside the archive");
  if (header.u32le() != kLocalHeaderSig) return fail("no local header");
  header.skip(22);  // versions, flags, method, time, CRC and sizes: the directory's count
  const std::uint64_t data = at + kLocalHeaderSize + header.u16le() + header.u16le();
  const ByteReader found = ByteReader(b).at(data, entry.compressedSize);
  if (!found.ok()) return fail("data outside the archive");
  return found.all();
}

std::vector<bool> ZipEntriesOverlappingEarlier(std::string_view b, const std::vector<ZipEntry>& entries) {
  std::vector<bool> overlapping(entries.size(), false);
  std::map<std::uint64_t, std::uint64_t> claimed;  // start -> end (exclusive), never overlapping
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ZipEntry& e = entries[i];
    const auto data = LocateZipEntryData(b, e);
    if (!data) continue;
    const std::uint64_t start = e.localHeaderOffset;
    const std::uint64_t end = static_cast<std::uint64_t>(data->data() - b.data()) + data->size();
    auto next = claimed.lower_bound(start);
    const bool hitsNext = next != claimed.end() && next->first < end;
    const bool hitsPrevious = next != claimed.begin() && std::prev(next)->second > start;
    if (hitsNext || hitsPrevious) {
      overlapping[i] = true;
      continue;
    }
    claimed.emplace_hint(next, start, end);
  }
  return overlapping;
}

}  // namespace pagemoor
