// The parts a reverb is made of: the all-pass that diffuses and the feedback
// delay network that rings.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "audio/fx/Block.h"
#include "audio/fx/DelayLine.h"

namespace pagemoor::audio::fx {

// Schroeder all-pass over n values of x in place; delayed[i] is the line's
// value `length` frames before w[i], and n <= length.
[[gnu::noinline, gnu::flatten]] void allPassRun(float* __restrict w, const float* __restrict delayed,
                                                float* __restrict x, float g, std::size_t n);

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

}  // namespace pagemoor::audio::fx
