// Distortion: a soft clipper and a low-pass after it.
#include "audio/fx/Makers.h"

#include <algorithm>
#include <memory>

#include "audio/fx/Biquad.h"
#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

namespace {

// Close to tanh, odd, reaches exactly +/-1 with zero slope at +/-3; the input
// is scaled by `drive` first. The curve rises steadily past +/-3, so clamping
// its value to +/-1 is the same as clamping its input to +/-3 (for the
// inputs 16-bit samples give).
[[gnu::noinline, gnu::flatten]] void softClip(float* __restrict l, float* __restrict r, float drive,
                                              std::size_t n) {
  const auto curve = [](float x) {
    const float x2 = x * x;
    return std::clamp(x * (27.0f + x2) / (27.0f + 9.0f * x2), -1.0f, 1.0f);
  };
  forFrames(n, [&](std::size_t i) {
    l[i] = curve(l[i] * drive);
    r[i] = curve(r[i] * drive);
  });
}

[[gnu::noinline, gnu::flatten]] void scale(float* __restrict l, float* __restrict r, float gain,
                                           std::size_t n) {
  forFrames(n, [&](std::size_t i) {
    l[i] *= gain;
    r[i] *= gain;
  });
}

// Distortion: 18 dB of drive into a soft clipper (a rational tanh curve),
// a 4.5 kHz Butterworth low-pass to take the fizz off the new harmonics,
// then -6 dB so the result sits at about the level of loud music.
class Distortion : public BlockEffect<Distortion> {
  static constexpr float kDrive = 7.94328235f / 32768.0f;  // +18 dB, to -1..1
  static constexpr float kOutput = 0.5f * 32768.0f;        // -6 dB, back to samples

 public:
  explicit Distortion(int rate) {
    m_filter.init(lowPassCoefs(std::min(4500.0, 0.4 * rate), 0.70710678, rate));
  }
  void reset() override { m_filter.clear(); }
  void run(float* l, float* r, std::size_t n) {
    softClip(l, r, kDrive, n);
    m_filter.run(l, r, n);
    scale(l, r, kOutput, n);
  }

 private:
  StereoBiquad m_filter;
};

}  // namespace

std::unique_ptr<Effect> MakeDistortion(int rate) {
  return std::make_unique<Distortion>(rate);
}

}  // namespace pagemoor::audio::fx
