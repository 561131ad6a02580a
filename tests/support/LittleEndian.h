// Writing little-endian numbers into byte strings, for tests that build
// files (archives, WAV files) byte by byte.
#pragma once

#include <cstdint>
#include <string>

namespace pagemoor::test {

inline void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
inline void Put16(std::string& out, std::uint32_t value) {
  PutLe(out, value, 2);
}
inline void Put32(std::string& out, std::uint32_t value) {
  PutLe(out, value, 4);
}
inline void Put64(std::string& out, std::uint64_t value) {
  PutLe(out, value, 8);
}

}  // namespace pagemoor::test
