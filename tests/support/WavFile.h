// Small WAV files for tests that play sound.
#pragma once

#include <cstdint>
#include <string>

namespace pagemoor::test {

// A PCM WAV file: 16-bit stereo at 44100 Hz, every frame (left, right).
inline std::string WavBytes(int frames, std::int16_t left, std::int16_t right) {
  std::string out;
  const auto u32 = [&out](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const auto u16 = [&out](std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
  };
  const std::uint32_t data = static_cast<std::uint32_t>(frames) * 4;
  out += "RIFF";
  u32(36 + data);
  out += "WAVEfmt ";
  u32(16);
  u16(1);      // PCM
  u16(2);      // channels
  u32(44100);  // frames per second
  u32(44100 * 4);
  u16(4);  // bytes per frame
  u16(16);
  out += "data";
  u32(data);
  for (int i = 0; i < frames; ++i) {
    u16(static_cast<std::uint16_t>(left));
    u16(static_cast<std::uint16_t>(right));
  }
  return out;
}

}  // namespace pagemoor::test
