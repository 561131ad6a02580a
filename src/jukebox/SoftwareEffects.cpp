#include "jukebox/SoftwareEffects.h"

#include <algorithm>
#include <cmath>

namespace pagemoor {

namespace {

std::int16_t Saturate(long long value) {
  return static_cast<std::int16_t>(std::clamp<long long>(value, -32768, 32767));
}

// Truncates toward zero, as the conversion does; spelt out so nobody "fixes"
// it into rounding.
long long TruncToInt(long double value) {
  return static_cast<long long>(std::trunc(value));
}

}  // namespace

void EchoProcessor::reset() {
  line.fill(0);
  position = 0;
}

void EchoProcessor::process(std::int16_t* stereo, std::size_t frames) {
  for (std::size_t n = 0; n < frames; ++n, stereo += 2) {
    std::int16_t* stored = &line[static_cast<std::size_t>(position) * 2];
    const int oldLeft = stored[0];
    const int oldRight = stored[1];
    const int left = stereo[0];
    const int right = stereo[1];
    // The line keeps the input, not the output, so an echo comes back once.
    stored[0] = stereo[0];
    stored[1] = stereo[1];
    // Integer division halves toward zero: -3 gives -1.
    stereo[0] = Saturate(left + oldRight / 2);
    stereo[1] = Saturate(right + oldLeft / 2);
    if (++position == kFrames) position = 0;
  }
}

void FlangerProcessor::reset() {
  line.fill(0);
  position = 0;
  sweep = kStartSweep;
  step = kStartStep;
}

void FlangerProcessor::process(std::int16_t* stereo, std::size_t frames) {
  for (std::size_t n = 0; n < frames; ++n, stereo += 2) {
    const long double whole = std::trunc(sweep);
    const long double fraction = sweep - whole;
    // The sweep dips just below 0 for one frame before it turns; there whole
    // is still 0, but take the index modulo mathematically so that any
    // negative offset stays inside the ring.
    const long long offset = (static_cast<long long>(whole) + position) % kEntries;
    const std::size_t i = static_cast<std::size_t>(offset < 0 ? offset + kEntries : offset);
    const std::size_t j = (i + 1) % kEntries;
    const std::size_t p = static_cast<std::size_t>(position);
    // Read both taps before storing: at a sweep of 350 the read point is the
    // write point and must still see the oldest sample.
    for (std::size_t side = 0; side < 2; ++side) {
      const long double delayed = (1.0L - fraction) * line[i * 3 + side] + fraction * line[j * 3 + side];
      line[p * 3 + side] = stereo[side];
      stereo[side] = Saturate(TruncToInt(delayed) + stereo[side]);
    }
    if (++position == kEntries) position = 0;
    sweep += step;
    if (sweep < 0.0L || sweep > static_cast<long double>(kEntries)) step = -step;
  }
}

void RotationProcessor::reset() {
  phase = kStartPhase;
}

void RotationProcessor::process(std::int16_t* stereo, std::size_t frames) {
  for (std::size_t n = 0; n < frames; ++n, stereo += 2) {
    // |sin| and |cos| reach 1 only at isolated phases, but -32768 times -1
    // would not fit: saturate rather than wrap into a full-scale click.
    stereo[0] = Saturate(TruncToInt(stereo[0] * std::sin(phase)));
    stereo[1] = Saturate(TruncToInt(stereo[1] * std::cos(phase)));
    phase += kPhaseStep;
  }
}

std::vector<std::pair<int, int>> WavePoints(const std::int16_t* stereo, std::size_t frames, int width,
                                            int height) {
  const int last = std::max(width, 0);
  std::vector<std::pair<int, int>> points;
  points.reserve(static_cast<std::size_t>(last) + 1);
  const int middle = height / 2;
  for (int x = 0; x <= last; ++x) {
    const std::size_t frame = static_cast<std::size_t>(x);
    long long sum = 0;
    if (frame < frames) sum = static_cast<long long>(stereo[frame * 2]) + stereo[frame * 2 + 1];
    // Divide first, then scale, in extended precision: the order and the
    // precision decide the last pixel (-64960 / 64000 * 200 is -203 here,
    // -202.99... in double).
    const long double scaled = static_cast<long double>(sum) / 64000.0L * height;
    points.emplace_back(x, static_cast<int>(TruncToInt(scaled)) + middle);
  }
  return points;
}

}  // namespace pagemoor
