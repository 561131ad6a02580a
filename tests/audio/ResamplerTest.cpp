#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "audio/Decoder.h"

namespace pagemoor::audio {
namespace {

struct Rates {
  int in;
  int out;
};

void PrintTo(const Rates& r, std::ostream* os) {
  *os << r.in << " -> " << r.out;
}

// Stereo frames: a sine on the left, its negation on the right, so that a
// mix-up of the sides shows.
std::vector<std::int16_t> Sine(int rate, double hz, double amplitude, std::size_t frames) {
  std::vector<std::int16_t> v(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    const auto s =
        static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
    v[i * 2] = s;
    v[i * 2 + 1] = static_cast<std::int16_t>(-s);
  }
  return v;
}

std::vector<std::int16_t> Noise(std::size_t frames, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> d(-32768, 32767);
  std::vector<std::int16_t> v(frames * 2);
  for (auto& s : v) s = static_cast<std::int16_t>(d(gen));
  return v;
}

// The whole input in one push, then the flush.
std::vector<std::int16_t> ResampleAll(Resampler& r, const std::vector<std::int16_t>& in) {
  std::vector<std::int16_t> out;
  r.push(in.data(), in.size() / 2, out);
  r.flush(out);
  return out;
}

std::vector<std::int16_t> ResampleInPieces(Resampler& r, const std::vector<std::int16_t>& in,
                                           std::size_t from, const std::vector<std::size_t>& pieces) {
  std::vector<std::int16_t> out;
  std::size_t at = from;
  for (std::size_t i = 0; at < in.size() / 2; ++i) {
    const std::size_t n = std::min(pieces[i % pieces.size()], in.size() / 2 - at);
    r.push(in.data() + at * 2, n, out);
    at += n;
  }
  r.flush(out);
  return out;
}

TEST(ResamplerTest, EqualRatesPassFramesThroughUnchanged) {
  const auto in = Noise(1000, 1);
  Resampler r(44100, 44100);
  EXPECT_EQ(ResampleInPieces(r, in, 0, {1, 7, 300}), in);
  EXPECT_EQ(r.outputFrames(1000), 1000u);
}

class ResamplerRatesTest : public ::testing::TestWithParam<Rates> {};

// One second of a 441 Hz sine: the output has as many zero crossings per
// second of its own rate and the same peak.
TEST_P(ResamplerRatesTest, SineKeepsItsFrequencyAndAmplitude) {
  const auto [inRate, outRate] = GetParam();
  constexpr double kHz = 441;
  constexpr double kAmplitude = 20000;
  Resampler r(inRate, outRate);
  const auto out = ResampleAll(r, Sine(inRate, kHz, kAmplitude, static_cast<std::size_t>(inRate)));
  const std::size_t frames = out.size() / 2;
  int crossings = 0;
  int peak = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    peak = std::max(peak, std::abs(static_cast<int>(out[i * 2])));
    EXPECT_EQ(out[i * 2 + 1], -out[i * 2]) << "frame " << i;
    if (i > 0 && (out[i * 2 - 2] < 0) != (out[i * 2] < 0)) ++crossings;
  }
  const double seconds = static_cast<double>(frames) / outRate;
  EXPECT_NEAR(crossings / 2.0 / seconds, kHz, kHz * 0.01);
  EXPECT_NEAR(peak, kAmplitude, kAmplitude * 0.01);
}

// The output frames of N input frames are N * out / in, rounded up.
TEST_P(ResamplerRatesTest, FrameCountFollowsTheRateRatio) {
  const auto [inRate, outRate] = GetParam();
  for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 97u, 1000u, 44101u}) {
    Resampler r(inRate, outRate);
    const auto out = ResampleAll(r, Noise(n, 2));
    const double exact = static_cast<double>(n) * outRate / inRate;
    EXPECT_EQ(out.size() / 2, r.outputFrames(n)) << n << " frames";
    EXPECT_LT(std::abs(static_cast<double>(out.size() / 2) - exact), 1.0) << n << " frames";
  }
}

