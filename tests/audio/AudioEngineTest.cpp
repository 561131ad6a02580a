#include "audio/AudioEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/Decoder.h"
#include "audio/Effects.h"
#include "common/FileIo.h"

namespace pagemoor::audio {
namespace {

constexpr int kRate = 44100;

using Frame = std::pair<std::int16_t, std::int16_t>;
using Wave = std::function<Frame(std::uint64_t)>;

Wave Constant(std::int16_t left, std::int16_t right) {
  return [=](std::uint64_t) { return Frame{left, right}; };
}

// Every frame differs from its neighbours, so a frame out of place shows.
Wave Ramp() {
  return [](std::uint64_t i) {
    const auto v = static_cast<std::int16_t>(i % 20000);
    return Frame{v, static_cast<std::int16_t>(-v)};
  };
}

Wave Sine(double hz, double amplitude) {
  return [=](std::uint64_t i) {
    const auto v = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / kRate)));
    return Frame{v, v};
  };
}

// What the engine did to a fake decoder.
struct Probe {
  int restarts = 0;
  bool loop = false;
  bool surround = false;
};

// A stream or module that plays a wave of `length` frames (0: endless).
class ToneDecoder : public ModuleDecoder {
 public:
  ToneDecoder(Wave wave, std::uint64_t length, std::shared_ptr<Probe> probe = nullptr,
              std::string name = "Tone")
      : m_wave(std::move(wave)),
        m_length(length),
        m_probe(probe ? probe : std::make_shared<Probe>()),
        m_name(std::move(name)) {}

  std::size_t read(std::int16_t* out, std::size_t frames) override {
    std::size_t done = 0;
    for (; done < frames; ++done) {
      if (m_length > 0 && m_pos >= m_length) {
        if (!m_probe->loop) break;
        m_pos = 0;
      }
      const Frame f = m_wave(m_pos++);
      out[done * 2] = f.first;
      out[done * 2 + 1] = f.second;
    }
    return done;
  }
  std::uint64_t lengthFrames() const override { return m_length; }
  std::uint64_t positionFrames() const override { return m_pos; }
  bool seek(std::uint64_t frame) override {
    m_pos = m_length > 0 ? std::min(frame, m_length) : frame;
    return true;
  }
  std::string name() const override { return m_name; }
  void setLoop(bool loop) override { m_probe->loop = loop; }
  void setSurround(bool on) override { m_probe->surround = on; }
  void restart() override {
    ++m_probe->restarts;
    m_pos = 0;
  }

 private:
  Wave m_wave;
  std::uint64_t m_length;
  std::uint64_t m_pos = 0;
  std::shared_ptr<Probe> m_probe;
  std::string m_name;
};

// The frames a wave gives from `from` on, interleaved.
std::vector<std::int16_t> Expected(const Wave& wave, std::uint64_t from, std::size_t frames) {
  std::vector<std::int16_t> out;
  for (std::size_t i = 0; i < frames; ++i) {
    const Frame f = wave(from + i);
    out.push_back(f.first);
    out.push_back(f.second);
  }
  return out;
}

std::vector<std::int16_t> Repeat(std::int16_t left, std::int16_t right, std::size_t frames) {
  return Expected(Constant(left, right), 0, frames);
}

std::vector<std::int16_t> Slice(const std::vector<std::int16_t>& v, std::size_t fromFrame,
                                std::size_t frames) {
  return {v.begin() + static_cast<std::ptrdiff_t>(fromFrame * 2),
          v.begin() + static_cast<std::ptrdiff_t>((fromFrame + frames) * 2)};
}

bool Silent(const std::vector<std::int16_t>& v) {
  return std::all_of(v.begin(), v.end(), [](std::int16_t s) { return s == 0; });
}

// An engine on the null output at 44100 Hz, started; the test renders by hand.
class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.Init(-1, kRate, 0));
    ASSERT_TRUE(engine.Start());
    out = dynamic_cast<NullOutput*>(engine.output());
    ASSERT_NE(out, nullptr);
  }

  std::vector<std::int16_t> render(int frames) { return out->render(frames); }

  // Renders in uneven pieces, some longer than the mixer's block.
  std::vector<std::int16_t> renderPieces(int frames) {
    static constexpr int kPieces[] = {700, 1500, 33, 1024, 1};
    std::vector<std::int16_t> all;
    for (int i = 0; frames > 0; ++i) {
      const int n = std::min(frames, kPieces[i % 5]);
      auto v = render(n);
      all.insert(all.end(), v.begin(), v.end());
      frames -= n;
    }
    return all;
  }

  Handle stream(Wave wave, std::uint64_t length = 0, std::uint32_t flags = 0) {
    return engine.StreamCreateDecoder(std::make_unique<ToneDecoder>(std::move(wave), length), flags);
  }
  Handle module(Wave wave, std::uint64_t length, std::uint32_t flags,
                std::shared_ptr<Probe> probe = nullptr) {
    return engine.MusicCreateDecoder(std::make_unique<ToneDecoder>(std::move(wave), length, probe), flags);
  }
  Handle playingStream(Wave wave, std::uint64_t length = 0, std::uint32_t flags = 0) {
    const Handle h = stream(std::move(wave), length, flags);
    EXPECT_TRUE(engine.StreamPlay(h, false, 0));
    return h;
  }
  Handle sample(Wave wave, std::size_t frames, int max = 255, std::uint32_t flags = 0) {
    return engine.SampleCreatePcm(Expected(wave, 0, frames), max, flags);
  }

  AudioEngine engine;
  NullOutput* out = nullptr;
};

// --- Start and end ---

// An output that records what the engine asks of it.
struct OutputLog {
  int opens = 0, starts = 0, stops = 0, closes = 0;
  int frequency = 0;
  bool openFails = false, startFails = false;
};

class LoggingOutput : public AudioOutput {
 public:
  explicit LoggingOutput(OutputLog* log) : m_log(log) {}
  bool open(int frequency, RenderFunction, std::string* error) override {
    ++m_log->opens;
    m_log->frequency = frequency;
    if (m_log->openFails) *error = "no device";
    return !m_log->openFails;
  }
  bool start() override { return ++m_log->starts, !m_log->startFails; }
  void stop() override { ++m_log->stops; }
  void close() override { ++m_log->closes; }
  std::string name() const override { return "log"; }

 private:
  OutputLog* m_log;
};

