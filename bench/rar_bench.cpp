// Extraction of the RAR 5 and RAR 4 fixtures (three files, ~100 KB unpacked)
// by our RAR layer (TRAR::Extract through the library) and by Debian's
// bsdtar, each into a fresh folder. Both sides include their start: a
// bsdtar run is a process, ours is an open of the archive.
//
//   build/bench/rar_bench --benchmark_repetitions=5 --benchmark_min_warmup_time=0.2
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "installer/RarArc.h"

namespace {

namespace fs = std::filesystem;

// The RAR archives among the third-party test files.
const std::string kRarDir = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/rar/";

std::string FreshFolder(int& counter) {
  std::string folder = pagemoor::bench::BenchFolder() + "run" + std::to_string(counter++);
  fs::create_directories(folder);
  return folder;
}

void Remove(benchmark::State& state, const std::string& folder) {
  state.PauseTiming();
  std::error_code ec;
  fs::remove_all(folder, ec);
  state.ResumeTiming();
}

void Ours(benchmark::State& state, const std::string& archive) {
  pagemoor::TRAR rar(PAGEMOOR_UNRAR_LIBRARY);
  if (!rar.LoadedDLL()) {
    state.SkipWithError("the RAR library did not load");
    return;
  }
  rar.ArchiveName = kRarDir + archive;
  int counter = 0;
  for (auto _ : state) {
    rar.TargetDir = FreshFolder(counter);
    if (!rar.Extract()) state.SkipWithError("extraction failed");
    Remove(state, rar.TargetDir);
  }
}

void Bsdtar(benchmark::State& state, const std::string& archive) {
  if (std::system("command -v bsdtar > /dev/null 2>&1") != 0) {
    state.SkipWithError("bsdtar is not installed");
    return;
  }
  int counter = 0;
  for (auto _ : state) {
    std::string folder = FreshFolder(counter);
    std::string command = "bsdtar -xf '" + kRarDir + archive + "' -C '" + folder + "'";
    if (std::system(command.c_str()) != 0) state.SkipWithError("bsdtar failed");
    Remove(state, folder);
  }
}

void BM_Rar5_Ours(benchmark::State& state) {
  Ours(state, "Rar5.rar");
}
void BM_Rar5_Bsdtar(benchmark::State& state) {
  Bsdtar(state, "Rar5.rar");
}
void BM_Rar4_Ours(benchmark::State& state) {
  Ours(state, "Rar4.rar");
}
void BM_Rar4_Bsdtar(benchmark::State& state) {
  Bsdtar(state, "Rar4.rar");
}

BENCHMARK(BM_Rar5_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rar5_Bsdtar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rar4_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rar4_Bsdtar)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
