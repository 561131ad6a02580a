// Echo: one delay line fed back.
#include "audio/fx/Makers.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

namespace {

// and out: the slot of the line read is the one then written.
void echoRun(std::int16_t* samples, float* line, float feedback, float mix, std::size_t n) {
  std::size_t i = 0;
#ifdef PAGEMOOR_FX_SSE2
  const __m128 fb = _mm_set1_ps(feedback), mx = _mm_set1_ps(mix);
  for (; i + 8 <= n; i += 8) {
    __m128 in[2];
    load8(samples + i, in[0], in[1]);
    __m128 out[2];
    for (std::size_t h = 0; h < 2; ++h) {
      const __m128 wet = _mm_loadu_ps(line + i + 4 * h);
      _mm_storeu_ps(line + i + 4 * h, _mm_add_ps(in[h], _mm_mul_ps(fb, wet)));
      out[h] = _mm_add_ps(in[h], _mm_mul_ps(_mm_sub_ps(wet, in[h]), mx));
    }
    store8(samples + i, out[0], out[1]);
  }
#endif
  for (; i < n; ++i) {
    const float in = samples[i];
    const float wet = line[i];
    line[i] = in + feedback * wet;
    samples[i] = toSample(in + (wet - in) * mix);
  }
}

// Echo: 500 ms on each side, every repeat fed back at 50%, half wet and half
// dry: an impulse comes back at half its level after 500 ms, then a quarter...
// The line holds both sides interleaved like the samples, so one loop runs
// straight over the samples, converting them as it goes.
class Echo : public Effect {
  static constexpr float kFeedback = 0.5f;
  static constexpr float kMix = 0.5f;

 public:
  explicit Echo(int rate) : m_line(2 * static_cast<std::size_t>(samplesFor(0.5, rate)), 0.0f) {}
  void reset() override {
    std::fill(m_line.begin(), m_line.end(), 0.0f);
    m_pos = 0;
  }
  void process(std::int16_t* stereo, std::size_t frames) override {
    FloatMode mode;
    for (std::size_t left = 2 * frames; left > 0;) {
      const std::size_t n = std::min(left, m_line.size() - m_pos);
      echoRun(stereo, m_line.data() + m_pos, kFeedback, kMix, n);
      m_pos += n;
      if (m_pos == m_line.size()) m_pos = 0;
      stereo += n;
      left -= n;
    }
  }

 private:
  std::vector<float> m_line;
  std::size_t m_pos = 0;
};

}  // namespace

std::unique_ptr<Effect> MakeEcho(int rate) {
  return std::make_unique<Echo>(rate);
}

}  // namespace pagemoor::audio::fx
