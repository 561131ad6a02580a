#include "audio/Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "common/FileIo.h"
#include "support/LittleEndian.h"

namespace pagemoor::audio {
namespace {

constexpr int kRate = 44100;

const std::string kThirdParty = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/";

std::optional<std::string> Fixture(const std::string& name) {
  return ReadFileBytes(kThirdParty + name);
}

#define LOAD_FIXTURE(var, name)                                                     \
  const auto var##Bytes = Fixture(name);                                            \
  ASSERT_TRUE(var##Bytes) << "test file missing: " << kThirdParty << (name);        \
  const std::string& var = *var##Bytes

// Reads until the decoder gives fewer frames than asked or `limit` frames.
std::vector<std::int16_t> ReadFrames(Decoder& d, std::size_t limit, std::size_t block = 1000) {
  std::vector<std::int16_t> all;
  std::vector<std::int16_t> buf(block * 2);
  while (all.size() / 2 < limit) {
    const std::size_t want = std::min(block, limit - all.size() / 2);
    const std::size_t got = d.read(buf.data(), want);
    EXPECT_LE(got, want);
    all.insert(all.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got * 2));
    if (got < want) break;
  }
  return all;
}

std::vector<std::int16_t> ReadAll(Decoder& d) {
  return ReadFrames(d, 100'000'000);
}

int Peak(const std::vector<std::int16_t>& v) {
  int peak = 0;
  for (auto s : v) peak = std::max(peak, std::abs(static_cast<int>(s)));
  return peak;
}

std::vector<std::int16_t> Slice(const std::vector<std::int16_t>& v, std::size_t frame, std::size_t frames) {
  const std::size_t from = std::min(v.size(), frame * 2);
  const std::size_t to = std::min(v.size(), (frame + frames) * 2);
  return {v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(to)};
}

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return s;
}

// Seeking to each frame reads the very frames that a read from the start gives there.
void ExpectExactSeeks(Decoder& d, const std::vector<std::int16_t>& whole,
                      const std::vector<std::uint64_t>& positions) {
  for (std::uint64_t at : positions) {
    ASSERT_TRUE(d.seek(at)) << "frame " << at;
    EXPECT_EQ(d.positionFrames(), at);
    EXPECT_EQ(ReadFrames(d, 3000), Slice(whole, at, 3000)) << "seek to frame " << at;
  }
}

// --- WAV files written here -------------------------------------------------

using test::Put16;
using test::Put32;

std::string Chunk(const std::string& id, const std::string& body, std::uint32_t declared = UINT32_MAX) {
  std::string c = id;
  Put32(c, declared == UINT32_MAX ? static_cast<std::uint32_t>(body.size()) : declared);
  c += body;
  if (body.size() % 2) c += '\0';
  return c;
}

std::string Riff(const std::string& chunks, std::uint32_t declared = UINT32_MAX) {
  std::string s = "RIFF";
  Put32(s, declared == UINT32_MAX ? static_cast<std::uint32_t>(chunks.size() + 4) : declared);
  return s + "WAVE" + chunks;
}

enum class Kind { U8, S16, S24, S32, F32, F64 };

struct WavFormat {
  const char* name;
  Kind kind;
  bool extensible = false;
};

void PrintTo(const WavFormat& f, std::ostream* os) {
  *os << f.name;
}

int Bits(Kind k) {
  switch (k) {
    case Kind::U8:
      return 8;
    case Kind::S16:
      return 16;
    case Kind::S24:
      return 24;
    case Kind::S32:
    case Kind::F32:
      return 32;
    case Kind::F64:
      return 64;
  }
  return 0;
}

bool IsFloat(Kind k) {
  return k == Kind::F32 || k == Kind::F64;
}

std::string FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                    bool extensible) {
  std::string f;
  const std::uint16_t block = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
  Put16(f, extensible ? 0xFFFE : tag);
  Put16(f, channels);
  Put32(f, rate);
  Put32(f, rate * block);
  Put16(f, block);
  Put16(f, bits);
  if (extensible) {
    Put16(f, 22);
    Put16(f, bits);
    Put32(f, channels == 1 ? 0x4 : 0x3);
    Put16(f, tag);
    f += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  }
  return f;
}

