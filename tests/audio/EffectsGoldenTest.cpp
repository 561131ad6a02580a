// Each effect's exact output for one fixed signal, recorded from the
// processors as they are. The other effect tests check what an effect does
// within a tolerance; these catch any change to a single sample, which is
// what a change meant only to move or tidy the code must not make (a
// reordered sum in float, a kernel no longer vectorised the same way).
// When an effect's sound is changed on purpose, record the new values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/Effects.h"

namespace pagemoor::audio {
namespace {

using Samples = std::vector<std::int16_t>;

// Two seconds that reach every path: a full-scale click on both sides
// (opposite signs), a loud stretch of pseudo-random noise that saturates, a
// quiet decaying tone, then silence for the tails. Made from integers only,
// so it is the same on every machine.
Samples Signal(int rate) {
  const std::size_t frames = 2 * static_cast<std::size_t>(rate);
  Samples s(2 * frames, 0);
  s[0] = 32767;
  s[1] = -32768;
  std::uint32_t seed = 12345;
  const std::size_t noiseEnd = frames / 8, toneEnd = frames / 2;
  for (std::size_t i = 1; i < toneEnd; ++i) {
    seed = seed * 1664525u + 1013904223u;
    if (i < noiseEnd) {
      s[2 * i] = static_cast<std::int16_t>(seed >> 16);
      s[2 * i + 1] = static_cast<std::int16_t>(seed >> 8);
    } else {
      // A square-ish tone at rate / 100 whose level falls as it goes.
      const int level = static_cast<int>(4000 * (toneEnd - i) / toneEnd);
      const int v = (i / 50) % 2 == 0 ? level : -level;
      s[2 * i] = static_cast<std::int16_t>(v);
      s[2 * i + 1] = static_cast<std::int16_t>(v / 2 + static_cast<int>(seed >> 28));
    }
  }
  return s;
}

// FNV-1a over the samples' bytes, low byte first.
std::uint64_t Checksum(const Samples& s) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::int16_t v : s) {
    const auto u = static_cast<std::uint16_t>(v);
    for (const unsigned byte : {u & 0xFFu, static_cast<unsigned>(u >> 8)}) {
      h ^= byte;
      h *= 1099511628211ull;
    }
  }
  return h;
}

struct Golden {
  int type;
  int rate;
  std::uint64_t checksum;
};

// Recorded at three rates: the delay lengths, coefficients and the reverbs'
// half-rate tail all depend on it.
// clang-format off
constexpr Golden kGolden[] = {
    {kFxChorus, 8000, 0x18951f967ac0d811ull},
    {kFxChorus, 22050, 0x7a709e1b927da731ull},
    {kFxChorus, 44100, 0x8c8394a0e9f95471ull},
    {kFxCompressor, 8000, 0x7a1946dae9ab3d07ull},
    {kFxCompressor, 22050, 0xb7de2ad909b27b02ull},
    {kFxCompressor, 44100, 0x6cdd5d729403c9bcull},
    {kFxDistortion, 8000, 0xf25b21b03b41a1e7ull},
    {kFxDistortion, 22050, 0xe84c753ca961f9eaull},
    {kFxDistortion, 44100, 0xb9063f35f9cf11d3ull},
    {kFxEcho, 8000, 0xe5bf29ba6a5f80c6ull},
    {kFxEcho, 22050, 0x255686a9d0e44bfcull},
    {kFxEcho, 44100, 0xdd41fa2b37ed816dull},
    {kFxFlanger, 8000, 0x783a3738dc6eca4aull},
    {kFxFlanger, 22050, 0xb0d247df2a1ac2cull},
    {kFxFlanger, 44100, 0x48b12126d79ec030ull},
    {kFxGargle, 8000, 0x6fdb142b1dbbe4e2ull},
    {kFxGargle, 22050, 0x36d2ad4583d52da2ull},
    {kFxGargle, 44100, 0xd14b57b8f1e006f6ull},
    {kFxI3dl2Reverb, 8000, 0xa48de66813295382ull},
    {kFxI3dl2Reverb, 22050, 0x79411a92864b4755ull},
    {kFxI3dl2Reverb, 44100, 0x65ca5942777a04f4ull},
    {kFxParamEq, 8000, 0x6fada68db8ad4debull},
    {kFxParamEq, 22050, 0x18bb067b97898200ull},
    {kFxParamEq, 44100, 0x884d6b9ac786a471ull},
    {kFxReverb, 8000, 0xdf0bc81ea90a8d9ull},
    {kFxReverb, 22050, 0x9fc58ffe3d29cf4full},
    {kFxReverb, 44100, 0xd713997962aaa70aull},
};
// clang-format on

TEST(EffectsGoldenTest, EveryEffectGivesTheRecordedOutputSampleForSample) {
  for (const Golden& g : kGolden) {
    SCOPED_TRACE("type " + std::to_string(g.type) + " at " + std::to_string(g.rate));
    auto fx = MakeEffect(g.type, g.rate);
    ASSERT_NE(fx, nullptr);
    Samples s = Signal(g.rate);
    // In blocks of 1000 frames, as a mixer hands them over (a block size
    // that is no multiple of the chunk or vector widths).
    for (std::size_t done = 0; done < s.size() / 2;) {
      const std::size_t n = std::min<std::size_t>(1000, s.size() / 2 - done);
      fx->process(s.data() + 2 * done, n);
      done += n;
    }
    EXPECT_EQ(Checksum(s), g.checksum)
        << "{" << g.type << ", " << g.rate << ", 0x" << std::hex << Checksum(s) << "ull},";
  }
}

}  // namespace
}  // namespace pagemoor::audio