TEST(AudioEngineLifecycleTest, InitOpensTheFactorysOutputAndFreeClosesIt) {
  OutputLog log;
  AudioEngine engine;
  engine.setOutputFactory([&](int) { return std::make_unique<LoggingOutput>(&log); });
  ASSERT_TRUE(engine.Init(-1, 44100, 0));
  EXPECT_EQ(log.opens, 1);
  EXPECT_EQ(log.frequency, 44100);
  EXPECT_EQ(engine.output()->name(), "log");
  EXPECT_TRUE(engine.Start());
  EXPECT_TRUE(engine.Stop());
  EXPECT_EQ(log.starts, 1);
  EXPECT_EQ(log.stops, 1);
  EXPECT_FALSE(engine.Init(-1, 44100, 0));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Init);
  EXPECT_TRUE(engine.Free());
  EXPECT_EQ(log.closes, 1);
  EXPECT_FALSE(engine.isInitialised());
  EXPECT_EQ(engine.output(), nullptr);
  EXPECT_FALSE(engine.Free());
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Init);
}

TEST(AudioEngineLifecycleTest, DeviceFailuresAreReportedNotFatal) {
  OutputLog log;
  AudioEngine engine;
  log.openFails = true;
  engine.setOutputFactory([&](int) { return std::make_unique<LoggingOutput>(&log); });
  EXPECT_FALSE(engine.Init(-1, 44100, 0));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Device);
  EXPECT_FALSE(engine.isInitialised());

  log.openFails = false;
  log.startFails = true;
  ASSERT_TRUE(engine.Init(-1, 44100, 0));
  EXPECT_FALSE(engine.Start());
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Device);
  EXPECT_TRUE(engine.Free());

  engine.setOutputFactory([](int) { return nullptr; });
  EXPECT_FALSE(engine.Init(-1, 44100, 0));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Device);

  engine.setOutputFactory(nullptr);
  EXPECT_FALSE(engine.Init(-1, 0, 0));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
  EXPECT_TRUE(engine.Init(-1, 22050, 0));
}

TEST(AudioEngineLifecycleTest, EveryCallBeforeInitFailsWithInitError) {
  AudioEngine engine;
  int dummy = 0;
  const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
      {"Start", [&] { return engine.Start(); }},
      {"Stop", [&] { return engine.Stop(); }},
      {"Free", [&] { return engine.Free(); }},
      {"SetGlobalVolumes", [&] { return engine.SetGlobalVolumes(1, 1, 1); }},
      {"StreamCreateFile", [&] { return engine.StreamCreateFile(true, "RIFF", 0, 0, 0) != 0; }},
      {"MusicLoad", [&] { return engine.MusicLoad(true, "x", 0, 0, 0) != 0; }},
      {"StreamCreateDecoder",
       [&] { return engine.StreamCreateDecoder(std::make_unique<ToneDecoder>(Ramp(), 0), 0) != 0; }},
      {"SampleCreatePcm",
       [&] {
         return engine.SampleCreatePcm({1, 2}, 1, 0) != 0;
       }},
      {"ChannelIsActive", [&] { return engine.ChannelIsActive(0x10000000) != 0; }},
      {"ChannelGetData", [&] { return engine.ChannelGetData(0x10000000, &dummy, 4) >= 0; }},
      {"Apply3D", [&] { return engine.Apply3D(); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(call());
    EXPECT_EQ(engine.ErrorGetCode(), AudioError::Init);
  }
}

TEST(AudioEngineLifecycleTest, FreeReleasesEverythingAndOldHandlesStayInvalid) {
  AudioEngine engine;
  ASSERT_TRUE(engine.Init(-1, kRate, 0));
  std::vector<Handle> before;
  for (int i = 0; i < 3; ++i)
    before.push_back(engine.StreamCreateDecoder(std::make_unique<ToneDecoder>(Ramp(), 0), 0));
  before.push_back(engine.SampleCreatePcm({1, 1}, 1, 0));
  ASSERT_TRUE(engine.Free());
  ASSERT_TRUE(engine.Init(-1, kRate, 0));
  for (int i = 0; i < 3; ++i) {
    const Handle h = engine.StreamCreateDecoder(std::make_unique<ToneDecoder>(Ramp(), 0), 0);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(std::count(before.begin(), before.end(), h), 0);
  }
  for (Handle h : before) {
    EXPECT_FALSE(engine.StreamFree(h) || engine.SampleFree(h));
    EXPECT_EQ(engine.ErrorGetCode(), AudioError::Handle);
  }
}

// --- Handles ---

TEST_F(EngineTest, StaleHandlesFailEveryCall) {
  const Handle s = playingStream(Ramp());
  ASSERT_TRUE(engine.StreamFree(s));
  const Handle m = module(Ramp(), 0, kMusicFx);
  ASSERT_TRUE(engine.MusicFree(m));
  const Handle smp = sample(Ramp(), 100);
  ASSERT_TRUE(engine.SampleFree(smp));
  std::int16_t buf[8];
  const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
      {"StreamFree", [&] { return engine.StreamFree(s); }},
      {"MusicFree", [&] { return engine.MusicFree(m); }},
      {"StreamPlay", [&] { return engine.StreamPlay(s, true, 0); }},
      {"MusicPlayEx", [&] { return engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true); }},
      {"ChannelStop", [&] { return engine.ChannelStop(s); }},
      {"ChannelIsActive", [&] { return engine.ChannelIsActive(s) != kActiveStopped; }},
      {"MusicGetName", [&] { return engine.MusicGetName(m).has_value(); }},
      {"StreamGetLength", [&] { return engine.StreamGetLength(s) != kNoLength; }},
      {"MusicGetLength", [&] { return engine.MusicGetLength(m, true) != kNoLength; }},
      {"ChannelGetPosition", [&] { return engine.ChannelGetPosition(s) != kNoLength; }},
      {"ChannelSetPosition", [&] { return engine.ChannelSetPosition(s, 0); }},
      {"ChannelBytes2Seconds", [&] { return engine.ChannelBytes2Seconds(s, 4) >= 0; }},
      {"ChannelSeconds2Bytes", [&] { return engine.ChannelSeconds2Bytes(s, 1.0f) != kNoLength; }},
      {"ChannelSetFX", [&] { return engine.ChannelSetFX(m, kFxEcho) != 0; }},
      {"ChannelRemoveFX", [&] { return engine.ChannelRemoveFX(m, kFxEcho); }},
      {"ChannelSetDSP",
       [&] {
         return engine.ChannelSetDSP(
                    s, [](Handle, Handle, void*, std::uint32_t, void*) {}, nullptr) != 0;
       }},
      {"ChannelSet3DAttributes", [&] { return engine.ChannelSet3DAttributes(s, -1, 1, 2, -1, -1, -1); }},
      {"ChannelSetEAXMix", [&] { return engine.ChannelSetEAXMix(s, 1.0f); }},
      {"ChannelGetData", [&] { return engine.ChannelGetData(s, buf, sizeof buf) >= 0; }},
      {"ChannelGetLevel", [&] { return engine.ChannelGetLevel(s) != 0; }},
      {"SamplePlayEx", [&] { return engine.SamplePlayEx(smp, 0, -1, 100, 0, false) != 0; }},
      {"SampleFree", [&] { return engine.SampleFree(smp); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(call());
    EXPECT_EQ(engine.ErrorGetCode(), AudioError::Handle);
  }
  // The slots are used again, under new handles.
  const Handle s2 = stream(Ramp());
  EXPECT_NE(s2, 0u);
  EXPECT_NE(s2, s);
  EXPECT_FALSE(engine.StreamFree(s));
}

TEST_F(EngineTest, HandlesAreDistinctAndNeverZero) {
  std::vector<Handle> all = {stream(Ramp()), module(Ramp(), 0, 0), sample(Ramp(), 10)};
  all.push_back(engine.SamplePlayEx(all[2], 0, -1, 100, 0, true));
  all.push_back(engine.ChannelSetDSP(
      all[0], [](Handle, Handle, void*, std::uint32_t, void*) {}, nullptr));
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_EQ(std::count(all.begin(), all.end(), 0u), 0);
}

// The jukebox calls both functions of a pair on its one channel and relies on
// exactly the one that fits applying, and on the other changing nothing.
TEST_F(EngineTest, CallsOfTheOtherKindFailHarmlessly) {
  const Handle s = stream(Ramp());
  const Handle m = module(Constant(7, 7), 0, 0);
  const Handle smp = sample(Ramp(), 10);

  EXPECT_FALSE(engine.MusicPlayEx(s, 0, 0xFFFFFFFF, true));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Handle);
  EXPECT_FALSE(engine.StreamPlay(m, false, kMp3SetPos));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Handle);
  EXPECT_EQ(engine.ChannelIsActive(s), kActiveStopped);
  EXPECT_EQ(engine.ChannelIsActive(m), kActiveStopped);
  EXPECT_TRUE(Silent(render(64)));

  EXPECT_FALSE(engine.MusicGetName(s).has_value());
  EXPECT_EQ(engine.StreamGetLength(m), kNoLength);
  EXPECT_EQ(engine.MusicGetLength(s, true), kNoLength);
  EXPECT_FALSE(engine.ChannelStop(smp));
  EXPECT_EQ(engine.SamplePlayEx(s, 0, -1, 100, 0, false), 0u);
  EXPECT_FALSE(engine.SampleFree(s));

  EXPECT_FALSE(engine.MusicFree(s));
  EXPECT_FALSE(engine.StreamFree(m));
  EXPECT_TRUE(engine.StreamPlay(s, false, kMp3SetPos));
  EXPECT_TRUE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));
  EXPECT_EQ(render(1), (std::vector<std::int16_t>{7, 7}));

  // Stop as the jukebox does: both frees, one applies.
  EXPECT_TRUE(engine.MusicFree(m) != engine.StreamFree(m));
  EXPECT_TRUE(engine.MusicFree(s) != engine.StreamFree(s));
  EXPECT_TRUE(Silent(render(64)));
}