// One sample in the file's encoding. The low bits that 16-bit output drops
// are set, so that a reader which rounds instead of dropping them shows.
void PutSample(std::string& s, Kind k, std::int16_t v) {
  switch (k) {
    case Kind::U8:
      s += static_cast<char>((v >> 8) + 128);
      break;
    case Kind::S16:
      Put16(s, static_cast<std::uint16_t>(v));
      break;
    case Kind::S24:
      s += '\xC3';
      Put16(s, static_cast<std::uint16_t>(v));
      break;
    case Kind::S32:
      Put16(s, 0xC3C3);
      Put16(s, static_cast<std::uint16_t>(v));
      break;
    case Kind::F32: {
      const float f = v / 32768.0f;
      std::uint32_t raw;
      std::memcpy(&raw, &f, 4);
      Put32(s, raw);
      break;
    }
    case Kind::F64: {
      const double f = v / 32768.0;
      std::uint64_t raw;
      std::memcpy(&raw, &f, 8);
      Put32(s, static_cast<std::uint32_t>(raw));
      Put32(s, static_cast<std::uint32_t>(raw >> 32));
      break;
    }
  }
}

// What a 16-bit reader gives back for a sample that went through the format.
std::int16_t Expected(Kind k, std::int16_t v) {
  return k == Kind::U8 ? static_cast<std::int16_t>((v >> 8) * 256) : v;
}

// Frames of interleaved samples, channel after channel.
std::string Samples(Kind k, const std::vector<std::int16_t>& interleaved) {
  std::string s;
  for (auto v : interleaved) PutSample(s, k, v);
  return s;
}

std::string MakeWav(Kind k, int channels, int rate, const std::vector<std::int16_t>& interleaved,
                    bool extensible = false) {
  const std::uint16_t tag = IsFloat(k) ? 3 : 1;
  return Riff(
      Chunk("fmt ", FmtBody(tag, static_cast<std::uint16_t>(channels), static_cast<std::uint32_t>(rate),
                            static_cast<std::uint16_t>(Bits(k)), extensible)) +
      Chunk("data", Samples(k, interleaved)));
}

// Samples that reach both ends of the range and the steps next to zero.
std::vector<std::int16_t> TestSamples(std::size_t count, unsigned seed) {
  std::vector<std::int16_t> v = {-32768, 32767, 0, -1, 1, 255, 256, -256, -257};
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> d(-32768, 32767);
  while (v.size() < count) v.push_back(static_cast<std::int16_t>(d(gen)));
  v.resize(count);
  return v;
}

std::vector<std::int16_t> Sine(int rate, double hz, std::size_t frames) {
  std::vector<std::int16_t> v(frames);
  for (std::size_t i = 0; i < frames; ++i)
    v[i] = static_cast<std::int16_t>(std::lround(12000 * std::sin(2 * std::numbers::pi * hz * i / rate)));
  return v;
}

class WavFormatTest : public ::testing::TestWithParam<WavFormat> {};

