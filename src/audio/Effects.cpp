// The nine effects by type number. Each is a small processor of our own with
// fixed parameters: the magazines only switch an effect on or off, so nothing
// here is adjustable while it runs.
//
// Every effect runs on every block of a playing channel, so they are written
// for the compiler's vectoriser: a block is converted to two float arrays
// (left, right) in sample units, each stage is a plain loop over those arrays
// with no branch per frame, and the result is rounded and saturated back to
// 16 bits in one more loop. (Echo and gargle treat both sides alike and work
// straight on the interleaved samples.) Delay lines are straight runs of
// memory (see History) so that reading a run of delayed values is a
// contiguous load.
//
// At -O2 GCC vectorises a loop only when the vector code replaces the scalar
// loop entirely: no runtime check that two pointers do not overlap, and a trip
// count known to be a multiple of the vector width. So each such loop sits in
// a kernel function whose pointers are __restrict (kept out of line: once
// inlined next to a read and a write into the same delay line, the compiler
// sees one base pointer and wants the overlap check after all; and flattened,
// so that the body is inlined into its loop), and forFrames() runs the body
// over the largest multiple of four frames, then over the rest one by one.
// A float clamp followed by more arithmetic also stops it (the compiler
// splits the arithmetic into a branch for the clamped case), so clamps come
// last, or on the bits of positive floats, which order like integers.
#include "audio/Effects.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PAGEMOOR_FX_SSE2 1
#endif

namespace pagemoor::audio {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Frames converted to float and worked on at a time: the working arrays of
// the largest effect still fit in the first-level cache.
constexpr std::size_t kChunk = 256;

// The floating-point mode while an effect runs, the caller's put back after.
//
// A recirculating delay left alone in silence decays into denormal floats,
// which cost some processors a hundred times more per operation. Rather than
// testing every value written to a feedback path, results that would be
// denormal are flushed to zero in hardware. Such values lie far below the
// last bit of the 16-bit output, so the sound is the same. Rounding is set to
// nearest, which the conversion back to 16 bits relies on. Where there is no
// such switch the effects still work, only slower in long silent tails.
class FloatMode {
#ifdef PAGEMOOR_FX_SSE2
 public:
  FloatMode() : m_saved(_mm_getcsr()) {
    _mm_setcsr((m_saved & ~kRounding) | kFlushToZero);
  }
  ~FloatMode() {
    _mm_setcsr(m_saved);
  }
  FloatMode(const FloatMode&) = delete;
  FloatMode& operator=(const FloatMode&) = delete;

 private:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kRounding = 0x6000;  // both clear: to nearest
  unsigned m_saved;
#endif
};

// Nearest integer (ties to even) for |x| < 2^22: adding 1.5 * 2^23 pushes the
// fraction out of the mantissa. Unlike lround this vectorises.
inline float roundToInteger(float x) {
  constexpr float kShift = 12582912.0f;
  return (x + kShift) - kShift;
}

// Any float, however large, ends inside the 16-bit range, and a NaN at its
// bottom. Same result as toSamples() below, frame for frame.
inline std::int16_t toSample(float v) {
  v = roundToInteger(v);
  v = v > -32768.0f ? v : -32768.0f;
  v = v < 32767.0f ? v : 32767.0f;
  return static_cast<std::int16_t>(v);
}

template <class Body>
inline void forFrames(std::size_t n, Body&& body) {
  const std::size_t whole = n & ~std::size_t{3};
  std::size_t i = 0;
  for (; i < whole; ++i) body(i);
  for (; i < n; ++i) body(i);
}

// The same for a body that reads and writes through more pointers than
// __restrict parameters can sensibly name, when the caller knows that no
// frame reads what another frame of the run writes.
template <class Body>
inline void forIndependentFrames(std::size_t n, Body&& body) {
  const std::size_t whole = n & ~std::size_t{3};
  std::size_t i = 0;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC ivdep
#endif
  for (; i < whole; ++i) body(i);
  for (; i < n; ++i) body(i);
}

// ---- Conversions between 16-bit samples and floats ----
//
// These four are written with SSE2, which every x86-64 processor has: the
// compiler's own vectorisation of the clamp and the narrowing to 16 bits
// takes several times the instructions of one saturating pack, and with five
// effects on a channel the conversions are done ten times per block. The
// plain loops after them do the remainder, and everything elsewhere.

#ifdef PAGEMOOR_FX_SSE2
// Four floats to four 32-bit integers, rounded to nearest (FloatMode sees to
// the rounding); the pack to 16 bits that follows saturates. No effect here
// comes anywhere near the 32-bit range (none has a loop gain of one or more,
// and their inputs are 16-bit), so the conversion never overflows and gives
// what toSample() gives. A NaN, which none makes either, would end at the
// bottom of the range in both.
inline __m128i toSamples(__m128 v) {
  return _mm_cvtps_epi32(v);
}
#endif

// Interleaved samples to a left and a right array.
void split(const std::int16_t* stereo, float* l, float* r, std::size_t n) {
  std::size_t i = 0;
#ifdef PAGEMOOR_FX_SSE2
  for (; i + 4 <= n; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stereo + 2 * i));
    _mm_storeu_ps(l + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16)));
    _mm_storeu_ps(r + i, _mm_cvtepi32_ps(_mm_srai_epi32(v, 16)));
  }