// --- Playing ---

TEST_F(EngineTest, StreamPlaysItsFramesExactly) {
  const Handle s = playingStream(Ramp());
  EXPECT_EQ(engine.ChannelIsActive(s), kActivePlaying);
  EXPECT_EQ(renderPieces(5000), Expected(Ramp(), 0, 5000));
}

TEST_F(EngineTest, StopSilencesAndPlayResumesOrRestarts) {
  const Handle s = playingStream(Ramp());
  render(1000);
  ASSERT_TRUE(engine.ChannelStop(s));
  EXPECT_EQ(engine.ChannelIsActive(s), kActiveStopped);
  EXPECT_TRUE(Silent(render(500)));
  // Still loaded: plays on from where it stopped, or from the start when flushed.
  ASSERT_TRUE(engine.StreamPlay(s, false, 0));
  EXPECT_EQ(render(10), Expected(Ramp(), 1000, 10));
  ASSERT_TRUE(engine.StreamPlay(s, true, 0));
  EXPECT_EQ(render(10), Expected(Ramp(), 0, 10));
}

TEST_F(EngineTest, NothingIsPulledWhileTheOutputIsStopped) {
  playingStream(Ramp());
  ASSERT_TRUE(engine.Stop());
  EXPECT_TRUE(render(100).empty());
  ASSERT_TRUE(engine.Start());
  EXPECT_EQ(render(3), Expected(Ramp(), 0, 3));
}

TEST_F(EngineTest, ASongThatEndsStopsItsChannel) {
  struct Case {
    const char* name;
    bool isModule;
    std::uint32_t flags;
  };
  for (const Case& c : {Case{"stream", false, 0}, Case{"module", true, kMusicRamp | kMusicFx}}) {
    SCOPED_TRACE(c.name);
    const Handle h = c.isModule ? module(Ramp(), 1000, c.flags) : stream(Ramp(), 1000, c.flags);
    ASSERT_TRUE(c.isModule ? engine.MusicPlayEx(h, 0, 0xFFFFFFFF, true) : engine.StreamPlay(h, false, 0));
    const auto v = render(1500);
    EXPECT_EQ(Slice(v, 0, 1000), Expected(Ramp(), 0, 1000));
    EXPECT_TRUE(Silent(Slice(v, 1000, 500)));
    EXPECT_EQ(engine.ChannelIsActive(h), kActiveStopped);
    EXPECT_EQ(engine.ChannelGetLevel(h), 0u);
    EXPECT_TRUE(engine.ChannelStop(h));  // still loaded
  }
}

