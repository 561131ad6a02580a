// The jukebox's own sound processors (echo, flanger, rotation), run as DSP
// hooks on the music channel, and the wave display's arithmetic. Exact to the
// sample: truncation toward zero and saturation as written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace pagemoor {

// Each works in place on interleaved 16-bit stereo frames. reset() sets the
// start values that switching the effect on gives.
struct EchoProcessor {
  static constexpr int kFrames = 1200;
  std::array<std::int16_t, kFrames * 2> line{};
  int position = 0;
  void reset();
  void process(std::int16_t* stereo, std::size_t frames);
};

struct FlangerProcessor {
  static constexpr int kEntries = 350;
  std::array<std::int16_t, kEntries * 3> line{};  // left, right, one not used
  int position = 0;
  long double sweep = 175.0L;
  long double step = 0.002L;
  void reset();
  void process(std::int16_t* stereo, std::size_t frames);
};

struct RotationProcessor {
  long double phase = 0.7853981L;  // pi/4 as single precision gives it
  void reset();
  void process(std::int16_t* stereo, std::size_t frames);
};

// The wave display's points for frames 0 .. width (width + 1 points), each
// y = trunc((L + R) / 64000 * height) + height div 2; frames beyond the
// buffer count as silence.
std::vector<std::pair<int, int>> WavePoints(const std::int16_t* stereo, std::size_t frames, int width,
                                            int height);

}  // namespace pagemoor
