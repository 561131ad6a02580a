// The compressor: a peak follower and a gain curve in the log domain.
#include "audio/fx/Makers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>

#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

namespace {

// log2 of a positive normal float to about 1e-5, from the exponent bits and a
// polynomial for the mantissa's share; it vectorises where std::log2 does not.
inline float fastLog2(float x) {
  const auto bits = std::bit_cast<std::int32_t>(x);
  const float exponent = static_cast<float>((bits >> 23) - 127);
  const float m = std::bit_cast<float>((bits & 0x007FFFFF) | 0x3F800000);  // 1 <= m < 2
  const float p =
      -2.79415235f +
      m * (5.06975166f + m * (-3.52021239f + m * (1.61017315f + m * (-0.409474109f + m * 0.043928432f))));
  return exponent + p;
}

// 2^y for -126 < y <= 0 to about 2e-6 relative, the same way round: the
// whole part (rounded towards zero) becomes the exponent bits, a polynomial
// gives 2^f for the rest, -1 < f <= 0.
inline float fastExp2(float y) {
  const int whole = static_cast<int>(y);
  const float f = y - static_cast<float>(whole);
  const float p =
      0.999998095f + f * (0.693050667f + f * (0.239439213f + f * (0.0532268335f + f * 0.00684199146f)));
  return p * std::bit_cast<float>((whole + 127) << 23);
}

// The louder side's magnitude, frame by frame.
[[gnu::noinline, gnu::flatten]] void peakOf(float* __restrict level, const float* __restrict l,
                                            const float* __restrict r, std::size_t n) {
  forFrames(n, [&](std::size_t i) { level[i] = std::max(std::fabs(l[i]), std::fabs(r[i])); });
}

// Both sides times makeUp * (level / threshold)^slope above the threshold,
// times makeUp alone below it. level / threshold is at most 10 for 16-bit
// input, so the exponent stays far inside fastExp2's range.
[[gnu::noinline, gnu::flatten]] void applyCurve(float* __restrict l, float* __restrict r,
                                                const float* __restrict level, float threshold, float slope,
                                                float makeUp, std::size_t n) {
  const float inverse = 1.0f / threshold;
  constexpr std::int32_t kOne = 0x3F800000;  // the bits of 1.0f
  forFrames(n, [&](std::size_t i) {
    const float over = std::bit_cast<float>(std::max(std::bit_cast<std::int32_t>(level[i] * inverse), kOne));
    const float gain = makeUp * fastExp2(slope * fastLog2(over));
    l[i] *= gain;
    r[i] *= gain;
  });
}

// Compressor: threshold -20 dBFS, ratio 3:1, attack 10 ms, release 200 ms,
// +6 dB make-up so that the quieter result is not simply softer. One peak
// detector for both sides keeps the stereo image where it was. Only the
// envelope follower is a recursion; the gain curve is worked out for the
// whole block at once in the log domain.
class Compressor : public BlockEffect<Compressor> {
  static constexpr float kThreshold = 0.1f * 32768.0f;  // -20 dBFS
  static constexpr float kSlope = 1.0f / 3.0f - 1.0f;   // 3:1 above the threshold
  static constexpr float kMakeUp = 1.99526231f;         // +6 dB

 public:
  explicit Compressor(int rate)
      : m_attack(static_cast<float>(std::exp(-1.0 / (0.010 * rate)))),
        m_release(static_cast<float>(std::exp(-1.0 / (0.200 * rate)))) {}
  void reset() override { m_envelope = 0; }
  void run(float* l, float* r, std::size_t n) {
    alignas(16) float level[kChunk];
    peakOf(level, l, r, n);
    float envelope = m_envelope;
    const float attack = m_attack, release = m_release;
    for (std::size_t i = 0; i < n; ++i) {
      const float peak = level[i];
      const float coef = peak > envelope ? attack : release;
      envelope = peak + (envelope - peak) * coef;
      level[i] = envelope;
    }
    m_envelope = envelope;
    applyCurve(l, r, level, kThreshold, kSlope, kMakeUp, n);
  }

 private:
  float m_attack, m_release;
  float m_envelope = 0;
};

}  // namespace

std::unique_ptr<Effect> MakeCompressor(int rate) {
  return std::make_unique<Compressor>(rate);
}

}  // namespace pagemoor::audio::fx
