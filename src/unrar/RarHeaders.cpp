#include "unrar/RarHeaders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "unrar/RarHeadersShared.h"

// The parts of the header reader both formats use: where the bytes come from,
// the check value, volume names, times, comments kept in service blocks, and
// the choice of format. The formats themselves are read in Rar4Headers.cpp
// and Rar5Headers.cpp.

namespace pagemoor::rar {

using detail::kRar4Signature;
using detail::kRar5Signature;

namespace {

constexpr std::string_view kRar14Signature("RE~^", 4);

}  // namespace

void detail::FinishStoredComment(Comment& comment) {
  if (comment.unpSize < comment.text.size()) comment.text.resize(comment.unpSize);
  if (comment.cut) {
    comment.state = Comment::State::Stored;
    return;
  }
  std::uint32_t crc = Crc32(comment.text);
  if (comment.crcIs16) crc &= 0xffff;
  comment.state = crc == comment.crc ? Comment::State::Stored : Comment::State::Damaged;
}

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
      detail::FinishStoredComment(comment);
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

}  // namespace pagemoor::rar
