// The jukebox's own sound processors (echo, flanger, rotation), run as DSP
// hooks on the music channel, and the wave display's arithmetic. Exact to the
// sample: truncation toward zero and saturation as written.
//
// The real-valued state and arithmetic use long double on purpose: on x86-64
// it is the 80-bit extended type the old arithmetic ran in, and the results
// differ from double's in the last bit often enough to move a truncated sample.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace pagemoor {

// Each works in place on interleaved 16-bit stereo frames (left, then right),
// frame by frame, without allocating: process() runs on the mixing thread.
// reset() sets the start values that switching the effect on gives; the switch
// handler calls it before the hook is installed, never while it runs.
// Splitting a buffer into several process() calls gives the same samples as
// one call.

// Each side gets the other side's input of kFrames frames ago at half level.
struct EchoProcessor {
  static constexpr int kFrames = 1200;
  std::array<std::int16_t, kFrames * 2> line{};  // left, right per frame
  int position = 0;
  void reset();
  void process(std::int16_t* stereo, std::size_t frames);
};

// A delay swept in a triangle between about 0 and kEntries frames, mixed with
// the input. The read point runs `sweep` entries ahead of the write point.
struct FlangerProcessor {
  static constexpr int kEntries = 350;
  static constexpr long double kStartSweep = 175.0L;
  static constexpr long double kStartStep = 0.002L;
  std::array<std::int16_t, kEntries * 3> line{};  // left, right, one not used
  int position = 0;
  long double sweep = kStartSweep;
  long double step = kStartStep;
  void reset();
  void process(std::int16_t* stereo, std::size_t frames);
};

// Left scaled by sin(phase), right by cos(phase); the phase creeps up every
// frame, so the sound wanders between the sides with its sign flipping.
struct RotationProcessor {
  // The digits the old start value was written with (pi/4 to single
  // precision's seven digits, cut rather than rounded), not float(pi/4) =
  // 0.785398185..., which would print as 0.7853982.
  static constexpr long double kStartPhase = 0.7853981L;
  static constexpr long double kPhaseStep = 0.00003L;
  long double phase = kStartPhase;
  void reset();
  void process(std::int16_t* stereo, std::size_t frames);
};

// The wave display's points for frames 0 .. width (width + 1 points; a width
// below 0 counts as 0, the pen still moves to frame 0), each
// y = trunc((L + R) / 64000 * height) + height div 2, so positive sums plot
// below the middle and full-scale samples reach just past the edges. Frames
// beyond the buffer count as silence: the display may be wider than the 512
// frames it is given, and the old wave buffer was zero past them.
std::vector<std::pair<int, int>> WavePoints(const std::int16_t* stereo, std::size_t frames, int width,
                                            int height);

}  // namespace pagemoor
