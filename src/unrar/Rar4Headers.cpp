// The headers of RAR 1.5 to 4.x: blocks of a 7-byte base (check value, type,
// flags, size) and fields by type; file data follows its header.
#include <string>

#include "common/ByteReader.h"
#include "common/Encoding.h"
#include "unrar/RarHeaders.h"
#include "unrar/RarHeadersShared.h"

namespace pagemoor::rar {

using detail::AddOffsets;
using detail::kRar4Signature;
using detail::kUnixLink;
using detail::kUnixTypeMask;

namespace {

// Block types.
constexpr std::uint8_t kMainHead = 0x73;
constexpr std::uint8_t kFileHead = 0x74;
constexpr std::uint8_t kCommentHead = 0x75;
constexpr std::uint8_t kServiceHead = 0x7a;
constexpr std::uint8_t kEndHead = 0x7b;

// Flags.
constexpr std::uint16_t kLongBlock = 0x8000;
constexpr std::uint16_t kMainVolume = 0x0001;
constexpr std::uint16_t kMainComment = 0x0002;
constexpr std::uint16_t kMainLock = 0x0004;
constexpr std::uint16_t kMainSolid = 0x0008;
constexpr std::uint16_t kMainNewNumbering = 0x0010;
constexpr std::uint16_t kMainPassword = 0x0080;
constexpr std::uint16_t kMainFirstVolume = 0x0100;
constexpr std::uint16_t kMainEncryptVer = 0x0200;
constexpr std::uint16_t kFileSplitBefore = 0x0001;
constexpr std::uint16_t kFileSplitAfter = 0x0002;
constexpr std::uint16_t kFilePassword = 0x0004;
constexpr std::uint16_t kFileComment = 0x0008;
constexpr std::uint16_t kFileSolid = 0x0010;
constexpr std::uint16_t kFileDirectoryMask = 0x00e0;
constexpr std::uint16_t kFileLarge = 0x0100;
constexpr std::uint16_t kFileUnicode = 0x0200;
constexpr std::uint16_t kEndNextVolume = 0x0001;

constexpr std::size_t kBaseSize = 7;
constexpr std::size_t kMainFixed = 13;
constexpr std::size_t kCommentFixed = 13;

// The longest name we decode (in UTF-16 units); names are far shorter.
constexpr std::size_t kMaxNameUnits = 4096;

// The part every block starts with.
struct BaseHeader {
  std::uint16_t crc = 0;
  std::uint8_t type = 0;
  std::uint16_t flags = 0;
  std::size_t size = 0;  // of the whole header, base included
};

BaseHeader ReadBase(ByteReader& r) {
  BaseHeader base;
  base.crc = r.u16le();
  base.type = r.u8();
  base.flags = r.u16le();
  base.size = r.u16le();
  return base;
}

void AppendUtf16(std::string& out, const std::u16string& units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp == 0) break;
    if (cp >= 0xd800 && cp <= 0xdbff && i + 1 < units.size() && units[i + 1] >= 0xdc00 &&
        units[i + 1] <= 0xdfff) {
      cp = 0x10000 + ((cp - 0xd800) << 10) + (units[i + 1] - 0xdc00);
      ++i;
    } else if (cp >= 0xd800 && cp <= 0xdfff) {
      cp = 0xfffd;
    }
    AppendUtf8(out, cp);
  }
}

// The comment block (type 0x75) at the start of `block`, which ends where
// the header holding it ends.
void ParseCommentBlock(ByteReader block, Comment& comment) {
  comment = Comment{};
  comment.state = Comment::State::Damaged;
  ByteReader r = block;
  const BaseHeader base = ReadBase(r);
  const std::uint16_t unpSize = r.u16le();
  const std::uint8_t unpVer = r.u8();
  const std::uint8_t method = r.u8();
  const std::uint16_t crc = r.u16le();
  if (!r.ok() || base.type != kCommentHead || base.size < kCommentFixed) return;
  const ByteReader data = block.at(kCommentFixed, base.size - kCommentFixed);
  if (!data.ok()) return;
  comment.unpSize = unpSize;
  comment.unpVer = unpVer;
  comment.method = method;
  comment.crc = crc;
  comment.crcIs16 = true;
  if (comment.method == 0x30) {
    comment.text = std::string(data.all());
    detail::FinishStoredComment(comment);
  } else {
    comment.packed = std::string(data.all());
    comment.state = Comment::State::Compressed;
  }
}

}  // namespace

