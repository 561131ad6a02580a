// Small RAR archives made in the tests: stored (unpacked) data, any header
// field we want, so each test shows exactly the case it is about. Both the
// RAR 4 block layout and RAR 5 headers.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/LittleEndian.h"
#include "support/ZlibBytes.h"

namespace pagemoor::test {

inline std::uint32_t TestCrc32(std::string_view bytes) {
  return Crc32(bytes);
}

// --- RAR 4 ----------------------------------------------------------------

inline constexpr std::string_view kRar4Marker("Rar!\x1a\x07\x00", 7);

struct Rar4File {
  std::string name;  // the name field as stored
  std::string data;  // stored as it is
  std::uint16_t flags = 0x8000;
  std::uint8_t type = 0x74;
  std::uint8_t host = 2;
  std::uint32_t attributes = 0x20;
  std::uint32_t dosTime = 0x54938bf8;  // 2022-04-19 17:31:48
  std::uint8_t unpVer = 29;
  std::uint8_t method = 0x30;
  std::optional<std::uint32_t> crc;         // default: the data's
  std::optional<std::uint32_t> unpSize;     // default: the data's size
  std::uint32_t highPack = 0, highUnp = 0;  // written with flag 0x100
};

// A block: check value and size filled in, `body` being what follows the
// size field.
inline std::string Rar4Block(std::uint8_t type, std::uint16_t flags, std::string_view body) {
  std::string block;
  PutLe(block, 0, 2);
  block.push_back(static_cast<char>(type));
  PutLe(block, flags, 2);
  PutLe(block, 7 + body.size(), 2);
  block += body;
  std::uint32_t crc = TestCrc32(std::string_view(block).substr(2)) & 0xffff;
  block[0] = static_cast<char>(crc & 0xff);
  block[1] = static_cast<char>(crc >> 8);
  return block;
}

class Rar4Builder {
 public:
  // The main header; `extra` follows its six reserved bytes (an old comment).
  explicit Rar4Builder(std::uint16_t mainFlags = 0, std::string_view extra = {}) {
    m_bytes = kRar4Marker;
    m_bytes += Rar4Block(0x73, mainFlags, std::string(6, '\0') + std::string(extra));
  }

  Rar4Builder& file(const Rar4File& f) {
    std::string body;
    PutLe(body, f.data.size(), 4);
    PutLe(body, f.unpSize.value_or(static_cast<std::uint32_t>(f.data.size())), 4);
    body.push_back(static_cast<char>(f.host));
    PutLe(body, f.crc.value_or(TestCrc32(f.data)), 4);
    PutLe(body, f.dosTime, 4);
    body.push_back(static_cast<char>(f.unpVer));
    body.push_back(static_cast<char>(f.method));
    PutLe(body, f.name.size(), 2);
    PutLe(body, f.attributes, 4);
    if (f.flags & 0x100) {
      PutLe(body, f.highPack, 4);
      PutLe(body, f.highUnp, 4);
    }
    body += f.name;
    m_bytes += Rar4Block(f.type, f.flags, body);
    m_bytes += f.data;
    return *this;
  }

  // A stored "CMT" service block.
  Rar4Builder& comment(std::string_view text) {
    Rar4File f;
    f.type = 0x7a;
    f.name = "CMT";
    f.data = std::string(text);
    f.attributes = 0;
    return file(f);
  }

  Rar4Builder& end(std::uint16_t flags = 0x4000) {
    m_bytes += Rar4Block(0x7b, flags, {});
    return *this;
  }

  Rar4Builder& raw(std::string_view bytes) {
    m_bytes += bytes;
    return *this;
  }

  const std::string& bytes() const { return m_bytes; }

 private:
  std::string m_bytes;
};

// An old comment block as RAR 1.5 to 2.x kept it inside the main header.
inline std::string Rar4OldComment(std::string_view text, std::uint8_t method = 0x30,
                                  std::uint8_t unpVer = 20) {
  std::string body;
  PutLe(body, text.size(), 2);
  body.push_back(static_cast<char>(unpVer));
  body.push_back(static_cast<char>(method));
  PutLe(body, TestCrc32(text) & 0xffff, 2);
  body += text;
  return Rar4Block(0x75, 0, body);
}

// --- RAR 5 ----------------------------------------------------------------

inline constexpr std::string_view kRar5Signature("Rar!\x1a\x07\x01\x00", 8);

inline std::string Vint(std::uint64_t value) {
  std::string out;
  do {
    std::uint8_t b = value & 0x7f;
    value >>= 7;
    if (value != 0) b |= 0x80;
    out.push_back(static_cast<char>(b));
  } while (value != 0);
  return out;
}

// A header: check value and size in front of `body` (type, flags and the
// rest), then `data`.
inline std::string Rar5Header(std::string_view body, std::string_view data = {}) {
  std::string sized = Vint(body.size()) + std::string(body);
  std::string out;
  PutLe(out, TestCrc32(sized), 4);
  return out + sized + std::string(data);
}

struct Rar5File {
  std::string name;
  std::string data;
  std::uint64_t headerFlags = 0;  // split flags; extra and data flags are added
  std::uint64_t fileFlags = 0x4;  // CRC present
  std::uint64_t attributes = 0x20;
  std::uint64_t compression = 0;  // version 0, stored
  std::uint64_t host = 0;         // Windows
  std::optional<std::uint32_t> mtime;
  std::optional<std::uint64_t> unpSize;
  std::string extra;  // extra area records
  bool service = false;
};

// An extra record: size, type, data.
inline std::string Rar5Record(std::uint64_t type, std::string_view data) {
  std::string inner = Vint(type) + std::string(data);
  return Vint(inner.size()) + inner;
}

class Rar5Builder {
 public:
  explicit Rar5Builder(std::uint64_t archiveFlags = 0) {
    m_bytes = kRar5Signature;
    m_bytes += Rar5Header(Vint(1) + Vint(0) + Vint(archiveFlags));
  }

  Rar5Builder& file(const Rar5File& f) {
    std::uint64_t flags = f.headerFlags | 0x2 | (f.extra.empty() ? 0 : 0x1);
    std::uint64_t fileFlags = f.fileFlags | (f.mtime ? 0x2 : 0);
    std::string body = Vint(f.service ? 3 : 2) + Vint(flags);
    if (!f.extra.empty()) body += Vint(f.extra.size());
    body += Vint(f.data.size());
    body += Vint(fileFlags) + Vint(f.unpSize.value_or(f.data.size())) + Vint(f.attributes);
    if (f.mtime) PutLe(body, *f.mtime, 4);
    if (fileFlags & 0x4) PutLe(body, TestCrc32(f.data), 4);
    body += Vint(f.compression) + Vint(f.host) + Vint(f.name.size()) + f.name + f.extra;
    m_bytes += Rar5Header(body, f.data);
    return *this;
  }

  Rar5Builder& comment(std::string_view text) {
    Rar5File f;
    f.service = true;
    f.name = "CMT";
    f.data = std::string(text);
    f.attributes = 0;
    return file(f);
  }

  Rar5Builder& end(std::uint64_t endFlags = 0) {
    m_bytes += Rar5Header(Vint(5) + Vint(0) + Vint(endFlags));
    return *this;
  }

  Rar5Builder& raw(std::string_view bytes) {
    m_bytes += bytes;
    return *this;
  }

  const std::string& bytes() const { return m_bytes; }

 private:
  std::string m_bytes;
};

}  // namespace pagemoor::test