TEST_P(WavFormatTest, SampleValuesRoundTripAtTheFileRate) {
  const WavFormat f = GetParam();
  for (int channels : {1, 2, 4}) {
    SCOPED_TRACE(::testing::Message() << channels << " channels");
    const auto samples = TestSamples(300 * static_cast<std::size_t>(channels), 11);
    auto d = OpenWav(MakeWav(f.kind, channels, 32000, samples, f.extensible), 32000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->lengthFrames(), 300u);
    const auto out = ReadAll(*d);
    ASSERT_EQ(out.size(), 600u);
    // Mono plays on both sides; of more channels the first two are left and right.
    for (std::size_t i = 0; i < 300; ++i) {
      const auto at = i * static_cast<std::size_t>(channels);
      EXPECT_EQ(out[i * 2], Expected(f.kind, samples[at])) << "frame " << i;
      EXPECT_EQ(out[i * 2 + 1], Expected(f.kind, samples[channels == 1 ? at : at + 1])) << "frame " << i;
    }
    EXPECT_EQ(d->positionFrames(), 300u);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, WavFormatTest,
                         ::testing::Values(WavFormat{"pcm8", Kind::U8}, WavFormat{"pcm16", Kind::S16},
                                           WavFormat{"pcm24", Kind::S24}, WavFormat{"pcm32", Kind::S32},
                                           WavFormat{"float32", Kind::F32}, WavFormat{"float64", Kind::F64},
                                           WavFormat{"extensible_pcm16", Kind::S16, true},
                                           WavFormat{"extensible_pcm24", Kind::S24, true},
                                           WavFormat{"extensible_float32", Kind::F32, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WavDecoderTest, FloatSamplesOutsideTheRangeSaturate) {
  std::string data;
  for (float f : {1.5f, -2.0f, 1.0f, std::nanf("")}) {
    std::uint32_t raw;
    std::memcpy(&raw, &f, 4);
    Put32(data, raw);
  }
  auto d = OpenWav(Riff(Chunk("fmt ", FmtBody(3, 1, 8000, 32, false)) + Chunk("data", data)), 8000);
  ASSERT_TRUE(d);
  const auto out = ReadAll(*d);
  EXPECT_EQ(out, (std::vector<std::int16_t>{32767, 32767, -32768, -32768, 32767, 32767, 0, 0}));
}

// Files whose chunks are laid out in the ways real writers do it.
struct Layout {
  const char* name;
  std::string bytes;
  std::vector<std::int16_t> expected;  // mono 16-bit samples the file holds
};

std::vector<Layout> Layouts() {
  const std::vector<std::int16_t> s = {100, -200, 300, -400, 500};
  const std::string fmt16 = Chunk("fmt ", FmtBody(1, 1, 8000, 16, false));
  const std::string data16 = Chunk("data", Samples(Kind::S16, s));
  std::string truncated = Riff(fmt16 + Chunk("data", Samples(Kind::S16, s), 1000));
  truncated.pop_back();  // half of the last sample: that frame is not there
  std::string padded = FmtBody(1, 1, 8000, 16, false);
  padded[12] = 4;  // block align 4: two bytes of padding after every sample
  std::string paddedData;
  for (auto v : s) {
    Put16(paddedData, static_cast<std::uint16_t>(v));
    Put16(paddedData, 0x7777);
  }
  paddedData.resize(paddedData.size() - 2);  // the last block's padding is missing
  return {
      {"fmt_then_data", Riff(fmt16 + data16), s},
      {"data_before_fmt", Riff(data16 + fmt16), s},
      {"odd_chunk_before_data", Riff(fmt16 + Chunk("LIST", "abc") + data16), s},
      {"unknown_chunks_around",
       Riff(Chunk("fact", std::string("\4\0\0\0", 4)) + fmt16 + Chunk("cue ", "") + data16 +
            Chunk("smpl", std::string(7, 'x'))),
       s},
      {"odd_sized_8bit_data_then_chunk",
       Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 8, false)) +
            Chunk("data", Samples(Kind::U8, {256, -512, 768})) + Chunk("LIST", "abcd")),
       {256, -512, 768}},
      {"riff_size_zero", Riff(fmt16 + data16, 0), s},
      {"riff_size_huge", Riff(fmt16 + data16, 0xFFFFFFF0u), s},
      {"data_claims_more_than_the_file", truncated, {100, -200, 300, -400}},
      {"empty_data", Riff(fmt16 + Chunk("data", "")), {}},
      {"block_align_with_padding", Riff(Chunk("fmt ", padded) + Chunk("data", paddedData)), s},
  };
}

TEST(WavDecoderTest, ChunkLayouts) {
  for (const auto& l : Layouts()) {
    SCOPED_TRACE(l.name);
    auto d = OpenWav(l.bytes, 8000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->lengthFrames(), l.expected.size());
    std::vector<std::int16_t> stereo;
    for (auto v : l.expected) stereo.insert(stereo.end(), 2, v);
    EXPECT_EQ(ReadAll(*d), stereo);
  }
}

// Every cut of a file gives nothing or the frames before the cut, exactly
// as the whole file gives them. A cut copy of its own, so a read past the cut
// is a read past the buffer, which the sanitizer builds catch.
TEST(WavDecoderTest, EveryCutFailsCleanlyOrGivesTheFramesBeforeIt) {
  std::vector<std::string> files;
  for (const Layout& l : Layouts()) files.push_back(l.bytes);
  const std::vector<std::int16_t> stereo = {1000, -1000, 2000, -2000, 3000, -3000};
  files.push_back(MakeWav(Kind::S24, 2, 8000, stereo));
  files.push_back(MakeWav(Kind::F64, 2, 8000, stereo, true));
  files.push_back(MakeWav(Kind::U8, 2, 8000, stereo));
  for (std::size_t f = 0; f < files.size(); ++f) {
    auto whole = OpenWav(files[f], 8000);
    ASSERT_TRUE(whole) << f;
    const std::vector<std::int16_t> all = ReadAll(*whole);
    for (std::size_t cut = 0; cut < files[f].size(); ++cut) {
      auto d = OpenWav(files[f].substr(0, cut), 8000);
      if (!d) continue;
      const std::vector<std::int16_t> got = ReadAll(*d);
      ASSERT_LE(got.size(), all.size()) << f << " " << cut;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << f << " " << cut;
    }
  }
}