#endif
  for (; i < n; ++i) {
    l[i] = stereo[2 * i];
    r[i] = stereo[2 * i + 1];
  }
}

// A left and a right array back to interleaved samples.
void join(std::int16_t* stereo, const float* l, const float* r, std::size_t n) {
  std::size_t i = 0;
#ifdef PAGEMOOR_FX_SSE2
  for (; i + 4 <= n; i += 4) {
    const __m128i left = toSamples(_mm_loadu_ps(l + i));
    const __m128i right = toSamples(_mm_loadu_ps(r + i));
    const __m128i v = _mm_packs_epi32(_mm_unpacklo_epi32(left, right), _mm_unpackhi_epi32(left, right));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(stereo + 2 * i), v);
  }
#endif
  for (; i < n; ++i) {
    stereo[2 * i] = toSample(l[i]);
    stereo[2 * i + 1] = toSample(r[i]);
  }
}

#ifdef PAGEMOOR_FX_SSE2
// Eight samples to two vectors of floats, in the same order.
inline void load8(const std::int16_t* samples, __m128& low, __m128& high) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples));
  low = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
  high = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16));
}

inline void store8(std::int16_t* samples, __m128 low, __m128 high) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(samples), _mm_packs_epi32(toSamples(low), toSamples(high)));
}
#endif

// ---- Kernels: the loops that carry the work, one per stage ----

// out += gain * from
[[gnu::noinline, gnu::flatten]] void addScaled(float* __restrict out, const float* __restrict from,
                                               float gain, std::size_t n) {
  forFrames(n, [&](std::size_t i) { out[i] += gain * from[i]; });
}

// out = gain * (a + b)
[[gnu::noinline, gnu::flatten]] void sumScaled(float* __restrict out, const float* __restrict a,
                                               const float* __restrict b, float gain, std::size_t n) {
  forFrames(n, [&](std::size_t i) { out[i] = gain * (a[i] + b[i]); });
}

// Schroeder all-pass over n values of x in place; delayed[i] is the line's
// value `length` frames before w[i], and n <= length.
[[gnu::noinline, gnu::flatten]] void allPassRun(float* __restrict w, const float* __restrict delayed,
                                                float* __restrict x, float g, std::size_t n) {
  forFrames(n, [&](std::size_t i) {
    const float d = delayed[i];
    const float s = x[i] + g * d;
    w[i] = s;
    x[i] = d - g * s;
  });
}