std::string DecodeRar4Name(std::string_view field, bool unicodeFlag) {
  std::size_t zero = field.find('\0');
  std::string_view oem = field.substr(0, zero);
  if (!unicodeFlag) return Cp852ToUtf8(oem);
  if (zero == std::string_view::npos) return IsValidUtf8(field) ? std::string(field) : Cp852ToUtf8(field);
  ByteReader enc(field.substr(zero + 1));
  if (enc.remaining() == 0) return Cp852ToUtf8(oem);
  // The packed UTF-16 form: a high byte shared by many characters, then two
  // bits a character saying how it is given: a low byte, a low byte with the
  // shared high byte, a whole unit, or a run taken from the OEM name (with an
  // optional correction added to its bytes).
  std::u16string units;
  const char16_t high = static_cast<char16_t>(enc.u8() << 8);
  unsigned flags = 0;
  int flagBits = 0;
  auto oemAt = [&](std::size_t i) -> unsigned {
    return i < oem.size() ? static_cast<unsigned char>(oem[i]) : 0u;
  };
  while (enc.remaining() > 0 && units.size() < kMaxNameUnits) {
    if (flagBits == 0) {
      flags = enc.u8();
      flagBits = 8;
      if (enc.remaining() == 0) break;
    }
    switch (flags >> 6) {
      case 0:
        units.push_back(static_cast<char16_t>(enc.u8()));
        break;
      case 1:
        units.push_back(static_cast<char16_t>(enc.u8() | high));
        break;
      case 2:
        // A unit cut in half ends the name.
        if (enc.remaining() < 2) {
          enc.skip(enc.remaining());
          break;
        }
        units.push_back(static_cast<char16_t>(enc.u16le()));
        break;
      default: {
        unsigned length = enc.u8();
        if (length & 0x80) {
          if (enc.remaining() == 0) break;
          unsigned correction = enc.u8();
          for (length = (length & 0x7f) + 2; length > 0 && units.size() < kMaxNameUnits; --length) {
            units.push_back(static_cast<char16_t>(((oemAt(units.size()) + correction) & 0xff) | high));
          }
        } else {
          for (length += 2; length > 0 && units.size() < kMaxNameUnits; --length) {
            units.push_back(static_cast<char16_t>(oemAt(units.size())));
          }
        }
        break;
      }
    }
    flags = (flags << 2) & 0xff;
    flagBits -= 2;
  }
  std::string name;
  AppendUtf16(name, units);
  return name.empty() ? Cp852ToUtf8(oem) : name;
}

ReadStatus HeaderReader::openRar4() {
  m_pos = kRar4Signature.size();
  std::string h;
  if (!readExact(m_pos, kBaseSize, h)) return ReadStatus::Truncated;
  ByteReader first(h);
  BaseHeader base = ReadBase(first);
  if (base.type != kMainHead || base.size < kMainFixed) return ReadStatus::Broken;
  if (!readExact(m_pos, base.size, h)) return ReadStatus::Truncated;
  const std::string_view hv(h);
  const std::uint16_t flags = base.flags;
  // Archives with an old comment inside the main header check only its
  // fixed part.
  if ((Crc32(hv.substr(2)) & 0xffff) != base.crc &&
      (Crc32(hv.substr(2, kMainFixed - 2)) & 0xffff) != base.crc) {
    return ReadStatus::BadCrc;
  }
  m_main.rawFlags = flags;
  m_main.volume = flags & kMainVolume;
  m_main.solid = flags & kMainSolid;
  m_main.locked = flags & kMainLock;
  m_main.encryptedHeaders = flags & kMainPassword;
  m_main.firstVolume = flags & kMainFirstVolume;
  m_main.newNumbering = flags & kMainNewNumbering;
  if ((flags & kMainComment) && !m_main.encryptedHeaders) {
    const std::size_t at = kMainFixed + ((flags & kMainEncryptVer) ? 1 : 0);
    ParseCommentBlock(ByteReader(hv).from(at), m_main.comment);
  }
  m_pos += base.size;
  return ReadStatus::Ok;
}

