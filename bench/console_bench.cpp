// A long reading: every log line saves the whole log to the mirror file, as
// the viewer does. Target: 50,000 lines in under one second.
//
//   build/bench/console_bench
#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "console/DebugBox2.h"

namespace {

void BM_FiftyThousandLinesSavedAfterEach(benchmark::State& state) {
  const std::string folder = pagemoor::bench::MakeBenchFolder();
  setenv("XDG_STATE_HOME", folder.c_str(), 1);
  for (auto _ : state) {
    pagemoor::TDebugBox2 console;
    console.setCaption("Tarn-Console");
    console.OnAdd = [&](pagemoor::Sender) { console.SaveLog(); };
    for (int i = 0; i < 50000; ++i)
      console.Log("Console", "Command load_main: page" + std::to_string(i) + ".htm");
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FiftyThousandLinesSavedAfterEach)->Unit(benchmark::kMillisecond)->Iterations(3);

// The launcher saves to two files after every line.
void BM_FiftyThousandLinesSavedToTwoFiles(benchmark::State& state) {
  const std::string folder = pagemoor::bench::MakeBenchFolder();
  setenv("XDG_STATE_HOME", folder.c_str(), 1);
  const std::string handover = folder + "MAG.EXE_launcher_console";
  for (auto _ : state) {
    pagemoor::TDebugBox2 console;
    console.OnAdd = [&](pagemoor::Sender) {
      console.SaveToFile(handover);
      console.SaveLog();
    };
    for (int i = 0; i < 50000; ++i) console.Log("System", "line " + std::to_string(i));
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FiftyThousandLinesSavedToTwoFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
