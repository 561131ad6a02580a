// Little-endian numbers in byte buffers, as Windows file formats store them.
// The caller checks that the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pagemoor {

inline std::uint8_t U8(std::string_view b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]);
}

inline std::uint16_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(U8(b, at) | (U8(b, at + 1) << 8));
}

inline std::uint32_t U32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

}  // namespace pagemoor
