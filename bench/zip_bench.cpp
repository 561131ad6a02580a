// Extraction of a large archive (~100 MB, a few hundred files in a few
// folders, text-like and incompressible data) by our reader, Debian's unzip
// and bsdtar, each into a fresh folder. The archive is made once with
// Debian's zip and kept in the temporary folder for later runs.
//
//   build/bench/zip_bench --benchmark_min_warmup_time=0
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "installer/ChiefUnzip.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTextFiles = 180;
constexpr int kBinaryFiles = 120;

struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
};

// Words in lines, the way magazine pages read to a compressor.
std::string TextFile(Random& r, std::size_t size) {
  static const char* const kWords[] = {"the",   "magazine", "page",   "disk",   "volume", "reader", "picture",
                                       "music", "editor",   "column", "letter", "game",   "review", "program",
                                       "of",    "and",      "a",      "with",   "for",    "new",    "old"};
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) {
    out += kWords[r.next() % std::size(kWords)];
    out += (r.next() % 12 == 0) ? ".\n" : " ";
  }
  out.resize(size);
  return out;
}

std::string BinaryFile(Random& r, std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    const std::uint64_t v = r.next();
    for (int k = 0; k < 8; ++k) out[i + k] = static_cast<char>(v >> (8 * k));
  }
  return out;
}

// The archive, made on first use: its path and its number of files.
const std::string& Archive() {
  static const std::string path = [] {
    const std::string base = fs::temp_directory_path().string() + "/pagemoor-zip-bench";
    const std::string archive = base + "/archive.zip";
    const std::string done = base + "/archive.done";
    if (fs::exists(done)) return archive;
    fs::remove_all(base);
    Random r{0x9E3779B97F4A7C15ull};
    const char* const folders[] = {"texts", "texts/older", "pictures", "music", "data/deep/er"};
    for (int i = 0; i < kTextFiles + kBinaryFiles; ++i) {
      const bool text = i < kTextFiles;
      const std::string folder = base + "/src/" + folders[i % std::size(folders)];
      fs::create_directories(folder);
      const std::size_t size = 64 * 1024 + r.next() % (text ? 1000 * 1024 : 1100 * 1024);
      std::ofstream(folder + "/file" + std::to_string(i) + (text ? ".txt" : ".bin"), std::ios::binary)
          << (text ? TextFile(r, size) : BinaryFile(r, size));
    }
    if (std::system(("cd '" + base + "/src' && zip -qr '" + archive + "' .").c_str()) != 0) std::abort();
    std::ofstream(done) << "ok\n";
    return archive;
  }();
  return path;
}

// An empty folder, with nothing of the last run still on its way to the disk:
// every run starts alike, whichever tool ran before.
void FreshFolder(const std::string& out) {
  fs::remove_all(out);
  fs::create_directories(out);
  sync();
}

// One extraction; `command` empty means ours, else a shell command with %a
// for the archive and %o for the folder.
bool ExtractOnce(const std::string& command, const std::string& archive, const std::string& out) {
  if (command.empty()) {
    pagemoor::TChiefUnzip unzip;
    unzip.ZipFileName = archive;
    unzip.TargetDirectory = out;
    return unzip.Unzip() == kTextFiles + kBinaryFiles;
  }
  std::string line = command;
  line.replace(line.find("%a"), 2, "'" + archive + "'");
  line.replace(line.find("%o"), 2, "'" + out + "'");
  return std::system(line.c_str()) == 0;
}

// Emptying the folder is not timed; one run before the timed ones warms the
// caches for every tool alike.
void Extract(benchmark::State& state, const std::string& command) {
  const std::string& archive = Archive();
  const std::string out = pagemoor::bench::BenchFolder() + "out";
  FreshFolder(out);
  ExtractOnce(command, archive, out);
  for (auto _ : state) {
    state.PauseTiming();
    FreshFolder(out);
    state.ResumeTiming();
    if (!ExtractOnce(command, archive, out)) state.SkipWithError("extraction failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(archive)));
}

void BM_ChiefUnzip(benchmark::State& state) {
  Extract(state, "");
}
void BM_UnzipTool(benchmark::State& state) {
  Extract(state, "unzip -qo %a -d %o");
}
void BM_Bsdtar(benchmark::State& state) {
  Extract(state, "bsdtar -xf %a -C %o");
}

BENCHMARK(BM_ChiefUnzip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_UnzipTool)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Bsdtar)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
