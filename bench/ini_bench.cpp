// The image-button workload: 100 sections of 11 keys each, every key read
// through the profile functions with write-back of what is missing.
//
//   build/bench/ini_bench
//
// The target: the whole workload in well under 50 ms, also on a first run
// where every key is missing and written back.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "common/IniFile.h"

namespace {

constexpr int kSections = 100;
constexpr const char* kKeys[] = {"image",  "image_over", "image_down", "left",   "top",  "width",
                                 "height", "command",    "hint",       "cursor", "sound"};

const std::string& folder() {
  return pagemoor::bench::BenchFolder();
}

// A button file with the given share of its keys present (0, 1 or every other one).
std::string buttonFile(int keep) {
  std::string s;
  for (int b = 1; b <= kSections; ++b) {
    s += "[button_" + std::to_string(b) + "]\r\n";
    int i = 0;
    for (const char* key : kKeys) {
      if (keep == 1 || (keep == 2 && i % 2 == 0))
        s += std::string(key) + "=value " + std::to_string(i) + "\r\n";
      ++i;
    }
    s += "\r\n";
  }
  return s;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void readAll(const std::string& path) {
  for (int b = 1; b <= kSections; ++b) {
    const std::string section = "button_" + std::to_string(b);
    int i = 0;
    for (const char* key : kKeys) {
      if (i++ % 3 == 0)
        benchmark::DoNotOptimize(pagemoor::ReadIniDefault(path, section, key, "0"));
      else
        benchmark::DoNotOptimize(pagemoor::ReadIniValue(path, section, key));
    }
  }
}

// As in the program: write-backs wait until the window event that read them
// has been handled, then the flush writes each file once (timed here).
// state.range(0): 1 every key present, 2 half of them, 0 none (a first run).
void BM_ImageButtonWorkload(benchmark::State& state) {
  const std::string path = folder() + "buttons.ini";
  const std::string original = buttonFile(static_cast<int>(state.range(0)));
  pagemoor::SetIniWriteBackScheduler([] {});
  for (auto _ : state) {
    state.PauseTiming();
    writeFile(path, original);
    pagemoor::ClearIniCache();
    state.ResumeTiming();
    readAll(path);
    pagemoor::FlushIniWrites();
  }
  state.SetLabel(state.range(0) == 1   ? "all keys present"
                 : state.range(0) == 2 ? "half missing"
                                       : "all missing");
}
BENCHMARK(BM_ImageButtonWorkload)->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

// Without a scheduler every write-back is written at once: the cost the
// deferral saves.
void BM_ImageButtonWorkloadImmediateWrites(benchmark::State& state) {
  const std::string path = folder() + "immediate.ini";
  const std::string original = buttonFile(0);
  pagemoor::SetIniWriteBackScheduler(nullptr);
  for (auto _ : state) {
    state.PauseTiming();
    writeFile(path, original);
    pagemoor::ClearIniCache();
    state.ResumeTiming();
    readAll(path);
  }
}
BENCHMARK(BM_ImageButtonWorkloadImmediateWrites)->Unit(benchmark::kMillisecond)->Iterations(2);

// The same workload read again while the file stays as it is (the usual case
// once a magazine has run).
void BM_ImageButtonWorkloadWarm(benchmark::State& state) {
  const std::string path = folder() + "warm.ini";
  writeFile(path, buttonFile(1));
  readAll(path);
  for (auto _ : state) readAll(path);
}
BENCHMARK(BM_ImageButtonWorkloadWarm)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
