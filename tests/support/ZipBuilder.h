// ZIP archives made byte by byte in the tests: any header field we want, so
// each test shows exactly the case it is about.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/LittleEndian.h"
#include "support/ZlibBytes.h"

namespace pagemoor::test::zip {

using test::Put16;
using test::Put32;
using test::Put64;
using test::RawDeflate;

inline std::uint32_t Crc(std::string_view data) {
  return test::Crc32(data);
}

constexpr std::uint32_t kUnixFile = 0100644u << 16;
constexpr std::uint16_t kMadeOnUnix = 0x031E;
constexpr std::uint16_t kMadeOnDos = 0x0014;
// 2001-02-03 04:05:06 as DOS date and time.
constexpr std::uint32_t kDosTime = ((21u << 9 | 2u << 5 | 3u) << 16) | (4u << 11 | 5u << 5 | 3u);

struct Entry {
  std::string name;
  std::string content;  // what extraction should give
  std::string data;     // the bytes stored
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  std::uint16_t madeBy = kMadeOnUnix;
  std::uint32_t attributes = kUnixFile;
  std::uint32_t dosTime = kDosTime;
  std::string extra;  // central directory extra fields
  std::optional<std::uint32_t> crc;
  std::optional<std::uint64_t> size;   // declared uncompressed size
  std::optional<std::uint64_t> csize;  // declared compressed size
  std::optional<std::uint64_t> offset;
  bool descriptor = false;  // sizes and CRC only after the data
  bool zip64 = false;       // sizes and offset in a ZIP64 extra field
  // Only a central directory record, pointing (offset) at another entry's
  // local header and data: the stuff of overlap bombs.
  bool centralOnly = false;
};

inline Entry Stored(std::string name, std::string content) {
  Entry e;
  e.name = std::move(name);
  e.content = std::move(content);
  e.data = e.content;
  return e;
}

inline Entry Deflated(std::string name, std::string content) {
  Entry e = Stored(std::move(name), std::move(content));
  e.method = 8;
  e.data = RawDeflate(e.content);
  return e;
}

inline Entry Folder(std::string name) {
  Entry e = Stored(std::move(name), "");
  e.attributes = 040755u << 16;
  return e;
}

inline Entry Link(std::string name, std::string target) {
  Entry e = Stored(std::move(name), std::move(target));
  e.attributes = 0120777u << 16;
  return e;
}

struct ArchiveOptions {
  std::string prefix;  // bytes in front (a self-extractor's program)
  bool zip64End = false;
  std::optional<std::uint32_t> directoryOffset;
  std::optional<std::uint16_t> entryCount;
  std::string comment;
  std::string trailer;  // bytes after the archive
};

inline std::string BuildZip(const std::vector<Entry>& entries, const ArchiveOptions& options = {}) {
  std::string out = options.prefix;
  std::string central;
  for (const Entry& e : entries) {
    const std::uint64_t offset = out.size() - options.prefix.size();
    const std::uint32_t crc = e.crc.value_or(Crc(e.content));
    const std::uint64_t size = e.size.value_or(e.content.size());
    const std::uint64_t csize = e.csize.value_or(e.data.size());
    const std::uint16_t flags = e.flags | (e.descriptor ? 0x08 : 0);
    if (!e.centralOnly) {
      Put32(out, 0x04034b50);
      Put16(out, 20);
      Put16(out, flags);
      Put16(out, e.method);
      Put32(out, e.dosTime);
      Put32(out, e.descriptor ? 0 : crc);
      Put32(out, e.descriptor ? 0 : static_cast<std::uint32_t>(csize));
      Put32(out, e.descriptor ? 0 : static_cast<std::uint32_t>(size));
      Put16(out, static_cast<std::uint32_t>(e.name.size()));
      Put16(out, 0);
      out += e.name;
      out += e.data;
      if (e.descriptor) {
        Put32(out, 0x08074b50);
        Put32(out, crc);
        Put32(out, static_cast<std::uint32_t>(csize));
        Put32(out, static_cast<std::uint32_t>(size));
      }
    }
    std::string extra = e.extra;
    if (e.zip64) {
      Put16(extra, 0x0001);
      Put16(extra, 24);
      Put64(extra, size);
      Put64(extra, csize);
      Put64(extra, e.offset.value_or(offset));
    }
    Put32(central, 0x02014b50);
    Put16(central, e.madeBy);
    Put16(central, 20);
    Put16(central, flags);
    Put16(central, e.method);
    Put32(central, e.dosTime);
    Put32(central, crc);
    Put32(central, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(csize));
    Put32(central, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(size));
    Put16(central, static_cast<std::uint32_t>(e.name.size()));
    Put16(central, static_cast<std::uint32_t>(extra.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, e.attributes);
    Put32(central, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(e.offset.value_or(offset)));
    central += e.name;
    central += extra;
  }
  const std::uint64_t directory = out.size() - options.prefix.size();
  out += central;
  const std::uint16_t count = options.entryCount.value_or(static_cast<std::uint16_t>(entries.size()));
  if (options.zip64End) {
    const std::uint64_t record = out.size() - options.prefix.size();
    Put32(out, 0x06064b50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, count);
    Put64(out, count);
    Put64(out, central.size());
    Put64(out, directory);
    Put32(out, 0x07064b50);
    Put32(out, 0);
    Put64(out, record);
    Put32(out, 1);
  }
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, options.zip64End ? 0xFFFF : count);
  Put16(out, options.zip64End ? 0xFFFF : count);
  Put32(out, options.zip64End ? 0xFFFFFFFF : static_cast<std::uint32_t>(central.size()));
  Put32(out, options.zip64End ? 0xFFFFFFFF
                              : options.directoryOffset.value_or(static_cast<std::uint32_t>(directory)));
  Put16(out, static_cast<std::uint32_t>(options.comment.size()));
  return out + options.comment + options.trailer;
}

}  // namespace pagemoor::test::zip
