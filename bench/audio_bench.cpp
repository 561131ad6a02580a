// A minute of a 32-channel module: libopenmpt rendering it alone, against the
// whole engine playing it with the jukebox's five effects and three DSP hooks
// like its software effects (echo, flanger, rotation). Both report the CPU
// time per second of sound; the engine also its ratio to libopenmpt alone.
#include <benchmark/benchmark.h>
#include <libopenmpt/libopenmpt.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/Effects.h"

namespace {

using namespace pagemoor::audio;

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kBlock = 1024;

// A 32-channel module from the third-party test files.
std::string FixturePath() {
  return (std::filesystem::path(PAGEMOOR_THIRD_PARTY_DIR) / "music" / "gd-giirm.s3m").string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU seconds per second of sound of the libopenmpt run, for the ratio.
double g_openmptCpuPerSecond = 0;

// The three hooks, in place on 16-bit stereo, each with state it owns. They
// stand for a magazine's own software effects, written as one would write
// them to run every block: no division, modulo or library sine per frame.

// Runs one(i) for i < n: over the largest multiple of eight first (GCC's
// vectoriser at -O2 takes only a trip count that is a multiple of the number
// of steps in one vector: eight for 16-bit samples), then over the rest.
template <class One>
void ForEach(std::size_t n, One&& one) {
  const std::size_t whole = n & ~std::size_t{7};
  std::size_t i = 0;
  for (; i < whole; ++i) one(i);
  for (; i < n; ++i) one(i);
}

// A delay-line echo: each side becomes the average of itself and the other
// side of 1200 frames ago (an average of two samples needs no saturation).
// The line is a ring; a block is cut where it wraps.
struct EchoHook {
  static constexpr std::size_t kFrames = 1200;
  std::array<std::int16_t, kFrames * 2> line{};
  std::size_t pos = 0;
  void operator()(std::int16_t* s, std::size_t frames) {
    while (frames > 0) {
      const std::size_t n = std::min(frames, kFrames - pos);
      Mix(s, line.data() + pos * 2, n);
      pos += n;
      if (pos == kFrames) pos = 0;
      s += n * 2;
      frames -= n;
    }
  }
  [[gnu::flatten]] static void Mix(std::int16_t* __restrict s, std::int16_t* __restrict old,
                                   std::size_t frames) {
    ForEach(frames, [&](std::size_t i) {
      const int l = s[i * 2], r = s[i * 2 + 1];
      const int oldL = old[i * 2], oldR = old[i * 2 + 1];
      old[i * 2] = s[i * 2];
      old[i * 2 + 1] = s[i * 2 + 1];
      s[i * 2] = static_cast<std::int16_t>((l + oldR) >> 1);
      s[i * 2 + 1] = static_cast<std::int16_t>((r + oldL) >> 1);
    });
  }
};

// A flanger: half the sound plus half a copy 16 to 350 frames late, read
// between two frames with linear interpolation, the delay swept up and down
// by a triangle that moves every 16 frames. Each frame goes into the line twice, kSize
// frames apart, so that a run of reads never wraps; the shortest delay is a
// whole stride, so a stride never reads what it writes.
struct FlangerHook {
  static constexpr std::size_t kSize = 512, kStride = 16;
  static constexpr float kLow = 16.0f, kHigh = 350.0f;
  std::array<float, kSize * 2 * 2> line{};
  std::size_t pos = 0, left = 0;
  float delay = 175.0f, step = 0.032f;
  void operator()(std::int16_t* s, std::size_t frames) {
    while (frames > 0) {
      if (left == 0) {
        delay += step;
        if (delay < kLow || delay > kHigh) step = -step;
        left = kStride;
      }
      const std::size_t n = std::min({frames, left, kSize - pos});
      const auto whole = static_cast<std::size_t>(delay);
      const float* late = line.data() + (pos + kSize - whole) * 2;
      Mix(s, late, late - 2, line.data() + pos * 2, line.data() + (pos + kSize) * 2, delay - whole, n * 2);
      pos += n;
      if (pos == kSize) pos = 0;
      left -= n;
      s += n * 2;
      frames -= n;
    }
  }
  [[gnu::noinline, gnu::flatten]] static void Mix(std::int16_t* __restrict s, const float* __restrict near,
                                                  const float* __restrict far, float* __restrict first,
                                                  float* __restrict second, float f, std::size_t samples) {
    ForEach(samples, [&](std::size_t i) {
      const float in = s[i];
      first[i] = second[i] = in;
      const float delayed = near[i] + f * (far[i] - near[i]);
      s[i] = static_cast<std::int16_t>((in + delayed) * 0.5f);
    });
  }
};

// Turns the left and right gains, (sin, cos) of a slowly rising angle, by a
// fixed step per frame: a recurrence, kept as the phasors of eight frames in
// a row so that each one waits only for the one eight frames before it.
struct RotationHook {
  static constexpr double kStep = 0.00003, kStart = 0.7853981;
  static constexpr std::size_t kLanes = 8;
  std::array<float, kLanes> sine{}, cosine{};
  const float stepSine = static_cast<float>(std::sin(kLanes * kStep));
  const float stepCosine = static_cast<float>(std::cos(kLanes * kStep));
  RotationHook() { Restart(kStart); }
  void Restart(double angle) {
    for (std::size_t k = 0; k < kLanes; ++k) {
      sine[k] = static_cast<float>(std::sin(angle + static_cast<double>(k) * kStep));
      cosine[k] = static_cast<float>(std::cos(angle + static_cast<double>(k) * kStep));
    }
  }
  void operator()(std::int16_t* s, std::size_t frames) {
    std::size_t i = 0;
    for (; i + kLanes <= frames; i += kLanes) {
      float gain[kLanes * 2];  // as the samples lie: left, right, left...
      for (std::size_t k = 0; k < kLanes; ++k) {
        gain[k * 2] = sine[k];
        gain[k * 2 + 1] = cosine[k];
      }
      for (std::size_t m = 0; m < kLanes * 2; ++m)
        s[i * 2 + m] = static_cast<std::int16_t>(s[i * 2 + m] * gain[m]);
      for (std::size_t k = 0; k < kLanes; ++k) {
        const float nextSine = sine[k] * stepCosine + cosine[k] * stepSine;
        cosine[k] = cosine[k] * stepCosine - sine[k] * stepSine;
        sine[k] = nextSine;
      }
    }
    // A block that is not a whole number of eights (the engine's are) leaves
    // the phasors out of step: start them again from where the last frame
    // got to.
    if (i < frames) {
      for (std::size_t k = 0; i + k < frames; ++k) {
        s[(i + k) * 2] = static_cast<std::int16_t>(s[(i + k) * 2] * sine[k]);
        s[(i + k) * 2 + 1] = static_cast<std::int16_t>(s[(i + k) * 2 + 1] * cosine[k]);
      }
      Restart(std::atan2(sine[frames - i], cosine[frames - i]));
    }
    // Back onto the unit circle once a block, against rounding drift.
    for (std::size_t k = 0; k < kLanes; ++k) {
      const float g = 1.5f - 0.5f * (sine[k] * sine[k] + cosine[k] * cosine[k]);
      sine[k] *= g;
      cosine[k] *= g;
    }
  }
};

template <class Hook>
DspProc AsDsp(Hook* hook) {
  return [hook](Handle, Handle, void* buffer, std::uint32_t length, void*) {
    (*hook)(static_cast<std::int16_t*>(buffer), length / 4);
  };
}

void BM_OpenMptAlone(benchmark::State& state) {
  const std::string bytes = ReadAll(FixturePath());
  if (bytes.empty()) {
    state.SkipWithError(("fixture missing: " + FixturePath()).c_str());
    return;
  }
  // As the engine's module decoder sets it up: no dither, the song repeating.
  const openmpt_module_initial_ctl ctls[] = {{"dither", "0"}, {nullptr, nullptr}};
  openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr, ctls);
  if (!mod) {
    state.SkipWithError("libopenmpt cannot read the fixture");
    return;
  }
  openmpt_module_set_repeat_count(mod, -1);
  std::vector<std::int16_t> buffer(kBlock * 2);
  double cpu = 0;
  for (auto _ : state) {
    openmpt_module_set_position_order_row(mod, 0, 0);
    const double start = ThreadCpuSeconds();
    for (int frames = 0; frames < kSeconds * kRate; frames += kBlock) {
      openmpt_module_read_interleaved_stereo(mod, kRate, kBlock, buffer.data());
      benchmark::DoNotOptimize(buffer.data());
    }
    cpu += ThreadCpuSeconds() - start;
  }
  openmpt_module_destroy(mod);
  g_openmptCpuPerSecond = cpu / (static_cast<double>(state.iterations()) * kSeconds);
  state.counters["cpu_ms_per_audio_s"] = g_openmptCpuPerSecond * 1000;
}
BENCHMARK(BM_OpenMptAlone)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_EngineWithEffectsAndHooks(benchmark::State& state) {
  const std::string path = FixturePath();
  if (!std::filesystem::exists(path)) {
    state.SkipWithError(("fixture missing: " + path).c_str());
    return;
  }
  AudioEngine engine;
  if (!engine.Init(-1, kRate, 0) || !engine.Start()) {
    state.SkipWithError("the engine does not start");
    return;
  }
  const Handle music = engine.MusicLoad(false, path, 0, 0, kMusicRamp | kMusicFx | kMusicLoop);
  if (music == 0) {
    state.SkipWithError("the engine cannot load the fixture (has the module decoder landed?)");
    return;
  }
  // The jukebox's order: echo, flanger, chorus, gargle, reverb.
  int effects = 0;
  for (const int type : {kFxEcho, kFxFlanger, kFxChorus, kFxGargle, kFxReverb})
    effects += engine.ChannelSetFX(music, type) != 0;
  EchoHook echo;
  FlangerHook flanger;
  RotationHook rotation;
  engine.ChannelSetDSP(music, AsDsp(&echo), nullptr);
  engine.ChannelSetDSP(music, AsDsp(&flanger), nullptr);
  engine.ChannelSetDSP(music, AsDsp(&rotation), nullptr);
  engine.MusicPlayEx(music, 0, 0xFFFFFFFF, true);
  auto* out = dynamic_cast<NullOutput*>(engine.output());

  double cpu = 0;
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    for (int frames = 0; frames < kSeconds * kRate; frames += kBlock) {
      auto block = out->render(kBlock);
      benchmark::DoNotOptimize(block.data());
    }
    cpu += ThreadCpuSeconds() - start;
  }
  const double perSecond = cpu / (static_cast<double>(state.iterations()) * kSeconds);
  state.counters["cpu_ms_per_audio_s"] = perSecond * 1000;
  state.counters["effects_on"] = effects;
  if (g_openmptCpuPerSecond > 0) state.counters["ratio_to_openmpt"] = perSecond / g_openmptCpuPerSecond;
  if (effects < 5) state.SetLabel("not every effect could be added: is Effects.cpp still a placeholder?");
}
BENCHMARK(BM_EngineWithEffectsAndHooks)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
