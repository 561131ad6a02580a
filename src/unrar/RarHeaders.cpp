#include "unrar/RarHeaders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>

#include "common/ByteOrder.h"
#include "common/Encoding.h"

namespace pagemoor::rar {

namespace {

constexpr std::string_view kRar4Signature("Rar!\x1a\x07\x00", 7);
constexpr std::string_view kRar5Signature("Rar!\x1a\x07\x01\x00", 8);
constexpr std::string_view kRar14Signature("RE~^", 4);

// RAR 4 block types.
constexpr std::uint8_t kMainHead = 0x73;
constexpr std::uint8_t kFileHead = 0x74;
constexpr std::uint8_t kCommentHead = 0x75;
constexpr std::uint8_t kServiceHead = 0x7a;
constexpr std::uint8_t kEndHead = 0x7b;

// RAR 4 flags.
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

constexpr std::size_t kRar4FileFixed = 32;
constexpr std::size_t kRar4MainFixed = 13;
constexpr std::size_t kRar4CommentFixed = 13;

// RAR 5: header types, flags and limits.
constexpr std::uint64_t kR5Main = 1;
constexpr std::uint64_t kR5File = 2;
constexpr std::uint64_t kR5Service = 3;
constexpr std::uint64_t kR5Crypt = 4;
constexpr std::uint64_t kR5End = 5;
constexpr std::uint64_t kR5HasExtra = 0x0001;
constexpr std::uint64_t kR5HasData = 0x0002;
constexpr std::uint64_t kR5SplitBefore = 0x0008;
constexpr std::uint64_t kR5SplitAfter = 0x0010;
constexpr std::uint64_t kR5MainVolume = 0x0001;
constexpr std::uint64_t kR5MainVolumeNumber = 0x0002;
constexpr std::uint64_t kR5MainSolid = 0x0004;
constexpr std::uint64_t kR5MainLocked = 0x0010;
constexpr std::uint64_t kR5FileDirectory = 0x0001;
constexpr std::uint64_t kR5FileTime = 0x0002;
constexpr std::uint64_t kR5FileCrc = 0x0004;
constexpr std::uint64_t kR5FileUnknownSize = 0x0008;
constexpr std::uint64_t kR5EndNotLast = 0x0001;
constexpr std::uint64_t kR5ExtraCrypt = 1;
constexpr std::uint64_t kR5ExtraTime = 3;
constexpr std::uint64_t kR5ExtraRedirection = 5;
// A RAR 5 header is never larger than this.
constexpr std::uint64_t kR5MaxHeader = 2 * 1024 * 1024;

// The longest name we decode (in UTF-16 units); names are far shorter.
constexpr std::size_t kMaxNameUnits = 4096;

constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixLink = 0120000;

// a + b, or nothing on overflow.
bool AddOffsets(std::uint64_t a, std::uint64_t b, std::uint64_t& sum) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) return false;
  sum = a + b;
  return true;
}

// RAR 5's variable-length numbers: seven bits a byte, low first.
bool ReadVint(std::string_view bytes, std::size_t& pos, std::size_t end, std::uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 70 && pos < end; shift += 7) {
    std::uint8_t b = U8(bytes, pos++);
    if (shift == 63 && (b & 0x7e) != 0) return false;  // more than 64 bits
    value |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
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

// Where a stored comment's text ends: the declared unpacked size, or the
// bytes there are.
void FinishStoredComment(Comment& comment) {
  if (comment.unpSize < comment.text.size()) comment.text.resize(comment.unpSize);
  if (comment.cut) {
    comment.state = Comment::State::Stored;
    return;
  }
  std::uint32_t crc = Crc32(comment.text);
  if (comment.crcIs16) crc &= 0xffff;
  comment.state = crc == comment.crc ? Comment::State::Stored : Comment::State::Damaged;
}

// The RAR 4 comment block (type 0x75) at `at` inside header bytes `h`,
// which end at `limit`.
void ParseRar4CommentBlock(std::string_view h, std::size_t at, std::size_t limit, Comment& comment) {
  comment = Comment{};
  comment.state = Comment::State::Damaged;
  if (at > limit || limit - at < kRar4CommentFixed) return;
  if (U8(h, at + 2) != kCommentHead) return;
  std::size_t size = U16(h, at + 5);
  if (size < kRar4CommentFixed || size > limit - at) return;
  comment.unpSize = U16(h, at + 7);
  comment.unpVer = U8(h, at + 9);
  comment.method = U8(h, at + 10);
  comment.crc = U16(h, at + 11);
  comment.crcIs16 = true;
  std::string_view data = h.substr(at + kRar4CommentFixed, size - kRar4CommentFixed);
  if (comment.method == 0x30) {
    comment.text = std::string(data);
    FinishStoredComment(comment);
  } else {
    comment.packed = std::string(data);
    comment.state = Comment::State::Compressed;
  }
}

std::int64_t FileTimeToUnix(std::uint64_t fileTime) {
  // 100 ns steps since 1601-01-01.
  return static_cast<std::int64_t>(fileTime / 10000000ULL) - 11644473600LL;
}

}  // namespace