int samplesFor(double seconds, int rate) {
  return std::max(1, static_cast<int>(std::lround(seconds * rate)));
}

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
float loopGainFor(int length, double decaySeconds, int rate) {
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
std::size_t roomFor(std::size_t keep) {
  return std::max<std::size_t>(4 * keep, 4096);
}

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

// Schroeder all-pass: flat magnitude, smears the phase to thicken a reverb.
// Runs in place on up to length() values at a time: then every delayed value
// it reads was written before the run.
class AllPass {
 public:
  void init(int length, float gain) {
    m_length = static_cast<std::size_t>(length);
    m_gain = gain;
    m_line.init(m_length, roomFor(m_length));
  }
  void clear() { m_line.clear(); }
  std::size_t length() const { return m_length; }
  void run(float* x, std::size_t n) {
    float* w = m_line.reserve(n);
    allPassRun(w, w - m_length, x, m_gain, n);
    m_line.advance(n);
  }

 private:
  History m_line;
  std::size_t m_length = 1;
  float m_gain = 0;
};

// Unnormalised Walsh-Hadamard mixes (the gain is sqrt(N)): every output is a
// mix of every input with equal weight, which is what makes a feedback
// network's echoes multiply quickly.
inline void hadamard(float (&a)[4]) {
  const float s0 = a[0] + a[1], d0 = a[0] - a[1];
  const float s1 = a[2] + a[3], d1 = a[2] - a[3];
  a[0] = s0 + s1;
  a[1] = d0 + d1;
  a[2] = s0 - s1;
  a[3] = d0 - d1;
}

inline void hadamard(float (&a)[8]) {
  float lo[4] = {a[0], a[1], a[2], a[3]};
  float hi[4] = {a[4], a[5], a[6], a[7]};
  hadamard(lo);
  hadamard(hi);
  a[0] = lo[0] + hi[0];
  a[1] = lo[1] + hi[1];
  a[2] = lo[2] + hi[2];
  a[3] = lo[3] + hi[3];
  a[4] = lo[0] - hi[0];
  a[5] = lo[1] - hi[1];
  a[6] = lo[2] - hi[2];
  a[7] = lo[3] - hi[3];
}

// One run of a feedback network, all frames at once. Line k's output at
// frame j of the run is out[k][j] (out[k][j - 1] the one before), and what
// goes into it is written to back[k][j]. The run is no longer than the
// shortest line, so every output was written before the run began.
template <std::size_t N>
struct NetworkRun {
  std::array<const float*, N> out;
  std::array<float*, N> back;
  std::array<float, N> now;     // per line: weight of the current output
  std::array<float, N> before;  // per line: weight of the one before
};

template <std::size_t N, unsigned kNegated>
[[gnu::noinline, gnu::flatten]] void networkRun(const NetworkRun<N>& run, const float* __restrict in,
                                                float* __restrict wetL, float* __restrict wetR, float outGain,
                                                std::size_t n) {
  const float* out[N];
  float* back[N];
  float now[N], before[N];
  for (std::size_t k = 0; k < N; ++k) {
    out[k] = run.out[k];
    back[k] = run.back[k];
    now[k] = run.now[k];
    before[k] = run.before[k];
  }
  forIndependentFrames(n, [&](std::size_t j) {
    float a[N];
#pragma GCC unroll 8
    for (std::size_t k = 0; k < N; ++k) a[k] = now[k] * out[k][j] + before[k] * out[k][j - 1];
    hadamard(a);
#pragma GCC unroll 8
    for (std::size_t k = 0; k < N; ++k) back[k][j] = (kNegated >> k) & 1 ? a[k] - in[j] : a[k] + in[j];
    float left = 0, right = 0;
#pragma GCC unroll 4
    for (std::size_t k = 0; k < N; k += 2) {
      left += out[k][j];
      right += out[k + 1][j];
    }
    wetL[j] = outGain * left;
    wetR[j] = outGain * right;
  });
}

// A feedback delay network: N delay lines whose outputs are damped, mixed by
// a Hadamard matrix (energy preserving, so the loop gains alone set the
// decay) and fed back together with the mono input, which the lines whose
// bit is set in kNegated take inverted. The left output is the sum of the
// even lines, the right of the odd ones: two different mixes of the same
// modes, which is what makes the sound wide.
//
// The damping is a two-tap average of each line's last two outputs, weighted
// per line so that the top of the band dies `topDecaySeconds` after a sound
// and the bottom `decaySeconds` after, as in a real room where air and walls
// absorb the highs first. A two-tap filter has no recursion, so unlike a
// one-pole it vectorises over time.
template <std::size_t N, unsigned kNegated = 0>
class FeedbackNetwork {
 public:
  void init(const std::array<int, N>& lengths, double decaySeconds, double topDecaySeconds, int rate) {
    const float norm = 1.0f / std::sqrt(static_cast<float>(N));
    for (std::size_t k = 0; k < N; ++k) {
      const int length = lengths[k];
      m_length[k] = static_cast<std::size_t>(length);
      m_lines[k].init(m_length[k] + 1, roomFor(m_length[k] + 1));
      const float gain = loopGainFor(length, decaySeconds, rate);
      // At the top of the band the two taps cancel down to `top`.
      const float top = std::min(1.0f, loopGainFor(length, topDecaySeconds, rate) / gain);
      m_run.now[k] = gain * norm * 0.5f * (1.0f + top);
      m_run.before[k] = gain * norm * 0.5f * (1.0f - top);
    }
    m_shortest = std::min(kChunk, *std::min_element(m_length.begin(), m_length.end()));
  }
  void clear() {
    for (auto& line : m_lines) line.clear();
  }
  // The longest run() takes.
  std::size_t shortest() const { return m_shortest; }

  // What run() will give for the next frame, without running it.
  void peek(float& wetL, float& wetR, float outGain) {
    float left = 0, right = 0;
    for (std::size_t k = 0; k < N; k += 2) {
      left += *(m_lines[k].reserve(1) - m_length[k]);
      right += *(m_lines[k + 1].reserve(1) - m_length[k + 1]);
    }
    wetL = outGain * left;
    wetR = outGain * right;
  }

  // Feeds `in`, writes outGain times the outputs to wetL and wetR;
  // n <= shortest().
  void run(const float* in, float* wetL, float* wetR, float outGain, std::size_t n) {
    for (std::size_t k = 0; k < N; ++k) {
      m_run.back[k] = m_lines[k].reserve(n);
      m_run.out[k] = m_run.back[k] - m_length[k];
    }
    networkRun<N, kNegated>(m_run, in, wetL, wetR, outGain, n);
    for (auto& line : m_lines) line.advance(n);
  }

 private:
  std::array<History, N> m_lines;
  std::array<std::size_t, N> m_length{};
  NetworkRun<N> m_run{};
  std::size_t m_shortest = 1;
};

// The block loop shared by most effects: Derived::run works on up to kChunk
// frames as two float arrays in sample units (-32768..32767), in place.
template <class Derived>
class BlockEffect : public Effect {
 public:
  void process(std::int16_t* stereo, std::size_t frames) override {
    FloatMode mode;
    alignas(16) float l[kChunk], r[kChunk];
    auto& self = static_cast<Derived&>(*this);
    while (frames > 0) {
      const std::size_t n = std::min(frames, kChunk);
      split(stereo, l, r, n);
      self.run(l, r, n);
      join(stereo, l, r, n);
      stereo += 2 * n;
      frames -= n;
    }
  }
};

// Chorus and flanger are one structure with different numbers: a delayed
// copy whose delay a sine sweeps (the right side a quarter turn ahead of the
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

// One run of a swept delay. At frame i of the run the delay is
// max(start + (first + i) * slope, 1) (first + i counts from the segment's
// start, so a frame's delay does not depend on where a run began), and the
// two values it falls between are window[i] and window[i + 1], `top` frames
// and one frame less behind the write point: top - delay is 0..1, give or
// take a hundredth.
struct SweepRun {
  float start, slope, top, feedback, mix;
};

// 0, 1, 2... as floats: adding one to a whole number as a float is exact,
// and a load is cheaper than converting a vector of frame numbers.
constexpr std::array<float, kChunk> kCount = [] {
  std::array<float, kChunk> count{};
  for (std::size_t i = 0; i < kChunk; ++i) count[i] = static_cast<float>(i);
  return count;
}();

// For runs at least a few frames behind the write point, where the delay is
// well above one frame and needs no clamp: top - delay is then
// (top - start) - (first + i) * slope. n <= kChunk.
[[gnu::noinline, gnu::flatten]] void sweepRun(float* __restrict w, const float* __restrict window,
                                              float* __restrict x, const SweepRun& p, int first,
                                              std::size_t n) {
  const float reach = p.top - p.start, slope = p.slope, feedback = p.feedback, mix = p.mix;
  const auto from = static_cast<float>(first);
  forFrames(n, [&](std::size_t i) {
    const float t = reach - (from + kCount[i]) * slope;
    const float a = window[i];
    const float wet = a + t * (window[i + 1] - a);
    const float in = x[i];
    w[i] = in + feedback * wet;
    x[i] = in + (wet - in) * mix;
  });
}

// The same frame by frame, for a delay so short that the frames of a run
// would read what the run itself writes: each frame then waits for the ones
// just before it, so the path from one frame's output to the next is kept to
// one multiply and one add (the weights do not depend on the signal). Which
// frames go this way depends only on their pair, so that this and sweepRun()
// need not agree to the bit.
[[gnu::noinline]] void sweepFrames(float* w, float* x, const SweepRun& p, int first, std::size_t n) {
  const float start = p.start, slope = p.slope, top = p.top, feedback = p.feedback, mix = p.mix;
  const auto back = static_cast<std::size_t>(top);
  for (std::size_t i = 0; i < n; ++i) {
    const float delay = std::max(start + static_cast<float>(first + static_cast<int>(i)) * slope, 1.0f);
    const float t = top - delay;
    const float nearWeight = feedback * t, farWeight = feedback - nearWeight;
    const float in = x[i];
    const float a = w[i - back], b = w[i - back + 1];
    w[i] = (in + farWeight * a) + nearWeight * b;
    const float wet = a + t * (b - a);
    x[i] = in + (wet - in) * mix;
  }
}

// The sine is evaluated only every kSegment frames (by turning a phasor) and
// the delay moves in a straight line in between: at these sweep rates the
// line strays from the sine by at most a hundredth of a sample (the chorus at
// 44.1 kHz; under a tenth at 8 kHz). A frame whose delay is d reads the pair
// of values about ceil(d) and ceil(d) - 1 frames back and interpolates
// between them. As the delay moves slowly (the chorus by 0.011 samples a
// frame at most), that pair stays the same for dozens of frames or more:
// each such stretch is one run of the kernel, its reads one contiguous load.
// The frames where the pair moves are worked out once per segment from where
// the line crosses whole numbers; a float's rounding may put a change one
// frame off, which only means interpolating a hundredth of a sample past the
// pair's end. Segments count from the first frame the effect processed, so
// how the caller cuts its blocks does not change the sound.
class SweptDelay : public BlockEffect<SweptDelay> {
  static constexpr int kSegment = 256;
  // Up to this the runs would be too short to gain from the vector kernel;
  // above it the delay is far from the clamp at one frame.
  static constexpr int kShortBack = 8;
  // Room for the changes of pair in one segment: the steepest sweep, the
  // chorus's, crosses at most three whole numbers in 256 frames.
  static constexpr int kMostChanges = 8;

 public:
  SweptDelay(const SweepParams& p, int rate)
      : m_centre(1.0f + static_cast<float>(p.centreSeconds * rate)),  // never below one sample
        m_swing(static_cast<float>(p.swingSeconds * rate)),
        m_feedback(p.feedback),
        m_mix(p.wetMix) {
    const auto longest = static_cast<std::size_t>(std::ceil(m_centre + m_swing)) + 3;
    for (auto& v : m_voices) v.line.init(longest, roomFor(longest));
    const double turn = 2 * kPi * p.lfoHz * kSegment / rate;
    m_turnCos = static_cast<float>(std::cos(turn));
    m_turnSin = static_cast<float>(std::sin(turn));
    reset();
  }
  void reset() override {
    for (auto& v : m_voices) v.line.clear();
    m_cos = 1;
    m_sin = 0;
    m_segmentPos = 0;
  }
  void run(float* l, float* r, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
      if (m_segmentPos == 0) startSegment();
      const int m = static_cast<int>(std::min(n - done, static_cast<std::size_t>(kSegment - m_segmentPos)));
      sweep(m_voices[0], l + done, m_segmentPos, m_segmentPos + m);
      sweep(m_voices[1], r + done, m_segmentPos, m_segmentPos + m);
      m_segmentPos = (m_segmentPos + m) % kSegment;
      done += static_cast<std::size_t>(m);
    }
  }

 private:
  // One side's line and its delay over the current segment: at frame j of
  // the segment the delay is max(start + j * slope, 1). Stretch k of the
  // segment, from frame change[k - 1] (0 for the first) up to change[k]
  // (kSegment for the last), reads the pair beginning firstBack + k * step
  // frames back.
  struct Voice {
    History line;
    float start = 0, slope = 0;
    int firstBack = 2, step = 0, changes = 0;
    std::array<int, kMostChanges> change{};
  };

  // How far back the pair a delay reads from begins: the delay rounded up,
  // and at least two frames, so that the pair ends before the write point
  // even at a one-sample delay.
  static int backFor(float delay) { return std::max(2, roundUp(delay)); }

  // std::ceil for the small positive numbers here, without its care for
  // the whole float range.
  static int roundUp(float x) {
    const int whole = static_cast<int>(x);
    return whole + (static_cast<float>(whole) < x ? 1 : 0);
  }

  void startSegment() {
    // Turn the phasor to the next segment's start; renormalising each turn
    // keeps it on the unit circle over hours of play.
    float c = m_cos * m_turnCos - m_sin * m_turnSin;
    float s = m_cos * m_turnSin + m_sin * m_turnCos;
    const float g = 1.5f - 0.5f * (c * c + s * s);
    c *= g;
    s *= g;
    aim(m_voices[0], m_centre + m_swing * m_sin, m_centre + m_swing * s);
    aim(m_voices[1], m_centre + m_swing * m_cos, m_centre + m_swing * c);
    m_cos = c;
    m_sin = s;
  }

  static void aim(Voice& v, float from, float to) {
    v.start = from;
    v.slope = (to - from) / static_cast<float>(kSegment);
    const int first = backFor(from);
    const int last = backFor(std::max(from + static_cast<float>(kSegment - 1) * v.slope, 1.0f));
    v.firstBack = first;
    v.step = last > first ? 1 : -1;
    v.changes = std::min(std::abs(last - first), kMostChanges);
    if (v.changes == 0) return;
    const float perDelay = 1.0f / v.slope;  // the ends differ, so the slope is not zero
    for (int k = 0; k < v.changes; ++k) {
      // Rising, the pair moves back once the delay passes its far end;
      // falling, once the delay reaches its near end.
      const int back = first + k * v.step;
      const float edge = static_cast<float>(v.step > 0 ? back : back - 1);
      const float at = std::clamp((edge - v.start) * perDelay, 1.0f, static_cast<float>(kSegment - 1));
      v.change[static_cast<std::size_t>(k)] = roundUp(at);
    }
  }

  // The stretch of a side's segment that frame j is in: the pair it reads
  // from, and the first frame after j (and before end) that reads another.
  struct Stretch {
    int back, stop;
  };
  static Stretch stretchAt(const Voice& v, int j, int end) {
    int k = 0;
    while (k < v.changes && v.change[static_cast<std::size_t>(k)] <= j) ++k;
    return {v.firstBack + k * v.step,
            k < v.changes ? std::min(end, v.change[static_cast<std::size_t>(k)]) : end};
  }

  // One side over frames j..end - 1 of the current segment, in place.
  void sweep(Voice& v, float* x, int j, int end) const {
    while (j < end) {
      const Stretch stretch = stretchAt(v, j, end);
      sweepSide(v, stretch.back, x, j, stretch.stop);
      x += stretch.stop - j;
      j = stretch.stop;
    }
  }

  // One side over frames j..stop - 1, which all read the pair `back` frames
  // behind.
  void sweepSide(Voice& v, int back, float* x, int j, int stop) const {
    const SweepRun run{v.start, v.slope, static_cast<float>(back), m_feedback, m_mix};
    if (back <= kShortBack) {
      const auto frames = static_cast<std::size_t>(stop - j);
      sweepFrames(v.line.reserve(frames), x, run, j, frames);
      v.line.advance(frames);
      return;
    }
    while (j < stop) {
      // A run may only read values written before it: the pair reaches one
      // frame past the read point, so a run is at most back - 1 frames long.
      const int count = std::min(stop - j, back - 1);
      const auto frames = static_cast<std::size_t>(count);
      float* w = v.line.reserve(frames);
      sweepRun(w, w - back, x, run, j, frames);
      v.line.advance(frames);
      x += count;
      j += count;
    }
  }

  std::array<Voice, 2> m_voices;
  float m_centre, m_swing, m_feedback, m_mix;
  float m_turnCos = 1, m_turnSin = 0, m_cos = 1, m_sin = 0;
  int m_segmentPos = 0;
};

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

