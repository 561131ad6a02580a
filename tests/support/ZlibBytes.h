// CRC-32 and raw deflate through zlib, for tests that build archives. The
// test must link zlib.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace pagemoor::test {

inline std::uint32_t Crc32(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// A raw deflate stream (no zlib header), as ZIP's method 8 stores it.
inline std::string RawDeflate(std::string_view data, int level = 9) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace pagemoor::test
