// The nine effects by type number. Each is a small processor of our own with
// fixed parameters: the magazines only switch an effect on or off, so nothing
// here is adjustable while it runs. Samples are scaled to -1..1 floats inside
// and saturated back to 16 bits on the way out.
#include "audio/Effects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace pagemoor::audio {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kToFloat = 1.0f / 32768.0f;

// A value this small in a feedback path would decay into denormals, which
// some processors handle a hundred times slower than normal floats; it is
// far below the last bit of the 16-bit output, so dropping it is inaudible.
inline float flush(float x) {
  return std::fabs(x) < 1e-15f ? 0.0f : x;
}

inline std::int16_t toSample(float x) {
  float v = x * 32768.0f;
  v = v > -32768.0f ? v : -32768.0f;  // written so that a NaN ends here too
  v = v < 32767.0f ? v : 32767.0f;
  return static_cast<std::int16_t>(v >= 0.0f ? v + 0.5f : v - 0.5f);
}

int samplesFor(double seconds, int rate) {
  return std::max(1, static_cast<int>(std::lround(seconds * rate)));
}

// A delay of fixed length: out() is the value pushed `length` pushes ago.
class FixedDelay {
 public:
  void init(int length) {
    m_buf.assign(static_cast<std::size_t>(std::max(1, length)), 0.0f);
    m_pos = 0;
  }
  void clear() {
    std::fill(m_buf.begin(), m_buf.end(), 0.0f);
    m_pos = 0;
  }
  float out() const { return m_buf[m_pos]; }
  void push(float x) {
    m_buf[m_pos] = x;
    if (++m_pos == m_buf.size()) m_pos = 0;
  }

 private:
  std::vector<float> m_buf;
  std::size_t m_pos = 0;
};

// A delay line read at any distance up to its capacity; at(1) is the latest
// value pushed. The fractional read interpolates linearly, which is enough
// for the slow sweeps of chorus and flanger.
class TapDelay {
 public:
  void init(int maxDelay) {
    std::size_t size = 1;
    while (size < static_cast<std::size_t>(maxDelay) + 2) size <<= 1;
    m_buf.assign(size, 0.0f);
    m_mask = size - 1;
    m_pos = 0;
  }
  void clear() {
    std::fill(m_buf.begin(), m_buf.end(), 0.0f);
    m_pos = 0;
  }
  float at(int delay) const { return m_buf[(m_pos - static_cast<std::size_t>(delay)) & m_mask]; }
  float atFraction(float delay) const {
    const int whole = static_cast<int>(delay);
    const float frac = delay - static_cast<float>(whole);
    const float a = at(whole);
    return a + (at(whole + 1) - a) * frac;
  }
  void push(float x) {
    m_buf[m_pos] = x;
    m_pos = (m_pos + 1) & m_mask;
  }

 private:
  std::vector<float> m_buf;
  std::size_t m_mask = 0;
  std::size_t m_pos = 0;
};

struct BiquadCoefs {
  float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// The usual second-order designs from the bilinear transform.
BiquadCoefs normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {static_cast<float>(b0 / a0), static_cast<float>(b1 / a0), static_cast<float>(b2 / a0),
          static_cast<float>(a1 / a0), static_cast<float>(a2 / a0)};
}

