#include "audio/Effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace pagemoor::audio {
namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// Interleaved left/right, as the effects take them.
using Samples = std::vector<std::int16_t>;

struct TypeInfo {
  int type;
  const char* name;
  bool linear;  // output scales with input (until it saturates)
};

constexpr TypeInfo kTypes[] = {
    {kFxChorus, "Chorus", true},           {kFxCompressor, "Compressor", false},
    {kFxDistortion, "Distortion", false},  {kFxEcho, "Echo", true},
    {kFxFlanger, "Flanger", true},         {kFxGargle, "Gargle", true},
    {kFxI3dl2Reverb, "I3dl2Reverb", true}, {kFxParamEq, "ParamEq", true},
    {kFxReverb, "Reverb", true},
};

void PrintTo(const TypeInfo& t, std::ostream* os) {
  *os << t.name;
}

std::size_t framesIn(double seconds, int rate = kRate) {
  return static_cast<std::size_t>(std::lround(seconds * rate));
}
std::size_t frameCount(const Samples& s) {
  return s.size() / 2;
}

Samples silence(double seconds, int rate = kRate) {
  return Samples(2 * framesIn(seconds, rate), 0);
}

Samples tone(double hz, double dbfs, double seconds, int rate = kRate) {
  Samples s = silence(seconds, rate);
  const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
  for (std::size_t i = 0; i < frameCount(s); ++i) {
    const auto v = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * kPi * hz * i / rate)));
    s[2 * i] = s[2 * i + 1] = v;
  }
  return s;
}

Samples impulse(double seconds, std::int16_t left = 16384, std::int16_t right = 16384, int rate = kRate) {
  Samples s = silence(seconds, rate);
  s[0] = left;
  s[1] = right;
  return s;
}

Samples square(double seconds, std::size_t halfPeriod, std::int16_t amplitude) {
  Samples s = silence(seconds);
  for (std::size_t i = 0; i < frameCount(s); ++i)
    s[2 * i] = s[2 * i + 1] = (i / halfPeriod) % 2 == 0 ? amplitude : static_cast<std::int16_t>(-amplitude);
  return s;
}