ReadStatus HeaderReader::nextRar4(Block& block) {
  block = Block{};
  block.offset = m_pos;
  std::string h;
  if (!readExact(m_pos, kBaseSize, h)) return ReadStatus::Truncated;
  ByteReader first(h);
  const BaseHeader base = ReadBase(first);
  const std::uint16_t flags = base.flags;
  const std::size_t size = base.size;
  if (size < kBaseSize) return ReadStatus::Broken;
  if (!readExact(m_pos, size, h)) return ReadStatus::Truncated;
  const std::string_view hv(h);
  ByteReader r(hv);
  r.skip(kBaseSize);
  const bool crcOk = (Crc32(hv.substr(2)) & 0xffff) == base.crc;
  std::uint64_t dataSize = 0;

  if (base.type == kFileHead || base.type == kServiceHead) {
    // Old file comments live inside the header, outside its check value:
    // that one is checked once the name's extent is known.
    if (!crcOk && !(flags & kFileComment)) return ReadStatus::BadCrc;
    FileHeader& f = block.file;
    f.headerOffset = m_pos;
    f.rawFlags = flags;
    f.packSize = r.u32le();
    f.unpSize = r.u32le();
    f.hostOs = r.u8();
    f.crc = r.u32le();
    f.hasCrc = true;
    f.dosTime = r.u32le();
    f.unpVer = r.u8();
    f.method = r.u8();
    const std::size_t nameSize = r.u16le();
    f.attributes = r.u32le();
    if (flags & kFileLarge) {
      f.packSize |= static_cast<std::uint64_t>(r.u32le()) << 32;
      f.unpSize |= static_cast<std::uint64_t>(r.u32le()) << 32;
    }
    if (!r.ok()) return ReadStatus::Broken;
    if (!r.canRead(nameSize)) return crcOk ? ReadStatus::Broken : ReadStatus::BadCrc;
    const std::size_t nameAt = static_cast<std::size_t>(r.position());
    if (!crcOk && (Crc32(hv.substr(2, nameAt + nameSize - 2)) & 0xffff) != base.crc)
      return ReadStatus::BadCrc;
    f.rawName = std::string(r.bytes(nameSize));
    f.name = DecodeRar4Name(f.rawName, flags & kFileUnicode);
    f.splitBefore = flags & kFileSplitBefore;
    f.splitAfter = flags & kFileSplitAfter;
    f.encrypted = flags & kFilePassword;
    f.solid = flags & kFileSolid;
    f.directory = base.type == kFileHead && (flags & kFileDirectoryMask) == kFileDirectoryMask;
    f.link = f.hostOs == kHostUnix && (f.attributes & kUnixTypeMask) == kUnixLink;
    f.dataOffset = m_pos + size;
    dataSize = f.packSize;
    block.kind = base.type == kFileHead ? BlockKind::File : BlockKind::Service;
    if (block.kind == BlockKind::Service && f.rawName == "CMT") {
      readServiceComment(f, f.method == 0x30, block.comment);
    }
  } else if (base.type == kEndHead) {
    if (!crcOk) return ReadStatus::BadCrc;
    block.kind = BlockKind::End;
    block.nextVolume = flags & kEndNextVolume;
    block.endHasFlags = true;
  } else if (base.type == kCommentHead) {
    if (!crcOk) return ReadStatus::BadCrc;
    block.kind = BlockKind::OldComment;
    ParseCommentBlock(ByteReader(hv), block.comment);
  } else {
    // Blocks we do not read (old authenticity and recovery blocks, unknown
    // types) are passed over; their check values are not all alike, so only
    // their extent matters.
    block.kind = BlockKind::Other;
    if ((flags & kLongBlock) && r.canRead(4)) dataSize = r.u32le();
  }
  std::uint64_t end = 0;
  if (!AddOffsets(m_pos, size, end) || !AddOffsets(end, dataSize, block.next)) return ReadStatus::Broken;
  return ReadStatus::Ok;
}

}  // namespace pagemoor::rar
