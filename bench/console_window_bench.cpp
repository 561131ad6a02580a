// The console window during a long reading: a line is appended (and, with
// the window shown, painted at once) tens of thousands of times. The cost of
// a line must not grow with the length of the log.
//
//   QT_QPA_PLATFORM=offscreen build/bench/console_window_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "console/ConsoleWindow.h"
#include "console/DebugBox2.h"

namespace {

// state.range(0): lines already in the log before the timed ones.
void BM_AppendLineToShownWindow(benchmark::State& state) {
  pagemoor::TDebugBox2 console;
  pagemoor::ConsoleWindow window(console);
  console.setVisible(true);
  for (long i = 0; i < state.range(0); ++i) console.Log("Old", "line " + std::to_string(i));
  long n = 0;
  for (auto _ : state) console.Log("Console", "Command load_main: page" + std::to_string(n++) + ".htm");
}
BENCHMARK(BM_AppendLineToShownWindow)->Arg(100)->Arg(30000)->Unit(benchmark::kMicrosecond);

}  // namespace
