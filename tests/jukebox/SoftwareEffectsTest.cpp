#include "jukebox/SoftwareEffects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numbers>
#include <ostream>
#include <utility>
#include <vector>

namespace pagemoor {
namespace {

struct Frame {
  int left;
  int right;
  bool operator==(const Frame&) const = default;
};

void PrintTo(const Frame& f, std::ostream* os) {
  *os << "(" << f.left << ", " << f.right << ")";
}

std::vector<std::int16_t> Interleave(const std::vector<Frame>& frames) {
  std::vector<std::int16_t> samples;
  for (const Frame& f : frames) {
    samples.push_back(static_cast<std::int16_t>(f.left));
    samples.push_back(static_cast<std::int16_t>(f.right));
  }
  return samples;
}

std::vector<Frame> Frames(const std::vector<std::int16_t>& samples) {
  std::vector<Frame> frames;
  for (std::size_t n = 0; n + 1 < samples.size(); n += 2) frames.push_back({samples[n], samples[n + 1]});
  return frames;
}

template <typename Processor>
std::vector<Frame> Process(Processor& processor, const std::vector<Frame>& input) {
  std::vector<std::int16_t> samples = Interleave(input);
  processor.process(samples.data(), input.size());
  return Frames(samples);
}

template <typename Processor>
Frame ProcessOne(Processor& processor, Frame input) {
  return Process(processor, {input}).front();
}

// ---------------------------------------------------------------- echo

TEST(EchoProcessorTest, LoudBlockComesBackSwappedAtHalfLevelOnceAfter1200Frames) {
  constexpr int kBlock = 64;
  std::vector<Frame> input(3700, Frame{0, 0});
  for (int n = 0; n < kBlock; ++n) input[n] = {1001 + 10 * n, -(2001 + 10 * n)};

  EchoProcessor echo;
  echo.reset();
  const std::vector<Frame> out = Process(echo, input);

  for (int n = 0; n < static_cast<int>(out.size()); ++n) {
    Frame expected{0, 0};
    if (n < kBlock) {
      expected = input[n];  // the line starts silent
    } else if (n >= 1200 && n < 1200 + kBlock) {
      // Left gets the right of 1200 frames ago, halved toward zero, and the
      // other way round: -(2001 + 10k) / 2 is -(1000 + 5k), (1001 + 10k) / 2 is 500 + 5k.
      const int k = n - 1200;
      expected = {-(1000 + 5 * k), 500 + 5 * k};
    }
    ASSERT_EQ(out[n], expected) << "frame " << n;
  }
}

TEST(EchoProcessorTest, HalvesRoundTowardZeroAndSumsSaturate) {
  struct Case {
    const char* name;
    Frame stored;  // input 1200 frames earlier
    Frame input;
    Frame expected;
  };
  const Case cases[] = {
      {"odd negatives halve toward zero", {-3, -3}, {0, 0}, {-1, -1}},
      {"odd positive and minus one", {3, -1}, {0, 0}, {0, 1}},
      {"largest negative halves exactly", {-32767, -32768}, {10, 10}, {10 - 16384, 10 - 16383}},
      {"saturates both ways", {-32768, 32767}, {32767, -32768}, {32767, -32768}},
      {"reaches the limits without saturating", {-32768, 32767}, {16384, -16384}, {32767, -32768}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EchoProcessor echo;
    echo.reset();
    std::vector<Frame> input(EchoProcessor::kFrames + 1, Frame{0, 0});
    input.front() = c.stored;
    input.back() = c.input;
    EXPECT_EQ(Process(echo, input).back(), c.expected);
  }
}

TEST(EchoProcessorTest, ResetForgetsTheLine) {
  EchoProcessor echo;
  echo.reset();
  Process(echo, std::vector<Frame>(700, Frame{20000, -20000}));
  echo.reset();
  EXPECT_EQ(echo.position, 0);
  const std::vector<Frame> out = Process(echo, std::vector<Frame>(EchoProcessor::kFrames, Frame{0, 0}));
  EXPECT_EQ(out, std::vector<Frame>(EchoProcessor::kFrames, Frame{0, 0}));
}

// ------------------------------------------------------------- flanger

TEST(FlangerProcessorTest, ResetGivesTheStartValues) {
  FlangerProcessor flanger;
  flanger.sweep = 12.5L;
  flanger.step = -0.002L;
  Process(flanger, std::vector<Frame>(100, Frame{500, -500}));
  flanger.reset();
  EXPECT_EQ(flanger.sweep, 175.0L);
  EXPECT_EQ(flanger.step, 0.002L);
  EXPECT_EQ(flanger.position, 0);
  for (std::int16_t sample : flanger.line) ASSERT_EQ(sample, 0);
}

TEST(FlangerProcessorTest, AtSweep350ReadsTheOldestSampleBeforeOverwritingIt) {
  FlangerProcessor flanger;
  flanger.reset();
  flanger.sweep = 350.0L;
  flanger.step = 0.0L;
  std::vector<Frame> input;
  for (int n = 0; n <= FlangerProcessor::kEntries; ++n) input.push_back({n + 1, -(n + 1)});
  const std::vector<Frame> out = Process(flanger, input);

  // The first round reads entries not yet written.
  for (int n = 0; n < FlangerProcessor::kEntries; ++n) ASSERT_EQ(out[n], input[n]) << "frame " << n;
  // Back at entry 0 it still holds frame 0 (1, -1); writing first would double the input.
  EXPECT_EQ(out.back(), (Frame{351 + 1, -351 - 1}));
}

TEST(FlangerProcessorTest, MixesTheTwoTapsAndTruncatesTowardZero) {
  struct Tap {
    int entry;
    Frame value;
  };
  struct Case {
    const char* name;
    long double sweep;
    int position;
    std::vector<Tap> taps;
    Frame input;
    Frame expected;
  };
  const Case cases[] = {
      // i = 0, j = 1, f = 1/2: 3.5 -> 3 and -3.5 -> -3 (not -4).
      {"halfway", 0.5L, 0, {{0, {3, -3}}, {1, {4, -4}}}, {0, 0}, {3, -3}},
      // i = 10, j = 11, f = 1/4: 75 + 50 and -0.75 - 0.5 = -1.25 -> -1.
      {"a quarter on", 10.25L, 0, {{10, {100, -1}}, {11, {200, -2}}}, {0, 0}, {125, -1}},
      // i = 349 (newest), j = 0 (the write point, still the oldest).
      {"second tap wraps to the write point",
       349.5L,
       0,
       {{349, {10, -10}}, {0, {21, -21}}},
       {0, 0},
       {15, -15}},
      // k = 350 wraps onto the write point: i = 3, j = 4.
      {"just past the end", 350.5L, 3, {{3, {40, 8}}, {4, {60, 9}}}, {1, 1}, {51, 9}},
      // i = 5 = p, j = 6: 0.25 * 8 + 0.75 * 16, plus the input.
      {"first tap at the write point", 0.75L, 5, {{5, {8, -8}}, {6, {16, -16}}}, {100, -100}, {114, -114}},
      // k = 0, f = -1/4 extrapolates: 1.25 * 100 - 0.25 * 20 and -3.75 - 0.5 = -4.25 -> -4.
      {"sweep just below zero", -0.25L, 0, {{0, {100, -3}}, {1, {20, 2}}}, {0, 0}, {120, -4}},
      // k = -1 taken modulo 350: i = 349, j = 0; f = -1/2: 1.5 * 10 - 0.5 * 4.
      {"negative offset stays in the ring", -1.5L, 0, {{349, {10, -10}}, {0, {4, -4}}}, {0, 0}, {13, -13}},
      // Extended precision shows: 0.9 * 36 and 0.1 * 36 each round in the
      // 64-bit mantissa and add up to one unit below 36, so equal taps give 35.
      {"equal taps can land one short", 0.1L, 0, {{0, {36, 32767}}, {1, {36, 32767}}}, {0, 0}, {35, 32766}},
      {"saturates both ways", 0.0L, 0, {{0, {30000, -30000}}}, {30000, -30000}, {32767, -32768}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlangerProcessor flanger;
    flanger.reset();
    flanger.sweep = c.sweep;
    flanger.step = 0.0L;
    flanger.position = c.position;
    for (const Tap& tap : c.taps) {
      flanger.line[tap.entry * 3] = static_cast<std::int16_t>(tap.value.left);
      flanger.line[tap.entry * 3 + 1] = static_cast<std::int16_t>(tap.value.right);
    }
    EXPECT_EQ(ProcessOne(flanger, c.input), c.expected);
    EXPECT_EQ(flanger.line[c.position * 3], c.input.left) << "input stored at the write point";
    EXPECT_EQ(flanger.line[c.position * 3 + 1], c.input.right);
    EXPECT_EQ(flanger.position, (c.position + 1) % FlangerProcessor::kEntries);
  }
}

TEST(FlangerProcessorTest, SweepTurnsAroundOnlyPastTheEnds) {
  struct Case {
    const char* name;
    long double sweep;
    long double step;
    std::vector<std::pair<long double, long double>> after;  // sweep and step after each frame
  };
  const Case cases[] = {
      {"top",
       349.5L,
       0.25L,
       {{349.75L, 0.25L}, {350.0L, 0.25L}, {350.25L, -0.25L}, {350.0L, -0.25L}, {349.75L, -0.25L}}},
      {"bottom",
       0.5L,
       -0.25L,
       {{0.25L, -0.25L}, {0.0L, -0.25L}, {-0.25L, 0.25L}, {0.0L, 0.25L}, {0.25L, 0.25L}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlangerProcessor flanger;
    flanger.reset();
    flanger.sweep = c.sweep;
    flanger.step = c.step;
    for (std::size_t n = 0; n < c.after.size(); ++n) {
      ProcessOne(flanger, {0, 0});
      EXPECT_EQ(flanger.sweep, c.after[n].first) << "frame " << n;
      EXPECT_EQ(flanger.step, c.after[n].second) << "frame " << n;
    }
  }
}

TEST(FlangerProcessorTest, SweepRunsATriangleFromTheStartValues) {
  // 175 / 0.002 = 87500 frames up to 350; the extended sums land just past the
  // end there and just below zero 175000 frames later.
  FlangerProcessor flanger;
  flanger.reset();
  std::vector<long> turns;
  long double lowest = flanger.sweep;
  long double highest = flanger.sweep;
  std::int16_t silence[2] = {0, 0};
  for (long n = 1; n <= 300000; ++n) {
    const long double step = flanger.step;
    flanger.process(silence, 1);
    if (flanger.step != step) turns.push_back(n);
    lowest = std::min(lowest, flanger.sweep);
    highest = std::max(highest, flanger.sweep);
  }
  EXPECT_EQ(turns, (std::vector<long>{87500, 262500}));
  EXPECT_GT(highest, 350.0L);
  EXPECT_LE(highest, 350.002L);
  EXPECT_LT(lowest, 0.0L);
  EXPECT_GE(lowest, -0.002L);
  EXPECT_EQ(flanger.step, 0.002L);
}

// ------------------------------------------------------------ rotation

TEST(RotationProcessorTest, RestartsAtQuarterPiAfterReset) {
  struct Case {
    Frame input;
    Frame expected;
  };
  // sin 0.7853981 = 0.70710673..., cos 0.7853981 = 0.70710683...
  const Case cases[] = {
      {{10000, 10000}, {7071, 7071}},
      {{-32768, -32768}, {-23170, -23170}},  // toward zero, not -23171
      // 2377.99995 and 2378.00026: the start value is the literal 0.7853981;
      // float(pi/4) = 0.785398185 would give 2378 on the left too.
      {{3363, 3363}, {2377, 2378}},
      {{0, 0}, {0, 0}},
  };
  RotationProcessor rotation;
  Process(rotation, std::vector<Frame>(5000, Frame{1, 1}));  // somewhere else first
  for (const Case& c : cases) {
    rotation.reset();
    EXPECT_EQ(rotation.phase, 0.7853981L);
    EXPECT_EQ(ProcessOne(rotation, c.input), c.expected) << c.input.left;
  }
}

TEST(RotationProcessorTest, PhaseAdvancesEveryFrameAndSignsFlipAfterPi) {
  RotationProcessor rotation;
  rotation.reset();
  const std::vector<Frame> out = Process(rotation, std::vector<Frame>(80000, Frame{30000, 30000}));
  EXPECT_NEAR(static_cast<double>(rotation.phase), 0.7853981 + 80000 * 0.00003, 1e-12);

  // Frame n plays at phase 0.7853981 + 0.00003 n; 30000 sin and 30000 cos there.
  const std::pair<int, Frame> samples[] = {
      {0, {21213, 21213}},                                // 21213.202, 21213.205
      {1, {21213, 21212}},                                // 21213.838, 21212.568
      {2, {21214, 21211}},                                // 21214.475, 21211.932
      {26000, {29999, 161}},                              // cos still positive
      {26400, {29999, -198}},                             // cos past pi/2
      {52360, {21213, -21213}},                           // 3 pi / 4
      {78000, {485, -29996}},   {79000, {-414, -29997}},  // sin past pi
  };
  for (const auto& [n, expected] : samples) EXPECT_EQ(out[n], expected) << "frame " << n;

  // cos crosses zero between frames 26179 and 26180, sin between 78539 and 78540.
  for (int n = 0; n < static_cast<int>(out.size()); ++n) {
    ASSERT_EQ(out[n].right >= 0, n <= 26179 || out[n].right == 0) << "frame " << n;
    ASSERT_EQ(out[n].left >= 0, n <= 78539 || out[n].left == 0) << "frame " << n;
  }
}

TEST(RotationProcessorTest, SaturatesWhereTheFactorIsMinusOne) {
  constexpr long double kPi = std::numbers::pi_v<long double>;
  RotationProcessor rotation;
  rotation.phase = 1.5L * kPi;  // sin -1
  EXPECT_EQ(ProcessOne(rotation, {-32768, 0}), (Frame{32767, 0}));
  rotation.phase = kPi;  // cos -1, sin about 0
  EXPECT_EQ(ProcessOne(rotation, {32767, -32768}), (Frame{0, 32767}));
  rotation.phase = kPi;
  EXPECT_EQ(ProcessOne(rotation, {0, 32767}), (Frame{0, -32767}));
}

// ---------------------------------------------------------- all three

std::vector<Frame> Noise(int count) {
  std::vector<Frame> frames;
  std::uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>(state >> 16) - 32768;
  };
  for (int n = 0; n < count; ++n) {
    const int left = next();
    frames.push_back({left, next()});
  }
  return frames;
}

template <typename Processor>
void ExpectBlocksMatchOneCall(Processor start) {
  const std::vector<Frame> input = Noise(6000);
  Processor whole = start;
  const std::vector<Frame> expected = Process(whole, input);

  Processor split = start;
  std::vector<std::int16_t> samples = Interleave(input);
  const std::size_t blocks[] = {1, 2, 7, 350, 1199, 1201, 512};
  std::size_t done = 0;
  for (std::size_t size : blocks) {
    split.process(samples.data() + done * 2, size);
    done += size;
  }
  split.process(samples.data() + done * 2, input.size() - done);
  EXPECT_EQ(Frames(samples), expected);
}

TEST(SoftwareEffectsTest, SeveralBlocksGiveTheSameAsOne) {
  {
    SCOPED_TRACE("echo");
    EchoProcessor echo;
    echo.reset();
    ExpectBlocksMatchOneCall(echo);
  }
  {
    SCOPED_TRACE("flanger across a turn");
    FlangerProcessor flanger;
    flanger.reset();
    flanger.sweep = 349.9L;
    ExpectBlocksMatchOneCall(flanger);
  }
  {
    SCOPED_TRACE("rotation");
    RotationProcessor rotation;
    rotation.reset();
    ExpectBlocksMatchOneCall(rotation);
  }
}

// -------------------------------------------------------- wave display

TEST(WavePointsTest, PointsFromTheWrittenArithmetic) {
  struct Case {
    const char* name;
    std::vector<Frame> frames;
    int width;
    int height;
    std::vector<int> ys;  // for x = 0, 1, ...
  };
  const Case cases[] = {
      {"silence is a flat line at half height", {{0, 0}, {0, 0}}, 4, 101, {50, 50, 50, 50, 50}},
      {"nothing given counts as silence", {}, 2, 80, {40, 40, 40}},
      // 65534 / 64000 * 100 = 102.39 and -65536 / 64000 * 100 = -102.4: past
      // the bottom (positive) and the top edge.
      {"full scale reaches past the edges", {{32767, 32767}, {-32768, -32768}}, 1, 100, {152, -52}},
      // -100 / 64000 * 1000 = -1.5625 -> -1, 100 -> 1.
      {"truncates toward zero", {{-50, -50}, {50, 50}, {-1, 0}}, 2, 1000, {499, 501, 500}},
      // 32000 / 64000 * 7 = 3.5 -> 3, plus 7 div 2.
      {"odd height", {{16000, 16000}}, 0, 7, {6}},
      // -64960 / 64000 * 200 is -203 exactly; double arithmetic lands on -202.99...
      {"extended precision", {{-32480, -32480}}, 0, 200, {-103}},
      // 2000 / 64000 * 64 = 2; frames 2 to 4 are beyond the buffer.
      {"frames beyond the buffer are silence", {{1000, 1000}, {-1000, -1000}}, 4, 64, {34, 30, 32, 32, 32}},
      {"zero height", {{32767, 32767}}, 1, 0, {0, 0}},
      {"negative width still moves to frame 0", {{16000, 0}}, -3, 100, {75}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::int16_t> samples = Interleave(c.frames);
    const auto points =
        WavePoints(samples.empty() ? nullptr : samples.data(), c.frames.size(), c.width, c.height);
    ASSERT_EQ(points.size(), c.ys.size());
    for (std::size_t x = 0; x < points.size(); ++x) {
      EXPECT_EQ(points[x].first, static_cast<int>(x));
      EXPECT_EQ(points[x].second, c.ys[x]) << "x " << x;
    }
  }
}

TEST(WavePointsTest, WidthBeyond512FramesGivesWidthPlusOnePoints) {
  std::vector<std::int16_t> samples(512 * 2, 16000);  // sum 32000: half of height 64 below the middle
  const auto points = WavePoints(samples.data(), 512, 700, 64);
  ASSERT_EQ(points.size(), 701u);
  EXPECT_EQ(points[511], (std::pair<int, int>{511, 64}));
  EXPECT_EQ(points[512], (std::pair<int, int>{512, 32}));
  EXPECT_EQ(points[700], (std::pair<int, int>{700, 32}));
}

}  // namespace
}  // namespace pagemoor