TEST_P(ResamplerRatesTest, SmallPushesGiveTheSameFramesAsOneBigPush) {
  const auto [inRate, outRate] = GetParam();
  const auto in = Noise(5000, 3);
  Resampler whole(inRate, outRate);
  const auto expected = ResampleAll(whole, in);
  for (const std::vector<std::size_t>& pieces :
       {std::vector<std::size_t>{1}, {2}, {3}, {1, 2, 5, 64}, {4096, 1, 1}}) {
    Resampler r(inRate, outRate);
    EXPECT_EQ(ResampleInPieces(r, in, 0, pieces), expected) << "first piece " << pieces[0];
  }
}

// A seek starts the resampler at an output frame: pushing from the input
// frame it names gives exactly the frames of a run from the start.
TEST_P(ResamplerRatesTest, SeekOutputContinuesLikeARunFromTheStart) {
  const auto [inRate, outRate] = GetParam();
  const auto in = Noise(3000, 4);
  Resampler whole(inRate, outRate);
  const auto expected = ResampleAll(whole, in);
  const std::uint64_t total = expected.size() / 2;
  for (std::uint64_t at : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{3},
                           std::uint64_t{777}, total - 1, total}) {
    Resampler r(inRate, outRate);
    const std::uint64_t first = r.seekOutput(at);
    ASSERT_LE(first, in.size() / 2);
    const auto out = ResampleInPieces(r, in, static_cast<std::size_t>(first), {100});
    EXPECT_EQ(out, std::vector<std::int16_t>(expected.begin() + static_cast<std::ptrdiff_t>(at * 2),
                                             expected.end()))
        << "output frame " << at;
  }
}

TEST_P(ResamplerRatesTest, ResetStartsAFreshStream) {
  const auto [inRate, outRate] = GetParam();
  const auto in = Noise(500, 5);
  Resampler r(inRate, outRate);
  const auto first = ResampleAll(r, in);
  std::vector<std::int16_t> junk;
  r.push(Noise(33, 6).data(), 33, junk);
  r.reset();
  EXPECT_EQ(ResampleAll(r, in), first);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ResamplerRatesTest,
                         ::testing::Values(Rates{22050, 44100}, Rates{44100, 22050}, Rates{48000, 44100},
                                           Rates{8000, 44100}, Rates{11025, 48000}, Rates{44100, 32000},
                                           Rates{44100, 44100}));

// Upsampling interpolates exactly through the input frames it lands on.
TEST(ResamplerTest, OutputFramesOnInputFramesKeepTheirValues) {
  const auto in = Noise(400, 7);
  Resampler r(11025, 44100);
  const auto out = ResampleAll(r, in);
  ASSERT_EQ(out.size(), in.size() * 4);
  for (std::size_t i = 0; i < in.size() / 2; ++i) {
    EXPECT_EQ(out[i * 8], in[i * 2]) << "frame " << i;
    EXPECT_EQ(out[i * 8 + 1], in[i * 2 + 1]) << "frame " << i;
  }
}

// A full-scale step makes the cubic overshoot: it must saturate, not wrap
// around to the other sign.
TEST(ResamplerTest, OvershootSaturates) {
  std::vector<std::int16_t> in;
  for (int i = 0; i < 16; ++i) in.insert(in.end(), 2, static_cast<std::int16_t>(i < 8 ? -32768 : 32767));
  Resampler r(11025, 44100);
  const auto out = ResampleAll(r, in);
  ASSERT_EQ(out.size(), in.size() * 4);
  for (std::size_t i = 0; i < out.size() / 2; ++i) {
    if (i < 7 * 4) {
      EXPECT_EQ(out[i * 2], -32768) << "frame " << i;
    } else if (i > 8 * 4) {
      EXPECT_EQ(out[i * 2], 32767) << "frame " << i;
    }
  }
}

}  // namespace
}  // namespace pagemoor::audio
