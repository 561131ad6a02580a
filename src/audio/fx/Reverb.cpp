// The two reverbs: a small room and a music hall.
#include "audio/fx/Reverb.h"

#include <cstring>
#include <memory>

#include "audio/fx/Makers.h"

namespace pagemoor::audio::fx {

[[gnu::noinline, gnu::flatten]] void allPassRun(float* __restrict w, const float* __restrict delayed,
                                                float* __restrict x, float g, std::size_t n) {
  forFrames(n, [&](std::size_t i) {
    const float d = delayed[i];
    const float s = x[i] + g * d;
    w[i] = s;
    x[i] = d - g * s;
  });
}

namespace {

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

std::unique_ptr<Effect> MakeRoomReverb(int rate) {
  return std::make_unique<RoomReverb>(rate);
}

std::unique_ptr<Effect> MakeHallReverb(int rate) {
  return std::make_unique<HallReverb>(rate);
}

}  // namespace pagemoor::audio::fx