// The echo's whole work on n interleaved samples, converted on the way in
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

// The gain for a frame: the phase is a 32-bit fraction of a cycle that wraps
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

// Parametric equaliser: one peaking band at 8 kHz, Q 1, +6 dB: a presence
// lift. At low sample rates the centre moves to 0.4 of the rate to stay
// below the Nyquist frequency.
class ParamEq : public BlockEffect<ParamEq> {
 public:
  explicit ParamEq(int rate) { m_filter.init(peakingCoefs(std::min(8000.0, 0.4 * rate), 1.0, 6.0, rate)); }
  void reset() override { m_filter.clear(); }
  void run(float* l, float* r, std::size_t n) { m_filter.run(l, r, n); }

 private:
  StereoBiquad m_filter;
};

// I3DL2-style room: early reflections from a tapped delay of each side
// (7..44 ms, different taps left and right, some inverted as from opposite
// walls), and a late reverb fed the mono sum 10 ms late: two diffusing
// all-passes into a four-line feedback network, 0.8 s decay time, the highs
// gone in a quarter of that. Dry 0 dB, late reverb -10 dB.
class RoomReverb : public BlockEffect<RoomReverb> {
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
  static constexpr double kTopDecaySeconds = 0.2;
  static constexpr float kLateInput = 0.35f;
  static constexpr float kLateOutput = 0.316f;  // -10 dB