TEST(WavDecoderTest, DamagedFilesGiveNothing) {
  const std::string fmt16 = FmtBody(1, 1, 8000, 16, false);
  const std::string data = Chunk("data", Samples(Kind::S16, {1, 2, 3, 4}));
  auto withFmt = [&](std::string fmt) { return Riff(Chunk("fmt ", fmt) + data); };
  auto patched = [&](std::size_t at, std::uint16_t value) {
    std::string f = fmt16;
    f[at] = static_cast<char>(value & 0xFF);
    f[at + 1] = static_cast<char>(value >> 8);
    return withFmt(f);
  };
  std::string badGuid = FmtBody(1, 2, 8000, 16, true);
  badGuid[30] = 'X';
  std::mt19937 gen(5);
  std::string garbage(4000, '\0');
  for (auto& c : garbage) c = static_cast<char>(gen());
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"riff_only", "RIFF"},
      {"truncated_header", Riff("").substr(0, 10)},
      {"no_chunks", Riff("")},
      {"rifx", "RIFX" + Riff(Chunk("fmt ", fmt16) + data).substr(4)},
      {"not_wave", std::string("RIFF\x10\0\0\0AVI ", 12) + Chunk("fmt ", fmt16) + data},
      {"fmt_without_data", Riff(Chunk("fmt ", fmt16))},
      {"data_without_fmt", Riff(data)},
      {"fmt_too_short", withFmt(fmt16.substr(0, 14))},
      {"zero_channels", patched(2, 0)},
      {"zero_rate", patched(4, 0)},
      {"zero_bits", patched(14, 0)},
      {"forty_bits", patched(14, 40)},
      {"adpcm", patched(0, 2)},
      {"float16", withFmt(FmtBody(3, 1, 8000, 16, false))},
      {"extensible_other_subformat", withFmt(badGuid)},
      {"extensible_cut_short", withFmt(FmtBody(1, 2, 8000, 16, true).substr(0, 30))},
      {"fmt_cut_by_the_file_end", Riff("fmt " + std::string("\x10\0\0\0", 4) + fmt16.substr(0, 10))},
      {"garbage", garbage},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(OpenWav(c.bytes, kRate)) << c.name;
    EXPECT_FALSE(DecodeWhole(c.bytes, kRate, 1'000'000)) << c.name;
  }
}

TEST(WavDecoderTest, RateIsAThirtyTwoBitField) {
  // 65536 Hz has zero low bytes: a reader of 16 bits would see no rate.
  std::string fmt = FmtBody(1, 1, 65536, 16, false);
  auto d = OpenWav(Riff(Chunk("fmt ", fmt) + Chunk("data", Samples(Kind::S16, {1, 2}))), 65536);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->lengthFrames(), 2u);
}

struct RatePair {
  int file;
  int output;
};

void PrintTo(const RatePair& r, std::ostream* os) {
  *os << r.file << " Hz file at " << r.output << " Hz";
}

class WavResampleTest : public ::testing::TestWithParam<RatePair> {};

TEST_P(WavResampleTest, LengthFollowsTheRateAndSeeksAreExact) {
  const auto [fileRate, outRate] = GetParam();
  const auto mono = Sine(fileRate, 440, 9000);
  auto d = OpenWav(MakeWav(Kind::S16, 1, fileRate, mono), outRate);
  ASSERT_TRUE(d);
  const double exact = 9000.0 * outRate / fileRate;
  EXPECT_LT(std::abs(static_cast<double>(d->lengthFrames()) - exact), 1.0);
  const auto whole = ReadAll(*d);
  EXPECT_EQ(whole.size() / 2, d->lengthFrames());
  EXPECT_EQ(d->read(std::vector<std::int16_t>(20).data(), 10), 0u);
  const std::uint64_t n = d->lengthFrames();
  ExpectExactSeeks(*d, whole, {0, 1, 2, n / 3, n / 2 + 1, n - 3, n - 1, n, 0});
  // Beyond the end: clamped to the length, nothing more to read.
  ASSERT_TRUE(d->seek(n + 1000));
  EXPECT_EQ(d->positionFrames(), n);
  EXPECT_EQ(d->read(std::vector<std::int16_t>(20).data(), 10), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rates, WavResampleTest,
                         ::testing::Values(RatePair{22050, 44100}, RatePair{48000, 44100},
                                           RatePair{8000, 44100}, RatePair{44100, 44100},
                                           RatePair{96000, 22050}));

// The WAV test files are 22050 Hz mono: at 44100 every second output frame is
// an input frame, and the ones between lie on the curve through them.
TEST(WavDecoderTest, RealSoundsDoubleTheirRateWithTheSameShape) {
  for (const char* name : {"wav/sound_yellow_gem.wav", "wav/sound_red_gem.wav"}) {
    SCOPED_TRACE(name);
    LOAD_FIXTURE(bytes, name);
    auto native = OpenWav(bytes, 22050);
    auto doubled = OpenWav(bytes, 44100);
    ASSERT_TRUE(native && doubled);
    const auto in = ReadAll(*native);
    const auto out = ReadAll(*doubled);
    ASSERT_GT(in.size(), 2000u);
    EXPECT_NEAR(static_cast<double>(out.size() / 2), 2.0 * (in.size() / 2), 1.0);
    EXPECT_EQ(out.size() / 2, doubled->lengthFrames());
    EXPECT_GT(Peak(in), 4000);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < in.size() / 2; ++i) {
      if (out[i * 4] != in[i * 2] || out[i * 4 + 1] != in[i * 2]) ++mismatches;
      ASSERT_EQ(in[i * 2], in[i * 2 + 1]);
    }
    EXPECT_EQ(mismatches, 0u);
    // Between two input frames the curve stays within the four frames around
    // it, give or take the eighth of their spread that a cubic may overshoot.
    for (std::size_t i = 1; i + 2 < in.size() / 2; ++i) {
      const std::int16_t around[] = {in[i * 2 - 2], in[i * 2], in[i * 2 + 2], in[i * 2 + 4]};
      const int lo = *std::min_element(std::begin(around), std::end(around));
      const int hi = *std::max_element(std::begin(around), std::end(around));
      const int slack = (hi - lo) / 8 + 1;
      ASSERT_GE(out[i * 4 + 2], lo - slack) << "frame " << i;
      ASSERT_LE(out[i * 4 + 2], hi + slack) << "frame " << i;
    }
  }
}

