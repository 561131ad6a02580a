// Delay lines: a straight run of memory for reading delayed values in runs,
// and how long the lines of a network are and how much each feeds back.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

// Delay lines whose lengths share no common factor do not pile their echoes
// up on the same frames and ring at one pitch: each length is moved up until
// it has none with the ones before it.
template <std::size_t N>
std::array<int, N> coprimeLengths(const std::array<double, N>& seconds, int rate) {
  std::array<int, N> lengths{};
  for (std::size_t k = 0; k < N; ++k) {
    int n = std::max(2, samplesFor(seconds[k], rate));
    while (std::any_of(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(k),
                       [n](int other) { return std::gcd(n, other) != 1; }))
      ++n;
    lengths[k] = n;
  }
  return lengths;
}

// Feedback gain of a loop `length` samples long so that the sound falls by
// 60 dB in `decaySeconds`.
inline float loopGainFor(int length, double decaySeconds, int rate) {
  return static_cast<float>(std::pow(10.0, -3.0 * length / (decaySeconds * rate)));
}

// A delay line as one straight run of memory: the newest `keep` values always
// sit just before the write point, so a run of reads at any delay up to
// `keep` is a contiguous load, with no wrap and no mask. When the free room
// behind the write point runs out, the kept values move back to the front:
// one memmove of `keep` values every `room` frames.
class History {
 public:
  void init(std::size_t keep, std::size_t room) {
    m_keep = keep;
    m_buf.assign(keep + std::max(room, kChunk), 0.0f);
    m_now = keep;
  }
  void clear() {
    std::fill(m_buf.begin(), m_buf.end(), 0.0f);
    m_now = m_keep;
  }
  // Where the next n (<= kChunk) values go, with the kept values just before
  // it. Valid until the next reserve().
  float* reserve(std::size_t n) {
    if (m_now + n > m_buf.size()) {
      std::memmove(m_buf.data(), m_buf.data() + (m_now - m_keep), m_keep * sizeof(float));
      m_now = m_keep;
    }
    return m_buf.data() + m_now;
  }
  void advance(std::size_t n) { m_now += n; }

 private:
  std::vector<float> m_buf;
  std::size_t m_keep = 0;
  std::size_t m_now = 0;
};

// Room behind a history: the move costs `keep` copies, so a few times that.
inline std::size_t roomFor(std::size_t keep) {
  return std::max<std::size_t>(4 * keep, 4096);
}

}  // namespace pagemoor::audio::fx
