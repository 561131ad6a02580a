#include "installer/ZipDirectory.h"

#include <zlib.h>

#include <algorithm>
#include <iterator>
#include <map>

#include "common/ByteOrder.h"
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

std::uint64_t U64(std::string_view b, std::size_t at) {
  return static_cast<std::uint64_t>(U32(b, at)) | (static_cast<std::uint64_t>(U32(b, at + 4)) << 32);
}

// True when `size` bytes from `at` lie inside the bytes.
bool Fits(std::string_view b, std::uint64_t at, std::uint64_t size) {
  return at <= b.size() && size <= b.size() - at;
}

bool SignatureAt(std::string_view b, std::uint64_t at, std::uint32_t sig) {
  return Fits(b, at, 4) && U32(b, static_cast<std::size_t>(at)) == sig;
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
    if (b[pos] != 'P' || U32(b, pos) != kEndSig) continue;
    const std::size_t length = kEndSize + U16(b, pos + 20);
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
  if (U32(b, locator) != kZip64LocatorSig) return;
  std::uint64_t record = U64(b, locator + 8);
  // Without extensible data the record sits right before the locator; that
  // place also holds when bytes were put in front of the archive.
  if (!SignatureAt(b, record, kZip64EndSig) || !Fits(b, record, kZip64EndSize)) {
    if (locator < kZip64EndSize) return;
    record = locator - kZip64EndSize;
    if (U32(b, static_cast<std::size_t>(record)) != kZip64EndSig) return;
  }
  const std::size_t r = static_cast<std::size_t>(record);
  place.entries = U64(b, r + 32);
  place.size = U64(b, r + 40);
  place.offset = U64(b, r + 48);
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
  std::size_t pos = 0;
  while (extra.size() - pos >= 4) {
    const std::uint16_t id = U16(extra, pos);
    const std::uint16_t len = U16(extra, pos + 2);
    pos += 4;
    if (len > extra.size() - pos) break;
    const std::string_view data = extra.substr(pos, len);
    pos += len;
    if (id == kExtraZip64) {
      std::size_t at = 0;
      auto take = [&](std::uint64_t& field) {
        if (data.size() - at < 8) return;
        field = U64(data, at);
        at += 8;
      };
      if (size32 == 0xFFFFFFFF) take(e.uncompressedSize);
      if (csize32 == 0xFFFFFFFF) take(e.compressedSize);
      if (offset32 == 0xFFFFFFFF) take(e.localHeaderOffset);
    } else if (id == kExtraTimestamp) {
      if (data.size() >= 5 && (U8(data, 0) & 0x01) != 0)
        out.modTime = static_cast<std::int32_t>(U32(data, 1));
    } else if (id == kExtraUnicodePath) {
      // Version 1, the CRC of the stored name (so a renaming tool that kept
      // the field cannot mislead us), then the name in UTF-8.
      if (data.size() >= 5 && U8(data, 0) == 1) {
        const std::uint32_t crc = static_cast<std::uint32_t>(::crc32(
            0, reinterpret_cast<const Bytef*>(e.rawName.data()), static_cast<uInt>(e.rawName.size())));
        const std::string_view name = data.substr(5);
        if (crc == U32(data, 1) && IsValidUtf8(name)) out.unicodeName = std::string(name);
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
  place.entries = U16(b, e + 10);
  place.size = U32(b, e + 12);
  place.offset = U32(b, e + 16);
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
  const std::uint64_t end = start + place.size;

  std::size_t pos = static_cast<std::size_t>(start);
  while (pos < end && SignatureAt(b, pos, kCentralSig)) {
    if (!Fits(b, pos, kCentralSize)) return dir;
    const std::size_t nameLen = U16(b, pos + 28);
    const std::size_t extraLen = U16(b, pos + 30);
    const std::size_t commentLen = U16(b, pos + 32);
    if (!Fits(b, pos + kCentralSize, nameLen + extraLen + commentLen)) return dir;

    ZipEntry entry;
    entry.versionMadeBy = U16(b, pos + 4);
    entry.flags = U16(b, pos + 8);
    entry.method = U16(b, pos + 10);
    entry.dosDateTime = (static_cast<std::uint32_t>(U16(b, pos + 14)) << 16) | U16(b, pos + 12);
    entry.crc32 = U32(b, pos + 16);
    const std::uint32_t csize32 = U32(b, pos + 20);
    const std::uint32_t size32 = U32(b, pos + 24);
    const std::uint32_t offset32 = U32(b, pos + 42);
    entry.compressedSize = csize32;
    entry.uncompressedSize = size32;
    entry.localHeaderOffset = offset32;
    entry.externalAttributes = U32(b, pos + 38);
    entry.rawName = std::string(b.substr(pos + kCentralSize, nameLen));
    const ExtraFields extra =
        ReadExtraFields(b.substr(pos + kCentralSize + nameLen, extraLen), entry, size32, csize32, offset32);
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
    pos += kCentralSize + nameLen + extraLen + commentLen;
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
  if (!Fits(b, at, kLocalHeaderSize)) return fail("local header outside the archive");
  const std::size_t h = static_cast<std::size_t>(at);
  if (U32(b, h) != kLocalHeaderSig) return fail("no local header");
  const std::uint64_t data = at + kLocalHeaderSize + U16(b, h + 26) + U16(b, h + 28);
  if (!Fits(b, data, entry.compressedSize)) return fail("data outside the archive");
  return b.substr(static_cast<std::size_t>(data), static_cast<std::size_t>(entry.compressedSize));
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