// --- MP3 --------------------------------------------------------------------

const char* const kMp3Fixtures[] = {"mp3/my_song.mp3",  "mp3/intro_band.mp3",  "mp3/track7.mp3",
                                    "mp3/no_genre.mp3", "mp3/underscores.mp3", "mp3/czech_cp1250.mp3"};

// All six files carry the same audio; only the ID3v1 tags differ.
TEST(Mp3DecoderTest, RealFilesDecodeToTheSameSoundWithTheirTagsIgnored) {
  LOAD_FIXTURE(plain, "mp3/my_song.mp3");
  auto reference = OpenMp3(plain, kRate);
  ASSERT_TRUE(reference);
  const auto sound = ReadAll(*reference);
  EXPECT_EQ(sound.size() / 2, reference->lengthFrames());
  EXPECT_NEAR(sound.size() / 2.0 / kRate, 2.4, 0.1);
  EXPECT_GT(Peak(sound), 4000);
  for (std::size_t i = 0; i < sound.size(); i += 2) ASSERT_EQ(sound[i], sound[i + 1]) << "mono on both sides";
  for (const char* name : kMp3Fixtures) {
    SCOPED_TRACE(name);
    LOAD_FIXTURE(bytes, name);
    auto d = OpenMp3(bytes, kRate);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->lengthFrames(), reference->lengthFrames());
    EXPECT_EQ(ReadAll(*d), sound);
  }
}

TEST(Mp3DecoderTest, LeadingId3v2TagIsSkipped) {
  LOAD_FIXTURE(plain, "mp3/my_song.mp3");
  // ID3v2.3 with one title frame and padding; sizes are synchsafe.
  std::string frame = "TIT2";
  frame += std::string("\0\0\0\x06\0\0\0Intro", 12);
  std::string tag = std::string("ID3\x03\0\0", 6);
  const std::size_t size = frame.size() + 300;
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((size >> shift) & 0x7F);
  tag += frame + std::string(300, '\0');
  auto reference = OpenMp3(plain, kRate);
  auto tagged = OpenMp3(tag + plain, kRate);
  ASSERT_TRUE(reference && tagged);
  EXPECT_EQ(tagged->lengthFrames(), reference->lengthFrames());
  EXPECT_EQ(ReadAll(*tagged), ReadAll(*reference));
}

TEST(Mp3DecoderTest, SeeksAreExact) {
  for (int rate : {kRate, 22050, 48000}) {
    SCOPED_TRACE(::testing::Message() << "output rate " << rate);
    LOAD_FIXTURE(bytes, "mp3/intro_band.mp3");
    auto d = OpenMp3(bytes, rate);
    ASSERT_TRUE(d);
    EXPECT_NEAR(static_cast<double>(d->lengthFrames()) / rate, 2.4, 0.1);
    const auto whole = ReadAll(*d);
    ASSERT_EQ(whole.size() / 2, d->lengthFrames());
    const std::uint64_t n = d->lengthFrames();
    ExpectExactSeeks(*d, whole, {n / 2, 1, 1152, 1153, 40000, n - 100, n, 0});
  }
}

