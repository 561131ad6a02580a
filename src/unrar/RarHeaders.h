// Our reader of RAR archive headers: the block layout of RAR 1.5 to 4.x (one
// layout for all of them) and the headers of RAR 5. It only reads headers,
// never decodes packed data, and trusts nothing: every size comes from the
// archive, so each one is checked against what is actually there before a
// byte is read, and no buffer is sized by a declared size alone.
//
// The bytes come from a ByteSource: a file read with pread (the library) or a
// block of memory (tests and the fuzz target).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pagemoor::rar {

// --- Where the bytes come from ---------------------------------------------

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Copies up to `count` bytes from `offset`; fewer at the end or on a read
  // error.
  virtual std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count) const = 0;
};

// Bytes in memory; they must outlive the source.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
  std::uint64_t size() const override { return m_bytes.size(); }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count) const override;

 private:
  std::string_view m_bytes;
};

// A file opened for reading; ok() tells whether it opened.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool ok() const { return m_fd >= 0; }
  std::uint64_t size() const override { return m_size; }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count) const override;

 private:
  int m_fd = -1;
  std::uint64_t m_size = 0;
};

// --- What the headers say --------------------------------------------------

enum class Format {
  Unknown,  // no RAR signature
  Rar14,    // the "RE~^" archives before RAR 1.5
  Rar4,     // RAR 1.5 to 4.x
  Rar5,
};

// The format the first bytes announce (8 are enough).
Format DetectFormat(std::string_view head);

// Host systems as RAR 4 numbers them; RAR 5 hosts are mapped onto these.
inline constexpr std::uint8_t kHostDos = 0;
inline constexpr std::uint8_t kHostOs2 = 1;
inline constexpr std::uint8_t kHostWindows = 2;
inline constexpr std::uint8_t kHostUnix = 3;

// Comments are short; one larger than this is read only this far.
inline constexpr std::size_t kMaxCommentBytes = 256 * 1024;

struct Comment {
  enum class State {
    None,        // no comment
    Stored,      // text holds it
    Compressed,  // packed holds the packed bytes, to be decoded by someone else
    Damaged,     // its check value does not match, or it is cut short
  };
  State state = State::None;
  std::string text;    // Stored: the bytes as stored (code page or UTF-8)
  std::string packed;  // Compressed: the packed bytes
  std::uint64_t unpSize = 0;
  std::uint8_t unpVer = 0;
  std::uint8_t method = 0;
  std::uint32_t crc = 0;  // of the text: CRC32, or its low 16 bits when crcIs16
  bool crcIs16 = false;
  bool cut = false;  // longer than kMaxCommentBytes: text holds the beginning only
};

// A file (or service) header. RAR 5 values are mapped onto the RAR 4 ones:
// host as above, method 0x30 + method, unpVer 50 (or 70 for the newer
// decoder), the DOS time computed from the modification time.
struct FileHeader {
  std::uint64_t headerOffset = 0;
  std::uint64_t dataOffset = 0;
  std::uint64_t packSize = 0;
  std::uint64_t unpSize = 0;
  std::string name;     // UTF-8, separators as stored
  std::string rawName;  // the name bytes as stored
  std::uint32_t crc = 0;
  bool hasCrc = false;
  std::uint32_t dosTime = 0;
  std::int64_t mtime = 0;  // seconds since 1970 when hasMtime
  bool hasMtime = false;
  std::uint8_t hostOs = 0;
  std::uint8_t unpVer = 0;
  std::uint8_t method = 0;
  std::uint32_t attributes = 0;
  std::uint32_t rawFlags = 0;  // the header's own flags
  bool splitBefore = false;
  bool splitAfter = false;
  bool encrypted = false;
  bool solid = false;
  bool directory = false;
  bool link = false;  // a symbolic link, hard link or file copy
  bool unknownSize = false;
};

struct MainHeader {
  bool volume = false;
  bool solid = false;
  bool locked = false;
  bool encryptedHeaders = false;
  bool firstVolume = false;
  bool newNumbering = false;  // RAR 4: name.partN.rar volumes (RAR 5 always)
  std::uint32_t rawFlags = 0;
  Comment comment;  // the old comment kept inside the main header
};

enum class BlockKind { File, Service, OldComment, End, Other };

struct Block {
  BlockKind kind = BlockKind::Other;
  std::uint64_t offset = 0;
  std::uint64_t next = 0;    // where the following block starts
  FileHeader file;           // File and Service
  Comment comment;           // OldComment, and a Service block named "CMT"
  bool nextVolume = false;   // End: the archive goes on in another volume
  bool endHasFlags = false;  // End: nextVolume is known from the block
};

enum class ReadStatus {
  Ok,
  End,        // no more blocks (the end block was read, or the data ends cleanly)
  BadCrc,     // a header whose check value does not match
  Truncated,  // the data ends inside a header
  Broken,     // sizes or fields that cannot be
  NotRar,     // open(): no signature, or a format before RAR 1.5
};

// Reads an archive block by block.
class HeaderReader {
 public:
  explicit HeaderReader(const ByteSource& source) : m_source(source) {}

  // Reads the signature and the main header. With encrypted headers the
  // main header is Ok and encryptedHeaders is set; nothing else can be read.
  ReadStatus open();
  Format format() const { return m_format; }
  const MainHeader& main() const { return m_main; }

  // The next block; after anything but Ok the reader stays where it is.
  ReadStatus next(Block& block);

 private:
  ReadStatus openRar4();
  ReadStatus openRar5();
  ReadStatus nextRar4(Block& block);
  ReadStatus nextRar5(Block& block);
  // Reads `count` bytes at `offset` into out; false when they are not all there.
  bool readExact(std::uint64_t offset, std::size_t count, std::string& out) const;
  // The data of a "CMT" service block.
  void readServiceComment(const FileHeader& header, bool rar5CompressionStored, Comment& comment) const;

  const ByteSource& m_source;
  Format m_format = Format::Unknown;
  MainHeader m_main;
  std::uint64_t m_pos = 0;
  bool m_ended = false;
  bool m_sawRar5Main = false;
};

// --- Helpers, public for the tests ---------------------------------------

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);

// The name of a RAR 4 file header: with the Unicode flag the field is either
// UTF-8 (no zero byte) or an OEM name, a zero and the packed UTF-16 form;
// without it the name is code page 852.
std::string DecodeRar4Name(std::string_view field, bool unicodeFlag);

// The volume that follows `path` in a set: name.part1.rar -> name.part2.rar
// (newNumbering, keeping the digits' width), name.rar -> name.r00 -> name.r01
// ... name.r99 -> name.s00.
std::string NextVolumeName(std::string_view path, bool newNumbering);

// The DOS date and time (local time) of a time since 1970.
std::uint32_t UnixTimeToDos(std::int64_t time);

}  // namespace pagemoor::rar
