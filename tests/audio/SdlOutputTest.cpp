#include "audio/sdl/SdlOutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/Decoder.h"
#include "support/TempFolder.h"

namespace pagemoor::audio {
namespace {

using test::ScopedEnv;
using test::TempFolder;

// An endless constant tone.
class ConstantDecoder : public Decoder {
 public:
  ConstantDecoder(std::int16_t left, std::int16_t right) : m_left(left), m_right(right) {}
  std::size_t read(std::int16_t* out, std::size_t frames) override {
    for (std::size_t i = 0; i < frames; ++i) {
      out[i * 2] = m_left;
      out[i * 2 + 1] = m_right;
    }
    return frames;
  }
  std::uint64_t lengthFrames() const override { return 0; }
  std::uint64_t positionFrames() const override { return 0; }
  bool seek(std::uint64_t) override { return true; }

 private:
  std::int16_t m_left, m_right;
};

// Waits for SDL's audio thread to get somewhere; the bound only keeps a broken
// build from hanging.
bool WaitFor(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// An engine on an SDL output that plays a tone, counting the blocks that SDL's
// thread pulls through it.
class SdlEngineTest : public testing::Test {
 protected:
  void useOutput(std::string driver = {}) {
    engine.setOutputFactory([driver](int) { return std::make_unique<SdlOutput>(driver); });
  }
  void playTone(std::int16_t left, std::int16_t right) {
    const Handle s = engine.StreamCreateDecoder(std::make_unique<ConstantDecoder>(left, right), 0);
    ASSERT_NE(s, 0u);
    ASSERT_NE(engine.ChannelSetDSP(
                  s, [this](Handle, Handle, void*, std::uint32_t, void*) { blocks.fetch_add(1); }, nullptr),
              0u);
    ASSERT_TRUE(engine.StreamPlay(s, true, 0));
  }
  bool pulls(int count) {
    return WaitFor([&] { return blocks.load() >= count; });
  }

  std::atomic<int> blocks{0};
  AudioEngine engine;
};

TEST_F(SdlEngineTest, DummyDriverPullsTheMix) {
  ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
  useOutput();
  ASSERT_TRUE(engine.Init(-1, 44100, 0));
  EXPECT_EQ(engine.output()->name(), "SDL: dummy");
  playTone(1000, 1000);
  ASSERT_TRUE(engine.Start());
  EXPECT_TRUE(pulls(3));
  EXPECT_TRUE(engine.Free());
  // And again after Free: SDL's audio is started anew.
  ASSERT_TRUE(engine.Init(-1, 22050, 0));
  EXPECT_TRUE(engine.Free());
}

TEST_F(SdlEngineTest, DiskDriverReceivesTheSound) {
  TempFolder temp;
  const std::string file = temp.file("out.raw");
  ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  ScopedEnv target("SDL_DISKAUDIOFILE", file.c_str());
  ScopedEnv delay("SDL_DISKAUDIODELAY", "1");
  useOutput();
  ASSERT_TRUE(engine.Init(-1, 44100, 0));
  playTone(1234, -1234);
  ASSERT_TRUE(engine.Start());
  EXPECT_TRUE(pulls(8));
  ASSERT_TRUE(engine.Free());

  const std::string bytes = temp.read("out.raw");
  ASSERT_NE(bytes, "<missing>");
  ASSERT_EQ(bytes.size() % 4, 0u);
  std::vector<std::int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), bytes.size());
  // Silence while the device was paused, then the tone.
  std::size_t tone = 0, other = 0;
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    if (samples[i] == 1234 && samples[i + 1] == -1234)
      ++tone;
    else if (samples[i] != 0 || samples[i + 1] != 0)
      ++other;
  }
  EXPECT_GE(tone, 4u * 1024);
  EXPECT_EQ(other, 0u);
}

TEST_F(SdlEngineTest, DriverTheUserChoseThatDoesNotExistFailsInit) {
  ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
  useOutput();
  EXPECT_FALSE(engine.Init(-1, 44100, 0));
  EXPECT_EQ(engine.ErrorGetCode(), AudioError::Device);
  EXPECT_FALSE(engine.isInitialised());
  EXPECT_EQ(engine.output(), nullptr);
}

TEST_F(SdlEngineTest, FallsBackToTheDummyDriverWhenNoDeviceOpens) {
  ScopedEnv driver("SDL_AUDIODRIVER", nullptr);
  useOutput("no-such-driver");  // as a machine whose every driver fails
  ASSERT_TRUE(engine.Init(-1, 44100, 0));
  auto* out = dynamic_cast<SdlOutput*>(engine.output());
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->silentFallback());
  EXPECT_EQ(out->name(), "SDL dummy (no sound device)");
  playTone(1, 1);
  ASSERT_TRUE(engine.Start());
  EXPECT_TRUE(pulls(2));
  EXPECT_TRUE(engine.Free());
}

TEST(SdlOutputFactoryTest, PagemoorAudioChoosesTheOutput) {
  struct Case {
    const char* value;
    bool null;
  };
  for (const Case& c : {Case{nullptr, false}, Case{"sdl", false}, Case{"null", true}, Case{"NULL", true}}) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    ScopedEnv choice("PAGEMOOR_AUDIO", c.value);
    const auto output = MakeOutputFactoryFromEnvironment()(-1);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(dynamic_cast<NullOutput*>(output.get()) != nullptr, c.null);
    EXPECT_EQ(dynamic_cast<SdlOutput*>(output.get()) != nullptr, !c.null);
  }
}

}  // namespace
}  // namespace pagemoor::audio
