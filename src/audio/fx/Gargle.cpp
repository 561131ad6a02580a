// Gargle: the amplitude swept by a triangle.
#include "audio/fx/Makers.h"

#include <cmath>
#include <memory>

#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

namespace {

// by itself; flipping its top bit gives a signed value whose magnitude falls
// and rises once per cycle, which is the triangle.
inline float triangle(std::uint32_t phase) {
  return 1.0f - std::fabs(static_cast<float>(static_cast<std::int32_t>(phase ^ 0x80000000u))) * 0x1p-31f;
}

// Both sides of each frame times the triangle, converted on the way in and
// out; returns the phase after the last frame.
std::uint32_t gargleRun(std::int16_t* stereo, std::uint32_t phase, std::uint32_t step, std::size_t frames) {
  std::size_t i = 0;
#ifdef PAGEMOOR_FX_SSE2
  // Four frames' phases at once, the same numbers triangle() is given.
  __m128i at = _mm_setr_epi32(static_cast<int>(phase), static_cast<int>(phase + step),
                              static_cast<int>(phase + 2 * step), static_cast<int>(phase + 3 * step));
  const __m128i stride = _mm_set1_epi32(static_cast<int>(4 * step));
  const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  for (; i + 4 <= frames; i += 4) {
    const __m128 centred = _mm_and_ps(_mm_cvtepi32_ps(_mm_xor_si128(at, flip)), magnitude);
    const __m128 gain = _mm_sub_ps(_mm_set1_ps(1.0f), _mm_mul_ps(centred, _mm_set1_ps(0x1p-31f)));
    __m128 low, high;
    load8(stereo + 2 * i, low, high);
    store8(stereo + 2 * i, _mm_mul_ps(low, _mm_unpacklo_ps(gain, gain)),
           _mm_mul_ps(high, _mm_unpackhi_ps(gain, gain)));
    at = _mm_add_epi32(at, stride);
  }
  phase += static_cast<std::uint32_t>(i) * step;
#endif
  for (; i < frames; ++i) {
    const float gain = triangle(phase);
    stereo[2 * i] = toSample(stereo[2 * i] * gain);
    stereo[2 * i + 1] = toSample(stereo[2 * i + 1] * gain);
    phase += step;
  }
  return phase;
}

// Gargle: the amplitude swept by a 20 Hz triangle from silence to full and
// back, both sides together, so the samples stay interleaved.
class Gargle : public Effect {
 public:
  explicit Gargle(int rate) : m_step(static_cast<std::uint32_t>(std::llround(20.0 / rate * 4294967296.0))) {}
  void reset() override { m_phase = 0; }
  void process(std::int16_t* stereo, std::size_t frames) override {
    FloatMode mode;
    m_phase = gargleRun(stereo, m_phase, m_step, frames);
  }

 private:
  std::uint32_t m_step;
  std::uint32_t m_phase = 0;
};

}  // namespace

std::unique_ptr<Effect> MakeGargle(int rate) {
  return std::make_unique<Gargle>(rate);
}

}  // namespace pagemoor::audio::fx