TEST(Mp3DecoderTest, TruncatedFileGivesWhatIsThere) {
  LOAD_FIXTURE(plain, "mp3/my_song.mp3");
  auto full = OpenMp3(plain, kRate);
  auto cut = OpenMp3(plain.substr(0, plain.size() / 2 + 77), kRate);
  ASSERT_TRUE(full && cut);
  EXPECT_LT(cut->lengthFrames(), full->lengthFrames() * 3 / 4);
  EXPECT_GT(cut->lengthFrames(), full->lengthFrames() / 4);
  const auto part = ReadAll(*cut);
  EXPECT_EQ(part.size() / 2, cut->lengthFrames());
  EXPECT_GT(Peak(part), 1000);
}

// The frequency of a tone in `frames` frames from `frame` on, by its zero
// crossings on the left channel.
double ToneHz(const std::vector<std::int16_t>& v, std::size_t frame, std::size_t frames, int rate) {
  int crossings = 0;
  for (std::size_t i = frame + 1; i < frame + frames && i * 2 < v.size(); ++i)
    if ((v[2 * i - 2] < 0) != (v[2 * i] < 0)) ++crossings;
  return crossings / 2.0 * rate / static_cast<double>(frames);
}

// An MP3 joined from a piece at 44.1 kHz and one at 22.05 kHz: the second
// piece plays at its own speed and pitch, and the length holds both.
TEST(Mp3DecoderTest, PiecesAtOtherRatesPlayAtTheirOwnSpeed) {
  const auto bytes = ReadFileBytes(std::string(PAGEMOOR_FIXTURES_DIR) + "/audio/joined-44100-22050.mp3");
  ASSERT_TRUE(bytes);
  for (int rate : {kRate, 48000}) {
    SCOPED_TRACE(::testing::Message() << "output rate " << rate);
    auto d = OpenMp3(*bytes, rate);
    ASSERT_TRUE(d);
    EXPECT_NEAR(static_cast<double>(d->lengthFrames()) / rate, 2.0, 0.1);
    const auto whole = ReadAll(*d);
    EXPECT_EQ(whole.size() / 2, d->lengthFrames());
    // A tenth of a second at a time, away from the joint (with the pieces'
    // encoder padding around it).
    for (double at : {0.2, 0.5, 0.8, 1.2, 1.5, 1.8}) {
      const auto frame = static_cast<std::size_t>(at * rate);
      EXPECT_NEAR(ToneHz(whole, frame, rate / 10, rate), 440, 15) << at << " s";
      EXPECT_GT(Peak(Slice(whole, frame, rate / 10)), 10000) << at << " s";
    }
    // A seek into the second piece finds the tone there (not sample for
    // sample: the library converts this piece's rate).
    ASSERT_TRUE(d->seek(static_cast<std::uint64_t>(1.5 * rate)));
    const auto after = ReadFrames(*d, rate / 5);
    EXPECT_NEAR(ToneHz(after, rate / 50, rate / 10, rate), 440, 15);
    EXPECT_GT(Peak(after), 10000);
  }
}

TEST(Mp3DecoderTest, DataThatIsNoMpegAudioGivesNothing) {
  std::mt19937 gen(9);
  std::string random(40000, '\0');
  for (auto& c : random) c = static_cast<char>(gen());
  // Random data with runs of three frame headers (MPEG-1 layer III, 128
  // kbit/s, 417 bytes a frame) scattered in it: libmpg123 alone takes such a
  // run for a short file.
  std::string sprinkled = random;
  for (std::size_t at = 100; at + 2000 < sprinkled.size(); at += 5000) {
    for (std::size_t k = 0; k < 3; ++k) sprinkled.replace(at + k * 417, 4, "\xFF\xFB\x90\x64");
  }
  std::string sixteenBit;
  for (auto v : Sine(44100, 440, 20000)) Put16(sixteenBit, static_cast<std::uint16_t>(v));
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"random", random},
      {"runs_of_three_headers", sprinkled},
      {"pcm_samples", sixteenBit},
      {"id3v2_tag_only", std::string("ID3\x03\0\0\0\0\0\x20", 10) + std::string(32, '\0')},
      {"one_header", std::string("\xFF\xFB\x90\x64", 4)},
      {"one_frame_filling_the_file", std::string("\xFF\xFB\x90\x64", 4) + random.substr(0, 413)},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(OpenMp3(c.bytes, kRate)) << c.name;
    EXPECT_FALSE(OpenStream(c.bytes, kRate)) << c.name;
    EXPECT_FALSE(DecodeWhole(c.bytes, kRate, 10'000'000)) << c.name;
  }
}

