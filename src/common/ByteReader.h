// A checked reader of binary formats in memory: integers of 8 to 64 bits in
// either byte order, blocks, and chunks as readers of their own.
//
// Every file we parse comes from a magazine, so every size and offset in it
// is a claim to check. The reader checks each read against the bytes that are
// there and fails instead of reading past them; a failure is sticky (every
// later read gives zero or nothing and ok() stays false). A parser thus reads
// a whole header field by field and asks ok() once at the end, instead of
// proving before each field that it fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pagemoor {

class ByteReader {
 public:
  // An empty reader: any read fails it.
  ByteReader() = default;
  // The bytes must outlive the reader and everything read from it.
  explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}

  // False once a read, skip, seek or chunk ran past the end, or fail() was
  // called. Nothing makes it true again.
  bool ok() const { return m_ok; }
  // For a parser that finds a value no file may hold: the reader fails as if
  // the data had run out, so one ok() check covers both.
  void fail() { m_ok = false; }

  std::uint64_t size() const { return m_bytes.size(); }
  // From the start of this reader's bytes (a chunk counts from its own start).
  std::uint64_t position() const { return m_pos; }
  std::uint64_t remaining() const { return m_bytes.size() - m_pos; }
  // Whether count more bytes are there, without reading or failing.
  bool canRead(std::uint64_t count) const { return m_ok && count <= remaining(); }

  // Moves to a position from the start; one past the end fails. Returns ok().
  bool seek(std::uint64_t position);
  // Moves on by count bytes. Returns ok().
  bool skip(std::uint64_t count);

  std::uint8_t u8();
  std::uint16_t u16le();
  std::uint32_t u32le();
  std::uint64_t u64le();
  std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }
  std::uint16_t u16be();
  std::uint32_t u32be();

  // The next count bytes, or nothing (and failed) when fewer are left.
  std::string_view bytes(std::uint64_t count);
  // Reads as many bytes as `tag` has and tells whether they are `tag`. A
  // different tag is no failure (the caller decides what it means); too few
  // bytes are.
  bool tag(std::string_view tag);

  // The next count bytes as a reader of their own, and this one moves past
  // them. A chunk that claims more than is left fails this reader and gives
  // a failed one.
  ByteReader sub(std::uint64_t count);
  // The same for the formats whose writers get chunk sizes wrong: at most
  // count bytes, whatever is left when fewer are. Fails only a failed reader.
  ByteReader subAtMost(std::uint64_t count);
  // count bytes from offset (from the start) as a reader; this one neither
  // moves nor fails. A failed reader when they are not all there.
  ByteReader at(std::uint64_t offset, std::uint64_t count) const;
  // Everything from offset to the end, under the same rules.
  ByteReader from(std::uint64_t offset) const;

  // The bytes not read yet, without moving; nothing once failed.
  std::string_view rest() const;
  // All of this reader's bytes, read or not.
  std::string_view all() const { return m_bytes; }

 private:
  // Points p at the next count bytes and moves past them; false (and
  // failed) when fewer are left.
  bool take(std::uint64_t count, const unsigned char*& p);
  static ByteReader Failed();

  std::string_view m_bytes;
  std::uint64_t m_pos = 0;
  bool m_ok = true;
};

}  // namespace pagemoor