BiquadCoefs peakingCoefs(double hz, double q, double gainDb, int rate) {
  const double a = std::pow(10.0, gainDb / 40.0);
  const double w = 2 * kPi * hz / rate;
  const double alpha = std::sin(w) / (2 * q);
  const double c = std::cos(w);
  return normalised(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
}

BiquadCoefs lowPassCoefs(double hz, double q, int rate) {
  const double w = 2 * kPi * hz / rate;
  const double alpha = std::sin(w) / (2 * q);
  const double c = std::cos(w);
  return normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

// Transposed direct form II: two state values, good behaviour in float.
class Biquad {
 public:
  void init(const BiquadCoefs& c) {
    m_c = c;
    clear();
  }
  void clear() { m_z1 = m_z2 = 0; }
  float process(float x) {
    const float y = m_c.b0 * x + m_z1;
    m_z1 = flush(m_c.b1 * x - m_c.a1 * y + m_z2);
    m_z2 = flush(m_c.b2 * x - m_c.a2 * y);
    return y;
  }

 private:
  BiquadCoefs m_c;
  float m_z1 = 0, m_z2 = 0;
};

// A sine and its quadrature from a rotating phasor: a few multiplies per step
// instead of two sin() calls. The correction factor keeps it on the unit
// circle so the amplitude does not drift over hours of play.
class QuadratureLfo {
 public:
  void init(double hz, int rate) {
    const double w = 2 * kPi * hz / rate;
    m_stepCos = static_cast<float>(std::cos(w));
    m_stepSin = static_cast<float>(std::sin(w));
    clear();
  }
  void clear() {
    m_cos = 1;
    m_sin = 0;
  }
  float sine() const { return m_sin; }
  float cosine() const { return m_cos; }
  void step() {
    const float c = m_cos * m_stepCos - m_sin * m_stepSin;
    const float s = m_cos * m_stepSin + m_sin * m_stepCos;
    const float g = 1.5f - 0.5f * (c * c + s * s);
    m_cos = c * g;
    m_sin = s * g;
  }

 private:
  float m_stepCos = 1, m_stepSin = 0, m_cos = 1, m_sin = 0;
};

// Schroeder all-pass: flat magnitude, smears the phase to thicken a reverb.
class AllPass {
 public:
  void init(int length, float gain) {
    m_line.init(length);
    m_gain = gain;
  }
  void clear() { m_line.clear(); }
  float process(float x) {
    const float delayed = m_line.out();
    const float w = flush(x + m_gain * delayed);
    m_line.push(w);
    return delayed - m_gain * w;
  }

 private:
  FixedDelay m_line;
  float m_gain = 0;
};

// Feedback comb with a one-pole low-pass in the loop, so that high
// frequencies die away sooner than low ones as in a real hall.
class DampedComb {
 public:
  void init(int length, float feedback, float damping) {
    m_line.init(length);
    m_feedback = feedback;
    m_damping = damping;
    m_filter = 0;
  }
  void clear() {
    m_line.clear();
    m_filter = 0;
  }
  float process(float x) {
    const float y = m_line.out();
    m_filter = flush(y + (m_filter - y) * m_damping);
    m_line.push(x + m_filter * m_feedback);
    return y;
  }

 private:
  FixedDelay m_line;
  float m_feedback = 0, m_damping = 0, m_filter = 0;
};

// Feedback gain of a loop `length` samples long so that the sound falls by
// 60 dB in `decaySeconds`.
float loopGainFor(int length, double decaySeconds, int rate) {
  return static_cast<float>(std::pow(10.0, -3.0 * length / (decaySeconds * rate)));
}

// The frame loop shared by every effect; Derived::frame works on one
// left/right pair in place. Static dispatch keeps the per-frame call inlined.
template <class Derived>
class StereoEffect : public Effect {
 public:
  void process(std::int16_t* stereo, std::size_t frames) override {
    auto& self = static_cast<Derived&>(*this);
    for (std::size_t i = 0; i < frames; ++i) {
      float l = stereo[2 * i] * kToFloat;
      float r = stereo[2 * i + 1] * kToFloat;
      self.frame(l, r);
      stereo[2 * i] = toSample(l);
      stereo[2 * i + 1] = toSample(r);
    }
  }
};

// Chorus and flanger are one structure with different numbers: a delayed
// copy whose delay a sine sweeps (the right side a quarter turn behind the
// left), part of it fed back, mixed with the dry sound.
struct SweepParams {
  double centreSeconds;
  double swingSeconds;
  double lfoHz;
  float feedback;
  float wetMix;
};

// Chorus: 16 ms delay swept by +/-10% (1.6 ms) at 1.1 Hz, 25% feedback,
// half wet and half dry.
constexpr SweepParams kChorusParams{0.016, 0.0016, 1.1, 0.25f, 0.5f};
// Flanger: 2 ms delay swept by +/-100% at 0.25 Hz (from one sample up to
// 4 ms), -50% feedback for the hollow sound, half wet and half dry.
constexpr SweepParams kFlangerParams{0.002, 0.002, 0.25, -0.5f, 0.5f};

class SweptDelay : public StereoEffect<SweptDelay> {
 public:
  SweptDelay(const SweepParams& p, int rate)
      : m_centre(1.0f + static_cast<float>(p.centreSeconds * rate)),  // never below one sample
        m_swing(static_cast<float>(p.swingSeconds * rate)),
        m_feedback(p.feedback),
        m_mix(p.wetMix) {
    for (auto& line : m_lines) line.init(static_cast<int>(m_centre + m_swing) + 2);
    m_lfo.init(p.lfoHz, rate);
  }
  void reset() override {
    for (auto& line : m_lines) line.clear();
    m_lfo.clear();
  }
  void frame(float& l, float& r) {
    l = voice(m_lines[0], l, m_centre + m_swing * m_lfo.sine());
    r = voice(m_lines[1], r, m_centre + m_swing * m_lfo.cosine());
    m_lfo.step();
  }

 private:
  float voice(TapDelay& line, float x, float delay) const {
    const float wet = line.atFraction(delay);
    line.push(flush(x + m_feedback * wet));
    return x + (wet - x) * m_mix;
  }

  std::array<TapDelay, 2> m_lines;
  QuadratureLfo m_lfo;
  float m_centre, m_swing, m_feedback, m_mix;
};

// Compressor: threshold -20 dBFS, ratio 3:1, attack 10 ms, release 200 ms,
// +6 dB make-up so that the quieter result is not simply softer. One peak
// detector for both sides keeps the stereo image where it was.
class Compressor : public StereoEffect<Compressor> {
  static constexpr float kThreshold = 0.1f;            // -20 dBFS
  static constexpr float kSlope = 1.0f / 3.0f - 1.0f;  // 3:1 above the threshold
  static constexpr float kMakeUp = 1.99526231f;        // +6 dB

 public:
  explicit Compressor(int rate)
      : m_attack(static_cast<float>(std::exp(-1.0 / (0.010 * rate)))),
        m_release(static_cast<float>(std::exp(-1.0 / (0.200 * rate)))) {}
  void reset() override { m_envelope = 0; }
  void frame(float& l, float& r) {
    const float peak = std::max(std::fabs(l), std::fabs(r));
    const float coef = peak > m_envelope ? m_attack : m_release;
    m_envelope = flush(peak + (m_envelope - peak) * coef);
    float gain = kMakeUp;
    if (m_envelope > kThreshold) gain *= std::pow(m_envelope / kThreshold, kSlope);
    l *= gain;
    r *= gain;
  }

 private:
  float m_attack, m_release;
  float m_envelope = 0;
};

// Distortion: 18 dB of drive into a soft clipper (a rational tanh curve),
// a 4.5 kHz Butterworth low-pass to take the fizz off the new harmonics,
// then -6 dB so the result sits at about the level of loud music.
class Distortion : public StereoEffect<Distortion> {
  static constexpr float kDrive = 7.94328235f;  // +18 dB
  static constexpr float kOutput = 0.5f;

 public:
  explicit Distortion(int rate) {
    const auto coefs = lowPassCoefs(std::min(4500.0, 0.4 * rate), 0.70710678, rate);
    for (auto& f : m_filters) f.init(coefs);
  }
  void reset() override {
    for (auto& f : m_filters) f.clear();
  }
  void frame(float& l, float& r) {
    l = m_filters[0].process(softClip(l * kDrive)) * kOutput;
    r = m_filters[1].process(softClip(r * kDrive)) * kOutput;
  }

 private:
  // Close to tanh, odd, reaches exactly +/-1 with zero slope at +/-3.
  static float softClip(float x) {
    if (x >= 3.0f) return 1.0f;
    if (x <= -3.0f) return -1.0f;
    const float x2 = x * x;
    return x * (27.0f + x2) / (27.0f + 9.0f * x2);
  }

  std::array<Biquad, 2> m_filters;
};

// Echo: 500 ms on each side, every repeat fed back at 50%, half wet and half
// dry: an impulse comes back at half its level after 500 ms, then a quarter...
class Echo : public StereoEffect<Echo> {
  static constexpr float kFeedback = 0.5f;
  static constexpr float kMix = 0.5f;

 public:
  explicit Echo(int rate) {
    for (auto& line : m_lines) line.init(samplesFor(0.5, rate));
  }
  void reset() override {
    for (auto& line : m_lines) line.clear();
  }
  void frame(float& l, float& r) {
    l = voice(m_lines[0], l);
    r = voice(m_lines[1], r);
  }

 private:
  static float voice(FixedDelay& line, float x) {
    const float wet = line.out();
    line.push(flush(x + kFeedback * wet));
    return x + (wet - x) * kMix;
  }

  std::array<FixedDelay, 2> m_lines;
};

// Gargle: the amplitude swept by a 20 Hz triangle from silence to full and
// back, both sides together.
class Gargle : public StereoEffect<Gargle> {
 public:
  explicit Gargle(int rate) : m_step(20.0 / rate) {}
  void reset() override { m_phase = 0; }
  void frame(float& l, float& r) {
    const float gain = static_cast<float>(1.0 - std::fabs(2.0 * m_phase - 1.0));
    l *= gain;
    r *= gain;
    m_phase += m_step;
    if (m_phase >= 1.0) m_phase -= 1.0;
  }

 private:
  double m_step;
  double m_phase = 0;
};

// Parametric equaliser: one peaking band at 8 kHz, Q 1, +6 dB: a presence
// lift. At low sample rates the centre moves to 0.4 of the rate to stay
// below the Nyquist frequency.
class ParamEq : public StereoEffect<ParamEq> {
 public:
  explicit ParamEq(int rate) {
    const auto coefs = peakingCoefs(std::min(8000.0, 0.4 * rate), 1.0, 6.0, rate);
    for (auto& f : m_filters) f.init(coefs);
  }
  void reset() override {
    for (auto& f : m_filters) f.clear();
  }
  void frame(float& l, float& r) {
    l = m_filters[0].process(l);
    r = m_filters[1].process(r);
  }

 private:
  std::array<Biquad, 2> m_filters;
};

// I3DL2-style room: early reflections from a tapped delay of each side
// (7..44 ms, different taps left and right, some inverted as from opposite
// walls), and a late reverb fed the mono sum 10 ms late: two diffusing
// all-passes into a four-line feedback delay network with a Hadamard mix,
// 0.8 s decay time, highs damped in the loop. Dry 0 dB, late reverb -10 dB.
class RoomReverb : public StereoEffect<RoomReverb> {
  struct Tap {
    double seconds;
    float gain;
  };
  static constexpr std::array<Tap, 6> kLeftTaps{{{0.0070, 0.60f},
                                                 {0.0119, -0.45f},
                                                 {0.0173, 0.38f},
                                                 {0.0239, 0.31f},
                                                 {0.0311, -0.25f},
                                                 {0.0413, 0.20f}}};
  static constexpr std::array<Tap, 6> kRightTaps{{{0.0077, 0.58f},
                                                  {0.0131, 0.44f},
                                                  {0.0191, -0.37f},
                                                  {0.0257, 0.30f},
                                                  {0.0337, 0.24f},
                                                  {0.0439, -0.19f}}};
  static constexpr double kEarlyMaxSeconds = 0.045;
  static constexpr double kLateDelaySeconds = 0.010;
  static constexpr std::array<double, 4> kLineSeconds{0.0297, 0.0371, 0.0411, 0.0437};
  static constexpr double kDecaySeconds = 0.8;
  static constexpr float kDamping = 0.3f;
  static constexpr float kLateInput = 0.35f;
  static constexpr float kLateOutput = 0.316f;  // -10 dB

 public:
  explicit RoomReverb(int rate) : m_lateDelay(samplesFor(kLateDelaySeconds, rate)) {
    for (auto& line : m_early) line.init(samplesFor(kEarlyMaxSeconds, rate));
    for (std::size_t i = 0; i < kLeftTaps.size(); ++i) {
      m_leftTaps[i] = samplesFor(kLeftTaps[i].seconds, rate);
      m_rightTaps[i] = samplesFor(kRightTaps[i].seconds, rate);
    }
    m_diffusers[0].init(samplesFor(0.0047, rate), 0.6f);
    m_diffusers[1].init(samplesFor(0.0031, rate), 0.6f);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
      const int length = samplesFor(kLineSeconds[i], rate);
      m_lines[i].init(length);
      m_lineGains[i] = loopGainFor(length, kDecaySeconds, rate);
    }
  }
  void reset() override {
    for (auto& line : m_early) line.clear();
    for (auto& d : m_diffusers) d.clear();
    for (auto& line : m_lines) line.clear();
    m_damped.fill(0);
  }
  void frame(float& l, float& r) {
    m_early[0].push(l);
    m_early[1].push(r);
    float earlyL = 0, earlyR = 0;
    for (std::size_t i = 0; i < kLeftTaps.size(); ++i) {
      earlyL += kLeftTaps[i].gain * m_early[0].at(m_leftTaps[i]);
      earlyR += kRightTaps[i].gain * m_early[1].at(m_rightTaps[i]);
    }
    const float in = 0.5f * (m_early[0].at(m_lateDelay) + m_early[1].at(m_lateDelay));
    const float diffused = m_diffusers[1].process(m_diffusers[0].process(in)) * kLateInput;

    std::array<float, 4> out;
    for (std::size_t i = 0; i < 4; ++i) {
      out[i] = m_lines[i].out();
      m_damped[i] = flush(out[i] + (m_damped[i] - out[i]) * kDamping);
    }
    const auto& d = m_damped;
    const std::array<float, 4> mixed{0.5f * (d[0] + d[1] + d[2] + d[3]), 0.5f * (d[0] - d[1] + d[2] - d[3]),
                                     0.5f * (d[0] + d[1] - d[2] - d[3]), 0.5f * (d[0] - d[1] - d[2] + d[3])};
    for (std::size_t i = 0; i < 4; ++i) m_lines[i].push(diffused + m_lineGains[i] * mixed[i]);

    l += earlyL + kLateOutput * (out[0] + out[2]);
    r += earlyR + kLateOutput * (out[1] + out[3]);
  }

 private:
  std::array<TapDelay, 2> m_early;
  std::array<int, 6> m_leftTaps{}, m_rightTaps{};
  int m_lateDelay;
  std::array<AllPass, 2> m_diffusers;
  std::array<FixedDelay, 4> m_lines;
  std::array<float, 4> m_lineGains{}, m_damped{};
};

// Music-hall reverb: per side eight damped combs in parallel (24.7..36.3 ms;
// the right side's 0.53 ms longer so the two sides decorrelate into a wide
// image) then four all-passes in series, 2.2 s decay time. Fed the mono sum,
// mixed in at -10 dB over the dry sound.
class HallReverb : public StereoEffect<HallReverb> {
  static constexpr std::array<double, 8> kCombSeconds{0.0247, 0.0263, 0.0281, 0.0299,
                                                      0.0313, 0.0331, 0.0347, 0.0363};
  static constexpr std::array<double, 4> kAllPassSeconds{0.0119, 0.0091, 0.0067, 0.0043};
  static constexpr double kSpreadSeconds = 0.00053;
  static constexpr double kDecaySeconds = 2.2;
  static constexpr float kDamping = 0.35f;
  // Eight combs add up to about 6.5 times the power of their input; this
  // brings the bank back to roughly unity before the wet level is applied.
  static constexpr float kInputGain = 0.15f;
  static constexpr float kWet = 0.316f;  // -10 dB

  struct Side {
    std::array<DampedComb, 8> combs;
    std::array<AllPass, 4> allPasses;
  };

 public:
  explicit HallReverb(int rate) {
    for (std::size_t s = 0; s < m_sides.size(); ++s) {
      const double spread = s == 0 ? 0.0 : kSpreadSeconds;
      for (std::size_t i = 0; i < kCombSeconds.size(); ++i) {
        const int length = samplesFor(kCombSeconds[i] + spread, rate);
        m_sides[s].combs[i].init(length, loopGainFor(length, kDecaySeconds, rate), kDamping);
      }
      for (std::size_t i = 0; i < kAllPassSeconds.size(); ++i)
        m_sides[s].allPasses[i].init(samplesFor(kAllPassSeconds[i] + spread, rate), 0.5f);
    }
  }
  void reset() override {
    for (auto& side : m_sides) {
      for (auto& c : side.combs) c.clear();
      for (auto& a : side.allPasses) a.clear();
    }
  }
  void frame(float& l, float& r) {
    const float in = (l + r) * (0.5f * kInputGain);
    l += kWet * wet(m_sides[0], in);
    r += kWet * wet(m_sides[1], in);
  }

 private:
  static float wet(Side& side, float in) {
    float sum = 0;
    for (auto& c : side.combs) sum += c.process(in);
    for (auto& a : side.allPasses) sum = a.process(sum);
    return sum;
  }

  std::array<Side, 2> m_sides;
};

}  // namespace

std::unique_ptr<Effect> MakeEffect(int type, int sampleRate) {
  const int rate = std::clamp(sampleRate, kFxMinSampleRate, kFxMaxSampleRate);
  switch (type) {
    case kFxChorus:
      return std::make_unique<SweptDelay>(kChorusParams, rate);
    case kFxCompressor:
      return std::make_unique<Compressor>(rate);
    case kFxDistortion:
      return std::make_unique<Distortion>(rate);
    case kFxEcho:
      return std::make_unique<Echo>(rate);
    case kFxFlanger:
      return std::make_unique<SweptDelay>(kFlangerParams, rate);
    case kFxGargle:
      return std::make_unique<Gargle>(rate);
    case kFxI3dl2Reverb:
      return std::make_unique<RoomReverb>(rate);
    case kFxParamEq:
      return std::make_unique<ParamEq>(rate);
    case kFxReverb:
      return std::make_unique<HallReverb>(rate);
    default:
      return nullptr;
  }
}

}  // namespace pagemoor::audio