// --- Streams and whole sounds -------------------------------------------------

TEST(OpenStreamTest, ChoosesTheReaderByContent) {
  const auto wav = MakeWav(Kind::S16, 1, 22050, Sine(22050, 440, 2205));
  auto fromWav = OpenStream(wav, kRate);
  ASSERT_TRUE(fromWav);
  EXPECT_EQ(fromWav->lengthFrames(), 4410u);
  LOAD_FIXTURE(mp3, "mp3/track7.mp3");
  auto fromMp3 = OpenStream(mp3, kRate);
  ASSERT_TRUE(fromMp3);
  EXPECT_NEAR(static_cast<double>(fromMp3->lengthFrames()) / kRate, 2.4, 0.1);
}

TEST(DecodeWholeTest, DecodesWavAndMp3UpToTheLimit) {
  const auto wav = MakeWav(Kind::U8, 2, 11025, TestSamples(2000, 3));
  const auto sound = DecodeWhole(wav, kRate, 1'000'000);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->size(), 4000u * 2);
  EXPECT_TRUE(DecodeWhole(wav, kRate, 4000));
  EXPECT_FALSE(DecodeWhole(wav, kRate, 3999));

  LOAD_FIXTURE(mp3, "mp3/no_genre.mp3");
  const auto decoded = DecodeWhole(mp3, kRate, 1'000'000);
  ASSERT_TRUE(decoded);
  EXPECT_NEAR(decoded->size() / 2.0 / kRate, 2.4, 0.1);
  EXPECT_GT(Peak(*decoded), 4000);
  EXPECT_FALSE(DecodeWhole(mp3, kRate, kRate));
}

// --- Modules ----------------------------------------------------------------

struct ModuleCase {
  const char* file;
  const char* name;  // trimmed
  double seconds;    // < 0: not given
};

void PrintTo(const ModuleCase& c, std::ostream* os) {
  *os << c.file;
}

const ModuleCase kModules[] = {
    {"music/tecnoballz.mod", "tecnoballz", 192},
    {"music/area1-game2.mod", "area1-game", -1},  // an XM under a .mod name
    {"music/mario_is_a_weenie.xm", "Mario is a Weenie", 68},
    {"music/slice_me_nice.xm", "", 263},  // a name of spaces only
    {"music/gd-giirm.s3m", "Goose in Israel", 51},
    {"music/sorcerer.it", "The Sorcerer's Apprentice", 69},
    {"music/TEMPO.MTM", "Tempo Testing", 10},
};

class ModuleFixtureTest : public ::testing::TestWithParam<ModuleCase> {};

TEST_P(ModuleFixtureTest, LoadsWithItsNameAndLength) {
  const ModuleCase c = GetParam();
  LOAD_FIXTURE(bytes, c.file);
  auto m = OpenModule(bytes, kRate);
  ASSERT_TRUE(m);
  EXPECT_EQ(Trimmed(m->name()), c.name);
  EXPECT_GT(m->lengthFrames(), 0u);
  if (c.seconds > 0) {
    EXPECT_NEAR(static_cast<double>(m->lengthFrames()) / kRate, c.seconds, 1.0);
  }
  const auto start = ReadFrames(*m, 3 * kRate);
  EXPECT_EQ(start.size() / 2, 3u * kRate);
  EXPECT_EQ(m->positionFrames(), 3u * kRate);
  EXPECT_GT(Peak(start), 1000);
}

// Played once, the song ends at its length: read() falls short, then gives nothing.
TEST_P(ModuleFixtureTest, PlaysOnceThenEnds) {
  const ModuleCase c = GetParam();
  LOAD_FIXTURE(bytes, c.file);
  auto m = OpenModule(bytes, kRate);
  ASSERT_TRUE(m);
  const std::uint64_t length = m->lengthFrames();
  ASSERT_GT(length, 4u * kRate);
  ASSERT_TRUE(m->seek(length - 3 * kRate));
  const auto tail = ReadFrames(*m, 10 * kRate);
  EXPECT_NEAR(static_cast<double>(tail.size() / 2) / kRate, 3.0, 1.0);
  std::vector<std::int16_t> buf(2000);
  EXPECT_EQ(m->read(buf.data(), 1000), 0u);
}

TEST_P(ModuleFixtureTest, LoopsWhenAsked) {
  const ModuleCase c = GetParam();
  LOAD_FIXTURE(bytes, c.file);
  auto m = OpenModule(bytes, kRate);
  ASSERT_TRUE(m);
  m->setLoop(true);
  const std::uint64_t length = m->lengthFrames();
  ASSERT_TRUE(m->seek(length - kRate));
  const auto across = ReadFrames(*m, 4 * kRate);
  EXPECT_EQ(across.size() / 2, 4u * kRate);
  EXPECT_GT(Peak(Slice(across, 2 * kRate, 2 * kRate)), 1000) << "sound after the loop point";
}