 public:
  explicit RoomReverb(int rate) : m_lateDelay(static_cast<std::size_t>(samplesFor(kLateDelaySeconds, rate))) {
    const auto keep = static_cast<std::size_t>(samplesFor(kEarlyMaxSeconds, rate));
    for (auto& side : m_early) side.init(keep, roomFor(keep));
    // A tap counts the current frame as the first of its delay.
    for (std::size_t i = 0; i < kLeftTaps.size(); ++i) {
      m_leftTaps[i] = static_cast<std::size_t>(samplesFor(kLeftTaps[i].seconds, rate)) - 1;
      m_rightTaps[i] = static_cast<std::size_t>(samplesFor(kRightTaps[i].seconds, rate)) - 1;
    }
    m_diffusers[0].init(samplesFor(0.0047, rate), 0.6f);
    m_diffusers[1].init(samplesFor(0.0031, rate), 0.6f);
    std::array<int, 4> lengths{};
    for (std::size_t k = 0; k < lengths.size(); ++k) lengths[k] = samplesFor(kLineSeconds[k], rate);
    m_late.init(lengths, kDecaySeconds, kTopDecaySeconds, rate);
    m_most = m_late.shortest();
    for (const auto& d : m_diffusers) m_most = std::min(m_most, d.length());
  }
  void reset() override {
    for (auto& side : m_early) side.clear();
    for (auto& d : m_diffusers) d.clear();
    m_late.clear();
  }
  void run(float* l, float* r, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
      const std::size_t m = std::min(n - done, m_most);
      runPart(l + done, r + done, m);
      done += m;
    }
  }

 private:
  void runPart(float* l, float* r, std::size_t n) {
    // The input goes into the early lines first, so every tap reads values
    // already there, whatever its delay.
    float* nowL = m_early[0].reserve(n);
    float* nowR = m_early[1].reserve(n);
    std::memcpy(nowL, l, n * sizeof(float));
    std::memcpy(nowR, r, n * sizeof(float));
    alignas(16) float late[kChunk];
    sumScaled(late, nowL - m_lateDelay, nowR - m_lateDelay, 0.5f * kLateInput, n);
    for (std::size_t t = 0; t < kLeftTaps.size(); ++t) {
      addScaled(l, nowL - m_leftTaps[t], kLeftTaps[t].gain, n);
      addScaled(r, nowR - m_rightTaps[t], kRightTaps[t].gain, n);
    }
    m_early[0].advance(n);
    m_early[1].advance(n);
    for (auto& d : m_diffusers) d.run(late, n);
    alignas(16) float wetL[kChunk], wetR[kChunk];
    m_late.run(late, wetL, wetR, kLateOutput, n);
    addScaled(l, wetL, 1.0f, n);
    addScaled(r, wetR, 1.0f, n);
  }

  std::array<History, 2> m_early;
  std::array<std::size_t, 6> m_leftTaps{}, m_rightTaps{};
  std::size_t m_lateDelay;
  std::array<AllPass, 2> m_diffusers;
  FeedbackNetwork<4> m_late;
  std::size_t m_most = 1;
};

