// What the effects share: the block loop, the conversions between 16-bit
// samples and floats, the floating-point mode, and the loop helpers that the
// kernels of every effect family are built on.
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
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "audio/Effects.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PAGEMOOR_FX_SSE2 1
#endif

namespace pagemoor::audio::fx {

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
inline void split(const std::int16_t* stereo, float* l, float* r, std::size_t n) {
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
inline void join(std::int16_t* stereo, const float* l, const float* r, std::size_t n) {
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

inline int samplesFor(double seconds, int rate) {
  return std::max(1, static_cast<int>(std::lround(seconds * rate)));
}

// ---- Kernels shared by several effects ----

// out += gain * from
[[gnu::noinline, gnu::flatten]] void addScaled(float* __restrict out, const float* __restrict from,
                                               float gain, std::size_t n);

// out = gain * (a + b)
[[gnu::noinline, gnu::flatten]] void sumScaled(float* __restrict out, const float* __restrict a,
                                               const float* __restrict b, float gain, std::size_t n);

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

}  // namespace pagemoor::audio::fx