TEST_F(EngineTest, ModuleFlagsAtLoadAndPlay) {
  auto probe = std::make_shared<Probe>();
  const Handle m = module(Ramp(), 1000, kMusicLoop | kMusicFx, probe);
  EXPECT_TRUE(probe->loop);
  EXPECT_FALSE(probe->surround);

  ASSERT_TRUE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));  // keeps the flags
  EXPECT_EQ(probe->restarts, 1);
  EXPECT_TRUE(probe->loop);
  const auto v = render(2500);
  EXPECT_EQ(Slice(v, 1000, 1500), Expected([](std::uint64_t i) { return Ramp()(i % 1000); }, 1000, 1500));
  EXPECT_EQ(engine.ChannelIsActive(m), kActivePlaying);

  ASSERT_TRUE(engine.MusicPlayEx(m, 0, kMusicSurround2, true));  // replaces them
  EXPECT_TRUE(probe->surround);
  EXPECT_FALSE(probe->loop);
  EXPECT_EQ(probe->restarts, 2);
  EXPECT_EQ(render(2), Expected(Ramp(), 0, 2));

  ASSERT_TRUE(engine.MusicPlayEx(m, 0, 0, false));
  EXPECT_FALSE(probe->surround);
  EXPECT_FALSE(engine.MusicPlayEx(m, 5, 0, false));  // orders other than the start are not offered
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
}

TEST_F(EngineTest, DecodeOnlyModuleGivesItsNameAndNeverPlays) {
  const Handle m =
      engine.MusicCreateDecoder(std::make_unique<ToneDecoder>(Ramp(), 100, nullptr, "Goose"), kMusicDecode);
  ASSERT_NE(m, 0u);
  EXPECT_EQ(engine.MusicGetName(m), "Goose");
  EXPECT_FALSE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));
  EXPECT_TRUE(Silent(render(100)));
  EXPECT_TRUE(engine.MusicFree(m));
}

TEST_F(EngineTest, ChannelsPlayingAtOnceAreSummedAndSaturated) {
  playingStream(Constant(1000, -1000));
  const Handle m = module(Constant(30000, -30000), 0, 0);
  ASSERT_TRUE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));
  EXPECT_EQ(render(4), Repeat(31000, -31000, 4));
  playingStream(Constant(5000, -5000));
  EXPECT_EQ(render(4), Repeat(32767, -32768, 4));
}

TEST_F(EngineTest, LengthsAndPositionsAreBytesOfTheOutput) {
  const Handle s = playingStream(Ramp(), kRate);
  const Handle m = module(Ramp(), 2 * kRate, 0);
  EXPECT_EQ(engine.StreamGetLength(s), 176400u);
  EXPECT_EQ(engine.MusicGetLength(m, true), 352800u);
  EXPECT_EQ(engine.MusicGetLength(m, false), kNoLength);
  EXPECT_DOUBLE_EQ(engine.ChannelBytes2Seconds(s, 176400), 1.0);
  EXPECT_DOUBLE_EQ(engine.ChannelBytes2Seconds(s, 44100), 0.25);
  EXPECT_EQ(engine.ChannelSeconds2Bytes(s, 0.5f), 88200u);
  EXPECT_EQ(engine.ChannelSeconds2Bytes(s, -1.0f), kNoLength);

  render(1000);
  EXPECT_EQ(engine.ChannelGetPosition(s), 4000u);
  ASSERT_TRUE(engine.ChannelSetPosition(s, 40000));
  EXPECT_EQ(engine.ChannelGetPosition(s), 40000u);
  EXPECT_EQ(render(3), Expected(Ramp(), 10000, 3));
}

TEST_F(EngineTest, ThreeDSettingsAreAcceptedAndChangeNothing) {
  const Handle s = playingStream(Ramp());
  EXPECT_TRUE(engine.ChannelSet3DAttributes(s, -1, 1.0f, 2.0f, -1, -1, -1));
  EXPECT_TRUE(engine.ChannelSetEAXMix(s, 1.0f));
  EXPECT_TRUE(engine.Apply3D());
  EXPECT_EQ(render(100), Expected(Ramp(), 0, 100));
}

// --- Volumes ---

TEST_F(EngineTest, GlobalVolumesScaleTheirOwnKindOfSound) {
  // A module of 1000, a stream of 2000 and a sample of 400, all at once.
  const Handle m = module(Constant(1000, 1000), 0, 0);
  ASSERT_TRUE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));
  playingStream(Constant(2000, 2000));
  ASSERT_NE(engine.SamplePlayEx(sample(Constant(400, 400), 100), 0, -1, 100, 0, true), 0u);
  struct Case {
    int music, sample, stream;
    std::int16_t expected;
  };
  const Case cases[] = {
      {100, 100, 100, 3400}, {50, 50, 50, 1700}, {0, 0, 0, 0},     {-1, -50, -100, 0},
      {150, 200, 101, 3400}, {100, 0, 0, 1000},  {0, 100, 0, 400}, {0, 0, 100, 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.music << "/" << c.sample << "/" << c.stream);
    ASSERT_TRUE(engine.SetGlobalVolumes(c.music, c.sample, c.stream));
    EXPECT_EQ(render(8), Repeat(c.expected, c.expected, 8));
  }
}

// --- Samples ---

TEST_F(EngineTest, SamplePlaysOverTheMusicAndEnds) {
  playingStream(Constant(1000, -1000));
  const Handle smp = sample(Ramp(), 600);
  const Handle p = engine.SamplePlayEx(smp, 0, -1, 100, 0, false);
  ASSERT_NE(p, 0u);
  EXPECT_EQ(engine.ChannelIsActive(p), kActivePlaying);
  const auto v = renderPieces(1000);
  auto expected = Expected(
      [](std::uint64_t i) {
        const Frame f = Ramp()(i);
        return Frame{static_cast<std::int16_t>(f.first + 1000), static_cast<std::int16_t>(f.second - 1000)};
      },
      0, 600);
  EXPECT_EQ(Slice(v, 0, 600), expected);
  EXPECT_EQ(Slice(v, 600, 400), Repeat(1000, -1000, 400));
  // An ended playback is gone: its handle is no longer valid.
  EXPECT_EQ(engine.ChannelIsActive(p), kActiveStopped);
  EXPECT_FALSE(engine.ChannelStop(p));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Handle);
}