// The mono input of a frame, gain * (l + r).
inline float monoOf(float l, float r, float gain) {
  return gain * (l + r);
}

// The average of the mono inputs of each pair of frames, for a line that
// runs at half rate.
[[gnu::noinline, gnu::flatten]] void halve(float* __restrict out, const float* __restrict l,
                                           const float* __restrict r, float gain, std::size_t n) {
  forFrames(n, [&](std::size_t i) {
    out[i] = 0.5f * (monoOf(l[2 * i], r[2 * i], gain) + monoOf(l[2 * i + 1], r[2 * i + 1], gain));
  });
}

// Back to full rate by straight lines: each side gains, per pair, the
// midpoint of w[i] and w[i + 1] and then w[i + 1] itself.
[[gnu::noinline, gnu::flatten]] void spread(float* __restrict l, float* __restrict r,
                                            const float* __restrict wL, const float* __restrict wR,
                                            std::size_t n) {
  forFrames(n, [&](std::size_t i) {
    l[2 * i] += 0.5f * (wL[i] + wL[i + 1]);
    l[2 * i + 1] += wL[i + 1];
    r[2 * i] += 0.5f * (wR[i] + wR[i + 1]);
    r[2 * i + 1] += wR[i + 1];
  });
}

// Music-hall reverb: the mono sum through two diffusing all-passes into an
// eight-line feedback network (24.7..57.1 ms), 2.2 s decay time at the bottom
// of the band and 0.25 s at the top. The left side hears the even lines, the
// right side the odd ones, each mixed in at -10 dB over the dry sound. The
// shortest line sets the first echo at 24.7 ms.
//
// The late sound runs at half the output rate, a pair of frames in, one
// value out, drawn back out by straight lines: it halves the work, and what
// it gives up is the top octave of a tail whose top octave dies within a
// quarter of a second anyway. Pairs count from the first frame the effect
// processed; a block that ends inside a pair leaves its first frame's input
// waiting (its output needs only the lines, which the pair does not change).
class HallReverb : public BlockEffect<HallReverb> {
  static constexpr std::array<double, 8> kLineSeconds{0.0247, 0.0293, 0.0331, 0.0379,
                                                      0.0413, 0.0461, 0.0517, 0.0571};
  static constexpr double kDecaySeconds = 2.2;
  static constexpr double kTopDecaySeconds = 0.25;
  static constexpr float kInputGain = 0.64f;
  static constexpr float kWet = 0.316f * 0.5f;  // -10 dB, shared by four lines a side
  static constexpr std::size_t kMostPairs = kChunk / 2;