INSTANTIATE_TEST_SUITE_P(ThirdPartyFiles, ModuleFixtureTest, ::testing::ValuesIn(kModules), [](const auto& info) {
  std::string n = info.param.file;
  n = n.substr(n.find('/') + 1);
  std::replace_if(
      n.begin(), n.end(), [](char ch) { return !std::isalnum(ch); }, '_');
  return n;
});

// A name field is zero-terminated: what stands after the first zero (left
// from an earlier, longer name) is no part of the name, in every format.
TEST(ModuleDecoderTest, NameEndsAtTheFirstZeroOfItsField) {
  const struct {
    const char* file;
    std::size_t offset, size;
  } cases[] = {
      {"music/tecnoballz.mod", 0, 20},       {"music/area1-game2.mod", 17, 20}, {"music/gd-giirm.s3m", 0, 28},
      {"music/sorcerer.it", 4, 26},          {"music/TEMPO.MTM", 4, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    LOAD_FIXTURE(bytes, c.file);
    std::string field = std::string("Commando Hiscore") + '\0' + "\xFF\xFF";
    field.resize(c.size, '\0');
    std::string changed = bytes;
    changed.replace(c.offset, c.size, field);
    auto m = OpenModule(changed, kRate);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->name(), "Commando Hiscore");
  }
}

TEST(ModuleDecoderTest, ShortSongRendersToItsLengthThenStops) {
  LOAD_FIXTURE(bytes, "music/TEMPO.MTM");
  auto m = OpenModule(bytes, kRate);
  ASSERT_TRUE(m);
  const auto all = ReadAll(*m);
  EXPECT_NEAR(static_cast<double>(all.size() / 2) / kRate, 10.0, 1.0);
  EXPECT_NEAR(static_cast<double>(all.size() / 2), static_cast<double>(m->lengthFrames()), kRate);
  std::vector<std::int16_t> buf(2000);
  EXPECT_EQ(m->read(buf.data(), 1000), 0u);
  // Back to the start after the end: the song plays again from its beginning.
  m->restart();
  EXPECT_EQ(m->positionFrames(), 0u);
  EXPECT_EQ(ReadFrames(*m, kRate), Slice(all, 0, kRate));
}

TEST(ModuleDecoderTest, RestartGoesBackToTheFirstOrder) {
  LOAD_FIXTURE(bytes, "music/gd-giirm.s3m");
  auto m = OpenModule(bytes, kRate);
  ASSERT_TRUE(m);
  const auto first = ReadFrames(*m, 2 * kRate);
  ReadFrames(*m, 5 * kRate);
  m->restart();
  EXPECT_EQ(m->positionFrames(), 0u);
  EXPECT_EQ(ReadFrames(*m, 2 * kRate), first);
}

// Surround widens the stereo image: the difference between the sides grows
// while their sum stays.
TEST(ModuleDecoderTest, SurroundWidensTheStereoImage) {
  LOAD_FIXTURE(bytes, "music/tecnoballz.mod");
  auto energy = [&](bool surround) {
    auto m = OpenModule(bytes, kRate);
    EXPECT_TRUE(m);
    if (!m) return std::pair{0.0, 0.0};
    m->setSurround(surround);
    const auto v = ReadFrames(*m, 4 * kRate);
    double side = 0;
    double mid = 0;
    for (std::size_t i = 0; i < v.size(); i += 2) {
      const double l = v[i];
      const double r = v[i + 1];
      side += (l - r) * (l - r);
      mid += (l + r) * (l + r);
    }
    return std::pair{side, mid};
  };
  const auto [normalSide, normalMid] = energy(false);
  const auto [wideSide, wideMid] = energy(true);
  ASSERT_GT(normalSide, 0);
  EXPECT_GT(wideSide, 2.5 * normalSide);
  EXPECT_NEAR(wideMid, normalMid, 0.2 * normalMid);
}

TEST(ModuleDecoderTest, DataThatIsNoModuleGivesNothing) {
  std::mt19937 gen(13);
  std::string random(20000, '\0');
  for (auto& c : random) c = static_cast<char>(gen());
  const auto xm = Fixture("music/mario_is_a_weenie.xm");
  for (const auto& bytes : {std::string(), random, xm ? xm->substr(0, 70) : std::string("x")}) {
    EXPECT_FALSE(OpenModule(bytes, kRate)) << bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace pagemoor::audio
