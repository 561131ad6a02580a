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

// PAGEMOOR_SHARED_FIXTURES, else the shared fixtures beside the checkout.
std::string FixturePath() {
  const char* dir = std::getenv("PAGEMOOR_SHARED_FIXTURES");
  const std::filesystem::path base =
      dir && *dir ? std::filesystem::path(dir)
                  : std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "shared" / "fixtures";
  return (base / "music" / "gd-giirm.s3m").string();
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

std::int16_t Saturate(int v) {
  return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

// The three hooks, in place on 16-bit stereo, each with state it owns.
struct EchoHook {
  std::array<std::int16_t, 1200 * 2> line{};
  std::size_t pos = 0;
  void operator()(std::int16_t* s, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i, pos = (pos + 1) % 1200) {
      const int l = s[i * 2], r = s[i * 2 + 1];
      const int oldL = line[pos * 2], oldR = line[pos * 2 + 1];
      line[pos * 2] = s[i * 2];
      line[pos * 2 + 1] = s[i * 2 + 1];
      s[i * 2] = Saturate(l + oldR / 2);
      s[i * 2 + 1] = Saturate(r + oldL / 2);
    }
  }
};

struct FlangerHook {
  std::array<std::int16_t, 350 * 2> line{};
  std::size_t pos = 0;
  double sweep = 175.0, step = 0.002;
  void operator()(std::int16_t* s, std::size_t frames) {
    for (std::size_t n = 0; n < frames; ++n) {
      const auto k = static_cast<std::size_t>(sweep);
      const std::size_t i = (k + pos) % 350, j = (i + 1) % 350;
      const double f = sweep - static_cast<double>(k);
      for (int c = 0; c < 2; ++c) {
        const int delayed = static_cast<int>((1 - f) * line[i * 2 + c] + f * line[j * 2 + c]);
        line[pos * 2 + c] = s[n * 2 + c];
        s[n * 2 + c] = Saturate(delayed + s[n * 2 + c]);
      }
      pos = (pos + 1) % 350;
      sweep += step;
      if (sweep < 0 || sweep > 350) step = -step;
    }
  }
};

// Turns (sin, cos) of the phase by a fixed step per frame instead of calling
// the library's sine twice a frame; renormalised once a block.
struct RotationHook {
  static constexpr double kStep = 0.00003;
  double sine = std::sin(0.7853981), cosine = std::cos(0.7853981);
  const double stepSine = std::sin(kStep), stepCosine = std::cos(kStep);
  void operator()(std::int16_t* s, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
      s[i * 2] = static_cast<std::int16_t>(s[i * 2] * sine);
      s[i * 2 + 1] = static_cast<std::int16_t>(s[i * 2 + 1] * cosine);
      const double nextSine = sine * stepCosine + cosine * stepSine;
      cosine = cosine * stepCosine - sine * stepSine;
      sine = nextSine;
    }
    const double norm = 1.0 / std::sqrt(sine * sine + cosine * cosine);
    sine *= norm;
    cosine *= norm;
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