 public:
  explicit HallReverb(int rate) {
    const int halfRate = rate / 2;
    m_diffusers[0].init(samplesFor(0.0047, halfRate), 0.6f);
    m_diffusers[1].init(samplesFor(0.0083, halfRate), 0.5f);
    m_net.init(coprimeLengths(kLineSeconds, halfRate), kDecaySeconds, kTopDecaySeconds, halfRate);
    m_most = std::min(kMostPairs, m_net.shortest());
    for (const auto& d : m_diffusers) m_most = std::min(m_most, d.length());
  }
  void reset() override {
    for (auto& d : m_diffusers) d.clear();
    m_net.clear();
    m_open = false;
    m_openIn = m_lastL = m_lastR = 0;
  }
  void run(float* l, float* r, std::size_t n) {
    constexpr float kGain = 0.5f * kInputGain;
    std::size_t i = 0;
    if (m_open && n > 0) {
      // The second frame of a pair begun in the last block.
      float in = 0.5f * (m_openIn + monoOf(l[0], r[0], kGain));
      float wetL, wetR;
      late(&in, &wetL, &wetR, 1);
      l[0] += wetL;
      r[0] += wetR;
      m_lastL = wetL;
      m_lastR = wetR;
      m_open = false;
      i = 1;
    }
    for (std::size_t pairs = (n - i) / 2; pairs > 0;) {
      const std::size_t m = std::min(pairs, m_most);
      alignas(16) float in[kMostPairs];
      alignas(16) float wetL[kMostPairs + 1], wetR[kMostPairs + 1];  // [0]: the value before the run
      halve(in, l + i, r + i, kGain, m);
      wetL[0] = m_lastL;
      wetR[0] = m_lastR;
      late(in, wetL + 1, wetR + 1, m);
      spread(l + i, r + i, wetL, wetR, m);
      m_lastL = wetL[m];
      m_lastR = wetR[m];
      i += 2 * m;
      pairs -= m;
    }
    if (i < n) {
      // The first frame of a pair: the line outputs it needs are there.
      m_openIn = monoOf(l[i], r[i], kGain);
      float wetL, wetR;
      m_net.peek(wetL, wetR, kWet);
      l[i] += 0.5f * (m_lastL + wetL);
      r[i] += 0.5f * (m_lastR + wetR);
      m_open = true;
    }
  }

 private:
  // n steps at half rate; n <= m_most.
  void late(float* in, float* wetL, float* wetR, std::size_t n) {
    for (auto& d : m_diffusers) d.run(in, n);
    m_net.run(in, wetL, wetR, kWet, n);
  }

  std::array<AllPass, 2> m_diffusers;
  // Lines 2, 3, 6 and 7 take the input inverted: fed all alike, the two
  // sides' first echoes would start out too much alike.
  FeedbackNetwork<8, 0xCC> m_net;
  std::size_t m_most = 1;
  bool m_open = false;  // the first frame of a pair is in, the second not yet
  float m_openIn = 0;
  float m_lastL = 0, m_lastR = 0;  // the late sound at the last step
};

}  // namespace

std::unique_ptr<Effect> MakeEffect(int type, int sampleRate) {
  FloatMode mode;  // the coefficients too, whatever rounding the caller has set
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