// --- Sources ----------------------------------------------------------------

std::size_t MemorySource::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (offset >= m_bytes.size()) return 0;
  std::size_t n = std::min<std::uint64_t>(count, m_bytes.size() - offset);
  std::copy_n(m_bytes.data() + offset, n, static_cast<char*>(buffer));
  return n;
}

FileSource::FileSource(const std::string& path) {
  // Non-blocking: a FIFO named as an archive must not hang the open before
  // the check below refuses it.
  m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (m_fd < 0) return;
  struct stat st {};
  if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(m_fd);
    m_fd = -1;
    return;
  }
  m_size = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
  if (m_fd >= 0) close(m_fd);
}

std::size_t FileSource::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  std::size_t done = 0;
  while (done < count && m_fd >= 0) {
    ssize_t n =
        pread(m_fd, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

// --- Helpers ----------------------------------------------------------------

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc) {
  const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
  std::size_t left = bytes.size();
  uLong value = crc;
  while (left > 0) {
    uInt n = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
    value = crc32(value, p, n);
    p += n;
    left -= n;
  }
  return static_cast<std::uint32_t>(value);
}

Format DetectFormat(std::string_view head) {
  if (head.substr(0, kRar5Signature.size()) == kRar5Signature) return Format::Rar5;
  if (head.substr(0, kRar4Signature.size()) == kRar4Signature) return Format::Rar4;
  if (head.substr(0, kRar14Signature.size()) == kRar14Signature) return Format::Rar14;
  return Format::Unknown;
}

std::string DecodeRar4Name(std::string_view field, bool unicodeFlag) {
  std::size_t zero = field.find('\0');
  std::string_view oem = field.substr(0, zero);
  if (!unicodeFlag) return Cp852ToUtf8(oem);
  if (zero == std::string_view::npos) return IsValidUtf8(field) ? std::string(field) : Cp852ToUtf8(field);
  std::string_view enc = field.substr(zero + 1);
  if (enc.empty()) return Cp852ToUtf8(oem);
  // The packed UTF-16 form: a high byte shared by many characters, then two
  // bits a character saying how it is given: a low byte, a low byte with the
  // shared high byte, a whole unit, or a run taken from the OEM name (with an
  // optional correction added to its bytes).
  std::u16string units;
  const char16_t high = static_cast<char16_t>(U8(enc, 0) << 8);
  std::size_t pos = 1;
  unsigned flags = 0;
  int flagBits = 0;
  auto oemAt = [&](std::size_t i) -> unsigned { return i < oem.size() ? U8(oem, i) : 0u; };
  while (pos < enc.size() && units.size() < kMaxNameUnits) {
    if (flagBits == 0) {
      flags = U8(enc, pos++);
      flagBits = 8;
      if (pos >= enc.size()) break;
    }
    switch (flags >> 6) {
      case 0:
        units.push_back(static_cast<char16_t>(U8(enc, pos++)));
        break;
      case 1:
        units.push_back(static_cast<char16_t>(U8(enc, pos++) | high));
        break;
      case 2:
        if (pos + 1 >= enc.size()) {
          pos = enc.size();
          break;
        }
        units.push_back(static_cast<char16_t>(U16(enc, pos)));
        pos += 2;
        break;
      default: {
        unsigned length = U8(enc, pos++);
        if (length & 0x80) {
          if (pos >= enc.size()) break;
          unsigned correction = U8(enc, pos++);
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

std::string NextVolumeName(std::string_view path, bool newNumbering) {
  std::string name(path);
  std::size_t base = name.find_last_of("/\\");
  base = base == std::string::npos ? 0 : base + 1;
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < base) dot = name.size();
  if (newNumbering) {
    // The last run of digits before the extension counts up.
    std::size_t end = dot;
    while (end > base && !(name[end - 1] >= '0' && name[end - 1] <= '9')) --end;
    if (end > base) {
      std::size_t i = end;
      while (i > base && name[i - 1] >= '0' && name[i - 1] <= '9') {
        --i;
        if (name[i] != '9') {
          ++name[i];
          return name;
        }
        name[i] = '0';
      }
      name.insert(i, 1, '1');
      return name;
    }
    // No number to count: the old scheme is all there is.
  }
  std::string ext = name.substr(dot);
  bool upper = ext.size() >= 2 && ext[1] >= 'A' && ext[1] <= 'Z';
  if (ext.size() == 4 && (ext[1] | 0x20) == 'r' && (ext[2] | 0x20) == 'a' && (ext[3] | 0x20) == 'r') {
    return name.substr(0, dot) + (upper ? ".R00" : ".r00");
  }
  if (ext.size() == 4 && ext[2] >= '0' && ext[2] <= '9' && ext[3] >= '0' && ext[3] <= '9') {
    int number = (ext[2] - '0') * 10 + (ext[3] - '0') + 1;
    if (number == 100) {
      number = 0;
      ++name[dot + 1];
    }
    name[dot + 2] = static_cast<char>('0' + number / 10);
    name[dot + 3] = static_cast<char>('0' + number % 10);
    return name;
  }
  return name.substr(0, dot) + (upper ? ".R00" : ".r00");
}

std::uint32_t UnixTimeToDos(std::int64_t time) {
  std::time_t t = static_cast<std::time_t>(time);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr || tm.tm_year < 80) return (0u << 25) | (1u << 21) | (1u << 16);
  if (tm.tm_year > 207) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  return (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) |
         (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) | (static_cast<std::uint32_t>(tm.tm_mday) << 16) |
         (static_cast<std::uint32_t>(tm.tm_hour) << 11) | (static_cast<std::uint32_t>(tm.tm_min) << 5) |
         static_cast<std::uint32_t>(tm.tm_sec / 2);
}

// --- The reader -------------------------------------------------------------

bool HeaderReader::readExact(std::uint64_t offset, std::size_t count, std::string& out) const {
  std::uint64_t size = m_source.size();
  if (offset > size || count > size - offset) return false;
  out.resize(count);
  return m_source.readAt(offset, out.data(), count) == count;
}

void HeaderReader::readServiceComment(const FileHeader& header, bool stored, Comment& comment) const {
  comment = Comment{};
  comment.unpSize = header.unpSize;
  comment.unpVer = header.unpVer;
  comment.method = header.method;
  comment.crc = header.crc;
  std::uint64_t size = m_source.size();
  bool present = header.dataOffset <= size && header.packSize <= size - header.dataOffset;
  comment.cut = header.packSize > kMaxCommentBytes;
  if (!present || (comment.cut && !stored) || header.encrypted) {
    comment.state = Comment::State::Damaged;
    return;
  }
  std::string bytes;
  if (!readExact(header.dataOffset, std::min<std::uint64_t>(header.packSize, kMaxCommentBytes), bytes)) {
    comment.state = Comment::State::Damaged;
    return;
  }
  if (stored) {
    comment.text = std::move(bytes);
    if (!header.hasCrc) {
      if (comment.unpSize < comment.text.size()) comment.text.resize(comment.unpSize);
      comment.state = Comment::State::Stored;
    } else {
      FinishStoredComment(comment);
    }
  } else {
    comment.packed = std::move(bytes);
    comment.state = Comment::State::Compressed;
  }
}

ReadStatus HeaderReader::open() {
  std::string head;
  m_source.readAt(0, head.assign(8, '\0').data(), 8);
  m_format = DetectFormat(std::string_view(head.data(), std::min<std::uint64_t>(8, m_source.size())));
  switch (m_format) {
    case Format::Rar4:
      return openRar4();
    case Format::Rar5:
      return openRar5();
    default:
      return ReadStatus::NotRar;
  }
}

ReadStatus HeaderReader::openRar4() {
  m_pos = kRar4Signature.size();
  std::string h;
  if (!readExact(m_pos, 7, h)) return ReadStatus::Truncated;
  std::size_t size = U16(h, 5);
  if (U8(h, 2) != kMainHead || size < kRar4MainFixed) return ReadStatus::Broken;
  if (!readExact(m_pos, size, h)) return ReadStatus::Truncated;
  std::uint16_t flags = U16(h, 3);
  // Archives with an old comment inside the main header check only its
  // fixed part.
  std::uint16_t crc = U16(h, 0);
  if ((Crc32(std::string_view(h).substr(2)) & 0xffff) != crc &&
      (Crc32(std::string_view(h).substr(2, kRar4MainFixed - 2)) & 0xffff) != crc) {
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
    std::size_t at = kRar4MainFixed + ((flags & kMainEncryptVer) ? 1 : 0);
    ParseRar4CommentBlock(h, at, size, m_main.comment);
  }
  m_pos += size;
  return ReadStatus::Ok;
}

ReadStatus HeaderReader::next(Block& block) {
  if (m_ended) return ReadStatus::End;
  if (m_main.encryptedHeaders) return ReadStatus::Broken;
  if (m_pos >= m_source.size()) return ReadStatus::End;
  ReadStatus status = ReadStatus::Broken;
  if (m_format == Format::Rar4) status = nextRar4(block);
  if (m_format == Format::Rar5) status = nextRar5(block);
  if (status == ReadStatus::Ok) {
    m_pos = block.next;
    if (block.kind == BlockKind::End) m_ended = true;
  }
  return status;
}

ReadStatus HeaderReader::nextRar4(Block& block) {
  block = Block{};
  block.offset = m_pos;
  std::string h;
  if (!readExact(m_pos, 7, h)) return ReadStatus::Truncated;
  std::uint8_t type = U8(h, 2);
  std::uint16_t flags = U16(h, 3);
  std::size_t size = U16(h, 5);
  if (size < 7) return ReadStatus::Broken;
  if (!readExact(m_pos, size, h)) return ReadStatus::Truncated;
  std::string_view hv(h);
  std::uint16_t crc = U16(h, 0);
  bool crcOk = (Crc32(hv.substr(2)) & 0xffff) == crc;
  std::uint64_t dataSize = 0;

  if (type == kFileHead || type == kServiceHead) {
    // Old file comments live inside the header, outside its check value:
    // that one is checked once the name's extent is known.
    if (!crcOk && !(flags & kFileComment)) return ReadStatus::BadCrc;
    if (size < kRar4FileFixed) return ReadStatus::Broken;
    FileHeader& f = block.file;
    f.headerOffset = m_pos;
    f.rawFlags = flags;
    f.packSize = U32(h, 7);
    f.unpSize = U32(h, 11);
    f.hostOs = U8(h, 15);
    f.crc = U32(h, 16);
    f.hasCrc = true;
    f.dosTime = U32(h, 20);
    f.unpVer = U8(h, 24);
    f.method = U8(h, 25);
    std::size_t nameSize = U16(h, 26);
    f.attributes = U32(h, 28);
    std::size_t at = kRar4FileFixed;
    if (flags & kFileLarge) {
      if (size < at + 8) return ReadStatus::Broken;
      f.packSize |= static_cast<std::uint64_t>(U32(h, 32)) << 32;
      f.unpSize |= static_cast<std::uint64_t>(U32(h, 36)) << 32;
      at += 8;
    }
    if (nameSize > size - at) return crcOk ? ReadStatus::Broken : ReadStatus::BadCrc;
    if (!crcOk && (Crc32(hv.substr(2, at + nameSize - 2)) & 0xffff) != crc) return ReadStatus::BadCrc;
    f.rawName = h.substr(at, nameSize);
    f.name = DecodeRar4Name(f.rawName, flags & kFileUnicode);
    f.splitBefore = flags & kFileSplitBefore;
    f.splitAfter = flags & kFileSplitAfter;
    f.encrypted = flags & kFilePassword;
    f.solid = flags & kFileSolid;
    f.directory = type == kFileHead && (flags & kFileDirectoryMask) == kFileDirectoryMask;
    f.link = f.hostOs == kHostUnix && (f.attributes & kUnixTypeMask) == kUnixLink;
    f.dataOffset = m_pos + size;
    dataSize = f.packSize;
    block.kind = type == kFileHead ? BlockKind::File : BlockKind::Service;
    if (block.kind == BlockKind::Service && f.rawName == "CMT") {
      readServiceComment(f, f.method == 0x30, block.comment);
    }
  } else if (type == kEndHead) {
    if (!crcOk) return ReadStatus::BadCrc;
    block.kind = BlockKind::End;
    block.nextVolume = flags & kEndNextVolume;
    block.endHasFlags = true;
  } else if (type == kCommentHead) {
    if (!crcOk) return ReadStatus::BadCrc;
    block.kind = BlockKind::OldComment;
    ParseRar4CommentBlock(hv, 0, size, block.comment);
  } else {
    // Blocks we do not read (old authenticity and recovery blocks, unknown
    // types) are passed over; their check values are not all alike, so only
    // their extent matters.
    block.kind = BlockKind::Other;
    if ((flags & kLongBlock) && size >= 11) dataSize = U32(h, 7);
  }
  std::uint64_t end = 0;
  if (!AddOffsets(m_pos, size, end) || !AddOffsets(end, dataSize, block.next)) return ReadStatus::Broken;
  return ReadStatus::Ok;
}

namespace {

// One RAR 5 header, its fields still packed.
struct Rar5Raw {
  std::string bytes;
  std::size_t fieldsAt = 0;  // after type, flags and the area sizes
  std::size_t extraAt = 0;   // where the extra area starts (the end when none)
  std::uint64_t type = 0;
  std::uint64_t flags = 0;
  std::uint64_t dataSize = 0;
  std::uint64_t headerEnd = 0;  // file offset after the header
  std::uint64_t next = 0;       // file offset after its data
};

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
  Rar5Raw raw;
  {
    std::uint64_t left = m_source.size() - std::min(m_pos, m_source.size());
    std::string head;
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, 4 + 10));
    if (want < 5 || !readExact(m_pos, want, head)) return ReadStatus::Truncated;
    std::size_t pos = 4;
    std::uint64_t size = 0;
    if (!ReadVint(head, pos, head.size(), size))
      return want < 14 ? ReadStatus::Truncated : ReadStatus::Broken;
    if (size == 0 || size > kR5MaxHeader) return ReadStatus::Broken;
    std::size_t total = pos + static_cast<std::size_t>(size);
    if (!readExact(m_pos, total, raw.bytes)) return ReadStatus::Truncated;
    if (Crc32(std::string_view(raw.bytes).substr(4)) != U32(raw.bytes, 0)) return ReadStatus::BadCrc;
    std::uint64_t extraSize = 0;
    if (!ReadVint(raw.bytes, pos, total, raw.type) || !ReadVint(raw.bytes, pos, total, raw.flags)) {
      return ReadStatus::Broken;
    }
    if ((raw.flags & kR5HasExtra) && !ReadVint(raw.bytes, pos, total, extraSize)) return ReadStatus::Broken;
    if ((raw.flags & kR5HasData) && !ReadVint(raw.bytes, pos, total, raw.dataSize)) return ReadStatus::Broken;
    if (extraSize > total - pos) return ReadStatus::Broken;
    raw.fieldsAt = pos;
    raw.extraAt = total - static_cast<std::size_t>(extraSize);
    raw.headerEnd = m_pos + total;
    if (!AddOffsets(raw.headerEnd, raw.dataSize, raw.next)) return ReadStatus::Broken;
  }
  block.next = raw.next;
  const std::string_view h(raw.bytes);
  std::size_t pos = raw.fieldsAt;
  const std::size_t fieldsEnd = raw.extraAt;

  if (raw.type == kR5Crypt) {
    m_main.encryptedHeaders = true;
    block.kind = BlockKind::Other;
    return ReadStatus::Ok;
  }
  if (raw.type == kR5Main && !m_sawRar5Main) {
    std::uint64_t flags = 0;
    if (!ReadVint(h, pos, fieldsEnd, flags)) return ReadStatus::Broken;
    m_main.rawFlags = static_cast<std::uint32_t>(flags);
    m_main.volume = flags & kR5MainVolume;
    m_main.solid = flags & kR5MainSolid;
    m_main.locked = flags & kR5MainLocked;
    m_main.firstVolume = m_main.volume && !(flags & kR5MainVolumeNumber);
    m_main.newNumbering = true;
    m_sawRar5Main = true;
    block.kind = BlockKind::Other;
    return ReadStatus::Ok;
  }
  if (raw.type == kR5End) {
    std::uint64_t flags = 0;
    if (!ReadVint(h, pos, fieldsEnd, flags)) return ReadStatus::Broken;
    block.kind = BlockKind::End;
    block.nextVolume = flags & kR5EndNotLast;
    block.endHasFlags = true;
    return ReadStatus::Ok;
  }
  if (raw.type != kR5File && raw.type != kR5Service) {
    block.kind = BlockKind::Other;
    return ReadStatus::Ok;
  }

  FileHeader& f = block.file;
  f.headerOffset = m_pos;
  f.dataOffset = raw.headerEnd;
  f.packSize = raw.dataSize;
  f.rawFlags = static_cast<std::uint32_t>(raw.flags);
  f.splitBefore = raw.flags & kR5SplitBefore;
  f.splitAfter = raw.flags & kR5SplitAfter;
  std::uint64_t fileFlags = 0, attributes = 0, compression = 0, host = 0, nameSize = 0;
  if (!ReadVint(h, pos, fieldsEnd, fileFlags) || !ReadVint(h, pos, fieldsEnd, f.unpSize) ||
      !ReadVint(h, pos, fieldsEnd, attributes)) {
    return ReadStatus::Broken;
  }
  if (fileFlags & kR5FileTime) {
    if (fieldsEnd - pos < 4) return ReadStatus::Broken;
    f.mtime = U32(h, pos);
    f.hasMtime = true;
    pos += 4;
  }
  if (fileFlags & kR5FileCrc) {
    if (fieldsEnd - pos < 4) return ReadStatus::Broken;
    f.crc = U32(h, pos);
    f.hasCrc = true;
    pos += 4;
  }
  if (!ReadVint(h, pos, fieldsEnd, compression) || !ReadVint(h, pos, fieldsEnd, host) ||
      !ReadVint(h, pos, fieldsEnd, nameSize) || nameSize > fieldsEnd - pos) {
    return ReadStatus::Broken;
  }
  f.rawName = std::string(h.substr(pos, static_cast<std::size_t>(nameSize)));
  // Names are UTF-8; a zero ends one that carries more.
  f.name = f.rawName.substr(0, f.rawName.find('\0'));
  if (!IsValidUtf8(f.name)) f.name = Cp852ToUtf8(f.name);
  f.attributes = static_cast<std::uint32_t>(attributes);
  f.directory = raw.type == kR5File && (fileFlags & kR5FileDirectory);
  f.unknownSize = fileFlags & kR5FileUnknownSize;
  f.solid = compression & 0x40;
  f.method = static_cast<std::uint8_t>(0x30 + ((compression >> 7) & 7));
  f.unpVer = (compression & 0x3f) == 0 ? 50 : 70;
  f.hostOs = host == 0   ? kHostWindows
             : host == 1 ? kHostUnix
                         : static_cast<std::uint8_t>(std::min<std::uint64_t>(host, 0xff));
  if (f.hostOs == kHostUnix && (f.attributes & kUnixTypeMask) == kUnixLink) f.link = true;

  // The extra area: records of size, type and data.
  std::size_t extra = raw.extraAt;
  while (extra < h.size()) {
    std::uint64_t recordSize = 0, recordType = 0;
    if (!ReadVint(h, extra, h.size(), recordSize) || recordSize > h.size() - extra) return ReadStatus::Broken;
    std::size_t recordEnd = extra + static_cast<std::size_t>(recordSize);
    std::size_t at = extra;
    extra = recordEnd;
    if (!ReadVint(h, at, recordEnd, recordType)) continue;
    if (recordType == kR5ExtraCrypt) f.encrypted = true;
    if (recordType == kR5ExtraRedirection) f.link = true;
    if (recordType == kR5ExtraTime) {
      std::uint64_t timeFlags = 0;
      if (!ReadVint(h, at, recordEnd, timeFlags) || !(timeFlags & 0x2)) continue;
      if (timeFlags & 0x1) {
        if (recordEnd - at < 4) continue;
        f.mtime = U32(h, at);
      } else {
        if (recordEnd - at < 8) continue;
        f.mtime = FileTimeToUnix(static_cast<std::uint64_t>(U32(h, at)) |
                                 (static_cast<std::uint64_t>(U32(h, at + 4)) << 32));
      }
      f.hasMtime = true;
    }
  }
  if (f.hasMtime) f.dosTime = UnixTimeToDos(f.mtime);

  block.kind = raw.type == kR5File ? BlockKind::File : BlockKind::Service;
  if (block.kind == BlockKind::Service && f.rawName == "CMT") {
    readServiceComment(f, f.method == 0x30, block.comment);
  }
  return ReadStatus::Ok;
}

}  // namespace pagemoor::rar
