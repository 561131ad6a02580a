// Second-order filters: the usual designs and a stereo filter that runs them.
#pragma once

#include <array>
#include <cstddef>

namespace pagemoor::audio::fx {

struct BiquadCoefs {
  float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// The usual second-order designs from the bilinear transform.
BiquadCoefs peakingCoefs(double hz, double q, double gainDb, int rate);
BiquadCoefs lowPassCoefs(double hz, double q, int rate);

// A second-order filter for both sides, in direct form I. The recursion is
// one sample after another, so the work is arranged for the shortest chain
// from one output to the next: the terms from the inputs and from the output
// two samples back are summed first, leaving one multiply and one subtract
// on the last output; and the two sides, which do not depend on each other,
// go through the same loop side by side.
class StereoBiquad {
 public:
  void init(const BiquadCoefs& c) {
    m_c = c;
    clear();
  }
  void clear() { m_state = {}; }
  void run(float* l, float* r, std::size_t n) {
    const BiquadCoefs c = m_c;
    State s = m_state;
    for (std::size_t i = 0; i < n; ++i) {
      const float inL = l[i], inR = r[i];
      const float outL = ((c.b0 * inL + c.b1 * s.x1[0] + c.b2 * s.x2[0]) - c.a2 * s.y2[0]) - c.a1 * s.y1[0];
      const float outR = ((c.b0 * inR + c.b1 * s.x1[1] + c.b2 * s.x2[1]) - c.a2 * s.y2[1]) - c.a1 * s.y1[1];
      s.x2 = s.x1;
      s.x1 = {inL, inR};
      s.y2 = s.y1;
      s.y1 = {outL, outR};
      l[i] = outL;
      r[i] = outR;
    }
    m_state = s;
  }

 private:
  struct State {
    std::array<float, 2> x1{}, x2{}, y1{}, y2{};  // [0] left, [1] right
  };
  BiquadCoefs m_c;
  State m_state;
};

}  // namespace pagemoor::audio::fx