Samples joined(Samples a, const Samples& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Samples run(Effect& fx, Samples s) {
  fx.process(s.data(), frameCount(s));
  return s;
}

Samples runFresh(int type, const Samples& s, int rate = kRate) {
  auto fx = MakeEffect(type, rate);
  return run(*fx, s);
}

double rms(const Samples& s, int channel, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double(s[2 * i + channel]) * s[2 * i + channel];
  return std::sqrt(sum / double(to - from));
}

double gainDb(const Samples& in, const Samples& out, std::size_t from, std::size_t to) {
  return 20 * std::log10(rms(out, 0, from, to) / rms(in, 0, from, to));
}

// Amplitude of one frequency in the left channel (Goertzel).
double amplitudeAt(const Samples& s, double hz, std::size_t from, std::size_t to) {
  const double coef = 2 * std::cos(2 * kPi * hz / kRate);
  double s1 = 0, s2 = 0;
  for (std::size_t i = from; i < to; ++i) {
    const double s0 = s[2 * i] + coef * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return std::sqrt(s1 * s1 + s2 * s2 - coef * s1 * s2) * 2 / double(to - from);
}

std::vector<std::int16_t> channel(const Samples& s, int which) {
  std::vector<std::int16_t> one(frameCount(s));
  for (std::size_t i = 0; i < one.size(); ++i) one[i] = s[2 * i + which];
  return one;
}

int signOf(int v) {
  return (v > 0) - (v < 0);
}

// Every sample of both channels is zero from frame `from` on.
bool silentFrom(const Samples& s, std::size_t from) {
  return std::all_of(s.begin() + 2 * static_cast<std::ptrdiff_t>(from), s.end(),
                     [](std::int16_t v) { return v == 0; });
}

TEST(MakeEffectTest, TypesOutsideTheTableGiveNoEffect) {
  for (int type : {-1, 9, 100, INT_MIN, INT_MAX}) EXPECT_EQ(MakeEffect(type, kRate), nullptr) << type;
  for (const auto& t : kTypes) EXPECT_NE(MakeEffect(t.type, kRate), nullptr) << t.name;
}

class EveryEffect : public ::testing::TestWithParam<TypeInfo> {};

TEST_P(EveryEffect, ChangesToneAndImpulseKeepingASensibleLevel) {
  const int type = GetParam().type;
  const auto in = tone(1000, -6, 1.0);
  const auto out = runFresh(type, in);
  EXPECT_NE(out, in);
  const double gain = gainDb(in, out, framesIn(0.5), framesIn(1.0));
  EXPECT_GT(gain, -10.0);
  EXPECT_LT(gain, 6.0);

  const auto click = impulse(0.5);
  EXPECT_NE(runFresh(type, click), click);
}

TEST_P(EveryEffect, FullScaleSquareSaturatesInsteadOfWrapping) {
  // A sum that wraps instead of saturating turns a loud sample into one of
  // the opposite sign. Linear effects must give exactly their half-scale
  // output doubled, then clamped; the nonlinear ones keep the input's sign
  // once an edge has passed through their filters.
  const int type = GetParam().type;
  constexpr std::size_t kHalfPeriod = 37;
  const auto in = square(1.0, kHalfPeriod, 32766);
  const auto out = runFresh(type, in);
  std::size_t bad = 0, firstBad = 0;
  if (GetParam().linear) {
    const auto half = runFresh(type, square(1.0, kHalfPeriod, 16383));
    for (std::size_t i = 0; i < out.size(); ++i) {
      const int expected = std::clamp(2 * half[i], -32768, 32767);
      if (std::abs(out[i] - expected) > 2 && bad++ == 0) firstBad = i;
    }
  } else {
    for (std::size_t i = 0; i < out.size(); ++i) {
      if ((i / 2) % kHalfPeriod >= 8 && signOf(out[i]) != signOf(in[i]) && bad++ == 0) firstBad = i;
    }
  }
  EXPECT_EQ(bad, 0u) << "first at sample " << firstBad << ": " << out[firstBad];
}

TEST_P(EveryEffect, SilenceInGivesSilenceOut) {
  const int type = GetParam().type;
  EXPECT_TRUE(silentFrom(runFresh(type, silence(2.0)), 0)) << "fresh";

  auto fx = MakeEffect(type, kRate);
  run(*fx, tone(440, -3, 0.5));
  fx->reset();
  EXPECT_TRUE(silentFrom(run(*fx, silence(2.0)), 0)) << "after reset";

  // Without a reset the tail of a loud tone dies away to true silence: no
  // noise, no denormal residue that rounds to a sample.
  const auto tail = runFresh(type, joined(tone(440, 0, 0.5), silence(12.0)));
  EXPECT_TRUE(silentFrom(tail, framesIn(11.5))) << "after the tail";
}

TEST_P(EveryEffect, ResetMatchesAFreshInstance) {
  const int type = GetParam().type;
  auto used = MakeEffect(type, kRate);
  run(*used, joined(tone(1000, -3, 0.7), impulse(0.3, 30000, -30000)));
  used->reset();

  const auto input = joined(impulse(0.5, 20000, -12000), tone(330, -10, 1.0));
  EXPECT_EQ(run(*used, input), runFresh(type, input));
}

TEST_P(EveryEffect, BlockSizesDoNotChangeTheOutput) {
  const int type = GetParam().type;
  const auto input = joined(impulse(0.4, 25000, -9000), tone(523, -8, 1.2));
  const auto whole = runFresh(type, input);

  auto fx = MakeEffect(type, kRate);
  Samples pieces = input;
  const std::size_t sizes[] = {1, 3, 64, 441, 1024, 4099, 0};  // 0: an empty call in between
  std::size_t done = 0;
  for (std::size_t k = 0; done < frameCount(pieces); ++k) {
    const std::size_t n = std::min(sizes[k % std::size(sizes)], frameCount(pieces) - done);
    fx->process(pieces.data() + 2 * done, n);
    done += n;
  }
  EXPECT_EQ(pieces, whole);
}

TEST_P(EveryEffect, AnyRateGivesAWorkingEffect) {
  // Rates outside 8000..192000 are clamped into it rather than refused.
  const int type = GetParam().type;
  for (int rate : {0, -44100, 8000, 11025, 22050, 48000, 96000, 192000, 1000000}) {
    SCOPED_TRACE(rate);
    auto fx = MakeEffect(type, rate);
    ASSERT_NE(fx, nullptr);
    const int effective = std::clamp(rate, kFxMinSampleRate, kFxMaxSampleRate);
    const auto in = tone(700, -6, 1.0, effective);
    const auto out = run(*fx, in);
    EXPECT_NE(out, in);
    const std::size_t n = frameCount(in);
    const double gain = gainDb(in, out, n / 2, n);
    EXPECT_GT(gain, -10.0);
    EXPECT_LT(gain, 6.0);
  }
}

TEST_P(EveryEffect, LeavesTheCallersFloatingPointModeAloneAndIsNotSwayedByIt) {
  // An effect may set the processor's rounding and denormal handling for
  // itself, but must put the caller's back, and its output must not depend
  // on what the caller had chosen.
  const int type = GetParam().type;
  const auto input = joined(impulse(0.2, 30000, -20000), tone(1234, -3, 0.5));
  const auto expected = runFresh(type, input);
  for (const int mode : {FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(std::fesetround(mode), 0);
    const auto out = runFresh(type, input);
    EXPECT_EQ(std::fegetround(), mode);
    ASSERT_EQ(std::fesetround(FE_TONEAREST), 0);
    EXPECT_EQ(out, expected);
  }
  runFresh(type, input);
  volatile float tiny = 1e-38f;  // denormals still work once the effect is done
  EXPECT_NE(tiny * 0.25f, 0.0f);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, EveryEffect, ::testing::ValuesIn(kTypes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EffectDelayTest, DelayedSoundArrivesWhereItShould) {
  // The first non-zero frame after an impulse at frame 0.
  struct Case {
    int type;
    double fromMs, toMs;
  };
  const Case cases[] = {
      {kFxChorus, 14.3, 17.7},     // 16 ms +/- 1.6 ms
      {kFxFlanger, 0.0, 4.1},      // 0..4 ms
      {kFxEcho, 499.9, 500.1},     // 500 ms
      {kFxI3dl2Reverb, 6.9, 7.1},  // first reflection 7 ms
      {kFxReverb, 24.6, 24.8},     // shortest delay line 24.7 ms
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(kTypes[c.type].name);
    const auto out = runFresh(c.type, impulse(1.0));
    std::size_t first = 1;
    while (first < frameCount(out) && out[2 * first] == 0 && out[2 * first + 1] == 0) ++first;
    const double ms = 1000.0 * double(first) / kRate;
    EXPECT_GE(ms, c.fromMs);
    EXPECT_LE(ms, c.toMs);
  }
}

TEST(SweptDelayTest, FollowsASineSweptDelayLine) {
  // A model of the chorus and the flanger as their parameters describe them,
  // worked out frame by frame in double precision with the sine itself: the
  // wet sound is the line read `delay` frames back (between two frames by a
  // straight line; the centre is one frame longer than its seconds, so that
  // the sweep never goes below one frame), the line takes the input plus the
  // wet sound times the feedback, the output is dry and wet mixed. The effects may approximate
  // the sine and work in float, which for these low tones (starting from
  // zero, so there is no step to blur) costs a step or two of the output;
  // reading a single frame too far or too near costs dozens. The flanger's
  // run covers the bottom of its sweep on both sides, one frame of delay.
  struct Case {
    int type;
    double centreSeconds, swingSeconds, lfoHz, feedback, mix;
    double seconds;
  };
  const Case cases[] = {
      {kFxChorus, 0.016, 0.0016, 1.1, 0.25, 0.5, 1.0},
      {kFxFlanger, 0.002, 0.002, 0.25, -0.5, 0.5, 3.5},
  };
  for (const auto& c : cases) {
    for (int rate : {22050, 44100, 48000}) {
      SCOPED_TRACE(std::string(kTypes[c.type].name) + " at " + std::to_string(rate));
      Samples in = silence(c.seconds, rate);
      for (std::size_t i = 0; i < frameCount(in); ++i) {
        const double t = double(i) / rate;
        in[2 * i] = static_cast<std::int16_t>(std::lround(5000 * std::sin(2 * kPi * 50 * t)));
        in[2 * i + 1] = static_cast<std::int16_t>(std::lround(5000 * std::sin(2 * kPi * 80 * t)));
      }
      const auto out = runFresh(c.type, in, rate);

      const double centre = 1 + c.centreSeconds * rate, swing = c.swingSeconds * rate;
      std::vector<double> line[2];
      int worst = 0;
      std::size_t worstAt = 0;
      for (std::size_t n = 0; n < frameCount(in); ++n) {
        const double phase = 2 * kPi * c.lfoHz * double(n) / rate;
        for (int side = 0; side < 2; ++side) {
          const double delay =
              std::max(1.0, centre + swing * (side == 0 ? std::sin(phase) : std::cos(phase)));
          const double at = double(n) - delay;
          const auto older = static_cast<std::ptrdiff_t>(std::floor(at));
          const auto value = [&](std::ptrdiff_t k) { return k < 0 ? 0.0 : line[side][std::size_t(k)]; };
          const double wet = value(older) + (at - double(older)) * (value(older + 1) - value(older));
          const double x = in[2 * n + side];
          line[side].push_back(x + c.feedback * wet);
          const double expected = std::clamp(std::round(x + (wet - x) * c.mix), -32768.0, 32767.0);
          const int error = std::abs(out[2 * n + side] - static_cast<int>(expected));
          if (error > worst) {
            worst = error;
            worstAt = n;
          }
        }
      }
      EXPECT_LE(worst, 4) << "at frame " << worstAt;
    }
  }
}

TEST(EchoTest, RepeatsEveryHalfSecondAtHalfTheLevelBefore) {
  for (int rate : {22050, 44100, 48000}) {
    SCOPED_TRACE(rate);
    const auto out = runFresh(kFxEcho, impulse(2.2, 16384, -8192, rate), rate);
    const std::size_t period = framesIn(0.5, rate);
    // Dry at half, then each repeat half the one before, each side on its own.
    const std::pair<std::size_t, double> expected[] = {
        {0, 0.5}, {period, 0.5}, {2 * period, 0.25}, {3 * period, 0.125}, {4 * period, 0.0625}};
    for (const auto& [frame, level] : expected) {
      EXPECT_NEAR(out[2 * frame], 16384 * level, 1) << frame;
      EXPECT_NEAR(out[2 * frame + 1], -8192 * level, 1) << frame;
    }
    std::size_t strays = 0;
    for (std::size_t i = 0; i < frameCount(out); ++i) {
      if (i % period != 0) strays += out[2 * i] != 0 || out[2 * i + 1] != 0;
    }
    EXPECT_EQ(strays, 0u);
  }
}

TEST(ReverbTest, ImpulseGivesADecayingTailThatEnds) {
  struct Case {
    int type;
    double endSeconds;
  };
  for (const Case c : {Case{kFxI3dl2Reverb, 2.0}, Case{kFxReverb, 4.0}}) {
    SCOPED_TRACE(kTypes[c.type].name);
    const auto out = runFresh(c.type, impulse(c.endSeconds + 1.0));
    // Energy in successive quarter seconds after the first 50 ms falls steadily.
    const std::size_t quarter = framesIn(0.25);
    double before = rms(out, 0, framesIn(0.05), quarter);
    EXPECT_GT(before, 1.0);
    for (std::size_t k = 1; k < 4; ++k) {
      const double now = rms(out, 0, k * quarter, (k + 1) * quarter);
      EXPECT_LT(now, before) << "quarter " << k;
      before = now;
    }
    // The two sides are not one copy: that is what makes the room wide.
    EXPECT_NE(channel(out, 0), channel(out, 1));
    EXPECT_TRUE(silentFrom(out, framesIn(c.endSeconds)));
  }
}

TEST(GargleTest, ModulatesAmplitudeWithATwentyHertzTriangle) {
  // A steady input shows the gain itself: zero at the start of each 50 ms
  // cycle, full at its middle, and straight lines in between.
  for (int rate : {8000, 44100, 48000}) {
    SCOPED_TRACE(rate);
    Samples in(2 * framesIn(0.5, rate), 20000);
    const auto out = runFresh(kFxGargle, in, rate);
    const double period = rate / 20.0;
    for (int cycle = 0; cycle < 10; ++cycle) {
      for (const double phase : {0.0, 0.125, 0.25, 0.5, 0.75}) {
        const auto frame = static_cast<std::size_t>(std::lround((cycle + phase) * period));
        const double at = std::fmod(double(frame) / period, 1.0);
        const double expected = 20000 * (1 - std::fabs(2 * at - 1));
        EXPECT_NEAR(out[2 * frame], expected, 2) << "cycle " << cycle << " phase " << phase;
        EXPECT_EQ(out[2 * frame + 1], out[2 * frame]);
      }
    }
  }
}

TEST(CompressorTest, LouderTonesAreReducedMore) {
  // Below the -20 dBFS threshold only the +6 dB make-up applies; above it
  // each 3 dB more input gives 1 dB more output.
  struct Case {
    double dbfs;
    double gain;
  };
  const Case cases[] = {{-40, 6.0}, {-30, 6.0}, {-10, -0.2}, {-4, -4.2}, {0, -6.8}};
  double previous = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dbfs);
    const auto in = tone(1000, c.dbfs, 1.0);
    const double gain = gainDb(in, runFresh(kFxCompressor, in), framesIn(0.5), framesIn(1.0));
    EXPECT_NEAR(gain, c.gain, 0.3);
    EXPECT_LE(gain, previous + 0.05);
    previous = gain;
  }
  const auto at = [](double dbfs) {
    const auto in = tone(1000, dbfs, 1.0);
    return gainDb(in, runFresh(kFxCompressor, in), framesIn(0.5), framesIn(1.0)) + dbfs;
  };
  EXPECT_NEAR(at(-4) - at(-10), 2.0, 0.1);
}

TEST(CompressorTest, ClampsDownFastAndLetsGoSlowly) {
  const auto in = joined(joined(tone(1000, -30, 1.0), tone(1000, -3, 1.0)), tone(1000, -30, 2.0));
  const auto out = runFresh(kFxCompressor, in);
  const auto gainAt = [&](double from, double to) { return gainDb(in, out, framesIn(from), framesIn(to)); };
  const double loud = gainAt(1.5, 2.0);
  const double quiet = gainAt(0.5, 1.0);
  EXPECT_NEAR(gainAt(1.03, 1.06), loud, 1.0);  // 10 ms attack: settled within 30 ms
  EXPECT_LT(gainAt(2.02, 2.05), quiet - 6.0);  // 200 ms release: still held down
  EXPECT_NEAR(gainAt(3.5, 4.0), quiet, 0.1);   // and back in the end
}

TEST(ParamEqTest, BoostsItsBandMoreThanFarFrequencies) {
  struct Case {
    double hz;
    double fromDb, toDb;
  };
  const Case cases[] = {{100, -0.1, 0.1}, {1000, 0.0, 0.3}, {8000, 5.7, 6.3}, {16000, 0.2, 1.5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hz);
    const auto in = tone(c.hz, -20, 0.5);
    const double gain = gainDb(in, runFresh(kFxParamEq, in), framesIn(0.25), framesIn(0.5));
    EXPECT_GE(gain, c.fromDb);
    EXPECT_LE(gain, c.toDb);
  }
}

TEST(DistortionTest, AddsOddHarmonics) {
  const auto in = tone(1000, -6, 0.5);
  const auto out = runFresh(kFxDistortion, in);
  const std::size_t from = framesIn(0.1), to = framesIn(0.5);
  EXPECT_LT(amplitudeAt(in, 3000, from, to), amplitudeAt(in, 1000, from, to) * 1e-3);
  EXPECT_GT(amplitudeAt(out, 3000, from, to), amplitudeAt(out, 1000, from, to) * 0.1);
  // Odd symmetry: no even harmonics to speak of.
  EXPECT_LT(amplitudeAt(out, 2000, from, to), amplitudeAt(out, 1000, from, to) * 1e-3);
}

}  // namespace
}  // namespace pagemoor::audio
