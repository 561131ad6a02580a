// The headers of RAR 5: a CRC32, the header's size and then its type, flags
// and areas as variable-length numbers; an extra area of records at the end.
#include <algorithm>
#include <string>

#include "common/ByteReader.h"
#include "common/Encoding.h"
#include "unrar/RarHeaders.h"
#include "unrar/RarHeadersShared.h"

namespace pagemoor::rar {

using detail::AddOffsets;
using detail::kRar5Signature;
using detail::kUnixLink;
using detail::kUnixTypeMask;

namespace {

// Header types, flags and limits.
constexpr std::uint64_t kMain = 1;
constexpr std::uint64_t kFile = 2;
constexpr std::uint64_t kService = 3;
constexpr std::uint64_t kCrypt = 4;
constexpr std::uint64_t kEnd = 5;
constexpr std::uint64_t kHasExtra = 0x0001;
constexpr std::uint64_t kHasData = 0x0002;
constexpr std::uint64_t kSplitBefore = 0x0008;
constexpr std::uint64_t kSplitAfter = 0x0010;
constexpr std::uint64_t kMainVolume = 0x0001;
constexpr std::uint64_t kMainVolumeNumber = 0x0002;
constexpr std::uint64_t kMainSolid = 0x0004;
constexpr std::uint64_t kMainLocked = 0x0010;
constexpr std::uint64_t kFileDirectory = 0x0001;
constexpr std::uint64_t kFileTime = 0x0002;
constexpr std::uint64_t kFileCrc = 0x0004;
constexpr std::uint64_t kFileUnknownSize = 0x0008;
constexpr std::uint64_t kEndNotLast = 0x0001;
constexpr std::uint64_t kExtraCrypt = 1;
constexpr std::uint64_t kExtraTime = 3;
constexpr std::uint64_t kExtraRedirection = 5;
// A header is never larger than this.
constexpr std::uint64_t kMaxHeader = 2 * 1024 * 1024;
// The check value and the longest size number: enough to know a header's size.
constexpr std::size_t kSizeProbe = 4 + 10;

// The variable-length numbers: seven bits a byte, low first. A number that
// runs out of bytes or past 64 bits fails the reader.
std::uint64_t ReadVint(ByteReader& r) {
  std::uint64_t value = 0;
  for (int shift = 0; shift < 70; shift += 7) {
    const std::uint8_t b = r.u8();
    if (!r.ok()) return 0;
    if (shift == 63 && (b & 0x7e) != 0) break;  // more than 64 bits
    value |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    if ((b & 0x80) == 0) return value;
  }
  r.fail();
  return 0;
}

std::int64_t FileTimeToUnix(std::uint64_t fileTime) {
  // 100 ns steps since 1601-01-01.
  return static_cast<std::int64_t>(fileTime / 10000000ULL) - 11644473600LL;
}

// The modification time in a file's extra area, when a record gives one.
void ReadExtraTime(ByteReader record, FileHeader& f) {
  const std::uint64_t timeFlags = ReadVint(record);
  if (!record.ok() || !(timeFlags & 0x2)) return;
  const std::int64_t mtime =
      (timeFlags & 0x1) ? static_cast<std::int64_t>(record.u32le()) : FileTimeToUnix(record.u64le());
  if (!record.ok()) return;
  f.mtime = mtime;
  f.hasMtime = true;
}

}  // namespace

ReadStatus HeaderReader::openRar5() {
  m_pos = kRar5Signature.size();
  Block block;
  ReadStatus status = nextRar5(block);
  if (status != ReadStatus::Ok) return status;
  // Encrypted headers come first; otherwise the main header must.
  if (!m_main.encryptedHeaders && !m_sawRar5Main) return ReadStatus::Broken;
  return ReadStatus::Ok;
}

ReadStatus HeaderReader::nextRar5(Block& block) {
  block = Block{};
  block.offset = m_pos;
  std::string h;
  {
    const std::uint64_t left = m_source.size() - std::min(m_pos, m_source.size());
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kSizeProbe));
    std::string head;
    if (want < 5 || !readExact(m_pos, want, head)) return ReadStatus::Truncated;
    ByteReader probe(head);
    probe.skip(4);
    const std::uint64_t size = ReadVint(probe);
    if (!probe.ok()) return want < kSizeProbe ? ReadStatus::Truncated : ReadStatus::Broken;
    if (size == 0 || size > kMaxHeader) return ReadStatus::Broken;
    if (!readExact(m_pos, static_cast<std::size_t>(probe.position() + size), h)) return ReadStatus::Truncated;
  }
  ByteReader r(h);
  if (Crc32(std::string_view(h).substr(4)) != r.u32le()) return ReadStatus::BadCrc;
  ReadVint(r);  // the size, known already
  const std::uint64_t type = ReadVint(r);
  const std::uint64_t flags = ReadVint(r);
  const std::uint64_t extraSize = (flags & kHasExtra) ? ReadVint(r) : 0;
  const std::uint64_t dataSize = (flags & kHasData) ? ReadVint(r) : 0;
  if (!r.ok() || extraSize > r.remaining()) return ReadStatus::Broken;
  ByteReader fields = r.sub(r.remaining() - extraSize);
  ByteReader extra = r;
  const std::uint64_t headerEnd = m_pos + h.size();
  if (!AddOffsets(headerEnd, dataSize, block.next)) return ReadStatus::Broken;

  if (type == kCrypt) {
    m_main.encryptedHeaders = true;
    block.kind = BlockKind::Other;
    return ReadStatus::Ok;
  }
  if (type == kMain && !m_sawRar5Main) {
    const std::uint64_t mainFlags = ReadVint(fields);
    if (!fields.ok()) return ReadStatus::Broken;
    m_main.rawFlags = static_cast<std::uint32_t>(mainFlags);
    m_main.volume = mainFlags & kMainVolume;
    m_main.solid = mainFlags & kMainSolid;
    m_main.locked = mainFlags & kMainLocked;
    m_main.firstVolume = m_main.volume && !(mainFlags & kMainVolumeNumber);
    m_main.newNumbering = true;
    m_sawRar5Main = true;
    block.kind = BlockKind::Other;
    return ReadStatus::Ok;
  }
  if (type == kEnd) {
    const std::uint64_t endFlags = ReadVint(fields);
    if (!fields.ok()) return ReadStatus::Broken;
    block.kind = BlockKind::End;
    block.nextVolume = endFlags & kEndNotLast;
    block.endHasFlags = true;
    return ReadStatus::Ok;
  }
  if (type != kFile && type != kService) {
    block.kind = BlockKind::Other;
    return ReadStatus::Ok;
  }

  FileHeader& f = block.file;
  f.headerOffset = m_pos;
  f.dataOffset = headerEnd;
  f.packSize = dataSize;
  f.rawFlags = static_cast<std::uint32_t>(flags);
  f.splitBefore = flags & kSplitBefore;
  f.splitAfter = flags & kSplitAfter;
  const std::uint64_t fileFlags = ReadVint(fields);
  f.unpSize = ReadVint(fields);
  const std::uint64_t attributes = ReadVint(fields);
  if (fileFlags & kFileTime) {
    f.mtime = fields.u32le();
    f.hasMtime = true;
  }
  if (fileFlags & kFileCrc) {
    f.crc = fields.u32le();
    f.hasCrc = true;
  }
  const std::uint64_t compression = ReadVint(fields);
  const std::uint64_t host = ReadVint(fields);
  const std::uint64_t nameSize = ReadVint(fields);
  f.rawName = std::string(fields.bytes(nameSize));
  if (!fields.ok()) return ReadStatus::Broken;
  // Names are UTF-8; a zero ends one that carries more.
  f.name = f.rawName.substr(0, f.rawName.find('\0'));
  if (!IsValidUtf8(f.name)) f.name = Cp852ToUtf8(f.name);
  f.attributes = static_cast<std::uint32_t>(attributes);
  f.directory = type == kFile && (fileFlags & kFileDirectory);
  f.unknownSize = fileFlags & kFileUnknownSize;
  f.solid = compression & 0x40;
  f.method = static_cast<std::uint8_t>(0x30 + ((compression >> 7) & 7));
  f.unpVer = (compression & 0x3f) == 0 ? 50 : 70;
  f.hostOs = host == 0   ? kHostWindows
             : host == 1 ? kHostUnix
                         : static_cast<std::uint8_t>(std::min<std::uint64_t>(host, 0xff));
  if (f.hostOs == kHostUnix && (f.attributes & kUnixTypeMask) == kUnixLink) f.link = true;

  // The extra area: records of size, type and data. A record that claims
  // more than the area holds breaks the header; one we cannot read inside
  // its own bounds is passed over.
  while (extra.remaining() > 0) {
    const std::uint64_t recordSize = ReadVint(extra);
    if (!extra.ok() || recordSize > extra.remaining()) return ReadStatus::Broken;
    ByteReader record = extra.sub(recordSize);
    const std::uint64_t recordType = ReadVint(record);
    if (!record.ok()) continue;
    if (recordType == kExtraCrypt) f.encrypted = true;
    if (recordType == kExtraRedirection) f.link = true;
    if (recordType == kExtraTime) ReadExtraTime(record, f);
  }
  if (f.hasMtime) f.dosTime = UnixTimeToDos(f.mtime);

  block.kind = type == kFile ? BlockKind::File : BlockKind::Service;
  if (block.kind == BlockKind::Service && f.rawName == "CMT") {
    readServiceComment(f, f.method == 0x30, block.comment);
  }
  return ReadStatus::Ok;
}

}  // namespace pagemoor::rar
