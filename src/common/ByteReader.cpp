#include "common/ByteReader.h"

#include <algorithm>

namespace pagemoor {

ByteReader ByteReader::Failed() {
  ByteReader r;
  r.m_ok = false;
  return r;
}

bool ByteReader::take(std::uint64_t count, const unsigned char*& p) {
  if (!canRead(count)) {
    m_ok = false;
    p = nullptr;
    return false;
  }
  p = reinterpret_cast<const unsigned char*>(m_bytes.data()) + m_pos;
  m_pos += count;
  return true;
}

bool ByteReader::seek(std::uint64_t position) {
  if (!m_ok || position > m_bytes.size()) {
    m_ok = false;
    return false;
  }
  m_pos = position;
  return true;
}

bool ByteReader::skip(std::uint64_t count) {
  const unsigned char* p = nullptr;
  return take(count, p);
}

std::uint8_t ByteReader::u8() {
  const unsigned char* p = nullptr;
  return take(1, p) ? p[0] : 0;
}

std::uint16_t ByteReader::u16le() {
  const unsigned char* p = nullptr;
  return take(2, p) ? static_cast<std::uint16_t>(p[0] | (p[1] << 8)) : 0;
}

std::uint32_t ByteReader::u32le() {
  const unsigned char* p = nullptr;
  if (!take(4, p)) return 0;
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t ByteReader::u64le() {
  const unsigned char* p = nullptr;
  if (!take(8, p)) return 0;
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::uint16_t ByteReader::u16be() {
  const unsigned char* p = nullptr;
  return take(2, p) ? static_cast<std::uint16_t>((p[0] << 8) | p[1]) : 0;
}

std::uint32_t ByteReader::u32be() {
  const unsigned char* p = nullptr;
  if (!take(4, p)) return 0;
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

std::string_view ByteReader::bytes(std::uint64_t count) {
  const unsigned char* p = nullptr;
  if (!take(count, p)) return {};
  return {reinterpret_cast<const char*>(p), static_cast<std::size_t>(count)};
}

bool ByteReader::tag(std::string_view tag) {
  return bytes(tag.size()) == tag && m_ok;
}

ByteReader ByteReader::sub(std::uint64_t count) {
  const std::string_view chunk = bytes(count);
  return m_ok ? ByteReader(chunk) : Failed();
}

ByteReader ByteReader::subAtMost(std::uint64_t count) {
  if (!m_ok) return Failed();
  return sub(std::min(count, remaining()));
}

ByteReader ByteReader::at(std::uint64_t offset, std::uint64_t count) const {
  if (!m_ok || offset > m_bytes.size() || count > m_bytes.size() - offset) return Failed();
  return ByteReader(m_bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(count)));
}

ByteReader ByteReader::from(std::uint64_t offset) const {
  if (!m_ok || offset > m_bytes.size()) return Failed();
  return ByteReader(m_bytes.substr(static_cast<std::size_t>(offset)));
}

std::string_view ByteReader::rest() const {
  return m_ok ? m_bytes.substr(static_cast<std::size_t>(m_pos)) : std::string_view();
}

}  // namespace pagemoor