TEST_F(EngineTest, SampleVolumeAndPan) {
  const Handle smp = sample(Constant(400, 400), 100);
  struct Case {
    int volume, pan;
    std::int16_t left, right;
  };
  const Case cases[] = {
      {100, 0, 400, 400}, {200, 50, 200, 400},  // the jukebox's call: full volume, half right
      {50, 0, 200, 200},  {-1, 0, 400, 400},   {100, -100, 400, 0},
      {100, 100, 0, 400}, {100, -250, 400, 0}, {0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
    const Handle p = engine.SamplePlayEx(smp, 0, -1, c.volume, c.pan, false);
    ASSERT_NE(p, 0u);
    EXPECT_EQ(render(4), Repeat(c.left, c.right, 4));
    ASSERT_TRUE(engine.ChannelStop(p));
  }
}

TEST_F(EngineTest, SampleStartFrequencyAndLoop) {
  // Left rises by 10 a frame: any interpolated position is known exactly.
  const Wave rise = [](std::uint64_t i) { return Frame{static_cast<std::int16_t>(10 * i), 0}; };
  const Handle smp = sample(rise, 1000);
  const auto left = [](const std::vector<std::int16_t>& v, std::size_t frame) { return v[frame * 2]; };

  ASSERT_NE(engine.SamplePlayEx(smp, 400, -1, 100, 0, false), 0u);  // 100 frames in
  EXPECT_EQ(left(render(1), 0), 1000);
  render(1000);

  ASSERT_NE(engine.SamplePlayEx(smp, 0, 2 * kRate, 100, 0, false), 0u);
  auto v = render(600);
  EXPECT_EQ(left(v, 1), 20);
  EXPECT_EQ(left(v, 499), 9980);
  EXPECT_EQ(left(v, 500), 0);  // twice as fast: over after 500 frames

  ASSERT_NE(engine.SamplePlayEx(smp, 0, kRate / 2, 100, 0, false), 0u);
  v = render(1999);
  EXPECT_EQ(left(v, 1), 5);  // half way between frames 0 and 1
  EXPECT_EQ(left(v, 1001), 5005);
  render(100);

  const Handle looped = engine.SamplePlayEx(smp, 0, -1, 100, 0, true);
  v = render(2500);
  EXPECT_EQ(left(v, 999), 9990);
  EXPECT_EQ(left(v, 1000), 0);
  EXPECT_EQ(left(v, 2499), 4990);
  EXPECT_EQ(engine.ChannelIsActive(looped), kActivePlaying);
  EXPECT_EQ(engine.ChannelGetPosition(looped), 500u * 4);

  EXPECT_EQ(engine.SamplePlayEx(smp, 4000, -1, 100, 0, false), 0u);  // past the end
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
}

TEST_F(EngineTest, PlaybacksBeyondTheMaximum) {
  for (const bool replace : {false, true}) {
    SCOPED_TRACE(replace ? "kSampleOverPos" : "no flag");
    const Handle smp = sample(Constant(1, 1), 10000, 255, replace ? kSampleOverPos | kSample3D : kSample3D);
    std::vector<Handle> playbacks = {engine.SamplePlayEx(smp, 0, -1, 100, 0, false)};
    render(10);  // the first has played longest
    for (int i = 1; i < 255; ++i) playbacks.push_back(engine.SamplePlayEx(smp, 0, -1, 100, 0, false));
    ASSERT_EQ(std::count(playbacks.begin(), playbacks.end(), 0u), 0);

    const Handle extra = engine.SamplePlayEx(smp, 0, -1, 100, 0, false);
    if (replace) {
      EXPECT_NE(extra, 0u);
      EXPECT_EQ(engine.ChannelIsActive(playbacks[0]), kActiveStopped);
      for (int i = 1; i < 255; ++i) EXPECT_EQ(engine.ChannelIsActive(playbacks[i]), kActivePlaying);
      EXPECT_EQ(engine.ChannelIsActive(extra), kActivePlaying);
    } else {
      EXPECT_EQ(extra, 0u);
      EXPECT_EQ(engine.ErrorGetCode(), AudioError::NoFree);
      for (Handle p : playbacks) EXPECT_EQ(engine.ChannelIsActive(p), kActivePlaying);
    }
    // 255 at once.
    EXPECT_EQ(render(1), (std::vector<std::int16_t>{255, 255}));
    ASSERT_TRUE(engine.SampleFree(smp));
    EXPECT_TRUE(Silent(render(10)));
    EXPECT_EQ(engine.ChannelIsActive(playbacks[1]), kActiveStopped);
  }
}

TEST_F(EngineTest, PlaybacksThatEndedOrStoppedFreeTheirPlace) {
  const Handle smp = sample(Constant(1, 1), 10, 2);
  const Handle a = engine.SamplePlayEx(smp, 0, -1, 100, 0, false);
  const Handle b = engine.SamplePlayEx(smp, 0, -1, 100, 0, false);
  EXPECT_EQ(engine.SamplePlayEx(smp, 0, -1, 100, 0, false), 0u);
  render(20);
  EXPECT_EQ(engine.ChannelIsActive(a), kActiveStopped);
  EXPECT_EQ(engine.ChannelIsActive(b), kActiveStopped);
  const Handle c = engine.SamplePlayEx(smp, 0, -1, 100, 0, true);
  EXPECT_NE(engine.SamplePlayEx(smp, 0, -1, 100, 0, true), 0u);
  ASSERT_TRUE(engine.ChannelStop(c));
  EXPECT_NE(engine.SamplePlayEx(smp, 0, -1, 100, 0, true), 0u);
}

TEST_F(EngineTest, BadSampleArguments) {
  EXPECT_EQ(engine.SampleCreatePcm({1, 2, 3}, 1, 0), 0u);  // half a frame
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
  EXPECT_EQ(engine.SampleCreatePcm({1, 2}, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
  EXPECT_EQ(engine.SampleLoad(true, "RIFF", 0, 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
}

// --- DSP hooks ---

struct HookLog {
  std::vector<std::int16_t> seen;
  std::uint32_t lengths = 0;
  Handle dsp = 0, channel = 0;
  void* user = nullptr;
  int calls = 0;
};

DspProc Recorder(HookLog* log, std::function<std::int16_t(std::int16_t)> change = nullptr) {
  return [log, change](Handle dsp, Handle channel, void* buffer, std::uint32_t length, void* user) {
    auto* s = static_cast<std::int16_t*>(buffer);
    log->seen.insert(log->seen.end(), s, s + length / 2);
    log->lengths += length;
    log->dsp = dsp;
    log->channel = channel;
    log->user = user;
    ++log->calls;
    if (change)
      for (std::uint32_t i = 0; i < length / 2; ++i) s[i] = change(s[i]);
  };
}

TEST_F(EngineTest, HookSeesExactlyTheFramesAndItsChangesAreHeard) {
  const Handle s = playingStream(Ramp());
  HookLog log;
  int user = 0;
  const Handle dsp = engine.ChannelSetDSP(
      s, Recorder(&log, [](std::int16_t x) { return static_cast<std::int16_t>(x / 2); }), &user);
  ASSERT_NE(dsp, 0u);
  const auto v = renderPieces(3000);
  EXPECT_EQ(log.seen, Expected(Ramp(), 0, 3000));
  EXPECT_EQ(log.lengths, 3000u * 4);
  EXPECT_EQ(log.dsp, dsp);
  EXPECT_EQ(log.channel, s);
  EXPECT_EQ(log.user, &user);
  EXPECT_EQ(
      v, Expected(
             [](std::uint64_t i) {
               const Frame f = Ramp()(i);
               return Frame{static_cast<std::int16_t>(f.first / 2), static_cast<std::int16_t>(f.second / 2)};
             },
             0, 3000));
}

TEST_F(EngineTest, HooksRunInInstallOrder) {
  playingStream(Constant(10, 10));  // another channel, without hooks
  HookLog a, b;
  const Handle music = playingStream(Constant(5, 5));
  ASSERT_NE(
      engine.ChannelSetDSP(
          music, Recorder(&a, [](std::int16_t x) { return static_cast<std::int16_t>(x + 1); }), nullptr),
      0u);
  ASSERT_NE(
      engine.ChannelSetDSP(
          music, Recorder(&b, [](std::int16_t x) { return static_cast<std::int16_t>(x * 2); }), nullptr),
      0u);
  EXPECT_EQ(render(2), Repeat(10 + (5 + 1) * 2, 10 + (5 + 1) * 2, 2));
  EXPECT_EQ(b.seen, Repeat(6, 6, 2));
}

TEST_F(EngineTest, HookNeverRunsAfterItIsRemovedOrItsChannelStopped) {
  const Handle s = playingStream(Ramp());
  const Handle other = playingStream(Constant(0, 0));
  HookLog removed, stopped;
  const Handle dsp =
      engine.ChannelSetDSP(s, Recorder(&removed, [](std::int16_t) { return std::int16_t{0}; }), nullptr);
  render(100);
  ASSERT_EQ(removed.calls, 1);
  EXPECT_FALSE(engine.ChannelRemoveDSP(other, dsp));  // another channel's hook
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Handle);
  ASSERT_TRUE(engine.ChannelRemoveDSP(s, dsp));
  EXPECT_FALSE(engine.ChannelRemoveDSP(s, dsp));
  EXPECT_EQ(render(100), Expected(Ramp(), 100, 100));  // heard as it is again
  EXPECT_EQ(removed.calls, 1);

  ASSERT_NE(engine.ChannelSetDSP(s, Recorder(&stopped), nullptr), 0u);
  render(100);
  ASSERT_TRUE(engine.ChannelStop(s));
  render(1000);
  EXPECT_EQ(stopped.calls, 1);
}

TEST_F(EngineTest, EmptyHookIsRefused) {
  const Handle s = stream(Ramp());
  EXPECT_EQ(engine.ChannelSetDSP(s, nullptr, nullptr), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
}

// --- Level and snapshot ---

TEST_F(EngineTest, LevelIsThePeakOfTheLatestBlockAfterHooks) {
  // Left swings between +-16384, right between +-8192.
  const Handle s = playingStream([](std::uint64_t i) {
    const bool up = (i / 50) % 2 == 0;
    return Frame{static_cast<std::int16_t>(up ? 16384 : -16384),
                 static_cast<std::int16_t>(up ? 8192 : -8192)};
  });
  EXPECT_EQ(engine.ChannelGetLevel(s), 0u);  // not played yet
  render(1024);
  EXPECT_EQ(engine.ChannelGetLevel(s), 64u | (32u << 16));
  HookLog log;
  ASSERT_NE(engine.ChannelSetDSP(
                s, Recorder(&log, [](std::int16_t x) { return static_cast<std::int16_t>(x * 2 - (x > 0)); }),
                nullptr),
            0u);
  render(1024);
  EXPECT_EQ(engine.ChannelGetLevel(s), 128u | (64u << 16));
  ASSERT_TRUE(engine.ChannelStop(s));
  EXPECT_EQ(engine.ChannelGetLevel(s), 0u);
}

TEST_F(EngineTest, SnapshotHoldsTheLatestFrames) {
  const Handle s = playingStream(Ramp());
  std::vector<std::int16_t> buf(kSnapshotBytes, 123);
  EXPECT_EQ(engine.ChannelGetData(s, buf.data(), 2048), 2048);
  EXPECT_TRUE(Silent({buf.begin(), buf.begin() + 1024}));  // nothing played yet

  renderPieces(3000);
  struct Case {
    std::uint32_t length;
    int copied;
  };
  for (const Case& c : {Case{2048, 2048}, Case{kSnapshotBytes, int(kSnapshotBytes)},
                        Case{100000, int(kSnapshotBytes)}, Case{6, 4}, Case{0, 0}}) {
    SCOPED_TRACE(c.length);
    std::fill(buf.begin(), buf.end(), 123);
    ASSERT_EQ(engine.ChannelGetData(s, buf.data(), c.length), c.copied);
    const std::size_t frames = static_cast<std::size_t>(c.copied) / 4;
    EXPECT_EQ(std::vector<std::int16_t>(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(frames * 2)),
              Expected(Ramp(), 3000 - frames, frames));
    EXPECT_EQ(buf[frames * 2], 123);  // nothing beyond
  }
}

// --- Effects ---

TEST_F(EngineTest, EffectsNeedTheFlagAndAKnownType) {
  const Handle plain = stream(Ramp());
  const Handle plainModule = module(Ramp(), 0, kMusicRamp);
  const Handle fxStream = stream(Ramp(), 0, kSampleFx | kMp3SetPos);
  EXPECT_EQ(engine.ChannelSetFX(plain, kFxEcho), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
  EXPECT_EQ(engine.ChannelSetFX(plainModule, kFxEcho), 0u);
  for (const int type : {-1, 9}) {
    EXPECT_EQ(engine.ChannelSetFX(fxStream, type), 0u);
    EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
  }
  // The jukebox clears every type from a new channel; none is there.
  for (const int type : {3, 4, 0, 1, 2, 5, 6, 7, 8}) EXPECT_FALSE(engine.ChannelRemoveFX(fxStream, type));
  EXPECT_EQ(render(5), (std::vector<std::int16_t>(10, 0)));
}

TEST_F(EngineTest, EffectChangesTheSoundAndRemovingItRestoresIt) {
  const Wave tone = Sine(440, 12000);
  for (const int type : {kFxChorus, kFxEcho, kFxFlanger, kFxGargle, kFxReverb}) {
    SCOPED_TRACE(type);
    AudioEngine plainEngine;
    ASSERT_TRUE(plainEngine.Init(-1, kRate, 0));
    ASSERT_TRUE(plainEngine.Start());
    const Handle ref = plainEngine.MusicCreateDecoder(std::make_unique<ToneDecoder>(tone, 0), kMusicFx);
    ASSERT_TRUE(plainEngine.MusicPlayEx(ref, 0, 0xFFFFFFFF, true));
    auto* plainOut = dynamic_cast<NullOutput*>(plainEngine.output());
    const auto plainBefore = plainOut->render(8192);
    const auto plainAfter = plainOut->render(4096);

    const Handle m = module(tone, 0, kMusicFx);
    const Handle fx = engine.ChannelSetFX(m, type);
    ASSERT_NE(fx, 0u);
    ASSERT_TRUE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));
    EXPECT_NE(render(8192), plainBefore);
    ASSERT_TRUE(engine.ChannelRemoveFX(m, type));
    EXPECT_FALSE(engine.ChannelRemoveFX(m, type));
    EXPECT_EQ(render(4096), plainAfter);
    ASSERT_TRUE(engine.MusicFree(m));
  }
}

TEST_F(EngineTest, EffectsRunBeforeHooks) {
  const Handle s = playingStream(Sine(440, 12000), 0, kSampleFx);
  ASSERT_NE(engine.ChannelSetFX(s, kFxGargle), 0u);
  HookLog log;
  ASSERT_NE(engine.ChannelSetDSP(s, Recorder(&log), nullptr), 0u);
  const auto v = render(4096);
  EXPECT_EQ(log.seen, v);
  EXPECT_NE(log.seen, Expected(Sine(440, 12000), 0, 4096));
}

// --- Files ---

std::string Fixture(const std::string& relative) {
  return std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/" + relative;
}

std::string FixtureBytes(const std::string& relative) {
  return ReadFileBytes(Fixture(relative)).value_or("");
}

// Renders until the channel stops; the frames rendered up to and including the
// block in which it stopped, and whether any was not silent.
struct PlayedOut {
  std::uint64_t frames = 0;
  bool heard = false;
};

PlayedOut PlayToTheEnd(AudioEngine& engine, NullOutput& out, Handle h, std::uint64_t limitFrames) {
  PlayedOut r;
  while (engine.ChannelIsActive(h) == kActivePlaying && r.frames < limitFrames) {
    const auto v = out.render(1024);
    r.heard = r.heard || !Silent(v);
    r.frames += 1024;
  }
  return r;
}

TEST_F(EngineTest, ModuleFilePlaysToItsLength) {
  const std::string bytes = FixtureBytes("music/TEMPO.MTM");
  ASSERT_FALSE(bytes.empty()) << "test file music/TEMPO.MTM missing";
  // Found whatever the letter case of the name.
  const Handle m = engine.MusicLoad(false, Fixture("music/tempo.mtm"), 0, 0, kMusicRamp | kMusicFx);
  ASSERT_NE(m, 0u) << int(engine.ErrorGetCode());
  const std::uint64_t length = engine.MusicGetLength(m, true);
  EXPECT_NEAR(engine.ChannelBytes2Seconds(m, length), 10.9, 0.2);
  ASSERT_TRUE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));
  const PlayedOut played = PlayToTheEnd(engine, *out, m, length / 4 + kRate);
  EXPECT_TRUE(played.heard);
  EXPECT_EQ(engine.ChannelIsActive(m), kActiveStopped);
  // libopenmpt lets the last notes ring for about 0.1 s past the measured length.
  EXPECT_NEAR(double(played.frames), double(length / 4) + 0.1 * kRate, 0.05 * kRate);
}

TEST_F(EngineTest, ModuleNameFromADecodeOnlyLoad) {
  const std::string bytes = FixtureBytes("music/gd-giirm.s3m");
  ASSERT_FALSE(bytes.empty()) << "test file music/gd-giirm.s3m missing";
  const Handle m = engine.MusicLoad(false, Fixture("MUSIC/GD-GIIRM.S3M"), 0, 0, kMusicDecode);
  ASSERT_NE(m, 0u);
  EXPECT_EQ(engine.MusicGetName(m), "Goose in Israel");
  EXPECT_FALSE(engine.MusicPlayEx(m, 0, 0xFFFFFFFF, true));
  EXPECT_TRUE(engine.MusicFree(m));
  // From memory, too: the same bytes after 16 others.
  const Handle fromMemory = engine.MusicLoad(true, std::string(16, 'x') + bytes, 16, 0, kMusicDecode);
  EXPECT_EQ(engine.MusicGetName(fromMemory), "Goose in Israel");
}

TEST_F(EngineTest, Mp3StreamPlaysToItsLength) {
  const std::string bytes = FixtureBytes("mp3/my_song.mp3");
  ASSERT_FALSE(bytes.empty()) << "test file mp3/my_song.mp3 missing";
  const Handle s = engine.StreamCreateFile(false, Fixture("mp3/my_song.mp3"), 0, 0, kSampleFx | kMp3SetPos);
  ASSERT_NE(s, 0u);
  const std::uint64_t length = engine.StreamGetLength(s);
  EXPECT_NEAR(engine.ChannelBytes2Seconds(s, length), 2.4, 0.1);
  ASSERT_TRUE(engine.StreamPlay(s, false, kMp3SetPos));
  const PlayedOut played = PlayToTheEnd(engine, *out, s, length / 4 + 10 * 1024);
  EXPECT_TRUE(played.heard);
  EXPECT_EQ(engine.ChannelIsActive(s), kActiveStopped);
  EXPECT_NEAR(double(played.frames), double(length / 4), 1024.0);
}

TEST_F(EngineTest, WavStreamFromAPartOfTheBytes) {
  const std::string bytes = FixtureBytes("wav/sound_yellow_gem.wav");
  ASSERT_FALSE(bytes.empty()) << "test file wav/sound_yellow_gem.wav missing";
  const Handle whole = engine.StreamCreateFile(true, bytes, 0, 0, 0);
  const Handle part = engine.StreamCreateFile(true, "junk" + bytes + "trailing", 4, bytes.size(), 0);
  ASSERT_NE(whole, 0u);
  ASSERT_NE(part, 0u);
  EXPECT_EQ(engine.StreamGetLength(part), engine.StreamGetLength(whole));
  ASSERT_TRUE(engine.StreamPlay(part, true, 0));
  EXPECT_TRUE(PlayToTheEnd(engine, *out, part, 10 * kRate).heard);
}

TEST_F(EngineTest, SampleFromAWavFilePlaysOnceOverTheMusic) {
  const std::string path = Fixture("wav/sound_yellow_gem.wav");
  const std::string bytes = FixtureBytes("wav/sound_yellow_gem.wav");
  ASSERT_FALSE(bytes.empty()) << "test file wav/sound_yellow_gem.wav missing";
  const Handle smp = engine.SampleLoad(false, path, 0, 0, 255, kSampleOverPos | kSample3D);
  ASSERT_NE(smp, 0u);
  const Handle p = engine.SamplePlayEx(smp, 0, -1, 200, 50, false);
  ASSERT_NE(p, 0u);
  const PlayedOut played = PlayToTheEnd(engine, *out, p, 10 * kRate);
  EXPECT_TRUE(played.heard);
  EXPECT_EQ(engine.ChannelIsActive(p), kActiveStopped);
}

TEST_F(EngineTest, FilesThatCannotBePlayed) {
  const std::string missing = Fixture("music/no-such-file.mod");
  EXPECT_EQ(engine.StreamCreateFile(false, missing, 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::FileOpen);
  EXPECT_EQ(engine.MusicLoad(false, missing, 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::FileOpen);
  EXPECT_EQ(engine.SampleLoad(false, missing, 0, 0, 1, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::FileOpen);
  EXPECT_EQ(engine.MusicLoad(false, std::filesystem::temp_directory_path().string(), 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::FileOpen);  // a folder

  const std::string junk(4000, '\x01');
  EXPECT_EQ(engine.StreamCreateFile(true, junk, 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Format);
  EXPECT_EQ(engine.MusicLoad(true, junk, 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Format);
  EXPECT_EQ(engine.SampleLoad(true, junk, 0, 0, 1, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Format);
  EXPECT_EQ(engine.StreamCreateFile(true, junk, 5000, 0, 0), 0u);  // offset past the end
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Param);
}

// --- Two threads ---

// Forwards to a null output that outlives the engine's Init and Free, so a
// thread can go on rendering through both.
class SharedOutput : public AudioOutput {
 public:
  explicit SharedOutput(NullOutput* out) : m_out(out) {}
  bool open(int f, RenderFunction r, std::string* e) override { return m_out->open(f, std::move(r), e); }
  bool start() override { return m_out->start(); }
  void stop() override { m_out->stop(); }
  void close() override { m_out->close(); }
  std::string name() const override { return "shared null"; }

 private:
  NullOutput* m_out;
};

// The state a hook owns; set up before the hook is installed.
struct HookState {
  std::atomic<int> calls{0};
  std::atomic<bool> mustNotRun{false};
  std::atomic<int>* violations = nullptr;
};

TEST(AudioEngineThreadsTest, InterfaceThreadChangesEverythingWhileAnotherThreadMixes) {
  NullOutput device;
  AudioEngine engine;
  engine.setOutputFactory([&](int) { return std::make_unique<SharedOutput>(&device); });

  std::atomic<bool> done{false};
  std::atomic<long> blocks{0};
  std::thread mixer([&] {
    while (!done.load()) {
      if (device.render(256).empty())
        std::this_thread::yield();
      else
        blocks.fetch_add(1);
    }
  });

  std::atomic<int> violations{0};
  std::vector<std::unique_ptr<HookState>> hooks;
  const auto hook = [&](Handle channel) {
    hooks.push_back(std::make_unique<HookState>());
    HookState* st = hooks.back().get();
    st->violations = &violations;
    const Handle h = engine.ChannelSetDSP(
        channel,
        [st](Handle, Handle, void* buffer, std::uint32_t length, void*) {
          if (st->mustNotRun.load()) st->violations->fetch_add(1);
          st->calls.fetch_add(1);
          auto* s = static_cast<std::int16_t*>(buffer);
          for (std::uint32_t i = 0; i < length / 2; ++i) s[i] = static_cast<std::int16_t>(s[i] / 2);
        },
        nullptr);
    return std::pair{h, st};
  };
  // Waits until the mixing thread has mixed a few more blocks.
  const auto letItMix = [&] {
    const long target = blocks.load() + 3;
    for (int i = 0; i < 100000 && blocks.load() < target; ++i) std::this_thread::yield();
  };

  int heardHooks = 0;
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(engine.Init(-1, kRate, 0));
    ASSERT_TRUE(engine.Start());
    const Handle smp = engine.SampleCreatePcm(Expected(Ramp(), 0, 300), 4, kSampleOverPos | kSampleFx);
    for (int i = 0; i < 40; ++i) {
      const Handle s = engine.StreamCreateDecoder(std::make_unique<ToneDecoder>(Ramp(), 5000), kSampleFx);
      const Handle m =
          engine.MusicCreateDecoder(std::make_unique<ToneDecoder>(Sine(220, 8000), 3000), kMusicFx);
      const auto [dspS, stS] = hook(s);
      const auto [dspM, stM] = hook(m);
      engine.ChannelSetFX(s, i % 9);
      engine.ChannelSetFX(m, kFxReverb);
      engine.StreamPlay(s, false, 0);
      engine.MusicPlayEx(m, 0, i % 2 ? kMusicSurround2 : 0xFFFFFFFF, true);
      engine.SetGlobalVolumes(i * 3 - 10, 100 - i, 50);
      const Handle p = engine.SamplePlayEx(smp, 0, i % 3 ? -1 : 30000, 200, 50, i % 4 == 0);
      letItMix();
      std::int16_t snapshot[512];
      engine.ChannelGetData(s, snapshot, sizeof snapshot);
      engine.ChannelGetLevel(m);
      engine.ChannelGetPosition(s);
      engine.ChannelSetPosition(m, 4000);
      engine.ChannelSetDSP(
          p, [](Handle, Handle, void*, std::uint32_t, void*) {}, nullptr);
      engine.ChannelRemoveFX(s, i % 9);

      ASSERT_TRUE(engine.ChannelRemoveDSP(s, dspS));
      stS->mustNotRun.store(true);
      ASSERT_TRUE(engine.ChannelStop(m));
      stM->mustNotRun.store(true);
      heardHooks += stS->calls.load() > 0;
      letItMix();
      engine.ChannelIsActive(p);
      EXPECT_TRUE(engine.StreamFree(s));
      EXPECT_TRUE(engine.MusicFree(m));
    }
    EXPECT_TRUE(engine.SampleFree(smp));
    ASSERT_TRUE(engine.Free());
  }
  done.store(true);
  mixer.join();
  EXPECT_EQ(violations.load(), 0);
  EXPECT_GT(heardHooks, 0);
}

}  // namespace
}  // namespace pagemoor::audio
