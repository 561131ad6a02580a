// Chorus and flanger: a delay line swept by a sine.
#include "audio/fx/Makers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "audio/fx/Block.h"
#include "audio/fx/DelayLine.h"

namespace pagemoor::audio::fx {

namespace {

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

}  // namespace

std::unique_ptr<Effect> MakeChorus(int rate) {
  return std::make_unique<SweptDelay>(kChorusParams, rate);
}

std::unique_ptr<Effect> MakeFlanger(int rate) {
  return std::make_unique<SweptDelay>(kFlangerParams, rate);
}

}  // namespace pagemoor::audio::fx
